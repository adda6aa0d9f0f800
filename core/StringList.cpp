#include "core/StringList.h"

#include <algorithm>
#include <stdexcept>

namespace {
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }
}  // namespace

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

std::string UpperCase(const std::string& s) {
    std::string r(s);
    std::transform(r.begin(), r.end(), r.begin(), UpperAscii);
    return r;
}

std::string LowerCase(const std::string& s) {
    std::string r(s);
    std::transform(r.begin(), r.end(), r.begin(), LowerAscii);
    return r;
}

std::string TrimLeft(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    return s.substr(i);
}

std::string TrimRight(const std::string& s) {
    size_t n = s.size();
    while (n > 0 && IsBlank(s[n - 1])) --n;
    return s.substr(0, n);
}

std::string Trim(const std::string& s) { return TrimLeft(TrimRight(s)); }

bool StartsText(const std::string& prefix, const std::string& s) {
    return s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}

int TStringList::Add(const std::string& line) {
    items_.push_back(line);
    return Count() - 1;
}

void TStringList::AddStrings(const TStringList& other) {
    items_.insert(items_.end(), other.items_.begin(), other.items_.end());
}

void TStringList::Insert(int index, const std::string& line) {
    if (index < 0 || index > Count()) throw std::out_of_range("List index out of bounds");
    items_.insert(items_.begin() + index, line);
}

void TStringList::Delete(int index) {
    if (index < 0 || index >= Count()) throw std::out_of_range("List index out of bounds");
    items_.erase(items_.begin() + index);
}

void TStringList::Exchange(int a, int b) { std::swap((*this)[a], (*this)[b]); }

void TStringList::Move(int from, int to) {
    if (from == to) return;
    std::string line = (*this)[from];
    Delete(from);
    Insert(to, line);
}

int TStringList::IndexOf(const std::string& line) const {
    for (int i = 0; i < Count(); ++i)
        if (SameText(items_[static_cast<size_t>(i)], line)) return i;
    return -1;
}

int TStringList::IndexOfExact(const std::string& line) const {
    auto it = std::find(items_.begin(), items_.end(), line);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

std::string TStringList::Text() const {
    size_t size = 0;
    for (const auto& s : items_) size += s.size() + 2;
    std::string r;
    r.reserve(size);
    for (const auto& s : items_) {
        r += s;
        r += "\r\n";
    }
    return r;
}

void TStringList::SetText(const std::string& text) {
    items_.clear();
    size_t start = 0;
    const size_t n = text.size();
    while (start < n) {
        size_t i = start;
        while (i < n && text[i] != '\r' && text[i] != '\n') ++i;
        items_.push_back(text.substr(start, i - start));
        if (i < n) i += (text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
}

int TStringList::IndexOfName(const std::string& name) const {
    for (int i = 0; i < Count(); ++i)
        if (SameText(Names(i), name)) return i;
    return -1;
}

std::string TStringList::Names(int index) const {
    const std::string& line = (*this)[index];
    const size_t eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(0, eq);
}

std::string TStringList::ValueFromIndex(int index) const {
    const std::string& line = (*this)[index];
    const size_t eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

std::string TStringList::Values(const std::string& name) const {
    const int i = IndexOfName(name);
    return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStringList::SetValues(const std::string& name, const std::string& value) {
    const int i = IndexOfName(name);
    if (value.empty()) {
        if (i >= 0) Delete(i);
    } else if (i >= 0) {
        items_[static_cast<size_t>(i)] = name + "=" + value;
    } else {
        Add(name + "=" + value);
    }
}
