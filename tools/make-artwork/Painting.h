// Drawing helpers shared by the cursor and toolbar artwork.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>

namespace artwork {

// Two colours of a top-to-bottom gradient and the outline drawn around it.
struct Tint {
    QColor top;
    QColor bottom;
    QColor outline;
};

// A transparent premultiplied ARGB canvas of the given size.
QImage TransparentCanvas(int width, int height);

// The area that a pen of the given width covers along centreLine, as a fillable shape.
QPainterPath Stroked(const QPainterPath& centreLine, qreal width,
                     Qt::PenCapStyle cap = Qt::RoundCap, Qt::PenJoinStyle join = Qt::RoundJoin);

// Fills shape with the tint's gradient over its bounds and draws the outline pen over its edge.
void FillOutlined(QImage& canvas, const QPainterPath& shape, const Tint& tint, qreal outlineWidth);

// Draws a blurred dark copy of shape, offset, beneath what is drawn next: a soft drop shadow.
void DropShadow(QImage& canvas, const QPainterPath& shape, QPointF offset, int opacity);

}  // namespace artwork
