// The main window's recording control: the picture buttons, ToggleRecording through its
// states, the one-second tick, the hot key and the hook messages.
#include <QApplication>
#include <QWindow>

#include "app/HookMessages.h"
#include "app/Korvex_Unit.h"
#include "app/VideoNames.h"
#include "dialogs/Korvex_Options_Unit.h"
#include "platform/files/files.h"
#include "platform/keys/keys.h"
#include "platform/msgbox/msgbox.h"
#include "region/Korvex_Viewport_Unit.h"

namespace app {

namespace files = platform::files;
namespace mb = platform::msgbox;

namespace {

// The engine's codec catalogue as it stands, for the options dialog.
dialogs::CodecChoice CodecChoiceOf(engine::TScreenCam& cam) {
    dialogs::CodecChoice choice;
    for (int i = 0; i < cam.CodecCount; ++i) {
        const char16_t* description = cam.Codecs[static_cast<std::size_t>(i)].szDescription;
        choice.descriptions.push_back(QString::fromUtf16(description).toStdString());
    }
    choice.HasAbout = [&cam](int index) { return cam.QueryCodecDialogs(index).about; };
    choice.ShowAbout = [&cam](int index, QWidget* owner) {
        cam.ShowCodecAbout(index, reinterpret_cast<std::intptr_t>(owner));
    };
    return choice;
}

// Free MiB the recordings' drive needs for a start, and while recording; the latter is looked
// at once a minute, half a minute after each full one.
constexpr std::uint64_t kFreeMiBToStart = 200;
constexpr std::uint64_t kFreeMiBWhileRecording = 100;
constexpr std::uint16_t kSecondsPerMinute = 60;
constexpr std::uint16_t kFreeSpaceCheckSecond = 30;

constexpr Qt::WindowFlags kToolbarFlags =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint;

}  // namespace

// Marks a message box of the recording control, or the options dialog, as open for its lifetime:
// ToggleRecording ignores the button and Win+S meanwhile.
class TMainForm::DialogScope {
public:
    explicit DialogScope(bool& open) : open_(open) { open_ = true; }
    ~DialogScope() { open_ = false; }
    DialogScope(const DialogScope&) = delete;
    DialogScope& operator=(const DialogScope&) = delete;

private:
    bool& open_;
};

void TMainForm::WireButtons() {
    Record_Image->OnPress = [this] {
        Record_Image->SetPicture(LookOf(control_.State(), RecordPress::Down).recordPicture);
    };
    Record_Image->OnRelease = [this] {
        const bool clicked = Record_Image->IsCursorOver();
        const RecordPress press = clicked ? RecordPress::Clicked : RecordPress::TakenBack;
        Record_Image->SetPicture(LookOf(control_.State(), press).recordPicture);
        if (clicked) ToggleRecording();
    };
    Play_Image->OnPress = [this] { Play_Image->SetPicture(Bitmap::PlayPressed); };
    Play_Image->OnRelease = [this] {
        Play_Image->SetPicture(Bitmap::PlayReleased);
        if (Play_Image->IsCursorOver()) recordings_->Play();
    };
    Mail_Image->OnPress = [this] { Mail_Image->SetPicture(Bitmap::MailPressed); };
    Mail_Image->OnRelease = [this] {
        Mail_Image->SetPicture(Bitmap::MailReleased);
        if (Mail_Image->IsCursorOver()) archives_->Mail(CurrentVideoName);
    };
    Tools_Image->OnPress = [this] { Tools_Image->SetPicture(Bitmap::ToolsPressed); };
    Tools_Image->OnRelease = [this] {
        Tools_Image->SetPicture(Bitmap::ToolsReleased);
        // The catalogue is brought up to date even when the click is taken back.
        Cam_->EnumerateCodecs();
        if (Tools_Image->IsCursorOver()) ShowOptions();
    };
}

void TMainForm::ShowOptions() {
    if (!Options_Form) return;
    DialogScope dialog(DialogOpen);
    if (!Options_Form->ShowOptions(Settings, CodecChoiceOf(*Cam_))) return;
    AdoptEngineSettings();
    // The chosen codec records from the next recording on, not only after the next catalogue.
    Cam_->SelectCompressor();
    app::SaveSettings(Settings);
}

void TMainForm::ShowRecordButton() {
    const ToolbarLook look = LookOf(control_.State());
    std::string hint;
    for (Msg line : look.recordHint) hint += (hint.empty() ? "" : "\r\n") + Text(line);
    Record_Image->setToolTip(QString::fromStdString(hint));
    Record_Image->SetPicture(look.recordPicture);
    Record_Image->repaint();
}

void TMainForm::SetState(RecordEvent event) {
    if (control_.Handle(event)) ShowState();
}

void TMainForm::ShowState() {
    const ToolbarLook look = LookOf(control_.State());
    if (look.compact != compact_) {
        if (look.compact) {
            SetCompactSize();
        } else {
            SetFullSize();
        }
    }
    if (look.title == TitleChange::ElapsedZero)
        setWindowTitle(QString::fromStdString(ElapsedCaption(0)));
    if (look.title == TitleChange::ProgramTitle) setWindowTitle(kProgramTitle);
    ShowRecordButton();
    setWindowIconText(look.readyIconText ? QString::fromStdString(Text(Msg::ReadyTitle))
                                         : QString(kProgramTitle));
    if (ViewPort_Form) ViewPort_Form->Programs_ComboBox->setVisible(!look.compact);
    // Only a change of style: setting the list style again would move the selection.
    if (look.nameEditable && !Video_ComboBox->isEditable()) Video_ComboBox->SetEditableStyle();
    if (!look.nameEditable && Video_ComboBox->isEditable()) Video_ComboBox->SetListStyle();
    EnableVideoCommands(look.videoCommandsEnabled);
    RenewHotKey();
}

void TMainForm::ShowToolbarControls(bool shown) {
    for (QWidget* w : {static_cast<QWidget*>(Play_Image), static_cast<QWidget*>(Mail_Image),
                       static_cast<QWidget*>(Tools_Image), static_cast<QWidget*>(Video_ComboBox)}) {
        w->setVisible(shown);
    }
}

void TMainForm::SetFullSize() {
    compact_ = false;
    const QPoint at = pos();
    const bool shown = isVisible();
    setWindowFlags(kToolbarFlags | Qt::WindowCloseButtonHint);
    setFixedSize(kFullToolbarSize);
    ShowToolbarControls(true);
    if (shown) {
        move(at);
        show();
    }
}

void TMainForm::SetCompactSize() {
    compact_ = true;
    const QPoint at = pos();
    setWindowFlags(kToolbarFlags);
    setFixedSize(kCompactToolbarSize);
    ShowToolbarControls(false);
    move(at);
    show();
}

void TMainForm::RenewHotKey() {
    // Still in force after the window changed: the repeated call fails harmlessly.
    hotKeys_.Register(HotKeyId, platform::hotkey::MOD_WIN, 'S');
}

std::string TMainForm::Drive() const {
    return files::MountPoint(paths_.VideoFolder);
}

bool TMainForm::HasFreeSpace(std::uint64_t thresholdMiB) const {
    return EnoughSpace(files::FreeBytes(paths_.VideoFolder), thresholdMiB);
}

void TMainForm::ToggleRecording() {
    if (DialogOpen) return;
    switch (control_.Toggle()) {
        case ToggleIntent::Stop:
            StopBranch();
            break;
        case ToggleIntent::Start:
            StartBranch();
            break;
        case ToggleIntent::Nothing:
            break;
        case ToggleIntent::ShowRegion:
            if (files::FolderExists(paths_.VideoFolder)) {
                ShowRegionBranch();
            } else {
                DialogScope dialog(DialogOpen);
                ShowAlert(Text(Msg::Error), Text(Msg::InvalidTemp), mb::MB_ICONERROR);
            }
            break;
    }
}

void TMainForm::EndRecording() {
    control_.Handle(RecordEvent::Stop);
    Timer->stop();
    Cam_->StopRecording();
    if (screenCast_) screenCast_->End();
}

void TMainForm::StopBranch() {
    EndRecording();
    ShowState();
    recordings_->Refresh(CurrentVideoName);
}

void TMainForm::StartBranch() {
    if (!HasFreeSpace(kFreeMiBToStart)) {
        DialogScope dialog(DialogOpen);
        ShowAlert(Text(Msg::Error), Text(Msg::NotEnoughSpaceOnDrive) + Drive() + "!",
                  mb::MB_ICONERROR);
        return;
    }
    const std::string name = RecordingName(Video_ComboBox->currentText().toStdString());
    Video_ComboBox->setEditText(QString::fromStdString(name));
    if (name.empty()) {
        mb::Beep();
        {
            DialogScope dialog(DialogOpen);
            ShowAlert(Text(Msg::Information), Text(Msg::EnterVideoName), mb::MB_ICONINFORMATION);
        }
        ShowRecordButton();
        Video_ComboBox->setFocus();
        return;
    }
    CurrentVideoPath = RecordingFilesFor(paths_.VideoFolder, name).video;
    CurrentVideoName = name;
    if (files::FileExists(CurrentVideoPath) && !ConfirmOverwrite()) return;
    SetState(RecordEvent::ConfirmStart);
    Timer->start();
    ViewPort_Form->raise();
    ViewPort_Form->repaint();
}

bool TMainForm::ConfirmOverwrite() {
    mb::Beep();
    {
        DialogScope dialog(DialogOpen);
        const int answer =
            mb::Show(Text(Msg::Warning), CurrentVideoName + Text(Msg::WillBeOverwritten),
                     mb::MB_OKCANCEL | mb::MB_ICONINFORMATION);
        if (answer == mb::IDCANCEL) {
            ShowRecordButton();
            return false;
        }
    }
    if (files::IsOpenByAnyProcess(CurrentVideoPath)) {
        ShowRecordButton();
        ShowAlert(Text(Msg::Error), CurrentVideoPath + Text(Msg::InUseByOtherProgram),
                  mb::MB_ICONERROR);
        return false;
    }
    return true;
}

void TMainForm::ShowRegionBranch() {
    Timer->stop();
    SetState(RecordEvent::ShowRegion);
    ViewPort_Form->update();
    ViewPort_Form->ShowRegion();
}

void TMainForm::RegionWindowClosed() {
    SetState(RecordEvent::CloseRegion);
}

void TMainForm::TimerTick() {
    if (control_.Handle(RecordEvent::Tick)) {
        ViewPort_Form->repaint();
        ViewPort_Form->hide();
        ElapsedSeconds = 0;
        BeginRecording();
    } else if (control_.State() == RecordState::Recording) {
        BlinkPhase = !BlinkPhase;
        Record_Image->SetPicture(BlinkPhase ? Bitmap::StopRed : Bitmap::StopPressed);
        if (Cam_->Cursor.HighlightCursor) Cam_->UpdateCursor();
        Record_Image->repaint();
        ++ElapsedSeconds;
        setWindowTitle(QString::fromStdString(ElapsedCaption(ElapsedSeconds)));
        if (ElapsedSeconds % kSecondsPerMinute == kFreeSpaceCheckSecond &&
            !HasFreeSpace(kFreeMiBWhileRecording)) {
            AutomaticStop(Msg::Error, mb::MB_ICONERROR,
                          Text(Msg::NotEnoughSpaceOnDrive) + Drive() + "!");
            // One stop is enough: the maximum time is not looked at once stopped.
            return;
        }
        if (Settings.MaxRecordingSeconds > 0 && ElapsedSeconds >= Settings.MaxRecordingSeconds) {
            AutomaticStop(Msg::Information, mb::MB_ICONINFORMATION,
                          Text(Msg::MaxRecordingTimeReached));
        }
    }
}

void TMainForm::BeginRecording() {
    if (!screenCast_) {
        StartEngine();
        return;
    }
    // The seconds count from the first frame on: the desktop may first ask the user.
    Timer->stop();
    screenCast_->Begin(
        [this] {
            StartEngine();
            Timer->start();
        },
        [this](Msg message) {
            const bool cancelled = message == Msg::ScreenCastCancelled;
            AutomaticStop(cancelled ? Msg::Information : Msg::Error,
                          cancelled ? mb::MB_ICONINFORMATION : mb::MB_ICONERROR, Text(message));
        });
}

void TMainForm::ScreenCastEnded() {
    if (control_.State() != RecordState::Recording) return;
    AutomaticStop(Msg::Warning, mb::MB_ICONWARNING, Text(Msg::ScreenCastEnded));
}

void TMainForm::StartEngine() {
    Cam_->StartRecording(*ViewPort_Form, CurrentVideoPath);
    const auto target = static_cast<unsigned long>(winId());
    if (hookLibrary_) hookLibrary_->Hook(target);
}

void TMainForm::AutomaticStop(Msg caption, unsigned style, const std::string& text) {
    EndRecording();
    raise();
    activateWindow();
    {
        // Win+S waits while the box is open, so the toolbar is never left half way.
        DialogScope dialog(DialogOpen);
        ShowAlert(Text(caption), text, style);
    }
    ShowState();
}

void TMainForm::OnHotKey(std::uint32_t id) {
    if (id == HotKeyId) HotKeyAction();
}

void TMainForm::HotKeyAction() {
    raise();
    activateWindow();
    if (ViewPort_Form && ViewPort_Form->isVisible()) ViewPort_Form->raise();
    ToggleRecording();
}

void TMainForm::HookMessage(const platform::hookevents::HookEvent& event) {
    if (!Cam_) return;
    const int kind = EventKindForHookMessage(event.message, event.wParam, [this](int vk) {
        return keyState_.GetAsyncKeyState(vk) != 0;
    });
    if (kind != 0) Cam_->TriggerEventCursor(kind);
}

}  // namespace app
