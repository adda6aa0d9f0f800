#include "net/IdSSLX509.h"

#include "net/IdSSLOpenSSLHeaders.h"

#include <ctime>

std::string TIdX509Name::OneLine() const {
    if (name_ == nullptr) return {};
    char buffer[1024];
    const char* text = IdSSL().X509_NAME_oneline(name_, buffer, sizeof buffer);
    return text != nullptr ? std::string(text) : std::string();
}

TIdX509Name* TIdX509::Subject() {
    if (!subject_) subject_ = std::make_unique<TIdX509Name>(IdSSL().X509_get_subject_name(certificate_));
    return subject_.get();
}

TIdX509Name* TIdX509::Issuer() {
    if (!issuer_) issuer_ = std::make_unique<TIdX509Name>(IdSSL().X509_get_issuer_name(certificate_));
    return issuer_.get();
}

TIdX509::~TIdX509() {
    if (owned_ && certificate_ != nullptr) IdSSL().X509_free(certificate_);
}

namespace {
std::string TimeText(const ASN1_TIME* time) {
    tm value{};
    if (time == nullptr || IdSSL().ASN1_TIME_to_tm(time, &value) != 1) return {};
    char buffer[32];
    return std::string(buffer, strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S GMT", &value));
}
}  // namespace

std::string TIdX509::NotBefore() const { return TimeText(IdSSL().X509_get0_notBefore(certificate_)); }

std::string TIdX509::NotAfter() const { return TimeText(IdSSL().X509_get0_notAfter(certificate_)); }

std::string TIdX509::FingerprintSHA256() const {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (IdSSL().X509_digest(certificate_, IdSSL().EVP_sha256(), digest, &size) != 1) return {};
    static const char hex[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned int i = 0; i < size; ++i) {
        if (i > 0) text += ':';
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 15];
    }
    return text;
}
