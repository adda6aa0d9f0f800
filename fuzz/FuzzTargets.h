// Every fuzz target by name: the libFuzzer programs run one each, the
// regression test replays the kept inputs through all of them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fuzz/targets/Base64Fuzz.h"
#include "fuzz/targets/EMailAddressFuzz.h"
#include "fuzz/targets/HeaderListFuzz.h"
#include "fuzz/targets/HeaderTextFuzz.h"
#include "fuzz/targets/QuotedPrintableFuzz.h"
#include "fuzz/targets/ReadLnFuzz.h"
#include "fuzz/targets/RegistryFuzz.h"
#include "fuzz/targets/ReplyFuzz.h"

struct TFuzzTarget {
    const char* name;
    int (*run)(const uint8_t* data, size_t size);
};

inline constexpr TFuzzTarget kFuzzTargets[] = {
    {"reply", FuzzReply},
    {"email_address", FuzzEMailAddress},
    {"header_list", FuzzHeaderList},
    {"header_text", FuzzHeaderText},
    {"quoted_printable", FuzzQuotedPrintable},
    {"base64", FuzzBase64},
    {"registry", FuzzRegistry},
    {"readln", FuzzReadLn},
};
