#include "core/TextEncoding.h"

#include "core/Utf8.h"

#include <array>
#include <cstdint>

namespace TextEncoding {

namespace {

// Windows-1252 0x80..0x9F; 0 marks the five undefined values.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

}  // namespace

bool IsValidUtf8(std::string_view text)
{
    return Utf8::IsValid(text);
}

std::string SanitizeUtf8(std::string_view text)
{
    return Utf8::Sanitize(text);
}

std::size_t CountChars(std::string_view text)
{
    return Utf8::CountChars(text);
}

std::size_t PrefixBytes(std::string_view text, std::size_t maxChars)
{
    return Utf8::PrefixBytes(text, maxChars);
}

std::string Windows1252ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    for (const char c : bytes) {
        const auto b = static_cast<uint8_t>(c);
        if (b < 0x80) {
            out += c;
        } else if (b >= 0xA0) {
            Utf8::Append(out, b);  // Latin-1 range: the byte is the code point
        } else if (const char16_t cp = kCp1252High[b - 0x80]; cp != 0) {
            Utf8::Append(out, cp);
        } else {
            out += Utf8::kReplacementBytes;
        }
    }
    return out;
}

std::string FileTextToUtf8(std::string_view bytes)
{
    constexpr std::string_view bom = "\xEF\xBB\xBF";
    if (bytes.substr(0, bom.size()) == bom)
        bytes.remove_prefix(bom.size());
    if (IsValidUtf8(bytes))
        return std::string(bytes);
    return Windows1252ToUtf8(bytes);
}

}  // namespace TextEncoding
