// Program entry: one copy at a time, the splash (which writes out the embedded 7z engine), the
// main window and the dialogs, the message loop, and every file the start wrote removed again at
// the end.
#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <string_view>

#include "app/Korvex_Unit.h"
#include "app/ProgramPaths.h"
#include "app/ToggleChannel.h"
#include "catalogue/Language.h"
#include "catalogue/MessageCatalogue.h"
#include "dialogs/Korvex_Info_Unit.h"
#include "dialogs/Korvex_Options_Unit.h"
#include "platform/aboutbox/aboutbox.h"
#include "platform/display/display.h"
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

bool HasOption(std::span<char* const> arguments, std::string_view option) {
    return std::any_of(arguments.begin() + 1, arguments.end(),
                       [option](const char* argument) { return argument == option; });
}

// Qt aborts when it cannot reach its display; say why in one line and end with 1 instead. The
// display found is exported, so that every X connection of ours and every program we start
// reach the server Qt shows the windows on, also when it came from "-display".
bool UseDisplay(std::span<char* const> arguments) {
    using app::Msg;
    const std::optional<std::string> display =
        platform::display::ChosenDisplay(arguments, std::getenv("DISPLAY"));
    std::string problem;
    if (!display) {
        problem = app::Text(Msg::NoDisplay, app::DecideLanguage());
    } else if (!platform::display::CanConnect(*display)) {
        problem = app::Text(Msg::DisplayUnreachable, app::DecideLanguage()) + *display;
    } else {
        setenv("DISPLAY", display->c_str(), 1);
        return true;
    }
    std::fprintf(stderr, "%s\n", problem.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const std::span<char* const> arguments(argv, static_cast<std::size_t>(argc));
    // For scripts that look for the recordings: where they are, without starting anything.
    if (HasOption(arguments, "--print-video-folder")) {
        std::printf("%s\n", app::PathsFor(files::TempFolder()).VideoFolder.c_str());
        return 0;
    }
    // --toggle: the running copy takes the hot key's action; with none running, this one starts.
    if (HasOption(arguments, "--toggle")) {
        const auto socket = platform::toggle::SocketPath();
        if (socket && platform::toggle::SendToggle(*socket)) return 0;
    }
    if (!UseDisplay(arguments)) return 1;

    // Nothing is written, not even the instance lock, into a folder that is not the user's own.
    const std::string temp = files::TempFolder();
    const bool tempUsable = files::PrepareTempFolder(temp);
    std::unique_ptr<platform::instance::InstanceLock> lock;
    if (tempUsable && platform::instance::InstanceLock::Acquire("KORVEX", &lock) ==
                          platform::instance::LockResult::AlreadyHeld) {
        if (auto first = platform::windows::FindWindowByTitle(app::kProgramTitle)) {
            platform::windows::RestoreAndActivate(*first);
        }
        return 0;
    }

    UseDevicePixels();
    UseXcbPlatform();
    QApplication application(argc, argv);
    // The buttons of questions and the file dialog speak the program's language.
    mb::UseQtTexts(app::DecideLanguage() == app::kGerman);
    application.setQuitOnLastWindowClosed(true);
    platform::aboutbox::InstallAboutBox();
    platform::termination::TerminationSignals terminationSignals;

    if (!tempUsable) {
        CannotStart(temp, app::DecideLanguage());
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
