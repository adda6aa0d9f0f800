// The TLS I/O handler against real TLS peers on 127.0.0.1.
#include "net/IdSSLOpenSSL.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "net/IdNetExceptions.h"
#include "net/IdSSLOpenSSLHeaders.h"
#include "net/IdTCPClient.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TlsTestServer.h"

extern char** environ;

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

// A TCP client with the TLS handler attached, as the SMTP client uses it.
struct TTlsClient {
    explicit TTlsClient(int port, bool bypassTLS, TIdSSLVersion method = sslvSSLv23) {
        client = std::make_unique<TIdTCPClient>();
        handler = new TIdSSLIOHandlerSocketOpenSSL(client.get());
        handler->SSLOptions().SetMethod(method);
        handler->SetBypassTLS(bypassTLS);
        client->SetIOHandler(handler);
        client->SetHost("127.0.0.1");
        client->SetPort(port);
        client->SetConnectTimeout(3000);
        client->SetReadTimeout(3000);
    }
    std::unique_ptr<TIdTCPClient> client;
    TIdSSLIOHandlerSocketOpenSSL* handler;  // owned by the client
};

template <class E, class F>
std::string MessageOf(F&& action) {
    try {
        action();
    } catch (const E& e) {
        return e.Message();
    }
    return "(nothing raised)";
}

// Restores the real library names however a test ends.
struct TMissingTLSLibraries {
    TMissingTLSLibraries() { SetTLSLibraryNames("libcrypto-absent.so.0", "libssl-absent.so.0"); }
    ~TMissingTLSLibraries() { SetTLSLibraryNames(IdCryptoLibraryName, IdSslLibraryName); }
};

std::string TempFile(const std::string& name, const std::string& content) {
    const std::string path = ::testing::TempDir() + "/" + std::to_string(::getpid()) + "-" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

// Runs a program with an argument vector and answers what it printed.
std::string RunProgram(const std::vector<std::string>& args) {
    const std::string out = TempFile("program.out", "");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_TRUNC, 0);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return "(cannot start " + args[0] + ")";
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream in(out);
    std::string printed(std::istreambuf_iterator<char>(in), {});
    ::unlink(out.c_str());
    return printed;
}

}  // namespace

// ---- Loader -------------------------------------------------------------

TEST(IdSSLOpenSSLLoader, LoadsEveryRequiredEntryPoint) {
    ASSERT_TRUE(LoadTLSLibraries()) << TLSLoadFailure();
    EXPECT_TRUE(TLSLibrariesLoaded());
    EXPECT_EQ(TLSLoadFailure(), "");
    EXPECT_NE(IdSSL().SSL_CTX_new, nullptr);
    EXPECT_NE(IdSSL().X509_NAME_oneline, nullptr);
}

TEST(IdSSLOpenSSLLoader, MapsEveryRemovedEntryPointOntoOneThatExists) {
    void* ssl = dlopen(IdSslLibraryName, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(ssl, nullptr);
    std::vector<std::string> legacy;
    for (const TIdSSLEntryMapping& m : IdSSLEntryMappings()) {
        legacy.push_back(m.legacyName);
        EXPECT_STRNE(m.reason, "") << m.legacyName;
        const std::string replacement = m.replacement;
        const std::string first = replacement.substr(0, replacement.find(' '));
        if (!first.empty()) {
            EXPECT_NE(dlsym(ssl, first.c_str()), nullptr) << first;
        }
    }
    for (const char* name : {"SSL_library_init", "SSL_load_error_strings", "CRYPTO_num_locks",
                             "CRYPTO_set_locking_callback", "CRYPTO_set_id_callback", "SSLv2_client_method",
                             "SSLv3_client_method", "TLSv1_client_method", "des_set_odd_parity",
                             "SSL_CTX_set_info_callback_vorn", "X509_STORE_CTX_get_app_data_vorn"})
        EXPECT_THAT(legacy, ::testing::Contains(std::string(name)));
    dlclose(ssl);
}

// A program linking the net library must not need libssl or libcrypto:
// nothing in it refers to an OpenSSL symbol; it only opens the libraries
// through the platform's run-time loader.
TEST(IdSSLOpenSSLLoader, NetLibraryHasNoLinkTimeDependencyOnOpenSSL) {
    const std::string undefined = RunProgram({"nm", "-u", "--format=just-symbols", MAILSORTELLO_NET_LIBRARY});
    ASSERT_THAT(undefined, HasSubstr("LoadDynamicLibrary"));
    const std::regex openssl(R"(^(SSL_|TLS_|X509_|ERR_|EVP_|CRYPTO_|OPENSSL_|BIO_|PEM_))");
    std::istringstream lines(undefined);
    for (std::string line; std::getline(lines, line);) EXPECT_FALSE(std::regex_search(line, openssl)) << line;
}

TEST(IdSSLOpenSSLLoader, MissingLibraryFailsTheLoadAndCanBeRetried) {
    {
        TMissingTLSLibraries missing;
        EXPECT_FALSE(LoadTLSLibraries());
        EXPECT_FALSE(TLSLibrariesLoaded());
        EXPECT_THAT(TLSLoadFailure(), HasSubstr("absent"));
        EXPECT_EQ(MessageOf<EIdOSSLCouldNotLoadSSLLibrary>([] { TIdSSLContext context(nullptr); }),
                  "Could not load SSL library.");
    }
    EXPECT_TRUE(LoadTLSLibraries());
}

// ---- Implicit TLS and STARTTLS -----------------------------------------

TEST(IdSSLOpenSSL, ImplicitTLSHandshakesInsideConnectAndReadsTheGreetingDecrypted) {
    std::string heard;
    TTlsTestServer server([&](TTlsServerSession& s) {
        s.WriteLine("220 secret greeting");
        s.ReadLine(heard);
    });
    TTlsClient c(server.Port(), false);
    c.client->Connect();
    EXPECT_NE(c.handler->SSLSocket(), nullptr);
    EXPECT_FALSE(c.handler->BypassTLS());
    EXPECT_EQ(c.handler->ReadLn(), "220 secret greeting");
    c.handler->WriteLn("EHLO Telvara");
    server.Join();
    EXPECT_EQ(heard, "EHLO Telvara");
    EXPECT_EQ(server.Handshakes(), 1);
}

TEST(IdSSLOpenSSL, StartTLSTurnsTheOpenConnectionIntoATLSSessionOnce) {
    std::string clearLine, secretLine;
    int handshakes = 0;
    MakeTlsTestIdentity();
    TLoopbackServer server([&](int fd) {
        TLoopbackServer::SendAll(fd, "220 clear\r\n");
        TLoopbackServer::ReadLine(fd, clearLine);
        TLoopbackServer::SendAll(fd, "220 Ready to start TLS\r\n");
        TTlsServerSession tls(fd);
        if (!tls.Accept()) return;
        ++handshakes;
        tls.WriteLine("250 inside");
        tls.ReadLine(secretLine);
    });
    // Declared before the client: closing the session at the end still reports states.
    std::vector<std::string> status;
    TTlsClient c(server.Port(), true);
    c.handler->SetOnStatusInfo([&](const std::string& msg) { status.push_back(msg); });
    c.client->Connect();
    EXPECT_EQ(c.handler->SSLSocket(), nullptr);
    EXPECT_EQ(c.handler->ReadLn(), "220 clear");
    c.handler->WriteLn("STARTTLS");
    EXPECT_EQ(c.handler->ReadLn(), "220 Ready to start TLS");
    c.handler->SetBypassTLS(false);
    c.handler->SetBypassTLS(false);
    c.handler->SetBypassTLS(true);
    c.handler->SetBypassTLS(false);
    EXPECT_EQ(c.handler->ReadLn(), "250 inside");
    c.handler->WriteLn("QUIT");
    server.Join();
    EXPECT_EQ(clearLine, "STARTTLS");
    EXPECT_EQ(secretLine, "QUIT");
    EXPECT_EQ(handshakes, 1);
    EXPECT_EQ(std::count_if(status.begin(), status.end(), [](const std::string& s) { return s.starts_with("Cipher: "); }),
              1);
}

TEST(IdSSLOpenSSL, ClearingBypassTLSWithoutASocketOnlyChangesTheFlag) {
    TIdSSLIOHandlerSocketOpenSSL handler;
    handler.SetBypassTLS(true);
    handler.SetBypassTLS(false);
    EXPECT_FALSE(handler.BypassTLS());
    EXPECT_EQ(handler.SSLSocket(), nullptr);
    EXPECT_EQ(handler.SSLContext(), nullptr);
}

TEST(IdSSLOpenSSL, ImplicitTLSAgainstAClearTextServerFailsAndClosesTheHandler) {
    TLoopbackServer server([](int fd) {
        TLoopbackServer::SendAll(fd, "220 plain text server ESMTP\r\n");
        TLoopbackServer::ReadAll(fd, 3000);
    });
    TTlsClient c(server.Port(), false);
    EXPECT_EQ(MessageOf<EIdOSSLConnectError>([&] { c.client->Connect(); }), "Error connecting with SSL.");
    EXPECT_FALSE(c.handler->IsOpen());
    EXPECT_FALSE(c.handler->Binding()->HandleAllocated());
    EXPECT_EQ(c.handler->SSLContext(), nullptr);
    EXPECT_FALSE(c.client->Connected());
}

// ---- Missing libraries ---------------------------------------------------

TEST(IdSSLOpenSSL, WithoutTheLibrariesAClearConnectionWorksAndTLSIsRefused) {
    TMissingTLSLibraries missing;
    TLoopbackServer server([](int fd) {
        TLoopbackServer::SendAll(fd, "220 clear\r\n");
        TLoopbackServer::ReadAll(fd, 3000);
    });
    TTlsClient c(server.Port(), true);
    c.client->Connect();
    EXPECT_EQ(c.handler->ReadLn(), "220 clear");
    EXPECT_EQ(MessageOf<EIdOSSLCouldNotLoadSSLLibrary>([&] { c.handler->SetBypassTLS(false); }),
              "Could not load SSL library.");
    EXPECT_TRUE(c.handler->BypassTLS());
    EXPECT_TRUE(c.client->Connected());
    c.client->Disconnect(false);
}

TEST(IdSSLOpenSSL, WithoutTheLibrariesImplicitTLSFailsInsideConnect) {
    TMissingTLSLibraries missing;
    TLoopbackServer server([](int fd) { TLoopbackServer::ReadAll(fd, 3000); });
    TTlsClient c(server.Port(), false);
    EXPECT_EQ(MessageOf<EIdOSSLCouldNotLoadSSLLibrary>([&] { c.client->Connect(); }), "Could not load SSL library.");
    EXPECT_FALSE(c.handler->IsOpen());
}

// ---- Context options -----------------------------------------------------

struct TContextFailure {
    const char* name;
    void (*configure)(TIdSSLOptions&);
    const char* message;
};

class IdSSLOpenSSLContextFailure : public ::testing::TestWithParam<TContextFailure> {};

TEST_P(IdSSLOpenSSLContextFailure, RaisesItsMessageFromConnectAndClosesTheHandler) {
    TTlsTestServer server([](TTlsServerSession&) {});
    TTlsClient c(server.Port(), false);
    GetParam().configure(c.handler->SSLOptions());
    EXPECT_EQ(MessageOf<EIdOpenSSLError>([&] { c.client->Connect(); }), GetParam().message);
    EXPECT_FALSE(c.handler->IsOpen());
    // The server's handshake gives up when the client goes away.
}

INSTANTIATE_TEST_SUITE_P(
    Options, IdSSLOpenSSLContextFailure,
    ::testing::Values(
        TContextFailure{"CipherListSelectingNothing", [](TIdSSLOptions& o) { o.SetCipherList("NO-SUCH-CIPHER"); },
                        "SetCipher failed."},
        TContextFailure{"MissingRootCertificate",
                        [](TIdSSLOptions& o) { o.SetRootCertFile("/nonexistent/ca.pem"); },
                        "Could not load root certificate."},
        TContextFailure{"MissingCertificate", [](TIdSSLOptions& o) { o.SetCertFile("/nonexistent/cert.pem"); },
                        "Could not load certificate."},
        TContextFailure{"MissingKey", [](TIdSSLOptions& o) { o.SetKeyFile("/nonexistent/key.pem"); },
                        "Could not load key, check password."},
        TContextFailure{"MethodOutOfRange", [](TIdSSLOptions& o) { o.SetMethod(static_cast<TIdSSLVersion>(4)); },
                        "Error geting SSL method."}),
    [](const auto& info) { return std::string(info.param.name); });

std::vector<std::string> CipherNames(SSL_CTX* ctx) {
    std::vector<std::string> names;
    STACK_OF(SSL_CIPHER)* ciphers = SSL_CTX_get_ciphers(ctx);
    for (int i = 0; i < sk_SSL_CIPHER_num(ciphers); ++i) names.push_back(SSL_CIPHER_get_name(sk_SSL_CIPHER_value(ciphers, i)));
    return names;
}

TEST(IdSSLOpenSSL, EmptyCipherListUsesTheDefaultListAsGiven) {
    TTlsServerConfig tls12;
    tls12.maxVersion = TLS1_2_VERSION;
    TTlsTestServer server([](TTlsServerSession& s) { s.WriteLine("220 ok"); }, tls12);
    TTlsClient c(server.Port(), false);
    c.client->Connect();
    EXPECT_EQ(c.handler->ReadLn(), "220 ok");
    server.Join();
    EXPECT_EQ(server.LastProtocol(), "TLSv1.2");
    SSL_CTX* reference = SSL_CTX_new(TLS_client_method());
    ASSERT_EQ(SSL_CTX_set_cipher_list(reference, "ALL:!ADH:RC4+RSA:+HIGH:+MEDIUM:+LOW:+SSLv2:+EXP"), 1);
    EXPECT_EQ(CipherNames(c.handler->SSLContext()->Context()), CipherNames(reference));
    SSL_CTX_free(reference);
}

TEST(IdSSLOpenSSL, OptionsAssignCopiesAllNineFields) {
    TIdSSLOptions a;
    a.SetRootCertFile("ca");
    a.SetCertFile("cert");
    a.SetKeyFile("key");
    a.SetMethod(sslvTLSv1);
    a.SetMode(sslmClient);
    a.SetVerifyDepth(4);
    a.SetVerifyMode(sslvrfPeer | sslvrfClientOnce);
    a.SetVerifyDirs("dirs");
    a.SetCipherList("HIGH");
    TIdSSLOptions b;
    EXPECT_EQ(b.Method(), sslvSSLv2);
    EXPECT_EQ(b.Mode(), sslmUnassigned);
    EXPECT_EQ(b.VerifyMode(), 0);
    b.Assign(a);
    EXPECT_EQ(b.RootCertFile(), "ca");
    EXPECT_EQ(b.CertFile(), "cert");
    EXPECT_EQ(b.KeyFile(), "key");
    EXPECT_EQ(b.Method(), sslvTLSv1);
    EXPECT_EQ(b.Mode(), sslmClient);
    EXPECT_EQ(b.VerifyDepth(), 4);
    EXPECT_EQ(b.VerifyMode(), sslvrfPeer | sslvrfClientOnce);
    EXPECT_EQ(b.VerifyDirs(), "dirs");
    EXPECT_EQ(b.CipherList(), "HIGH");
}

TEST(IdSSLOpenSSL, EncryptedClientKeyIsOpenedWithThePasswordFromOnGetPassword) {
    const std::string cert = TempFile("client-cert.pem", TlsTestCertificatePem());
    const std::string key = TempFile("client-key.pem", TlsTestKeyPem("s3cret"));
    for (const std::string password : {"s3cret", "wrong"}) {
        TTlsTestServer server([](TTlsServerSession& s) { s.WriteLine("220 ok"); });
        TTlsClient c(server.Port(), false);
        c.handler->SSLOptions().SetCertFile(cert);
        c.handler->SSLOptions().SetKeyFile(key);
        int asked = 0;
        c.handler->SetOnGetPassword([&](std::string& answer) {
            ++asked;
            answer = password;
        });
        if (password == "s3cret") {
            c.client->Connect();
            EXPECT_EQ(c.handler->ReadLn(), "220 ok");
        } else {
            EXPECT_EQ(MessageOf<EIdOSSLLoadingKeyError>([&] { c.client->Connect(); }),
                      "Could not load key, check password.");
        }
        EXPECT_GE(asked, 1) << password;
    }
}

TEST(IdSSLOpenSSL, VerificationAsksOnVerifyPeerWithTheServerCertificate) {
    const std::string ca = TempFile("ca.pem", TlsTestCertificatePem());
    for (const bool accept : {true, false}) {
        TTlsTestServer server([](TTlsServerSession& s) { s.WriteLine("220 ok"); });
        TTlsClient c(server.Port(), false);
        c.handler->SSLOptions().SetRootCertFile(ca);
        c.handler->SSLOptions().SetVerifyMode(sslvrfPeer);
        std::string subject;
        c.handler->SetOnVerifyPeer([&](TIdX509* certificate) {
            subject = certificate->Subject()->OneLine();
            return accept;
        });
        if (accept) {
            c.client->Connect();
            EXPECT_EQ(c.handler->ReadLn(), "220 ok");
        } else {
            EXPECT_EQ(MessageOf<EIdOSSLConnectError>([&] { c.client->Connect(); }), "Error connecting with SSL.");
        }
        EXPECT_EQ(subject, "/CN=127.0.0.1");
    }
}

TEST(IdSSLOpenSSL, VerificationWithoutATrustedRootFails) {
    TTlsTestServer server([](TTlsServerSession&) {});
    TTlsClient c(server.Port(), false);
    c.handler->SSLOptions().SetVerifyMode(sslvrfPeer);
    EXPECT_EQ(MessageOf<EIdOSSLConnectError>([&] { c.client->Connect(); }), "Error connecting with SSL.");
}

// ---- Methods -------------------------------------------------------------

struct TMethodCase {
    const char* name;
    TIdSSLVersion method;
    TTlsServerConfig (*server)();
    const char* protocol;  // nullptr: the handshake fails
};

class IdSSLOpenSSLMethod : public ::testing::TestWithParam<TMethodCase> {};

TEST_P(IdSSLOpenSSLMethod, NegotiatesOrFailsWithTheHandshakeError) {
    const TMethodCase& p = GetParam();
    TTlsTestServer server([](TTlsServerSession& s) { s.WriteLine("220 ok"); }, p.server());
    TTlsClient c(server.Port(), false, p.method);
    if (p.protocol == nullptr) {
        EXPECT_EQ(MessageOf<EIdOSSLConnectError>([&] { c.client->Connect(); }), "Error connecting with SSL.");
        EXPECT_FALSE(c.handler->IsOpen());
        return;
    }
    c.client->Connect();
    EXPECT_EQ(c.handler->ReadLn(), "220 ok");
    server.Join();
    EXPECT_EQ(server.LastProtocol(), p.protocol);
}

INSTANTIATE_TEST_SUITE_P(
    ServerVersions, IdSSLOpenSSLMethod,
    ::testing::Values(TMethodCase{"SSLv2_Tls10Only", sslvSSLv2, TTlsServerConfig::Tls10Only, nullptr},
                      TMethodCase{"SSLv23_Tls10Only", sslvSSLv23, TTlsServerConfig::Tls10Only, nullptr},
                      TMethodCase{"SSLv3_Tls10Only", sslvSSLv3, TTlsServerConfig::Tls10Only, nullptr},
                      TMethodCase{"TLSv1_Tls10Only", sslvTLSv1, TTlsServerConfig::Tls10Only, "TLSv1"},
                      TMethodCase{"SSLv2_Tls13Only", sslvSSLv2, TTlsServerConfig::Tls13Only, "TLSv1.3"},
                      TMethodCase{"SSLv23_Tls13Only", sslvSSLv23, TTlsServerConfig::Tls13Only, "TLSv1.3"},
                      TMethodCase{"SSLv3_Tls13Only", sslvSSLv3, TTlsServerConfig::Tls13Only, "TLSv1.3"},
                      TMethodCase{"TLSv1_Tls13Only", sslvTLSv1, TTlsServerConfig::Tls13Only, nullptr},
                      TMethodCase{"TLSv1_RefusesTls10", sslvTLSv1, TTlsServerConfig::NoTls10, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IdSSLOpenSSL, ChangedMethodTakesEffectOnTheNextConnection) {
    TTlsServerConfig anyVersion;
    anyVersion.minVersion = TLS1_VERSION;
    anyVersion.securityLevel = 0;
    std::vector<std::string> protocols;
    TTlsTestServer server(
        [&](TTlsServerSession& s) {
            protocols.push_back(s.Protocol());
            s.WriteLine("220 ok");
            s.ReadAll(3000);
        },
        anyVersion, 2);
    TTlsClient c(server.Port(), false, sslvSSLv23);
    c.client->Connect();
    EXPECT_EQ(c.handler->ReadLn(), "220 ok");
    c.client->Disconnect(false);
    EXPECT_EQ(c.handler->SSLContext(), nullptr);
    c.handler->SSLOptions().SetMethod(sslvTLSv1);
    c.client->Connect();
    EXPECT_EQ(c.handler->ReadLn(), "220 ok");
    EXPECT_EQ(c.handler->SSLContext()->Method(), sslvTLSv1);
    c.client->Disconnect(false);
    server.Join();
    EXPECT_THAT(protocols, ::testing::ElementsAre("TLSv1.3", "TLSv1"));
}

// ---- Status texts ----------------------------------------------------------

TEST(IdSSLOpenSSL, OnStatusInfoHearsEveryHandshakeStateAndTheCipher) {
    TTlsTestServer server([](TTlsServerSession& s) { s.WriteLine("220 ok"); });
    // Declared before the client: closing the session at the end still reports states.
    std::vector<std::string> status;
    TTlsClient c(server.Port(), false);
    c.handler->SetOnStatusInfo([&](const std::string& msg) { status.push_back(msg); });
    c.client->Connect();
    ASSERT_GE(status.size(), 3u);
    for (size_t i = 0; i + 1 < status.size(); ++i) EXPECT_THAT(status[i], StartsWith("SSL status: \"")) << i;
    EXPECT_THAT(status, ::testing::Contains("SSL status: \"SSL negotiation finished successfully\""));
    EXPECT_TRUE(std::regex_match(
        status.back(),
        std::regex(R"(Cipher: name = \S+; description = [^\n]+; bits = [0-9]+; version = TLSv1\.3; )")))
        << status.back();
}

TEST(IdSSLOpenSSL, NoInfoCallbackIsInstalledWithoutOnStatusInfo) {
    TTlsTestServer server([](TTlsServerSession& s) { s.WriteLine("220 ok"); });
    TTlsClient c(server.Port(), false);
    c.client->Connect();
    ASSERT_NE(c.handler->SSLContext(), nullptr);
    EXPECT_EQ(SSL_CTX_get_info_callback(c.handler->SSLContext()->Context()), nullptr);
    EXPECT_EQ(c.handler->ReadLn(), "220 ok");
}

// ---- Transfers -------------------------------------------------------------

TEST(IdSSLOpenSSL, AWriteBufferLeavesAsOneRecord) {
    std::string first, big;
    TTlsTestServer server([&](TTlsServerSession& s) {
        first = s.ReadRecord();
        big = s.ReadAll(3000);
    });
    TTlsClient c(server.Port(), false);
    c.client->Connect();
    TStringList lines;
    lines.Add("MAIL FROM:<a@example.com>");
    lines.Add("RCPT TO:<b@example.com>");
    lines.Add("DATA");
    c.handler->WriteLines(lines);
    const std::string payload(100000, 'x');
    c.handler->Write(payload);
    c.client->Disconnect(false);
    server.Join();
    EXPECT_EQ(first, "MAIL FROM:<a@example.com>\r\nRCPT TO:<b@example.com>\r\nDATA\r\n");
    EXPECT_EQ(big, payload);
}

// Message text reaches the handler in small writes (lines, encoder chunks);
// with a write buffer they must still leave in full-size records, not one
// small record per write.
TEST(IdSSLOpenSSL, SmallWritesThroughAWriteBufferLeaveInFullRecords) {
    constexpr size_t kRecord = 16384;
    constexpr size_t kTotal = 1 << 20;
    std::vector<std::string> lines;
    std::string sent;
    for (int i = 0; sent.size() < kTotal; ++i) {
        lines.push_back(std::string(77, static_cast<char>('a' + i % 26)) + "\r\n");
        sent += lines.back();
    }
    std::vector<size_t> records;
    std::string received;
    // The sizes come from the record headers: how the reads group the
    // records depends on timing, the records on the wire do not. The client
    // hangs up only once all has arrived: a close with the session tickets
    // still unread resets the connection, and the reset drops what the
    // server has not read yet.
    TTlsTestServer server([&](TTlsServerSession& s) {
        for (std::string r; received.size() < sent.size() && !(r = s.ReadRecord()).empty();) received += r;
        records = s.ReceivedRecordLengths();
        s.WriteLine("250 all read");
    });
    TTlsClient c(server.Port(), false);
    c.client->Connect();
    c.handler->OpenWriteBuffer(64 * 1024);
    for (const std::string& line : lines) c.handler->Write(line);
    c.handler->CloseWriteBuffer();
    EXPECT_EQ(c.handler->ReadLn(), "250 all read");
    c.client->Disconnect(false);
    server.Join();
    EXPECT_TRUE(received == sent) << received.size() << " bytes of " << sent.size();
    // Besides the data: the client's end of the handshake (TLS 1.3).
    EXPECT_LE(records.size(), sent.size() / kRecord + 3);
    ASSERT_FALSE(records.empty());
    const size_t longest = *std::max_element(records.begin(), records.end());
    EXPECT_GT(longest, kRecord);  // a full record and its overhead
    const size_t full = static_cast<size_t>(std::count(records.begin(), records.end(), longest));
    EXPECT_GE(full, sent.size() / kRecord - 1);
}

// Bytes the client never read must not turn its close into a reset that
// costs the server the end of what the client wrote.
TEST(IdSSLOpenSSL, ACloseWithUnreadBytesStillDeliversEverythingWritten) {
    const std::string sent(4 << 20, 'x');
    std::string received;
    TTlsTestServer server([&](TTlsServerSession& s) {
        s.WriteLine("250 never read");
        for (std::string r = s.ReadRecord(); !r.empty(); r = s.ReadRecord()) received += r;
    });
    TTlsClient c(server.Port(), false);
    c.client->Connect();
    ASSERT_TRUE(c.handler->WaitReadable(3000));
    c.handler->Write(sent);
    c.client->Disconnect(false);
    server.Join();
    EXPECT_EQ(received.size(), sent.size());
}

TEST(IdSSLOpenSSL, PeersCloseNotifyIsAGracefulClose) {
    TTlsTestServer server([](TTlsServerSession& s) {
        s.WriteLine("221 bye");
        s.SendCloseNotify();
        s.ReadAll(3000);
    });
    TTlsClient c(server.Port(), false);
    c.client->Connect();
    EXPECT_EQ(c.handler->ReadLn(), "221 bye");
    EXPECT_EQ(MessageOf<EIdConnClosedGracefully>([&] { c.handler->ReadLn(); }), "Connection Closed Gracefully.");
    EXPECT_FALSE(c.client->Connected());
    EXPECT_EQ(c.handler->SSLSocket(), nullptr);
}

TEST(IdSSLOpenSSL, SilentServerGivesReadTimeoutAndTheSessionStaysUsable) {
    TTlsTestServer server([](TTlsServerSession& s) {
        std::string line;
        if (s.ReadLine(line)) s.WriteLine("echo " + line);
    });
    TTlsClient c(server.Port(), false);
    c.client->SetReadTimeout(300);
    c.client->Connect();
    EXPECT_EQ(MessageOf<EIdReadTimeout>([&] { c.handler->ReadLn(); }), "Read Timeout");
    EXPECT_TRUE(c.client->Connected());
    c.handler->WriteLn("ping");
    EXPECT_EQ(c.handler->ReadLn(), "echo ping");
}

// ---- Bad peers: a clear exception, never a crash or a hang ---------------

TEST(IdSSLOpenSSLBadPeer, GarbageInsteadOfAHandshake) {
    TLoopbackServer server([](int fd) {
        std::string garbage;
        for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) & 0xFF);
        TLoopbackServer::SendAll(fd, garbage);
        TLoopbackServer::ReadAll(fd, 3000);
    });
    TTlsClient c(server.Port(), false);
    EXPECT_EQ(MessageOf<EIdOSSLConnectError>([&] { c.client->Connect(); }), "Error connecting with SSL.");
}

TEST(IdSSLOpenSSLBadPeer, GarbageAfterTheHandshakeEndsTheConnection) {
    TTlsTestServer server([](TTlsServerSession& s) {
        s.WriteLine("220 ok");
        // A well-formed application data record that does not decrypt.
        std::string record("\x17\x03\x03", 3);
        record += std::string(1, '\0') + std::string(1, '\x20') + std::string(32, '\x5a');
        TLoopbackServer::SendAll(s.Fd(), record);
        TLoopbackServer::ReadAll(s.Fd(), 3000);
    });
    TTlsClient c(server.Port(), false);
    c.client->Connect();
    EXPECT_EQ(c.handler->ReadLn(), "220 ok");
    try {
        c.handler->ReadLn();
        ADD_FAILURE() << "nothing raised";
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.LastError(), 10053);
        EXPECT_THAT(e.Message(), StartsWith("Socket Error # 10053\r\n"));
    }
    EXPECT_FALSE(c.client->Connected());
}

TEST(IdSSLOpenSSLBadPeer, ResetDuringAReadRaisesTheResetAndCloses) {
    TTlsTestServer server([](TTlsServerSession& s) {
        s.ReadRecord();
        linger hard{1, 0};
        setsockopt(s.Fd(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    });
    TTlsClient c(server.Port(), false);
    c.client->Connect();
    c.handler->WriteLn("hello");
    server.Join();
    try {
        c.handler->ReadLn();
        ADD_FAILURE() << "nothing raised";
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.LastError(), 10054);
        EXPECT_EQ(e.Message(), "Socket Error # 10054\r\nConnection reset by peer.");
    }
    EXPECT_FALSE(c.client->Connected());
}

struct TStallCase {
    const char* name;
    bool startTLS;
    bool closeInsteadOfStalling;
};

class IdSSLOpenSSLStall : public ::testing::TestWithParam<TStallCase> {};

// The whole handshake is bounded by the read time-out.
TEST_P(IdSSLOpenSSLStall, HandshakeEndsWithinTheReadTimeout) {
    const TStallCase& p = GetParam();
    TLoopbackServer server([&](int fd) {
        if (p.startTLS) TLoopbackServer::SendAll(fd, "220 clear\r\n");
        if (p.closeInsteadOfStalling) {
            char hello[512];
            ::recv(fd, hello, sizeof hello, 0);
            return;
        }
        StallTlsHandshake(fd, 10000);
    });
    TTlsClient c(server.Port(), p.startTLS);
    c.client->SetReadTimeout(400);
    const auto start = std::chrono::steady_clock::now();
    const std::string message = MessageOf<EIdOSSLConnectError>([&] {
        c.client->Connect();
        EXPECT_EQ(c.handler->ReadLn(), "220 clear");
        c.handler->SetBypassTLS(false);
    });
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(message, "Error connecting with SSL.");
    EXPECT_LT(elapsed, std::chrono::seconds(5));
    if (p.startTLS) {
        EXPECT_TRUE(c.handler->BypassTLS());
    }
    c.client->Disconnect(false);
}

INSTANTIATE_TEST_SUITE_P(Peers, IdSSLOpenSSLStall,
                         ::testing::Values(TStallCase{"ImplicitStall", false, false},
                                           TStallCase{"StartTLSStall", true, false},
                                           TStallCase{"ImplicitClose", false, true},
                                           TStallCase{"StartTLSClose", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

class IdSSLOpenSSLCloseDuringWrite : public ::testing::TestWithParam<bool> {};

// The peer goes away (closing, or resetting the connection) while large
// writes are under way; the process must not die of SIGPIPE either.
TEST_P(IdSSLOpenSSLCloseDuringWrite, RaisesASocketErrorAndCloses) {
    const bool reset = GetParam();
    TTlsTestServer server([reset](TTlsServerSession& s) {
        s.ReadRecord();
        if (reset) {
            linger hard{1, 0};
            setsockopt(s.Fd(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        }
    });
    TTlsClient c(server.Port(), false);
    c.client->Connect();
    c.handler->WriteLn("hello");
    server.Join();
    const std::string chunk(1 << 20, 'y');
    bool raised = false;
    for (int i = 0; i < 20 && !raised; ++i) {
        try {
            c.handler->Write(chunk);
        } catch (const EIdSocketError& e) {
            raised = true;
            EXPECT_THAT(e.LastError(), ::testing::AnyOf(10053, 10054, 10058)) << e.Message();
        } catch (const EIdConnClosedGracefully&) {
            raised = true;
        }
    }
    EXPECT_TRUE(raised);
    EXPECT_FALSE(c.client->Connected());
}

INSTANTIATE_TEST_SUITE_P(Peers, IdSSLOpenSSLCloseDuringWrite, ::testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "Reset" : "Close"); });

// A peer that stops reading: the write gives up after the read time-out.
TEST(IdSSLOpenSSLBadPeer, PeerThatStopsReadingEndsTheWriteWithATimeOut) {
    std::atomic<bool> done{false};
    TTlsTestServer server([&](TTlsServerSession&) {
        for (int i = 0; i < 1000 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    TTlsClient c(server.Port(), false);
    c.client->SetReadTimeout(300);
    c.client->Connect();
    const std::string chunk(1 << 20, 'z');
    try {
        for (int i = 0; i < 64; ++i) c.handler->Write(chunk);
        ADD_FAILURE() << "nothing raised";
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.LastError(), 10060);
    }
    done = true;
    c.client->Disconnect(false);
}
