#include "ui/RecipientRules.h"

#include <algorithm>
#include <cstddef>

namespace recipients {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsSeparator(char c)
{
    return c == ',' || c == ';';
}

bool AllDigits(const std::string& text, std::size_t from)
{
    return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), IsDigit);
}

bool IsPlusNumber(const std::string& text)
{
    return text.size() > 1 && text[0] == '+' && AllDigits(text, 1);
}

template <class Rule>
bool IsValidList(const std::string& list, Rule entryIsValid)
{
    std::string entry;
    for (const char c : list) {
        if (IsBlank(c))
            continue;
        if (IsSeparator(c)) {
            if (!entryIsValid(entry))
                return false;
            entry.clear();
            continue;
        }
        entry += c;
    }
    return entry.empty() || entryIsValid(entry);
}

}  // namespace

bool IsValidIdCode(const std::string& idCode)
{
    if (!idCode.empty() && idCode[0] == '+')
        return IsPlusNumber(idCode);
    return idCode.size() >= 6 && idCode.size() <= 8 && AllDigits(idCode, 0);
}

bool IsValidPhoneNumber(const std::string& number)
{
    return number.empty() || IsPlusNumber(number);
}

bool IsValidMailEntry(const std::string& entry)
{
    const std::size_t at = entry.find('@');
    return entry.size() >= 3 && at != std::string::npos && at != 0 && at != entry.size() - 1;
}

bool IsValidSmsEntry(const std::string& entry)
{
    // The first character may be anything, normally "+".
    return !entry.empty() && AllDigits(entry, 1);
}

bool IsValidMailList(const std::string& list)
{
    return IsValidList(list, IsValidMailEntry);
}

bool IsValidSmsList(const std::string& list)
{
    return IsValidList(list, IsValidSmsEntry);
}

std::vector<std::string> SplitList(const std::string& list)
{
    std::vector<std::string> entries;
    std::string entry;
    for (const char c : list) {
        if (IsBlank(c))
            continue;
        if (IsSeparator(c)) {
            entries.push_back(entry);
            entry.clear();
            continue;
        }
        entry += c;
    }
    if (!entry.empty())
        entries.push_back(entry);
    return entries;
}

std::string JoinList(const std::vector<std::string>& entries)
{
    std::string joined;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0)
            joined += "; ";
        joined += entries[i];
    }
    return joined;
}

}  // namespace recipients
