// A scripted SMTP server on 127.0.0.1 for tests. It plays rows of server
// replies and expected client lines on each connection, records every byte
// the client sent, and can switch a connection to TLS (after the "220" to
// STARTTLS, or from the first byte for implicit TLS).
//
// Rows of a script:
//   "S: text"      send text + CR LF (one row per reply line)
//   "C: text"      expect the client line `text` exactly; "C: *" takes any
//                  line. A different line is recorded in Failures() and
//                  ends the connection (the server closes it).
//   "DATA"         read the message text up to the line "." and keep it
//                  (dot-stuffing left as sent, the "." line excluded) in
//                  Messages()
//   "TLS"          run the server side of a TLS handshake on the connection
//                  (TlsTestServer's certificate, or the identities of the
//                  TLS configuration given); a failed handshake is a
//                  failure and ends the connection
//   "SKIP UNTIL: text"  drop client bytes up to a line ending with text
//                  (for a client whose TLS handshake failed: its
//                  handshake bytes come before the next command)
//   "RAW: bytes"   send the bytes after "RAW: " as they are, no CR LF added
//   "CLOSE"        close the connection now
//   "SILENT"       answer nothing more: wait until the client closes
//   "PAUSE: ms"    sleep that many milliseconds
// When the rows are used up the server keeps reading until the client
// closes (at most ten seconds); lines arriving then are recorded in
// Failures() as unexpected.
#pragma once

#include "tests/support/LoopbackServer.h"
#include "tests/support/TlsTestServer.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TScriptedSmtpServer {
public:
    using TScript = std::vector<std::string>;
    // One script per connection, served one after another.
    struct TSessions {
        std::vector<TScript> scripts;
    };

    explicit TScriptedSmtpServer(TScript script);
    explicit TScriptedSmtpServer(TSessions sessions);
    // TLS rows use this configuration (identities chosen by server name).
    TScriptedSmtpServer(TScript script, TTlsServerConfig tls);
    ~TScriptedSmtpServer();
    TScriptedSmtpServer(const TScriptedSmtpServer&) = delete;
    TScriptedSmtpServer& operator=(const TScriptedSmtpServer&) = delete;

    int Port() const { return server_->Port(); }
    // Waits until every connection's script has ended.
    void Join() { server_->Join(); }

    // What the client sent (decrypted once TLS is on), all connections.
    std::string Received() const;
    // The bytes of each receive call, in order: a batch written at once
    // by the client shows up as one entry.
    std::vector<std::string> Reads() const;
    // Script deviations: "expected 'X', got 'Y'", "unexpected 'Y'", ...
    std::vector<std::string> Failures() const;
    // The message texts read by DATA rows.
    std::vector<std::string> Messages() const;
    // The server name each TLS row was sent ("" when none), in order.
    std::vector<std::string> ServerNames() const;
    // Number of connections whose script has started.
    int Connections() const;

    class TConnection;

private:
    friend class TConnection;
    void Serve(int fd);
    void Record(const std::string& bytes);
    void AddFailure(const std::string& text);
    void AddMessage(const std::string& text);
    void AddServerName(const std::string& name);

    std::vector<TScript> scripts_;
    mutable std::mutex mutex_;
    std::string received_;
    std::vector<std::string> reads_;
    std::vector<std::string> failures_;
    std::vector<std::string> messages_;
    std::vector<std::string> serverNames_;
    TTlsServerConfig tls_;
    int connections_ = 0;
    std::unique_ptr<TLoopbackServer> server_;  // last: stops before the rest goes
};
