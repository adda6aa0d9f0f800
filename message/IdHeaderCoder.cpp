#include "message/IdHeaderCoder.h"

#include <algorithm>
#include <bitset>
#include <cctype>

#include "core/StringList.h"
#include "message/IdCoderMIME.h"
#include "message/IdEMailAddress.h"
#include "message/IdIso2022Jp.h"
#include "platform/CodePage.h"
#include "platform/Locale.h"

const std::string_view kAddressSpecials = "\"(),.:;<>@[\\]";

namespace {

using TCharSet = std::bitset<256>;

constexpr size_t kMaxEncodedWord = 75;
const char kHex[] = "0123456789ABCDEF";

bool IsWhite(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }
unsigned char Byte(char c) { return static_cast<unsigned char>(c); }

TCharSet AlwaysEncode() {
    TCharSet set;
    for (int i = 0; i < 32; ++i) set.set(static_cast<size_t>(i));
    for (int i = 127; i < 256; ++i) set.set(static_cast<size_t>(i));
    return set;
}

void Add(TCharSet& set, std::string_view chars) {
    for (char c : chars) set.set(Byte(c));
}

// Writes encoded words for one run, folding before a word would pass 75.
class TEncodedWordWriter {
public:
    TEncodedWordWriter(std::string& out, const std::string& charset, char letter)
        : out_(out), begin_("=?" + charset + "?" + letter + "?") {}

    void Q(std::string_view run, const TCharSet& quoteRequired) {
        Open();
        for (char c : run) {
            std::string token;
            if (c == ' ')
                token = "_";
            else if (quoteRequired.test(Byte(c)))
                token = {'=', kHex[Byte(c) >> 4], kHex[Byte(c) & 15]};
            else
                token = std::string(1, c);
            Put(token);
        }
        out_ += "?=";
    }

    void B(std::string_view run) {
        Open();
        for (size_t i = 0; i < run.size(); i += 3) {
            std::string token;
            TIdEncoderMIME::EncodeBlock(reinterpret_cast<const uint8_t*>(run.data() + i), std::min<size_t>(3, run.size() - i),
                                        token);
            Put(token);
        }
        out_ += "?=";
    }

private:
    void Open() {
        out_ += begin_;
        count_ = begin_.size() + 2;
    }
    void Put(const std::string& token) {
        if (count_ + token.size() > kMaxEncodedWord) {
            out_ += "?=\r\n ";
            Open();
        }
        out_ += token;
        count_ += token.size();
    }

    std::string& out_;
    std::string begin_;
    size_t count_ = 0;
};

bool IsKoi8R(const std::string& charset) { return SameText(charset, "KOI8-R"); }

std::string PrepareText(const std::string& text, TTransfer transfer, const std::string& charset) {
    if (transfer == ttIso2022Jp) return ToIso2022Jp(text);
    if (IsKoi8R(charset) && AnsiCodePage() != 20866) return ConvertCodePage(text, AnsiCodePageName(), "KOI8-R");
    return text;
}

}  // namespace

std::string EncodeHeaderText(const std::string& text, std::string_view specials, char letter, TTransfer transfer,
                             const std::string& charset) {
    const std::string s = PrepareText(text, transfer, charset);
    if (letter == '8') return s;
    TCharSet needEncode = AlwaysEncode();
    Add(needEncode, specials);
    TCharSet quoteRequired = needEncode;
    Add(quoteRequired, "=?_");
    if (DecodeHeaderText(text) != text) needEncode.set(Byte('='));

    const bool q = letter == 'Q' || letter == 'q';
    std::string out;
    TEncodedWordWriter writer(out, charset, letter);
    auto encodeRun = [&](size_t from, size_t to) {
        const std::string_view run(s.data() + from, to - from);
        if (q)
            writer.Q(run, quoteRequired);
        else
            writer.B(run);
    };
    const size_t n = s.size();
    size_t runStart = std::string::npos;
    size_t q0 = 0;
    while (q0 < n) {
        size_t r = q0;
        while (r < n && IsWhite(s[r])) ++r;
        size_t p = r;
        bool needs = false;
        while (p < n && !IsWhite(s[p])) needs |= needEncode.test(Byte(s[p++]));
        if (needs) {
            if (runStart == std::string::npos) {
                out.append(s, q0, r - q0);
                runStart = r;
            }
        } else {
            if (runStart != std::string::npos) {
                encodeRun(runStart, q0);
                runStart = std::string::npos;
            }
            out.append(s, q0, p - q0);
        }
        q0 = p;
    }
    if (runStart != std::string::npos) encodeRun(runStart, n);
    return out;
}

namespace {

bool DecodableCharset(const std::string& charset) {
    return StartsText("ISO", charset) || StartsText("WINDOWS", charset) || StartsText("KOI8", charset);
}

bool DecodeQ(const std::string& text, std::string& out) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out += ' ';
        } else if (c == '=' && i + 2 < text.size() && isxdigit(Byte(text[i + 1])) && isxdigit(Byte(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else if (c == '=') {
            return false;
        } else {
            out += c;
        }
    }
    return true;
}

// Decodes the encoded word starting at pos; answers its end or npos. An
// encoded word is at most 75 characters, which also keeps the scan linear.
size_t DecodeWordAt(const std::string& text, size_t pos, std::string& out) {
    const std::string w = text.substr(pos, kMaxEncodedWord);
    const size_t q1 = w.find('?', 2);
    if (q1 == std::string::npos || q1 + 2 >= w.size() || w[q1 + 2] != '?') return std::string::npos;
    const size_t end = w.find("?=", q1 + 3);
    if (end == std::string::npos) return std::string::npos;
    if (std::any_of(w.begin(), w.begin() + static_cast<long>(end), IsWhite)) return std::string::npos;
    if (!DecodableCharset(w.substr(2, q1 - 2))) return std::string::npos;
    const char letter = static_cast<char>(toupper(Byte(w[q1 + 1])));
    const std::string payload = w.substr(q1 + 3, end - q1 - 3);
    std::string decoded;
    const bool ok = letter == 'Q' ? DecodeQ(payload, decoded)
                    : letter == 'B' ? TIdDecoderMIME::TryDecode(payload, decoded)
                                    : false;
    if (!ok) return std::string::npos;
    out += decoded;
    return pos + end + 2;
}

}  // namespace

std::string DecodeHeaderText(const std::string& text) {
    std::string out;
    size_t i = 0;
    size_t afterWord = std::string::npos;  // end of the last decoded word
    while (i < text.size()) {
        if (text.compare(i, 2, "=?") == 0) {
            std::string decoded;
            const size_t end = DecodeWordAt(text, i, decoded);
            if (end != std::string::npos) {
                // White space between two encoded words is not part of the text.
                if (afterWord != std::string::npos &&
                    std::all_of(text.begin() + static_cast<long>(afterWord), text.begin() + static_cast<long>(i), IsWhite))
                    out.resize(out.size() - (i - afterWord));
                out += decoded;
                i = end;
                afterWord = end;
                continue;
            }
        }
        if (text[i] != '\0') out += text[i];
        ++i;
    }
    return out;
}

std::string EncodeHeaderAddress(TIdEMailAddressItem& item, char letter, TTransfer transfer, const std::string& charset,
                                bool useAddressAsName) {
    if (useAddressAsName && item.Name().empty()) item.SetName(item.Address());
    const std::string& name = item.Name();
    if (name.empty()) return item.Address();
    const bool raw = std::any_of(name.begin(), name.end(), [](char c) { return Byte(c) < 32 || Byte(c) >= 127; });
    std::string namePart;
    if (raw) {
        namePart = EncodeHeaderText(name, kAddressSpecials, letter, transfer, charset);
    } else {
        namePart = "\"";
        for (char c : name) {
            if (c == '\\' || c == '"') namePart += '\\';
            namePart += c;
        }
        namePart += '"';
    }
    return namePart + " <" + item.Address() + ">";
}

std::string EncodeHeaderAddresses(TIdEMailAddressList& list, char letter, TTransfer transfer,
                                  const std::string& charset, bool useAddressAsName) {
    std::string out;
    for (int i = 0; i < list.Count(); ++i) {
        if (i > 0) out += ", ";
        out += EncodeHeaderAddress(*list.Items(i), letter, transfer, charset, useAddressAsName);
    }
    return out;
}
