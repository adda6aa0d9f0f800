#include "net/IdStack.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "net/IdComponent.h"
#include "net/IdNetExceptions.h"
#include "net/IdSocketHandle.h"
#include "platform/Locale.h"

namespace {

// Keeps the shared stack alive for a test.
class IdStackSockets : public ::testing::Test {
protected:
    TIdComponent keepStackAlive_;
    TIdStack& Stack() { return *TIdStack::Instance(); }
};

// A port that is free now: bound and released.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

}  // namespace

TEST(IdStackText, IPv4Literals) {
    struct Case {
        const char* text;
        bool literal;
    } cases[] = {
        {"1.2.3.4", true},      {"192.168.1.10", true},  {"0.0.0.0", true},        {"255.255.255.255", true},
        {"1.2.3", false},       {"1.2.3.4.5", false},    {"1.2.3.256", false},     {"192.168.1.300", false},
        {"mail.example", false}, {"", false},            {"1.2.3.4.", false},      {"1..3.4", false},
        {"a.b.c.d", false},     {"-1.2.3.4", false},
        // Parts are decimal whatever their leading zeros: never octal.
        {"0127.0.0.1", true},   {"127.000.0.001", true}, {"0000000010.0.0.1", true}, {"1.2.3.0256", false},
        {"1.2.3.08", true},     {"1.2.3.0x1", false},
    };
    for (const Case& c : cases) EXPECT_EQ(TIdStack::IsIPv4Literal(c.text), c.literal) << c.text;
}

TEST(IdStackText, PlainHostDropsBracketsAndOneTrailingDot) {
    const std::pair<const char*, const char*> cases[] = {
        {"127.0.0.1.", "127.0.0.1"}, {"mx.example.com.", "mx.example.com"}, {"[::1]", "::1"},
        {"[fe80::1].", "[fe80::1]"}, {"mx..", "mx."},                       {".", "."},
        {"", ""},                    {"[]", "[]"},                          {"mx.example.com", "mx.example.com"},
    };
    for (const auto& [host, plain] : cases) EXPECT_EQ(TIdStack::PlainHost(host), plain) << host;
}

TEST(IdStackText, CanonicalIPv6) {
    struct Case {
        const char* text;
        const char* canonical;
    } cases[] = {
        {"::1", "0:0:0:0:0:0:0:1"},
        {"fe80::1", "FE80:0:0:0:0:0:0:1"},
        {"::", "0:0:0:0:0:0:0:0"},
        {"2001:db8::", "2001:DB8:0:0:0:0:0:0"},
        {"2001:0db8:0000:0000:0000:ff00:0042:8329", "2001:DB8:0:0:0:FF00:42:8329"},
        {"1:2:3:4:5:6::7", "1:2:3:4:5:6:0:7"},
        {"::ffff:192.168.1.2", "0:0:0:0:0:FFFF:C0A8:0102"},
        {"", ""},
        {"1::2::3", ""},
        {"12345::", ""},
        {"1:2:3", ""},  // neither eight groups nor a "::"
        {"1:2:3:4:5:6:7:8:9", ""},
        {"g::1", ""},
        {"::1.2.3.4:5", ""},
        {"::ffff:1.2.3.256", ""},
        {"1.2.3.4", ""},
        {"host", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(TIdStack::MakeCanonicalIPv6Address(c.text), c.canonical) << c.text;
}

TEST(IdStackText, SocketErrorTexts) {
    struct Case {
        int32_t number;
        const char* text;
    } cases[] = {
        {10061, "Socket Error # 10061\r\nConnection refused."},
        {10054, "Socket Error # 10054\r\nConnection reset by peer."},
        {10060, "Socket Error # 10060\r\nConnection timed out."},
        {10066, "Socket Error # 10066\r\nDirectory not empty"},
        {11001, "Socket Error # 11001\r\nHost not found."},
        {11002, "Socket Error # 11002\r\n"},  // not in the table: empty second line
        {5, "Socket Error # 5\r\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(TIdStack::SocketErrorText(c.number), c.text);
}

TEST(IdStackText, RaiseSocketErrorCarriesTheNumberAndNotASocketIsASocketError) {
    try {
        TIdStack::RaiseSocketError(10038);
        FAIL();
    } catch (const EIdNotASocket& e) {
        EXPECT_EQ(e.LastError(), 10038);
        EXPECT_EQ(e.Message(), "Socket Error # 10038\r\nSocket operation on non-socket.");
    }
    EXPECT_THROW(TIdStack::RaiseSocketError(10038), EIdSocketError);
    try {
        TIdStack::RaiseSocketError(10054);
        FAIL();
    } catch (const EIdNotASocket&) {
        FAIL() << "only 10038 is EIdNotASocket";
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.LastError(), 10054);
    }
}

TEST(IdStackText, ErrnoMapsOntoWindowsSocketsNumbers) {
    struct Case {
        int err;
        int32_t number;
    } cases[] = {
        {ECONNREFUSED, 10061}, {ETIMEDOUT, 10060},    {ECONNRESET, 10054},  {ECONNABORTED, 10053},
        {EPIPE, 10058},        {ESHUTDOWN, 10058},    {EHOSTUNREACH, 10065}, {ENETUNREACH, 10051},
        {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049}, {ENOTSOCK, 10038},   {EBADF, 10009},
        {EINTR, 10004},        {EACCES, 10013},       {EINVAL, 10022},      {EMFILE, 10024},
        {EWOULDBLOCK, 10035},  {EINPROGRESS, 10036},  {EALREADY, 10037},    {EISCONN, 10056},
        {ENOTCONN, 10057},     {ENOBUFS, 10055},      {EAFNOSUPPORT, 10047},
    };
    for (const Case& c : cases) EXPECT_EQ(TIdStack::TranslateErrno(c.err), c.number) << c.err;
}

TEST_F(IdStackSockets, ResolvesLocalhostInAnyCaseWithoutLookupAndLiteralsUnchanged) {
    for (const char* name : {"localhost", "LOCALHOST", "LocalHost"})
        EXPECT_EQ(Stack().ResolveHost(name, Id_IPv4), "127.0.0.1");
    EXPECT_EQ(Stack().ResolveHost("10.1.2.3", Id_IPv4), "10.1.2.3");
    EXPECT_EQ(Stack().ResolveHost("::1", Id_IPv6), "0:0:0:0:0:0:0:1");
    EXPECT_EQ(Stack().ResolveHost("x", static_cast<TIdIPVersion>(7)), "");
}

TEST_F(IdStackSockets, UnknownHostRaises11001) {
    try {
        Stack().ResolveHost("no-such-host.invalid", Id_IPv4);
        FAIL();
    } catch (const EIdSocketError& e) {
        // Without any resolver the answer may be a temporary failure instead.
        if (e.LastError() == Id_WSATRY_AGAIN) GTEST_SKIP() << "no resolver on this machine";
        EXPECT_EQ(e.LastError(), 11001);
        EXPECT_EQ(e.Message(), "Socket Error # 11001\r\nHost not found.");
    }
}

TEST_F(IdStackSockets, BindWithPortZeroTakesAPlatformPort) {
    TIdSocketHandle handle;
    handle.AllocateSocket();
    handle.Bind();
    EXPECT_GT(handle.Port(), 0);
    EXPECT_EQ(handle.IP(), "0.0.0.0");
}

TEST_F(IdStackSockets, BindInARangeSkipsTakenPortsFromTheTop) {
    // Find three consecutive free ports, then take the highest.
    int base = 0;
    TIdSocketHandle blocker;
    for (int attempt = 0; attempt < 50 && base == 0; ++attempt) {
        const int candidate = FreePort();
        if (candidate < 1024 || candidate > 65533) continue;
        blocker.AllocateSocket();
        blocker.SetIP("127.0.0.1");
        blocker.SetPort(candidate + 2);
        try {
            blocker.Bind();
            base = candidate;
        } catch (const EIdCouldNotBindSocket&) {
        }
    }
    ASSERT_NE(base, 0);
    TIdSocketHandle handle;
    handle.AllocateSocket();
    handle.SetIP("127.0.0.1");
    handle.SetClientPortMin(base);
    handle.SetClientPortMax(base + 2);
    handle.Bind();
    EXPECT_EQ(handle.Port(), base + 1);

    TIdSocketHandle single;
    single.AllocateSocket();
    single.SetIP("127.0.0.1");
    single.SetPort(base + 2);
    try {
        single.Bind();
        FAIL();
    } catch (const EIdCouldNotBindSocket& e) {
        EXPECT_EQ(e.Message(), "Could not bind socket. Address and port are already in use.");
    }
}

TEST_F(IdStackSockets, BindRangeErrors) {
    TIdSocketHandle handle;
    handle.AllocateSocket();
    handle.SetClientPortMin(5002);
    handle.SetClientPortMax(5000);
    try {
        handle.Bind();
        FAIL();
    } catch (const EIdInvalidPortRange& e) {
        EXPECT_EQ(e.Message(), "Invalid Port Range (5002 - 5000)");
    }
    TIdSocketHandle taken;
    taken.AllocateSocket();
    taken.SetIP("127.0.0.1");
    taken.Bind();
    TIdSocketHandle second;
    second.AllocateSocket();
    second.SetIP("127.0.0.1");
    second.SetClientPortMin(taken.Port());
    second.SetClientPortMax(taken.Port());
    try {
        second.Bind();
        FAIL();
    } catch (const EIdCanNotBindPortInRange& e) {
        EXPECT_EQ(e.Message(), Format("Can not bind in port range (%d - %d)", taken.Port(), taken.Port()));
    }
}

TEST_F(IdStackSockets, IPVersionCannotChangeWhileASocketIsHeld) {
    TIdSocketHandle handle;
    handle.SetIPVersion(Id_IPv6);
    handle.SetIPVersion(Id_IPv4);
    handle.AllocateSocket();
    handle.SetIPVersion(Id_IPv4);  // unchanged: fine
    try {
        handle.SetIPVersion(Id_IPv6);
        FAIL();
    } catch (const EIdCannotSetIPVersionWhenConnected& e) {
        EXPECT_EQ(e.Message(), "Cannot change IPVersion when connected");
    }
    handle.CloseSocket();
    EXPECT_FALSE(handle.HandleAllocated());
    handle.SetIPVersion(Id_IPv6);
}

TEST_F(IdStackSockets, WaitReadablePollsWaitsAndNeedsASocket) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    EXPECT_FALSE(Stack().Readable(pair[0], 0));
    const uint64_t start = MonotonicMilliseconds();
    EXPECT_FALSE(Stack().Readable(pair[0], 150));
    EXPECT_GE(MonotonicMilliseconds() - start, 140u);
    ASSERT_EQ(::write(pair[1], "x", 1), 1);
    EXPECT_TRUE(Stack().Readable(pair[0], TimeoutInfinite));
    ::close(pair[1]);
    ::close(pair[0]);

    TIdSocketHandle handle;
    try {
        handle.WaitReadable(0);
        FAIL();
    } catch (const EIdConnClosedGracefully& e) {
        EXPECT_EQ(e.Message(), "Connection Closed Gracefully.");
    }
}

TEST_F(IdStackSockets, StackLivesWhileComponentsDo) {
    EXPECT_NE(TIdStack::Instance(), nullptr);
    EXPECT_EQ(TIdStack::Instance()->HostName(), LocalHostName());
}

TEST(IdStackLifetime, UndefinedStackClassRefusesComponents) {
    ASSERT_EQ(TIdStack::Instance(), nullptr);
    TIdStack::SetStackClass(nullptr);
    try {
        TIdComponent component;
        ADD_FAILURE() << "component made without a stack";
    } catch (const EIdException& e) {
        EXPECT_EQ(e.Message(), "Stack Class is undefined.");
    }
    TIdStack::SetStackClass([] { return std::make_unique<TIdStack>(); });
    {
        TIdComponent component;
        EXPECT_NE(TIdStack::Instance(), nullptr);
    }
    EXPECT_EQ(TIdStack::Instance(), nullptr);
}
