// Program entry: one copy at a time, the embedded 7z engine written out, the main window, the
// message loop, and every file the start wrote removed again at the end.
#include <QApplication>
#include <QScreen>
#include <memory>

#include "app/Korvex_Unit.h"
#include "app/MessageCatalogue.h"
#include "app/MiniReg.h"
#include "app/ProgramPaths.h"
#include "app/Settings.h"
#include "platform/aboutbox/aboutbox.h"
#include "platform/files/files.h"
#include "platform/instance/instance.h"
#include "platform/msgbox/msgbox.h"
#include "platform/termination/termination.h"
#include "platform/windows/windows.h"
#include "region/Korvex_Viewport_Unit.h"
#include "resources/Resources.h"

namespace {

namespace files = platform::files;
namespace mb = platform::msgbox;

// The box that ends the start: path cannot be created (or used).
void CannotStart(const std::string& path, int languageOffset) {
    using app::Msg;
    mb::Beep();
    mb::Show(app::Text(Msg::Error, languageOffset),
             app::Text(Msg::CannotCreateFile, languageOffset) + "\r\n" + path + ".\r\n" +
                 app::Text(Msg::CannotStart, languageOffset),
             mb::MB_ICONERROR);
}

// The 7z engine is always written afresh, replacing whatever file is there.
bool WriteArchiveEngine(const app::ProgramPaths& paths, int languageOffset) {
    if (files::FileExists(paths.ArchiveEnginePath)) files::DeleteFile(paths.ArchiveEnginePath);
    const QByteArray engine = resources::DataResource(resources::Data::ArchiveEngine);
    files::WriteWholeFile(paths.ArchiveEnginePath, engine.constData(),
                          static_cast<std::size_t>(engine.size()));
    if (files::FileExists(paths.ArchiveEnginePath)) return true;
    CannotStart(paths.ArchiveEnginePath, languageOffset);
    return false;
}

// German or English, from the user's locale.
int DecideLanguage() {
    std::string locale;
    if (!app::ReadRegString(app::Root::CurrentUser, "Control Panel\\International\\Locale",
                            locale)) {
        return app::LanguageOffsetFor(std::nullopt);
    }
    return app::LanguageOffsetFor(locale);
}

app::WindowPosition StoredPosition() {
    app::ScreenGeometry screen;
    if (QScreen* primary = QGuiApplication::primaryScreen()) {
        screen.primaryWidth = primary->geometry().width();
        screen.virtualWidth = primary->virtualGeometry().width();
        screen.virtualHeight = primary->virtualGeometry().height();
    }
    app::SettingsRecord settings;
    app::ReadPosition(settings, screen);
    return {settings.WindowLeft, settings.WindowTop};
}

// The toolbar, the region frame and the screen capture all count device pixels, whatever
// Xft.dpi says: no scaling of windows, and fonts sized as at 96 dots per inch, so that texts
// fit the controls' fixed sizes. Set before the QApplication reads them.
void UseDevicePixels() {
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    qunsetenv("QT_SCALE_FACTOR");
    qunsetenv("QT_SCREEN_SCALE_FACTORS");
    qunsetenv("QT_AUTO_SCREEN_SCALE_FACTOR");
    qputenv("QT_FONT_DPI", "96");
}

}  // namespace

int main(int argc, char** argv) {
    // Nothing is written, not even the instance lock, into a folder that is not the user's own.
    const std::string temp = files::TempFolder();
    const bool tempUsable = files::PrepareTempFolder(temp);
    std::unique_ptr<platform::instance::InstanceLock> lock;
    if (tempUsable && platform::instance::InstanceLock::Acquire("KORVEX", &lock) ==
                          platform::instance::LockResult::AlreadyHeld) {
        if (auto first = platform::windows::FindWindowByTitle("Korvex!")) {
            platform::windows::RestoreAndActivate(*first);
        }
        return 0;
    }

    UseDevicePixels();
    QApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(true);
    platform::aboutbox::InstallAboutBox();
    platform::termination::TerminationSignals terminationSignals;

    const int languageOffset = DecideLanguage();
    if (!tempUsable) {
        CannotStart(temp, languageOffset);
        return 1;
    }
    const app::ProgramPaths paths = app::PathsFor(temp);
    if (!WriteArchiveEngine(paths, languageOffset)) return 1;

    app::TMainForm mainForm(paths, languageOffset, StoredPosition());
    if (!mainForm.Created()) return 1;
    mainForm.show();
    region::TViewPort_Form viewPort(
        mainForm.Language(), [&mainForm](app::Msg id) { return mainForm.Text(id); },
        [&mainForm] { return mainForm.IsStartPending(); });
    viewPort.OnClosedByUser = [&mainForm] { mainForm.RegionWindowClosed(); };
    viewPort.OnNameProposed = [&mainForm](const std::string& name) {
        mainForm.ProposeVideoName(name);
    };
    mainForm.SetRegionWindow(&viewPort);
    terminationSignals.OnSignal = [&mainForm](int) { mainForm.EndWithoutQuestions(); };
    const int result = application.exec();
    terminationSignals.OnSignal = nullptr;
    mainForm.SetRegionWindow(nullptr);
    return result;
}
