#include "db/Utf8Text.h"

#include "core/TextEncoding.h"

namespace Utf8Text {

std::string Left(std::string_view text, std::size_t chars)
{
    const std::string valid = TextEncoding::SanitizeUtf8(text);
    return valid.substr(0, TextEncoding::PrefixBytes(valid, chars));
}

void Split(std::string_view text, std::string& first, std::string& second)
{
    const std::string valid = TextEncoding::SanitizeUtf8(text);
    const std::size_t cut = TextEncoding::PrefixBytes(valid, kSplitColumnChars);
    const std::string_view rest = std::string_view(valid).substr(cut);
    first = valid.substr(0, cut);
    second = std::string(rest.substr(0, TextEncoding::PrefixBytes(rest, kSplitColumnChars)));
}

}  // namespace Utf8Text
