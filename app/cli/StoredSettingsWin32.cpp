// The window's stored settings on Windows: its registry key, opened for
// reading only. Writes are dropped, so the window's restore runs unchanged.
#include "app/cli/StoredFields.h"

#include "platform/Registry.h"

namespace {

class TRegistryReadOnlyStore : public TSettingsStore {
public:
    bool ReadString(const std::string& key, const std::string& name, std::string& value) override {
        if (!open_ || key != openKey_) {
            open_ = registry_.OpenKeyReadOnly("\\" + key);
            openKey_ = key;
        }
        if (!open_ || !registry_.ValueExists(name)) return false;
        value = registry_.ReadString(name);
        return true;
    }
    void WriteString(const std::string&, const std::string&, const std::string&) override {}
    void CreateKey(const std::string&) override {}
    void DeleteKey(const std::string&) override {}
    void Commit() override {}

private:
    TRegistry registry_{HKEY_CURRENT_USER};
    std::string openKey_;
    bool open_ = false;
};

}  // namespace

std::unique_ptr<TSettingsStore> OpenStoredSettings() { return std::make_unique<TRegistryReadOnlyStore>(); }
