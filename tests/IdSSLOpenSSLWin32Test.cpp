// TLS on Windows without OpenSSL's DLLs (libssl-3-x64.dll and
// libcrypto-3-x64.dll are not part of Windows): every TLS mode ends with
// the missing-library message, and a clear connection still works.
#include "net/IdSSLOpenSSL.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "net/IdSSLContext.h"
#include "net/IdSSLExceptions.h"
#include "net/IdSSLOpenSSLHeaders.h"
#include "net/IdTCPClient.h"
#include "tests/support/WinsockPeers.h"

using ::testing::HasSubstr;

namespace {

class IdSSLOpenSSLWin32 : public ::testing::Test {
protected:
    void SetUp() override {
        if (LoadTLSLibraries()) GTEST_SKIP() << "OpenSSL's DLLs are installed here";
    }

    // A client with a TLS handler, to a loopback listener that accepts.
    std::unique_ptr<TIdTCPClient> Client(bool bypassTLS) {
        auto client = std::make_unique<TIdTCPClient>();
        handler_ = new TIdSSLIOHandlerSocketOpenSSL(client.get());
        handler_->SetBypassTLS(bypassTLS);
        client->SetIOHandler(handler_);
        int port = 0;
        server_ = peers_.Listen(4, port);
        client->SetHost("127.0.0.1");
        client->SetPort(port);
        client->SetConnectTimeout(3000);
        client->SetReadTimeout(3000);
        return client;
    }

    TWinsock peers_;
    SOCKET server_ = INVALID_SOCKET;
    TIdSSLIOHandlerSocketOpenSSL* handler_ = nullptr;  // owned by the client
};

template <class F>
std::string MessageOf(F&& action) {
    try {
        action();
    } catch (const EIdOSSLCouldNotLoadSSLLibrary& e) {
        return e.Message();
    }
    return "(nothing raised)";
}

}  // namespace

TEST_F(IdSSLOpenSSLWin32, TheLoadNamesTheMissingDllAndTheContextRefuses) {
    EXPECT_FALSE(TLSLibrariesLoaded());
    EXPECT_THAT(TLSLoadFailure(), HasSubstr("libcrypto-3-x64.dll"));
    EXPECT_EQ(MessageOf([] { TIdSSLContext context(nullptr); }), "Could not load SSL library.");
}

TEST_F(IdSSLOpenSSLWin32, ImplicitTLSFailsInsideConnect) {
    auto client = Client(false);
    EXPECT_EQ(MessageOf([&] { client->Connect(); }), "Could not load SSL library.");
    EXPECT_FALSE(handler_->IsOpen());
}

TEST_F(IdSSLOpenSSLWin32, ClearConnectionWorksAndStartingTLSIsRefused) {
    auto client = Client(true);
    client->Connect();
    const SOCKET accepted = peers_.Accept(server_);
    ::send(accepted, "220 clear\r\n", 11, 0);
    EXPECT_EQ(handler_->ReadLn(), "220 clear");
    EXPECT_EQ(MessageOf([&] { handler_->SetBypassTLS(false); }), "Could not load SSL library.");
    EXPECT_TRUE(handler_->BypassTLS());
    EXPECT_TRUE(client->Connected());
    client->Disconnect(false);
}
