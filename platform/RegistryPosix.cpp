#include "platform/Registry.h"

#include "platform/RegistryFile.h"

#include "platform/CodePage.h"
#include "platform/DebugOutput.h"
#include "platform/DesktopMailClient.h"

namespace {

const char* const kMailClients = "SOFTWARE\\Clients\\Mail";

std::string ToFile(const std::string& ansi) { return AnsiToUtf8(ansi); }
std::string FromFile(const std::string& utf8) { return Utf8ToAnsi(utf8); }


[[noreturn]] void RaiseFormat(const char* pattern, const std::string& name) {
    throw ERegistryException(Format(pattern, name.c_str()));
}

}  // namespace


// The file of the root and our view of it.
struct TRegistry::TState {
    using TChange = std::function<void(TRegistryTree&)>;

    explicit TState(THKey root) : root_(root), file_(RootKeyName(root)) {}
    std::string Resolve(const std::string& key) const;
    const TRegKey* CurrentKey() const;
    const TRegValue* FindValue(const std::string& name) const;
    void Refresh();
    void AddDesktopDefaults(const std::string& path);
    void Change(const std::string& valueName, const TChange& change);
    void Commit();

    THKey root_;
    TRegistryFile file_;
    TRegistryTree tree_;         // the file as last read, with our changes
    std::vector<TChange> pending_;
    std::string pendingName_;    // a value name for the save error's text
    std::string currentPath_;    // as the caller gave it, below the root
    std::string keyPath_;        // the same in UTF-8, as in the file
    bool keyOpen_ = false;
    bool writable_ = false;
    int updateDepth_ = 0;
};

TRegistry::TRegistry(THKey root) : s_(std::make_unique<TState>(root)) {}

TRegistry::~TRegistry() {
    // An update that never reached EndUpdate was abandoned half-way (an
    // error in the middle of a save): storing part of it would leave a mix.
    if (s_->updateDepth_ > 0) s_->pending_.clear();
    s_->updateDepth_ = 0;
    try {
        CloseKey();
    } catch (const ERegistryException& e) {
        OutputDebugStringA("Registry: changes lost, " + e.Message());
    }
}

THKey TRegistry::RootKey() const { return s_->root_; }
const std::string& TRegistry::CurrentPath() const { return s_->currentPath_; }
const std::string& TRegistry::FileProblem() const { return s_->file_.Problem(); }
std::string TRegistry::WriteProblem() const { return s_->file_.WriteProblem(); }
void TRegistry::BeginUpdate() { ++s_->updateDepth_; }

void TRegistry::SetRootKey(THKey root) {
    if (root == s_->root_) return;
    CloseKey();
    s_->Commit();
    s_->root_ = root;
    s_->file_ = TRegistryFile(RootKeyName(root));
}

std::string TRegistry::TState::Resolve(const std::string& key) const {
    return ResolveRegistryPath(keyOpen_ ? currentPath_ : std::string(), key);
}

// Reads the file again unless changes of ours are still waiting for a save
// or it is still the file read (or saved) last: a memo of many lines is
// read key after key, and each parse of a large file is costly.
void TRegistry::TState::Refresh() {
    if (pending_.empty() && !file_.Unchanged()) tree_ = file_.Load();
}

void TRegistry::TState::AddDesktopDefaults(const std::string& path) {
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
    const std::string path = s_->Resolve(key);
    CloseKey();
    if (!s_->file_.Writable()) return false;
    s_->Refresh();
    const std::string filePath = ToFile(path);
    if (!s_->tree_.Find(filePath) && !filePath.empty()) {
        if (!canCreate) return false;
        s_->Change("", [filePath](TRegistryTree& tree) { tree.Create(filePath); });
    }
    s_->AddDesktopDefaults(filePath);
    s_->currentPath_ = path;
    s_->keyPath_ = filePath;
    s_->keyOpen_ = s_->writable_ = true;
    return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& key) {
    const std::string path = s_->Resolve(key);
    CloseKey();
    s_->Refresh();
    const std::string filePath = ToFile(path);
    s_->AddDesktopDefaults(filePath);
    if (!filePath.empty() && !s_->tree_.Find(filePath)) return false;
    s_->currentPath_ = path;
    s_->keyPath_ = filePath;
    s_->keyOpen_ = true;
    s_->writable_ = false;
    return true;
}

void TRegistry::CloseKey() {
    s_->keyOpen_ = s_->writable_ = false;
    s_->currentPath_.clear();
    s_->keyPath_.clear();
    if (s_->updateDepth_ == 0) s_->Commit();
}

void TRegistry::EndUpdate() {
    if (s_->updateDepth_ > 0 && --s_->updateDepth_ == 0) s_->Commit();
}

void TRegistry::TState::Commit() {
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
void TRegistry::TState::Change(const std::string& valueName, const TChange& change) {
    change(tree_);
    pending_.push_back(change);
    pendingName_ = valueName;
}

bool TRegistry::KeyExists(const std::string& key) {
    const std::string filePath = ToFile(s_->Resolve(key));
    if (!s_->keyOpen_) s_->Refresh();
    s_->AddDesktopDefaults(filePath);
    return filePath.empty() || s_->tree_.Find(filePath) != nullptr;
}

const TRegKey* TRegistry::TState::CurrentKey() const { return tree_.Find(keyPath_); }

bool TRegistry::HasSubKeys() const { return !s_->tree_.SubKeyNames(s_->keyPath_).empty(); }

void TRegistry::GetKeyNames(TStringList& names) const {
    names.Clear();
    for (const auto& name : s_->tree_.SubKeyNames(s_->keyPath_)) names.Add(FromFile(name));
}

const TRegValue* TRegistry::TState::FindValue(const std::string& name) const {
    const TRegKey* key = CurrentKey();
    return key ? key->Find(ToFile(name)) : nullptr;
}

bool TRegistry::ValueExists(const std::string& name) const { return s_->FindValue(name) != nullptr; }

void TRegistry::GetValueNames(TStringList& names) const {
    names.Clear();
    if (const TRegKey* key = s_->CurrentKey())
        for (const auto& v : key->Values()) names.Add(FromFile(v.name));
}

TRegValueKind TRegistry::GetDataKind(const std::string& name) const {
    const TRegValue* value = s_->FindValue(name);
    if (!value) RaiseFormat("Failed to get data for '%s'", name);
    return value->kind;
}

std::string TRegistry::ReadString(const std::string& name) const {
    const TRegValue* value = s_->FindValue(name);
    if (!value) return "";
    if (value->kind != TRegValueKind::rvString) RaiseFormat("Invalid data type for '%s'", name);
    return FromFile(value->text);
}

int TRegistry::ReadInteger(const std::string& name) const {
    if (GetDataKind(name) != TRegValueKind::rvDword) RaiseFormat("Invalid data type for '%s'", name);
    return static_cast<int>(s_->FindValue(name)->dword);
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    if (!s_->writable_) RaiseFormat("Failed to set data for '%s'", name);
    TRegValue v;
    v.name = ToFile(name);
    v.text = ToFile(value);
    s_->Change(name, [path = s_->keyPath_, v](TRegistryTree& tree) { tree.Create(path).Set(v); });
}

void TRegistry::WriteInteger(const std::string& name, int value) {
    if (!s_->writable_) RaiseFormat("Failed to set data for '%s'", name);
    TRegValue v;
    v.name = ToFile(name);
    v.kind = TRegValueKind::rvDword;
    v.dword = static_cast<uint32_t>(value);
    s_->Change(name, [path = s_->keyPath_, v](TRegistryTree& tree) { tree.Create(path).Set(v); });
}

bool TRegistry::DeleteValue(const std::string& name) {
    if (!s_->writable_ || !ValueExists(name)) return false;
    s_->Change(name, [path = s_->keyPath_, n = ToFile(name)](TRegistryTree& tree) {
        if (TRegKey* key = tree.Find(path)) key->Remove(n);
    });
    return true;
}

bool TRegistry::DeleteKey(const std::string& key) {
    const std::string filePath = ToFile(s_->Resolve(key));
    if (filePath.empty() || !s_->file_.Writable()) return false;
    if (!s_->keyOpen_) s_->Refresh();
    if (!s_->tree_.Find(filePath)) return false;
    if (s_->keyOpen_ && IsRegistryKeyAtOrBelow(s_->keyPath_, filePath)) {
        s_->keyOpen_ = s_->writable_ = false;
        s_->currentPath_.clear();
        s_->keyPath_.clear();
    }
    s_->Change("", [filePath](TRegistryTree& tree) { tree.Delete(filePath); });
    if (!s_->keyOpen_ && s_->updateDepth_ == 0) s_->Commit();
    return true;
}
