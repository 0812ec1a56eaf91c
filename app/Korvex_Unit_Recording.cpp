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

constexpr Qt::WindowFlags kToolbarFlags =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint;

// The Record button's pictures in a state: while pressed, after a click (the state it leads
// to), and after a press taken back. The start-pending second looks like Ready here.
struct RecordPictures {
    Bitmap pressed, clicked, current;
};

RecordPictures RecordPicturesIn(RecordState state) {
    switch (state) {
        case RecordState::Recording:
            return {Bitmap::StopPressed, Bitmap::RegionReleased, Bitmap::StopReleased};
        case RecordState::Ready:
        case RecordState::Starting:
            return {Bitmap::StartPressed, Bitmap::StopReleased, Bitmap::StartReleased};
        case RecordState::Idle:
            break;
    }
    return {Bitmap::RegionPressed, Bitmap::StartReleased, Bitmap::RegionReleased};
}

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
    Record_Image->OnPress = [this] { Record_Image->SetPicture(RecordPicturesIn(State).pressed); };
    Record_Image->OnRelease = [this] {
        const RecordPictures pictures = RecordPicturesIn(State);
        if (Record_Image->IsCursorOver()) {
            Record_Image->SetPicture(pictures.clicked);
            ToggleRecording();
        } else {
            Record_Image->SetPicture(pictures.current);
        }
    };
    Play_Image->OnPress = [this] { Play_Image->SetPicture(Bitmap::PlayPressed); };
    Play_Image->OnRelease = [this] {
        Play_Image->SetPicture(Bitmap::PlayReleased);
        if (Play_Image->IsCursorOver()) PlayVideo();
    };
    Mail_Image->OnPress = [this] { Mail_ImageMouseDown(); };
    Mail_Image->OnRelease = [this] { Mail_ImageMouseUp(); };
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

void TMainForm::ShowRecordButton(RecordState state) {
    std::string hint;
    switch (state) {
        case RecordState::Idle:
            hint = Text(Msg::SetRegionHint);
            break;
        case RecordState::Ready:
            hint = Text(Msg::StartRecordingHint);
            break;
        case RecordState::Starting:
        case RecordState::Recording:
            hint = Text(Msg::StopRecordingHint);
            for (Msg key : {Msg::F9Hint, Msg::F10Hint, Msg::F11Hint, Msg::F12Hint}) {
                hint += "\r\n" + Text(key);
            }
            break;
    }
    const Bitmap picture = state == RecordState::Idle    ? Bitmap::RegionReleased
                           : state == RecordState::Ready ? Bitmap::StartReleased
                                                         : Bitmap::StopReleased;
    Record_Image->setToolTip(QString::fromStdString(hint));
    Record_Image->SetPicture(picture);
    Record_Image->repaint();
}

void TMainForm::ShowState(RecordState state) {
    const bool recording = state == RecordState::Starting || state == RecordState::Recording;
    if (recording != compact_) {
        if (recording) {
            SetCompactSize();
        } else {
            SetFullSize();
        }
    }
    if (state == RecordState::Starting) setWindowTitle("00:00");
    if (state == RecordState::Idle) setWindowTitle("Korvex!");
    ShowRecordButton(state);
    setWindowIconText(state == RecordState::Ready ? QString::fromStdString(Text(Msg::ReadyTitle))
                                                  : QStringLiteral("Korvex!"));
    if (ViewPort_Form) ViewPort_Form->Programs_ComboBox->setVisible(!recording);
    // Only a change of style: setting the list style again would move the selection.
    const bool editable = state == RecordState::Ready;
    if (editable && !Video_ComboBox->isEditable()) Video_ComboBox->SetEditableStyle();
    if (!editable && Video_ComboBox->isEditable()) Video_ComboBox->SetListStyle();
    EnableVideoCommands(state != RecordState::Ready);
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
    setFixedSize(4 * 36 + 10, 36 + 21 + 6);
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
    setFixedSize(36 + 4, 40);
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
    switch (State) {
        case RecordState::Recording:
            StopBranch();
            break;
        case RecordState::Ready:
            StartBranch();
            break;
        case RecordState::Starting:
            // A press in the second before the engine starts changes nothing: the start is
            // already confirmed, and the next press stops the recording.
            break;
        case RecordState::Idle:
            if (files::FolderExists(paths_.VideoFolder)) {
                ShowRegionBranch();
            } else {
                DialogScope dialog(DialogOpen);
                ShowAlert(Text(Msg::Error), Text(Msg::InvalidTemp), mb::MB_ICONERROR);
            }
            break;
    }
}

void TMainForm::StopBranch() {
    State = RecordState::Idle;
    Timer->stop();
    Cam_->StopRecording();
    if (screenCast_) screenCast_->End();
    ShowState(State);
    RefreshVideos(true);
}

void TMainForm::StartBranch() {
    if (!HasFreeSpace(200)) {
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
        ShowRecordButton(RecordState::Ready);
        Video_ComboBox->setFocus();
        return;
    }
    CurrentVideoPath = RecordingFilesFor(paths_.VideoFolder, name).video;
    CurrentVideoName = name;
    if (files::FileExists(CurrentVideoPath) && !ConfirmOverwrite()) return;
    State = RecordState::Starting;
    ShowState(State);
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
            ShowRecordButton(RecordState::Ready);
            return false;
        }
    }
    if (files::IsOpenByAnyProcess(CurrentVideoPath)) {
        ShowRecordButton(RecordState::Ready);
        ShowAlert(Text(Msg::Error), CurrentVideoPath + Text(Msg::InUseByOtherProgram),
                  mb::MB_ICONERROR);
        return false;
    }
    return true;
}

void TMainForm::ShowRegionBranch() {
    State = RecordState::Ready;
    Timer->stop();
    ShowState(State);
    ViewPort_Form->update();
    ViewPort_Form->ShowRegion();
}

void TMainForm::RegionWindowClosed() {
    // Once the start is confirmed the recording goes ahead at the next tick.
    if (State != RecordState::Ready) return;
    State = RecordState::Idle;
    ShowState(State);
}

void TMainForm::TimerTick() {
    if (State == RecordState::Starting) {
        State = RecordState::Recording;
        ViewPort_Form->repaint();
        ViewPort_Form->hide();
        ElapsedSeconds = 0;
        BeginRecording();
    } else if (State == RecordState::Recording) {
        BlinkPhase = !BlinkPhase;
        Record_Image->SetPicture(BlinkPhase ? Bitmap::StopRed : Bitmap::StopPressed);
        if (Cam_->Cursor.HighlightCursor) Cam_->UpdateCursor();
        Record_Image->repaint();
        ++ElapsedSeconds;
        setWindowTitle(QString::fromStdString(ElapsedCaption(ElapsedSeconds)));
        if (ElapsedSeconds % 60 == 30 && !HasFreeSpace(100)) {
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
    if (State != RecordState::Recording) return;
    AutomaticStop(Msg::Warning, mb::MB_ICONWARNING, Text(Msg::ScreenCastEnded));
}

void TMainForm::StartEngine() {
    Cam_->StartRecording(*ViewPort_Form, CurrentVideoPath);
    const auto target = static_cast<unsigned long>(winId());
    if (HookMouse) HookMouse(target);
    if (HookKeyboard) HookKeyboard(target);
}

void TMainForm::AutomaticStop(Msg caption, unsigned style, const std::string& text) {
    State = RecordState::Idle;
    Timer->stop();
    Cam_->StopRecording();
    if (screenCast_) screenCast_->End();
    raise();
    activateWindow();
    {
        // Win+S waits while the box is open, so the toolbar is never left half way.
        DialogScope dialog(DialogOpen);
        ShowAlert(Text(caption), text, style);
    }
    ShowState(State);
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
