// The registry through the Win32 A functions: names and texts in the ANSI
// code page, every change written at once.
#include "platform/Registry.h"

namespace {
// Our root names, taken before the system header makes them its own.
constexpr THKey kCurrentUser = HKEY_CURRENT_USER;
}  // namespace

#include <windows.h>

#include <vector>

namespace {

HKEY RootHandle(THKey root) { return root == kCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

[[noreturn]] void RaiseFormat(const char* pattern, const std::string& name) {
    throw ERegistryException(Format(pattern, name.c_str()));
}

std::string SystemText(LONG error) {
    char* text = nullptr;
    ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string out = text ? text : "";
    if (text) ::LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    return out + " (" + std::to_string(error) + ")";
}

}  // namespace

struct TRegistry::TState {
    explicit TState(THKey r) : root(r) {}
    ~TState() { Close(); }
    void Close() {
        if (key) ::RegCloseKey(key);
        key = nullptr;
        writable = false;
        path.clear();
    }
    // Type and size of a value of the open key; false when it is missing.
    bool Query(const std::string& name, DWORD& type, DWORD& size) const {
        type = REG_NONE;
        size = 0;
        return key && ::RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    }
    void Set(const std::string& name, DWORD type, const void* data, DWORD size) {
        if (!writable) RaiseFormat("Failed to set data for '%s'", name);
        const LONG result = ::RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
        if (result != ERROR_SUCCESS) RaiseFormat("Failed to set data for '%s'", name);
    }

    THKey root;
    HKEY key = nullptr;
    std::string path;
    bool writable = false;
    std::string writeProblem;
    int updateDepth = 0;
};

TRegistry::TRegistry(THKey root) : s_(std::make_unique<TState>(root)) {}
TRegistry::~TRegistry() = default;

THKey TRegistry::RootKey() const { return s_->root; }

void TRegistry::SetRootKey(THKey root) {
    if (root == s_->root) return;
    CloseKey();
    s_->root = root;
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
    const std::string path = ResolveRegistryPath(s_->key ? s_->path : std::string(), key);
    CloseKey();
    HKEY handle = nullptr;
    const REGSAM access = KEY_READ | KEY_WRITE;
    const LONG result =
        canCreate ? ::RegCreateKeyExA(RootHandle(s_->root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                      nullptr, &handle, nullptr)
                  : ::RegOpenKeyExA(RootHandle(s_->root), path.c_str(), 0, access, &handle);
    if (result != ERROR_SUCCESS) {
        if (result != ERROR_FILE_NOT_FOUND)
            s_->writeProblem = std::string(RootKeyName(s_->root)) + "\\" + path + ": " + SystemText(result);
        return false;
    }
    s_->key = handle;
    s_->path = path;
    s_->writable = true;
    return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& key) {
    const std::string path = ResolveRegistryPath(s_->key ? s_->path : std::string(), key);
    CloseKey();
    HKEY handle = nullptr;
    if (::RegOpenKeyExA(RootHandle(s_->root), path.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    s_->key = handle;
    s_->path = path;
    return true;
}

void TRegistry::CloseKey() { s_->Close(); }

const std::string& TRegistry::CurrentPath() const { return s_->path; }

bool TRegistry::KeyExists(const std::string& key) {
    const std::string path = ResolveRegistryPath(s_->key ? s_->path : std::string(), key);
    HKEY handle = nullptr;
    if (::RegOpenKeyExA(RootHandle(s_->root), path.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    ::RegCloseKey(handle);
    return true;
}

bool TRegistry::HasSubKeys() const {
    DWORD count = 0;
    return s_->key &&
           ::RegQueryInfoKeyA(s_->key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr) == ERROR_SUCCESS &&
           count > 0;
}

void TRegistry::GetKeyNames(TStringList& names) const {
    names.Clear();
    if (!s_->key) return;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (::RegEnumKeyExA(s_->key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.Add(std::string(name, size));
    }
}

bool TRegistry::ValueExists(const std::string& name) const {
    DWORD type, size;
    return s_->Query(name, type, size);
}

void TRegistry::GetValueNames(TStringList& names) const {
    names.Clear();
    if (!s_->key) return;
    std::vector<char> name(16384);
    for (DWORD i = 0;; ++i) {
        DWORD size = static_cast<DWORD>(name.size());
        if (::RegEnumValueA(s_->key, i, name.data(), &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.Add(std::string(name.data(), size));
    }
}

TRegValueKind TRegistry::GetDataKind(const std::string& name) const {
    DWORD type, size;
    if (!s_->Query(name, type, size)) RaiseFormat("Failed to get data for '%s'", name);
    if (type == REG_SZ || type == REG_EXPAND_SZ) return TRegValueKind::rvString;
    return type == REG_DWORD ? TRegValueKind::rvDword : TRegValueKind::rvOther;
}

std::string TRegistry::ReadString(const std::string& name) const {
    DWORD type, size;
    if (!s_->Query(name, type, size)) return "";
    if (type != REG_SZ && type != REG_EXPAND_SZ) RaiseFormat("Invalid data type for '%s'", name);
    std::string text(size, '\0');
    if (::RegQueryValueExA(s_->key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
        ERROR_SUCCESS)
        RaiseFormat("Failed to get data for '%s'", name);
    text.resize(size);
    // The stored size counts the closing NUL (when the writer gave one).
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

int TRegistry::ReadInteger(const std::string& name) const {
    if (GetDataKind(name) != TRegValueKind::rvDword) RaiseFormat("Invalid data type for '%s'", name);
    DWORD value = 0, type = 0, size = sizeof value;
    if (::RegQueryValueExA(s_->key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS)
        RaiseFormat("Failed to get data for '%s'", name);
    return static_cast<int>(value);
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    s_->Set(name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

void TRegistry::WriteInteger(const std::string& name, int value) {
    const DWORD data = static_cast<DWORD>(value);
    s_->Set(name, REG_DWORD, &data, sizeof data);
}

bool TRegistry::DeleteValue(const std::string& name) {
    return s_->writable && ::RegDeleteValueA(s_->key, name.c_str()) == ERROR_SUCCESS;
}

bool TRegistry::DeleteKey(const std::string& key) {
    const std::string path = ResolveRegistryPath(s_->key ? s_->path : std::string(), key);
    if (path.empty() || !KeyExists("\\" + path)) return false;
    if (s_->key && IsRegistryKeyAtOrBelow(s_->path, path)) CloseKey();
    // RegDeleteTree takes the named key with its subtree on some systems and
    // leaves the emptied key behind on others.
    LONG result = ::RegDeleteTreeA(RootHandle(s_->root), path.c_str());
    if (result == ERROR_SUCCESS && KeyExists("\\" + path)) result = ::RegDeleteKeyA(RootHandle(s_->root), path.c_str());
    return result == ERROR_SUCCESS;
}

// Nothing is kept in a file of ours on Windows.
const std::string& TRegistry::FileProblem() const {
    static const std::string none;
    return none;
}

std::string TRegistry::WriteProblem() const { return s_->writeProblem; }

// Every change is written at once: an update only counts its depth.
void TRegistry::BeginUpdate() { ++s_->updateDepth; }
void TRegistry::EndUpdate() {
    if (s_->updateDepth > 0) --s_->updateDepth;
}
