#pragma once
// The station's own user message file, UserMsg99.txt, as the user message
// editor reads and writes it. The message manager reads the same file for
// every coded alarm, so the editor writes it in one step: a reader sees the
// old file or the new one, never half of it.
//
// On disk an entry is its label line, ":" and the code ("%c%03d"), followed
// by the lines of its text; every line ends with carriage return and line
// feed. In memory a text's lines are separated by line feeds.

#include <string>
#include <vector>

namespace usermsgfile {

inline constexpr const char* kFileName = "UserMsg99.txt";

struct Entry {
    std::string code;  // letter and three digits, e.g. "a012"
    std::string text;  // UTF-8, lines separated by line feeds
    bool operator==(const Entry&) const = default;
};

// The code of a label line (one that begins with ":"): the character after
// the colon and the number of the digits after it, up to the first
// non-digit, as "%c%03d" (":b7" gives "b007", ":b" gives "b000").
std::string CodeOfLabel(const std::string& line);

// The entries of a file's contents, sorted by code in the order of the
// character codes (capital letters before small ones; entries with the same
// code keep their order). A line that is not a label belongs to the entry
// above it and ends with a line feed there; lines above the first label are
// dropped. Empty lines at the end of an entry are dropped too: the message
// manager skips them anyway, and kept they would grow the file by one empty
// line with every save. The contents are UTF-8, or Windows-1252 when they
// are not valid UTF-8.
std::vector<Entry> Parse(const std::string& bytes);

// The bytes of the file for the entries, in their order: each label line,
// then the text without carriage returns and a final line end; every line
// end is carriage return and line feed.
std::string Format(const std::vector<Entry>& entries);

// Reads the file. exists is false when there is no such file; a file that
// exists but cannot be read gives no entries.
std::vector<Entry> Read(const std::string& path, bool* exists = nullptr);

// Writes the file anew in one step. False when it could not be written (the
// old file is then left as it was); error is the reason.
bool Write(const std::string& path, const std::vector<Entry>& entries, std::string* error = nullptr);

}  // namespace usermsgfile
