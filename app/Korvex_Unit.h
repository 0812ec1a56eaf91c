// The main window: the small always-on-top toolbar that owns the recording engine, the hot key,
// the hook library and the program's files in the TEMP folder. GUI thread only.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "app/ProgramPaths.h"
#include "engine/Korvex_ScrCam_Unit.h"
#include "platform/hotkey/hotkey.h"
#include "platform/library/library.h"

namespace app {

// The shell's part of the persisted settings, with the values a new user starts with.
struct ShellSettings {
    int WindowLeft = 0;
    int WindowTop = 2;
    bool DeleteFilesOnClose = true;
    bool WarnBeforeDelete = true;
    std::uint16_t MaxRecordingSeconds = 900;
    bool Use7z = false;
    std::uint16_t SevenZipThresholdMB = 14;
};

class TMainForm : public QWidget {
    Q_OBJECT

public:
    // languageOffset comes from the start-up language decision; position from the settings.
    TMainForm(const ProgramPaths& paths, int languageOffset, const ShellSettings& settings);
    ~TMainForm() override;  // FormDestroy

    // False when the working folder could not be made: the message has been shown and the
    // program ends.
    bool Created() const { return created_; }

    // Beep, then a message box owned by the active window, modal to the program's windows.
    void ShowAlert(const std::string& caption, const std::string& text, unsigned flags);
    // Text id of the catalogue in the program's language.
    std::string Text(int id) const;

    engine::TScreenCam& Cam() { return *Cam_; }
    const ProgramPaths& Paths() const { return paths_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool FormCreate();
    bool FormCloseQuery() const;
    void FormClose();
    void FormDestroy();
    void ApplyLanguage();
    void LoadHookLibrary();
    void DeleteRecordingsOnClose();
    void TimerTick();

    ProgramPaths paths_;
    int LanguageOffset;
    ShellSettings Settings;
    bool created_ = false;
    bool destroyed_ = false;

    std::uint32_t HotKeyId = 0;
    platform::hotkey::HotKeys hotKeys_;

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
    bool RecordingActive = false;
    bool StartPending = false;
    bool DialogOpen = false;
    bool BlinkPhase = false;

    std::unique_ptr<engine::TScreenCam> Cam_;

    QLabel* Record_Image = nullptr;
    QLabel* Play_Image = nullptr;
    QLabel* Mail_Image = nullptr;
    QLabel* Tools_Image = nullptr;
    QComboBox* Video_ComboBox = nullptr;
    QMenu* Context_PopupMenu = nullptr;
    QAction* DeleteVideo = nullptr;
    QAction* CompressVideo = nullptr;
    QAction* ShowCompressedVideo = nullptr;
    QAction* OpenExplorer = nullptr;
    QTimer* Timer = nullptr;
};

}  // namespace app
