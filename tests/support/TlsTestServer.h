// The server end of TLS for tests: an OpenSSL server session on a socket the
// test already holds (for example the fd a TLoopbackServer script is given),
// with a key and self-signed certificate made in memory on first use.
//
// Implicit TLS:  TTlsTestServer server([](TTlsServerSession& s) { s.WriteLine("220 hi"); });
// STARTTLS:      inside a TLoopbackServer script, talk in clear text with
//                TLoopbackServer::ReadLine/SendAll, then
//                TTlsServerSession tls(fd); if (tls.Accept()) tls.ReadLine(line);
//
// Server sessions block SIGPIPE on the thread that makes them (a server
// thread), so a client that goes away never ends the test process.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/LoopbackServer.h"
#include "tests/support/TestPki.h"

struct ssl_st;
struct ssl_ctx_st;

struct TTlsServerConfig {
    // Protocol versions as OpenSSL numbers (TLS1_VERSION = 0x301, ...); 0 = library default.
    int minVersion = 0;
    int maxVersion = 0;
    // -1 keeps the library's level; TLS 1.0 needs 0.
    int securityLevel = -1;
    // Empty keeps the library's default list.
    std::string cipherList;
    // Empty: the process's self-signed identity. Else the first is served
    // unless the client's server name picks another by its name.
    std::vector<TTlsIdentity> identities;

    static TTlsServerConfig Tls10Only();
    static TTlsServerConfig Tls13Only();
    // Everything from TLS 1.1 up: refuses TLS 1.0.
    static TTlsServerConfig NoTls10();
};

class TTlsServerSession {
public:
    // Does not own fd.
    explicit TTlsServerSession(int fd, const TTlsServerConfig& config = {});
    ~TTlsServerSession();
    TTlsServerSession(const TTlsServerSession&) = delete;
    TTlsServerSession& operator=(const TTlsServerSession&) = delete;

    // The server handshake; false when it failed or took longer than the limit.
    bool Accept(int timeoutMs = 5000);
    // Decrypted line up to LF (CR before it dropped); false on close/error/time-out.
    bool ReadLine(std::string& line, int timeoutMs = 5000);
    // One TLS read: the payload of (at most) one record; empty on close/error/time-out.
    std::string ReadRecord(int timeoutMs = 5000);
    // Reads until close_notify, a close or the time-out; answers the bytes.
    std::string ReadAll(int timeoutMs = 5000);
    bool Write(const std::string& bytes);
    bool WriteLine(const std::string& line) { return Write(line + "\r\n"); }
    // Sends close_notify.
    void SendCloseNotify();

    // Negotiated protocol ("TLSv1", "TLSv1.3") after Accept.
    std::string Protocol() const;
    // The server name the client sent; empty when it sent none.
    std::string ServerName() const;
    // The length on the wire of every encrypted record received, in order
    // (from the record headers, whatever the reads made of them).
    const std::vector<size_t>& ReceivedRecordLengths() const { return recordLengths_; }
    int Fd() const { return fd_; }

private:
    void UseIdentities(const std::vector<TTlsIdentity>& identities);

    bool WaitReadable(int timeoutMs) const;

    int fd_;
    ssl_ctx_st* context_ = nullptr;
    ssl_st* ssl_ = nullptr;
    std::string pending_;
    std::vector<TTlsIdentity> identities_;
    std::vector<size_t> recordLengths_;
};

// A loopback server that runs the TLS handshake on each accepted connection
// and hands the session to the script (only when the handshake succeeded).
class TTlsTestServer {
public:
    using Script = std::function<void(TTlsServerSession& session)>;
    explicit TTlsTestServer(Script script, TTlsServerConfig config = {}, int connections = 1);

    int Port() const { return server_->Port(); }
    void Join() { server_->Join(); }
    int Handshakes() const { return handshakes_.load(); }
    int FailedHandshakes() const { return failedHandshakes_.load(); }
    // Protocol of the last successful handshake.
    std::string LastProtocol() const;
    // Server name the client sent in the last successful handshake.
    std::string LastServerName() const;

private:
    std::atomic<int> handshakes_{0};
    std::atomic<int> failedHandshakes_{0};
    mutable std::mutex lock_;
    std::string lastProtocol_;
    std::string lastServerName_;
    std::unique_ptr<TLoopbackServer> server_;
};

// The certificate and key of every test server, as PEM text (made once per
// process); with a password the key is encrypted with it.
std::string TlsTestCertificatePem();
std::string TlsTestKeyPem(const std::string& password = "");
// Makes them now, so that no handshake waits for it (TTlsTestServer does
// this itself; call it before a STARTTLS script with a short time-out).
void MakeTlsTestIdentity();

// A peer that stops mid-handshake: reads the client's first flight and
// then says nothing until the client closes or holdMs passes.
void StallTlsHandshake(int fd, int holdMs = 10000);
