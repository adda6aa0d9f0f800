#include "app/cli/ReadOnlySettingsStore.h"

#include "app/cli/StoredFields.h"
#include "platform/CodePage.h"
#include "platform/DebugOutput.h"
#include "platform/Registry.h"
#include "platform/RegistryFile.h"

namespace {

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

std::unique_ptr<TSettingsStore> OpenStoredSettings() { return std::make_unique<TReadOnlySettingsStore>(); }
