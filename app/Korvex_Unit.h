// The main window: the small always-on-top toolbar. It shows the recording cycle that its
// RecordingControl keeps, and owns the recording engine, the hot key, the hook library, the list
// of recordings, the archive commands and the program's files in the TEMP folder. GUI thread
// only.
#pragma once

#include <QMenu>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/ArchiveCommands.h"
#include "app/HookLibrary.h"
#include "app/ProgramPaths.h"
#include "app/RecordingControl.h"
#include "app/RecordingsList.h"
#include "app/ScreenCastCapture.h"
#include "app/ToolbarWidgets.h"
#include "app/VideoNames.h"
#include "catalogue/MessageCatalogue.h"
#include "engine/Korvex_ScrCam_Unit.h"
#include "platform/hookevents/hookevents.h"
#include "platform/hotkey/hotkey.h"
#include "platform/keys/keys.h"
#include "settings/Settings.h"

namespace region {
class TViewPort_Form;
}

namespace dialogs {
class TOptions_Form;
}

namespace app {

class TMainForm : public QWidget {
    Q_OBJECT

public:
    // languageOffset comes from the start-up language decision, the window position from the
    // stored "position".
    TMainForm(const ProgramPaths& paths, int languageOffset, const WindowPosition& position);
    ~TMainForm() override;  // FormDestroy

    // False when the working folder could not be made: the message has been shown and the
    // program ends.
    bool Created() const { return created_; }
    // The region window, created after the main window; the main window does not own it.
    void SetRegionWindow(region::TViewPort_Form* viewPort);
    // The options dialog, created after the region window; not owned either.
    void SetOptionsDialog(dialogs::TOptions_Form* options);

    // Beep, then a message box owned by the active window, modal to the program's windows.
    void ShowAlert(const std::string& caption, const std::string& text, unsigned flags);
    // Tells the user that the recording goes on without sound, and why.
    void ShowSoundTrouble(engine::SoundTrouble trouble);
    // Text id of the catalogue in the program's language.
    std::string Text(Msg id) const;
    int Language() const { return LanguageOffset; }
    bool IsStartPending() const { return control_.State() == RecordState::Starting; }

    // The return to the idle look when the user closes the region window.
    void RegionWindowClosed();
    // The name that a window chosen in the region window's picker proposes for the next video.
    void ProposeVideoName(const std::string& name) { recordings_->ProposeName(name); }

    // The Record button and Win+S.
    void ToggleRecording();
    // What Win+S does, for `korvex --toggle`: the program's windows to the front, then
    // ToggleRecording.
    void HotKeyAction();
    // The end that a termination signal asks for: a recording is stopped as the Record button
    // stops it, then the program ends without questions and deletes no recording.
    void EndWithoutQuestions();

    engine::TScreenCam& Cam() { return *Cam_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Start-up and shutdown.
    bool FormCreate();
    bool FormCloseQuery() const;
    void FormClose();
    void FormDestroy();
    void ApplyLanguage();
    void DeleteRecordingsOnClose();
    void LoadSettings();
    // The engine's fields of the settings handed to the engine.
    void AdoptEngineSettings();
    // The Tools button: the options dialog, and the settings stored when the user saves.
    void ShowOptions();

    // Recording control.
    void TimerTick();
    void BeginRecording();
    // The engine's start and the hooks, once the screen gives frames.
    void StartEngine();
    // The desktop's stream ended: a recording stops as the maximum time stops it.
    void ScreenCastEnded();
    void AutomaticStop(Msg caption, unsigned style, const std::string& text);
    // The stop that the Record button and the automatic stops share, before the look changes.
    void EndRecording();
    void StopBranch();
    void StartBranch();
    void ShowRegionBranch();
    bool ConfirmOverwrite();
    // Moves the recording control by event and shows its new state; an event that does not
    // apply in the current state changes nothing.
    void SetState(RecordEvent event);
    // The toolbar's look in the current state, and the Record button's hint and picture alone.
    void ShowState();
    void ShowRecordButton();
    void ShowToolbarControls(bool shown);
    void SetFullSize();
    void SetCompactSize();
    void RenewHotKey();
    bool HasFreeSpace(std::uint64_t thresholdMiB) const;
    std::string Drive() const;
    void WireButtons();
    void OnHotKey(std::uint32_t id);
    // WM_HOOK_MOUSE and WM_HOOK_KEYBOARD, in every state: marks for the next frames.
    void HookMessage(const platform::hookevents::HookEvent& event);

    // Delete and Compress in the context menu.
    void EnableVideoCommands(bool enabled);

    // The archive commands, created with the context menu they serve.
    void CreateArchiveCommands();

    ProgramPaths paths_;
    int LanguageOffset;
    SettingsRecord Settings;
    bool created_ = false;
    bool destroyed_ = false;
    bool endWithoutQuestions_ = false;
    region::TViewPort_Form* ViewPort_Form = nullptr;
    dialogs::TOptions_Form* Options_Form = nullptr;

    std::uint32_t HotKeyId = 0;
    platform::hotkey::HotKeys hotKeys_;
    platform::hookevents::HookEvents hookEvents_;
    platform::keys::KeyState keyState_;

    std::optional<HookLibrary> hookLibrary_;

    std::string CurrentVideoPath;
    std::string CurrentVideoName;
    class DialogScope;
    RecordingControl control_;
    bool DialogOpen = false;
    bool compact_ = false;
    bool BlinkPhase = false;
    std::uint16_t ElapsedSeconds = 0;

    // The ScreenCast portal in a Wayland session; null on X11. Made before the engine reads
    // from it, freed after it.
    std::unique_ptr<ScreenCastCapture> screenCast_;
    std::unique_ptr<engine::TScreenCam> Cam_;
    std::unique_ptr<RecordingsList> recordings_;
    std::unique_ptr<ArchiveCommands> archives_;

    PictureButton* Record_Image = nullptr;
    PictureButton* Play_Image = nullptr;
    PictureButton* Mail_Image = nullptr;
    PictureButton* Tools_Image = nullptr;
    VideoComboBox* Video_ComboBox = nullptr;
    QMenu* Context_PopupMenu = nullptr;
    QAction* DeleteVideo = nullptr;
    QAction* CompressVideo = nullptr;
    QAction* ShowCompressedVideo = nullptr;
    QAction* OpenExplorer = nullptr;
    QTimer* Timer = nullptr;
};

}  // namespace app
