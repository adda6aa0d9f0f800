// The header list reader: a header block split into lines, every field
// looked up by name (unfolding its continuation lines), then written again.
#pragma once

#include <cctype>

#include "fuzz/FuzzSupport.h"
#include "message/IdHeaderList.h"

// Names as headers have them: letters, digits and "-".
inline bool FuzzIsFieldName(const std::string& name) {
    if (name.empty()) return false;
    for (const char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') return false;
    return true;
}

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
    // Writing every field back keeps each one that has a value. Only real
    // field names count: folding may split a name at a blank or comma, and
    // a line that starts with a blank is a continuation.
    for (size_t i = 0; i < names.size(); ++i) headers.SetValues(names[i], values[i]);
    for (size_t i = 0; i < names.size(); ++i)
        if (!values[i].empty() && FuzzIsFieldName(names[i])) FUZZ_CHECK(headers.IndexOfName(names[i]) >= 0);
    return 0;
}
