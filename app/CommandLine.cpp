#include "app/CommandLine.h"

#include "core/Version.h"

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args, std::string& error)
{
    CommandLine options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--headless") {
            options.headless = true;
        } else if (arg == "--operator" || arg.rfind("--operator=", 0) == 0) {
            std::string name;
            if (arg == "--operator") {
                if (i + 1 >= args.size()) {
                    error = "--operator needs a name";
                    return std::nullopt;
                }
                name = args[++i];
            } else {
                name = arg.substr(std::string("--operator=").size());
            }
            if (name.empty()) {
                error = "--operator needs a name";
                return std::nullopt;
            }
            options.operatorName = name;
        } else {
            error = "unknown option '" + arg + "' (see --help)";
            return std::nullopt;
        }
    }
    return options;
}

std::string VersionText()
{
    return std::string(kProductName) + " Ver. " + kProductVersion + "\n";
}

std::string HelpText(const std::string& program)
{
    return "Usage: " + program +
           " [OPTION]...\n"
           "Operator station of an alarm-receiving centre for lift emergency telephones.\n"
           "\n"
           "  --operator NAME   the operator on duty is NAME (no start-up selection);\n"
           "                    NAME is remembered as the last operator\n"
           "  --headless        run the station without windows; everything the windows\n"
           "                    would show goes to standard output, one time-stamped\n"
           "                    line per event; SIGINT or SIGTERM stops it\n"
           "  --help            show this help and exit\n"
           "  --version         show the version and exit\n"
           "\n"
           "Without --headless the station opens its main window (a display is\n"
           "needed) and asks for the operator unless --operator is given; the event\n"
           "lines below are written to standard output as well. Without --operator a\n"
           "station without windows takes the last operator, or \"Operator\" when\n"
           "there was none.\n"
           "\n"
           "Output lines: \"YYYY-MM-DD HH:MM:SS KIND payload\" with the kinds STATUS,\n"
           "INFO, ALARM, CALL, LIST, TITLE, MESSAGE, DATABASE, READY and STOPPED.\n"
           "\n"
           "Exit status: 0 normal end (also after SIGINT or SIGTERM); 2 wrong command\n"
           "line; 3 dictionary check failed; 4 no operator chosen; 5 database not\n"
           "opened or created; 6 mail handler not started; 7 other start-up failure;\n"
           "1 unexpected error. A failed start-up writes one line to standard error.\n"
           "\n"
           "Environment:\n"
           "  XDG_CONFIG_HOME   folder of the settings file (Tervin/ORVA.conf)\n"
           "  ORVA_COM_DIR      folder whose COM<N> entries are the serial ports\n"
           "Log files, AlarmTypeText.ini and the user message files are in the current\n"
           "folder.\n";
}
