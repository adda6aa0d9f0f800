// TSettingsStore on the registry layer (platform/Registry.h): the values of
// one root, the current user's by default. The writes between two Commit()
// calls are saved as one atomic update of the root's file. Reads or writes
// one after the other in the same key keep it open rather than opening it
// again for every value (a memo is one value per line).
#pragma once

#include "app/SettingsStore.h"
#include "platform/Registry.h"

class TRegistrySettingsStore : public TSettingsStore {
public:
    explicit TRegistrySettingsStore(THKey root = HKEY_CURRENT_USER) : registry_(root) {}
    ~TRegistrySettingsStore() override;

    bool ReadString(const std::string& key, const std::string& name, std::string& value) override;
    void WriteString(const std::string& key, const std::string& name, const std::string& value) override;
    void CreateKey(const std::string& key) override;
    void DeleteKey(const std::string& key) override;
    void Commit() override;

    // What was found wrong with the file and done about it ("" when nothing).
    const std::string& Problem() const { return registry_.FileProblem(); }

private:
    void BeginUpdate();
    void OpenForWriting(const std::string& key, const std::string& name);

    TRegistry registry_;
    bool updating_ = false;
    enum class TOpen { None, Reading, Writing } open_ = TOpen::None;
    std::string openKey_;
};
