// The main window's library of recordings: the list and its looks, Play, Delete and showing
// a recording in the file manager.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QPointer>
#include <QUrl>

#include "app/Korvex_Unit.h"
#include "app/VideoList.h"
#include "app/VideoNames.h"
#include "platform/files/files.h"
#include "platform/msgbox/msgbox.h"
#include "platform/shell/shell.h"

namespace app {

namespace files = platform::files;
namespace mb = platform::msgbox;

void TMainForm::ScanVideos() {
    Video_ComboBox->SetVideos(ListedVideos(files::FindFiles(paths_.VideoFolder, ".avi")));
}

void TMainForm::RefreshVideos(bool selectCurrent) {
    Video_ComboBox->clear();
    ScanVideos();
    const int at = selectCurrent ? Video_ComboBox->findText(
                                       QString::fromStdString(CurrentVideoName), Qt::MatchExactly)
                                 : -1;
    Video_ComboBox->setCurrentIndex(at);
}

void TMainForm::EnableVideoCommands(bool enabled) {
    DeleteVideo->setEnabled(enabled);
    CompressVideo->setEnabled(enabled);
}

void TMainForm::UpdateComboHint() {
    Video_ComboBox->setToolTip(
        QString::fromStdString(ComboHint(Video_ComboBox->currentText().toStdString(),
                                         Text(Msg::ContextMenuHint), Text(Msg::SelectVideoHint))));
}

void TMainForm::ProposeVideoName(const std::string& name) {
    Video_ComboBox->setEditText(QString::fromStdString(name));
    Video_ComboBox->setToolTip(Video_ComboBox->currentText() + "\r\n" +
                               QString::fromStdString(Text(Msg::ContextMenuHint)));
}

RecordingFiles TMainForm::SelectedRecording(const std::string& name) const {
    // A listed entry stands for its own file, whatever its name holds (blanks at the ends,
    // several ".avi"); only a text that is no entry is read as a typed name.
    if (const auto file = Video_ComboBox->CurrentVideoFile()) {
        return RecordingFilesFor(paths_.VideoFolder, *file);
    }
    return RecordingFilesFor(paths_.VideoFolder, RecordingName(name) + ".avi");
}

std::optional<RecordingFiles> TMainForm::ResolveSelectedVideo() {
    const std::string name = Video_ComboBox->currentText().toStdString();
    if (name.empty()) {
        ShowAlert(Text(Msg::Information), Text(Msg::SelectVideo), mb::MB_ICONINFORMATION);
        Video_ComboBox->setFocus();
        return std::nullopt;
    }
    return SelectedRecording(name);
}

void TMainForm::PlayVideo() {
    const auto recording = ResolveSelectedVideo();
    if (!recording) return;
    const std::string& path = recording->video;
    if (!files::FileExists(path)) {
        ShowAlert(Text(Msg::Error), path + Text(Msg::NotFound), mb::MB_ICONERROR);
        return;
    }
    OpenWithPlayer(path);
}

void TMainForm::OpenWithPlayer(const std::string& path) {
    platform::shell::OpenDocument(path, [form = QPointer<TMainForm>(this), path] {
        if (!form) return;
        form->ShowAlert(form->Text(Msg::Warning), form->Text(Msg::NoVideoPlayer) + "\r\n" + path,
                        mb::MB_ICONWARNING);
    });
}

void TMainForm::DeleteVideoClick() {
    const auto recording = ResolveSelectedVideo();
    if (!recording) return;
    CurrentVideoPath = recording->video;
    if (!files::FileExists(CurrentVideoPath)) {
        ShowAlert(Text(Msg::Error), CurrentVideoPath + Text(Msg::NotFound), mb::MB_ICONERROR);
        return;
    }
    if (files::IsOpenByAnyProcess(CurrentVideoPath)) {
        ShowAlert(Text(Msg::Error), CurrentVideoPath + Text(Msg::InUseByOtherProgram),
                  mb::MB_ICONERROR);
        return;
    }
    if (!files::DeleteFile(CurrentVideoPath)) return;
    Video_ComboBox->setCurrentIndex(-1);
    files::DeleteFile(recording->zip);
    files::DeleteFile(recording->sevenZip);
}

void TMainForm::OpenExplorerClick() {
    const std::string name = Video_ComboBox->currentText().toStdString();
    bool select = false;
    if (!name.empty()) {
        CurrentVideoPath = SelectedRecording(name).video;
        select = files::FileExists(CurrentVideoPath);
    }
    if (select) {
        // File managers that speak the freedesktop interface open the folder with the file
        // selected; the others get the folder.
        QDBusMessage call = QDBusMessage::createMethodCall(
            "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
            "org.freedesktop.FileManager1", "ShowItems");
        call
            << QStringList{QUrl::fromLocalFile(QString::fromStdString(CurrentVideoPath)).toString()}
            << QString();
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 3000);
        if (reply.type() == QDBusMessage::ReplyMessage) return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(paths_.VideoFolder)));
}

}  // namespace app
