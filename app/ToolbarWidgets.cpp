#include "app/ToolbarWidgets.h"

#include <QCursor>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <algorithm>

#include "app/VideoNames.h"
#include "resources/Resources.h"

namespace app {

PictureButton::PictureButton(QWidget* parent, int index, Bitmap bitmap) : QLabel(parent) {
    setGeometry(ButtonLeft(index), kButtonTop, kButtonSize, kButtonSize);
    setAlignment(Qt::AlignCenter);
    setCursor(Qt::PointingHandCursor);
    SetPicture(bitmap);
}

void PictureButton::SetPicture(Bitmap bitmap) {
    picture_ = bitmap;
    setPixmap(QPixmap::fromImage(resources::ToolbarBitmap(bitmap)));
}

bool PictureButton::IsCursorOver() const {
    return QRect(mapToGlobal(QPoint(0, 0)), size()).contains(QCursor::pos());
}

void PictureButton::mousePressEvent(QMouseEvent*) {
    if (OnPress) OnPress();
}

void PictureButton::mouseReleaseEvent(QMouseEvent*) {
    if (OnRelease) OnRelease();
}

VideoComboBox::VideoComboBox(QWidget* parent) : QComboBox(parent) {
    setFocusPolicy(Qt::ClickFocus);
    setMaxVisibleItems(50);
    setInsertPolicy(QComboBox::NoInsert);
    connect(this, &QComboBox::currentTextChanged, this, [this] {
        if (OnChange) OnChange();
    });
    installEventFilter(this);
    SetListStyle();
}

void VideoComboBox::SetColour(const QColor& colour) {
    QPalette p = palette();
    p.setColor(QPalette::Base, colour);
    p.setColor(QPalette::Button, colour);
    p.setColor(QPalette::Window, colour);
    setPalette(p);
}

void VideoComboBox::SetListStyle() {
    const QString text = currentText();
    setEditable(false);
    SetColour(QColor(0xC0, 0xC0, 0xC0));
    // A name typed in the field selects its entry when there is one.
    setCurrentIndex(findText(text, Qt::MatchFixedString));
}

void VideoComboBox::SetEditableStyle() {
    setEditable(true);
    SetColour(Qt::yellow);
    // Keys reach the field directly or through the box, which hands them on without filters.
    lineEdit()->installEventFilter(this);
}

void VideoComboBox::SetVideos(const std::vector<ListedVideo>& videos) {
    clear();
    for (const ListedVideo& v : videos) {
        addItem(QString::fromStdString(v.text), QString::fromStdString(v.file));
    }
}

std::optional<std::string> VideoComboBox::CurrentVideoFile() const {
    const int at = currentIndex();
    if (at < 0 || itemText(at) != currentText()) return std::nullopt;
    return itemData(at).toString().toStdString();
}

void VideoComboBox::showPopup() {
    SetColour(Qt::white);
    if (OnDropDown) OnDropDown();
    QComboBox::showPopup();
}

void VideoComboBox::hidePopup() {
    QComboBox::hidePopup();
    SetColour(isEditable() ? QColor(Qt::yellow) : QColor(0xC0, 0xC0, 0xC0));
    if (OnCloseUp) OnCloseUp();
}

bool VideoComboBox::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && isEditable()) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Editing and moving keys pass; characters only when a name may hold them.
        const bool editing = key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete ||
                             key->key() == Qt::Key_Left || key->key() == Qt::Key_Right ||
                             key->key() == Qt::Key_Home || key->key() == Qt::Key_End ||
                             (key->modifiers() & Qt::ControlModifier);
        if (!editing) {
            const QString text = key->text();
            const bool accepted =
                !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
                    return AcceptedNameChar(c.unicode());
                });
            if (!accepted) return true;
        }
    }
    return QComboBox::eventFilter(watched, event);
}

}  // namespace app
