// make-artwork <resources folder> [--icons <folder>] [--sheet <file.png>]
// Draws the cursor images and toolbar pictures into <resources folder>/cursors/<id>.png and
// <resources folder>/bitmaps/<id>.bmp. With --icons it also draws the program's icon into
// <folder>/<size>.png for each icon size and <folder>/scalable.svg. With --sheet it also writes
// an enlarged contact sheet of everything, the cursors over light and dark ground, for reviewing
// the artwork.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QStringList>
#include <algorithm>
#include <cstdio>

#include "tools/make-artwork/CursorArt.h"
#include "tools/make-artwork/IconArt.h"
#include "tools/make-artwork/ToolbarArt.h"

namespace {

constexpr int kSheetScale = 6;
constexpr int kSheetGap = 8;

bool Save(const QImage& image, const QString& path, const char* format) {
    if (image.save(path, format)) {
        return true;
    }
    std::fprintf(stderr, "make-artwork: cannot write %s\n", qPrintable(path));
    return false;
}

bool SaveIcons(const QDir& folder) {
    if (!folder.mkpath(".")) {
        std::fprintf(stderr, "make-artwork: cannot create %s\n", qPrintable(folder.path()));
        return false;
    }
    bool ok = true;
    for (const int size : artwork::kIconSizes) {
        ok &= Save(artwork::DrawIcon(size).convertToFormat(QImage::Format_ARGB32),
                   folder.filePath(QString("%1.png").arg(size)), "PNG");
    }
    QFile svg(folder.filePath("scalable.svg"));
    if (!svg.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        svg.write(artwork::IconSvg().toUtf8()) < 0 || !svg.flush()) {
        std::fprintf(stderr, "make-artwork: cannot write %s\n", qPrintable(svg.fileName()));
        return false;
    }
    return ok;
}

// Takes "--option value" out of args; the value, or an empty string when the option is absent.
QString TakeOption(QStringList& args, const QString& option) {
    const auto at = args.indexOf(option);
    if (at < 0 || at + 1 >= args.size()) {
        return {};
    }
    const QString value = args.takeAt(at + 1);
    args.removeAt(at);
    return value;
}

// Lays out equal cells in rows of the given number of columns; returns each cell's corner.
QPoint CellCorner(qsizetype index, int columns, QSize cell, int top) {
    return {static_cast<int>(index % columns) * (cell.width() + kSheetGap) + kSheetGap,
            top + static_cast<int>(index / columns) * (cell.height() + kSheetGap) + kSheetGap};
}

int RowsHeight(qsizetype count, int columns, int cellHeight) {
    return static_cast<int>((count + columns - 1) / columns) * (cellHeight + kSheetGap);
}

// Every image enlarged without smoothing, so that single pixels stay visible. Each cursor is
// shown twice, over light and over dark ground; the toolbar pictures follow below.
QImage ContactSheet(const QList<QImage>& cursors, const QList<QImage>& bitmaps) {
    constexpr int kCursorColumns = 3;
    constexpr int kBitmapColumns = 5;
    const QSize square(32 * kSheetScale, 32 * kSheetScale);
    const QSize cursorCell(2 * square.width() + kSheetGap / 2, square.height());
    const QSize bitmapCell(36 * kSheetScale, 36 * kSheetScale);
    const int cursorsHeight = RowsHeight(cursors.size(), kCursorColumns, cursorCell.height());
    const int width = std::max(kCursorColumns * (cursorCell.width() + kSheetGap),
                               kBitmapColumns * (bitmapCell.width() + kSheetGap)) +
                      kSheetGap;
    QImage sheet(
        width,
        cursorsHeight + RowsHeight(bitmaps.size(), kBitmapColumns, bitmapCell.height()) + kSheetGap,
        QImage::Format_RGB32);
    sheet.fill(QColor(96, 96, 96));
    QPainter painter(&sheet);
    for (qsizetype i = 0; i < cursors.size(); ++i) {
        const QRect light(CellCorner(i, kCursorColumns, cursorCell, 0), square);
        const QRect dark = light.translated(square.width() + kSheetGap / 2, 0);
        painter.fillRect(light, QColor(245, 245, 245));
        painter.fillRect(dark, QColor(30, 30, 40));
        painter.drawImage(light, cursors[i]);
        painter.drawImage(dark, cursors[i]);
    }
    for (qsizetype i = 0; i < bitmaps.size(); ++i) {
        painter.drawImage(
            QRect(CellCorner(i, kBitmapColumns, bitmapCell, cursorsHeight), bitmapCell),
            bitmaps[i]);
    }
    return sheet;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const QString sheetPath = TakeOption(args, "--sheet");
    const QString iconFolder = TakeOption(args, "--icons");
    if (args.size() != 1) {
        std::fprintf(stderr,
                     "usage: make-artwork <resources folder> [--icons <folder>] "
                     "[--sheet <file.png>]\n");
        return 2;
    }
    const QDir root(args.front());
    if (!root.mkpath("cursors") || !root.mkpath("bitmaps")) {
        std::fprintf(stderr, "make-artwork: cannot create folders in %s\n",
                     qPrintable(root.path()));
        return 1;
    }

    QList<QImage> cursors;
    QList<QImage> bitmaps;
    bool ok = true;
    for (int id = artwork::kFirstCursorId; id <= artwork::kLastCursorId; ++id) {
        cursors.append(artwork::DrawCursor(id).convertToFormat(QImage::Format_ARGB32));
        ok &= Save(cursors.back(), root.filePath(QString("cursors/%1.png").arg(id)), "PNG");
    }
    for (int id = artwork::kFirstToolbarId; id <= artwork::kLastToolbarId; ++id) {
        bitmaps.append(artwork::DrawToolbarBitmap(id));
        ok &= Save(bitmaps.back(), root.filePath(QString("bitmaps/%1.bmp").arg(id)), "BMP");
    }
    if (!iconFolder.isEmpty()) {
        ok &= SaveIcons(QDir(iconFolder));
    }
    if (!sheetPath.isEmpty()) {
        ok &= Save(ContactSheet(cursors, bitmaps), sheetPath, "PNG");
    }
    return ok ? 0 : 1;
}
