#include "smtp/IdHMACMD5.h"

#include <gtest/gtest.h>

// The HMAC-MD5 test cases of RFC 2202, section 2.
TEST(IdHMACMD5, Rfc2202TestCases) {
    const struct {
        std::string key;
        std::string data;
        const char* digest;
    } cases[] = {
        {std::string(16, '\x0b'), "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
        {"Jefe", "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738"},
        {std::string(16, '\xaa'), std::string(50, '\xdd'), "56be34521d144c88dbb8c733f0e8b3f6"},
        {"\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19",
         std::string(50, '\xcd'), "697eaf0aca3a3aea3a75164746ffaa79"},
        {std::string(16, '\x0c'), "Test With Truncation", "56461ef2342edc00f9bab995690efd4c"},
        // Keys longer than one block are hashed first.
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
         "6f630fad67cda0ee1fb1f562db3aa53e"},
    };
    for (const auto& c : cases) EXPECT_EQ(TIdHMACMD5::HashValueAsHex(c.key, c.data), c.digest) << c.data;
}

TEST(IdHMACMD5, KeyOfExactlyOneBlockIsUsedAsItIs) {
    const std::string key(64, 'k');
    const std::string longer = key + "x";
    EXPECT_NE(TIdHMACMD5::HashValueAsHex(key, "data"), TIdHMACMD5::HashValueAsHex(longer, "data"));
    // A 65-byte key behaves like its digest used as the key.
    const auto digest = TIdHashMessageDigest5::HashValue(longer);
    EXPECT_EQ(TIdHMACMD5::HashValueAsHex(longer, "data"),
              TIdHMACMD5::HashValueAsHex(std::string(digest.begin(), digest.end()), "data"));
}
