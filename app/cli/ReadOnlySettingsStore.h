// The window's stored settings, for reading only: the current user's
// registry file is read once and never written, locked, created or moved
// (a file that cannot be used, say a folder, a FIFO, an unreadable, huge or
// unparsable file, reads as empty and the trace says why). Writes are
// dropped, so the window's restore can run on it unchanged.
#pragma once

#include <string>

#include "app/SettingsStore.h"
#include "platform/RegistryText.h"

class TReadOnlySettingsStore : public TSettingsStore {
public:
    // The file of HKEY_CURRENT_USER (platform/RegistryFile.h).
    TReadOnlySettingsStore();
    explicit TReadOnlySettingsStore(const std::string& path);

    bool ReadString(const std::string& key, const std::string& name, std::string& value) override;
    void WriteString(const std::string&, const std::string&, const std::string&) override {}
    void CreateKey(const std::string&) override {}
    void DeleteKey(const std::string&) override {}
    void Commit() override {}

private:
    TRegistryTree tree_;
};
