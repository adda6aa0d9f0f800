// Certificates for TLS tests, made in memory once per process: a private
// CA and leaves it signs (valid, expired, made out to another name), and a
// self-signed one. Each leaf names mx.sortello.test, localhost and
// 127.0.0.1 unless said otherwise.
#pragma once

#include <string>

struct TTlsIdentity {
    std::string name;             // the server name that picks it; empty: the default
    std::string certificatePem;   // the leaf, then the CA when the CA signed it
    std::string keyPem;
};

struct TTestPki {
    std::string caPem;
    TTlsIdentity valid;       // CA-signed, 90 days and a half left
    TTlsIdentity expired;     // CA-signed, ended a day ago
    TTlsIdentity wrongName;   // CA-signed, only wrong.sortello.test
    TTlsIdentity selfSigned;  // its own issuer
};

const TTestPki& TestPki();

// The same identity answered for another server name.
TTlsIdentity ForName(TTlsIdentity identity, const std::string& name);
