// The target window picker of the region window: the list of other programs' windows, and the
// region taking over the chosen one's place, size or maximised state.
#include <QGuiApplication>
#include <QScreen>

#include "platform/windows/windows.h"
#include "region/Korvex_Viewport_Unit.h"
#include "region/TargetRules.h"

namespace region {

namespace windows = platform::windows;

namespace {

ScreenRect ToScreenRect(const windows::Rect& r) {
    return {r.left, r.top, r.right, r.bottom};
}

ScreenRect PrimaryScreen() {
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRect g = primary ? primary->geometry() : QRect();
    return {g.x(), g.y(), g.x() + g.width(), g.y() + g.height()};
}

}  // namespace

void TViewPort_Form::Programs_ComboBoxDropDown() {
    Programs_ComboBox->clear();
    WHandle_ComboBox.clear();
    for (const windows::TopLevelWindow& w : windows::EnumWindows()) {
        if (!IsListed({w.title, w.visible, ToScreenRect(w.frame)}, ownTitle_)) continue;
        Programs_ComboBox->addItem(QString::fromStdString(w.title));
        WHandle_ComboBox.push_back(std::to_string(w.id));
    }
    Programs_ComboBox->setCurrentIndex(-1);
}

void TViewPort_Form::Programs_ComboBoxCloseUp() {
    const int index = Programs_ComboBox->currentIndex();
    if (index < 0 || static_cast<std::size_t>(index) >= WHandle_ComboBox.size()) {
        ResetPicker();
        return;
    }
    const std::string title = Programs_ComboBox->itemText(index).toStdString();
    std::optional<windows::WindowId> chosen = HandleFromText(WHandle_ComboBox[index]);
    if (!chosen) chosen = windows::FindWindowByTitle(title);
    // A window closed since the list dropped down cannot be found either: nothing changes.
    const std::optional<windows::TopLevelWindow> window =
        chosen ? windows::QueryWindow(*chosen) : std::nullopt;
    if (!window) return;

    // Restores a minimised window and brings it to the front in one request.
    windows::RestoreAndActivate(window->id);
    if (OnNameProposed) OnNameProposed(ProposedVideoName(title));
    switch (AdoptGeometry(window->maximised, ToScreenRect(window->frame), PrimaryScreen())) {
        case Adoption::Maximise:
            showMaximized();
            break;
        case Adoption::Rectangle: {
            const ScreenRect r = ToScreenRect(window->frame);
            showNormal();
            setGeometry(r.left, r.top, r.Width(), r.Height());
            break;
        }
        case Adoption::Keep:
            break;
    }
    UpdateMaximizeGlyph();
    ResetPicker();
    // Above the chosen window, ready for recording.
    windows::RestoreAndActivate(static_cast<windows::WindowId>(winId()));
}

void TViewPort_Form::ResetPicker() {
    Programs_ComboBox->clear();
    Programs_ComboBox->addItem(QString::fromStdString(placeholder_));
    Programs_ComboBox->setCurrentIndex(0);
    WHandle_ComboBox.assign(1, placeholder_);
}

}  // namespace region
