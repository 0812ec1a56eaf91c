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
    : paths_(paths), settings_(settings), host_(std::move(host)) {
    openDialog_ = new QFileDialog(owner);
    openDialog_->setFileMode(QFileDialog::ExistingFile);
    openDialog_->setAcceptMode(QFileDialog::AcceptOpen);
    // The same dialog on every desktop, with the filter's patterns kept out of its text.
    openDialog_->setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
    openDialog_->setDirectory(QString::fromStdString(paths_.VideoFolder));
}

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

void ArchiveCommands::ApplyLanguage() {
    openDialog_->setWindowTitle(QString::fromStdString(host_.Text(Msg::ShowCompressedVideoItem)));
    openDialog_->setNameFilter(
        QString::fromStdString(archive::ArchiveNameFilter(host_.Text(Msg::CompressedVideoFilter))));
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

void ArchiveCommands::ShowCompressed() {
    // The working folder is made after the dialog, so the first showing starts there anew;
    // later ones start where the user last was.
    if (!dialogShown_) openDialog_->setDirectory(QString::fromStdString(paths_.VideoFolder));
    dialogShown_ = true;
    if (openDialog_->exec() != QDialog::Accepted) return;
    const QStringList chosen = openDialog_->selectedFiles();
    if (chosen.isEmpty()) return;
    const std::string archivePath = chosen.front().toStdString();
    ReportErrors([&] { workflow_->PlayFromArchive(paths_.VideoFolder, archivePath); });
}

}  // namespace app
