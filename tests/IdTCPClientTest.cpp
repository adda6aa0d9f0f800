#include "net/IdTCPClient.h"

#include <dirent.h>
#include <netinet/in.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "net/IdIOHandlerStack.h"
#include "net/IdNetExceptions.h"
#include "platform/Locale.h"
#include "tests/support/LoopbackClient.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/SilentListener.h"

namespace {

size_t CountEntries(const char* folder) {
    size_t count = 0;
    if (DIR* dir = ::opendir(folder)) {
        while (::readdir(dir) != nullptr) ++count;
        ::closedir(dir);
    }
    return count;
}

class TFlaggedHandler : public TIdIOHandlerStack {
public:
    explicit TFlaggedHandler(bool* destroyed, TComponent* owner = nullptr)
        : TIdIOHandlerStack(owner), destroyed_(destroyed) {}
    ~TFlaggedHandler() override { *destroyed_ = true; }

private:
    bool* destroyed_;
};

}  // namespace

TEST(IdTCPClientConnect, RefusedPortReports10061AtOnce) {
    for (int32_t connectTimeout : {3000, 0}) {
        TIdTCPClient client;
        client.SetHost("127.0.0.1");
        client.SetPort(loopback::ClosedPort());
        client.SetConnectTimeout(connectTimeout);
        const uint64_t start = MonotonicMilliseconds();
        try {
            client.Connect();
            FAIL();
        } catch (const EIdSocketError& e) {
            EXPECT_EQ(e.LastError(), 10061);
            EXPECT_EQ(e.Message(), "Socket Error # 10061\r\nConnection refused.");
        }
        EXPECT_LT(MonotonicMilliseconds() - start, 1000u);  // a fraction of the limit
        EXPECT_FALSE(client.Connected());
        EXPECT_FALSE(client.Socket()->Binding()->HandleAllocated());
    }
}

TEST(IdTCPClientConnect, SilentPeerTimesOutNearTheLimitLeavingNothingBehind) {
    TSilentListener silent;
    if (!silent.Full()) GTEST_SKIP() << "could not fill the accept queue";
    TIdTCPClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(silent.Port());
    client.SetConnectTimeout(500);
    const size_t descriptors = CountEntries("/proc/self/fd");
    const size_t threads = CountEntries("/proc/self/task");
    const uint64_t start = MonotonicMilliseconds();
    try {
        client.Connect();
        FAIL() << "connected to a full listener";
    } catch (const EIdConnectTimeout& e) {
        EXPECT_EQ(e.Message(), "Connect timed out.");
    }
    const uint64_t elapsed = MonotonicMilliseconds() - start;
    EXPECT_GE(elapsed, 490u);
    EXPECT_LT(elapsed, 1500u);
    EXPECT_EQ(CountEntries("/proc/self/fd"), descriptors);
    EXPECT_EQ(CountEntries("/proc/self/task"), threads);
    EXPECT_FALSE(client.Connected());
    EXPECT_FALSE(client.IOHandler()->IsOpen());
}

TEST(IdTCPClientConnect, ConnectsReportsStatusAndRefusesASecondConnect) {
    TLoopbackServer server([](int fd) { TLoopbackServer::ReadAll(fd, 2000); });
    TIdTCPClient client;
    std::vector<std::string> status;
    client.SetOnStatus([&](TComponent*, TIdStatus, const std::string& text) { status.push_back(text); });
    int connected = 0;
    client.SetOnConnected([&](TComponent*) { ++connected; });
    client.SetHost("localhost");
    client.SetPort(server.Port());
    client.SetConnectTimeout(3000);
    client.Connect();
    EXPECT_TRUE(client.Connected());
    EXPECT_TRUE(client.OwnsIOHandler());
    EXPECT_EQ(connected, 1);
    EXPECT_EQ(status, (std::vector<std::string>{"Resolving hostname localhost.", "Connecting to 127.0.0.1.",
                                                "Connected."}));
    EXPECT_EQ(client.Socket()->Binding()->PeerPort(), server.Port());
    EXPECT_EQ(client.Socket()->Binding()->PeerIP(), "127.0.0.1");
    try {
        client.Connect();
        FAIL();
    } catch (const EIdAlreadyConnected& e) {
        EXPECT_EQ(e.Message(), "Already connected.");
    }
    int disconnected = 0;
    client.SetOnDisconnected([&](TComponent*) { ++disconnected; });
    status.clear();
    client.Disconnect();
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(disconnected, 1);
    EXPECT_EQ(status, (std::vector<std::string>{"Disconnecting.", "Disconnected."}));
    client.Disconnect();  // closed already: nothing happens
    EXPECT_EQ(disconnected, 1);
}

TEST(IdTCPClientConnect, IPv6LoopbackLiteral) {
    const int listener = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 addr{};
    addr.sin6_family = AF_INET6;
    addr.sin6_addr = in6addr_loopback;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener, 4) != 0) {
        if (listener >= 0) ::close(listener);
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    socklen_t len = sizeof addr;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    TIdTCPClient client;
    client.SetHost("::1");
    client.SetPort(ntohs(addr.sin6_port));
    client.SetIPVersion(Id_IPv6);
    client.SetConnectTimeout(3000);
    client.Connect();
    EXPECT_TRUE(client.Connected());
    EXPECT_EQ(client.Socket()->Binding()->PeerIP(), "0:0:0:0:0:0:0:1");
    EXPECT_EQ(client.Socket()->Binding()->IPVersion(), Id_IPv6);
    client.Disconnect();
    ::close(listener);
}

TEST(IdTCPClientConnect, FailedConnectLeavesTheClientReusable) {
    TLoopbackServer server([](int fd) { TLoopbackServer::SendAll(fd, "220 ready\r\n"); });
    TIdTCPClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(loopback::ClosedPort());
    client.SetConnectTimeout(3000);
    EXPECT_THROW(client.Connect(), EIdSocketError);
    client.SetPort(server.Port());
    client.SetHost("127.000.0.001");  // a literal with leading zeros is still a literal
    client.Connect();
    EXPECT_EQ(client.IOHandler()->ReadLn(), "220 ready");
}

TEST(IdTCPClientConnect, EmptyHostOrPortZeroOpensWithoutSocket) {
    struct Case {
        std::string host;
        int32_t port;
    } cases[] = {{"", 25}, {"127.0.0.1", 0}};
    for (const Case& c : cases) {
        TIdTCPClient client;
        client.SetHost(c.host);
        client.SetPort(c.port);
        client.Connect();
        EXPECT_TRUE(client.IOHandler()->IsOpen());
        EXPECT_FALSE(client.Socket()->Binding()->HandleAllocated());
        try {
            client.IOHandler()->ReadLn();
            ADD_FAILURE();
        } catch (const EIdConnClosedGracefully& e) {
            EXPECT_EQ(e.Message(), "Connection Closed Gracefully.");
        }
        try {
            client.IOHandler()->WriteLn("x");
            ADD_FAILURE();
        } catch (const EIdConnClosedGracefully&) {
        }
    }
}

TEST(IdTCPClientHandler, DestinationParsingAndText) {
    struct Case {
        const char* destination;
        const char* host;
        int32_t port;
        const char* text;
    } cases[] = {
        {"mail.example:587", "mail.example", 587, "mail.example:587"},
        {"nocolon", "old", 99, "old:99"},          // nothing changes
        {"mail.example:abc", "mail.example", 25, "mail.example"},  // not a number: DefaultPort
        {"::1:465", "::1", 465, "::1:465"},        // the last colon counts
        {"host: 2525 ", "host", 2525, "host:2525"},
        {"host:", "host", 25, "host"},
        {"host:0", "host", 0, "host"},
    };
    for (const Case& c : cases) {
        TIdIOHandlerStack handler;
        handler.SetDefaultPort(25);
        handler.SetHost("old");
        handler.SetPort(99);
        handler.SetDestination(c.destination);
        EXPECT_EQ(handler.Host(), c.host) << c.destination;
        EXPECT_EQ(handler.Port(), c.port) << c.destination;
        EXPECT_EQ(handler.Destination(), c.text) << c.destination;
    }
}

TEST(IdTCPClientHandler, SettingsReachTheAttachedHandler) {
    TIdTCPClient client;
    client.SetHost("a.example");
    client.SetPort(25);
    client.SetConnectTimeout(3000);
    client.SetReadTimeout(2000);
    auto* handler = new TIdIOHandlerStack(&client);
    client.SetIOHandler(handler);
    EXPECT_EQ(handler->Host(), "a.example");
    EXPECT_EQ(handler->Port(), 25);
    EXPECT_EQ(handler->ConnectTimeout(), 3000);
    EXPECT_EQ(handler->ReadTimeout(), 2000);
    EXPECT_EQ(client.Socket(), handler);
    EXPECT_EQ(handler->WorkTarget(), &client);
    client.SetHost("");  // an empty host is not passed on
    client.SetPort(0);   // neither is port 0
    EXPECT_EQ(handler->Host(), "a.example");
    EXPECT_EQ(handler->Port(), 25);
    handler->SetReadTimeout(700);
    EXPECT_EQ(client.ReadTimeout(), 700);  // read from the handler
    client.SetIPVersion(Id_IPv6);
    EXPECT_EQ(handler->IPVersion(), Id_IPv6);
}

TEST(IdTCPClientHandler, OwnedHandlerIsFreedOnReplacementAndForeignOneIsForgotten) {
    bool firstGone = false, secondGone = false;
    TIdTCPClient client;
    client.SetIOHandler(new TFlaggedHandler(&firstGone));
    client.SetOwnsIOHandler(true);
    auto* second = new TFlaggedHandler(&secondGone);
    client.SetIOHandler(second);
    EXPECT_TRUE(firstGone);
    EXPECT_FALSE(client.OwnsIOHandler());
    delete second;  // destroyed elsewhere: the client drops its reference
    EXPECT_TRUE(secondGone);
    EXPECT_EQ(client.IOHandler(), nullptr);
    EXPECT_EQ(client.Socket(), nullptr);
    EXPECT_FALSE(client.Connected());
    try {
        client.EnsureIOHandler();
        FAIL();
    } catch (const EIdNotConnected& e) {
        EXPECT_EQ(e.Message(), "Not connected.");
    }
    try {
        client.CheckGracefulDisconnect(true);
        FAIL();
    } catch (const EIdException& e) {
        EXPECT_EQ(e.Message(), "Not Connected");
    }
}

namespace {
class TFailingGoodbyeClient : public TIdTCPClient {
protected:
    void NotifyPeerBeforeDisconnect() override { throw EIdException("goodbye failed"); }
};
}  // namespace

TEST(IdTCPClientHandler, DisconnectClosesEvenWhenTheHookFails) {
    TLoopbackServer server([](int fd) { TLoopbackServer::ReadAll(fd, 2000); });
    TFailingGoodbyeClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(server.Port());
    client.Connect();
    int disconnected = 0;
    client.SetOnDisconnected([&](TComponent*) { ++disconnected; });
    try {
        client.Disconnect();
        FAIL();
    } catch (const EIdException& e) {
        EXPECT_EQ(e.Message(), "goodbye failed");
    }
    EXPECT_EQ(disconnected, 1);
    EXPECT_FALSE(client.Connected());
    client.Disconnect(false);  // no hook without notifying the peer
}
