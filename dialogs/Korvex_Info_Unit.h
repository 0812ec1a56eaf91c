// The info window: the program's first window, a borderless picture with the web link that
// fades in, holds and fades out, and cannot be closed before it has run that course. Its
// creation decides the language and writes the 7z engine; it stays hidden after the splash.
// GUI thread.
#pragma once

#include <QDialog>
#include <string>

#include "catalogue/MessageCatalogue.h"
#include "dialogs/SplashRules.h"
#include "settings/Settings.h"

class QTimer;

namespace dialogs {

class EventLabel;

class TInfo_Form : public QDialog {
    Q_OBJECT

public:
    // FormCreate: decides the language, then writes the 7z engine to archiveEnginePath afresh.
    explicit TInfo_Form(const std::string& archiveEnginePath);

    // False when no engine file exists after the writing: the program cannot start.
    bool Created() const { return created_; }
    int Language() const { return LanguageOffset; }
    // Where the main window goes, from the saved "position"; known once the splash has shown.
    app::WindowPosition MainWindowPosition() const { return mainWindow_; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Escape and the like ask for a close too, which the fade may refuse.
    void reject() override;

private:
    bool WriteArchiveEngine(const std::string& path);
    void CreateControls();
    void FormActivate();
    bool FormCloseQuery();
    void Fade_InTimer();
    void Fade_OutTimer();
    void WWW_LabelClick();
    void ShowLinkLook(bool hovered);
    // The window's opacity and the two timers as the fade state says.
    void ShowFade();

    int LanguageOffset = app::kGerman;
    bool created_ = false;
    bool activated_ = false;
    SplashFade fade_;
    app::WindowPosition mainWindow_;
    EventLabel* WWW_Label = nullptr;
    QTimer* Fade_In = nullptr;
    QTimer* Fade_Out = nullptr;
};

}  // namespace dialogs
