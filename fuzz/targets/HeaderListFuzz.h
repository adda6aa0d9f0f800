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
    if (names.size() > 64) names.resize(64);
    std::vector<std::string> values;
    for (const std::string& name : names) {
        FUZZ_CHECK(name.empty() || headers.IndexOfName(name) >= 0);
        values.push_back(headers.Values(name));
    }
    // Writing every field back keeps each one that has a value (a line
    // that starts with a blank is a continuation and may go with its field).
    for (size_t i = 0; i < names.size(); ++i) headers.SetValues(names[i], values[i]);
    for (size_t i = 0; i < names.size(); ++i) {
        const bool continuation = !names[i].empty() && (names[i][0] == ' ' || names[i][0] == '\t');
        if (!values[i].empty() && !names[i].empty() && !continuation) FUZZ_CHECK(headers.IndexOfName(names[i]) >= 0);
    }
    return 0;
}
