#include "tools/make-artwork/CursorArt.h"

#include <QPainter>
#include <QRadialGradient>
#include <QTransform>
#include <optional>

#include "tools/make-artwork/Glyphs.h"
#include "tools/make-artwork/Painting.h"

namespace artwork {

namespace {

constexpr int kSize = 32;
const QColor kOutline(24, 24, 24);

const Tint kAmber{QColor(255, 214, 102), QColor(240, 148, 0), kOutline};
const Tint kRed{QColor(255, 104, 88), QColor(200, 22, 22), kOutline};
const Tint kGrey{QColor(236, 236, 236), QColor(160, 160, 160), kOutline};
const Tint kWhite{Qt::white, QColor(238, 238, 238), QColor(120, 0, 0)};

enum class Mark { None, Left, Right };

// The classic arrow, a little larger than a desktop cursor so that it reads well in a scaled-down
// video. Its outline runs through the middle of pixel (0, 0) and of column 0, so that the tip is
// that pixel and the left edge is as dark as the others.
QPainterPath ArrowShape() {
    QPainterPath path(QPointF(0, 0));
    path.lineTo(0, 19.5);
    path.lineTo(4.7, 14.9);
    path.lineTo(7.8, 21.9);
    path.lineTo(10.8, 20.6);
    path.lineTo(7.8, 13.8);
    path.lineTo(13.8, 13.8);
    path.closeSubpath();
    QTransform transform;
    transform.translate(0.7, 0.7);
    transform.scale(1.12, 1.12);
    return transform.map(path);
}

void DrawArrow(QImage& canvas, const Tint& tint) {
    const QPainterPath arrow = ArrowShape();
    DropShadow(canvas, arrow, QPointF(1.0, 1.5), 110);
    FillOutlined(canvas, arrow, tint, 1.4);
    // The hot spot must be fully opaque, however the antialiased tip happens to cover it.
    canvas.setPixelColor(0, 0, tint.outline);
}

// An L or R beside the arrow's tail, in the lower right quarter of the image.
void DrawMark(QImage& canvas, Mark mark, const Tint& tint) {
    const QRectF box(19.5, 18.5, 9.5, 11);
    const QPainterPath letter = Stroked(mark == Mark::Left ? LetterL(box) : LetterR(box), 3.2,
                                        Qt::SquareCap, Qt::MiterJoin);
    DropShadow(canvas, letter, QPointF(1.0, 1.0), 110);
    FillOutlined(canvas, letter, tint, 1.2);
}

// The red rounded square of the key badges, with a soft gloss on its upper half.
void DrawBadge(QImage& canvas) {
    QPainterPath badge;
    badge.addRoundedRect(QRectF(1.5, 1.5, 29, 29), 7, 7);
    DropShadow(canvas, badge, QPointF(0.5, 0.8), 90);
    FillOutlined(canvas, badge, Tint{QColor(244, 70, 58), QColor(176, 14, 14), QColor(90, 0, 0)},
                 1.2);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gloss(0, 3, 0, 15);
    gloss.setColorAt(0, QColor(255, 255, 255, 90));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(gloss);
    painter.drawRoundedRect(QRectF(3.5, 3, 25, 13), 5, 5);
}

// A white symbol on the badge, with a faint dark shadow so that it stands off the red.
void DrawSymbol(QImage& canvas, const QPainterPath& symbol) {
    DropShadow(canvas, symbol, QPointF(0.6, 0.8), 120);
    FillOutlined(canvas, symbol, kWhite, 0);
}

QPainterPath Dot(QPointF centre, qreal radius) {
    QPainterPath dot;
    dot.addEllipse(centre, radius, radius);
    return dot;
}

QPainterPath ReturnSymbol() {
    QPainterPath symbol = Stroked(ReturnLine(QRectF(11.5, 8, 10.5, 10.5)), 3.4, Qt::FlatCap);
    QPainterPath head;
    head.moveTo(6.5, 18.5);
    head.lineTo(13.5, 12.5);
    head.lineTo(13.5, 24.5);
    head.closeSubpath();
    return symbol.united(head).simplified();
}

QPainterPath EscSymbol() {
    constexpr qreal kTop = 11.0;
    constexpr qreal kHeight = 10.0;
    constexpr qreal kPen = 2.3;
    QPainterPath symbol =
        Stroked(LetterE(QRectF(5.3, kTop, 5.2, kHeight)), kPen, Qt::FlatCap, Qt::MiterJoin);
    symbol = symbol.united(Stroked(LetterS(QRectF(12.6, kTop, 6.4, kHeight)), kPen, Qt::FlatCap));
    symbol = symbol.united(Stroked(LetterC(QRectF(20.6, kTop, 6.6, kHeight)), kPen, Qt::FlatCap));
    return symbol.simplified();
}

QPainterPath ExclamationSymbol() {
    return Stroked(ExclamationBar(QRectF(14, 7.5, 4, 11.5)), 4.2).united(Dot({16, 24}, 2.4));
}

QPainterPath QuestionSymbol() {
    return Stroked(QuestionHook(QRectF(10.5, 7, 11, 13)), 3.4).united(Dot({16, 24.5}, 2.3));
}

void DrawFace(QImage& canvas, bool smiling) {
    QPainterPath face;
    face.addEllipse(QPointF(16, 16), 14.5, 14.5);
    DropShadow(canvas, face, QPointF(0.5, 0.8), 90);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    QRadialGradient fill(QPointF(12, 10), 20);
    fill.setColorAt(0, QColor(255, 248, 150));
    fill.setColorAt(0.55, QColor(255, 214, 30));
    fill.setColorAt(1, QColor(232, 160, 0));
    painter.setPen(QPen(QColor(80, 52, 0), 1.2));
    painter.setBrush(fill);
    painter.drawPath(face);

    const QColor feature(60, 36, 0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(feature);
    painter.drawEllipse(QPointF(11.3, 12), 2.0, 3.0);
    painter.drawEllipse(QPointF(20.7, 12), 2.0, 3.0);

    QPainterPath mouth;
    if (smiling) {
        mouth.moveTo(9, 18.5);
        mouth.quadTo(16, 27, 23, 18.5);
    } else {
        mouth.moveTo(9.5, 24.5);
        mouth.quadTo(16, 17.5, 22.5, 24.5);
    }
    painter.setPen(QPen(feature, 2.4, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(mouth);
}

struct ArrowLook {
    Tint arrow;
    Mark mark;
    Tint markTint;
};

std::optional<ArrowLook> ArrowFor(int id) {
    switch (id) {
        case 201:
            return ArrowLook{kAmber, Mark::None, kAmber};
        case 202:
            return ArrowLook{kAmber, Mark::Left, kAmber};
        case 203:
            return ArrowLook{kAmber, Mark::Right, kAmber};
        case 204:
            return ArrowLook{kRed, Mark::None, kRed};
        case 205:
            return ArrowLook{kRed, Mark::Left, kRed};
        case 206:
            return ArrowLook{kRed, Mark::Right, kRed};
        case 207:
            return ArrowLook{kGrey, Mark::None, kRed};
        case 208:
            return ArrowLook{kGrey, Mark::Left, kRed};
        case 209:
            return ArrowLook{kGrey, Mark::Right, kRed};
        default:
            return std::nullopt;
    }
}

}  // namespace

QImage DrawCursor(int id) {
    if (id < kFirstCursorId || id > kLastCursorId) {
        return {};
    }
    QImage canvas = TransparentCanvas(kSize, kSize);
    if (const auto look = ArrowFor(id)) {
        if (look->mark != Mark::None) {
            DrawMark(canvas, look->mark, look->markTint);
        }
        DrawArrow(canvas, look->arrow);
        return canvas;
    }
    switch (id) {
        case 210:
            DrawBadge(canvas);
            DrawSymbol(canvas, ReturnSymbol());
            break;
        case 211:
            DrawBadge(canvas);
            DrawSymbol(canvas, EscSymbol());
            break;
        case 212:
            DrawBadge(canvas);
            DrawSymbol(canvas, ExclamationSymbol());
            break;
        case 213:
            DrawBadge(canvas);
            DrawSymbol(canvas, QuestionSymbol());
            break;
        case 214:
            DrawFace(canvas, true);
            break;
        case 215:
            DrawFace(canvas, false);
            break;
    }
    return canvas;
}

}  // namespace artwork
