// A message as a standard reader sees it: tests/support/email_check.py
// (Python's email package, policy default) run through PythonRunner.
#pragma once

#include <string>
#include <vector>

struct TEmailPart {
    std::string contentType;
    std::string charset;   // "-" when the part has none
    std::string fileName;  // UTF-8; "-" when the part has none
    std::string content;   // text parts decoded to UTF-8, others their bytes
};

struct TEmailCheck {
    int exitCode = -1;
    size_t maxLine = 0;
    int defectCount = -1;
    std::string defects;  // the defects' class names
    std::vector<std::pair<std::string, std::string>> headers;  // name, decoded UTF-8 value
    std::vector<TEmailPart> parts;

    // The decoded value of the first field with that name ("" when none),
    // and how many fields have it.
    std::string Header(const std::string& name) const;
    int HeaderCount(const std::string& name) const;
};

// message: the raw bytes, lines ending in CR LF.
TEmailCheck CheckEmail(const std::string& message);
