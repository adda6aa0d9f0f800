#include "net/IdSSLX509.h"

#include "net/IdSSLOpenSSLHeaders.h"

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
