#pragma once
// The station's command line and its exit codes.

#include <optional>
#include <string>
#include <vector>

// Exit codes of the station.
constexpr int ORVA_EXIT_OK = 0;          // normal end (also after SIGINT or SIGTERM)
constexpr int ORVA_EXIT_FAILURE = 1;     // an unexpected error
constexpr int ORVA_EXIT_USAGE = 2;       // a wrong command line
constexpr int ORVA_EXIT_DICTIONARY = 3;  // the built-in dictionary failed its check
constexpr int ORVA_EXIT_OPERATOR = 4;    // no operator on duty was chosen
constexpr int ORVA_EXIT_DATABASE = 5;    // the database could not be opened or created
constexpr int ORVA_EXIT_MAIL = 6;        // the mail handler did not start
constexpr int ORVA_EXIT_START = 7;       // another start-up step failed

struct CommandLine {
    bool help = false;
    bool version = false;
    bool headless = false;
    std::optional<std::string> operatorName;  // --operator NAME
};

// The options of args (without the program name). Nothing, with the reason
// in error, when an option is unknown or lacks its value.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args, std::string& error);

// The text of --help and of --version.
std::string HelpText(const std::string& program);
std::string VersionText();
