#pragma once
// The rules the register's windows check typed codes, numbers and recipient
// lists with. Pure functions on UTF-8 text, shared by the object window, the
// recipient entry dialog and the send-SMS window.
//
// A recipient list is one text with entries separated by "," or ";"; blanks
// are ignored everywhere. Walking it, each separator ends an entry that is
// then checked (so an empty entry before a separator fails: a leading
// separator or two in a row); at the end the last entry is checked only when
// it is not empty (one trailing separator is allowed, an empty list is valid).

#include <string>
#include <vector>

namespace recipients {

// "+" followed by at least one digit and only digits, or 6 to 8 digits.
bool IsValidIdCode(const std::string& idCode);
// Empty, or "+" followed by at least one digit and only digits.
bool IsValidPhoneNumber(const std::string& number);
// At least 3 characters with an "@" that is neither the first nor the last.
bool IsValidMailEntry(const std::string& entry);
// At least 1 character, every character after the first a digit.
bool IsValidSmsEntry(const std::string& entry);
// Every entry of the list passes the rule (see above).
bool IsValidMailList(const std::string& list);
bool IsValidSmsList(const std::string& list);

// The entries of a list as the recipient dialog shows them: blanks dropped,
// an empty entry between two separators kept as an empty string, an empty
// last entry dropped.
std::vector<std::string> SplitList(const std::string& list);
// The entries joined with "; " (no separator after the last).
std::string JoinList(const std::vector<std::string>& entries);

}  // namespace recipients
