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

QImage CursorImage(Cursor cursor) {
    const int id = static_cast<int>(cursor);
    if (id < static_cast<int>(Cursor::HighlightA) ||
        id > static_cast<int>(Cursor::F12Dissatisfied)) {
        return {};
    }
    return QImage(QStringLiteral(":/cursors/%1.png").arg(id))
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage ToolbarBitmap(Bitmap bitmap) {
    const int id = static_cast<int>(bitmap);
    if (id < static_cast<int>(Bitmap::MailReleased) ||
        id > static_cast<int>(Bitmap::ToolsPressed)) {
        return {};
    }
    return QImage(QStringLiteral(":/bitmaps/%1.bmp").arg(id)).convertToFormat(QImage::Format_RGB32);
}

QByteArray PictureData(Picture picture) {
    if (picture != Picture::Splash) return {};
    QFile file(QStringLiteral(":/pictures/%1.jpg").arg(static_cast<int>(picture)));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

QByteArray DataResource(Data data) {
    const int id = static_cast<int>(data);
    if (data != Data::HookLibrary && data != Data::ArchiveEngine) {
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
