#include "platform/msgbox/msgbox.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <QTranslator>
#include <future>
#include <memory>

namespace platform::msgbox {

namespace {

QMessageBox::Icon IconFor(unsigned style) {
    switch (style & 0xF0) {
        case MB_ICONERROR:
            return QMessageBox::Critical;
        case MB_ICONQUESTION:
            return QMessageBox::Question;
        case MB_ICONWARNING:
            return QMessageBox::Warning;
        case MB_ICONINFORMATION:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

// Answer for the Escape key or the window's close box.
int EscapeAnswer(unsigned style) {
    switch (style & 0x0F) {
        case MB_OKCANCEL:
            return IDCANCEL;
        case MB_YESNO:
            return IDNO;
        default:
            return IDOK;
    }
}

// Builds the box; the caller shows it. Qt owns it once shown (WA_DeleteOnClose).
QMessageBox* MakeBox(const std::string& caption, const std::string& text, unsigned style,
                     QWidget* parent) {
    auto* box = new QMessageBox(IconFor(style), QString::fromStdString(caption),
                                QString::fromStdString(text), QMessageBox::NoButton, parent);
    switch (style & 0x0F) {
        case MB_OKCANCEL:
            box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box->setEscapeButton(QMessageBox::Cancel);
            break;
        case MB_YESNO:
            box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box->setEscapeButton(QMessageBox::No);
            break;
        default:
            box->setStandardButtons(QMessageBox::Ok);
            box->setEscapeButton(QMessageBox::Ok);
            break;
    }
    box->setAttribute(Qt::WA_DeleteOnClose);
    return box;
}

int AnswerFor(int button, unsigned style) {
    switch (button) {
        case QMessageBox::Ok:
            return IDOK;
        case QMessageBox::Cancel:
            return IDCANCEL;
        case QMessageBox::Yes:
            return IDYES;
        case QMessageBox::No:
            return IDNO;
        default:
            return EscapeAnswer(style);
    }
}

}  // namespace

void Beep() {
    if (qApp != nullptr) QApplication::beep();
}

int Show(const std::string& caption, const std::string& text, unsigned style, Owner owner) {
    if (qApp == nullptr) return EscapeAnswer(style);
    const bool onGuiThread = QThread::currentThread() == qApp->thread();
    if (onGuiThread && owner == Owner::ActiveWindow) {
        QMessageBox* box = MakeBox(caption, text, style, QApplication::activeWindow());
        box->setWindowModality(Qt::ApplicationModal);
        box->setAttribute(Qt::WA_DeleteOnClose, false);
        const int button = box->exec();
        delete box;
        return AnswerFor(button, style);
    }
    // An ownerless box leaves the program's windows usable: it is shown without a nested loop
    // and the answer comes back through a promise.
    auto answer = std::make_shared<std::promise<int>>();
    std::future<int> result = answer->get_future();
    auto open = [=] {
        QMessageBox* box = MakeBox(caption, text, style, nullptr);
        box->setWindowModality(Qt::NonModal);
        QObject::connect(box, &QMessageBox::finished, box, [answer, style](int button) {
            answer->set_value(AnswerFor(button, style));
        });
        box->show();
        box->raise();
        box->activateWindow();
    };
    if (onGuiThread) {
        open();
        // The GUI thread cannot block on its own box: keep its events flowing meanwhile.
        while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        return result.get();
    }
    QMetaObject::invokeMethod(qApp, open, Qt::QueuedConnection);
    return result.get();
}

bool UseQtTexts(bool german) {
    if (!german) return true;
    // Owned by the application, so that it lives as long as the texts are shown.
    auto* translator = new QTranslator(qApp);
    if (!translator->load(QLocale(QLocale::German), "qtbase", "_",
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}  // namespace platform::msgbox
