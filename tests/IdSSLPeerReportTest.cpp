// Server name indication and the report of the server's trust, against a
// loopback TLS server with certificates of a private CA made by the test.
#include "net/IdSSLPeerReport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "net/IdSSLOpenSSL.h"
#include "net/IdTCPClient.h"
#include "tests/support/TestPki.h"
#include "tests/support/TlsTestServer.h"

namespace {

using ::testing::HasSubstr;

std::string CaFile() {
    static const std::string path = [] {
        const std::string name = (std::filesystem::temp_directory_path() /
                                  ("mailsortello-ca-" + std::to_string(::getpid()) + ".pem"))
                                     .string();
        std::ofstream(name, std::ios::binary) << TestPki().caPem;
        return name;
    }();
    return path;
}

struct TConnection {
    TConnection(int port, const std::string& host) {
        client = std::make_unique<TIdTCPClient>();
        handler = new TIdSSLIOHandlerSocketOpenSSL(client.get());
        handler->SSLOptions().SetMethod(sslvSSLv23);
        handler->SetBypassTLS(false);
        client->SetIOHandler(handler);
        client->SetHost(host);
        client->SetPort(port);
        client->SetConnectTimeout(3000);
        client->SetReadTimeout(3000);
    }
    std::unique_ptr<TIdTCPClient> client;
    TIdSSLIOHandlerSocketOpenSSL* handler;  // owned by the client
};

TTlsServerConfig Serving(std::vector<TTlsIdentity> identities) {
    TTlsServerConfig config;
    config.identities = std::move(identities);
    return config;
}

// ---- server name indication ----------------------------------------------------

struct TSniCase {
    const char* label;
    const char* host;
    bool indication;
    const char* overrideName;
    const char* sent;  // what the server saw; "" for none
};

TEST(IdSSLServerName, SentForANameNotForAnAddressOverriddenOrTurnedOff) {
    const TSniCase cases[] = {
        {"name", "localhost", true, "", "localhost"},
        {"trailing dot", "localhost.", true, "", "localhost"},
        {"IPv4 literal", "127.0.0.1", true, "", ""},
        {"override on a literal", "127.0.0.1", true, "mx.sortello.test", "mx.sortello.test"},
        {"override on a name", "localhost", true, "mx.sortello.test", "mx.sortello.test"},
        {"off", "localhost", false, "", ""},
        {"off beats override", "127.0.0.1", false, "mx.sortello.test", ""},
    };
    for (const TSniCase& c : cases) {
        SCOPED_TRACE(c.label);
        TTlsTestServer server([](TTlsServerSession& s) { s.WriteLine("220 ok"); });
        TConnection conn(server.Port(), c.host);
        conn.handler->SetServerNameIndication(c.indication);
        conn.handler->SetServerName(c.overrideName);
        conn.client->Connect();
        EXPECT_EQ(conn.handler->ReadLn(), "220 ok");
        EXPECT_EQ(conn.handler->SSLSocket()->ServerName(), c.sent);
        conn.client->Disconnect();
        server.Join();
        EXPECT_EQ(server.LastServerName(), c.sent);
    }
}

TEST(IdSSLServerName, TheServerAnswersWithTheCertificateOfTheNameSent) {
    const TTestPki& pki = TestPki();
    for (const auto& [name, subject] : {std::pair{"", "CN=wrong.sortello.test"},
                                        std::pair{"mx.sortello.test", "CN=mx.sortello.test"}}) {
        SCOPED_TRACE(name);
        TTlsTestServer server([](TTlsServerSession& s) { s.WriteLine("220 ok"); },
                              Serving({pki.wrongName, ForName(pki.valid, "mx.sortello.test")}));
        TConnection conn(server.Port(), "127.0.0.1");
        conn.handler->SetServerName(name);
        conn.client->Connect();
        EXPECT_THAT(conn.handler->SSLSocket()->PeerCertificate()->Subject()->OneLine(), HasSubstr(subject));
        conn.client->Disconnect();
    }
}

TEST(IdSSLServerName, OnlyPlainAsciiHostNamesQualify) {
    for (const char* good : {"mx.sortello.test", "a-b_c.example", "localhost"})
        EXPECT_TRUE(TIdSSLIOHandlerSocketOpenSSL::IsServerName(good)) << good;
    for (const char* bad : {"", "127.0.0.1", "::1", "[::1]", "mx example", "caf\xE9.test", "a\r\nb",
                            "host:25", ".", "mx..test", ".mx.test", "mx.test."})
        EXPECT_FALSE(TIdSSLIOHandlerSocketOpenSSL::IsServerName(bad)) << bad;
    EXPECT_FALSE(TIdSSLIOHandlerSocketOpenSSL::IsServerName(std::string(254, 'a')));
}

// ---- the report ------------------------------------------------------------------

struct TReportCase {
    const char* label;
    const TTlsIdentity& identity;
    bool withCa;
    const char* host;
    bool chainVerified;
    const char* chainError;
    bool nameMatches;
    int chainLength;
    int daysLeft;
};

TEST(IdSSLPeerReport, TellsChainTrustNameMatchAndDaysLeft) {
    const TTestPki& pki = TestPki();
    const TReportCase cases[] = {
        {"private CA given", pki.valid, true, "localhost", true, "", true, 2, 90},
        {"IP SAN", pki.valid, true, "127.0.0.1", true, "", true, 2, 90},
        {"name only through the override", pki.valid, true, "mx.sortello.test", true, "", true, 2, 90},
        {"private CA not given", pki.valid, false, "localhost", false, "self-signed certificate in certificate chain",
         true, 2, 90},
        {"expired", pki.expired, true, "localhost", false, "certificate has expired", true, 2, -1},
        {"wrong name", pki.wrongName, true, "localhost", true, "", false, 2, 90},
        {"wrong address", pki.wrongName, true, "127.0.0.1", true, "", false, 2, 90},
        {"self-signed", pki.selfSigned, true, "localhost", false, "self-signed certificate", true, 1, 90},
    };
    for (const TReportCase& c : cases) {
        SCOPED_TRACE(c.label);
        TTlsTestServer server([](TTlsServerSession& s) { s.WriteLine("220 ok"); }, Serving({c.identity}));
        TConnection conn(server.Port(), std::string(c.host) == "mx.sortello.test" ? "127.0.0.1" : c.host);
        if (std::string(c.host) == "mx.sortello.test") conn.handler->SetServerName(c.host);
        if (c.withCa) conn.handler->SSLOptions().SetRootCertFile(CaFile());
        conn.client->Connect();
        EXPECT_EQ(conn.handler->ReadLn(), "220 ok");
        const TIdSSLPeerReport report =
            TIdSSLPeerReport::Of(*conn.handler->SSLSocket(), conn.handler->ExpectedPeerName());
        EXPECT_EQ(report.ExpectedName(), c.host);
        EXPECT_EQ(report.ChainVerified(), c.chainVerified);
        EXPECT_EQ(report.ChainError(), c.chainError);
        EXPECT_EQ(report.NameMatches(), c.nameMatches);
        EXPECT_EQ(report.Trusted(), c.chainVerified && c.nameMatches);
        ASSERT_EQ(report.Chain().size(), static_cast<size_t>(c.chainLength));
        EXPECT_EQ(report.DaysLeft(), c.daysLeft);
        // The server's own certificate comes first; a CA-signed one is followed by its CA.
        EXPECT_THAT(report.Chain()[0].subject, HasSubstr("CN="));
        EXPECT_EQ(report.Chain()[0].fingerprintSHA256.size(), 95u);
        if (c.chainLength == 2) {
            EXPECT_EQ(report.Chain()[0].issuer, report.Chain()[1].subject);
        }
        std::string reason = c.chainError;
        if (!c.nameMatches) reason += std::string(reason.empty() ? "" : "; ") + "host name mismatch";
        EXPECT_EQ(report.FailureReason(), reason);
        conn.client->Disconnect();
    }
}

// The system store is read only when the handler is asked to judge the
// server (or a verify mode needs it); the store is pointed at the private
// CA so that reading it shows in the chain's verdict.
class TSystemStoreAt {
public:
    explicit TSystemStoreAt(const std::string& file) {
        if (const char* old = std::getenv("SSL_CERT_FILE")) old_ = old;
        ::setenv("SSL_CERT_FILE", file.c_str(), 1);
    }
    ~TSystemStoreAt() {
        if (old_) ::setenv("SSL_CERT_FILE", old_->c_str(), 1);
        else ::unsetenv("SSL_CERT_FILE");
    }

private:
    std::optional<std::string> old_;
};

struct TStoreCase {
    const char* label;
    bool loadTrustStore;
    TIdSSLVerifyModeSet verifyMode;
    bool loaded;
};

TEST(IdSSLPeerReport, TheSystemTrustStoreIsReadOnlyWhenTheServerIsJudged) {
    const TSystemStoreAt store(CaFile());
    const TStoreCase cases[] = {
        {"plain session", false, 0, false},
        {"report wanted", true, 0, true},
        {"verify mode", false, sslvrfPeer, true},
    };
    for (const TStoreCase& c : cases) {
        SCOPED_TRACE(c.label);
        TTlsTestServer server([](TTlsServerSession& s) { s.WriteLine("220 ok"); }, Serving({TestPki().valid}));
        TConnection conn(server.Port(), "localhost");
        conn.handler->SetLoadTrustStore(c.loadTrustStore);
        conn.handler->SSLOptions().SetVerifyMode(c.verifyMode);
        conn.client->Connect();
        EXPECT_EQ(conn.handler->ReadLn(), "220 ok");
        ASSERT_NE(conn.handler->SSLContext(), nullptr);
        EXPECT_EQ(conn.handler->SSLContext()->TrustStoreLoaded(), c.loaded);
        const TIdSSLPeerReport report =
            TIdSSLPeerReport::Of(*conn.handler->SSLSocket(), conn.handler->ExpectedPeerName());
        EXPECT_EQ(report.ChainVerified(), c.loaded);
        EXPECT_EQ(report.ChainError(), c.loaded ? "" : "self-signed certificate in certificate chain");
        conn.client->Disconnect();
    }
}

// The sessions themselves stay unverified: every case above connected.
TEST(IdSSLPeerReport, AnUntrustedServerIsStillAcceptedByTheHandler) {
    TTlsTestServer server([](TTlsServerSession& s) { s.WriteLine("220 ok"); }, Serving({TestPki().expired}));
    TConnection conn(server.Port(), "127.0.0.1");
    conn.client->Connect();
    EXPECT_EQ(conn.handler->ReadLn(), "220 ok");
}

// A listener that refuses the server after the handshake leaves the
// connection closed, not in clear text over a TLS stream.
TEST(IdSSLPeerReport, AStatusListenerThatRefusesTheSessionClosesTheConnection) {
    TTlsTestServer server([](TTlsServerSession&) {});
    TConnection conn(server.Port(), "127.0.0.1");
    conn.handler->SetOnStatusInfo([](const std::string& message) {
        if (message.rfind("Cipher: ", 0) == 0) throw EIdException("refused");
    });
    EXPECT_THROW(conn.client->Connect(), EIdException);
    EXPECT_FALSE(conn.client->Connected());
    EXPECT_EQ(conn.handler->SSLSocket(), nullptr);
}

}  // namespace
