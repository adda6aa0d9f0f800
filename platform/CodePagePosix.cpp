#include "platform/CodePage.h"

#include <iconv.h>

#include <cerrno>

#include "platform/Locale.h"

namespace {

// Converts with iconv; an unconvertible or incomplete character becomes
// one "?" when `replace` is set and fails the whole conversion otherwise.
std::optional<std::string> Convert(const std::string& text, const std::string& from, const std::string& to,
                                   bool replace) {
    if (text.empty()) return std::string();
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return replace ? std::optional<std::string>(text) : std::nullopt;
    std::string out;
    out.resize(text.size() * 4 + 16);
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* dst = out.data();
    size_t outLeft = out.size();
    bool exact = true;
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            const size_t used = static_cast<size_t>(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            outLeft = out.size() - used;
            continue;
        }
        exact = false;
        if (!replace) break;
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
    iconv_close(cd);
    if (!exact && !replace) return std::nullopt;
    out.resize(static_cast<size_t>(dst - out.data()));
    return out;
}

}  // namespace

std::string ConvertCodePage(const std::string& text, const std::string& from, const std::string& to) {
    return *Convert(text, from, to, true);
}




namespace {

// One iconv call over the whole input (nullptr input: the flush that ends a
// stateful target in its initial state), growing out as needed.
bool ConvertAll(iconv_t cd, char** in, size_t* inLeft, std::string& out, size_t& used) {
    while (true) {
        char* dst = out.data() + used;
        size_t outLeft = out.size() - used;
        const size_t r = iconv(cd, in, inLeft, &dst, &outLeft);
        used = static_cast<size_t>(dst - out.data());
        if (r != static_cast<size_t>(-1)) return true;
        if (errno != E2BIG) return false;
        out.resize(out.size() * 2);
    }
}

}  // namespace

std::optional<std::string> ConvertCodePageExactly(const std::string& text, const std::string& from,
                                                  const std::string& to) {
    if (text.empty()) return std::string();
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(text.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    size_t used = 0;
    const bool ok = ConvertAll(cd, &in, &inLeft, out, used) && ConvertAll(cd, nullptr, nullptr, out, used);
    iconv_close(cd);
    if (!ok) return std::nullopt;
    out.resize(used);
    return out;
}
