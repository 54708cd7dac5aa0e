#pragma once
// The detail lines of a lift-monitoring alarm text. The message manager
// writes such a text as one first entry, the error code of a coded controller
// message (or the heading of a lift-monitoring event) followed on lines of
// its own by the controller's details (floor, position, floor zone and status
// of a four-byte message; floor, distance and contact of an event), and after
// it, as lines of their own, the technician's instructions from the user
// message files. An alarm SMS has room for the instructions, not the details.

#include <cstddef>
#include <string_view>

class CLiftMonitoringText {
public:
    // The number of lines after the first that belong to the first entry, as
    // the message manager writes it in the current language: 4 for a
    // four-byte coded message and for an event, 1 (the empty rest of the code
    // line) for a coded message of another length and for an unsupported
    // format. 0 for a text it did not write: then no line may be left out.
    static std::size_t DetailLineCount(std::string_view text);

    // The bytes at the start of text that the printf format produces (for
    // any values), or std::string_view::npos. %c is one character other than
    // a line feed, %d a number with an optional minus sign, %u (also with a
    // width such as %03u) a number, %% a percent sign; any other conversion
    // never matches.
    static std::size_t MatchFormat(std::string_view text, std::string_view format);
};
