#include "platform/Registry.h"

#include "core/StringList.h"

const char* RootKeyName(THKey root) {
    return root == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

// Drops separators at both ends and doubled ones inside.
std::string CleanRegistryPath(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
        out += c;
    }
    if (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

bool IsRegistryKeyAtOrBelow(const std::string& key, const std::string& parent) {
    if (parent.empty()) return true;
    if (key.size() < parent.size() || !SameText(key.substr(0, parent.size()), parent)) return false;
    return key.size() == parent.size() || key[parent.size()] == '\\';
}

std::string ResolveRegistryPath(const std::string& openPath, const std::string& key) {
    if (!key.empty() && key[0] == '\\') return CleanRegistryPath(key);
    if (openPath.empty()) return CleanRegistryPath(key);
    return CleanRegistryPath(openPath + "\\" + key);
}
