#include "app/ArchiveCommands.h"

#include <QApplication>
#include <QFileDialog>
#include <stdexcept>

#include "app/PlayerHandOff.h"
#include "mail/SendMail.h"
#include "platform/files/files.h"
#include "platform/msgbox/msgbox.h"

namespace app {

namespace files = platform::files;
namespace mb = platform::msgbox;
using archive::WorkflowAlert;

namespace {

void SetBusyCursor(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

// A box that comes while the hourglass shows is answered with the normal pointer.
void WithNormalCursor(const std::function<void()>& show) {
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
    show();
    if (busy) QApplication::restoreOverrideCursor();
}

}  // namespace

ArchiveCommands::ArchiveCommands(QWidget* owner, const ProgramPaths& paths,
                                 const SettingsRecord& settings, Host host)
    : owner_(owner), paths_(paths), settings_(settings), host_(std::move(host)) {}

ArchiveCommands::~ArchiveCommands() = default;

bool ArchiveCommands::Create() {
    zip_.StoreRelativePath = false;
    zip_.StoreFolders = false;
    zip_.SetCompressionType(TZipCompressionType::ctMaximum);
    try {
        sevenZip_ = std::make_unique<archive::TSevenZip>(paths_.ArchiveEnginePath);
    } catch (const std::runtime_error& error) {
        // Without the engine the program cannot start; the error's text says why.
        host_.Alert(host_.Text(Msg::Error), error.what(), mb::MB_ICONERROR);
        return false;
    }
    sevenZip_->AddOptions = {archive::AddOptsEnum::AddStoreOnlyFilename};
    sevenZip_->ExtractOptions = {archive::ExtractOptsEnum::ExtractNoPath,
                                 archive::ExtractOptsEnum::ExtractOverwrite};
    sevenZip_->LZMACompressStrength = archive::TCompressStrength::NORMAL;
    archive::WorkflowHost host;
    host.Alert = [this](WorkflowAlert alert, const std::string& path) { Alert(alert, path); };
    host.Open = [this](const std::string& path) { HandToPlayer(path, host_.Text, host_.Alert); };
    workflow_ = std::make_unique<archive::CompressionWorkflow>(zip_, *sevenZip_, std::move(host));
    return true;
}

void ArchiveCommands::Release() {
    workflow_.reset();
    sevenZip_.reset();
}

void ArchiveCommands::ReportErrors(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& error) {
        // The application's error report: the error's own text, after the command ended.
        host_.Alert(host_.Text(Msg::Error), error.what(), mb::MB_ICONERROR);
    }
}

void ArchiveCommands::Alert(WorkflowAlert alert, const std::string& path) {
    std::string text;
    switch (alert) {
        case WorkflowAlert::PackingFailed:
            text = host_.Text(Msg::CannotCreateFile) + "\r\n" + path;
            break;
        case WorkflowAlert::NotAValidFile:
            text = path + host_.Text(Msg::NotAValidFile);
            break;
        case WorkflowAlert::NoVideoFound:
            text = host_.Text(Msg::NoVideoFoundIn) + path + "!";
            break;
        case WorkflowAlert::CannotExtract:
            text = host_.Text(Msg::CannotExtract) + path + "!";
            break;
        case WorkflowAlert::NoRoomToExtract:
            text = host_.Text(Msg::NoRoomToExtract) + path + "!";
            break;
    }
    WithNormalCursor([&] { host_.Alert(host_.Text(Msg::Error), text, mb::MB_ICONERROR); });
}

std::optional<std::string> ArchiveCommands::PackSelected(archive::BusyCursor& busy) {
    const auto recording = host_.SelectedRecording();
    if (!recording) return std::nullopt;
    busy.Show();
    return workflow_->PackRecording({recording->video, recording->zip, recording->sevenZip},
                                    settings_.Use7z, settings_.SevenZipThresholdMB);
}

void ArchiveCommands::Compress() {
    ReportErrors([this] {
        archive::BusyCursor busy(SetBusyCursor);
        PackSelected(busy);
    });
}

void ArchiveCommands::Mail(const std::string& subject) {
    ReportErrors([&] {
        archive::BusyCursor busy(SetBusyCursor);
        const std::optional<std::string> archivePath = PackSelected(busy);
        if (!archivePath || !files::FileExists(*archivePath)) return;
        // Freed on every way out; a refused logon reaches the error report.
        mail::TMAPIMail mail;
        mail.Subject = subject;
        mail.Attachments.push_back(*archivePath);
        mail.EditDialog = true;
        // xdg-email finds no mail program: the user learns where the archive is instead.
        if (!mail.Send() && mail.LastError == platform::mapi::MAPI_E_LOGIN_FAILURE) {
            WithNormalCursor([&] {
                host_.Alert(host_.Text(Msg::Warning),
                            host_.Text(Msg::NoMailProgram) + "\r\n" + *archivePath,
                            mb::MB_ICONWARNING);
            });
        }
    });
}

std::optional<std::string> ArchiveCommands::ChooseArchive() {
    // A dialog of its own for each showing: the name field's completion list can open after
    // the dialog was accepted and then holds the mouse and keyboard, so that the next click or
    // key does nothing. The list goes with its dialog.
    QFileDialog dialog(owner_, QString::fromStdString(host_.Text(Msg::ShowCompressedVideoItem)));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // The same dialog on every desktop, with the filter's patterns kept out of its text.
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
    dialog.setNameFilter(
        QString::fromStdString(archive::ArchiveNameFilter(host_.Text(Msg::CompressedVideoFilter))));
    // The first showing starts in the video folder, later ones where the user last was.
    dialog.setDirectory(dialogFolder_.isEmpty() ? QString::fromStdString(paths_.VideoFolder)
                                                : dialogFolder_);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    dialogFolder_ = dialog.directory().absolutePath();
    const QStringList chosen = dialog.selectedFiles();
    if (!accepted || chosen.isEmpty()) return std::nullopt;
    return chosen.front().toStdString();
}

void ArchiveCommands::ShowCompressed() {
    const std::optional<std::string> archivePath = ChooseArchive();
    if (!archivePath) return;
    ReportErrors([&] { workflow_->PlayFromArchive(paths_.VideoFolder, *archivePath); });
}

}  // namespace app
