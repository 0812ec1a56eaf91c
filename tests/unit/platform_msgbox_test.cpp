// Message boxes: buttons and icons by style, and a box asked for by a worker thread that is
// shown on the GUI thread while the worker waits for the answer.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <atomic>
#include <thread>

#include "platform/msgbox/msgbox.h"

namespace mb = platform::msgbox;

namespace {

QMessageBox* OpenBox() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
    }
    return nullptr;
}

// Serves events until a box is open, checks it, then presses the button.
void AnswerWhenShown(QMessageBox::StandardButton button,
                     const std::function<void(QMessageBox*)>& check) {
    QTimer* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [=] {
        if (QMessageBox* box = OpenBox()) {
            poll->stop();
            poll->deleteLater();
            check(box);
            box->button(button)->click();
        }
    });
    poll->start(10);
}

class MessageBoxes : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "msgbox_test";
        static char* argv[] = {name, nullptr};
        app = new QApplication(argc, argv);
    }
    static void TearDownTestSuite() {
        delete app;
        app = nullptr;
    }
    static QApplication* app;
};
QApplication* MessageBoxes::app = nullptr;

}  // namespace

TEST_F(MessageBoxes, StylesGiveTheirButtonsAndIcons) {
    AnswerWhenShown(QMessageBox::No, [](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), "FRAGE");
        EXPECT_EQ(box->text(), QString::fromUtf8("Alle Videos löschen?"));
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    });
    EXPECT_EQ(mb::Show("FRAGE", "Alle Videos löschen?", mb::MB_YESNO | mb::MB_ICONQUESTION),
              mb::IDNO);

    AnswerWhenShown(QMessageBox::Cancel, [](QMessageBox* box) {
        EXPECT_EQ(box->icon(), QMessageBox::Information);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok | QMessageBox::Cancel);
    });
    EXPECT_EQ(mb::Show("WARNUNG", "x", mb::MB_OKCANCEL | mb::MB_ICONINFORMATION), mb::IDCANCEL);

    AnswerWhenShown(QMessageBox::Ok, [](QMessageBox* box) {
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    });
    EXPECT_EQ(mb::Show("FEHLER", "y", mb::MB_ICONERROR), mb::IDOK);
}

TEST_F(MessageBoxes, AWorkersBoxIsShownOnTheGuiThreadWhileItWaits) {
    std::atomic<int> answer{0};
    std::atomic<bool> shownOnGui{false};
    std::thread worker([&] {
        answer = mb::Show("Notice", "Use default compressor? ", mb::MB_YESNO | mb::MB_ICONWARNING,
                          mb::Owner::None);
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    AnswerWhenShown(QMessageBox::Yes, [&](QMessageBox* box) {
        shownOnGui = box->thread() == qApp->thread();
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        // Not modal: the program's own windows stay usable meanwhile.
        EXPECT_EQ(box->windowModality(), Qt::NonModal);
        EXPECT_EQ(answer.load(), 0);
    });
    QApplication::exec();
    worker.join();
    EXPECT_TRUE(shownOnGui);
    EXPECT_EQ(answer.load(), mb::IDYES);
}

// Last of the suite: the translation stays installed for the application's life.
TEST_F(MessageBoxes, GermanButtonsAndFileDialogTexts) {
    ASSERT_TRUE(mb::UseQtTexts(true));
    AnswerWhenShown(QMessageBox::No, [](QMessageBox* box) {
        EXPECT_EQ(box->button(QMessageBox::Yes)->text(), "&Ja");
        EXPECT_EQ(box->button(QMessageBox::No)->text(), "&Nein");
    });
    mb::Show("FRAGE", "Alle Videos löschen?", mb::MB_YESNO | mb::MB_ICONQUESTION);
    QFileDialog dialog(nullptr);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    EXPECT_EQ(dialog.labelText(QFileDialog::LookIn), "Suchen in:");
    EXPECT_EQ(dialog.labelText(QFileDialog::Reject), "Abbrechen");
}

TEST(MessageBoxesWithoutApplication, AnswerAsIfEscaped) {
    EXPECT_EQ(mb::Show("x", "y", mb::MB_YESNO), mb::IDNO);
    EXPECT_EQ(mb::Show("x", "y", mb::MB_OKCANCEL), mb::IDCANCEL);
    EXPECT_EQ(mb::Show("x", "y", mb::MB_OK), mb::IDOK);
}
