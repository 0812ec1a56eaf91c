#include "dialogs/Korvex_Options_Unit.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QToolTip>
#include <algorithm>
#include <initializer_list>

#include "catalogue/MessageCatalogue.h"
#include "dialogs/DialogWidgets.h"
#include "platform/msgbox/msgbox.h"
#include "resources/Resources.h"

namespace dialogs {

namespace mb = platform::msgbox;
using app::Msg;

namespace {

// The microphone's row at the foot of the recording group; everything below moves down by it.
constexpr int kSoundRow = 22;
constexpr int kClientWidth = 444;
constexpr int kClientHeight = 367 + kSoundRow;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// A child control with its name, at its place; its size is its own unless given.
template <typename Control, typename... Args>
Control* Place(QWidget* parent, const char* name, QRect place, Args&&... args) {
    auto* control = new Control(std::forward<Args>(args)..., parent);
    control->setObjectName(name);
    if (place.width() <= 0) control->adjustSize();
    control->setGeometry(place.left(), place.top(),
                         place.width() > 0 ? place.width() : control->width(),
                         place.height() > 0 ? place.height() : control->height());
    return control;
}

QRect At(int left, int top, int width = 0, int height = 0) {
    return {left, top, width, height};
}

QSlider* Slider(QWidget* parent, const char* name, QRect place, int min, int max) {
    auto* slider = Place<QSlider>(parent, name, place, Qt::Horizontal);
    slider->setRange(min, max);
    return slider;
}

}  // namespace

TOptions_Form::TOptions_Form(int languageOffset)
    : QDialog(nullptr), LanguageOffset(languageOffset) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle("Optionen");
    setWindowIcon(
        QIcon(QPixmap::fromImage(resources::ToolbarBitmap(resources::Bitmap::ToolsReleased))));
    setFixedSize(kClientWidth, kClientHeight);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    CreateRecordGroup();
    CreateAviFilesGroup();
    CreateButtons();
    ApplyLanguage();
    FitTexts();
    Connect();
}

void TOptions_Form::CreateRecordGroup() {
    Record_GroupBox =
        Place<QGroupBox>(this, "Record_GroupBox", At(8, 8, 426, 159 + kSoundRow), "Aufnahme");
    QWidget* group = Record_GroupBox;
    Compressor_Label = Place<EventLabel>(group, "Compressor_Label", At(16, 17), "Kompressor");
    Compressor_ComboBox = Place<QComboBox>(group, "Compressor_ComboBox", At(16, 36, 302, 21));
    About_Button = Place<QPushButton>(group, "About_Button", At(333, 33, 75, 25), "Info...");
    Frequency_Label = Place<QLabel>(group, "Frequency_Label", At(16, 66), "Bildfrequenz");
    C25_Label = Place<QLabel>(group, "C25_Label", At(214, 68), "0.25");
    Compression_TrackBar =
        Slider(group, "Compression_TrackBar", At(235, 64, 160, 22), kMinQuality, kMaxQuality);
    Compression_TrackBar->setValue(75);
    Compression_TrackBar->setToolTip(Q(QualityHint(75)));
    Compression_TrackBar->setFocusPolicy(Qt::NoFocus);
    C100_Label = Place<QLabel>(group, "C100_Label", At(395, 68), "1.00");
    for (QWidget* quality :
         {static_cast<QWidget*>(C25_Label), static_cast<QWidget*>(Compression_TrackBar),
          static_cast<QWidget*>(C100_Label)}) {
        quality->hide();
    }
    Record_TrackBar =
        Slider(group, "Record_TrackBar", At(10, 82, 407, 22), kMinFrameRate, kMaxFrameRate);
    Record_TrackBar->setValue(kMaxFrameRate);
    Record_TrackBar->setToolTip(
        QString::fromUtf8("Bildfrequenz in Bilder pro Sekunde einstellen..."));
    Place<QLabel>(group, "fps3_Label", At(20, 108), "3 fps");
    fpsValue_Label = Place<QLabel>(group, "fpsValue_Label", At(182, 108, 53, 16), "");
    fpsValue_Label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Place<QLabel>(group, "fps15_Label", At(374, 108), "15 fps");
    HighlightCursor_CheckBox =
        Place<QCheckBox>(group, "HighlightCursor_CheckBox", At(18, 129), "Mauszeiger hervorheben");
    HighlightCursor_CheckBox->setChecked(true);
    MaxLength_SpinEdit = Place<StepOnlySpinEdit>(group, "MaxLength_SpinEdit", At(249, 128, 41, 22));
    MaxLength_SpinEdit->setRange(0, kMaxMinutes);
    MaxLength_SpinEdit->setToolTip(
        QString::fromUtf8("Maximale Aufnahmedauer in Minuten (0 = Autostop deaktiviert)..."));
    MaxLength_Label =
        Place<QLabel>(group, "MaxLength_Label", At(296, 132, 128, 16), "Aufnahmedauer (max.)");
    RecordMicrophone_CheckBox =
        Place<QCheckBox>(group, "RecordMicrophone_CheckBox", At(18, 151), "Mikrofon aufnehmen");
    RecordMicrophone_CheckBox->setToolTip(QString::fromUtf8(
        "Ton vom Standard-Eingang des Sound-Servers (Mikrofon) mit dem Video aufnehmen..."));
}

void TOptions_Form::CreateAviFilesGroup() {
    AviFiles_GroupBox = Place<QGroupBox>(this, "AviFiles_GroupBox",
                                         At(8, 177 + kSoundRow, 425, 136), "AVI-Dateien");
    QWidget* group = AviFiles_GroupBox;
    DeleteFiles_CheckBox = Place<QCheckBox>(group, "DeleteFiles_CheckBox", At(18, 22),
                                            QString::fromUtf8("AVI-Dateien beim Beenden löschen"));
    DeleteFiles_CheckBox->setChecked(true);
    DeleteFiles_CheckBox->setToolTip(QString::fromUtf8(
        "Beim Schließen des Programms werden alle AVI- und ZIP-Dateien automatisch gelöscht..."));
    WarningDelete_CheckBox =
        Place<QCheckBox>(group, "WarningDelete_CheckBox", At(249, 22), "Warnung anzeigen");
    WarningDelete_CheckBox->setChecked(true);
    WarningDelete_CheckBox->setToolTip(
        QString::fromUtf8("Vor dem Löschen der Video Dateien wird eine Warnung angezeigt..."));
    SevenZip_RadioButton = Place<QRadioButton>(group, "SevenZip_RadioButton", At(17, 50),
                                               "Hohe Komprimierung im 7-ZIP Format");
    Zip_RadioButton =
        Place<QRadioButton>(group, "Zip_RadioButton", At(248, 50), "Komprimierung im ZIP Format");
    Zip_RadioButton->setChecked(true);
    ZipLimit_Label = Place<QLabel>(
        group, "ZipLimit_Label", At(16, 76),
        QString::fromUtf8("7-ZIP Format verwenden wenn AVI-Datei größer ist als 14 MB"));
    ZipLimit_TrackBar =
        Slider(group, "ZipLimit_TrackBar", At(14, 95, 393, 20), kMinZipLimit, kMaxZipLimit);
    ZipLimit_TrackBar->setTickPosition(QSlider::TicksBelow);
    ZipLimit_TrackBar->setTickInterval(2);
    ZipLimit_TrackBar->setValue(app::settings::kSevenZipThresholdMB.storedDefault);
    ZipLimit_TrackBar->setToolTip(Q(ZipLimitValue(ZipLimit_TrackBar->value())));
    Label_2 = Place<QLabel>(group, "Label_2", At(11, 116), "2 MB");
    Label_50 = Place<QLabel>(group, "Label_50", At(190, 116), "50 MB");
    Label_100 = Place<QLabel>(group, "Label_100", At(377, 116), "100 MB");
}

void TOptions_Form::CreateButtons() {
    Save_Button =
        Place<QPushButton>(this, "Save_Button", At(26, 328 + kSoundRow, 75, 25), "&Speichern");
    Save_Button->setDefault(true);
    ClearSettings_Button =
        Place<QPushButton>(this, "ClearSettings_Button", At(129, 328 + kSoundRow, 185, 25),
                           QString::fromUtf8("Gespeicherte Einstellungen &löschen"));
    ClearSettings_Button->setToolTip(
        QString::fromUtf8("Korvex! Einstellungen aus der Windows Registry löschen..."));
    Cancel_Button =
        Place<QPushButton>(this, "Cancel_Button", At(341, 328 + kSoundRow, 75, 25), "&Abbrechen");
    Save_Button->setAutoDefault(true);
    ClearSettings_Button->setAutoDefault(false);
    Cancel_Button->setAutoDefault(false);
}

void TOptions_Form::ApplyLanguage() {
    if (LanguageOffset == app::kGerman) return;
    auto q = [this](Msg id) { return Q(app::Text(id, LanguageOffset)); };
    setWindowTitle(q(Msg::OptionsCaption));
    Record_GroupBox->setTitle(q(Msg::RecordingGroup));
    AviFiles_GroupBox->setTitle(q(Msg::AviFilesGroup));
    Compressor_Label->setText(q(Msg::CompressorLabel));
    About_Button->setText(q(Msg::CodecAboutButton));
    Frequency_Label->setText(q(Msg::FrameRateLabel));
    Record_TrackBar->setToolTip(q(Msg::FrameRateHint));
    HighlightCursor_CheckBox->setText(q(Msg::HighlightCursorCheck));
    RecordMicrophone_CheckBox->setText(q(Msg::RecordMicrophoneCheck));
    RecordMicrophone_CheckBox->setToolTip(q(Msg::RecordMicrophoneHint));
    MaxLength_Label->setText(q(Msg::MaxRecordingTimeLabel));
    MaxLength_SpinEdit->setToolTip(q(Msg::MaxRecordingTimeHint));
    DeleteFiles_CheckBox->setText(q(Msg::DeleteOnCloseCheck));
    DeleteFiles_CheckBox->setToolTip(q(Msg::DeleteOnCloseHint));
    WarningDelete_CheckBox->setText(q(Msg::WarnBeforeDeleteCheck));
    WarningDelete_CheckBox->setToolTip(q(Msg::WarnBeforeDeleteHint));
    Save_Button->setText(q(Msg::SaveButton));
    ClearSettings_Button->setText(q(Msg::ClearSettingsButton));
    ClearSettings_Button->setToolTip(q(Msg::ClearSettingsHint));
    Cancel_Button->setText(q(Msg::CancelButton));
    SevenZip_RadioButton->setText(q(Msg::SevenZipChoice));
    Zip_RadioButton->setText(q(Msg::ZipChoice));
    // The controls sized by their texts.
    for (QWidget* control :
         {static_cast<QWidget*>(Compressor_Label), static_cast<QWidget*>(Frequency_Label),
          static_cast<QWidget*>(HighlightCursor_CheckBox),
          static_cast<QWidget*>(RecordMicrophone_CheckBox),
          static_cast<QWidget*>(DeleteFiles_CheckBox),
          static_cast<QWidget*>(WarningDelete_CheckBox),
          static_cast<QWidget*>(SevenZip_RadioButton), static_cast<QWidget*>(Zip_RadioButton)}) {
        control->adjustSize();
    }
}

void TOptions_Form::FitTexts() {
    constexpr int kGap = 6;
    auto right = [](const QWidget* control) { return control->x() + control->width(); };
    auto moveBy = [](QWidget* control, int dx, int dy) {
        control->move(control->x() + dx, control->y() + dy);
    };
    for (QWidget* control : std::initializer_list<QWidget*>{
             Compressor_Label, Frequency_Label, HighlightCursor_CheckBox, MaxLength_Label,
             DeleteFiles_CheckBox, WarningDelete_CheckBox, SevenZip_RadioButton, Zip_RadioButton}) {
        control->resize(std::max(control->width(), control->sizeHint().width()), control->height());
    }
    // The recording time's field and label move left as far as the label needs.
    const int overRecord = right(MaxLength_Label) - (Record_GroupBox->width() - kGap);
    if (overRecord > 0) {
        moveBy(MaxLength_SpinEdit, -overRecord, 0);
        moveBy(MaxLength_Label, -overRecord, 0);
    }
    // The warning box keeps clear of the delete box before it.
    WarningDelete_CheckBox->move(
        std::max(WarningDelete_CheckBox->x(), right(DeleteFiles_CheckBox) + kGap),
        WarningDelete_CheckBox->y());
    // The archive formats share a row when both fit it; otherwise ZIP goes below 7z, and the
    // rest of the group, the buttons and the dialog move down by a row.
    const int filesRight = AviFiles_GroupBox->width() - kGap;
    int extra = 0;
    if (right(SevenZip_RadioButton) + kGap > Zip_RadioButton->x() ||
        right(Zip_RadioButton) > filesRight) {
        extra = SevenZip_RadioButton->height() + 2;
        Zip_RadioButton->move(SevenZip_RadioButton->x(), SevenZip_RadioButton->y() + extra);
        for (QWidget* control : std::initializer_list<QWidget*>{ZipLimit_Label, ZipLimit_TrackBar,
                                                                Label_2, Label_50, Label_100}) {
            moveBy(control, 0, extra);
        }
        AviFiles_GroupBox->resize(AviFiles_GroupBox->width(), AviFiles_GroupBox->height() + extra);
        for (QWidget* button : {Save_Button, ClearSettings_Button, Cancel_Button}) {
            moveBy(button, 0, extra);
        }
        setFixedSize(kClientWidth, kClientHeight + extra);
    }
    // The clear button as wide as its text, centred between its neighbours.
    const int width =
        std::min(std::max(ClearSettings_Button->width(), ClearSettings_Button->sizeHint().width()),
                 Cancel_Button->x() - right(Save_Button) - 2 * kGap);
    ClearSettings_Button->setGeometry((right(Save_Button) + Cancel_Button->x() - width) / 2,
                                      ClearSettings_Button->y(), width,
                                      ClearSettings_Button->height());
}

void TOptions_Form::Connect() {
    connect(Record_TrackBar, &QSlider::valueChanged, this, &TOptions_Form::Record_TrackBarChange);
    connect(Compression_TrackBar, &QSlider::valueChanged, this,
            &TOptions_Form::Compression_TrackBarChange);
    Compressor_Label->OnDoubleClick = [this] { Compressor_LabelDblClick(); };
    connect(Compressor_ComboBox, &QComboBox::activated, this,
            &TOptions_Form::Compressor_ComboBoxSelect);
    connect(About_Button, &QPushButton::clicked, this, &TOptions_Form::About_ButtonClick);
    connect(DeleteFiles_CheckBox, &QCheckBox::toggled, this,
            &TOptions_Form::DeleteFiles_CheckBoxClick);
    MaxLength_SpinEdit->OnKeyUp = [this] { MaxLength_SpinEditKeyUp(); };
    connect(Zip_RadioButton, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked) ArchiveFormatClick(false);
    });
    connect(SevenZip_RadioButton, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked) ArchiveFormatClick(true);
    });
    connect(ZipLimit_TrackBar, &QSlider::valueChanged, this,
            &TOptions_Form::ZipLimit_TrackBarChange);
    connect(Save_Button, &QPushButton::clicked, this, &QDialog::accept);
    connect(ClearSettings_Button, &QPushButton::clicked, this,
            &TOptions_Form::ClearSettings_ButtonClick);
    connect(Cancel_Button, &QPushButton::clicked, this, &QDialog::reject);
}

bool TOptions_Form::ShowOptions(app::SettingsRecord& settings, const CodecChoice& codecs) {
    FillControls(settings, codecs);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->geometry().center() - rect().center());
    }
    const bool saved = exec() == QDialog::Accepted;
    if (saved) AdoptControls(Controls(), settings);
    settings_ = nullptr;
    return saved;
}

void TOptions_Form::FillControls(app::SettingsRecord& settings, const CodecChoice& codecs) {
    settings_ = &settings;
    codecs_ = codecs;
    const OptionsControls controls =
        ControlsFor(settings, static_cast<int>(codecs.descriptions.size()));
    Compressor_ComboBox->clear();
    for (const std::string& description : codecs.descriptions) {
        Compressor_ComboBox->addItem(Q(description));
    }
    Compressor_ComboBox->setCurrentIndex(controls.codecSelection);
    Record_TrackBar->setValue(controls.frameRate);
    Compression_TrackBar->setValue(controls.quality);
    HighlightCursor_CheckBox->setChecked(controls.highlightCursor);
    RecordMicrophone_CheckBox->setChecked(controls.recordMicrophone);
    DeleteFiles_CheckBox->setChecked(controls.deleteFiles);
    WarningDelete_CheckBox->setChecked(controls.warnBeforeDelete);
    MaxLength_SpinEdit->SetText(controls.maxMinutes);
    (settings.Use7z ? SevenZip_RadioButton : Zip_RadioButton)->setChecked(true);
    ZipLimit_TrackBar->setValue(settings.SevenZipThresholdMB);
    Compressor_ComboBoxSelect();
    // The labels show the values even where a control kept its state and reported no change.
    Record_TrackBarChange();
    ZipLimit_TrackBarChange();
}

OptionsControls TOptions_Form::Controls() const {
    OptionsControls controls;
    controls.codecSelection = Compressor_ComboBox->currentIndex();
    controls.frameRate = Record_TrackBar->value();
    controls.quality = Compression_TrackBar->value();
    controls.highlightCursor = HighlightCursor_CheckBox->isChecked();
    controls.recordMicrophone = RecordMicrophone_CheckBox->isChecked();
    controls.deleteFiles = DeleteFiles_CheckBox->isChecked();
    controls.warnBeforeDelete = WarningDelete_CheckBox->isChecked();
    controls.maxMinutes = MaxLength_SpinEdit->Text();
    return controls;
}

void TOptions_Form::Record_TrackBarChange() {
    fpsValue_Label->setText(Q(FrameRateText(Record_TrackBar->value())));
}

void TOptions_Form::Compression_TrackBarChange() {
    Compression_TrackBar->setToolTip(Q(QualityHint(Compression_TrackBar->value())));
}

void TOptions_Form::Compressor_LabelDblClick() {
    for (QWidget* control :
         {static_cast<QWidget*>(C25_Label), static_cast<QWidget*>(Compression_TrackBar),
          static_cast<QWidget*>(C100_Label)}) {
        control->setVisible(control->isHidden());
    }
}

void TOptions_Form::Compressor_ComboBoxSelect() {
    const int index = Compressor_ComboBox->currentIndex();
    About_Button->setEnabled(index >= 0 && codecs_.HasAbout && codecs_.HasAbout(index));
}

void TOptions_Form::About_ButtonClick() {
    if (codecs_.ShowAbout) codecs_.ShowAbout(Compressor_ComboBox->currentIndex(), this);
}

void TOptions_Form::DeleteFiles_CheckBoxClick() {
    WarningDelete_CheckBox->setEnabled(DeleteFiles_CheckBox->isChecked());
}

void TOptions_Form::MaxLength_SpinEditKeyUp() {
    const std::string text = MaxLength_SpinEdit->Text();
    if (SpinTextAfterKeyUp(text) != text) MaxLength_SpinEdit->SetText(SpinTextAfterKeyUp(text));
}

void TOptions_Form::ArchiveFormatClick(bool use7z) {
    if (settings_) settings_->Use7z = use7z;
    for (QWidget* control : {static_cast<QWidget*>(ZipLimit_TrackBar),
                             static_cast<QWidget*>(ZipLimit_Label), static_cast<QWidget*>(Label_2),
                             static_cast<QWidget*>(Label_50), static_cast<QWidget*>(Label_100)}) {
        control->setEnabled(!use7z);
    }
}

void TOptions_Form::ZipLimit_TrackBarChange() {
    const int megabytes = ZipLimit_TrackBar->value();
    if (settings_) settings_->SevenZipThresholdMB = static_cast<std::uint16_t>(megabytes);
    ZipLimit_Label->setText(Q(ZipLimitText(megabytes, LanguageOffset)));
    ZipLimit_Label->adjustSize();
    ZipLimit_TrackBar->setToolTip(Q(ZipLimitValue(megabytes)));
    // The value follows the thumb while the user drags it.
    if (!isVisible()) return;
    const QPoint pointer = QCursor::pos();
    if (QWidget* under = QApplication::widgetAt(pointer); under && !under->toolTip().isEmpty()) {
        QToolTip::showText(pointer, under->toolTip(), under);
    }
}

void TOptions_Form::ClearSettings_ButtonClick() {
    const bool cleared = app::ClearSettings();
    mb::Beep();
    mb::Show(app::Text(Msg::Information, LanguageOffset),
             app::Text(cleared ? Msg::SettingsCleared : Msg::NoSettingsSaved, LanguageOffset),
             mb::MB_ICONINFORMATION);
    if (cleared) reject();
}

}  // namespace dialogs
