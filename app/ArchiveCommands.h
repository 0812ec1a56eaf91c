// The main window's archive commands: packing the selected recording into a ZIP or 7z archive
// beside it, mailing it packed, and playing the recordings of a chosen archive. Owns the ZIP
// component and the 7z bridge. GUI thread.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/ProgramPaths.h"
#include "app/VideoNames.h"
#include "archive/CompressionWorkflow.h"
#include "catalogue/MessageCatalogue.h"
#include "settings/Settings.h"

namespace app {

class ArchiveCommands {
public:
    // What the commands need of the main window.
    struct Host {
        std::function<std::string(Msg)> Text;
        // Beep and a message box.
        std::function<void(const std::string& caption, const std::string& text, unsigned flags)>
            Alert;
        // The selected recording's files when its video exists; none when the user has been
        // told why not.
        std::function<std::optional<RecordingFiles>()> SelectedRecording;
    };

    // owner parents the file dialog; settings give the archive format and the 7z limit.
    ArchiveCommands(QWidget* owner, const ProgramPaths& paths, const SettingsRecord& settings,
                    Host host);
    ~ArchiveCommands();
    ArchiveCommands(const ArchiveCommands&) = delete;
    ArchiveCommands& operator=(const ArchiveCommands&) = delete;

    // Loads the 7z engine; false when it cannot be loaded, after telling the user why.
    bool Create();
    // Unloads the 7z engine before its file is deleted.
    void Release();

    void Compress();
    // Packs the selected recording and hands the archive to the mail program under subject.
    void Mail(const std::string& subject);
    void ShowCompressed();

private:
    // Runs a command; an error it raises ends it and is shown with its own text.
    void ReportErrors(const std::function<void()>& command);
    void Alert(archive::WorkflowAlert alert, const std::string& path);
    // The selected recording packed beside it: the archive's path, with the hourglass shown
    // from the packing on; none when it stopped with a message.
    std::optional<std::string> PackSelected(archive::BusyCursor& busy);
    // The archive the user chooses in the file dialog; none when the dialog was cancelled.
    std::optional<std::string> ChooseArchive();

    QWidget* owner_;
    ProgramPaths paths_;
    const SettingsRecord& settings_;
    Host host_;
    // Where the file dialog showed last; empty before the first showing.
    QString dialogFolder_;
    TKAZip zip_;
    std::unique_ptr<archive::TSevenZip> sevenZip_;
    std::unique_ptr<archive::CompressionWorkflow> workflow_;
};

}  // namespace app
