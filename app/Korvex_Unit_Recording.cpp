// The main window's recording control: the picture buttons, ToggleRecording through its
// states, the one-second tick, the hot key and the hook messages.
#include <xcb/xcb.h>

#include <QApplication>
#include <QWindow>

#include "app/HookMessages.h"
#include "app/Korvex_Unit.h"
#include "app/VideoNames.h"
#include "platform/files/files.h"
#include "platform/keys/keys.h"
#include "platform/msgbox/msgbox.h"
#include "region/Korvex_Viewport_Unit.h"

namespace app {

namespace files = platform::files;
namespace mb = platform::msgbox;

namespace {

constexpr Qt::WindowFlags kToolbarFlags =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint;

}  // namespace

void TMainForm::WireButtons() {
    const auto regionShown = [this] { return ViewPort_Form && ViewPort_Form->isVisible(); };
    Record_Image->OnPress = [this, regionShown] {
        Record_Image->SetPicture(RecordingActive ? 110 : regionShown() ? 106 : 108);
    };
    Record_Image->OnRelease = [this, regionShown] {
        if (Record_Image->IsCursorOver()) {
            Record_Image->SetPicture(RecordingActive ? 107 : regionShown() ? 109 : 105);
            ToggleRecording();
        } else {
            Record_Image->SetPicture(RecordingActive ? 109 : regionShown() ? 105 : 107);
        }
    };
    Play_Image->OnPress = [this] { Play_Image->SetPicture(104); };
    Play_Image->OnRelease = [this] {
        Play_Image->SetPicture(103);
        if (Play_Image->IsCursorOver()) PlayVideo();
    };
    Mail_Image->OnPress = [this] { Mail_Image->SetPicture(102); };
    Mail_Image->OnRelease = [this] { Mail_Image->SetPicture(101); };
    Tools_Image->OnPress = [this] { Tools_Image->SetPicture(113); };
    Tools_Image->OnRelease = [this] {
        Tools_Image->SetPicture(112);
        // The catalogue is brought up to date even when the click is taken back.
        Cam_->EnumerateCodecs();
    };
}

void TMainForm::SetRecordButton(const std::string& hint, int picture) {
    Record_Image->setToolTip(QString::fromStdString(hint));
    Record_Image->SetPicture(picture);
}

void TMainForm::ShowToolbarControls(bool shown) {
    for (QWidget* w : {static_cast<QWidget*>(Play_Image), static_cast<QWidget*>(Mail_Image),
                       static_cast<QWidget*>(Tools_Image), static_cast<QWidget*>(Video_ComboBox)}) {
        w->setVisible(shown);
    }
}

void TMainForm::SetFullSize() {
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
    if (RecordingActive) {
        StopBranch();
    } else if (ViewPort_Form && ViewPort_Form->isVisible()) {
        // A press in the second before the engine starts changes nothing: the start is
        // already confirmed, and the next press stops the recording.
        if (!StartPending) StartBranch();
    } else if (files::FolderExists(paths_.VideoFolder)) {
        ShowRegionBranch();
    } else {
        DialogOpen = true;
        ShowAlert(Text(3), Text(14), mb::MB_ICONERROR);
        DialogOpen = false;
    }
}

void TMainForm::StopBranch() {
    RecordingActive = false;
    StartPending = false;
    Timer->stop();
    Cam_->StopRecording();
    SetFullSize();
    SetRecordButton(Text(102), 107);
    setWindowTitle("Korvex!");
    setWindowIconText("Korvex!");
    if (ViewPort_Form) ViewPort_Form->Programs_ComboBox->setVisible(true);
    Video_ComboBox->SetListStyle();
    EnableVideoCommands(true);
    RefreshVideos(true);
    RenewHotKey();
}

void TMainForm::StartBranch() {
    if (!HasFreeSpace(200)) {
        DialogOpen = true;
        ShowAlert(Text(3), Text(12) + Drive() + "!", mb::MB_ICONERROR);
        DialogOpen = false;
        return;
    }
    const std::string name = RecordingName(Video_ComboBox->currentText().toStdString());
    Video_ComboBox->setEditText(QString::fromStdString(name));
    if (name.empty()) {
        mb::Beep();
        DialogOpen = true;
        ShowAlert(Text(2), Text(15), mb::MB_ICONINFORMATION);
        DialogOpen = false;
        SetRecordButton(Text(114), 105);
        Video_ComboBox->setFocus();
        return;
    }
    CurrentVideoPath = VideoPathFor(paths_.VideoFolder, name);
    CurrentVideoName = name;
    if (files::FileExists(CurrentVideoPath)) {
        mb::Beep();
        DialogOpen = true;
        const int answer = mb::Show(Text(4), CurrentVideoName + Text(13),
                                    mb::MB_OKCANCEL | mb::MB_ICONINFORMATION);
        if (answer == mb::IDCANCEL) {
            SetRecordButton(Text(114), 105);
            DialogOpen = false;
            return;
        }
        if (files::IsOpenByAnyProcess(CurrentVideoPath)) {
            SetRecordButton(Text(114), 105);
            DialogOpen = false;
            ShowAlert(Text(3), CurrentVideoPath + Text(23), mb::MB_ICONERROR);
            return;
        }
        DialogOpen = false;
    }
    SetCompactSize();
    setWindowTitle("00:00");
    SetRecordButton(Text(109) + "\r\n" + Text(110) + "\r\n" + Text(111) + "\r\n" + Text(112) +
                        "\r\n" + Text(113),
                    109);
    setWindowIconText("Korvex!");
    RecordingActive = false;
    StartPending = true;
    Timer->start();
    ViewPort_Form->Programs_ComboBox->setVisible(false);
    ViewPort_Form->raise();
    ViewPort_Form->repaint();
    Video_ComboBox->SetListStyle();
    EnableVideoCommands(true);
    RenewHotKey();
}

void TMainForm::ShowRegionBranch() {
    SetRecordButton(Text(114), 105);
    RecordingActive = false;
    StartPending = false;
    Timer->stop();
    setWindowIconText(QString::fromStdString(Text(115)));
    ViewPort_Form->Programs_ComboBox->setVisible(true);
    ViewPort_Form->update();
    ViewPort_Form->ShowRegion();
    Video_ComboBox->SetEditableStyle();
    EnableVideoCommands(false);
    RenewHotKey();
}

void TMainForm::RegionWindowClosed() {
    SetRecordButton(Text(102), 107);
    Record_Image->repaint();
    Video_ComboBox->SetListStyle();
    EnableVideoCommands(true);
    setWindowIconText("Korvex!");
}

void TMainForm::TimerTick() {
    if (StartPending) {
        StartPending = false;
        RecordingActive = true;
        ViewPort_Form->repaint();
        ViewPort_Form->hide();
        ElapsedSeconds = 0;
        BeginRecording();
    } else if (RecordingActive) {
        BlinkPhase = !BlinkPhase;
        Record_Image->SetPicture(BlinkPhase ? 111 : 110);
        if (Cam_->Cursor.HighlightCursor) Cam_->UpdateCursor();
        Record_Image->repaint();
        ++ElapsedSeconds;
        setWindowTitle(QString::fromStdString(ElapsedCaption(ElapsedSeconds)));
        if (ElapsedSeconds % 60 == 30 && !HasFreeSpace(100)) {
            AutomaticStop(3, mb::MB_ICONERROR, Text(12) + Drive() + "!");
            // One stop is enough: the maximum time is not looked at once stopped.
            return;
        }
        if (Settings.MaxRecordingSeconds > 0 && ElapsedSeconds >= Settings.MaxRecordingSeconds) {
            AutomaticStop(2, mb::MB_ICONINFORMATION, Text(18));
        }
    }
}

void TMainForm::BeginRecording() {
    Cam_->StartRecording(*ViewPort_Form, CurrentVideoPath);
    const auto target = static_cast<unsigned long>(winId());
    if (HookMouse) HookMouse(target);
    if (HookKeyboard) HookKeyboard(target);
}

void TMainForm::AutomaticStop(int captionId, unsigned style, const std::string& text) {
    RecordingActive = false;
    StartPending = false;
    Timer->stop();
    Cam_->StopRecording();
    raise();
    activateWindow();
    // Win+S waits while the box is open, so the toolbar is never left half way.
    DialogOpen = true;
    ShowAlert(Text(captionId), text, style);
    DialogOpen = false;
    SetFullSize();
    SetRecordButton(Text(102), 107);
    Record_Image->repaint();
    setWindowTitle("Korvex!");
    setWindowIconText("Korvex!");
    if (ViewPort_Form) ViewPort_Form->Programs_ComboBox->setVisible(true);
    RenewHotKey();
}

void TMainForm::OnHotKey(std::uint32_t id) {
    if (id != HotKeyId) return;
    raise();
    activateWindow();
    if (ViewPort_Form && ViewPort_Form->isVisible()) ViewPort_Form->raise();
    ToggleRecording();
}

void TMainForm::HookMessage(std::uint32_t msg, std::uint32_t wParam) {
    const int kind = EventKindForHookMessage(
        msg, wParam, [this](int vk) { return keyState_.GetAsyncKeyState(vk) != 0; });
    if (kind != 0) Cam_->TriggerEventCursor(kind);
}

bool TMainForm::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t" || hookMessageAtom_ == 0 || !Cam_) return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE) return false;
    auto* client = reinterpret_cast<xcb_client_message_event_t*>(event);
    if (client->type != hookMessageAtom_ || client->format != 32) return false;
    HookMessage(client->data.data32[0], client->data.data32[1]);
    return true;
}

}  // namespace app
