// The station executable: the command line, the event loop and the
// termination signals around the application object.

#include "app/CommandLine.h"
#include "app/OrvaApp.h"
#include "app/SignalWatcher.h"
#include "core/SettingsFile.h"

#include <QCoreApplication>

#include <csignal>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

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
    try {
        QCoreApplication application(argc, argv);
        QCoreApplication::setOrganizationName(QString::fromLatin1(settingsfile::kOrganisation));
        QCoreApplication::setApplicationName(QString::fromLatin1(settingsfile::kApplication));

        COrvaApp orva(*options, std::cout, std::cerr);
        orva.SetWriteSystemInfoLog(true);
        orva.SetCloseHandler([] { QCoreApplication::quit(); });
        const int started = orva.Startup();
        if (started != ORVA_EXIT_OK)
            return started;

        CSignalWatcher termination([](int) { QCoreApplication::quit(); });
        if (!termination.IsWatching()) {
            std::cerr << "orva: the termination signals cannot be watched\n";
            orva.Shutdown();
            return ORVA_EXIT_START;
        }
        QCoreApplication::exec();
        return orva.Shutdown();
    } catch (const std::exception& e) {
        std::cerr << "orva: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "orva: unexpected error\n";
    }
    return ORVA_EXIT_FAILURE;
}
