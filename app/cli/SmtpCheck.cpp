#include "app/cli/SmtpCheck.h"

#include <algorithm>
#include <cstdio>

namespace {

const char* StatusName(TCheckStatus status) {
    switch (status) {
        case chkOk:
            return "OK";
        case chkWarning:
            return "WARNING";
        case chkCritical:
            return "CRITICAL";
        default:
            return "UNKNOWN";
    }
}

// Milliseconds as seconds with no trailing zeros ("1", "0.5", "0.012").
std::string SecondsText(int64_t ms) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%lld.%03lld", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    std::string text = buffer;
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
    return text;
}

// A text that cannot break the line or start the perfdata early.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
        else if (c == '|') c = '/';
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

std::string Limit(const std::optional<int32_t>& value, bool seconds) {
    if (!value) return "";
    return seconds ? SecondsText(*value) : std::to_string(*value);
}

TCheckStatus TimeStatus(const TCheckObservation& seen, const TCheckThresholds& limits) {
    if (limits.criticalMs && seen.elapsedMs > *limits.criticalMs) return chkCritical;
    if (limits.warningMs && seen.elapsedMs > *limits.warningMs) return chkWarning;
    return chkOk;
}

TCheckStatus CertificateStatus(const TCheckObservation& seen, const TCheckThresholds& limits) {
    if (seen.protocol.empty()) return chkOk;
    if (limits.tlsVerify && !seen.untrusted.empty()) return chkCritical;
    if (!seen.certDays) return chkOk;
    if (*seen.certDays < 0) return chkCritical;
    if (limits.certCriticalDays && *seen.certDays < *limits.certCriticalDays) return chkCritical;
    if (limits.certWarningDays && *seen.certDays < *limits.certWarningDays) return chkWarning;
    return chkOk;
}

std::string CertificateText(const TCheckObservation& seen) {
    if (!seen.certDays) return ", no server certificate";
    if (*seen.certDays < 0) return ", certificate expired " + std::to_string(-*seen.certDays) + " days ago";
    return ", certificate valid " + std::to_string(*seen.certDays) + " days";
}

std::string Summary(const TCheckObservation& seen) {
    std::string text = std::to_string(seen.elapsedMs) + " ms";
    if (!seen.protocol.empty()) text += ", " + seen.protocol + CertificateText(seen);
    if (!seen.untrusted.empty()) text += ", untrusted certificate: " + OneLine(seen.untrusted);
    return text;
}

std::string Perfdata(const TCheckObservation& seen, const TCheckThresholds& limits) {
    std::string data = "time=" + SecondsText(seen.elapsedMs) + "s;" + Limit(limits.warningMs, true) + ";" +
                       Limit(limits.criticalMs, true) + ";0";
    if (!seen.protocol.empty() && seen.certDays)
        data += " cert_days=" + std::to_string(*seen.certDays) + ";" + Limit(limits.certWarningDays, false) + ";" +
                Limit(limits.certCriticalDays, false) + ";0";
    return data;
}

}  // namespace

TCheckThresholds TCheckThresholds::From(const TCliOptions& options) {
    return {options.warningMs, options.criticalMs, options.certWarningDays, options.certCriticalDays,
            options.tlsVerify};
}

TCheckVerdict JudgeCheck(const TCheckObservation& seen, const TCheckThresholds& limits) {
    TCheckVerdict verdict;
    if (!seen.failure.empty()) {
        verdict.status = chkCritical;
        verdict.line = "SMTP CRITICAL - " + OneLine(seen.failure) + " | " + Perfdata(seen, limits);
        return verdict;
    }
    verdict.status = std::max(TimeStatus(seen, limits), CertificateStatus(seen, limits));
    verdict.line = std::string("SMTP ") + StatusName(verdict.status) + " - " + Summary(seen) + " | " +
                   Perfdata(seen, limits);
    return verdict;
}

std::string CheckUnknownLine(const std::string& reason) { return "SMTP UNKNOWN - " + OneLine(reason); }
