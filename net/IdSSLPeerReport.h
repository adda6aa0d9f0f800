// What a client can tell about the server of an open TLS session: whether
// its chain verifies against the context's trust (the library's default
// locations, when the handler was told to load them, and the root
// certificate file), each certificate it sent,
// whether its certificate is made out to the expected name, and how many
// days it has left. The session itself accepts any certificate; this is
// the report a caller judges it by.
#pragma once

#include <optional>
#include <string>
#include <vector>

class TIdSSLSocket;

struct TIdSSLCertificateInfo {
    std::string subject;
    std::string issuer;
    std::string notBefore;
    std::string notAfter;
    std::string fingerprintSHA256;
};

class TIdSSLPeerReport {
public:
    // expectedName: a host name or an address literal (IPv4 or IPv6).
    static TIdSSLPeerReport Of(TIdSSLSocket& socket, const std::string& expectedName);

    bool HasCertificate() const { return !chain_.empty(); }
    // The certificates as the server sent them, its own first.
    const std::vector<TIdSSLCertificateInfo>& Chain() const { return chain_; }
    bool ChainVerified() const { return chainVerified_; }
    // The library's reason ("certificate has expired"); empty when verified.
    const std::string& ChainError() const { return chainError_; }
    const std::string& ExpectedName() const { return expectedName_; }
    // The name matches a DNS (or, for an address, IP) subject alternative
    // name, or the common name when the certificate has no such names.
    bool NameMatches() const { return nameMatches_; }
    // Whole days until the server certificate's end of validity, below 0
    // once it has passed; none without a readable date.
    std::optional<int> DaysLeft() const { return daysLeft_; }

    bool Trusted() const { return chainVerified_ && nameMatches_; }
    // Why it is not trusted: the chain's reason, "host name mismatch", or
    // both joined by "; "; empty when trusted.
    std::string FailureReason() const;

private:
    std::vector<TIdSSLCertificateInfo> chain_;
    bool chainVerified_ = false;
    std::string chainError_;
    std::string expectedName_;
    bool nameMatches_ = false;
    std::optional<int> daysLeft_;
};
