#include "smtp/IdReplySMTP.h"

#include <gtest/gtest.h>

TEST(IdReplySMTP, ParsingTable) {
    struct Case {
        TStringList lines;
        std::string code;
        TStringList text;
        std::string enhanced;  // ReplyAsStr afterwards
    } cases[] = {
        {{"250-first", "250-PIPELINING", "250 SIZE 1000"}, "250", {"first", "PIPELINING", "SIZE 1000"}, ""},
        {{"250 2.1.0 Ok"}, "250", {"Ok"}, "2.1.0"},
        {{"250 2.0.0"}, "250", {""}, "2.0.0"},
        {{"550-5.1.1 Mailbox", "550 unknown"}, "550", {"Mailbox", "unknown"}, "5.1.1"},
        {{"250 2BIG deal"}, "250", {"2BIG deal"}, ""},
        {{"250 4.x.1 foo"}, "250", {"4.x.1 foo"}, ""},
        {{"220"}, "220", {""}, ""},
        {{"250-", "250 2.1.5 fine"}, "250", {"", "fine"}, "2.1.5"},
        {{"451 4.$1F.0x2 hex"}, "451", {"hex"}, "4.31.2"},
        {{"250 25.1.1 odd"}, "250", {"odd"}, "2.1.1"},  // class kept as read, shown by its first digit
        {{"250 2.1234.5 long"}, "250", {"long"}, "2.123.5"},
        {{"250 2.99999999999.1 big"}, "250", {"big"}, "2.0.1"},
    };
    for (const Case& c : cases) {
        TIdReplySMTP reply;
        reply.SetFromLines(c.lines);
        EXPECT_EQ(reply.Code(), c.code) << c.lines[0];
        EXPECT_EQ(reply.Text(), c.text) << c.lines[0];
        EXPECT_EQ(reply.EnhancedCode().ReplyAsStr(), c.enhanced) << c.lines[0];
    }
}

TEST(IdReplySMTP, EnhancedCodeIsKeptAcrossRepliesUntilALineTouchesIt) {
    TIdReplySMTP reply;
    reply.SetFromLines(TStringList{"554 5.7.1 denied"});
    reply.SetFromLines(TStringList{"250 Ok"});
    EXPECT_EQ(reply.EnhancedCode().ReplyAsStr(), "5.7.1");
    reply.Clear();
    EXPECT_TRUE(reply.EnhancedCode().Available());  // Clear keeps it
    reply.SetFromLines(TStringList{"250"});
    EXPECT_FALSE(reply.EnhancedCode().Available());
    EXPECT_EQ(reply.EnhancedCode().ReplyAsStr(), "");
}

TEST(IdReplySMTP, InvalidCodesAndNegativeParts) {
    TIdReplySMTP reply;
    try {
        reply.SetFromLines(TStringList{"099 busy"});
        FAIL();
    } catch (const EIdException& e) {
        EXPECT_EQ(e.Message(), "Reply Code is not valid: 099");
    }
    EXPECT_EQ(reply.Code(), "");
    for (const char* line : {"250 2.-1.0 bad", "250 2.1.-7 bad"}) {
        try {
            reply.SetFromLines(TStringList{line});
            ADD_FAILURE() << line;
        } catch (const EIdSMTPReplyInvalidReplyString& e) {
            EXPECT_EQ(e.Message(), "Invalid Reply String.");
        }
    }
}

TEST(IdReplySMTP, EnhancedCodeProperties) {
    TIdSMTPEnhancedCode code;
    EXPECT_EQ(code.StatusClass(), 2u);
    EXPECT_FALSE(code.Available());
    try {
        code.SetStatusClass(3);
        FAIL();
    } catch (const EIdSMTPReplyInvalidClass& e) {
        EXPECT_EQ(e.Message(), "Invalid Reply Class.");
    }
    code.SetStatusClass(5);
    code.SetSubject(7);
    code.SetAvailable(true);  // switching on resets the numbers
    EXPECT_EQ(code.ReplyAsStr(), "2.0.0");
    code.SetReplyAsStr("5.7.1");
    EXPECT_EQ(code.StatusClass(), 5u);
    EXPECT_EQ(code.Subject(), 7u);
    EXPECT_EQ(code.Details(), 1u);
    code.SetAvailable(true);  // unchanged: nothing happens
    EXPECT_EQ(code.ReplyAsStr(), "5.7.1");
    try {
        code.SetReplyAsStr("3.1.1");
        FAIL();
    } catch (const EIdSMTPReplyInvalidReplyString& e) {
        EXPECT_EQ(e.Message(), "Invalid Reply String.");
    }
    code.SetReplyAsStr("");
    EXPECT_FALSE(code.Available());
    EXPECT_EQ(code.StatusClass(), 5u);  // the numbers stay

    struct Case {
        const char* text;
        bool valid;
    } cases[] = {
        {"", true},          {"  ", true},         {"2.0.0", true},  {"5.7.1 rest", true}, {"4.4.4", true},
        {"2x.1.1", true},    {"2.+1.0", true},     {"3.1.1", false}, {"2.1", false},       {"2..1", false},
        {"2.1.1.1", false},  {"2.a.1", false},     {"2.1.", false},  {".1.1", false},      {"2.$.1", false},
    };
    for (const Case& c : cases) EXPECT_EQ(TIdSMTPEnhancedCode::IsValidEnhancedCode(c.text), c.valid) << c.text;
}

TEST(IdReplySMTP, FormatAndRaiseError) {
    TIdReplySMTP reply;
    reply.SetFromLines(TStringList{"550-5.1.1 Mailbox", "550 unknown"});
    EXPECT_EQ(reply.FormatLines(), (TStringList{"550-5.1.1 Mailbox", "550 5.1.1 unknown"}));
    try {
        reply.RaiseError();
    } catch (const EIdSMTPReplyError& e) {
        EXPECT_EQ(e.ErrorCode(), 550);
        EXPECT_EQ(e.Message(), "Mailbox\r\nunknown\r\n");
        EXPECT_EQ(e.EnhancedCode().ReplyAsStr(), "5.1.1");
    }
    reply.Text().Clear();
    EXPECT_EQ(reply.FormatLines(), (TStringList{"550 5.1.1"}));

    TIdReplySMTP odd;  // a class that the setter would refuse still copies into the error
    odd.SetFromLines(TStringList{"550 2x.1.1 odd"});
    try {
        odd.RaiseError();
    } catch (const EIdSMTPReplyError& e) {
        EXPECT_TRUE(e.EnhancedCode().Available());
        EXPECT_EQ(e.EnhancedCode().Subject(), 1u);
    }

    TIdReplySMTP plain;
    plain.SetFromLines(TStringList{"451 try later"});
    try {
        plain.RaiseError();
    } catch (const EIdSMTPReplyError& e) {
        EXPECT_FALSE(e.EnhancedCode().Available());
    }
    TIdReplySMTP copy;
    copy.Assign(reply);
    EXPECT_EQ(copy.EnhancedCode().ReplyAsStr(), "5.1.1");
    EXPECT_EQ(copy.Code(), "550");
}
