#include "resources/Resources.h"

#include <QFile>
#include <QString>

// Q_INIT_RESOURCE declares the registration function in the enclosing namespace, and rcc defines
// it in the global one: so this helper lives outside namespace resources.
static bool RegisterDataResources() {
    Q_INIT_RESOURCE(korvex_data);
    return true;
}

namespace resources {

QImage CursorImage(int id) {
    if (id < 201 || id > 215) {
        return {};
    }
    return QImage(QStringLiteral(":/cursors/%1.png").arg(id))
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage ToolbarBitmap(int id) {
    if (id < 101 || id > 113) {
        return {};
    }
    return QImage(QStringLiteral(":/bitmaps/%1.bmp").arg(id)).convertToFormat(QImage::Format_RGB32);
}

QByteArray DataResource(int id) {
    if (id != 901 && id != 902) {
        return {};
    }
    [[maybe_unused]] static const bool registered = RegisterDataResources();
    QFile file(QStringLiteral(":/data/%1").arg(id));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

}  // namespace resources
