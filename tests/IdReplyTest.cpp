#include "net/IdReplyRFC.h"

#include <gtest/gtest.h>

TEST(IdReplyRFC, ParsesLinesAndEndsAtTheFourthCharacter) {
    struct Case {
        TStringList lines;
        std::string code;
        TStringList text;
    } cases[] = {
        {{"250-first", "250-PIPELINING", "250 SIZE 1000"}, "250", {"first", "PIPELINING", "SIZE 1000"}},
        {{"220"}, "220", {""}},
        {{"354 go", "x"}, "354", {"go", ""}},
    };
    for (const Case& c : cases) {
        TIdReplyRFC reply;
        reply.SetFromLines(c.lines);
        EXPECT_EQ(reply.Code(), c.code);
        EXPECT_EQ(reply.Text(), c.text);
    }
    TIdReplyRFC reply;
    for (const char* last : {"250 x", "250", "25", ""}) EXPECT_TRUE(reply.IsLastLine(last)) << last;
    for (const char* more : {"250-x", "250x...", " 250 x"}) EXPECT_FALSE(reply.IsLastLine(more)) << more;
}

TEST(IdReplyRFC, CodeValidation) {
    TIdReplyRFC reply;
    for (const char* valid : {"100", "250", "999", "", "  "}) EXPECT_TRUE(reply.IsValidCode(valid)) << valid;
    for (const char* invalid : {"099", "1000", "abc", "25x", "0", "-250"})
        EXPECT_FALSE(reply.IsValidCode(invalid)) << invalid;
    reply.SetCodeAndText(250, "old");
    try {
        reply.SetFromLines(TStringList{"099 busy"});
        FAIL();
    } catch (const EIdException& e) {
        EXPECT_EQ(e.Message(), "Reply Code is not valid: 099");
    }
    EXPECT_EQ(reply.Code(), "");
    EXPECT_TRUE(reply.Text().Empty());
    reply.SetCodeNumber(42);  // written without validation
    EXPECT_EQ(reply.Code(), "42");
    EXPECT_EQ(reply.CodeNumber(), 42);
}

TEST(IdReplyRFC, FormatContentErrorAndCopy) {
    TIdReplyRFC reply;
    EXPECT_FALSE(reply.HasContent());
    EXPECT_TRUE(reply.FormatLines().Empty());
    reply.SetCodeAndText("250", "one\r\ntwo");
    EXPECT_EQ(reply.FormatLines(), (TStringList{"250-one", "250 two"}));
    EXPECT_EQ(reply.DisplayName(), "250 one");
    EXPECT_TRUE(reply.HasContent());
    try {
        reply.RaiseError();
    } catch (const EIdReplyRFCError& e) {
        EXPECT_EQ(e.ErrorCode(), 250);
        EXPECT_EQ(e.Message(), "one\r\ntwo\r\n");
    }
    TIdReplyRFC copy;
    copy.Assign(reply);
    EXPECT_EQ(copy.Code(), "250");
    EXPECT_EQ(copy.Text(), reply.Text());
    copy.Text().Clear();
    EXPECT_EQ(copy.FormatLines(), (TStringList{"250"}));
    EXPECT_EQ(copy.DisplayName(), "250");
    copy.Clear();
    copy.Text().Add("just text");
    EXPECT_EQ(copy.FormatLines(), (TStringList{"just text"}));
    EXPECT_TRUE(copy.HasContent());
}
