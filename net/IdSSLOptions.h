// The TLS settings of a handler, read when its context is made.
#pragma once

#include <cstdint>
#include <string>

enum TIdSSLVersion : uint8_t { sslvSSLv2 = 0, sslvSSLv23 = 1, sslvSSLv3 = 2, sslvTLSv1 = 3 };
enum TIdSSLMode : uint8_t { sslmUnassigned = 0, sslmClient = 1, sslmServer = 2, sslmBoth = 3 };
// Bits of a TIdSSLVerifyModeSet; they are OpenSSL's own verify mode bits.
enum TIdSSLVerifyMode : uint8_t { sslvrfPeer = 1, sslvrfFailIfNoPeerCert = 2, sslvrfClientOnce = 4 };
using TIdSSLVerifyModeSet = uint8_t;

inline constexpr const char* IdSSLDefaultCipherList = "ALL:!ADH:RC4+RSA:+HIGH:+MEDIUM:+LOW:+SSLv2:+EXP";

class TIdSSLOptions {
public:
    // Copies all nine fields.
    void Assign(const TIdSSLOptions& source) { *this = source; }

    const std::string& RootCertFile() const { return rootCertFile_; }
    void SetRootCertFile(const std::string& value) { rootCertFile_ = value; }
    const std::string& CertFile() const { return certFile_; }
    void SetCertFile(const std::string& value) { certFile_ = value; }
    const std::string& KeyFile() const { return keyFile_; }
    void SetKeyFile(const std::string& value) { keyFile_ = value; }
    TIdSSLVersion Method() const { return method_; }
    void SetMethod(TIdSSLVersion value) { method_ = value; }
    TIdSSLMode Mode() const { return mode_; }
    void SetMode(TIdSSLMode value) { mode_ = value; }
    int32_t VerifyDepth() const { return verifyDepth_; }
    void SetVerifyDepth(int32_t value) { verifyDepth_ = value; }
    TIdSSLVerifyModeSet VerifyMode() const { return verifyMode_; }
    void SetVerifyMode(TIdSSLVerifyModeSet value) { verifyMode_ = value; }
    const std::string& VerifyDirs() const { return verifyDirs_; }
    void SetVerifyDirs(const std::string& value) { verifyDirs_ = value; }
    // Empty means IdSSLDefaultCipherList.
    const std::string& CipherList() const { return cipherList_; }
    void SetCipherList(const std::string& value) { cipherList_ = value; }

private:
    std::string rootCertFile_;
    std::string certFile_;
    std::string keyFile_;
    TIdSSLVersion method_ = sslvSSLv2;
    TIdSSLMode mode_ = sslmUnassigned;
    int32_t verifyDepth_ = 0;
    TIdSSLVerifyModeSet verifyMode_ = 0;
    std::string verifyDirs_;
    std::string cipherList_;
};
