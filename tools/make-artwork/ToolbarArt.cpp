#include "tools/make-artwork/ToolbarArt.h"

#include <QPainter>
#include <iterator>
#include <utility>

#include "tools/make-artwork/Painting.h"

namespace artwork {

namespace {

constexpr int kSize = 36;
const QColor kSilver(0xC0, 0xC0, 0xC0);

enum class Look { Released, Pressed };
enum class Symbol { Envelope, Play, Record, Target, Stop, Tools };

struct Palette {
    Tint body;
    QColor detail;  // lines drawn on top of the body (envelope flap, cross-hair)
};

const Palette kCharcoal{{QColor(92, 92, 92), QColor(36, 36, 36), QColor(16, 16, 16)},
                        QColor(200, 200, 200)};
const Palette kPale{{QColor(255, 255, 255), QColor(222, 222, 222), QColor(112, 112, 112)},
                    QColor(128, 128, 128)};
const Palette kDeepRed{{QColor(196, 40, 40), QColor(112, 8, 8), QColor(48, 0, 0)},
                       QColor(255, 200, 200)};
const Palette kPaleRed{{QColor(255, 200, 200), QColor(244, 130, 130), QColor(168, 72, 72)},
                       QColor(168, 72, 72)};
const Palette kSignalRed{{QColor(255, 84, 70), QColor(214, 0, 0), QColor(96, 0, 0)},
                         QColor(255, 220, 220)};

// A classic 2-pixel bevel: raised when released, sunken when pressed.
void DrawBevel(QPainter& painter, Look look) {
    const QColor white(255, 255, 255), grey(128, 128, 128), dark(64, 64, 64);
    const bool raised = look == Look::Released;
    auto edge = [&](int inset, const QColor& topLeft, const QColor& bottomRight) {
        const int far = kSize - 1 - inset;
        painter.setPen(topLeft);
        painter.drawLine(inset, inset, far - 1, inset);
        painter.drawLine(inset, inset, inset, far - 1);
        painter.setPen(bottomRight);
        painter.drawLine(inset, far, far, far);
        painter.drawLine(far, inset, far, far);
    };
    edge(0, raised ? white : dark, raised ? dark : white);
    edge(1, raised ? kSilver.lighter(112) : grey, raised ? grey : kSilver.lighter(112));
}

QPainterPath EnvelopeBody() {
    QPainterPath body;
    body.addRoundedRect(QRectF(6.5, 10.5, 23, 16), 1.5, 1.5);
    return body;
}

void DrawEnvelope(QImage& canvas, const Palette& palette) {
    FillOutlined(canvas, EnvelopeBody(), palette.body, 1.2);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette.detail, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath flap(QPointF(7.5, 11.5));
    flap.lineTo(18, 20);
    flap.lineTo(28.5, 11.5);
    flap.moveTo(7.5, 25.5);
    flap.lineTo(14.5, 18);
    flap.moveTo(28.5, 25.5);
    flap.lineTo(21.5, 18);
    painter.drawPath(flap);
}

QPainterPath PlayShape() {
    QPainterPath triangle(QPointF(12, 8.5));
    triangle.lineTo(28, 18);
    triangle.lineTo(12, 27.5);
    triangle.closeSubpath();
    return Stroked(triangle, 2.0).united(triangle).simplified();
}

QPainterPath Disc(qreal radius) {
    QPainterPath disc;
    disc.addEllipse(QPointF(18, 18), radius, radius);
    return disc;
}

void DrawTarget(QImage& canvas, const Palette& palette) {
    const QPainterPath ring = Disc(10).subtracted(Disc(6.8));
    QPainterPath hair;
    for (const auto& [from, to] : {std::pair{QPointF(18, 4.5), QPointF(18, 13)},
                                   std::pair{QPointF(18, 23), QPointF(18, 31.5)},
                                   std::pair{QPointF(4.5, 18), QPointF(13, 18)},
                                   std::pair{QPointF(23, 18), QPointF(31.5, 18)}}) {
        QPainterPath line(from);
        line.lineTo(to);
        hair = hair.united(Stroked(line, 2.4, Qt::FlatCap));
    }
    hair = hair.united(Disc(1.8));
    FillOutlined(canvas, ring.united(hair).simplified(), palette.body, 1.0);
}

QPainterPath StopShape() {
    QPainterPath square;
    square.addRoundedRect(QRectF(10, 10, 16, 16), 2, 2);
    return square;
}

// A wrench lying from lower left to upper right over a screwdriver in the other diagonal.
void DrawTools(QImage& canvas, const Palette& palette) {
    QPainterPath shaft(QPointF(8.5, 8.5));
    shaft.lineTo(19, 19);
    QPainterPath grip(QPointF(19.5, 19.5));
    grip.lineTo(27, 27);
    const QPainterPath driver =
        Stroked(shaft, 2.6, Qt::FlatCap).united(Stroked(grip, 6.0)).simplified();
    FillOutlined(canvas, driver, palette.body, 1.1);

    QPainterPath handle(QPointF(9, 27));
    handle.lineTo(20, 16);
    QPainterPath head;
    head.addEllipse(QPointF(23, 13), 6.5, 6.5);
    QPainterPath jaw;
    jaw.addRect(QRectF(-2.3, -9, 4.6, 9));
    QTransform toJaw;
    toJaw.translate(23, 13);
    toJaw.rotate(45);
    QPainterPath slot = toJaw.map(jaw);
    QPainterPath slotEnd;
    slotEnd.addEllipse(QPointF(23, 13), 2.3, 2.3);
    const QPainterPath wrench =
        Stroked(handle, 5.0).united(head).subtracted(slot.united(slotEnd)).simplified();
    FillOutlined(canvas, wrench, palette.body, 1.1);
}

void DrawSymbol(QImage& canvas, Symbol symbol, const Palette& palette) {
    switch (symbol) {
        case Symbol::Envelope:
            DrawEnvelope(canvas, palette);
            break;
        case Symbol::Play:
            FillOutlined(canvas, PlayShape(), palette.body, 1.2);
            break;
        case Symbol::Record:
            FillOutlined(canvas, Disc(9.5), palette.body, 1.2);
            break;
        case Symbol::Target:
            DrawTarget(canvas, palette);
            break;
        case Symbol::Stop:
            FillOutlined(canvas, StopShape(), palette.body, 1.2);
            break;
        case Symbol::Tools:
            DrawTools(canvas, palette);
            break;
    }
}

struct Button {
    Symbol symbol;
    Look look;
    const Palette& palette;
};

const Button* ButtonFor(int id) {
    static const Button kButtons[] = {
        {Symbol::Envelope, Look::Released, kCharcoal}, {Symbol::Envelope, Look::Pressed, kPale},
        {Symbol::Play, Look::Released, kCharcoal},     {Symbol::Play, Look::Pressed, kPale},
        {Symbol::Record, Look::Released, kDeepRed},    {Symbol::Record, Look::Pressed, kPaleRed},
        {Symbol::Target, Look::Released, kCharcoal},   {Symbol::Target, Look::Pressed, kPale},
        {Symbol::Stop, Look::Released, kCharcoal},     {Symbol::Stop, Look::Pressed, kPale},
        {Symbol::Stop, Look::Released, kSignalRed},    {Symbol::Tools, Look::Released, kCharcoal},
        {Symbol::Tools, Look::Pressed, kPale},
    };
    static_assert(std::size(kButtons) == kLastToolbarId - kFirstToolbarId + 1);
    if (id < kFirstToolbarId || id > kLastToolbarId) {
        return nullptr;
    }
    return &kButtons[id - kFirstToolbarId];
}

}  // namespace

QImage DrawToolbarBitmap(int id) {
    const Button* button = ButtonFor(id);
    if (button == nullptr) {
        return {};
    }
    // The symbol is drawn with its own alpha and then laid on the silver ground, shifted by a
    // pixel when pressed, as if pushed into the toolbar.
    QImage symbol = TransparentCanvas(kSize, kSize);
    DrawSymbol(symbol, button->symbol, button->palette);

    QImage bitmap(kSize, kSize, QImage::Format_RGB32);
    bitmap.fill(kSilver);
    QPainter painter(&bitmap);
    const int shift = button->look == Look::Pressed ? 1 : 0;
    painter.drawImage(shift, shift, symbol);
    DrawBevel(painter, button->look);
    return bitmap;
}

}  // namespace artwork
