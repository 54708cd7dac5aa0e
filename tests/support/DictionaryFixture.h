#pragma once
// Builds dictionary bytes for tests: the fixed 83-byte header with the digest
// of the body, then the body.

#include "dictionary/DictionaryChecksum.h"

#include <algorithm>
#include <cctype>
#include <string>

inline constexpr char kDictionaryPrefix[] = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<!--";

inline std::string WithHeader(const std::string& body, bool upperCase = true)
{
    std::string digest = CDictionaryChecksum::Md5Hex(reinterpret_cast<const unsigned char*>(body.data()), body.size());
    if (upperCase)
        std::transform(digest.begin(), digest.end(), digest.begin(), [](unsigned char c) { return std::toupper(c); });
    return std::string(kDictionaryPrefix) + digest + "-->\n" + body;
}

inline const unsigned char* Bytes(const std::string& s)
{
    return reinterpret_cast<const unsigned char*>(s.data());
}
