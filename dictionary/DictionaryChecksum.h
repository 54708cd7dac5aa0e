#pragma once
// Checks the embedded dictionary against the MD5 digest in its own header.
//
// The first 83 bytes are a fixed header: byte-order mark, XML declaration,
// CR LF, "<!--", 32 hexadecimal digits, "-->", LF. The digits (bytes 47 to 78)
// are the MD5 digest of everything from byte 83 to the end. A header of any
// other length moves the digits and fails the check.

#include <cstddef>
#include <string>

class CDictionaryChecksum {
public:
    static constexpr std::size_t kHeaderSize = 83;
    static constexpr std::size_t kDigestOffset = 47;
    static constexpr std::size_t kDigestLength = 32;
    static constexpr std::size_t kPieceSize = 2097152;  // bytes hashed per step

    CDictionaryChecksum(const unsigned char* data, std::size_t size) : source(data), remaining(size) {}

    // True when the digest over bytes 83 to the end equals the stored one
    // (compared without regard to case).
    bool Check();

    const std::string& StoredDigest() const { return stored; }
    const std::string& ComputedDigest() const { return computed; }

    // MD5 of the data as 32 lower-case hexadecimal digits, hashed in pieces of
    // at most kPieceSize bytes; empty when the digest service fails.
    static std::string Md5Hex(const unsigned char* data, std::size_t size);

private:
    const unsigned char* source;
    std::size_t remaining;
    std::string stored;
    std::string computed;
};
