// The options dialog: codec, frame rate, the hidden quality slider, cursor highlight, maximum
// recording time, deletion at exit and the archive format. Created once, hidden until the
// Tools button opens it; it keeps its controls' states between openings. GUI thread.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/OptionsRules.h"
#include "settings/Settings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;

namespace dialogs {

class EventLabel;
class StepOnlySpinEdit;

// What the dialog needs of the codec catalogue.
struct CodecChoice {
    std::vector<std::string> descriptions;  // in catalogue order
    std::function<bool(int index)> HasAbout;
    std::function<void(int index, QWidget* owner)> ShowAbout;
};

class TOptions_Form : public QDialog {
    Q_OBJECT

public:
    // FormCreate: German design texts, replaced by the catalogue's when languageOffset is not 0.
    explicit TOptions_Form(int languageOffset);

    // Fills the controls from settings and codecs, shows the dialog modally and, when the user
    // saves, adopts the controls into settings and returns true. The archive format and the ZIP
    // limit change settings at once, whatever the outcome. The caller stores the settings.
    bool ShowOptions(app::SettingsRecord& settings, const CodecChoice& codecs);

    // The two halves of ShowOptions around the modal showing.
    void FillControls(app::SettingsRecord& settings, const CodecChoice& codecs);
    OptionsControls Controls() const;

private:
    void CreateRecordGroup();
    void CreateAviFilesGroup();
    void CreateButtons();
    void ApplyLanguage();
    // Keeps the controls at their places where their texts fit there at the font in use, and
    // makes room where a text is wider, so that every text is shown whole.
    void FitTexts();
    void Connect();

    void Record_TrackBarChange();
    void Compression_TrackBarChange();
    void Compressor_LabelDblClick();
    void Compressor_ComboBoxSelect();
    void About_ButtonClick();
    void DeleteFiles_CheckBoxClick();
    void MaxLength_SpinEditKeyUp();
    void ArchiveFormatClick(bool use7z);
    void ZipLimit_TrackBarChange();
    void ClearSettings_ButtonClick();

    int LanguageOffset;
    app::SettingsRecord* settings_ = nullptr;
    CodecChoice codecs_;

    QGroupBox* Record_GroupBox = nullptr;
    EventLabel* Compressor_Label = nullptr;
    QComboBox* Compressor_ComboBox = nullptr;
    QPushButton* About_Button = nullptr;
    QLabel* Frequency_Label = nullptr;
    QLabel* C25_Label = nullptr;
    QSlider* Compression_TrackBar = nullptr;
    QLabel* C100_Label = nullptr;
    QSlider* Record_TrackBar = nullptr;
    QLabel* fpsValue_Label = nullptr;
    QCheckBox* HighlightCursor_CheckBox = nullptr;
    StepOnlySpinEdit* MaxLength_SpinEdit = nullptr;
    QCheckBox* RecordMicrophone_CheckBox = nullptr;
    QLabel* MaxLength_Label = nullptr;
    QGroupBox* AviFiles_GroupBox = nullptr;
    QCheckBox* DeleteFiles_CheckBox = nullptr;
    QCheckBox* WarningDelete_CheckBox = nullptr;
    QRadioButton* SevenZip_RadioButton = nullptr;
    QRadioButton* Zip_RadioButton = nullptr;
    QLabel* ZipLimit_Label = nullptr;
    QSlider* ZipLimit_TrackBar = nullptr;
    QLabel* Label_2 = nullptr;
    QLabel* Label_50 = nullptr;
    QLabel* Label_100 = nullptr;
    QPushButton* Save_Button = nullptr;
    QPushButton* ClearSettings_Button = nullptr;
    QPushButton* Cancel_Button = nullptr;
};

}  // namespace dialogs
