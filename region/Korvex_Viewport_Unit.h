// The region window: a borderless, semi-transparent frame whose outer rectangle is the area to
// record. The user drags and sizes it like a rubber frame; its face shows a target and the size.
// GUI thread, except the rectangle, which the recording worker reads.
#pragma once

#include <QComboBox>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QToolButton>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "catalogue/MessageCatalogue.h"
#include "engine/RecordingRegion.h"
#include "region/PickerComboBox.h"
#include "region/RegionHitTest.h"

namespace region {

class TViewPort_Form : public QWidget, public engine::RecordingRegion {
    Q_OBJECT

public:
    // text(id) gives catalogue text id in the program's language; languageOffset decides the
    // title; startPending tells whether a recording has been asked for and not yet begun.
    TViewPort_Form(int languageOffset, std::function<std::string(app::Msg)> text,
                   std::function<bool()> startPending);

    // Called when the user (or the system) closes the window, not when the program hides it.
    std::function<void()> OnClosedByUser;

    // Shows the window, centred on the primary screen the first time, where it was left after.
    void ShowRegion();

    // Called with the video name that a chosen window's title proposes.
    std::function<void(const std::string& name)> OnNameProposed;

    PickerComboBox* Programs_ComboBox = nullptr;
    // Never shown: the window handle of each of the picker's items as decimal text.
    std::vector<std::string> WHandle_ComboBox;

    engine::CaptureRect Region() const override { return rect_.Get(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The maximize and close buttons with their drawn glyphs.
    void CreateTitleButtons();
    void FormPaint();
    void Maximize_BitBtnClick();
    void Close_BitBtnClick();
    void PlaceButtons();
    void StoreRectangle();
    void UpdateMaximizeGlyph();
    void Programs_ComboBoxDropDown();
    void Programs_ComboBoxCloseUp();
    // Back to rest: the placeholder alone in both lists, selected.
    void ResetPicker();

    std::function<std::string(app::Msg)> text_;
    std::function<bool()> startPending_;
    std::string placeholder_, startNotice_, ownTitle_;
    QToolButton* Maximize_BitBtn = nullptr;
    QToolButton* Close_BitBtn = nullptr;
    QImage maximizeGlyphs_[2];
    bool shownOnce_ = false;

    // Our own move and resize, for window managers that do not take the job.
    HitArea dragArea_ = HitArea::Caption;
    bool dragging_ = false;
    QPoint dragStart_;
    QRect dragGeometry_;

    engine::SharedRect rect_{{0, 0, 640, 480}};
};

}  // namespace region
