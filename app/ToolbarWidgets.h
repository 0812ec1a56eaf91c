// The toolbar's picture buttons and its combo box of recordings. GUI thread.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <functional>

#include "resources/ResourceIds.h"

namespace app {

using resources::Bitmap;

// A picture that acts as a button: a press shows one picture, the release another and then,
// if the pointer is still over it, the action.
class PictureButton : public QLabel {
public:
    PictureButton(QWidget* parent, int x, Bitmap bitmap);

    void SetPicture(Bitmap bitmap);
    Bitmap Picture() const { return picture_; }
    // The pointer's screen position lies in the button: left and top inclusive, right and
    // bottom exclusive.
    bool IsCursorOver() const;

    std::function<void()> OnPress;
    std::function<void()> OnRelease;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    Bitmap picture_ = Bitmap::RegionReleased;
};

// The list of recordings, which turns into a name field while a region is being set.
class VideoComboBox : public QComboBox {
public:
    explicit VideoComboBox(QWidget* parent);

    // List style in silver, or the editable name field in yellow.
    void SetListStyle();
    void SetEditableStyle();
    bool EditableStyle() const { return isEditable(); }
    // Adds an entry at its place in the order that ignores letter case.
    void AddSorted(const QString& name);

    std::function<void()> OnDropDown;  // before the list opens
    std::function<void()> OnCloseUp;   // after it closed
    std::function<void()> OnChange;    // text or selection changed, or a key typed

    void showPopup() override;
    void hidePopup() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetColour(const QColor& colour);
};

}  // namespace app
