#include "net/IdSSLPeerReport.h"

#include "net/IdSSLOpenSSLHeaders.h"
#include "net/IdSSLSocket.h"
#include "net/IdSSLX509.h"

namespace {

TIdSSLCertificateInfo InfoOf(X509* certificate) {
    TIdX509 x509(certificate);
    return {x509.Subject()->OneLine(), x509.Issuer()->OneLine(), x509.NotBefore(), x509.NotAfter(),
            x509.FingerprintSHA256()};
}

bool IsAddressLiteral(const std::string& name) {
    return name.find(':') != std::string::npos ||
           (!name.empty() && name.find_first_not_of("0123456789.") == std::string::npos);
}

bool CarriesName(X509* certificate, const std::string& name) {
    if (name.empty()) return false;
    const TIdOpenSSLFunctions& f = IdSSL();
    if (IsAddressLiteral(name)) return f.X509_check_ip_asc(certificate, name.c_str(), 0) == 1;
    return f.X509_check_host(certificate, name.c_str(), name.size(), 0, nullptr) == 1;
}

std::optional<int> DaysUntil(const ASN1_TIME* end) {
    int days = 0;
    int seconds = 0;
    if (end == nullptr || IdSSL().ASN1_TIME_diff(&days, &seconds, nullptr, end) != 1) return std::nullopt;
    // Both parts carry the sign; a few seconds past the end is already -1.
    if (days == 0 && seconds < 0) return -1;
    return days;
}

}  // namespace

TIdSSLPeerReport TIdSSLPeerReport::Of(TIdSSLSocket& socket, const std::string& expectedName) {
    const TIdOpenSSLFunctions& f = IdSSL();
    TIdSSLPeerReport report;
    report.expectedName_ = expectedName;
    if (socket.SSL() == nullptr) return report;
    if (const STACK_OF(X509)* sent = f.SSL_get_peer_cert_chain(socket.SSL())) {
        const auto* stack = reinterpret_cast<const OPENSSL_STACK*>(sent);
        for (int i = 0; i < f.OPENSSL_sk_num(stack); ++i)
            report.chain_.push_back(InfoOf(static_cast<X509*>(f.OPENSSL_sk_value(stack, i))));
    }
    TIdX509* own = socket.PeerCertificate();
    if (own == nullptr) {
        report.chain_.clear();
        report.chainError_ = "no certificate";
        return report;
    }
    if (report.chain_.empty()) report.chain_.push_back(InfoOf(own->Certificate()));
    const long result = f.SSL_get_verify_result(socket.SSL());
    report.chainVerified_ = result == X509_V_OK;
    if (!report.chainVerified_) {
        const char* text = f.X509_verify_cert_error_string(result);
        report.chainError_ = text != nullptr ? text : "verification error " + std::to_string(result);
    }
    report.nameMatches_ = CarriesName(own->Certificate(), expectedName);
    report.daysLeft_ = DaysUntil(f.X509_get0_notAfter(own->Certificate()));
    return report;
}

std::string TIdSSLPeerReport::FailureReason() const {
    std::string reason = chainError_;
    if (HasCertificate() && !nameMatches_) reason += std::string(reason.empty() ? "" : "; ") + "host name mismatch";
    return reason;
}
