#include "app/RecordingsList.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QUrl>

#include "app/PlayerHandOff.h"
#include "app/VideoList.h"
#include "platform/files/files.h"
#include "platform/msgbox/msgbox.h"

namespace app {

namespace files = platform::files;
namespace mb = platform::msgbox;

namespace {

// How long the file manager may take to answer before the folder is opened instead.
constexpr int kFileManagerWaitMs = 3000;

}  // namespace

RecordingsList::RecordingsList(VideoComboBox& box, std::string folder, Host host)
    : box_(box), folder_(std::move(folder)), host_(std::move(host)) {}

void RecordingsList::Refresh(const std::optional<std::string>& select) {
    box_.clear();
    box_.SetVideos(ListedVideos(files::FindFiles(folder_, ".avi")));
    const int at = select ? box_.findText(QString::fromStdString(*select), Qt::MatchExactly) : -1;
    box_.setCurrentIndex(at);
}

void RecordingsList::UpdateHint() {
    box_.setToolTip(QString::fromStdString(ComboHint(box_.currentText().toStdString(),
                                                     host_.Text(Msg::ContextMenuHint),
                                                     host_.Text(Msg::SelectVideoHint))));
}

void RecordingsList::ProposeName(const std::string& name) {
    box_.setEditText(QString::fromStdString(name));
    box_.setToolTip(box_.currentText() + "\r\n" +
                    QString::fromStdString(host_.Text(Msg::ContextMenuHint)));
}

RecordingFiles RecordingsList::FilesFor(const std::string& name) const {
    // A listed entry stands for its own file, whatever its name holds (blanks at the ends,
    // several ".avi"); only a text that is no entry is read as a typed name.
    if (const auto file = box_.CurrentVideoFile()) return RecordingFilesFor(folder_, *file);
    return RecordingFilesFor(folder_, RecordingName(name) + ".avi");
}

std::optional<RecordingFiles> RecordingsList::Selected() {
    const std::string name = box_.currentText().toStdString();
    if (name.empty()) {
        host_.Alert(host_.Text(Msg::Information), host_.Text(Msg::SelectVideo),
                    mb::MB_ICONINFORMATION);
        box_.setFocus();
        return std::nullopt;
    }
    return FilesFor(name);
}

std::optional<RecordingFiles> RecordingsList::SelectedExisting() {
    auto recording = Selected();
    if (recording && !files::FileExists(recording->video)) {
        host_.Alert(host_.Text(Msg::Error), recording->video + host_.Text(Msg::NotFound),
                    mb::MB_ICONERROR);
        return std::nullopt;
    }
    return recording;
}

void RecordingsList::Play() {
    if (const auto recording = SelectedExisting()) {
        HandToPlayer(recording->video, host_.Text, host_.Alert);
    }
}

void RecordingsList::Delete() {
    const auto recording = SelectedExisting();
    if (!recording) return;
    const std::string& path = recording->video;
    if (files::IsOpenByAnyProcess(path)) {
        host_.Alert(host_.Text(Msg::Error), path + host_.Text(Msg::InUseByOtherProgram),
                    mb::MB_ICONERROR);
        return;
    }
    if (!files::DeleteFile(path)) return;
    box_.setCurrentIndex(-1);
    files::DeleteFile(recording->zip);
    files::DeleteFile(recording->sevenZip);
}

void RecordingsList::ShowInFileManager() {
    const std::string name = box_.currentText().toStdString();
    const std::string path = name.empty() ? std::string() : FilesFor(name).video;
    if (!path.empty() && files::FileExists(path)) {
        // File managers that speak the freedesktop interface open the folder with the file
        // selected; the others get the folder.
        QDBusMessage call = QDBusMessage::createMethodCall(
            "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
            "org.freedesktop.FileManager1", "ShowItems");
        call << QStringList{QUrl::fromLocalFile(QString::fromStdString(path)).toString()}
             << QString();
        const QDBusMessage reply =
            QDBusConnection::sessionBus().call(call, QDBus::Block, kFileManagerWaitMs);
        if (reply.type() == QDBusMessage::ReplyMessage) return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder_)));
}

}  // namespace app
