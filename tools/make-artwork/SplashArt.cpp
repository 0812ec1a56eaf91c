#include "tools/make-artwork/SplashArt.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <vector>

#include "tools/make-artwork/Glyphs.h"
#include "tools/make-artwork/Painting.h"

namespace artwork {

namespace {

const QColor kNavy(0x00, 0x00, 0x80);

// The letters the name needs beyond the shared ones, as centre lines filling box.
QPainterPath LetterK(const QRectF& box) {
    QPainterPath path(box.topLeft());
    path.lineTo(box.bottomLeft());
    const QPointF joint(box.left(), box.top() + box.height() * 0.58);
    path.moveTo(box.topRight());
    path.lineTo(joint);
    path.moveTo(box.left() + box.width() * 0.32, box.top() + box.height() * 0.42);
    path.lineTo(box.bottomRight());
    return path;
}

QPainterPath LetterO(const QRectF& box) {
    QPainterPath path;
    path.addEllipse(box);
    return path;
}

QPainterPath LetterV(const QRectF& box) {
    QPainterPath path(box.topLeft());
    path.lineTo(box.center().x(), box.bottom());
    path.lineTo(box.topRight());
    return path;
}

QPainterPath LetterX(const QRectF& box) {
    QPainterPath path(box.topLeft());
    path.lineTo(box.bottomRight());
    path.moveTo(box.topRight());
    path.lineTo(box.bottomLeft());
    return path;
}

// "KORVEX!" in stroked capitals from left along the top of a line of the given height.
QPainterPath Name(QPointF topLeft, qreal height) {
    const qreal width = height * 0.58;
    const qreal gap = height * 0.2;
    using Letter = QPainterPath (*)(const QRectF&);
    const std::vector<Letter> letters{LetterK, LetterO, LetterR, LetterV, LetterE, LetterX};
    QPainterPath name;
    qreal left = topLeft.x();
    for (Letter letter : letters) {
        name.addPath(letter(QRectF(left, topLeft.y(), width, height)));
        left += width + gap;
    }
    const qreal barBottom = topLeft.y() + height * 0.72;
    name.addPath(ExclamationBar(QRectF(left, topLeft.y(), 0, barBottom - topLeft.y())));
    name.addEllipse(QPointF(left, topLeft.y() + height - 1.5), 1.8, 1.8);
    return name;
}

void DrawGround(QImage& canvas) {
    QPainter painter(&canvas);
    QLinearGradient ground(0, 0, 0, kSplashHeight);
    ground.setColorAt(0, QColor(226, 236, 250));
    ground.setColorAt(0.62, QColor(255, 255, 255));
    painter.fillRect(canvas.rect(), ground);
    // A thin rule above the web link.
    QLinearGradient rule(16, 0, kSplashWidth - 16, 0);
    rule.setColorAt(0, QColor(255, 255, 255));
    rule.setColorAt(0.5, kNavy.lighter(220));
    rule.setColorAt(1, QColor(255, 255, 255));
    painter.fillRect(QRectF(16, 104, kSplashWidth - 32, 1.2), rule);
}

// A monitor whose screen shows a marked region with its target rings and a pointer.
void DrawMonitor(QImage& canvas) {
    QPainterPath body;
    body.addRoundedRect(QRectF(14.5, 14.5, 92, 64), 5, 5);
    QPainterPath stand;
    stand.addRect(QRectF(52.5, 78.5, 18, 8));
    stand.addRoundedRect(QRectF(38.5, 86.5, 46, 5), 2, 2);
    DropShadow(canvas, body.united(stand), QPointF(2, 3), 90);
    FillOutlined(canvas, stand, {QColor(120, 120, 130), QColor(60, 60, 70), QColor(30, 30, 40)}, 1);
    FillOutlined(canvas, body, {QColor(80, 84, 96), QColor(30, 32, 40), QColor(10, 10, 16)}, 1);
    QPainterPath screen;
    screen.addRect(QRectF(20.5, 20.5, 80, 52));
    FillOutlined(canvas, screen, {QColor(120, 170, 230), QColor(200, 225, 250), QColor(10, 10, 16)},
                 1);

    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen frame(QColor(220, 30, 30), 2, Qt::DashLine);
    painter.setPen(frame);
    painter.setBrush(QColor(255, 255, 255, 70));
    painter.drawRect(QRectF(34, 30, 52, 34));
    painter.setPen(QPen(QColor(220, 30, 30, 200), 1.2));
    painter.setBrush(Qt::NoBrush);
    for (qreal radius : {4.0, 8.0, 12.0}) painter.drawEllipse(QPointF(60, 47), radius, radius);
    QPainterPath arrow(QPointF(76, 52));
    for (QPointF p : {QPointF(76, 66), QPointF(79.5, 62.5), QPointF(82, 68), QPointF(84, 67),
                      QPointF(81.5, 61.5), QPointF(86, 61.5)}) {
        arrow.lineTo(p);
    }
    arrow.closeSubpath();
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    painter.drawPath(arrow);
}

// The name with a soft shadow, and a glowing red light beside it.
void DrawNameAndLight(QImage& canvas) {
    const QPainterPath name = Stroked(Name(QPointF(122, 32), 30), 4.2, Qt::RoundCap);
    DropShadow(canvas, name, QPointF(1.5, 2), 80);
    FillOutlined(canvas, name, {QColor(40, 60, 170), kNavy, kNavy.darker(150)}, 0);

    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(136, 82);
    QRadialGradient glow(centre, 11);
    glow.setColorAt(0, QColor(255, 110, 100));
    glow.setColorAt(0.55, QColor(214, 0, 0));
    glow.setColorAt(1, QColor(120, 0, 0));
    painter.setPen(QPen(QColor(90, 0, 0), 1));
    painter.setBrush(glow);
    painter.drawEllipse(centre, 7, 7);
    painter.setPen(QPen(QColor(60, 60, 70), 1.6, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 4; ++i) {
        const qreal x = 154 + i * 30;
        painter.drawLine(QPointF(x, 82), QPointF(x + 20, 82));
    }
}

}  // namespace

QImage DrawSplashPicture() {
    QImage canvas(kSplashWidth, kSplashHeight, QImage::Format_ARGB32_Premultiplied);
    DrawGround(canvas);
    DrawMonitor(canvas);
    DrawNameAndLight(canvas);
    return canvas.convertToFormat(QImage::Format_RGB32);
}

}  // namespace artwork
