// The toolbar's picture buttons and its combo box of recordings. GUI thread.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QRect>
#include <QSize>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/VideoList.h"
#include "resources/ResourceIds.h"

namespace app {

using resources::Bitmap;

// The toolbar's geometry in pixels: the square picture buttons in a row, the list of recordings
// under them.
inline constexpr int kButtonSize = 36;
inline constexpr int kButtonTop = 2;
inline constexpr int kButtonCount = 4;
// The left edge of button index, counted from 0: 2 pixels between neighbours.
constexpr int ButtonLeft(int index) {
    return kButtonTop + index * (kButtonSize + 2);
}
inline constexpr QRect kListGeometry{1, kButtonTop + kButtonSize + 2, 153, 21};
// The whole toolbar, and the Record button alone while a recording starts or runs.
inline constexpr QSize kFullToolbarSize{kButtonCount * kButtonSize + 10,
                                        kButtonSize + kListGeometry.height() + 6};
inline constexpr QSize kCompactToolbarSize{kButtonSize + 4, kButtonSize + 4};

// A picture that acts as a button: a press shows one picture, the release another and then,
// if the pointer is still over it, the action.
class PictureButton : public QLabel {
public:
    // The button at ButtonLeft(index).
    PictureButton(QWidget* parent, int index, Bitmap bitmap);

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
    // Replaces the entries with these texts, each carrying its file name.
    void SetVideos(const std::vector<ListedVideo>& videos);
    // The file name of the entry shown, when the text is exactly that entry's text.
    std::optional<std::string> CurrentVideoFile() const;

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
