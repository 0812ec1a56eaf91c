// Small controls the two dialogs share. GUI thread.
#pragma once

#include <QLabel>
#include <QSpinBox>
#include <functional>
#include <string>

namespace dialogs {

// A label that reports clicks, double clicks and the pointer entering and leaving it.
class EventLabel : public QLabel {
public:
    EventLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

    std::function<void()> OnClick, OnDoubleClick, OnMouseEnter, OnMouseLeave;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
};

// A spin field in which nothing can be typed: the arrow keys and the spin buttons step it, and
// Delete or Backspace can still empty it.
class StepOnlySpinEdit : public QSpinBox {
public:
    explicit StepOnlySpinEdit(QWidget* parent);

    // Called after every key release in the field.
    std::function<void()> OnKeyUp;
    std::string Text() const;
    void SetText(const std::string& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
};

}  // namespace dialogs
