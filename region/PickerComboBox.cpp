#include "region/PickerComboBox.h"

#include <QAbstractItemView>
#include <QEvent>

namespace region {

PickerComboBox::PickerComboBox(QWidget* parent) : QComboBox(parent) {
    // The popup's frame hides on every way of closing; hidePopup misses a click elsewhere.
    view()->window()->installEventFilter(this);
}

void PickerComboBox::showPopup() {
    if (OnDropDown) OnDropDown();
    if (count() == 0) {
        // Qt shows no popup for an empty list, so no hide would ever close it up; closing it up
        // at once leaves no moment in which the box is painted blank.
        if (OnCloseUp) OnCloseUp();
        return;
    }
    QComboBox::showPopup();
}

bool PickerComboBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view()->window() && event->type() == QEvent::Hide) {
        // Queued: a chosen entry becomes the current one only after the popup has gone.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (OnCloseUp) OnCloseUp();
            },
            Qt::QueuedConnection);
    }
    return QComboBox::eventFilter(watched, event);
}

}  // namespace region
