#pragma once
// Cutting UTF-8 text to the database's limits, which count characters. A cut
// never splits a character; bytes that are not valid UTF-8 become U+FFFD
// first (as they would on their way into the database anyway).

#include <cstddef>
#include <string>
#include <string_view>

namespace Utf8Text {

// A long text kept in two columns of 255 characters each.
constexpr std::size_t kSplitColumnChars = 255;

// The first `chars` characters.
std::string Left(std::string_view text, std::size_t chars);

// The first column takes characters 1 to 255, the second characters 256 to
// 510 (empty when the text has at most 255). Anything beyond 510 does not fit.
void Split(std::string_view text, std::string& first, std::string& second);

// The record field read back from its two columns.
inline std::string Join(const std::string& first, const std::string& second)
{
    return first + second;
}

}  // namespace Utf8Text
