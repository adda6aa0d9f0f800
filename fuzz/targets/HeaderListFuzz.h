// The header list reader: a header block split into lines, every field
// looked up by name (unfolding its continuation lines), then written again.
#pragma once

#include "fuzz/FuzzSupport.h"
#include "message/IdHeaderList.h"

inline int FuzzHeaderList(const uint8_t* data, size_t size) {
    TFuzzInput input(data, size);
    const uint8_t flags = input.Byte();
    TIdHeaderList headers;
    headers.SetUnfoldLines((flags & 1) != 0);
    headers.SetFoldLines((flags & 2) != 0);
    headers.SetFoldWidth(1 + input.Byte());
    headers.SetText(input.Rest());
    std::vector<std::string> names;
    for (const std::string& line : headers) names.push_back(TIdHeaderList::LineName(line));
    for (const std::string& name : names) {
        if (names.size() > 64) break;
        const int index = headers.IndexOfName(name);
        FUZZ_CHECK(name.empty() || index >= 0);
        const std::string value = headers.Values(name);
        headers.SetValues(name, value);
        if (!value.empty() && !name.empty()) FUZZ_CHECK(headers.IndexOfName(name) >= 0);
    }
    return 0;
}
