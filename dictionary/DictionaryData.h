#pragma once
// The dictionary built into the program: the exact bytes of dictionary.xml,
// header included, with the digest stamped by the build.

#include <cstddef>

extern const unsigned char kDictionaryData[];
extern const std::size_t kDictionaryDataSize;
