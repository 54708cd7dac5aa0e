#include "db/Utf8Text.h"

#include "core/Utf8.h"

namespace Utf8Text {

std::string Left(std::string_view text, std::size_t chars)
{
    const std::string valid = Utf8::Sanitize(text);
    return valid.substr(0, Utf8::PrefixBytes(valid, chars));
}

void Split(std::string_view text, std::string& first, std::string& second)
{
    const std::string valid = Utf8::Sanitize(text);
    const std::size_t cut = Utf8::PrefixBytes(valid, kSplitColumnChars);
    const std::string_view rest = std::string_view(valid).substr(cut);
    first = valid.substr(0, cut);
    second = std::string(rest.substr(0, Utf8::PrefixBytes(rest, kSplitColumnChars)));
}

}  // namespace Utf8Text
