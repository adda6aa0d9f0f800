// In-memory registry tree of one root and its text form, the format regedit
// exports and imports ("Windows Registry Editor Version 5.00"). Kept free of
// any file access so that the reader and writer can be driven on plain text.
// Key paths, value names and texts are held in UTF-8, as in the file.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

enum class TRegValueKind { rvString, rvDword, rvOther };

struct TRegValue {
    std::string name;  // "" is the default (unnamed) value
    TRegValueKind kind = TRegValueKind::rvString;
    std::string text;           // rvString
    uint32_t dword = 0;         // rvDword
    int otherType = 3;          // rvOther: the registry type number (3 = binary)
    std::vector<uint8_t> bytes; // rvOther: raw data

    bool operator==(const TRegValue&) const = default;
};

// The values of one key, in the order they were first written. A memo is
// stored as one value per line, so a key may hold a great many: names are
// found through an index rather than by walking the list.
class TRegKey {
public:
    const std::vector<TRegValue>& Values() const { return values_; }
    const TRegValue* Find(const std::string& name) const;
    // Replaces the value of the same name (keeping its spelling) or adds it.
    void Set(const TRegValue& value);
    bool Remove(const std::string& name);
    bool operator==(const TRegKey& other) const { return values_ == other.values_; }

private:
    std::vector<TRegValue> values_;
    std::unordered_map<std::string, size_t> index_;  // lower-case name -> position
};

// Orders key paths the way regedit lists them: without regard to ASCII case.
struct TRegPathLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

// All keys of one root, by path below the root ("Software\TelVara\Base").
class TRegistryTree {
public:
    const TRegKey* Find(const std::string& path) const;
    TRegKey* Find(const std::string& path);
    // Creates the key and its missing parents.
    TRegKey& Create(const std::string& path);
    // Removes the key and every key below it.
    void Delete(const std::string& path);
    // Names of the direct subkeys of path, in order.
    std::vector<std::string> SubKeyNames(const std::string& path) const;
    const std::map<std::string, TRegKey, TRegPathLess>& Keys() const { return keys_; }
    bool operator==(const TRegistryTree&) const = default;

private:
    std::map<std::string, TRegKey, TRegPathLess> keys_;
};

// Parses the text of a file for the root rootName ("HKEY_CURRENT_USER").
// Accepts CR LF or LF line ends, a UTF-8 byte-order mark, blank lines and
// ";" comments. Returns false and says why in error for anything else.
bool ParseRegistryText(const std::string& text, const std::string& rootName, TRegistryTree& tree,
                       std::string& error);

// The text of the file: header, blank line, one section per key followed by
// a blank line; CR LF line ends.
std::string FormatRegistryText(const TRegistryTree& tree, const std::string& rootName);
