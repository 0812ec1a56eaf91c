#include "platform/aboutbox/aboutbox.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "platform/vfw/about_box.h"

namespace platform::aboutbox {

namespace {

bool ShowAboutBox(std::intptr_t parent, std::u16string_view description, std::string_view details) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr || QThread::currentThread() != app->thread()) return false;
    const QString name =
        QString::fromUtf16(description.data(), static_cast<qsizetype>(description.size()));
    const QString more = QString::fromUtf8(details.data(), static_cast<qsizetype>(details.size()));
    QMessageBox::about(reinterpret_cast<QWidget*>(parent), QStringLiteral("About ") + name,
                       name + QStringLiteral("\n\n") + more);
    return true;
}

}  // namespace

void InstallAboutBox() {
    vfw::SetAboutBox(&ShowAboutBox);
}

}  // namespace platform::aboutbox
