// A certificate handed to OnVerifyPeer, and its names.
#pragma once

#include <memory>
#include <string>

struct x509_st;
struct X509_name_st;

class TIdX509Name {
public:
    explicit TIdX509Name(X509_name_st* name) : name_(name) {}
    // The name in OpenSSL's one-line form ("/C=IT/CN=host").
    std::string OneLine() const;
    X509_name_st* Name() const { return name_; }

private:
    X509_name_st* name_;
};

// Does not own the certificate unless told so: OpenSSL keeps the one
// handed to OnVerifyPeer for the verification.
class TIdX509 {
public:
    explicit TIdX509(x509_st* certificate, bool owned = false) : certificate_(certificate), owned_(owned) {}
    ~TIdX509();
    TIdX509(const TIdX509&) = delete;
    TIdX509& operator=(const TIdX509&) = delete;
    x509_st* Certificate() const { return certificate_; }
    // Made on first request, freed with the certificate object.
    TIdX509Name* Subject();
    TIdX509Name* Issuer();
    // Validity as "YYYY-MM-DD HH:MM:SS GMT"; empty when unreadable.
    std::string NotBefore() const;
    std::string NotAfter() const;
    // SHA-256 of the DER form as upper-case hex pairs joined by ":".
    std::string FingerprintSHA256() const;

private:
    x509_st* certificate_;
    bool owned_;
    std::unique_ptr<TIdX509Name> subject_;
    std::unique_ptr<TIdX509Name> issuer_;
};
