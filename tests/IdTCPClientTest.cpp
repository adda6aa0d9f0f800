#include "net/IdTCPClient.h"

#include <dirent.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>

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

namespace {

// Runs body in a child process with a network of its own: a new network
// namespace with only the loopback interface up, and `hosts` in place of
// /etc/hosts (a mount namespace of its own), so that no address a test
// names can ever reach another machine. The child reports its failures
// on standard output and through its exit status. False, with the
// reason, where this machine cannot make the namespaces.
bool InPrivateNetwork(const std::string& hosts, const std::function<void()>& body, std::string& why) {
    char path[] = "/tmp/idtcpclient-hosts-XXXXXX";
    const int file = ::mkstemp(path);
    if (file < 0 || ::write(file, hosts.data(), hosts.size()) != static_cast<ssize_t>(hosts.size())) {
        why = "cannot write a hosts file";
        return false;
    }
    ::close(file);
    int report[2];
    if (::pipe(report) != 0) {
        why = "no pipe";
        return false;
    }
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        const char* failed = nullptr;
        const int kinds = CLONE_NEWNET | CLONE_NEWNS;
        if (::unshare(kinds) != 0 && ::unshare(CLONE_NEWUSER | kinds) != 0) failed = "unshare";
        else if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) failed = "private mounts";
        else if (::mount(path, "/etc/hosts", nullptr, MS_BIND, nullptr) != 0) failed = "bind-mounting /etc/hosts";
        if (failed == nullptr) {
            ifreq request{};
            std::strcpy(request.ifr_name, "lo");
            const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            if (fd < 0 || ::ioctl(fd, SIOCGIFFLAGS, &request) != 0) failed = "reading the flags of lo";
            request.ifr_flags |= IFF_UP;
            if (failed == nullptr && ::ioctl(fd, SIOCSIFFLAGS, &request) != 0) failed = "bringing lo up";
            if (fd >= 0) ::close(fd);
        }
        if (failed != nullptr) {
            const std::string text = std::string(failed) + ": " + std::strerror(errno);
            (void)!::write(report[1], text.data(), text.size());
            ::_exit(77);
        }
        ::close(report[1]);
        body();
        std::fflush(nullptr);
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    ::close(report[1]);
    char text[256] = {};
    while (::read(report[0], text, sizeof text - 1) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    int status = -1;
    ::waitpid(child, &status, 0);
    ::unlink(path);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
        why = text;
        return false;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the checks inside the namespace failed (above)";
    return true;
}

// A listening socket on the loopback address of the family, at `port`
// (0: any free one). The kernel completes connects to it unaccepted.
struct TLoopbackListener {
    TLoopbackListener(int family, int wantedPort) {
        fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage storage{};
        socklen_t length = 0;
        if (family == AF_INET6) {
            auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
            in6->sin6_family = AF_INET6;
            in6->sin6_addr = in6addr_loopback;
            in6->sin6_port = htons(static_cast<uint16_t>(wantedPort));
            length = sizeof *in6;
        } else {
            auto* in = reinterpret_cast<sockaddr_in*>(&storage);
            in->sin_family = AF_INET;
            in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            in->sin_port = htons(static_cast<uint16_t>(wantedPort));
            length = sizeof *in;
        }
        auto* address = reinterpret_cast<sockaddr*>(&storage);
        EXPECT_EQ(::bind(fd, address, length), 0) << std::strerror(errno);
        EXPECT_EQ(::listen(fd, 16), 0);
        ::getsockname(fd, address, &length);
        port = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                                        : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
    }
    ~TLoopbackListener() { ::close(fd); }
    int fd = -1;
    int port = 0;
};

// Where a connect to host ended: the peer address and its family, or the
// message of the failure.
std::string ConnectTo(const std::string& host, int port, TIdIPVersion ipVersion = Id_IPv4) {
    TIdTCPClient client;
    client.SetHost(host);
    client.SetPort(port);
    client.SetIPVersion(ipVersion);
    client.SetConnectTimeout(3000);
    try {
        client.Connect();
    } catch (const Exception& e) {
        return e.Message();
    }
    const TIdSocketHandle& binding = *client.Socket()->Binding();
    return binding.PeerIP() + (binding.IPVersion() == Id_IPv6 ? " over IPv6" : " over IPv4");
}

const char* const kV4 = "127.0.0.1 over IPv4";
const char* const kV6 = "0:0:0:0:0:0:0:1 over IPv6";

}  // namespace

// Literals mean what they say, names with only IPv6 addresses connect,
// and each address of a name is tried in turn.
TEST(IdTCPClientConnect, AddressLiteralsAndNamesInAPrivateNetwork) {
    const std::string hosts =
        "127.0.0.1 localhost\n::1 v6only.test\n::1 both.test\n127.0.0.1 both.test\n"
        "::1 closed.test\n127.0.0.1 closed.test\n";
    std::string why;
    const bool ran = InPrivateNetwork(hosts, [] {
        const TLoopbackListener v4(AF_INET, 0);
        // The same port on ::1 as on 127.0.0.1, for names that have both.
        const TLoopbackListener v6(AF_INET6, v4.port);
        const TLoopbackListener v4Only(AF_INET, 0);
        const int closed = loopback::ClosedPort();
        const struct {
            const char* host;
            int port;
            TIdIPVersion ipVersion;
            std::string outcome;
        } cases[] = {
            {"127.0.0.1", v4.port, Id_IPv4, kV4},
            {"0127.0.0.1", v4.port, Id_IPv4, kV4},  // decimal, not octal 87.0.0.1
            {"0127.000.000.001", v4.port, Id_IPv4, kV4},
            {"127.0.0.1.", v4.port, Id_IPv4, kV4},
            {"localhost.", v4.port, Id_IPv4, kV4},
            {"::1", v6.port, Id_IPv4, kV6},
            {"[::1]", v6.port, Id_IPv4, kV6},
            {"0:0:0:0:0:0:0:1", v6.port, Id_IPv4, kV6},
            {"::1", v6.port, Id_IPv6, kV6},
            {"v6only.test", v6.port, Id_IPv4, kV6},
            {"v6only.test.", v6.port, Id_IPv4, kV6},
            {"v6only.test", v6.port, Id_IPv6, kV6},
            // ::1 comes first and refuses: the IPv4 address is tried next.
            {"both.test", v4Only.port, Id_IPv4, kV4},
            {"closed.test", closed, Id_IPv4, "Socket Error # 10061\r\nConnection refused."},
            {"[::1]", closed, Id_IPv4, "Socket Error # 10061\r\nConnection refused."},
        };
        for (const auto& c : cases)
            EXPECT_EQ(ConnectTo(c.host, c.port, c.ipVersion), c.outcome) << c.host << " version " << c.ipVersion;
    }, why);
    if (!ran) GTEST_SKIP() << "cannot make a private network namespace here (" << why << ")";
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
