#include "tools/make-artwork/Painting.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPathStroker>
#include <vector>

namespace artwork {

namespace {

// One horizontal and one vertical pass of a 3-tap box filter over the alpha channel of a canvas
// that holds black only; twice gives a soft, nearly Gaussian edge.
void BlurAlpha(QImage& image) {
    const int w = image.width();
    const int h = image.height();
    std::vector<int> alpha(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            alpha[static_cast<size_t>(y) * w + x] = qAlpha(row[x]);
        }
    }
    std::vector<int> pass(alpha.size());
    auto at = [&](const std::vector<int>& a, int x, int y) {
        return (x < 0 || y < 0 || x >= w || y >= h) ? 0 : a[static_cast<size_t>(y) * w + x];
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            pass[static_cast<size_t>(y) * w + x] =
                (at(alpha, x - 1, y) + at(alpha, x, y) + at(alpha, x + 1, y)) / 3;
        }
    }
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int a = (at(pass, x, y - 1) + at(pass, x, y) + at(pass, x, y + 1)) / 3;
            row[x] = qRgba(0, 0, 0, a);
        }
    }
}

}  // namespace

QImage TransparentCanvas(int width, int height) {
    QImage canvas(width, height, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    return canvas;
}

QPainterPath Stroked(const QPainterPath& centreLine, qreal width, Qt::PenCapStyle cap,
                     Qt::PenJoinStyle join) {
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(cap);
    stroker.setJoinStyle(join);
    return stroker.createStroke(centreLine).simplified();
}

void FillOutlined(QImage& canvas, const QPainterPath& shape, const Tint& tint, qreal outlineWidth) {
    const QRectF bounds = shape.boundingRect();
    QLinearGradient gradient(bounds.topLeft(), bounds.bottomLeft());
    gradient.setColorAt(0, tint.top);
    gradient.setColorAt(1, tint.bottom);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(tint.outline, outlineWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(outlineWidth > 0 ? pen : QPen(Qt::NoPen));
    painter.setBrush(gradient);
    painter.drawPath(shape);
}

void DropShadow(QImage& canvas, const QPainterPath& shape, QPointF offset, int opacity) {
    QImage shadow = TransparentCanvas(canvas.width(), canvas.height());
    {
        QPainter painter(&shadow);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawPath(shape.translated(offset));
    }
    BlurAlpha(shadow);
    BlurAlpha(shadow);
    QPainter painter(&canvas);
    painter.setOpacity(opacity / 255.0);
    painter.drawImage(0, 0, shadow);
}

}  // namespace artwork
