#include "core/GpBuffer.h"

#include <algorithm>
#include <cctype>

namespace {

void RemoveQuotes(std::string& token)
{
    token.erase(std::remove(token.begin(), token.end(), '"'), token.end());
}

}  // namespace

std::string CGpBuffer::NextToken()
{
    // A position outside the line (set by hand, or a line longer than the
    // 16-bit index can reach) reads as the end of the line.
    if (position < 0 || static_cast<std::size_t>(position) >= text.size()) {
        position = static_cast<int16_t>(std::min<std::size_t>(text.size(), INT16_MAX));
        return {};
    }

    const std::size_t start = static_cast<std::size_t>(position);
    const std::size_t sep = text.find(separator, start);
    std::string token;
    if (sep != std::string::npos) {
        token = text.substr(start, sep - start);
        position = static_cast<int16_t>(std::min<std::size_t>(sep + 1, INT16_MAX));
    } else {
        token = text.substr(start);
        position = static_cast<int16_t>(std::min<std::size_t>(text.size(), INT16_MAX));
        while (!token.empty() && std::isspace(static_cast<unsigned char>(token.back())))
            token.pop_back();
    }
    RemoveQuotes(token);
    return token;
}
