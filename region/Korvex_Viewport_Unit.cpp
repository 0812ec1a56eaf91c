#include "region/Korvex_Viewport_Unit.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

namespace region {

namespace {

constexpr QColor kSilver{0xC0, 0xC0, 0xC0};
constexpr int kMinWidth = 200;
constexpr int kMinHeight = 150;

QImage Glyph(int width, int height, const std::function<void(QPainter&)>& draw) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setPen(QPen(Qt::black, 1));
    draw(p);
    return image;
}

Qt::Edges EdgesFor(HitArea area) {
    switch (area) {
        case HitArea::Left:
            return Qt::LeftEdge;
        case HitArea::Right:
            return Qt::RightEdge;
        case HitArea::Top:
            return Qt::TopEdge;
        case HitArea::Bottom:
            return Qt::BottomEdge;
        case HitArea::TopLeft:
            return Qt::TopEdge | Qt::LeftEdge;
        case HitArea::TopRight:
            return Qt::TopEdge | Qt::RightEdge;
        case HitArea::BottomLeft:
            return Qt::BottomEdge | Qt::LeftEdge;
        case HitArea::BottomRight:
            return Qt::BottomEdge | Qt::RightEdge;
        case HitArea::Caption:
            break;
    }
    return {};
}

Qt::CursorShape CursorFor(HitArea area) {
    switch (area) {
        case HitArea::Left:
        case HitArea::Right:
            return Qt::SizeHorCursor;
        case HitArea::Top:
        case HitArea::Bottom:
            return Qt::SizeVerCursor;
        case HitArea::TopLeft:
        case HitArea::BottomRight:
            return Qt::SizeFDiagCursor;
        case HitArea::TopRight:
        case HitArea::BottomLeft:
            return Qt::SizeBDiagCursor;
        case HitArea::Caption:
            break;
    }
    return Qt::SizeAllCursor;
}

QToolButton* MakeGlyphButton(QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setFixedSize(18, 15);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIconSize(QSize(10, 9));
    return button;
}

}  // namespace

TViewPort_Form::TViewPort_Form(int languageOffset, std::function<std::string(app::Msg)> text,
                               std::function<bool()> startPending)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      text_(std::move(text)),
      startPending_(std::move(startPending)) {
    setWindowOpacity(210.0 / 255.0);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kSilver);
    setPalette(palette);
    setAutoFillBackground(true);
    setMinimumSize(kMinWidth, kMinHeight);
    resize(640, 480);
    setMouseTracking(true);
    setWindowTitle(QString::fromUtf8("Aufnahmebereich einstellen und Aufnahme starten..."));

    Programs_ComboBox = new PickerComboBox(this);
    Programs_ComboBox->setGeometry(4, 4, 315, 21);
    Programs_ComboBox->setMaxVisibleItems(25);
    Programs_ComboBox->setToolTip(
        QString::fromUtf8("Position und Größe von Programm übernehmen..."));
    QPalette white = Programs_ComboBox->palette();
    white.setColor(QPalette::Base, Qt::white);
    white.setColor(QPalette::Button, Qt::white);
    Programs_ComboBox->setPalette(white);

    CreateTitleButtons();

    // Creation: the placeholder heads the picker and its handle list; the title follows the
    // language only for English, German being the built-in one.
    placeholder_ = text_(app::Msg::ChooseTargetWindow);
    startNotice_ = text_(app::Msg::StartingRecording);
    ownTitle_ = text_(app::Msg::SetRegionTitle);
    ResetPicker();
    Programs_ComboBox->OnDropDown = [this] { Programs_ComboBoxDropDown(); };
    Programs_ComboBox->OnCloseUp = [this] { Programs_ComboBoxCloseUp(); };
    if (languageOffset > 0) setWindowTitle(QString::fromStdString(text_(app::Msg::RegionCaption)));
    PlaceButtons();
    StoreRectangle();
}

void TViewPort_Form::CreateTitleButtons() {
    maximizeGlyphs_[0] = Glyph(10, 9, [](QPainter& p) {
        p.drawRect(0, 0, 9, 8);
        p.fillRect(0, 0, 10, 2, Qt::black);
    });
    maximizeGlyphs_[1] = Glyph(10, 9, [](QPainter& p) {
        p.drawRect(3, 0, 6, 4);
        p.fillRect(3, 0, 7, 2, Qt::black);
        // The front window hides what it covers of the one behind.
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(0, 3, 7, 6, Qt::transparent);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        p.drawRect(0, 3, 6, 5);
        p.fillRect(0, 3, 7, 2, Qt::black);
    });
    Maximize_BitBtn = MakeGlyphButton(this);
    Close_BitBtn = MakeGlyphButton(this);
    Close_BitBtn->setIcon(QPixmap::fromImage(Glyph(9, 9, [](QPainter& p) {
        p.drawLine(0, 0, 8, 8);
        p.drawLine(1, 0, 8, 7);
        p.drawLine(0, 8, 8, 0);
        p.drawLine(1, 8, 8, 1);
    })));
    Close_BitBtn->setIconSize(QSize(9, 9));
    UpdateMaximizeGlyph();
    connect(Maximize_BitBtn, &QToolButton::clicked, this, &TViewPort_Form::Maximize_BitBtnClick);
    connect(Close_BitBtn, &QToolButton::clicked, this, &TViewPort_Form::Close_BitBtnClick);
}

void TViewPort_Form::ShowRegion() {
    if (!shownOnce_) {
        shownOnce_ = true;
        if (QScreen* primary = QGuiApplication::primaryScreen()) {
            const QRect screen = primary->geometry();
            move(screen.x() + (screen.width() - width()) / 2,
                 screen.y() + (screen.height() - height()) / 2);
        }
    }
    show();
    raise();
    activateWindow();
}

void TViewPort_Form::PlaceButtons() {
    Maximize_BitBtn->move(width() - 38, 1);
    Close_BitBtn->move(width() - 19, 1);
}

void TViewPort_Form::StoreRectangle() {
    const QRect outer = frameGeometry();
    rect_.Set({outer.x(), outer.y(), outer.width(), outer.height()});
}

void TViewPort_Form::UpdateMaximizeGlyph() {
    Maximize_BitBtn->setIcon(QPixmap::fromImage(maximizeGlyphs_[isMaximized() ? 1 : 0]));
}

void TViewPort_Form::paintEvent(QPaintEvent*) {
    FormPaint();
}

void TViewPort_Form::FormPaint() {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int cx = width() / 2;
    const int cy = height() / 2;
    if (startPending_ && startPending_()) {
        QFont font = p.font();
        font.setPointSize(18);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::red);
        const int x = cx >= 200 ? cx - 150 : 0;
        p.drawText(QRect(x, cy - 14, width() - x, height()), Qt::AlignLeft | Qt::AlignTop,
                   QString::fromStdString(startNotice_));
        return;
    }
    p.setPen(QPen(Qt::red, 2));
    p.setBrush(kSilver);
    for (int r : {140, 100, 60}) p.drawEllipse(QRect(cx - r, cy - r, 2 * r, 2 * r));
    p.drawLine(cx, 0, cx, height());
    p.drawLine(0, cy, width(), cy);

    QFont font = p.font();
    font.setPointSize(12);
    font.setBold(true);
    p.setFont(font);
    QSize shown = size();
    if (isMaximized()) {
        if (QScreen* primary = QGuiApplication::primaryScreen()) {
            shown = primary->virtualGeometry().size();
        }
    }
    const QString sizeText = QString("%1x%2").arg(shown.width()).arg(shown.height());
    p.setBackgroundMode(Qt::OpaqueMode);
    p.setBackground(kSilver);
    p.drawText(QRect(cx - 42, cy - 10, width(), height()), Qt::AlignLeft | Qt::AlignTop, sizeText);
    Programs_ComboBox->resize(cx - 8, Programs_ComboBox->height());
}

void TViewPort_Form::resizeEvent(QResizeEvent*) {
    PlaceButtons();
    StoreRectangle();
    repaint();
}

void TViewPort_Form::moveEvent(QMoveEvent*) {
    StoreRectangle();
}

void TViewPort_Form::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange) {
        UpdateMaximizeGlyph();
        update();
    }
    QWidget::changeEvent(event);
}

void TViewPort_Form::Maximize_BitBtnClick() {
    const bool maximized = isMaximized();
    Programs_ComboBox->setFocus();
    Close_BitBtn->repaint();
    if (maximized) {
        showNormal();
    } else {
        showMaximized();
    }
    UpdateMaximizeGlyph();
}

void TViewPort_Form::Close_BitBtnClick() {
    Programs_ComboBox->setFocus();
    Close_BitBtn->repaint();
    close();
}

void TViewPort_Form::closeEvent(QCloseEvent* event) {
    if (OnClosedByUser) OnClosedByUser();
    event->accept();
}

void TViewPort_Form::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint at = event->position().toPoint();
    dragArea_ = RegionHitTest(at.x(), at.y(), width(), height());
    QWindow* window = windowHandle();
    // The window manager moves and sizes where it can; otherwise the frame does it itself.
    const bool managed =
        window && (dragArea_ == HitArea::Caption ? window->startSystemMove()
                                                 : window->startSystemResize(EdgesFor(dragArea_)));
    if (!managed) {
        dragging_ = true;
        dragStart_ = event->globalPosition().toPoint();
        dragGeometry_ = geometry();
    }
}

void TViewPort_Form::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) {
        const QPoint at = event->position().toPoint();
        setCursor(CursorFor(RegionHitTest(at.x(), at.y(), width(), height())));
        return;
    }
    const QPoint delta = event->globalPosition().toPoint() - dragStart_;
    QRect g = dragGeometry_;
    if (dragArea_ == HitArea::Caption) {
        g.translate(delta);
    } else {
        const Qt::Edges edges = EdgesFor(dragArea_);
        if (edges & Qt::LeftEdge)
            g.setLeft(std::min(g.left() + delta.x(), g.right() - kMinWidth + 1));
        if (edges & Qt::RightEdge)
            g.setRight(std::max(g.right() + delta.x(), g.left() + kMinWidth - 1));
        if (edges & Qt::TopEdge)
            g.setTop(std::min(g.top() + delta.y(), g.bottom() - kMinHeight + 1));
        if (edges & Qt::BottomEdge)
            g.setBottom(std::max(g.bottom() + delta.y(), g.top() + kMinHeight - 1));
    }
    setGeometry(g);
}

void TViewPort_Form::mouseReleaseEvent(QMouseEvent*) {
    dragging_ = false;
}

}  // namespace region
