// The socket stack on Windows Sockets, run under Wine: the numbers and
// texts users read come from Winsock itself here.
#include "net/IdStack.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/IdComponent.h"
#include "net/IdNetExceptions.h"
#include "net/IdSocketHandle.h"
#include "net/IdTCPClient.h"
#include "platform/Locale.h"
#include "tests/support/WinsockPeers.h"

namespace {

class IdStackWin32 : public ::testing::Test {
protected:
    TIdComponent keepStackAlive_;
    TWinsock peers_;
    TIdStack& Stack() { return *TIdStack::Instance(); }
};

TIdBytes Bytes(const std::string& text) { return TIdBytes(text.begin(), text.end()); }

}  // namespace

TEST_F(IdStackWin32, RefusedConnectCarriesTheWinsockNumberAndText) {
    for (int32_t connectTimeout : {3000, 0}) {
        TIdTCPClient client;
        client.SetHost("127.0.0.1");
        client.SetPort(peers_.ClosedPort());
        client.SetConnectTimeout(connectTimeout);
        try {
            client.Connect();
            FAIL() << "connected to a closed port";
        } catch (const EIdSocketError& e) {
            EXPECT_EQ(e.LastError(), 10061);
            EXPECT_EQ(e.Message(), "Socket Error # 10061\r\nConnection refused.");
        }
        EXPECT_FALSE(client.Connected());
    }
}

TEST_F(IdStackWin32, ConnectsSendsReceivesAndSeesThePeerClose) {
    int port = 0;
    const SOCKET listener = peers_.Listen(4, port);
    TIdSocketHandle binding;
    binding.AllocateSocket();
    binding.Bind();
    binding.SetPeer("127.0.0.1", port);
    ASSERT_TRUE(binding.Connect(3000));
    EXPECT_EQ(binding.IP(), "127.0.0.1");
    EXPECT_NE(binding.Port(), 0);
    EXPECT_EQ(binding.PeerIP(), "127.0.0.1");
    EXPECT_EQ(binding.PeerPort(), port);
    const SOCKET server = peers_.Accept(listener);

    EXPECT_EQ(binding.Send(Bytes("EHLO x\r\n")), 8);
    EXPECT_EQ(TWinsock::Receive(server), "EHLO x\r\n");
    EXPECT_FALSE(binding.WaitReadable(0)) << "nothing was sent yet";
    ::send(server, "250 ok\r\n", 8, 0);
    ASSERT_TRUE(binding.WaitReadable(3000));
    TIdBytes buffer(64);
    ASSERT_EQ(binding.Receive(buffer), 8);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 8), "250 ok\r\n");

    peers_.Close(server);
    ASSERT_TRUE(binding.WaitReadable(TimeoutInfinite));
    EXPECT_EQ(binding.Receive(buffer), 0);
}

// A reset is an error the caller sees, never the end of the program.
// (Wine shows the reset to a receive as a close; a send sees it.)
TEST_F(IdStackWin32, SendOnAResetConnectionRaises10054) {
    int port = 0;
    const SOCKET listener = peers_.Listen(4, port);
    TIdSocketHandle binding;
    binding.AllocateSocket();
    binding.SetPeer("127.0.0.1", port);
    ASSERT_TRUE(binding.Connect(3000));
    const SOCKET server = peers_.Accept(listener);
    binding.Send(Bytes("unread\r\n"));
    SleepMilliseconds(50);  // the bytes are in the peer's buffer
    peers_.Reset(server);
    ASSERT_TRUE(binding.WaitReadable(3000));
    try {
        for (int i = 0; i < 100; ++i) binding.Send(Bytes("RSET\r\n"));
        FAIL() << "sent to a reset connection";
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.LastError(), 10054);
        EXPECT_EQ(e.Message(), "Socket Error # 10054\r\nConnection reset by peer.");
    }
}

TEST_F(IdStackWin32, ConnectWithALimitGivesUpOnASilentPeer) {
    int port = 0;
    peers_.Listen(0, port);
    if (!peers_.FillQueue(port)) GTEST_SKIP() << "could not fill the accept queue";
    TIdTCPClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(port);
    client.SetConnectTimeout(500);
    const uint64_t start = MonotonicMilliseconds();
    try {
        client.Connect();
        FAIL() << "connected to a full listener";
    } catch (const EIdConnectTimeout& e) {
        EXPECT_EQ(e.Message(), "Connect timed out.");
    }
    EXPECT_GE(MonotonicMilliseconds() - start, 490u);
    EXPECT_FALSE(client.Connected());
}

TEST_F(IdStackWin32, ClosedHandleIsNotASocket) {
    const TIdStackSocketHandle handle = Stack().NewSocketHandle(Id_SOCK_STREAM, 0, Id_IPv4);
    Stack().Disconnect(handle);
    try {
        Stack().Readable(handle, 0);
        FAIL() << "a closed handle was waited on";
    } catch (const EIdNotASocket& e) {
        EXPECT_EQ(e.LastError(), 10038);
        EXPECT_EQ(e.Message(), "Socket Error # 10038\r\nSocket operation on non-socket.");
    }
}

TEST_F(IdStackWin32, NamesResolveThroughWinsock) {
    EXPECT_EQ(Stack().ResolveHost("LocalHost", Id_IPv4), "127.0.0.1");
    const std::vector<TIdSocketAddress> literal = Stack().ResolveAddresses("010.0.0.1", Id_IPv4);
    ASSERT_EQ(literal.size(), 1u);
    EXPECT_EQ(literal[0].ip, "10.0.0.1");
    try {
        Stack().ResolveHost("no-such-host.invalid", Id_IPv4);
        FAIL();
    } catch (const EIdSocketError& e) {
        if (e.LastError() == Id_WSATRY_AGAIN) GTEST_SKIP() << "no resolver on this machine";
        EXPECT_EQ(e.LastError(), 11001);
        EXPECT_EQ(e.Message(), "Socket Error # 11001\r\nHost not found.");
    }
}

// Each life of the stack starts Winsock again: one that ended must not
// leave the next one without it.
TEST(IdStackWin32Lifetime, SocketsWorkInEveryLifeOfTheStack) {
    for (int life = 0; life < 2; ++life) {
        TIdSocketHandle binding;
        binding.AllocateSocket();
        binding.Bind();
        EXPECT_NE(binding.Port(), 0) << "life " << life;
    }
}
