#include "message/IdCoderMIME.h"

#include <gtest/gtest.h>

namespace {

struct Vector {
    const char* plain;
    const char* encoded;
};

// RFC 4648 section 10.
const Vector kRfc4648[] = {
    {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
};

TEST(IdCoderMIME, Rfc4648VectorsBothWays) {
    for (const auto& v : kRfc4648) {
        EXPECT_EQ(TIdEncoderMIME::EncodeString(v.plain), v.encoded) << v.plain;
        EXPECT_EQ(TIdDecoderMIME::DecodeString(v.encoded), v.plain) << v.encoded;
    }
}

TEST(IdCoderMIME, EveryByteValueRoundTrips) {
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    const std::string encoded = TIdEncoderMIME::EncodeString(all);
    EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(TIdDecoderMIME::DecodeString(encoded), all);
    EXPECT_EQ(TIdEncoderMIME::EncodeBytes({0xFB, 0xFF}), "+/8=");
}

TEST(IdCoderMIME, DecoderSkipsLineBreaksAndBlanks) {
    EXPECT_EQ(TIdDecoderMIME::DecodeString("Zm9v\r\nYmFy\r\n"), "foobar");
    EXPECT_EQ(TIdDecoderMIME::DecodeString(" Zm9v Yg== "), "foob");
}

TEST(IdCoderMIME, BadInputIsReportedNotDecoded) {
    const std::string bad[] = {
        "Zm9",            // group cut short
        "Z",              // one character
        "Zm9v!",          // outside the alphabet
        "Zg==Zg==",       // data after the final padded group
        "Z===",           // too much padding
        "=Zg=",           // padding first
        "Zg=a",           // character after padding in the group
        std::string("Zm\0v", 4),  // NUL
        "\xC3\xA8xyz",    // bytes above 127
    };
    for (const auto& text : bad) {
        std::string out;
        EXPECT_FALSE(TIdDecoderMIME::TryDecode(text, out)) << text;
        EXPECT_THROW(TIdDecoderMIME::DecodeString(text), EIdInvalidBase64) << text;
    }
    try {
        TIdDecoderMIME::DecodeString("@");
    } catch (const EIdInvalidBase64& e) {
        EXPECT_EQ(e.Message(), "Invalid Base64 data");
    }
    std::string out;
    EXPECT_TRUE(TIdDecoderMIME::TryDecode("", out));
    EXPECT_TRUE(out.empty());
}

TEST(IdCoderMIME, LargeInputOfOneCharacter) {
    const std::string big(1 << 20, 'A');
    std::string out;
    EXPECT_TRUE(TIdDecoderMIME::TryDecode(big, out));
    EXPECT_EQ(out.size(), (1u << 20) / 4 * 3);
    EXPECT_FALSE(TIdDecoderMIME::TryDecode(std::string(1 << 20, '='), out));
    EXPECT_EQ(TIdEncoderMIME::EncodeString(std::string(3000, '\0')), std::string(4000, 'A'));
}

}  // namespace
