#include "platform/RegistryText.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "core/StringList.h"
#include "platform/CodePage.h"

namespace {

const char* const kHeader = "Windows Registry Editor Version 5.00";
const int kRegSz = 1;

unsigned char FoldForOrder(char c) {
    // The separator sorts first so that a key is followed by its subkeys.
    if (c == '\\') return 1;
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c - 'A' + 'a');
    return static_cast<unsigned char>(c);
}

bool IsBelow(const std::string& key, const std::string& parent) {
    return key.size() > parent.size() + 1 && key[parent.size()] == '\\' && SameText(key.substr(0, parent.size()), parent);
}

// ---- reading -------------------------------------------------------------

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// Reads a quoted text starting at pos (on the opening quote); pos ends after
// the closing quote. Only \\ and \" are escapes, as regedit writes them.
bool ReadQuoted(const std::string& line, size_t& pos, std::string& out) {
    if (pos >= line.size() || line[pos] != '"') return false;
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (++pos >= line.size() || (line[pos] != '\\' && line[pos] != '"')) return false;
            c = line[pos];
        }
        out += c;
    }
    return false;
}

bool ParseHexNumber(const std::string& digits, unsigned long maxValue, unsigned long& value) {
    if (digits.empty() || digits.size() > 8) return false;
    for (char c : digits)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    value = std::strtoul(digits.c_str(), nullptr, 16);
    return value <= maxValue;
}

bool ParseHexBytes(const std::string& list, std::vector<uint8_t>& bytes) {
    std::string digits;
    for (char c : list) {
        if (c == ' ' || c == '\t') continue;
        if (c != ',') {
            digits += c;
            continue;
        }
        unsigned long b = 0;
        if (!ParseHexNumber(digits, 0xFF, b)) return false;
        bytes.push_back(static_cast<uint8_t>(b));
        digits.clear();
    }
    unsigned long b = 0;
    if (digits.empty()) return list.empty() || list.back() != ',';
    if (!ParseHexNumber(digits, 0xFF, b)) return false;
    bytes.push_back(static_cast<uint8_t>(b));
    return true;
}

// Length of the well-formed UTF-8 sequence (at most U+10FFFF, no
// surrogates, no overlong forms) at text[i], or 0.
size_t Utf8SequenceAt(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return 1;
    const size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    const unsigned char second = byte(i + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

// The text with every byte that is not part of well-formed UTF-8 as "?".
std::string ValidUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t length = Utf8SequenceAt(text, i);
        out += length == 0 ? std::string("?") : text.substr(i, length);
        i += length == 0 ? 1 : length;
    }
    return out;
}

std::string Utf16ToUtf8(const std::vector<uint8_t>& bytes) {
    std::string raw(bytes.begin(), bytes.end());
    // One terminator, as written; NULs of the text itself stay.
    if (raw.size() >= 2 && raw[raw.size() - 1] == '\0' && raw[raw.size() - 2] == '\0') raw.resize(raw.size() - 2);
    return ConvertCodePage(raw, "UTF-16LE", "UTF-8");
}

// "hex:..." or "hex(N):..." data.
bool ParseHexData(const std::string& data, TRegValue& value) {
    size_t colon = data.find(':');
    unsigned long type = 3;
    if (data.compare(0, 4, "hex(") == 0) {
        const size_t close = data.find(')');
        if (close == std::string::npos || close + 1 != colon || !ParseHexNumber(data.substr(4, close - 4), 0xFFFFFFFF, type))
            return false;
    } else if (data.compare(0, 4, "hex:") != 0) {
        return false;
    }
    std::vector<uint8_t> bytes;
    if (!ParseHexBytes(data.substr(colon + 1), bytes)) return false;
    if (type == kRegSz) {
        value.kind = TRegValueKind::rvString;
        value.text = Utf16ToUtf8(bytes);
    } else {
        value.kind = TRegValueKind::rvOther;
        value.otherType = static_cast<int>(type);
        value.bytes = std::move(bytes);
    }
    return true;
}

bool ParseData(const std::string& line, size_t pos, TRegValue& value) {
    const std::string data = TrimRight(line.substr(pos));
    if (data.compare(0, 1, "\"") == 0) {
        size_t p = 0;
        value.kind = TRegValueKind::rvString;
        if (!ReadQuoted(data, p, value.text) || p != data.size()) return false;
        // Bytes that are no UTF-8 read as "?" through the ANSI interface
        // anyway; holding them so keeps a later save (in the UTF-16 form of
        // a text with a line break) from turning them into something else.
        value.text = ValidUtf8(value.text);
        return true;
    }
    if (data.compare(0, 6, "dword:") == 0) {
        unsigned long v = 0;
        if (!ParseHexNumber(data.substr(6), 0xFFFFFFFF, v)) return false;
        value.kind = TRegValueKind::rvDword;
        value.dword = static_cast<uint32_t>(v);
        return true;
    }
    return ParseHexData(data, value);
}

bool ParseValueLine(const std::string& line, TRegValue& value) {
    size_t pos = 0;
    if (line[0] == '@') {
        pos = 1;
    } else if (!ReadQuoted(line, pos, value.name) || value.name.empty()) {
        return false;
    }
    while (pos < line.size() && line[pos] == ' ') ++pos;
    if (pos >= line.size() || line[pos] != '=') return false;
    ++pos;
    while (pos < line.size() && line[pos] == ' ') ++pos;
    return ParseData(line, pos, value);
}

// Hex data may go on over several lines, each but the last ending in "\".
std::string JoinContinuations(const std::vector<std::string>& lines, size_t& i) {
    std::string line = TrimRight(lines[i]);
    while (line.size() > 1 && line.back() == '\\' && line.find("=hex") != std::string::npos && i + 1 < lines.size()) {
        line.pop_back();
        line += Trim(lines[++i]);
    }
    return line;
}

bool ParseSection(const std::string& line, const std::string& rootName, std::string& path) {
    if (line.size() < 2 || line.back() != ']' || line[1] == '-') return false;
    const std::string full = line.substr(1, line.size() - 2);
    if (SameText(full, rootName)) {
        path.clear();
        return true;
    }
    if (!StartsText(rootName + "\\", full)) return false;
    path = full.substr(rootName.size() + 1);
    return !path.empty() && path.back() != '\\' && path.find("\\\\") == std::string::npos;
}

// ---- writing -------------------------------------------------------------

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string HexList(const std::vector<uint8_t>& bytes) {
    std::string out;
    char buf[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, i == 0 ? "%02x" : ",%02x", bytes[i]);
        out += buf;
    }
    return out;
}

std::string HexPrefix(int type) {
    if (type == 3) return "hex:";
    char buf[24];
    std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(type));
    return buf;
}

std::string FormatData(const TRegValue& value) {
    switch (value.kind) {
        case TRegValueKind::rvDword: {
            char buf[16];
            std::snprintf(buf, sizeof buf, "dword:%08x", value.dword);
            return buf;
        }
        case TRegValueKind::rvOther:
            return HexPrefix(value.otherType) + HexList(value.bytes);
        case TRegValueKind::rvString:
            break;
    }
    // A quoted text cannot hold a line break; regedit's own answer is the
    // UTF-16 form of the string type.
    if (value.text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos) return Quote(value.text);
    std::string utf16 = ConvertCodePage(value.text, "UTF-8", "UTF-16LE");
    utf16.append(2, '\0');
    return HexPrefix(kRegSz) + HexList(std::vector<uint8_t>(utf16.begin(), utf16.end()));
}

}  // namespace

const TRegValue* TRegKey::Find(const std::string& name) const {
    const auto it = index_.find(LowerCase(name));
    return it == index_.end() ? nullptr : &values_[it->second];
}

void TRegKey::Set(const TRegValue& value) {
    const auto [it, added] = index_.try_emplace(LowerCase(value.name), values_.size());
    if (added) {
        values_.push_back(value);
        return;
    }
    TRegValue& stored = values_[it->second];
    const std::string keptName = stored.name;
    stored = value;
    stored.name = keptName;
}

bool TRegKey::Remove(const std::string& name) {
    const auto it = index_.find(LowerCase(name));
    if (it == index_.end()) return false;
    const size_t position = it->second;
    values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(position));
    index_.erase(it);
    for (auto& entry : index_)
        if (entry.second > position) --entry.second;
    return true;
}

bool TRegPathLess::operator()(const std::string& a, const std::string& b) const {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char ca = FoldForOrder(a[i]), cb = FoldForOrder(b[i]);
        if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
}

const TRegKey* TRegistryTree::Find(const std::string& path) const {
    auto it = keys_.find(path);
    return it == keys_.end() ? nullptr : &it->second;
}

TRegKey* TRegistryTree::Find(const std::string& path) {
    auto it = keys_.find(path);
    return it == keys_.end() ? nullptr : &it->second;
}

TRegKey& TRegistryTree::Create(const std::string& path) {
    if (TRegKey* key = Find(path)) return *key;
    for (size_t sep = path.find('\\'); sep != std::string::npos; sep = path.find('\\', sep + 1))
        keys_.try_emplace(path.substr(0, sep));
    return keys_.try_emplace(path).first->second;
}

void TRegistryTree::Delete(const std::string& path) {
    for (auto it = keys_.begin(); it != keys_.end();) {
        if (SameText(it->first, path) || IsBelow(it->first, path) || path.empty())
            it = keys_.erase(it);
        else
            ++it;
    }
}

std::vector<std::string> TRegistryTree::SubKeyNames(const std::string& path) const {
    std::vector<std::string> names;
    for (const auto& [key, unused] : keys_) {
        if (path.empty() ? key.empty() : !IsBelow(key, path)) continue;
        const std::string rest = path.empty() ? key : key.substr(path.size() + 1);
        if (rest.find('\\') == std::string::npos) names.push_back(rest);
    }
    return names;
}

bool ParseRegistryText(const std::string& text, const std::string& rootName, TRegistryTree& tree, std::string& error) {
    const std::vector<std::string> lines = SplitLines(text);
    if (TrimRight(lines[0]) != kHeader) {
        error = "line 1: not a registry file";
        return false;
    }
    TRegKey* key = nullptr;
    for (size_t i = 1; i < lines.size(); ++i) {
        const size_t first = i + 1;
        const std::string line = JoinContinuations(lines, i);
        const std::string trimmed = TrimLeft(line);
        if (trimmed.empty() || trimmed[0] == ';') continue;
        std::string path;
        TRegValue value;
        if (trimmed[0] == '[' && ParseSection(trimmed, rootName, path)) {
            key = &tree.Create(path);
        } else if (key && (trimmed[0] == '"' || trimmed[0] == '@') && ParseValueLine(trimmed, value)) {
            key->Set(value);
        } else {
            error = "line " + std::to_string(first) + ": cannot read \"" + trimmed.substr(0, 60) + "\"";
            return false;
        }
    }
    return true;
}

std::string FormatRegistryText(const TRegistryTree& tree, const std::string& rootName) {
    std::string out = std::string(kHeader) + "\r\n\r\n";
    for (const auto& [path, key] : tree.Keys()) {
        out += "[" + rootName + (path.empty() ? "" : "\\" + path) + "]\r\n";
        for (const auto& v : key.Values()) out += (v.name.empty() ? std::string("@") : Quote(v.name)) + "=" + FormatData(v) + "\r\n";
        out += "\r\n";
    }
    return out;
}
