#include "dialogs/DialogWidgets.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>

namespace dialogs {

namespace {

void Call(const std::function<void()>& handler) {
    if (handler) handler();
}

}  // namespace

void EventLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Call(OnClick);
}

void EventLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    QLabel::mouseDoubleClickEvent(event);
    Call(OnDoubleClick);
}

void EventLabel::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    Call(OnMouseEnter);
}

void EventLabel::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    Call(OnMouseLeave);
}

StepOnlySpinEdit::StepOnlySpinEdit(QWidget* parent) : QSpinBox(parent) {}

std::string StepOnlySpinEdit::Text() const {
    return lineEdit()->text().toStdString();
}

void StepOnlySpinEdit::SetText(const std::string& text) {
    lineEdit()->setText(QString::fromStdString(text));
    interpretText();
}

void StepOnlySpinEdit::keyPressEvent(QKeyEvent* event) {
    const bool erases = event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace;
    const QString typed = event->text();
    if (!erases && !typed.isEmpty() && typed.front().isPrint()) {
        event->accept();
        return;
    }
    QSpinBox::keyPressEvent(event);
}

void StepOnlySpinEdit::keyReleaseEvent(QKeyEvent* event) {
    QSpinBox::keyReleaseEvent(event);
    Call(OnKeyUp);
}

}  // namespace dialogs
