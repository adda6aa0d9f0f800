#include "message/IdHeaderCoder.h"

#include <algorithm>
#include <bitset>
#include <cctype>
#include <regex>
#include <vector>

#include "core/StringList.h"
#include "message/IdCoderMIME.h"
#include "message/IdEMailAddress.h"
#include "message/IdHeaderList.h"
#include "message/IdLabelledText.h"

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

// One character of a run: its bytes and, for ISO-2022-JP, whether they are
// JIS X 0208 (two bytes) rather than ASCII.
struct TUnit {
    std::string_view bytes;
    bool jis = false;
};

size_t Utf8Length(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

bool IsDoubleByteLabel(const std::string& charset) {
    for (const char* name : {"GB2312", "GBK", "Big5", "EUC-KR", "Shift_JIS"})
        if (SameText(charset, name)) return true;
    return false;
}

// Cuts a run into characters, so that no encoded word ends inside one.
std::vector<TUnit> SplitCharacters(std::string_view run, const std::string& charset) {
    std::vector<TUnit> units;
    const bool utf8 = SameText(charset, "UTF-8");
    const bool doubleByte = IsDoubleByteLabel(charset);
    const bool iso2022Jp = SameText(charset, "ISO-2022-JP");
    bool jis = false;
    for (size_t i = 0; i < run.size();) {
        if (iso2022Jp && run[i] == '\x1B' && i + 2 < run.size()) {
            jis = run[i + 1] == '$';  // ESC $ B or ESC $ @ open JIS X 0208, ESC ( B or ESC ( J close it
            i += 3;
            continue;
        }
        size_t length = 1;
        if (utf8) length = Utf8Length(Byte(run[i]));
        if (doubleByte && Byte(run[i]) >= 0x81 && Byte(run[i]) != 0xFF) length = 2;
        if (jis) length = 2;
        length = std::min(length, run.size() - i);
        units.push_back({run.substr(i, length), jis});
        i += length;
    }
    return units;
}

// The bytes of one encoded word; in ISO-2022-JP it starts and ends in ASCII.
std::string WordBytes(const std::vector<TUnit>& units) {
    std::string out;
    bool jis = false;
    for (const TUnit& unit : units) {
        if (unit.jis != jis) out += unit.jis ? "\x1B$B" : "\x1B(B";
        jis = unit.jis;
        out.append(unit.bytes);
    }
    if (jis) out += "\x1B(B";
    return out;
}

// Writes the encoded words of one run, each at most 75 characters, joined
// by CR LF and a blank, and never cutting a character in two.
class TEncodedWordWriter {
public:
    TEncodedWordWriter(std::string& out, const std::string& charset, char letter, const TCharSet& quoteRequired)
        : out_(out), charset_(charset), begin_("=?" + charset + "?" + letter + "?"),
          q_(letter == 'Q' || letter == 'q'), quoteRequired_(quoteRequired) {}

    // firstWord: the most the first encoded word may take (the rest of its
    // line); the others take up to 75.
    void Run(std::string_view run, size_t firstWord) {
        const size_t frame = begin_.size() + 2;
        // Room for the encoded text; none (one character a word) when the
        // charset name alone fills a word.
        auto roomIn = [frame](size_t word) { return word > frame ? word - frame : 0; };
        size_t room = roomIn(std::min(firstWord, kMaxEncodedWord));
        std::vector<TUnit> word;
        bool first = true;
        for (const TUnit& unit : SplitCharacters(run, charset_)) {
            word.push_back(unit);
            if (word.size() == 1 || Encoded(WordBytes(word)).size() <= room) continue;
            room = roomIn(kMaxEncodedWord);
            word.pop_back();
            Put(word, first);
            word = {unit};
        }
        if (!word.empty()) Put(word, first);
    }

private:
    void Put(const std::vector<TUnit>& word, bool& first) {
        if (!first) out_ += "\r\n ";
        first = false;
        out_ += begin_ + Encoded(WordBytes(word)) + "?=";
    }

    std::string Encoded(const std::string& bytes) const {
        std::string out;
        if (!q_) {
            TIdEncoderMIME::EncodeBlock(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out);
            return out;
        }
        for (char c : bytes) {
            if (c == ' ')
                out += '_';
            else if (quoteRequired_.test(Byte(c)))
                out += {'=', kHex[Byte(c) >> 4], kHex[Byte(c) & 15]};
            else
                out += c;
        }
        return out;
    }

    std::string& out_;
    const std::string& charset_;
    std::string begin_;
    bool q_;
    const TCharSet& quoteRequired_;
};

// A plain word this long could not be folded into lines of 998 octets
// (with room for the field name): it goes out as encoded words instead.
constexpr size_t kMaxPlainWord = 998 - 78;

// The longest line header folding leaves alone (a FoldWidth of 78).
constexpr size_t kLongestLine = 77;

// The room left on the current line of out for an encoded word; when less
// than a short word needs, a full 75 (folding will move it to a line of its
// own).
size_t RoomOnLine(const std::string& out, size_t column, size_t frame) {
    const size_t crlf = out.rfind("\r\n");
    const size_t used = crlf == std::string::npos ? column + out.size() : out.size() - crlf - 2;
    return used + frame + 8 <= kLongestLine ? kLongestLine - used : kMaxEncodedWord;
}

// What a reader takes for an encoded word, whatever its charset (the
// decoder here knows only some): typed as it is, it would arrive decoded.
bool LooksEncoded(const std::string& text) {
    static const std::regex word(R"(=\?[^?\s]+\?[BbQq]\?[^?\s]*\?=)");
    return std::regex_search(text, word);
}

}  // namespace

std::string EncodeHeaderText(const std::string& text, std::string_view specials, char letter, TTransfer,
                             const std::string& charset, size_t column) {
    const std::string typed = UnfoldHeaderText(text);
    const TIdLabelledText labelled = LabelText(typed, charset);
    const std::string& s = labelled.Bytes;
    if (letter == '8') return s;
    TCharSet needEncode = AlwaysEncode();
    Add(needEncode, specials);
    TCharSet quoteRequired = needEncode;
    Add(quoteRequired, "=?_");
    if (LooksEncoded(typed) || DecodeHeaderText(typed) != typed) needEncode.set(Byte('='));

    std::string out;
    TEncodedWordWriter writer(out, labelled.CharSet, letter, quoteRequired);
    const size_t frame = labelled.CharSet.size() + 7;  // "=?" charset "?B?" ... "?="
    size_t room = 0;
    const size_t n = s.size();
    size_t runStart = std::string::npos;
    size_t q0 = 0;
    while (q0 < n) {
        size_t r = q0;
        while (r < n && IsWhite(s[r])) ++r;
        size_t p = r;
        bool needs = false;
        while (p < n && !IsWhite(s[p])) needs |= needEncode.test(Byte(s[p++]));
        needs |= p - r > kMaxPlainWord;
        if (needs) {
            if (runStart == std::string::npos) {
                out.append(s, q0, r - q0);
                runStart = r;
                room = RoomOnLine(out, column, frame);
            }
        } else {
            if (runStart != std::string::npos) {
                writer.Run(std::string_view(s).substr(runStart, q0 - runStart), room);
                runStart = std::string::npos;
            }
            out.append(s, q0, p - q0);
        }
        q0 = p;
    }
    if (runStart != std::string::npos) writer.Run(std::string_view(s).substr(runStart), room);
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
                                bool useAddressAsName, size_t column) {
    if (useAddressAsName && item.Name().empty()) item.SetName(item.Address());
    const std::string& name = item.Name();
    if (name.empty()) return item.Address();
    // A quoted name is never folded inside, so one too long for a line is
    // encoded instead; so is one that readers would decode even in quotes.
    const bool raw = name.size() > kMaxPlainWord || LooksEncoded(name) ||
                     std::any_of(name.begin(), name.end(), [](char c) { return Byte(c) < 32 || Byte(c) >= 127; });
    std::string namePart;
    if (raw) {
        namePart = EncodeHeaderText(name, kAddressSpecials, letter, transfer, charset, column);
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
                                  const std::string& charset, bool useAddressAsName, size_t column) {
    std::string out;
    for (int i = 0; i < list.Count(); ++i) {
        if (i > 0) out += ", ";
        // Only the first item surely shares the line with the field name; a
        // later one that does not fit is folded onto a line of its own.
        out += EncodeHeaderAddress(*list.Items(i), letter, transfer, charset, useAddressAsName, i == 0 ? column : 0);
    }
    return out;
}
