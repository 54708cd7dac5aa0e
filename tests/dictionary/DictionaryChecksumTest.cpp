#include "dictionary/Dictionary.h"
#include "dictionary/DictionaryChecksum.h"

#include "support/DictionaryFixture.h"

#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kBody = "<dictionary><tag name=\"K\"><entry lang=\"en\">text</entry></tag></dictionary>\n";

TEST(DictionaryChecksum, KnownDigests)
{
    EXPECT_EQ(CDictionaryChecksum::Md5Hex(Bytes(""), 0), "d41d8cd98f00b204e9800998ecf8427e");
    const std::string abc = "abc";
    EXPECT_EQ(CDictionaryChecksum::Md5Hex(Bytes(abc), abc.size()), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(DictionaryChecksum, DataLongerThanOnePieceHashesLikeOneRun)
{
    std::string big(2 * CDictionaryChecksum::kPieceSize + 12345, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 31 + 7);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    ASSERT_EQ(EVP_Digest(big.data(), big.size(), digest, &length, EVP_md5(), nullptr), 1);
    std::string expected;
    char hex[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(hex, sizeof hex, "%02x", digest[i]);
        expected += hex;
    }
    EXPECT_EQ(CDictionaryChecksum::Md5Hex(Bytes(big), big.size()), expected);
}

// What the check says about a dictionary after one change.
struct ChecksumCase {
    const char* name;
    std::string (*make)();
    bool passes;
};

std::string Intact()
{
    return WithHeader(kBody);
}
std::string LowerCaseDigest()
{
    return WithHeader(kBody, false);
}
std::string ChangedBodyByte()
{
    std::string d = WithHeader(kBody);
    d[CDictionaryChecksum::kHeaderSize + 20] ^= 0x01;
    return d;
}
std::string ChangedLastByte()
{
    std::string d = WithHeader(kBody);
    d.back() = ' ';
    return d;
}
std::string ChangedDeclarationByte()
{
    std::string d = WithHeader(kBody);
    const std::size_t pos = d.find("utf-8");
    d[pos] = 'U';  // encoding names ignore case, so the XML stays valid
    return d;
}
std::string LongerHeader()
{
    // One more blank in the declaration moves the digest one byte on.
    std::string d = WithHeader(kBody);
    d.insert(d.find("?>"), " ");
    return d;
}
std::string ShortData()
{
    return WithHeader(kBody).substr(0, CDictionaryChecksum::kHeaderSize - 1);
}
std::string WrongDigest()
{
    std::string d = WithHeader(kBody);
    d[CDictionaryChecksum::kDigestOffset] = d[CDictionaryChecksum::kDigestOffset] == '0' ? '1' : '0';
    return d;
}

TEST(DictionaryChecksum, ChangesAndTheirVerdict)
{
    const ChecksumCase cases[] = {
        {"intact", Intact, true},
        {"lower-case stored digest", LowerCaseDigest, true},
        {"changed byte in the XML declaration", ChangedDeclarationByte, true},
        {"changed byte after the header", ChangedBodyByte, false},
        {"changed last byte", ChangedLastByte, false},
        {"header of another length", LongerHeader, false},
        {"shorter than the header", ShortData, false},
        {"wrong stored digest", WrongDigest, false},
    };
    for (const ChecksumCase& c : cases) {
        const std::string data = c.make();
        CDictionaryChecksum checksum(Bytes(data), data.size());
        EXPECT_EQ(checksum.Check(), c.passes) << c.name;
        CDictionary dictionary;
        EXPECT_EQ(dictionary.Load(Bytes(data), data.size()), c.passes) << c.name;
        EXPECT_EQ(dictionary.GetTagCount(), c.passes ? 1u : 0u) << c.name;
    }
}

}  // namespace
