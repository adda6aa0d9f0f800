// The settings file reader: any text either parses or says why, and what
// parses writes out as a text that parses to the same tree.
#pragma once

#include "fuzz/FuzzSupport.h"
#include "platform/RegistryText.h"

inline int FuzzRegistry(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    TRegistryTree tree;
    std::string error;
    if (!ParseRegistryText(text, "HKEY_CURRENT_USER", tree, error)) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    const std::string written = FormatRegistryText(tree, "HKEY_CURRENT_USER");
    TRegistryTree again;
    FUZZ_CHECK(ParseRegistryText(written, "HKEY_CURRENT_USER", again, error));
    FUZZ_CHECK(again == tree);
    FUZZ_CHECK(FormatRegistryText(again, "HKEY_CURRENT_USER") == written);
    return 0;
}
