// The station executable: the command line, the event loop and the
// termination signals around the application object.

#include "app/CommandLine.h"
#include "app/OrvaApp.h"
#include "app/SignalWatcher.h"
#include "app/StationWindows.h"
#include "settings/SettingsFile.h"
#include "ui/WindowProbe.h"

#include <QApplication>

#include <QCoreApplication>

#include <csignal>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

// A display for the windows: X11 or Wayland, or a platform chosen explicitly
// (QT_QPA_PLATFORM=offscreen, for example).
bool HasDisplay()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const std::optional<CommandLine> options = ParseCommandLine(args, error);
    if (!options) {
        std::cerr << "orva: " << error << "\n";
        return ORVA_EXIT_USAGE;
    }
    if (options->help) {
        std::cout << HelpText(argv[0]);
        return ORVA_EXIT_OK;
    }
    if (options->version) {
        std::cout << VersionText();
        return ORVA_EXIT_OK;
    }

    // Before any thread exists, so that no worker thread takes the signals.
    CSignalWatcher::BlockTerminationSignals();
    // A reader of the event lines that goes away must not end the station:
    // a write to a closed pipe then fails quietly instead of killing it.
    std::signal(SIGPIPE, SIG_IGN);
    if (!options->headless && !HasDisplay()) {
        std::cerr << "orva: no display to open the windows on (DISPLAY is not set); "
                     "use --headless to run the station without windows\n";
        return ORVA_EXIT_START;
    }
    try {
        // Windows need a QApplication; the headless station a core one.
        std::unique_ptr<QCoreApplication> application;
        if (options->headless)
            application = std::make_unique<QCoreApplication>(argc, argv);
        else
            application = std::make_unique<QApplication>(argc, argv);
        QCoreApplication::setOrganizationName(QString::fromLatin1(settingsfile::kOrganisation));
        QCoreApplication::setApplicationName(QString::fromLatin1(settingsfile::kApplication));
        CWindowProbe::InstallFromEnvironment();  // test hook: ORVA_WINDOW_PROBE=FILE

        // The windows outlive the document, which keeps writing to its screen
        // until its managers have stopped. The start-up builds them after the
        // dictionary and the language.
        CStationWindows windows;
        COrvaApp orva(*options, std::cout, std::cerr);
        orva.SetWriteSystemInfoLog(true);
        orva.SetCloseHandler([] { QCoreApplication::exit(0); });
        if (!options->headless)
            windows.Install(orva, true, [] { QCoreApplication::exit(0); });
        // Managers first, then the windows that show them, then the document.
        const auto closeWindows = [&orva, &windows] { windows.Close(orva); };
        const auto finish = [&orva, &closeWindows](int code) {
            closeWindows();
            const int shutdown = orva.Shutdown();
            return code == ORVA_EXIT_OK ? shutdown : code;
        };
        const int started = orva.Startup();
        if (started != ORVA_EXIT_OK) {
            closeWindows();
            return started;
        }

        // exit, not quit: with windows quit asks every window to close, and
        // the main window would put its question to nobody.
        CSignalWatcher termination([](int) { QCoreApplication::exit(0); });
        if (!termination.IsWatching()) {
            std::cerr << "orva: the termination signals cannot be watched\n";
            return finish(ORVA_EXIT_START);
        }
        QCoreApplication::exec();
        return finish(ORVA_EXIT_OK);
    } catch (const std::exception& e) {
        std::cerr << "orva: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "orva: unexpected error\n";
    }
    return ORVA_EXIT_FAILURE;
}
