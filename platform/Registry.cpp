#include "platform/Registry.h"

#include "platform/CodePage.h"
#include "platform/DebugOutput.h"
#include "platform/DesktopMailClient.h"

namespace {

const char* const kMailClients = "SOFTWARE\\Clients\\Mail";

std::string ToFile(const std::string& ansi) { return AnsiToUtf8(ansi); }
std::string FromFile(const std::string& utf8) { return Utf8ToAnsi(utf8); }

// Drops separators at both ends and doubled ones inside.
std::string CleanPath(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
        out += c;
    }
    if (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

bool IsSameOrBelow(const std::string& key, const std::string& parent) {
    if (parent.empty()) return true;
    if (key.size() < parent.size() || !SameText(key.substr(0, parent.size()), parent)) return false;
    return key.size() == parent.size() || key[parent.size()] == '\\';
}

[[noreturn]] void RaiseFormat(const char* pattern, const std::string& name) {
    throw ERegistryException(Format(pattern, name.c_str()));
}

}  // namespace

const char* RootKeyName(THKey root) {
    return root == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

TRegistry::TRegistry(THKey root) : root_(root), file_(RootKeyName(root)) {}

TRegistry::~TRegistry() {
    // An update that never reached EndUpdate was abandoned half-way (an
    // error in the middle of a save): storing part of it would leave a mix.
    if (updateDepth_ > 0) pending_.clear();
    updateDepth_ = 0;
    try {
        CloseKey();
    } catch (const ERegistryException& e) {
        OutputDebugStringA("Registry: changes lost, " + e.Message());
    }
}

void TRegistry::SetRootKey(THKey root) {
    if (root == root_) return;
    CloseKey();
    Commit();
    root_ = root;
    file_ = TRegistryFile(RootKeyName(root));
}

std::string TRegistry::Resolve(const std::string& key) const {
    if (!key.empty() && key[0] == '\\') return CleanPath(key);
    if (!keyOpen_ || currentPath_.empty()) return CleanPath(key);
    return CleanPath(currentPath_ + "\\" + key);
}

// Reads the file again unless changes of ours are still waiting for a save
// or it is still the file read (or saved) last: a memo of many lines is
// read key after key, and each parse of a large file is costly.
void TRegistry::Refresh() {
    if (pending_.empty() && !file_.Unchanged()) tree_ = file_.Load();
}

void TRegistry::AddDesktopDefaults(const std::string& path) {
    if (root_ != HKEY_LOCAL_MACHINE || !SameText(path, kMailClients)) return;
    const TRegKey* key = tree_.Find(path);
    if (key && key->Find("")) return;
    const std::string name = DesktopMailClientName();
    if (name.empty()) return;
    TRegValue value;
    value.text = name;
    tree_.Create(path).Set(value);
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
    const std::string path = Resolve(key);
    CloseKey();
    if (!file_.Writable()) return false;
    Refresh();
    const std::string filePath = ToFile(path);
    if (!tree_.Find(filePath) && !filePath.empty()) {
        if (!canCreate) return false;
        Change("", [filePath](TRegistryTree& tree) { tree.Create(filePath); });
    }
    AddDesktopDefaults(filePath);
    currentPath_ = path;
    keyPath_ = filePath;
    keyOpen_ = writable_ = true;
    return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& key) {
    const std::string path = Resolve(key);
    CloseKey();
    Refresh();
    const std::string filePath = ToFile(path);
    AddDesktopDefaults(filePath);
    if (!filePath.empty() && !tree_.Find(filePath)) return false;
    currentPath_ = path;
    keyPath_ = filePath;
    keyOpen_ = true;
    writable_ = false;
    return true;
}

void TRegistry::CloseKey() {
    keyOpen_ = writable_ = false;
    currentPath_.clear();
    keyPath_.clear();
    if (updateDepth_ == 0) Commit();
}

void TRegistry::EndUpdate() {
    if (updateDepth_ > 0 && --updateDepth_ == 0) Commit();
}

void TRegistry::Commit() {
    if (pending_.empty()) return;
    std::vector<TChange> changes;
    changes.swap(pending_);
    TRegistryTree stored;
    const bool saved = file_.Update(
        [&changes](TRegistryTree& tree) {
            for (const auto& change : changes) change(tree);
        },
        stored);
    tree_ = saved ? std::move(stored) : file_.Load();
    if (!saved) RaiseFormat("Failed to set data for '%s'", pendingName_);
}

// Applies a change to our view now and queues it for the next save, where
// it is applied again to the file as it is then.
void TRegistry::Change(const std::string& valueName, const TChange& change) {
    change(tree_);
    pending_.push_back(change);
    pendingName_ = valueName;
}

bool TRegistry::KeyExists(const std::string& key) {
    const std::string filePath = ToFile(Resolve(key));
    if (!keyOpen_) Refresh();
    AddDesktopDefaults(filePath);
    return filePath.empty() || tree_.Find(filePath) != nullptr;
}

const TRegKey* TRegistry::CurrentKey() const { return tree_.Find(keyPath_); }

bool TRegistry::HasSubKeys() const { return !tree_.SubKeyNames(keyPath_).empty(); }

void TRegistry::GetKeyNames(TStringList& names) const {
    names.Clear();
    for (const auto& name : tree_.SubKeyNames(keyPath_)) names.Add(FromFile(name));
}

const TRegValue* TRegistry::FindValue(const std::string& name) const {
    const TRegKey* key = CurrentKey();
    return key ? key->Find(ToFile(name)) : nullptr;
}

bool TRegistry::ValueExists(const std::string& name) const { return FindValue(name) != nullptr; }

void TRegistry::GetValueNames(TStringList& names) const {
    names.Clear();
    if (const TRegKey* key = CurrentKey())
        for (const auto& v : key->Values()) names.Add(FromFile(v.name));
}

TRegValueKind TRegistry::GetDataKind(const std::string& name) const {
    const TRegValue* value = FindValue(name);
    if (!value) RaiseFormat("Failed to get data for '%s'", name);
    return value->kind;
}

std::string TRegistry::ReadString(const std::string& name) const {
    const TRegValue* value = FindValue(name);
    if (!value) return "";
    if (value->kind != TRegValueKind::rvString) RaiseFormat("Invalid data type for '%s'", name);
    return FromFile(value->text);
}

int TRegistry::ReadInteger(const std::string& name) const {
    if (GetDataKind(name) != TRegValueKind::rvDword) RaiseFormat("Invalid data type for '%s'", name);
    return static_cast<int>(FindValue(name)->dword);
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    if (!writable_) RaiseFormat("Failed to set data for '%s'", name);
    TRegValue v;
    v.name = ToFile(name);
    v.text = ToFile(value);
    Change(name, [path = keyPath_, v](TRegistryTree& tree) { tree.Create(path).Set(v); });
}

void TRegistry::WriteInteger(const std::string& name, int value) {
    if (!writable_) RaiseFormat("Failed to set data for '%s'", name);
    TRegValue v;
    v.name = ToFile(name);
    v.kind = TRegValueKind::rvDword;
    v.dword = static_cast<uint32_t>(value);
    Change(name, [path = keyPath_, v](TRegistryTree& tree) { tree.Create(path).Set(v); });
}

bool TRegistry::DeleteValue(const std::string& name) {
    if (!writable_ || !ValueExists(name)) return false;
    Change(name, [path = keyPath_, n = ToFile(name)](TRegistryTree& tree) {
        if (TRegKey* key = tree.Find(path)) key->Remove(n);
    });
    return true;
}

bool TRegistry::DeleteKey(const std::string& key) {
    const std::string filePath = ToFile(Resolve(key));
    if (filePath.empty() || !file_.Writable()) return false;
    if (!keyOpen_) Refresh();
    if (!tree_.Find(filePath)) return false;
    if (keyOpen_ && IsSameOrBelow(keyPath_, filePath)) {
        keyOpen_ = writable_ = false;
        currentPath_.clear();
        keyPath_.clear();
    }
    Change("", [filePath](TRegistryTree& tree) { tree.Delete(filePath); });
    if (!keyOpen_ && updateDepth_ == 0) Commit();
    return true;
}
