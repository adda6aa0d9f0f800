#include "platform/CodePage.h"

#include <iconv.h>

#include <cerrno>

#include "platform/Locale.h"

std::string ConvertCodePage(const std::string& text, const std::string& from, const std::string& to) {
    if (text.empty()) return {};
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return text;
    std::string out;
    out.resize(text.size() * 4 + 16);
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* dst = out.data();
    size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            const size_t used = static_cast<size_t>(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            outLeft = out.size() - used;
            continue;
        }
        // Unconvertible or incomplete input: one "?" for it and go on.
        if (outLeft == 0) continue;
        *dst++ = '?';
        --outLeft;
        ++in;
        --inLeft;
        // Skip the rest of a broken UTF-8 sequence.
        while (inLeft > 0 && from == "UTF-8" && (static_cast<unsigned char>(*in) & 0xC0) == 0x80) {
            ++in;
            --inLeft;
        }
    }
    out.resize(static_cast<size_t>(dst - out.data()));
    iconv_close(cd);
    return out;
}

std::string AnsiToUtf8(const std::string& ansi) { return ConvertCodePage(ansi, AnsiCodePageName(), "UTF-8"); }

std::string Utf8ToAnsi(const std::string& utf8) { return ConvertCodePage(utf8, "UTF-8", AnsiCodePageName()); }
