#include "app/cli/StoredFields.h"

#include "app/FormStorage.h"

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

}  // namespace

void RestoreStoredFields(TFieldModel& fields) {
    const std::unique_ptr<TSettingsStore> store = OpenStoredSettings();
    TNoPlacementHost host;
    TFormStorage storage(fields, *store, host);
    try {
        storage.Restore();
    } catch (const Exception&) {
        // Only the placement part raises; the fields are restored anyway.
    }
}
