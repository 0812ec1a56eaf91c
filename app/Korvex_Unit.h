// The main window: the small always-on-top toolbar that drives the recording cycle and owns the
// recording engine, the hot key, the hook library and the program's files in the TEMP folder.
// GUI thread only.
#pragma once

#include <QMenu>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/ProgramPaths.h"
#include "app/ScreenCastCapture.h"
#include "app/ToolbarWidgets.h"
#include "app/VideoNames.h"
#include "archive/CompressionWorkflow.h"
#include "catalogue/MessageCatalogue.h"
#include "engine/Korvex_ScrCam_Unit.h"
#include "platform/hookevents/hookevents.h"
#include "platform/hotkey/hotkey.h"
#include "platform/keys/keys.h"
#include "platform/library/library.h"
#include "settings/Settings.h"

class QFileDialog;

namespace region {
class TViewPort_Form;
}

namespace dialogs {
class TOptions_Form;
}

namespace app {

// The recording control as the user sees it: Idle (region window hidden), Ready (region window
// shown), Starting (start confirmed, the engine starts at the next tick), Recording.
enum class RecordState { Idle, Ready, Starting, Recording };

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
    // Text id of the catalogue in the program's language.
    std::string Text(Msg id) const;
    int Language() const { return LanguageOffset; }
    bool IsStartPending() const { return State == RecordState::Starting; }

    // The return to the idle look when the user closes the region window.
    void RegionWindowClosed();
    // The name that a window chosen in the region window's picker proposes for the next video.
    void ProposeVideoName(const std::string& name);

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
    void LoadHookLibrary();
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
    void StopBranch();
    void StartBranch();
    void ShowRegionBranch();
    bool ConfirmOverwrite();
    // The toolbar's look in a state, and the Record button's hint and picture alone.
    void ShowState(RecordState state);
    void ShowRecordButton(RecordState state);
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

    // The video library.
    void ScanVideos();
    void RefreshVideos(bool selectCurrent);
    void EnableVideoCommands(bool enabled);
    void UpdateComboHint();
    RecordingFiles SelectedRecording(const std::string& name) const;
    std::optional<RecordingFiles> ResolveSelectedVideo();
    void PlayVideo();
    void DeleteVideoClick();
    void OpenExplorerClick();

    // Archives and mail.
    bool CreateArchiveComponents();
    void CreateArchiveCommands();
    void ApplyArchiveLanguage();
    void ReleaseArchiveComponents();
    // Runs a command; an error it raises ends it and is shown with its own text.
    void ReportErrors(const std::function<void()>& command);
    void ArchiveAlert(archive::WorkflowAlert alert, const std::string& path);
    // The selected recording packed beside it: the archive's path, with the hourglass shown
    // from the packing on; none when it stopped with a message.
    std::optional<std::string> PackSelectedVideo(archive::BusyCursor& busy);
    void CompressVideoClick();
    void Mail_ImageMouseDown();
    void Mail_ImageMouseUp();
    void ShowCompressedVideoClick();

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

    using HookFn = void (*)(unsigned long);
    using UnhookMouseFn = void (*)();
    using UnhookKeyboardFn = bool (*)();
    std::unique_ptr<platform::library::Library> hookLibrary_;
    HookFn HookMouse = nullptr;
    HookFn HookKeyboard = nullptr;
    UnhookMouseFn UnhookMouse = nullptr;
    UnhookKeyboardFn UnHookKeyboard = nullptr;

    std::string CurrentVideoPath;
    std::string CurrentVideoName;
    class DialogScope;
    RecordState State = RecordState::Idle;
    bool DialogOpen = false;
    bool compact_ = false;
    bool BlinkPhase = false;
    std::uint16_t ElapsedSeconds = 0;

    // The ScreenCast portal in a Wayland session; null on X11. Made before the engine reads
    // from it, freed after it.
    std::unique_ptr<ScreenCastCapture> screenCast_;
    std::unique_ptr<engine::TScreenCam> Cam_;
    TKAZip KAZip;
    std::unique_ptr<archive::TSevenZip> SevenZip;
    std::unique_ptr<archive::CompressionWorkflow> workflow_;

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
    QFileDialog* CompressedVideo_OpenDialog = nullptr;
};

}  // namespace app
