// Debian's aiosmtpd as a real SMTP peer for the tests: runs
// tests/support/aiosmtpd_server.py on a free 127.0.0.1 port for the life of
// the object, with the TLS test server's certificate and a folder for the messages
// it receives.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

class TAiosmtpdServer {
public:
    struct TOptions {
        bool starttls = false;
        bool implicitTls = false;
        bool pipelining = false;
        bool eightBitMime = true;  // 8BITMIME in the EHLO reply
        bool authRequireTls = false;
        std::string refuseRecipient;  // RCPT TO for this address gets 550
        std::string user = "tim";
        std::string password = "tanstaaftanstaaf";
    };

    // True when /usr/bin/python3 can import aiosmtpd.
    static bool Available();
    // Empty when the tests may run; otherwise why they must be skipped. In
    // CI (CI=true) a missing server is an error, never a skip.
    static std::string SkipReason();

    explicit TAiosmtpdServer(const TOptions& options);
    ~TAiosmtpdServer();
    TAiosmtpdServer(const TAiosmtpdServer&) = delete;
    TAiosmtpdServer& operator=(const TAiosmtpdServer&) = delete;

    int Port() const { return port_; }
    const std::string& StoreDir() const { return storeDir_; }

    struct TStored {
        std::string envelope;  // MAIL FROM address, then one line per recipient
        std::string content;   // the message as received (dots unstuffed)
        std::string mailOptions;  // MAIL FROM parameters, one a line ("BODY=8BITMIME")
    };
    // The messages received so far, in order of arrival.
    std::vector<TStored> Stored() const;

private:
    void MakeCertificate();
    void Start(const TOptions& options);
    void Stop();

    std::string workDir_;
    std::string storeDir_;
    pid_t pid_ = -1;
    int stdinFd_ = -1;
    int port_ = 0;
};

// First statement of a real-server test: skips it (outside CI) when the
// server cannot run.
#ifndef SKIP_WITHOUT_AIOSMTPD
#define SKIP_WITHOUT_AIOSMTPD()                                \
    do {                                                       \
        const std::string why = TAiosmtpdServer::SkipReason(); \
        if (!why.empty()) GTEST_SKIP() << why;                 \
    } while (0)
#endif
