// The main window's archive commands: compressing the selected recording, mailing it packed,
// and watching the recordings of a compressed video.
#include <QApplication>
#include <QFileDialog>
#include <stdexcept>

#include "app/Korvex_Unit.h"
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

bool TMainForm::CreateArchiveComponents() {
    KAZip.StoreRelativePath = false;
    KAZip.StoreFolders = false;
    KAZip.SetCompressionType(TZipCompressionType::ctMaximum);
    try {
        SevenZip = std::make_unique<archive::TSevenZip>(paths_.ArchiveEnginePath);
    } catch (const std::runtime_error& error) {
        // Without the engine the program cannot start; the error's text says why.
        ShowAlert(Text(Msg::Error), error.what(), mb::MB_ICONERROR);
        return false;
    }
    SevenZip->AddOptions = {archive::AddOptsEnum::AddStoreOnlyFilename};
    SevenZip->ExtractOptions = {archive::ExtractOptsEnum::ExtractNoPath,
                                archive::ExtractOptsEnum::ExtractOverwrite};
    SevenZip->LZMACompressStrength = archive::TCompressStrength::NORMAL;
    archive::WorkflowHost host;
    host.Alert = [this](WorkflowAlert alert, const std::string& path) {
        ArchiveAlert(alert, path);
    };
    host.Open = [this](const std::string& path) { OpenWithPlayer(path); };
    workflow_ = std::make_unique<archive::CompressionWorkflow>(KAZip, *SevenZip, std::move(host));
    return true;
}

void TMainForm::CreateArchiveCommands() {
    CompressedVideo_OpenDialog = new QFileDialog(this);
    CompressedVideo_OpenDialog->setFileMode(QFileDialog::ExistingFile);
    CompressedVideo_OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
    // The same dialog on every desktop, with the filter's patterns kept out of its text.
    CompressedVideo_OpenDialog->setOptions(QFileDialog::DontUseNativeDialog |
                                           QFileDialog::HideNameFilterDetails);
    CompressedVideo_OpenDialog->setDirectory(QString::fromStdString(paths_.VideoFolder));
    connect(CompressVideo, &QAction::triggered, this, &TMainForm::CompressVideoClick);
    connect(ShowCompressedVideo, &QAction::triggered, this, &TMainForm::ShowCompressedVideoClick);
}

void TMainForm::ApplyArchiveLanguage() {
    CompressedVideo_OpenDialog->setWindowTitle(
        QString::fromStdString(Text(Msg::ShowCompressedVideoItem)));
    CompressedVideo_OpenDialog->setNameFilter(
        QString::fromStdString(archive::ArchiveNameFilter(Text(Msg::CompressedVideoFilter))));
}

void TMainForm::ReleaseArchiveComponents() {
    workflow_.reset();
    SevenZip.reset();
}

void TMainForm::ReportErrors(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& error) {
        // The application's error report: the error's own text, after the command ended.
        ShowAlert(Text(Msg::Error), error.what(), mb::MB_ICONERROR);
    }
}

void TMainForm::ArchiveAlert(WorkflowAlert alert, const std::string& path) {
    std::string text;
    switch (alert) {
        case WorkflowAlert::PackingFailed:
            text = Text(Msg::CannotCreateFile) + "\r\n" + path;
            break;
        case WorkflowAlert::NotAValidFile:
            text = path + Text(Msg::NotAValidFile);
            break;
        case WorkflowAlert::NoVideoFound:
            text = Text(Msg::NoVideoFoundIn) + path + "!";
            break;
        case WorkflowAlert::CannotExtract:
            text = Text(Msg::CannotExtract) + path + "!";
            break;
        case WorkflowAlert::NoRoomToExtract:
            text = Text(Msg::NoRoomToExtract) + path + "!";
            break;
    }
    WithNormalCursor([&] { ShowAlert(Text(Msg::Error), text, mb::MB_ICONERROR); });
}

std::optional<std::string> TMainForm::PackSelectedVideo(archive::BusyCursor& busy) {
    const auto recording = ResolveSelectedVideo();
    if (!recording) return std::nullopt;
    CurrentVideoPath = recording->video;
    if (!files::FileExists(CurrentVideoPath)) {
        ShowAlert(Text(Msg::Error), CurrentVideoPath + Text(Msg::NotFound), mb::MB_ICONERROR);
        return std::nullopt;
    }
    busy.Show();
    return workflow_->PackRecording({recording->video, recording->zip, recording->sevenZip},
                                    Settings.Use7z, Settings.SevenZipThresholdMB);
}

void TMainForm::CompressVideoClick() {
    ReportErrors([this] {
        archive::BusyCursor busy(SetBusyCursor);
        PackSelectedVideo(busy);
    });
}

void TMainForm::Mail_ImageMouseDown() {
    Mail_Image->SetPicture(Bitmap::MailPressed);
}

void TMainForm::Mail_ImageMouseUp() {
    Mail_Image->SetPicture(Bitmap::MailReleased);
    if (!Mail_Image->IsCursorOver()) return;
    ReportErrors([this] {
        archive::BusyCursor busy(SetBusyCursor);
        const std::optional<std::string> archivePath = PackSelectedVideo(busy);
        if (!archivePath || !files::FileExists(*archivePath)) return;
        // Freed on every way out; a refused logon reaches the error report.
        mail::TMAPIMail mail;
        mail.Subject = CurrentVideoName;
        mail.Attachments.push_back(*archivePath);
        mail.EditDialog = true;
        // xdg-email finds no mail program: the user learns where the archive is instead.
        if (!mail.Send() && mail.LastError == platform::mapi::MAPI_E_LOGIN_FAILURE) {
            WithNormalCursor([&] {
                ShowAlert(Text(Msg::Warning), Text(Msg::NoMailProgram) + "\r\n" + *archivePath,
                          mb::MB_ICONWARNING);
            });
        }
    });
}

void TMainForm::ShowCompressedVideoClick() {
    if (CompressedVideo_OpenDialog->exec() != QDialog::Accepted) return;
    const QStringList chosen = CompressedVideo_OpenDialog->selectedFiles();
    if (chosen.isEmpty()) return;
    const std::string archivePath = chosen.front().toStdString();
    ReportErrors([&] { workflow_->PlayFromArchive(paths_.VideoFolder, archivePath); });
}

}  // namespace app
