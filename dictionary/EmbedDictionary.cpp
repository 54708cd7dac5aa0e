// Build tool: stamps the MD5 header of the dictionary and turns the stamped
// bytes into a C++ byte array that is linked into the station.
//
//   orva_embed_dictionary dictionary.xml DictionaryData.cpp
//   orva_embed_dictionary --stamp dictionary.xml     (restamp the source after editing it)
//
// The first 83 bytes of the file are a fixed header: UTF-8 byte-order mark,
// <?xml version="1.0" encoding="utf-8"?>, CR LF, "<!--", 32 hexadecimal
// digits, "-->", LF. The digits are the MD5 digest of everything after it.

#include "dictionary/DictionaryChecksum.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr char kPrefix[] = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<!--";
constexpr char kSuffix[] = "-->\n";

bool ReadFile(const std::string& path, std::string& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

// The file with a freshly computed digest in its header; false when the
// header is not the fixed one.
bool Stamp(const std::string& source, std::string& stamped)
{
    const std::size_t prefixSize = sizeof kPrefix - 1;
    if (source.size() < CDictionaryChecksum::kHeaderSize || source.compare(0, prefixSize, kPrefix) != 0 ||
        source.compare(CDictionaryChecksum::kDigestOffset + CDictionaryChecksum::kDigestLength, sizeof kSuffix - 1,
                       kSuffix) != 0)
        return false;
    const auto* body = reinterpret_cast<const unsigned char*>(source.data()) + CDictionaryChecksum::kHeaderSize;
    std::string digest = CDictionaryChecksum::Md5Hex(body, source.size() - CDictionaryChecksum::kHeaderSize);
    if (digest.size() != CDictionaryChecksum::kDigestLength)
        return false;
    std::transform(digest.begin(), digest.end(), digest.begin(), [](unsigned char c) { return std::toupper(c); });
    stamped = source;
    stamped.replace(CDictionaryChecksum::kDigestOffset, CDictionaryChecksum::kDigestLength, digest);
    return true;
}

std::string ByteArraySource(const std::string& bytes)
{
    std::ostringstream out;
    out << "// Generated from dictionary.xml by orva_embed_dictionary; do not edit.\n"
        << "#include \"dictionary/DictionaryData.h\"\n\n"
        << "const unsigned char kDictionaryData[] = {\n";
    char hex[8];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(hex, sizeof hex, "0x%02x,", static_cast<unsigned char>(bytes[i]));
        out << hex << ((i % 24 == 23) ? "\n" : "");
    }
    out << "\n};\nconst std::size_t kDictionaryDataSize = sizeof(kDictionaryData);\n";
    return out.str();
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "orva_embed_dictionary: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool stampInPlace = argc == 3 && std::strcmp(argv[1], "--stamp") == 0;
    if (argc != 3)
        return Fail("usage: orva_embed_dictionary INPUT.xml OUTPUT.cpp | --stamp INPUT.xml");

    const std::string input = stampInPlace ? argv[2] : argv[1];
    std::string source;
    if (!ReadFile(input, source))
        return Fail("cannot read " + input);
    std::string stamped;
    if (!Stamp(source, stamped))
        return Fail(input + " must begin with the 83-byte header: UTF-8 byte-order mark, "
                            "<?xml version=\"1.0\" encoding=\"utf-8\"?>, CR LF, <!--, 32 hexadecimal digits, -->, LF");

    if (stampInPlace) {
        if (stamped != source && !WriteFile(input, stamped))
            return Fail("cannot write " + input);
        return 0;
    }

    const std::string output = argv[2];
    const std::string generated = ByteArraySource(stamped);
    std::string existing;
    if (ReadFile(output, existing) && existing == generated)
        return 0;  // unchanged: nothing needs recompiling
    if (!WriteFile(output, generated))
        return Fail("cannot write " + output);
    return 0;
}
