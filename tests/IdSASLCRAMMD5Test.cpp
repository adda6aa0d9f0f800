#include "smtp/IdSASLCRAMMD5.h"

#include "message/IdCoderMIME.h"
#include "smtp/IdHMACMD5.h"
#include "tests/support/SmtpExpect.h"

#include <gtest/gtest.h>

namespace {

struct CramFixture : ::testing::Test {
    TIdUserPassProvider provider;
    TIdSASLCRAMMD5 cram;
    void SetUp() override {
        provider.SetUsername("tim");
        provider.SetPassword("tanstaaftanstaaf");
        cram.SetUserPassProvider(&provider);
    }
};

}  // namespace

// The example exchange of RFC 2195, section 2.
TEST_F(CramFixture, Rfc2195Example) {
    const std::string challenge = TIdDecoderMIME::DecodeString("PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+");
    ASSERT_EQ(challenge, "<1896.697170952@postoffice.reston.mci.net>");
    const std::string response = cram.InitialResponse(challenge);
    EXPECT_EQ(response, "tim b913a602c7eda7a495b4e6e7334d3890");
    EXPECT_EQ(TIdEncoderMIME::EncodeString(response), "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw");
    EXPECT_EQ(cram.NextResponse("anything"), "");
}

TEST_F(CramFixture, EmptyChallengeGivesEmptyResponseEvenWithoutProvider) {
    EXPECT_EQ(cram.InitialResponse(""), "");
    cram.SetUserPassProvider(nullptr);
    EXPECT_EQ(cram.InitialResponse(""), "");
}

TEST_F(CramFixture, MissingProviderFailsOnFirstRealChallenge) {
    cram.SetUserPassProvider(nullptr);
    EXPECT_EQ(MessageOf<EIdUserPassProviderUnassigned>([&] { cram.InitialResponse("<1.2@host>"); }),
              "Unassigned UserPassProvider!");
}

TEST_F(CramFixture, PasswordLongerThanOneBlockIsReplacedByItsDigest) {
    const std::string longPassword(100, 'p');
    provider.SetPassword(longPassword);
    const auto digest = TIdHashMessageDigest5::HashValue(longPassword);
    EXPECT_EQ(cram.InitialResponse("<c@h>"),
              "tim " + TIdHMACMD5::HashValueAsHex(std::string(digest.begin(), digest.end()), "<c@h>"));
}

TEST(IdSASLCRAMMD5, ProviderDestroyedElsewhereIsForgotten) {
    TIdSASLCRAMMD5 cram;
    {
        TIdUserPassProvider provider;
        cram.SetUserPassProvider(&provider);
        EXPECT_EQ(cram.UserPassProvider(), &provider);
    }
    EXPECT_EQ(cram.UserPassProvider(), nullptr);
    EXPECT_THROW(cram.InitialResponse("x"), EIdUserPassProviderUnassigned);
}

TEST(IdSASLCRAMMD5, NameAndOffer) {
    TIdSASLCRAMMD5 cram;
    EXPECT_EQ(cram.MechanismName(), "CRAM-MD5");
    EXPECT_FALSE(cram.IsOffered(nullptr));
    TStringList offered{"LOGIN", "cram-md5"};
    EXPECT_TRUE(cram.IsOffered(&offered));
    TStringList other{"LOGIN", "CRAM-MD5X"};
    EXPECT_FALSE(cram.IsOffered(&other));
}
