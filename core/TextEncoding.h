#pragma once
// UTF-8 helpers for texts that keep a limit in characters, and the decoding of
// text files that engineers edit by hand: the program writes UTF-8, but files
// saved by older tools on Windows are Windows-1252. The UTF-8 helpers are
// those of core/Utf8.h, under the names the texts have always used.

#include <cstddef>
#include <string>
#include <string_view>

namespace TextEncoding {

// True when text is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool IsValidUtf8(std::string_view text);

// text with every byte that is not part of a well-formed UTF-8 sequence
// replaced by U+FFFD, so that the result is always valid UTF-8.
std::string SanitizeUtf8(std::string_view text);

// Number of characters (code points) of valid UTF-8 text.
std::size_t CountChars(std::string_view text);

// Byte length of the first maxChars characters of valid UTF-8 text (all of
// it when it is shorter), so that a cut never splits a character.
std::size_t PrefixBytes(std::string_view text, std::size_t maxChars);

// Windows-1252 bytes as UTF-8. The five byte values that code page leaves
// undefined become U+FFFD.
std::string Windows1252ToUtf8(std::string_view bytes);

// The contents of a hand-edited text file as UTF-8: a leading UTF-8 byte
// order mark is dropped; a file that is valid UTF-8 is taken as it is, any
// other file is read as Windows-1252.
std::string FileTextToUtf8(std::string_view bytes);

}  // namespace TextEncoding
