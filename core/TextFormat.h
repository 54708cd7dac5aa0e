#pragma once
// printf-style formatting of operator texts that come from the dictionary.
// A translation is data, not code: a conversion that does not fit the
// argument given for it (a %s where a number is passed, one conversion too
// many, a length modifier) must never reach snprintf. Such a text is returned
// as it stands instead.

#include <initializer_list>
#include <string>
#include <variant>

using FormatArg = std::variant<long long, std::string>;

// Conversions: d i u o x X c take a number, s a text, %% is a percent sign;
// flags "-+ #0", a width and a precision are allowed, '*' and length
// modifiers are not. Arguments left over are ignored.
std::string FormatText(const std::string& format, std::initializer_list<FormatArg> args);

// FormatText on the dictionary text of the key.
std::string FormatKey(const std::string& key, std::initializer_list<FormatArg> args);
