#include "app/cli/ReadOnlySettingsStore.h"

#include "app/FormStorage.h"
#include "platform/CodePage.h"
#include "platform/DebugOutput.h"
#include "platform/Registry.h"
#include "platform/RegistryFile.h"

namespace {

// The command line has no window: nothing of the placement is applied.
class TNoPlacementHost : public TPlacementHost {
public:
    TFormPlacement Placement() const override { return {}; }
    void ApplyPlacement(const TFormPlacement&) override {}
    void ApplyShowState(TWindowShowState) override {}
    bool ApplicationMinimized() const override { return false; }
    int ScreenWidth() const override { return 0; }
    int ScreenHeight() const override { return 0; }
    int PixelsPerInch() const override { return 96; }
};

const char* const RootName = "HKEY_CURRENT_USER";

}  // namespace

TReadOnlySettingsStore::TReadOnlySettingsStore() : TReadOnlySettingsStore(RegistryFilePath(RootName)) {}

TReadOnlySettingsStore::TReadOnlySettingsStore(const std::string& path) {
    std::string why;
    if (ReadRegistryFile(path, RootName, tree_, why) == TRegistryFileState::rfUnusable)
        OutputDebugStringA("Registry: " + path + " cannot be read (" + why + "); stored fields not used");
}

bool TReadOnlySettingsStore::ReadString(const std::string& key, const std::string& name, std::string& value) {
    const TRegKey* found = tree_.Find(AnsiToUtf8(key));
    const TRegValue* entry = found != nullptr ? found->Find(AnsiToUtf8(name)) : nullptr;
    if (entry == nullptr) return false;
    if (entry->kind != TRegValueKind::rvString)
        throw ERegistryException(Format("Invalid data type for '%s'", name.c_str()));
    value = Utf8ToAnsi(entry->text);
    return true;
}

void RestoreStoredFields(TFieldModel& fields) {
    TReadOnlySettingsStore store;
    TNoPlacementHost host;
    TFormStorage storage(fields, store, host);
    try {
        storage.Restore();
    } catch (const Exception&) {
        // Only the placement part raises; the fields are restored anyway.
    }
}
