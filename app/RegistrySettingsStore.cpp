#include "app/RegistrySettingsStore.h"

#include "platform/DebugOutput.h"

namespace {
std::string Absolute(const std::string& key) { return "\\" + key; }
}  // namespace

TRegistrySettingsStore::~TRegistrySettingsStore() {
    // Unsaved writes are dropped: only Commit() decides what is stored.
    if (!updating_) return;
    try {
        registry_.CloseKey();
    } catch (const Exception&) {
    }
}

bool TRegistrySettingsStore::ReadString(const std::string& key, const std::string& name, std::string& value) {
    if (open_ != TOpen::Reading || openKey_ != key) {
        open_ = TOpen::None;
        if (!registry_.OpenKeyReadOnly(Absolute(key))) return false;
        open_ = TOpen::Reading;
        openKey_ = key;
    }
    if (!registry_.ValueExists(name)) return false;
    value = registry_.ReadString(name);
    return true;
}

void TRegistrySettingsStore::BeginUpdate() {
    if (updating_) return;
    registry_.BeginUpdate();
    updating_ = true;
}

void TRegistrySettingsStore::OpenForWriting(const std::string& key, const std::string& name) {
    BeginUpdate();
    if (open_ == TOpen::Writing && openKey_ == key) return;
    open_ = TOpen::None;
    if (!registry_.OpenKey(Absolute(key), true)) {
        OutputDebugStringA("Settings: not stored, " + registry_.WriteProblem());
        throw ERegistryException(Format("Failed to set data for '%s'", name.c_str()));
    }
    open_ = TOpen::Writing;
    openKey_ = key;
}

void TRegistrySettingsStore::WriteString(const std::string& key, const std::string& name, const std::string& value) {
    OpenForWriting(key, name);
    registry_.WriteString(name, value);
}

// A key that is there already needs no writing, so that reading settings
// from a folder that cannot be written works.
void TRegistrySettingsStore::CreateKey(const std::string& key) {
    if (!updating_ && registry_.KeyExists(Absolute(key))) return;
    OpenForWriting(key, "");
}

void TRegistrySettingsStore::DeleteKey(const std::string& key) {
    BeginUpdate();
    open_ = TOpen::None;
    registry_.DeleteKey(Absolute(key));
}

void TRegistrySettingsStore::Commit() {
    open_ = TOpen::None;
    if (!updating_) return;
    updating_ = false;
    registry_.EndUpdate();
}
