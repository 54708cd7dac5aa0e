#pragma once
// UTF-8, the encoding of every text inside the station: decoding one
// character, encoding one, checking and repairing a text, and counting and
// cutting texts whose limits are given in characters (code points).
//
// Well-formed means the table of RFC 3629: no overlong forms, no surrogates
// (U+D800 to U+DFFF), nothing above U+10FFFF and no cut sequences. What a
// caller does with bytes that are not well-formed is its own choice: Decode
// only tells it that no character starts there.

#include <cstddef>
#include <string>
#include <string_view>

namespace Utf8 {

// The replacement character, U+FFFD, and its three bytes.
inline constexpr char32_t kReplacement = 0xFFFD;
inline constexpr std::string_view kReplacementBytes = "\xEF\xBF\xBD";

// One character read from a text: its code point and its length in bytes.
// A length of 0 means that no well-formed character starts at the position;
// the code point is then U+FFFD.
struct Decoded {
    char32_t codePoint;
    std::size_t length;
};

// The character that starts at text[pos] (pos < text.size()).
Decoded Decode(std::string_view text, std::size_t pos);

// Appends the bytes of one code point. A surrogate or a value above U+10FFFF
// is no character and is appended as U+FFFD, so the result stays valid.
void Append(std::string& out, char32_t codePoint);

// True for the bytes 0x80 to 0xBF, which only continue a character.
bool IsContinuation(char byte);

// The length of the sequence a byte announces by its high bits: 2 for 0xC0
// to 0xDF, 3 for 0xE0 to 0xEF, 4 for 0xF0 and above, 1 for every other byte.
// It does not say that the sequence is well-formed.
std::size_t LeadLength(char byte);

// True when the whole text is well-formed.
bool IsValid(std::string_view text);

// The text with every byte that is not part of a well-formed character
// replaced by U+FFFD, so that the result is always valid.
std::string Sanitize(std::string_view text);

// The number of characters of valid text: every byte that is not a
// continuation byte starts one.
std::size_t CountChars(std::string_view text);

// The byte length of the first maxChars characters of valid text (all of it
// when it is shorter), so that a cut there never splits a character.
std::size_t PrefixBytes(std::string_view text, std::size_t maxChars);

}  // namespace Utf8
