#include "message/IdEMailAddress.h"

#include <algorithm>
#include <string_view>

#include "core/StringList.h"

namespace {

constexpr std::string_view kAtomChars =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890!#$%&'*+-/=?_`{}|~";
constexpr std::string_view kEscapeChars = "\\\"";

bool IsAtom(char c) { return kAtomChars.find(c) != std::string_view::npos; }
bool IsAtomOrSpace(char c) { return c == ' ' || IsAtom(c); }

bool IsControlOrBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view TrimView(std::string_view s) {
    while (!s.empty() && IsControlOrBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsControlOrBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view TrimLeftView(std::string_view s) {
    while (!s.empty() && IsControlOrBlank(s.front())) s.remove_prefix(1);
    return s;
}

// Removes leading and trailing blanks and tabs only.
std::string_view StripView(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string Escaped(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    for (char c : s) {
        if (kEscapeChars.find(c) != std::string_view::npos) out += '\\';
        out += c;
    }
    return out;
}

// The state machine that turns free text into a display name and an
// address. T is consumed from the front as a view, so long inputs stay
// linear.
class TAddressParser {
public:
    TAddressParser(std::string& name, std::string& address) : name_(name), address_(address) {}

    void Run(std::string_view input) {
        t_ = TrimView(input);
        if (t_.empty()) return;
        size_t p = t_.find_first_of(SearchSet());
        if (p == std::string_view::npos) {
            address_.assign(t_);
            return;
        }
        while (p != std::string_view::npos) {
            Act(p);
            p = t_.find_first_of(SearchSet());
        }
        if (inAddress_ && !inAngle_) address_ += StripView(TrimView(t_));
    }

private:
    std::string_view SearchSet() const {
        if (depth_ > 0) return "()\\";
        if (inQuote_) return "\"\\";
        if (afterAt_ && inAngle_) return ".>(";
        if (afterAt_) return ".( ";
        if (inAddress_) return "\"(@>";
        return std::string_view("(\"< @\t", 6);
    }

    std::string_view Before(size_t p) const { return t_.substr(0, p); }
    std::string_view Through(size_t p) const { return t_.substr(0, p + 1); }
    void RemoveThrough(size_t p) { t_.remove_prefix(std::min(p + 1, t_.size())); }

    void Act(size_t p) {
        switch (t_[p]) {
            case ' ':
            case '\t': OnBlank(p); break;
            case '(': OnOpenComment(p); break;
            case ')': --depth_; RemoveThrough(p); break;
            case '"': OnQuote(p); break;
            case '<': OnOpenAngle(p); break;
            case '>': OnCloseAngle(p); break;
            case '@': OnAt(p); break;
            case '.': OnDot(p); break;
            default: OnBackslash(p); break;
        }
    }

    void OnBlank(size_t p) {
        if (p == 0) {
            t_.remove_prefix(1);
            return;
        }
        if (afterAt_)
            address_ += TrimView(Before(p));
        else
            name_ += Through(p);
        RemoveThrough(p);
    }

    void OnOpenComment(size_t p) {
        ++depth_;
        if (p == 0) {
            t_.remove_prefix(1);
            return;
        }
        if (inAddress_)
            address_ += TrimView(Before(p));
        else if (depth_ == 1)
            name_ += Before(p);
        RemoveThrough(p);
    }

    void OnQuote(size_t p) {
        // Text glued to the quote (ab"cd") joins the same field as the quoted
        // text instead of being cut into pieces.
        std::string& target = inAngle_ ? address_ : name_;
        if (inQuote_) {
            target += TrimView(Before(p));
            inQuote_ = false;
        } else {
            target += Before(p);
            inQuote_ = true;
        }
        RemoveThrough(p);
    }

    void OnOpenAngle(size_t p) {
        if (p > 0) name_ += Before(p);
        name_ = std::string(StripView(TrimView(name_)));
        inAngle_ = true;
        inAddress_ = true;
        RemoveThrough(p);
    }

    void OnCloseAngle(size_t p) {
        inAddress_ = false;
        afterAt_ = false;
        address_ += StripView(TrimView(Before(p)));
        RemoveThrough(p);
    }

    void OnAt(size_t p) {
        afterAt_ = true;
        if (!inAddress_) {
            if (inAngle_) throw EIdEmailParseError("@ Outside address");
            inAddress_ = true;
        }
        address_ += Through(p);
        RemoveThrough(p);
    }

    void OnDot(size_t p) {
        if (inAngle_) {
            address_ += StripView(TrimView(Before(p)));
            address_ += '.';
            RemoveThrough(p);
            t_ = TrimLeftView(t_);
        } else {
            address_ += Through(p);
            RemoveThrough(p);
        }
    }

    void OnBackslash(size_t p) {
        if (inQuote_) {
            std::string& target = inAddress_ ? address_ : name_;
            target += Before(p);
            // A backslash ending the text escapes nothing and is dropped.
            if (p + 1 < t_.size()) target += t_[p + 1];
        }
        RemoveThrough(p + 1);
    }

    std::string& name_;
    std::string& address_;
    std::string_view t_;
    int depth_ = 0;
    bool inAddress_ = false;
    bool inAngle_ = false;
    bool afterAt_ = false;
    bool inQuote_ = false;
};

}  // namespace

TIdEMailAddressItem::~TIdEMailAddressItem() {
    if (collection_ != nullptr) collection_->Detach(this);
}

std::string TIdEMailAddressItem::AddressForm() const {
    if (address_.empty()) return name_.empty() ? std::string() : std::string("<>");
    const size_t at = address_.rfind('@');
    const std::string local = at == std::string::npos ? address_ : address_.substr(0, at);
    const std::string domain = at == std::string::npos ? std::string() : address_.substr(at);
    const auto odd = std::find_if(local.begin(), local.end(), [](char c) { return !IsAtom(c); });
    if (odd != local.end() && *odd != '.') return "<\"" + Escaped(local) + "\"" + domain + ">";
    if (!name_.empty()) return "<" + local + domain + ">";
    return address_;
}

std::string TIdEMailAddressItem::Text() const {
    if (name_.empty() || name_ == UpperCase(address_)) return AddressForm();
    if (std::all_of(name_.begin(), name_.end(), IsAtomOrSpace)) return name_ + " " + AddressForm();
    return "\"" + Escaped(name_) + "\" " + AddressForm();
}

void TIdEMailAddressItem::SetText(const std::string& value) {
    address_.clear();
    name_.clear();
    TAddressParser(name_, address_).Run(value);
}

std::string TIdEMailAddressItem::User() const {
    const size_t at = address_.rfind('@');
    return at == std::string::npos ? std::string() : address_.substr(0, at);
}

std::string TIdEMailAddressItem::Domain() const {
    const size_t at = address_.rfind('@');
    return at == std::string::npos ? std::string() : address_.substr(at + 1);
}

void TIdEMailAddressItem::SetUser(const std::string& value) {
    const size_t at = address_.find('@');
    const std::string kept = at == std::string::npos ? address_ : address_.substr(at + 1);
    address_ = value + "@" + kept;
}

void TIdEMailAddressItem::SetDomain(const std::string& value) {
    const size_t at = address_.find('@');
    const std::string kept = at == std::string::npos ? address_ : address_.substr(0, at);
    address_ = kept + "@" + value;
}

void TIdEMailAddressItem::Assign(const TIdEMailAddressItem& source) {
    if (&source == this) return;
    address_ = source.address_;
    name_ = source.name_;
}

TIdEMailAddressList::~TIdEMailAddressList() { Clear(); }

TIdEMailAddressItem* TIdEMailAddressList::Add() {
    auto* item = new TIdEMailAddressItem();
    item->collection_ = this;
    items_.push_back(item);
    return item;
}

void TIdEMailAddressList::Detach(TIdEMailAddressItem* item) {
    items_.erase(std::remove(items_.begin(), items_.end(), item), items_.end());
    item->collection_ = nullptr;
}

void TIdEMailAddressList::Delete(int index) { delete Items(index); }

void TIdEMailAddressList::Clear() {
    std::vector<TIdEMailAddressItem*> items;
    items.swap(items_);
    for (auto* item : items) {
        item->collection_ = nullptr;
        delete item;
    }
}

std::string TIdEMailAddressList::EMailAddresses() const {
    std::string out;
    for (const auto* item : items_) {
        if (!out.empty()) out += ", ";
        out += item->Text();
    }
    return out;
}

void TIdEMailAddressList::AddParsed(const std::string& text, bool dropEmptyBrackets) {
    TIdEMailAddressItem* item = Add();
    item->SetText(text);
    if (!dropEmptyBrackets) return;
    const std::string back = Trim(item->Text());
    if (back.empty() || back == "<>") delete item;
}

namespace {

bool IsBlankText(std::string_view s) { return TrimView(s).empty(); }

}  // namespace

void TIdEMailAddressList::SetEMailAddresses(const std::string& value) {
    Clear();
    // A line break separates addresses wherever it stands: one address per
    // memo line, and never a CR or LF inside an item.
    std::string_view rest(value);
    while (!rest.empty()) {
        const size_t end = std::min(rest.find_first_of("\r\n"), rest.size());
        AddLine(rest.substr(0, end));
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
}

void TIdEMailAddressList::AddLine(std::string_view line) {
    if (IsBlankText(line)) return;
    const std::string_view kSeparators(":;(\", \t", 7);
    std::string_view t(line);
    size_t p = t.find_first_of(kSeparators);
    if (p == std::string_view::npos) {
        // A lone "<>" gives no item, as it does between commas.
        AddParsed(std::string(TrimLeftView(t)), true);
        return;
    }
    std::string a;
    int depth = 0;
    bool inQuote = false;
    auto removeThrough = [&t](size_t pos) { t.remove_prefix(std::min(pos + 1, t.size())); };
    while (p != std::string_view::npos) {
        const char c = t[p];
        if (c == ',') {
            a += t.substr(0, p);
            AddParsed(a, true);
            a.clear();
            removeThrough(p);
        } else if (c == ':') {
            removeThrough(p);
            a.clear();
        } else if (c == ';') {
            a += t.substr(0, p);
            if (!IsBlankText(a)) {
                AddParsed(std::string(TrimLeftView(a)), false);
                a.clear();
            }
            removeThrough(p);
        } else if (c == '\\') {
            a += t.substr(0, p + 2);
            removeThrough(p + 1);
        } else {
            a += t.substr(0, p + 1);
            removeThrough(p);
            if (c == '"') inQuote = !inQuote;
            if (c == '(') ++depth;
            if (c == ')') --depth;
        }
        if (depth > 0)
            p = t.find_first_of("(\\)");
        else if (inQuote)
            p = t.find_first_of("\"\\");
        else
            p = t.find_first_of(kSeparators);
    }
    if (IsBlankText(a) && IsBlankText(t)) return;
    a += t;
    AddParsed(std::string(TrimLeftView(a)), true);
}
