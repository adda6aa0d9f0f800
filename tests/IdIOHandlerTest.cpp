#include "net/IdIOHandler.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>

#include "net/IdNetExceptions.h"
#include "platform/Locale.h"
#include "tests/support/LoopbackClient.h"
#include "tests/support/LoopbackServer.h"

namespace {

// A server that sends `bytes`, then waits for one line from the client
// (or its close) before closing, so that the close never races the test.
TLoopbackServer::Script SendThenWait(const std::string& bytes) {
    return [bytes](int fd) {
        TLoopbackServer::SendAll(fd, bytes);
        std::string line;
        TLoopbackServer::ReadLine(fd, line, 5000);
    };
}

TLoopbackServer::Script SendThenClose(const std::string& bytes) {
    return [bytes](int fd) { TLoopbackServer::SendAll(fd, bytes); };
}

// Waits until the peer's close has certainly arrived.
void AwaitClose(TLoopbackServer& server) {
    server.Join();
    SleepMilliseconds(20);
}

}  // namespace

TEST(IdIOHandlerReadLn, TerminatorAndCarriageReturnRules) {
    TLoopbackServer server(SendThenWait("ABC\r\nABC\nA\rB\n\r\n\n\r\r\nX;;Y;;Z\r\n"));
    TLoopbackClient c(server.Port());
    struct Case {
        std::string terminator;
        std::string line;
    } cases[] = {
        {"\n", "ABC"}, {"\n", "ABC"}, {"\n", "A\rB"}, {"\n", ""}, {"", ""},  // empty terminator means LF
        {"\n", "\r"},  // only one CR before the LF is dropped
        {";;", "X"},   {";;", "Y"},   {"\r\n", "Z"},
    };
    for (const Case& k : cases) EXPECT_EQ(c.IO().ReadLn(k.terminator), k.line);
    c.IO().WriteLn("done");
}

TEST(IdIOHandlerReadLn, TerminatorSplitAcrossReceivesIsFound) {
    TLoopbackServer server([](int fd) {
        TLoopbackServer::SendAll(fd, "one;");
        SleepMilliseconds(50);
        TLoopbackServer::SendAll(fd, ";two;;");
        std::string line;
        TLoopbackServer::ReadLine(fd, line);
    });
    TLoopbackClient c(server.Port());
    EXPECT_EQ(c.IO().ReadLn(";;"), "one");
    EXPECT_EQ(c.IO().ReadLn(";;"), "two");
    c.IO().WriteLn("done");
}

TEST(IdIOHandlerReadLn, MaximumLineLength) {
    const std::string max(16384, 'a');
    struct Case {
        std::string input;
        bool accepted;
    } cases[] = {
        {max + "\n", true},
        {max + "\r\n", false},  // the CR counts before it is dropped
        {max + "b\n", false},
        {max + "b", false},  // refused at once, without waiting for more
    };
    for (const Case& k : cases) {
        TLoopbackServer server(SendThenWait(k.input));
        TLoopbackClient c(server.Port(), 5000);
        const uint64_t start = MonotonicMilliseconds();
        if (k.accepted) {
            EXPECT_EQ(c.IO().ReadLn(), max);
        } else {
            try {
                c.IO().ReadLn();
                ADD_FAILURE() << "accepted " << k.input.size() << " bytes";
            } catch (const EIdReadLnMaxLineLengthExceeded& e) {
                EXPECT_EQ(e.Message(), "Max line length exceeded.");
            }
            EXPECT_LT(MonotonicMilliseconds() - start, 2000u);
            EXPECT_EQ(c.IO().InputBuffer()->Size(), static_cast<int32_t>(k.input.size()));  // kept whole
        }
        c.IO().WriteLn("done");
    }
}

TEST(IdIOHandlerReadLn, SplitModeReturnsTheFrontAndKeepsTheRest) {
    const std::string max(16384, 'a');
    TLoopbackServer server(SendThenWait(max + "bc\nnext\n"));
    TLoopbackClient c(server.Port());
    c.IO().SetMaxLineAction(maSplit);
    EXPECT_EQ(c.IO().ReadLn(), max);
    EXPECT_TRUE(c.IO().LastLineSplit());
    EXPECT_EQ(c.IO().ReadLn(), "bc");
    EXPECT_FALSE(c.IO().LastLineSplit());
    EXPECT_EQ(c.IO().ReadLn("\n", TimeoutDefault, 2), "ne");  // an explicit maximum
    c.IO().SetMaxLineAction(maException);
    bool split = false;
    EXPECT_EQ(c.IO().ReadLnSplit(split, "\n", TimeoutDefault, 1), "x");
    EXPECT_TRUE(split);
    EXPECT_EQ(c.IO().MaxLineAction(), maException);  // restored
    c.IO().SetMaxLineLength(0);                       // no limit
    EXPECT_EQ(c.IO().ReadLn(), "t");
    c.IO().WriteLn("done");
}

TEST(IdIOHandlerReadLn, ReadTimeoutLeavesConnectionAndBufferIntact) {
    TLoopbackServer server([](int fd) {
        TLoopbackServer::SendAll(fd, "part");
        std::string line;
        TLoopbackServer::ReadLine(fd, line);
        TLoopbackServer::SendAll(fd, "ial\n");
        TLoopbackServer::ReadLine(fd, line);
    });
    TLoopbackClient c(server.Port(), 200);
    const uint64_t start = MonotonicMilliseconds();
    try {
        c.IO().ReadLn();
        FAIL();
    } catch (const EIdReadTimeout& e) {
        EXPECT_EQ(e.Message(), "Read Timeout");
    }
    EXPECT_GE(MonotonicMilliseconds() - start, 190u);
    EXPECT_TRUE(c.client.Connected());
    EXPECT_EQ(c.IO().ReadLn("\n", 100), "");  // an explicit time-out answers empty
    EXPECT_TRUE(c.IO().LastLineTimedOut());
    c.IO().WriteLn("go");
    EXPECT_EQ(c.IO().ReadLn(), "partial");
    EXPECT_FALSE(c.IO().LastLineTimedOut());
    c.IO().WriteLn("done");
}

TEST(IdIOHandlerReadLn, PeerCloseAfterPartialLineKeepsTheLineUntilConsumed) {
    TLoopbackServer server(SendThenClose("partial"));
    TLoopbackClient c(server.Port());
    int disconnected = 0;
    c.IO().SetOnStatus([&](TComponent*, TIdStatus status, const std::string&) {
        if (status == StatusDisconnected) ++disconnected;
    });
    AwaitClose(server);
    try {
        c.IO().ReadLn();
        FAIL();
    } catch (const EIdConnClosedGracefully& e) {
        EXPECT_EQ(e.Message(), "Connection Closed Gracefully.");
    }
    EXPECT_TRUE(c.client.Connected());
    EXPECT_EQ(c.IO().InputBufferAsString(), "partial");
    EXPECT_FALSE(c.client.Connected());
    EXPECT_THROW(c.IO().ReadLn(), EIdConnClosedGracefully);
    EXPECT_EQ(disconnected, 1);
}

TEST(IdIOHandlerReadLn, PeerCloseWithNothingPendingEndsReadsAndSends) {
    TLoopbackServer server(SendThenClose(""));
    TLoopbackClient c(server.Port());
    int disconnected = 0;
    c.IO().SetOnStatus([&](TComponent*, TIdStatus status, const std::string& text) {
        if (status == StatusDisconnected) {
            ++disconnected;
            EXPECT_EQ(text, "Disconnected.");
        }
    });
    AwaitClose(server);
    EXPECT_THROW(c.IO().ReadLn(), EIdConnClosedGracefully);
    EXPECT_THROW(c.IO().WriteLn("QUIT"), EIdConnClosedGracefully);
    EXPECT_FALSE(c.client.Connected());
    EXPECT_EQ(disconnected, 1);
}

TEST(IdIOHandlerReadLn, ReadNonEmptyLineSkipsBlankLinesAndTrims) {
    TLoopbackServer server(SendThenWait("\r\n   \r\n\t\r\n  hello \t\r\n"));
    TLoopbackClient c(server.Port());
    EXPECT_EQ(c.IO().ReadNonEmptyLine(2147483647), "hello");
    c.IO().WriteLn("done");
}

TEST(IdIOHandlerWrite, WriteBufferAndWriteLinesLeaveInOneSend) {
    std::string received;
    TLoopbackServer server([&](int fd) { received = TLoopbackServer::ReadAll(fd, 2000); });
    {
        TLoopbackClient c(server.Port());
        c.IO().OpenWriteBuffer();
        c.IO().WriteLn("RSET");
        c.IO().WriteLn("MAIL FROM:<a@b>");
        c.IO().Write("DATA");
        c.IO().WriteLn();
        EXPECT_TRUE(c.handler->sends.empty());
        c.IO().CloseWriteBuffer();
        EXPECT_EQ(c.handler->sends.size(), 1u);
        c.IO().WriteLines(TStringList{"a", "b", "c"});
        EXPECT_EQ(c.handler->sends.size(), 2u);
        c.IO().WriteLines(TStringList{});  // nothing to send
        c.IO().OpenWriteBuffer();
        c.IO().CloseWriteBuffer();
        c.IO().OpenWriteBuffer();
        c.IO().WriteLn("dropped");
        c.IO().CancelWriteBuffer();
        EXPECT_EQ(c.handler->sends, (std::vector<size_t>{29, 9}));
        c.client.Disconnect();
    }
    server.Join();
    EXPECT_EQ(received, "RSET\r\nMAIL FROM:<a@b>\r\nDATA\r\na\r\nb\r\nc\r\n");
}

TEST(IdIOHandlerWrite, ThresholdSendsInPiecesOfThatSize) {
    size_t received = 0;
    TLoopbackServer server([&](int fd) { received = TLoopbackServer::ReadAll(fd, 2000).size(); });
    {
        TLoopbackClient c(server.Port());
        c.IO().OpenWriteBuffer(32768);
        const std::string line(998, 'x');
        for (int i = 0; i < 100; ++i) c.IO().WriteLn(line);  // 100 000 bytes
        c.IO().Write(std::string(70000, 'y'));               // larger than the threshold in one write
        c.IO().CloseWriteBuffer();
        EXPECT_EQ(c.handler->sends, (std::vector<size_t>{32768, 32768, 32768, 32768, 32768, 6160}));
        c.IO().OpenWriteBuffer(0);  // 0 disables the automatic sending
        c.IO().Write(std::string(40000, 'z'));
        EXPECT_EQ(c.handler->sends.size(), 6u);
        c.IO().CloseWriteBuffer();
        c.client.Disconnect();
    }
    server.Join();
    EXPECT_EQ(received, 170000u + 40000u);
}

TEST(IdIOHandlerWrite, NestedWriteBufferKeepsEverythingForTheOuterClose) {
    TLoopbackServer server([](int fd) { TLoopbackServer::ReadAll(fd, 2000); });
    TLoopbackClient c(server.Port());
    c.IO().OpenWriteBuffer();
    c.IO().WriteLn("MAIL FROM:<a@b>");
    c.IO().WriteLines(TStringList{"RCPT TO:<c@d>"});
    EXPECT_TRUE(c.handler->sends.empty());
    c.IO().CloseWriteBuffer();
    EXPECT_EQ(c.handler->sends, (std::vector<size_t>{32}));
    c.client.Disconnect();
}

TEST(IdIOHandlerWrite, WriteStreamSizesAndWorkEvents) {
    std::string received;
    TLoopbackServer server([&](int fd) { received = TLoopbackServer::ReadAll(fd, 2000); });
    {
        TLoopbackClient c(server.Port());
        std::vector<std::string> events;
        c.client.SetOnWorkBegin([&](TComponent*, TWorkMode mode, int32_t total) {
            events.push_back("begin " + std::to_string(mode) + " " + std::to_string(total));
        });
        c.client.SetOnWork([&](TComponent*, TWorkMode, int32_t count) { events.push_back(std::to_string(count)); });
        c.client.SetOnWorkEnd([&](TComponent*, TWorkMode) { events.push_back("end"); });
        c.IO().SetSendBufferSize(4);
        TMemoryStream stream("0123456789");
        stream.SetPosition(5);
        c.IO().WriteStream(stream);  // 0: the whole stream from the start
        stream.SetPosition(7);
        c.IO().WriteStream(stream, -1, true);  // the rest, size first
        stream.SetPosition(2);
        c.IO().WriteStream(stream, 2);
        EXPECT_EQ(events, (std::vector<std::string>{"begin 1 10", "4", "8", "10", "end", "begin 1 3", "3", "end",
                                                    "begin 1 2", "2", "end"}));
        stream.SetPosition(9);
        EXPECT_THROW(c.IO().WriteStream(stream, 5), EIdNoDataToRead);
        c.client.Disconnect();
    }
    server.Join();
    EXPECT_EQ(received, std::string("0123456789") + std::string("\0\0\0\3", 4) + "789" + "23" + "9");
}

TEST(IdIOHandlerWrite, WriteFileThatDoesNotExist) {
    TLoopbackServer server([](int fd) { TLoopbackServer::ReadAll(fd, 2000); });
    TLoopbackClient c(server.Port());
    try {
        c.IO().WriteFile("/nonexistent/file.txt");
        FAIL();
    } catch (const EIdFileNotFound& e) {
        EXPECT_EQ(e.Message(), "File \"/nonexistent/file.txt\" not found");
    }
    c.client.Disconnect();
}

TEST(IdIOHandlerRead, BytesIntegersAndCapturedLines) {
    TLoopbackServer server(
        SendThenWait(std::string("\0\0\1\2", 4) + "xyzline 1\r\n..dot\r\n.\r\nA\r\nB\r\nC\r\n.\r\n"));
    TLoopbackClient c(server.Port());
    EXPECT_EQ(c.IO().ReadInteger(), 258);
    EXPECT_EQ(c.IO().ReadChar(), 'x');
    EXPECT_EQ(c.IO().ReadString(2), "yz");
    EXPECT_EQ(c.IO().ReadString(0), "");
    TStringList lines;
    EXPECT_EQ(c.IO().CaptureLines(lines), 2);
    EXPECT_EQ(lines, (TStringList{"line 1", ".dot"}));
    c.IO().SetMaxCapturedLines(1);
    TMemoryStream stream;
    try {
        c.IO().CaptureLines(stream);
        FAIL();
    } catch (const EIdMaxCaptureLineExceeded& e) {
        EXPECT_EQ(e.Message(), "Maximum number of line allowed exceeded");
    }
    EXPECT_EQ(stream.DataString(), "A\r\nB\r\n");
    c.IO().WriteLn("done");
}

TEST(IdIOHandlerBadInput, BinaryBytesComeThroughUnchanged) {
    std::string binary;
    for (int i = 0; i < 256; ++i)
        if (i != '\n') binary += static_cast<char>(i);
    TLoopbackServer server(SendThenWait(binary + "\n"));
    TLoopbackClient c(server.Port());
    c.IO().SetMaxLineAction(maException);
    EXPECT_EQ(c.IO().ReadLn(), binary);
    c.IO().WriteLn("done");
}

TEST(IdIOHandlerBadInput, MegabytesWithoutLineFeed) {
    TLoopbackServer server(SendThenWait(std::string(4 * 1024 * 1024, 'x')));
    TLoopbackClient c(server.Port());
    EXPECT_THROW(c.IO().ReadLn(), EIdReadLnMaxLineLengthExceeded);
    c.IO().SetMaxLineLength(0);
    EXPECT_EQ(c.IO().ReadLn("\n", 300), "");  // no limit: waits, then times out
    EXPECT_GE(c.IO().InputBuffer()->Size(), 16385);
    c.IO().WriteLn("done");
}

namespace {

// The server reads the client's word, sends `bytes` and resets (RST
// instead of FIN); the reset has reached the client once this returns.
TLoopbackServer::Script ResetAfter(const std::string& bytes) {
    return [bytes](int fd) {
        std::string line;
        TLoopbackServer::ReadLine(fd, line);
        TLoopbackServer::SendAll(fd, bytes);
        linger hard{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    };
}

void AwaitReset(TLoopbackServer& server, TLoopbackClient& c) {
    server.Join();
    pollfd entry{c.client.Socket()->Binding()->Handle(), POLLIN, 0};
    for (int i = 0; i < 5000 && !(entry.revents & (POLLHUP | POLLERR)); ++i) {
        if (i > 0) SleepMilliseconds(1);
        ::poll(&entry, 1, 0);
    }
}

const std::string kReset = "Socket Error # 10054\r\nConnection reset by peer.";

std::string Raised(const std::function<void()>& call) {
    try {
        call();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "no exception";
}

}  // namespace

// Whichever call meets the reset first, that one and every later read or
// write report the reset; none says the peer closed gracefully.
TEST(IdIOHandlerBadInput, AResetStaysAResetForEveryLaterCall) {
    const struct {
        const char* first;
        const char* sent;  // by the server before its reset
        std::function<std::string(TLoopbackClient&)> call;
        std::string answer;
    } cases[] = {
        {"ReadLn", "", [](TLoopbackClient& c) { return Raised([&] { c.IO().ReadLn(); }); }, kReset},
        {"ReadLn of a half line", "half a li", [](TLoopbackClient& c) { return Raised([&] { c.IO().ReadLn(); }); },
         kReset},
        {"WriteLn", "", [](TLoopbackClient& c) { return Raised([&] { c.IO().WriteLn("next"); }); }, kReset},
        {"Connected", "", [](TLoopbackClient& c) { return c.client.Connected() ? "true" : "false"; }, "false"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.first);
        TLoopbackServer server(ResetAfter(row.sent));
        TLoopbackClient c(server.Port());
        c.IO().WriteLn("go");
        AwaitReset(server, c);
        EXPECT_EQ(row.call(c), row.answer);
        for (int again = 0; again < 2; ++again) {
            EXPECT_EQ(Raised([&] { c.IO().ReadLn(); }), kReset);
            EXPECT_EQ(Raised([&] { c.IO().WriteLn("QUIT"); }), kReset);
        }
        // What came before the reset is kept for reading.
        EXPECT_EQ(c.IO().InputBufferAsString(), row.sent);
        EXPECT_FALSE(c.client.Connected());
    }
}

TEST(IdIOHandlerBadInput, CloseDuringASendRaisesWithoutEndingTheProcess) {
    TLoopbackServer server(ResetAfter(""));
    TLoopbackClient c(server.Port());
    c.IO().WriteLn("go");
    AwaitReset(server, c);
    const std::string chunk(1024 * 1024, 'x');
    EXPECT_EQ(Raised([&] {
                  for (int i = 0; i < 16; ++i) c.IO().Write(chunk);
              }),
              kReset);
}

TEST(IdIOHandlerRead, ReadAllCollectsUntilThePeerClosesAndReportsReadWork) {
    TLoopbackServer server([](int fd) {
        TLoopbackServer::SendAll(fd, "first ");
        SleepMilliseconds(50);
        TLoopbackServer::SendAll(fd, "second");
    });
    TLoopbackClient c(server.Port());
    int32_t reported = 0;
    bool ended = false;
    c.client.SetOnWork([&](TComponent*, TWorkMode mode, int32_t count) {
        if (mode == WorkRead) reported = count;
    });
    c.client.SetOnWorkEnd([&](TComponent*, TWorkMode) { ended = true; });
    EXPECT_EQ(c.IO().ReadAll(), "first second");
    EXPECT_EQ(reported, 12);
    EXPECT_TRUE(ended);
    EXPECT_FALSE(c.client.Connected());
}
