// The monitoring check's verdict: what one connection showed, judged by
// the thresholds, as a status and the one line a monitoring system reads
// ("SMTP OK - 12 ms, TLSv1.3, certificate valid 87 days | time=0.012s;1;2;0
// cert_days=87;30;7;0").
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/cli/CliOptions.h"

struct TCheckThresholds {
    std::optional<int32_t> warningMs, criticalMs;
    std::optional<int32_t> certWarningDays, certCriticalDays;
    bool tlsVerify = false;  // an untrusted certificate is critical

    static TCheckThresholds From(const TCliOptions& options);
};

struct TCheckObservation {
    std::string failure;  // empty: connected (and logged in when asked)
    int64_t elapsedMs = 0;
    std::string protocol;             // empty: no TLS session
    std::optional<int> certDays;      // days left on the server certificate
    std::string untrusted;            // why the certificate is not trusted; empty: trusted
};

struct TCheckVerdict {
    TCheckStatus status = chkUnknown;
    std::string line;
};

TCheckVerdict JudgeCheck(const TCheckObservation& seen, const TCheckThresholds& limits);
// The line for a check that could not run as asked (bad options).
std::string CheckUnknownLine(const std::string& reason);
