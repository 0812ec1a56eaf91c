// Program entry: one copy at a time, the splash (which writes out the embedded 7z engine), the
// main window and the dialogs, the message loop, and every file the start wrote removed again at
// the end.
#include <QApplication>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "app/Korvex_Unit.h"
#include "app/MessageCatalogue.h"
#include "app/ProgramPaths.h"
#include "app/ToggleChannel.h"
#include "dialogs/Korvex_Info_Unit.h"
#include "dialogs/Korvex_Options_Unit.h"
#include "platform/aboutbox/aboutbox.h"
#include "platform/files/files.h"
#include "platform/instance/instance.h"
#include "platform/msgbox/msgbox.h"
#include "platform/screencast/portal_rules.h"
#include "platform/termination/termination.h"
#include "platform/toggle/toggle.h"
#include "platform/windows/windows.h"
#include "region/Korvex_Viewport_Unit.h"

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

// In a Wayland session the windows still run through XWayland, where the region frame, the
// window picker and the hot key work as on X11; only the screen is read through the portal.
void UseXcbPlatform() {
    if (platform::screencast::IsWaylandSession(std::getenv("XDG_SESSION_TYPE"),
                                               std::getenv("WAYLAND_DISPLAY"))) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Nothing is written, not even the instance lock, into a folder that is not the user's own.
    const std::string temp = files::TempFolder();
    const bool tempUsable = files::PrepareTempFolder(temp);
    // --toggle: the running copy takes the hot key's action; with none running, this one starts.
    if (argc > 1 && std::string_view(argv[1]) == "--toggle") {
        const auto socket = platform::toggle::SocketPath();
        if (socket && platform::toggle::SendToggle(*socket)) return 0;
    }
    std::unique_ptr<platform::instance::InstanceLock> lock;
    if (tempUsable && platform::instance::InstanceLock::Acquire("KORVEX", &lock) ==
                          platform::instance::LockResult::AlreadyHeld) {
        if (auto first = platform::windows::FindWindowByTitle("Korvex!")) {
            platform::windows::RestoreAndActivate(*first);
        }
        return 0;
    }

    UseDevicePixels();
    UseXcbPlatform();
    QApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(true);
    platform::aboutbox::InstallAboutBox();
    platform::termination::TerminationSignals terminationSignals;

    if (!tempUsable) {
        CannotStart(temp, dialogs::DecideLanguage());
        return 1;
    }
    const app::ProgramPaths paths = app::PathsFor(temp);
    // The splash decides the language and writes the 7z engine; start-up waits for its course.
    dialogs::TInfo_Form infoForm(paths.ArchiveEnginePath);
    if (!infoForm.Created()) {
        CannotStart(paths.ArchiveEnginePath, infoForm.Language());
        return 1;
    }
    // A signal during the splash ends the start there, with nothing of it left behind.
    bool ended = false;
    terminationSignals.OnSignal = [&](int) {
        ended = true;
        infoForm.done(QDialog::Rejected);
    };
    infoForm.exec();
    terminationSignals.OnSignal = nullptr;
    if (ended) {
        files::DeleteFile(paths.ArchiveEnginePath);
        return 0;
    }

    app::TMainForm mainForm(paths, infoForm.Language(), infoForm.MainWindowPosition());
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
    dialogs::TOptions_Form optionsForm(mainForm.Language());
    mainForm.SetOptionsDialog(&optionsForm);
    auto toggleChannel = app::ToggleChannel::Open([&mainForm] { mainForm.HotKeyAction(); });
    terminationSignals.OnSignal = [&mainForm](int) { mainForm.EndWithoutQuestions(); };
    const int result = application.exec();
    terminationSignals.OnSignal = nullptr;
    mainForm.SetOptionsDialog(nullptr);
    mainForm.SetRegionWindow(nullptr);
    return result;
}
