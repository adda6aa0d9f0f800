// The monitoring check's status and line for what a connection showed.
#include "app/cli/SmtpCheck.h"

#include <gtest/gtest.h>

namespace {

TCheckObservation Clear(int64_t ms) { return {"", ms, "", std::nullopt, ""}; }
TCheckObservation Tls(int64_t ms, int days, const std::string& untrusted = "") {
    return {"", ms, "TLSv1.3", days, untrusted};
}

TCheckThresholds Limits(std::optional<int32_t> w, std::optional<int32_t> c, std::optional<int32_t> cw = {},
                        std::optional<int32_t> cc = {}, bool verify = false) {
    return {w, c, cw, cc, verify};
}

struct TCase {
    const char* label;
    TCheckObservation seen;
    TCheckThresholds limits;
    TCheckStatus status;
    const char* line;
};

TEST(SmtpCheck, StatusAndLineForEachOutcome) {
    const TCase cases[] = {
        {"clear, no thresholds", Clear(12), {}, chkOk, "SMTP OK - 12 ms | time=0.012s;;;0"},
        {"TLS with every threshold", Tls(12, 87), Limits(1000, 2000, 30, 7), chkOk,
         "SMTP OK - 12 ms, TLSv1.3, certificate valid 87 days | time=0.012s;1;2;0 cert_days=87;30;7;0"},
        {"fractional thresholds", Clear(1500), Limits(500, 2250), chkWarning,
         "SMTP WARNING - 1500 ms | time=1.5s;0.5;2.25;0"},
        {"at the warning threshold is not above it", Clear(1000), Limits(1000, 2000), chkOk,
         "SMTP OK - 1000 ms | time=1s;1;2;0"},
        {"above critical", Clear(2001), Limits(1000, 2000), chkCritical, "SMTP CRITICAL - 2001 ms | time=2.001s;1;2;0"},
        {"critical alone", Clear(3000), Limits(std::nullopt, 2000), chkCritical,
         "SMTP CRITICAL - 3000 ms | time=3s;;2;0"},
        {"certificate warning", Tls(5, 20), Limits({}, {}, 30, 7), chkWarning,
         "SMTP WARNING - 5 ms, TLSv1.3, certificate valid 20 days | time=0.005s;;;0 cert_days=20;30;7;0"},
        {"certificate critical", Tls(5, 6), Limits({}, {}, 30, 7), chkCritical,
         "SMTP CRITICAL - 5 ms, TLSv1.3, certificate valid 6 days | time=0.005s;;;0 cert_days=6;30;7;0"},
        {"on the day threshold is fine", Tls(5, 30), Limits({}, {}, 30, 7), chkOk,
         "SMTP OK - 5 ms, TLSv1.3, certificate valid 30 days | time=0.005s;;;0 cert_days=30;30;7;0"},
        {"expired is critical without thresholds", Tls(5, -3), {}, chkCritical,
         "SMTP CRITICAL - 5 ms, TLSv1.3, certificate expired 3 days ago | time=0.005s;;;0 cert_days=-3;;;0"},
        {"untrusted, not verified: reported only", Tls(5, 90, "host name mismatch"), {}, chkOk,
         "SMTP OK - 5 ms, TLSv1.3, certificate valid 90 days, untrusted certificate: host name mismatch | "
         "time=0.005s;;;0 cert_days=90;;;0"},
        {"untrusted and verified", Tls(5, 90, "self-signed certificate"), Limits({}, {}, {}, {}, true), chkCritical,
         "SMTP CRITICAL - 5 ms, TLSv1.3, certificate valid 90 days, untrusted certificate: self-signed certificate | "
         "time=0.005s;;;0 cert_days=90;;;0"},
        {"the worse of time and certificate", Tls(1500, 6), Limits(1000, 2000, 30, 7), chkCritical,
         "SMTP CRITICAL - 1500 ms, TLSv1.3, certificate valid 6 days | time=1.5s;1;2;0 cert_days=6;30;7;0"},
        {"failure, its text kept on one line", {"Socket Error # 10061\r\nConnection refused. | x", 3, "", {}, ""},
         Limits(1000, 2000), chkCritical,
         "SMTP CRITICAL - Socket Error # 10061  Connection refused. / x | time=0.003s;1;2;0"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.label);
        const TCheckVerdict verdict = JudgeCheck(c.seen, c.limits);
        EXPECT_EQ(verdict.status, c.status);
        EXPECT_EQ(verdict.line, c.line);
    }
}

TEST(SmtpCheck, UnknownLineIsOneLine) {
    EXPECT_EQ(CheckUnknownLine("--warning: bad\nvalue"), "SMTP UNKNOWN - --warning: bad value");
}

}  // namespace
