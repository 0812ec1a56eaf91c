#include "tools/make-artwork/Glyphs.h"

namespace artwork {

QPainterPath LetterL(const QRectF& box) {
    QPainterPath path(box.topLeft());
    path.lineTo(box.bottomLeft());
    path.lineTo(box.bottomRight());
    return path;
}

QPainterPath LetterR(const QRectF& box) {
    const qreal bowlBottom = box.top() + box.height() * 0.52;
    const qreal bowlRadius = (bowlBottom - box.top()) / 2;
    const qreal bowlStart = box.right() - bowlRadius;
    QPainterPath path(box.bottomLeft());
    path.lineTo(box.topLeft());
    path.lineTo(bowlStart, box.top());
    path.arcTo(QRectF(bowlStart - bowlRadius, box.top(), 2 * bowlRadius, 2 * bowlRadius), 90, -180);
    path.lineTo(box.left(), bowlBottom);
    path.moveTo(box.left() + box.width() * 0.45, bowlBottom);
    path.lineTo(box.bottomRight());
    return path;
}

QPainterPath LetterE(const QRectF& box) {
    QPainterPath path(box.topRight());
    path.lineTo(box.topLeft());
    path.lineTo(box.bottomLeft());
    path.lineTo(box.bottomRight());
    path.moveTo(box.left(), box.center().y());
    path.lineTo(box.right() - box.width() * 0.15, box.center().y());
    return path;
}

// Two stacked ellipse arcs meeting at the centre of the box.
QPainterPath LetterS(const QRectF& box) {
    const QRectF upper(box.left(), box.top(), box.width(), box.height() / 2);
    const QRectF lower(box.left(), box.center().y(), box.width(), box.height() / 2);
    QPainterPath path;
    path.arcMoveTo(upper, 25);
    path.arcTo(upper, 25, 245);
    path.arcTo(lower, 90, -245);
    return path;
}

QPainterPath LetterC(const QRectF& box) {
    QPainterPath path;
    path.arcMoveTo(box, 50);
    path.arcTo(box, 50, 260);
    return path;
}

QPainterPath QuestionHook(const QRectF& box) {
    const QRectF hook(box.left(), box.top(), box.width(), box.height() * 0.62);
    QPainterPath path;
    path.arcMoveTo(hook, 165);
    path.arcTo(hook, 165, -255);
    path.lineTo(box.center().x(), box.bottom());
    return path;
}

QPainterPath ExclamationBar(const QRectF& box) {
    QPainterPath path(QPointF(box.center().x(), box.top()));
    path.lineTo(box.center().x(), box.bottom());
    return path;
}

QPainterPath ReturnLine(const QRectF& box) {
    QPainterPath path(box.topRight());
    path.lineTo(box.bottomRight());
    path.lineTo(box.bottomLeft());
    return path;
}

}  // namespace artwork
