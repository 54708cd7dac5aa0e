#include "core/TextFormat.h"

#include "core/TextLookup.h"

#include <cstdio>
#include <string_view>
#include <vector>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Formats one argument with one conversion (e.g. "%02X"); false when they do
// not fit together.
bool FormatOne(const std::string& spec, char conversion, const FormatArg& arg, std::string& out)
{
    const bool text = conversion == 's';
    if (text != std::holds_alternative<std::string>(arg))
        return false;
    int n = 0;
    std::vector<char> buffer(64);
    for (int round = 0; round < 2; ++round) {
        if (text)
            n = std::snprintf(buffer.data(), buffer.size(), spec.c_str(), std::get<std::string>(arg).c_str());
        else if (conversion == 'c')
            n = std::snprintf(buffer.data(), buffer.size(), spec.c_str(), static_cast<int>(std::get<long long>(arg)));
        else
            n = std::snprintf(buffer.data(), buffer.size(), std::string(spec).insert(spec.size() - 1, "ll").c_str(),
                              std::get<long long>(arg));
        if (n < 0)
            return false;
        if (static_cast<std::size_t>(n) < buffer.size())
            break;
        buffer.resize(static_cast<std::size_t>(n) + 1);
    }
    out.append(buffer.data(), static_cast<std::size_t>(n));
    return true;
}

}  // namespace

std::string FormatText(const std::string& format, std::initializer_list<FormatArg> args)
{
    std::string out;
    auto next = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out += format[i];
            continue;
        }
        const std::size_t start = i++;
        if (i < format.size() && format[i] == '%') {
            out += '%';
            continue;
        }
        while (i < format.size() && std::string_view("-+ #0").find(format[i]) != std::string_view::npos)
            ++i;
        for (int digits = 0; i < format.size() && IsDigit(format[i]); ++i)
            if (++digits > 3)
                return format;
        if (i < format.size() && format[i] == '.') {
            ++i;
            for (int digits = 0; i < format.size() && IsDigit(format[i]); ++i)
                if (++digits > 3)
                    return format;
        }
        if (i >= format.size() || std::string_view("diuoxXcs").find(format[i]) == std::string_view::npos)
            return format;
        if (next == args.end())
            return format;
        if (!FormatOne(format.substr(start, i - start + 1), format[i], *next++, out))
            return format;
    }
    return out;
}

std::string FormatKey(const std::string& key, std::initializer_list<FormatArg> args)
{
    return FormatText(LookupText(key), args);
}
