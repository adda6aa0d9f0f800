// Connection intercepts: the order of a chain, references cleared when an
// intercept goes away, and what an intercept on a live connection sees
// (and changes), in clear text also under TLS.
#include "net/IdConnectionIntercept.h"
#include "net/IdIOHandlerStack.h"
#include "net/IdSSLOpenSSL.h"
#include "net/IdTCPClient.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TlsTestServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using ::testing::ElementsAre;

namespace {

std::string Text(const TIdBytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Records every event as "<name> <event>[ bytes]".
struct TRecorder {
    std::vector<std::string> events;
    void Watch(TIdConnectionIntercept& intercept, const std::string& name) {
        intercept.SetOnConnect([this, name](TComponent*) { events.push_back(name + " connect"); });
        intercept.SetOnDisconnect([this, name](TComponent*) { events.push_back(name + " disconnect"); });
        intercept.SetOnSend([this, name](TIdBytes& b) { events.push_back(name + " send " + Text(b)); });
        intercept.SetOnReceive([this, name](TIdBytes& b) { events.push_back(name + " receive " + Text(b)); });
    }
};

TEST(IdConnectionIntercept, ChainRunsOwnEventFirstOnConnectAndSendAndLastOnReceiveAndDisconnect) {
    TIdConnectionIntercept outer, inner;
    outer.SetIntercept(&inner);
    TRecorder r;
    r.Watch(outer, "outer");
    r.Watch(inner, "inner");
    TIdBytes bytes{'x'};
    outer.Connect(nullptr);
    outer.Send(bytes);
    outer.Receive(bytes);
    outer.Disconnect();
    EXPECT_THAT(r.events, ElementsAre("outer connect", "inner connect", "outer send x", "inner send x",
                                      "inner receive x", "outer receive x", "inner disconnect",
                                      "outer disconnect"));
}

TEST(IdConnectionIntercept, ReferencesAreClearedWhenTheInterceptIsDestroyed) {
    TIdIOHandlerStack handler;
    TIdConnectionIntercept outer;
    {
        TIdConnectionIntercept inner;
        handler.SetIntercept(&inner);
        outer.SetIntercept(&inner);
    }
    EXPECT_EQ(handler.Intercept(), nullptr);
    EXPECT_EQ(outer.Intercept(), nullptr);
}

// The client's intercept upper-cases what it sends: the server gets the
// changed line. Close after Disconnect does not tell the intercept again.
TEST(IdConnectionIntercept, SeesAndChangesTheBytesOfALiveConnectionAndHearsOneDisconnect) {
    std::string heard;
    TLoopbackServer server([&](int fd) {
        TLoopbackServer::ReadLine(fd, heard);
        TLoopbackServer::SendAll(fd, "250 ok\r\n");
    });
    TIdTCPClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(server.Port());
    auto* handler = new TIdIOHandlerStack(&client);
    client.SetIOHandler(handler);
    TIdConnectionIntercept intercept;
    TRecorder r;
    r.Watch(intercept, "i");
    intercept.SetOnSend([&](TIdBytes& b) {
        for (uint8_t& c : b) c = static_cast<uint8_t>(std::toupper(c));
        r.events.push_back("i send " + Text(b));
    });
    handler->SetIntercept(&intercept);
    client.Connect();
    handler->WriteLn("ehlo telvara");
    EXPECT_EQ(handler->ReadLn(), "250 ok");
    server.Join();
    client.Disconnect(false);
    handler->Close();
    EXPECT_EQ(heard, "EHLO TELVARA");
    EXPECT_THAT(r.events, ElementsAre("i connect", "i send EHLO TELVARA\r\n", "i receive 250 ok\r\n",
                                      "i disconnect"));
}

TEST(IdConnectionIntercept, SeesClearTextUnderTLS) {
    TTlsTestServer server([](TTlsServerSession& s) {
        s.WriteLine("220 secret");
        std::string line;
        s.ReadLine(line);
    });
    TIdTCPClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(server.Port());
    client.SetReadTimeout(3000);
    auto* handler = new TIdSSLIOHandlerSocketOpenSSL(&client);
    client.SetIOHandler(handler);
    handler->SetBypassTLS(false);
    TIdConnectionIntercept intercept;
    TRecorder r;
    r.Watch(intercept, "i");
    handler->SetIntercept(&intercept);
    client.Connect();
    EXPECT_EQ(handler->ReadLn(), "220 secret");
    handler->WriteLn("QUIT");
    server.Join();
    client.Disconnect(false);
    EXPECT_THAT(r.events, ElementsAre("i connect", "i receive 220 secret\r\n", "i send QUIT\r\n", "i disconnect"));
}

}  // namespace
