#include "smtp/IdHashMessageDigest.h"

#include <gtest/gtest.h>

// The test suite of RFC 1321, appendix A.5.
TEST(IdHashMessageDigest5, Rfc1321TestSuite) {
    const struct {
        const char* input;
        const char* digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TIdHashMessageDigest5::AsHex(TIdHashMessageDigest5::HashValue(std::string(c.input))), c.digest)
            << '"' << c.input << '"';
}

// Padding takes a second block when fewer than 8 bytes are left in the last
// one: lengths around 55, 56 and 64 bytes cross that boundary.
TEST(IdHashMessageDigest5, IncrementalUpdatesMatchOneShotAcrossBlockBoundaries) {
    std::string data;
    for (int i = 0; i < 300; ++i) data += static_cast<char>(i * 7 + 3);
    for (size_t length : {0u, 1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 300u}) {
        const std::string part = data.substr(0, length);
        TIdHashMessageDigest5 md5;
        for (size_t i = 0; i < part.size(); i += 13) md5.Update(part.substr(i, 13));
        EXPECT_EQ(md5.Final(), TIdHashMessageDigest5::HashValue(part)) << length;
    }
    // A digest restarts the hash.
    TIdHashMessageDigest5 md5;
    md5.Update(std::string("junk"));
    md5.Final();
    md5.Update(std::string("abc"));
    EXPECT_EQ(TIdHashMessageDigest5::AsHex(md5.Final()), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(IdHashMessageDigest5, MillionAs) {
    TIdHashMessageDigest5 md5;
    const std::string chunk(1000, 'a');
    for (int i = 0; i < 1000; ++i) md5.Update(chunk);
    EXPECT_EQ(TIdHashMessageDigest5::AsHex(md5.Final()), "7707d6ae4e027c70eea2a935c2296f21");
}
