#include "tests/support/EmailCheck.h"

#include <filesystem>
#include <sstream>

#include "core/StringList.h"
#include "tests/support/PythonRunner.h"

namespace {

// The script is read as bytes, so that a locale such as ja_JP.SJIS (whose
// 0x5C is a yen sign to the C library) cannot change its source text.
std::string Script() {
    const auto path = std::filesystem::path(MAILSORTELLO_SOURCE_DIR) / "tests" / "support" / "email_check.py";
    return "exec(compile(open(" + std::string("'") + path.string() + "', 'rb').read(), 'email_check.py', 'exec'))";
}

std::string Unhex(const std::string& hex) { return hex == "-" ? hex : FromHex(hex); }

}  // namespace

std::string TEmailCheck::Header(const std::string& name) const {
    for (const auto& [n, v] : headers)
        if (SameText(n, name)) return v;
    return {};
}

int TEmailCheck::HeaderCount(const std::string& name) const {
    int count = 0;
    for (const auto& header : headers) count += SameText(header.first, name) ? 1 : 0;
    return count;
}

TEmailCheck CheckEmail(const std::string& message) {
    static const std::string script = Script();
    const TPythonResult r = RunPython(script, message);
    TEmailCheck check;
    check.exitCode = r.exitCode;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "maxline") {
            words >> check.maxLine;
        } else if (kind == "defects") {
            words >> check.defectCount;
            std::getline(words, check.defects);
        } else if (kind == "header") {
            std::string name, value;
            words >> name >> value;
            check.headers.emplace_back(name, FromHex(value));
        } else if (kind == "part") {
            TEmailPart part;
            std::string name, content;
            words >> part.contentType >> part.charset >> name >> content;
            part.fileName = Unhex(name);
            part.content = FromHex(content);
            check.parts.push_back(part);
        }
    }
    return check;
}
