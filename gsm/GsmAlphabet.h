#pragma once
// Conversion between the station's UTF-8 texts and the GSM 7-bit default
// alphabet (one character per byte) that SMS text crosses the serial line in.
//
// Received text: every code of the default alphabet and of its escape table
// becomes its own character; bytes above 127 are not GSM characters and read
// as a space.
//
// Text to send: only the codes that are safe inside an AT+CMGS text are used.
// The at sign (code 0) and the escape code (27) are never sent: many modems
// end or cancel the message on them, and a cancelled alarm SMS is worse than
// a question mark in it. The characters of the escape table ([ \ ] ^ { | } ~)
// therefore become question marks, Xi (code 26, the Ctrl-Z that ends the
// text) a question mark too, carriage returns are removed, and characters the
// alphabet does not have become one space each.

#include <string>
#include <string_view>

class CGsmAlphabet {
public:
    // GSM default alphabet bytes (with escape sequences) to UTF-8.
    static std::string ToUtf8(std::string_view gsm);
    // UTF-8 to GSM default alphabet bytes, ready to follow the SMS prompt.
    // Invalid UTF-8 bytes become one space each.
    static std::string FromUtf8(std::string_view text);
};
