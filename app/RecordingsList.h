// The main window's list of recordings: the combo box's entries from the working folder, its
// hint, the selected recording's files, and the commands Play, Delete and showing a recording in
// the file manager. GUI thread.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/ToolbarWidgets.h"
#include "app/VideoNames.h"
#include "catalogue/MessageCatalogue.h"

namespace app {

class RecordingsList {
public:
    // What the list needs of the main window.
    struct Host {
        std::function<std::string(Msg)> Text;
        // Beep and a message box.
        std::function<void(const std::string& caption, const std::string& text, unsigned flags)>
            Alert;
    };

    // box is the window's combo box, folder the working folder.
    RecordingsList(VideoComboBox& box, std::string folder, Host host);

    // Reads the folder again; select names the entry to select afterwards, none for no entry.
    void Refresh(const std::optional<std::string>& select);
    void UpdateHint();
    // Puts name in the box as the next recording's, as a window chosen in the picker proposes.
    void ProposeName(const std::string& name);
    // The selected recording's files; none, after asking the user to choose, when the box is
    // empty.
    std::optional<RecordingFiles> Selected();
    // The selected recording's files when its video exists; none after telling the user why
    // not (no selection, or the file not found).
    std::optional<RecordingFiles> SelectedExisting();

    void Play();
    void Delete();
    void ShowInFileManager();

private:
    // The files of the entry the box shows, or of name read as a typed name.
    RecordingFiles FilesFor(const std::string& name) const;

    VideoComboBox& box_;
    std::string folder_;
    Host host_;
};

}  // namespace app
