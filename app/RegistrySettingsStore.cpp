#include "app/RegistrySettingsStore.h"

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
    if (!registry_.OpenKeyReadOnly(Absolute(key)) || !registry_.ValueExists(name)) return false;
    value = registry_.ReadString(name);
    return true;
}

void TRegistrySettingsStore::OpenForWriting(const std::string& key, const std::string& name) {
    if (!updating_) {
        registry_.BeginUpdate();
        updating_ = true;
    }
    if (!registry_.OpenKey(Absolute(key), true))
        throw ERegistryException(Format("Failed to set data for '%s'", name.c_str()));
}

void TRegistrySettingsStore::WriteString(const std::string& key, const std::string& name, const std::string& value) {
    OpenForWriting(key, name);
    registry_.WriteString(name, value);
}

void TRegistrySettingsStore::CreateKey(const std::string& key) { OpenForWriting(key, ""); }

void TRegistrySettingsStore::DeleteKey(const std::string& key) {
    if (!updating_) {
        registry_.BeginUpdate();
        updating_ = true;
    }
    registry_.DeleteKey(Absolute(key));
}

void TRegistrySettingsStore::Commit() {
    if (!updating_) return;
    updating_ = false;
    registry_.EndUpdate();
}
