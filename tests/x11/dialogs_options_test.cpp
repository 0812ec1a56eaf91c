// The options dialog's widgets: texts by language, what filling shows, and the controls that
// act at once; the modal showing itself is driven in the program's end-to-end test.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <map>
#include <vector>

#include "catalogue/MessageCatalogue.h"
#include "dialogs/Korvex_Options_Unit.h"
#include "dialogs/OptionsRules.h"

using namespace dialogs;

namespace {

class OptionsDialog : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!std::getenv("DISPLAY")) return;
        static int argc = 1;
        static char name[] = "dialogs_options_test";
        static char* argv[] = {name, nullptr};
        static QApplication application(argc, argv);
    }
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display";
    }

    template <typename Control>
    static Control* Find(TOptions_Form& form, const char* name) {
        auto* control = form.findChild<Control*>(name);
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    static QString LabelText(TOptions_Form& form, const char* name) {
        return Find<QLabel>(form, name)->text();
    }
    static void KeyIn(QWidget* target, Qt::Key key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
    }

    static CodecChoice TwoCodecs() {
        CodecChoice codecs;
        codecs.descriptions = {"Microsoft Video 1", "Motion JPEG"};
        codecs.HasAbout = [](int index) { return index == 1; };
        return codecs;
    }
};

}  // namespace

TEST_F(OptionsDialog, EveryTextIsWholeAndNoControlCoversAnother) {
    for (const int language : {app::kGerman, app::kEnglish}) {
        SCOPED_TRACE(language);
        TOptions_Form form(language);
        app::SettingsRecord settings;
        settings.SevenZipThresholdMB = 100;  // the longest limit text
        form.FillControls(settings, TwoCodecs());
        std::map<QWidget*, std::vector<QWidget*>> siblings;
        for (QWidget* control : form.findChildren<QWidget*>()) {
            QWidget* parent = control->parentWidget();
            if (control->isHidden() || (parent != &form && !qobject_cast<QGroupBox*>(parent))) {
                continue;
            }
            const QString name = control->objectName();
            // A push button's hint has a least width of the style's; its text is what counts.
            if (auto* button = qobject_cast<QPushButton*>(control)) {
                QStyleOptionButton option;
                option.initFrom(button);
                const QRect inside =
                    button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
                const int text =
                    button->fontMetrics().horizontalAdvance(QString(button->text()).remove('&'));
                EXPECT_GE(inside.width(), text) << name.toStdString();
            } else if (qobject_cast<QLabel*>(control) || qobject_cast<QAbstractButton*>(control)) {
                EXPECT_GE(control->width(), control->sizeHint().width()) << name.toStdString();
            }
            EXPECT_TRUE(parent->rect().contains(control->geometry())) << name.toStdString();
            for (QWidget* other : siblings[parent]) {
                EXPECT_FALSE(control->geometry().intersects(other->geometry()))
                    << name.toStdString() << " covers " << other->objectName().toStdString();
            }
            siblings[parent].push_back(control);
        }
    }
}

TEST_F(OptionsDialog, EnglishTextsAndAnEmptyCatalogue) {
    TOptions_Form form(app::kEnglish);
    EXPECT_EQ(form.windowTitle(), "Options");
    // A row taller than designed: the two archive formats do not fit side by side.
    EXPECT_EQ(form.width(), 444);
    EXPECT_EQ(Find<QPushButton>(form, "Save_Button")->text(), "&Save");

    app::SettingsRecord settings;  // 200 ms, 14 MB
    form.FillControls(settings, CodecChoice{});
    EXPECT_EQ(LabelText(form, "fpsValue_Label"), "5 fps");
    EXPECT_EQ(LabelText(form, "ZipLimit_Label"),
              "Use 7-ZIP format if AVI file is larger than 14 MB");
    EXPECT_EQ(Find<QComboBox>(form, "Compressor_ComboBox")->count(), 0);
    EXPECT_FALSE(Find<QPushButton>(form, "About_Button")->isEnabled());
    EXPECT_EQ(form.Controls().codecSelection, -1);
}

// The microphone's check box in both languages: its whole text inside the recording group, and
// what the settings say, on save only.
TEST_F(OptionsDialog, RecordMicrophoneCheckBox) {
    for (const int language : {app::kGerman, app::kEnglish}) {
        TOptions_Form form(language);
        auto* box = Find<QCheckBox>(form, "RecordMicrophone_CheckBox");
        EXPECT_EQ(box->text(),
                  language == app::kGerman ? "Mikrofon aufnehmen" : "Record microphone");
        EXPECT_FALSE(box->toolTip().isEmpty());
        const QWidget* group = Find<QGroupBox>(form, "Record_GroupBox");
        EXPECT_EQ(box->parentWidget(), group);
        EXPECT_GE(box->width(), box->sizeHint().width());
        EXPECT_TRUE(group->contentsRect().contains(box->geometry())) << language;
        for (const char* below : {"HighlightCursor_CheckBox", "MaxLength_SpinEdit"}) {
            EXPECT_FALSE(box->geometry().intersects(Find<QWidget>(form, below)->geometry()));
        }

        app::SettingsRecord settings;
        form.FillControls(settings, CodecChoice{});
        EXPECT_FALSE(box->isChecked());
        box->click();
        EXPECT_FALSE(settings.Engine.RecordMicrophone);
        AdoptControls(form.Controls(), settings);
        EXPECT_TRUE(settings.Engine.RecordMicrophone);
        form.FillControls(settings, CodecChoice{});
        EXPECT_TRUE(box->isChecked());
    }
}

TEST_F(OptionsDialog, GermanControlsThatActAtOnce) {
    TOptions_Form form(app::kGerman);
    EXPECT_EQ(form.windowTitle(), "Optionen");
    app::SettingsRecord settings;
    settings.Engine.MsPerFrame = 67;  // 15 fps: the slider's design position already
    settings.Engine.CompressorIndex = 1;
    form.FillControls(settings, TwoCodecs());
    EXPECT_EQ(LabelText(form, "fpsValue_Label"), "15 fps");
    EXPECT_TRUE(Find<QPushButton>(form, "About_Button")->isEnabled());

    // The archive format and the ZIP limit reach the settings at once; Cancel takes nothing back.
    Find<QRadioButton>(form, "SevenZip_RadioButton")->click();
    EXPECT_TRUE(settings.Use7z);
    EXPECT_FALSE(Find<QSlider>(form, "ZipLimit_TrackBar")->isEnabled());
    EXPECT_FALSE(Find<QLabel>(form, "Label_50")->isEnabled());
    Find<QRadioButton>(form, "Zip_RadioButton")->click();
    Find<QSlider>(form, "ZipLimit_TrackBar")->setValue(30);
    EXPECT_EQ(settings.SevenZipThresholdMB, 30);
    EXPECT_EQ(LabelText(form, "ZipLimit_Label"),
              QString::fromUtf8("7-ZIP Format verwenden wenn AVI-Datei größer ist als 30 MB"));
    EXPECT_EQ(Find<QSlider>(form, "ZipLimit_TrackBar")->toolTip(), "30 MB");
    Find<QRadioButton>(form, "SevenZip_RadioButton")->click();
    form.reject();
    EXPECT_TRUE(settings.Use7z);

    Find<QCheckBox>(form, "DeleteFiles_CheckBox")->click();
    EXPECT_FALSE(Find<QCheckBox>(form, "WarningDelete_CheckBox")->isEnabled());
}

TEST_F(OptionsDialog, HiddenQualityAndTheMinutesField) {
    TOptions_Form form(app::kGerman);
    app::SettingsRecord settings;
    form.FillControls(settings, TwoCodecs());
    auto* quality = Find<QSlider>(form, "Compression_TrackBar");
    auto* label = Find<QLabel>(form, "Compressor_Label");
    EXPECT_TRUE(quality->isHidden());
    QMouseEvent twice(QEvent::MouseButtonDblClick, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(label, &twice);
    EXPECT_FALSE(quality->isHidden());
    EXPECT_FALSE(Find<QLabel>(form, "C25_Label")->isHidden());
    quality->setValue(25);
    EXPECT_EQ(quality->toolTip(), "Kompression = 0.25");

    auto* minutes = Find<QSpinBox>(form, "MaxLength_SpinEdit");
    EXPECT_EQ(form.Controls().maxMinutes, "15");
    KeyIn(minutes, Qt::Key_5);  // typing is disabled
    EXPECT_EQ(form.Controls().maxMinutes, "15");
    minutes->selectAll();
    KeyIn(minutes, Qt::Key_Delete);
    EXPECT_EQ(form.Controls().maxMinutes, "0");
    KeyIn(minutes, Qt::Key_Up);
    EXPECT_EQ(form.Controls().maxMinutes, "1");
}
