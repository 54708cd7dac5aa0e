#include "gsm/LiftMonitoringText.h"

#include "core/TextLookup.h"
#include "core/Utf8.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The lift-monitoring event: fixed texts, not from the dictionary.
constexpr std::string_view kEventHead = "Travora Alarm Event\nFloor: %d\n";
constexpr std::string_view kEventDistance = "Distance: %c%d mm\n";
constexpr std::string_view kEventFarDistance = "Distance: %c255 mm or more\n";
constexpr std::string_view kEventContact = "*** Contact Hoistmart LTD ***\n";

// Every first entry the message manager may write, as formats.
std::vector<std::string> FirstEntryFormats()
{
    std::vector<std::string> formats;
    // A four-byte coded message: code, floor, position, floor zone, status.
    for (const char* zone : {"IDS_MESSAGEMGR_MSG_11", "IDS_MESSAGEMGR_MSG_12"}) {
        for (const char* status : {"IDS_MESSAGEMGR_MSG_13", "IDS_MESSAGEMGR_MSG_14"}) {
            formats.push_back(LookupText("IDS_MESSAGEMGR_MSG_8") + LookupText("IDS_MESSAGEMGR_MSG_9") +
                              LookupText("IDS_MESSAGEMGR_MSG_10") + LookupText(zone) + LookupText(status));
        }
    }
    // A coded message of another length: the code alone.
    formats.push_back(LookupText("IDS_MESSAGEMGR_MSG_15"));
    for (std::string_view distance : {kEventDistance, kEventFarDistance})
        formats.push_back(std::string(kEventHead).append(distance).append(kEventContact));
    formats.push_back(LookupText("IDS_MESSAGEMGR_MSG_7"));
    return formats;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

std::size_t CLiftMonitoringText::MatchFormat(std::string_view text, std::string_view format)
{
    constexpr std::size_t npos = std::string_view::npos;
    std::size_t pos = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            if (pos >= text.size() || text[pos] != format[i])
                return npos;
            ++pos;
            continue;
        }
        // Flags and width do not change what a number may look like here.
        ++i;
        while (i < format.size() && (IsDigit(format[i]) || format[i] == '-'))
            ++i;
        if (i >= format.size())
            return npos;
        switch (format[i]) {
        case '%':
            if (pos >= text.size() || text[pos] != '%')
                return npos;
            ++pos;
            break;
        case 'c': {
            if (pos >= text.size() || text[pos] == '\n')
                return npos;
            pos = std::min(text.size(), pos + Utf8::LeadLength(text[pos]));
            break;
        }
        case 'd':
            if (pos < text.size() && text[pos] == '-')
                ++pos;
            [[fallthrough]];
        case 'u': {
            const std::size_t digits = pos;
            while (pos < text.size() && IsDigit(text[pos]))
                ++pos;
            if (pos == digits)
                return npos;
            break;
        }
        default:
            return npos;
        }
    }
    return pos;
}

std::size_t CLiftMonitoringText::DetailLineCount(std::string_view text)
{
    for (const std::string& format : FirstEntryFormats()) {
        const std::size_t used = MatchFormat(text, format);
        // The entry ends where the text ends or the next line begins.
        if (used == std::string_view::npos || (used < text.size() && text[used] != '\n'))
            continue;
        return static_cast<std::size_t>(std::count(text.begin(), text.begin() + used, '\n'));
    }
    return 0;
}
