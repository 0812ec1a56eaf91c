#include "tools/make-artwork/IconArt.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>
#include <cmath>
#include <vector>

#include "tools/make-artwork/Painting.h"

namespace artwork {

namespace {

// The drawing is laid out on a square of this many units.
constexpr qreal kGrid = 256;

struct Layer {
    QPainterPath shape;
    Tint tint;
    qreal outlineWidth;
};

QPainterPath Tile() {
    QPainterPath tile;
    tile.addRoundedRect(QRectF(16, 16, 224, 224), 44, 44);
    return tile;
}

// The region being marked: a faint pane and an L-shaped bracket at each corner.
QRectF Region() {
    return {50, 62, 156, 132};
}

QPainterPath Pane() {
    QPainterPath pane;
    pane.addRect(Region());
    return pane;
}

QPainterPath Brackets() {
    constexpr qreal kArm = 40;
    const QRectF r = Region();
    QPainterPath corners;
    for (const QPointF corner : {r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()}) {
        const qreal dx = corner.x() < r.center().x() ? kArm : -kArm;
        const qreal dy = corner.y() < r.center().y() ? kArm : -kArm;
        QPainterPath arm(corner + QPointF(0, dy));
        arm.lineTo(corner);
        arm.lineTo(corner + QPointF(dx, 0));
        corners = corners.united(Stroked(arm, 16, Qt::SquareCap, Qt::MiterJoin));
    }
    return corners.simplified();
}

QPainterPath RecordButton() {
    QPainterPath disc;
    disc.addEllipse(Region().center(), 38, 38);
    return disc;
}

std::vector<Layer> Layers() {
    return {
        {Tile(), {QColor(70, 82, 104), QColor(26, 31, 44), QColor(12, 15, 22)}, 4},
        {Pane(), {QColor(255, 255, 255, 56), QColor(255, 255, 255, 24), Qt::transparent}, 0},
        {Brackets(), {QColor(255, 255, 255), QColor(200, 212, 230), QColor(20, 24, 34)}, 3},
        {RecordButton(), {QColor(255, 96, 80), QColor(206, 0, 0), QColor(72, 0, 0)}, 4},
    };
}

QLinearGradient TopToBottom(const Layer& layer) {
    const QRectF bounds = layer.shape.boundingRect();
    QLinearGradient gradient(bounds.topLeft(), bounds.bottomLeft());
    gradient.setColorAt(0, layer.tint.top);
    gradient.setColorAt(1, layer.tint.bottom);
    return gradient;
}

// Coordinates to a hundredth of a unit, without trailing zeros.
QString Number(qreal value) {
    return QString::number(std::round(value * 100) / 100, 'g', 8);
}

QString Colour(const QColor& colour) {
    return QString("stop-color=\"%1\" stop-opacity=\"%2\"")
        .arg(colour.name(QColor::HexRgb), Number(colour.alphaF()));
}

// SVG path data for a painter path: moves, lines and cubic curves are all it holds.
QString PathData(const QPainterPath& path) {
    QString data;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        const QString point = Number(e.x) + ' ' + Number(e.y);
        switch (e.type) {
            case QPainterPath::MoveToElement:
                data += (i == 0 ? "M" : "ZM") + point;
                break;
            case QPainterPath::LineToElement:
                data += 'L' + point;
                break;
            case QPainterPath::CurveToElement:
                data += 'C' + point;
                break;
            case QPainterPath::CurveToDataElement:
                data += ' ' + point;
                break;
        }
    }
    return data + 'Z';
}

}  // namespace

QImage DrawIcon(int size) {
    QImage canvas = TransparentCanvas(size, size);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / kGrid, size / kGrid);
    for (const Layer& layer : Layers()) {
        QPen pen(layer.tint.outline, layer.outlineWidth);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(layer.outlineWidth > 0 ? pen : QPen(Qt::NoPen));
        painter.setBrush(TopToBottom(layer));
        painter.drawPath(layer.shape);
    }
    return canvas;
}

QString IconSvg() {
    QString svg;
    QTextStream out(&svg);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kGrid << "\" height=\"" << kGrid
        << "\" viewBox=\"0 0 " << kGrid << ' ' << kGrid << "\">\n";
    const std::vector<Layer> layers = Layers();
    out << "  <defs>\n";
    for (size_t i = 0; i < layers.size(); ++i) {
        const QRectF bounds = layers[i].shape.boundingRect();
        out << "    <linearGradient id=\"g" << i
            << "\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" y1=\"" << Number(bounds.top())
            << "\" x2=\"0\" y2=\"" << Number(bounds.bottom()) << "\">"
            << "<stop offset=\"0\" " << Colour(layers[i].tint.top) << "/>"
            << "<stop offset=\"1\" " << Colour(layers[i].tint.bottom) << "/></linearGradient>\n";
    }
    out << "  </defs>\n";
    for (size_t i = 0; i < layers.size(); ++i) {
        const Layer& layer = layers[i];
        out << "  <path fill=\"url(#g" << i << ")\" fill-rule=\""
            << (layer.shape.fillRule() == Qt::OddEvenFill ? "evenodd" : "nonzero") << '"';
        if (layer.outlineWidth > 0) {
            out << " stroke=\"" << layer.tint.outline.name(QColor::HexRgb) << "\" stroke-width=\""
                << Number(layer.outlineWidth) << "\" stroke-linejoin=\"miter\"";
        }
        out << " d=\"" << PathData(layer.shape) << "\"/>\n";
    }
    out << "</svg>\n";
    return svg;
}

}  // namespace artwork
