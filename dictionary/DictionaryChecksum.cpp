#include "dictionary/DictionaryChecksum.h"

#include <openssl/evp.h>

#include <algorithm>
#include <memory>
#include <strings.h>

std::string CDictionaryChecksum::Md5Hex(const unsigned char* data, std::size_t size)
{
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1)
        return {};

    while (size > 0) {
        const std::size_t piece = std::min(size, kPieceSize);
        if (EVP_DigestUpdate(context.get(), data, piece) != 1)
            return {};
        data += piece;
        size -= piece;
    }

    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1)
        return {};

    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 0x0F];
    }
    return text;
}

bool CDictionaryChecksum::Check()
{
    if (source == nullptr || remaining < kHeaderSize)
        return false;
    stored.assign(reinterpret_cast<const char*>(source) + kDigestOffset, kDigestLength);
    computed = Md5Hex(source + kHeaderSize, remaining - kHeaderSize);
    return computed.size() == kDigestLength && strncasecmp(computed.c_str(), stored.c_str(), kDigestLength) == 0;
}
