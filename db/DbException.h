#pragma once
// A failure reported by the database engine: its error number and its own
// description. The record sets and the database object raise it; every
// database operation catches it, shows the description and answers with its
// error result.

#include <string>

// Open errors that the database manager tells apart.
constexpr int DBERR_FILE_NOT_FOUND = 3024;   // the database file does not exist
constexpr int DBERR_INVALID_PATH = 3044;     // the folder does not exist
constexpr int DBERR_UNRECOGNIZED = 3343;     // not a database of a known format, or damaged
constexpr int DBERR_ALREADY_EXISTS = 3204;   // create: a file of that name exists
constexpr int DBERR_READ_ONLY = 3051;        // the file cannot be opened for writing
constexpr int DBERR_NOT_OPEN = 3420;         // operation on a closed database
constexpr int DBERR_FIELD_TOO_SMALL = 3163;  // a key longer than its column

class CDbException {
public:
    CDbException(int errorNumber, std::string text) : number(errorNumber), description(std::move(text)) {}

    int number;
    std::string description;
};
