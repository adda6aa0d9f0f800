// Ordered list of 8-bit strings with the CR LF text form used for memo
// contents, reply texts, body lines and recipient lists.
#pragma once

#include <string>
#include <vector>

class TStringList {
public:
    TStringList() = default;
    TStringList(std::initializer_list<std::string> lines) : items_(lines) {}
    virtual ~TStringList() = default;
    TStringList(const TStringList&) = default;
    TStringList& operator=(const TStringList&) = default;

    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    const std::string& operator[](int index) const { return items_.at(static_cast<size_t>(index)); }
    std::string& operator[](int index) { return items_.at(static_cast<size_t>(index)); }
    const std::string& Strings(int index) const { return (*this)[index]; }
    void SetStrings(int index, const std::string& value) { (*this)[index] = value; }

    int Add(const std::string& line);
    void AddStrings(const TStringList& other);
    void Insert(int index, const std::string& line);
    void Delete(int index);
    void Clear() { items_.clear(); }
    void Assign(const TStringList& other) { items_ = other.items_; }
    void Exchange(int a, int b);
    void Move(int from, int to);

    // Case-insensitive whole-line lookup; -1 when absent.
    int IndexOf(const std::string& line) const;
    // Case-sensitive whole-line lookup; -1 when absent.
    int IndexOfExact(const std::string& line) const;

    // Every line followed by CR LF, the last one included.
    std::string Text() const;
    // Splits at CR LF, LF or a lone CR; a final line without a break counts.
    void SetText(const std::string& text);

    // "Name=Value" access; names compare case-insensitively.
    int IndexOfName(const std::string& name) const;
    std::string Names(int index) const;
    std::string ValueFromIndex(int index) const;
    std::string Values(const std::string& name) const;
    void SetValues(const std::string& name, const std::string& value);

    const std::vector<std::string>& Lines() const { return items_; }
    std::vector<std::string>::const_iterator begin() const { return items_.begin(); }
    std::vector<std::string>::const_iterator end() const { return items_.end(); }

    bool operator==(const TStringList& other) const { return items_ == other.items_; }

private:
    std::vector<std::string> items_;
};

// ASCII case-insensitive comparison helpers shared by every subsystem.
bool SameText(const std::string& a, const std::string& b);
std::string UpperCase(const std::string& s);
std::string LowerCase(const std::string& s);
std::string Trim(const std::string& s);
std::string TrimLeft(const std::string& s);
std::string TrimRight(const std::string& s);
bool StartsText(const std::string& prefix, const std::string& s);
