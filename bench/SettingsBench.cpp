// Times the window's settings save and restore on settings files of about
// 2 MB and 8 MB (three large memos, one value per line), through the same
// store and form storage the window uses. Both should grow with the size:
// the ratio of the two times close to 4. Times are the processor time of
// the process (best of five), which the other work on a busy machine
// disturbs far less than the wall clock.
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/FormStorage.h"
#include "app/RegistrySettingsStore.h"
#include "platform/RegistryFile.h"

namespace {

class TFixedPlacement : public TPlacementHost {
public:
    TFormPlacement Placement() const override { return {}; }
    void ApplyPlacement(const TFormPlacement&) override {}
    void ApplyShowState(TWindowShowState) override {}
    bool ApplicationMinimized() const override { return false; }
    int ScreenWidth() const override { return 1024; }
    int ScreenHeight() const override { return 768; }
    int PixelsPerInch() const override { return 96; }
};

struct TTimes {
    double saveMs = 1e300;
    double restoreMs = 1e300;
    long long fileBytes = 0;
};

// About `bytes` of memo lines in the ANSI code page, accents and all.
void FillMemos(TFieldModel& fields, size_t bytes) {
    const char* const memos[] = {"edtBody", "edtRecipients", "edtCCRecipients"};
    const double shares[] = {0.7, 0.15, 0.15};
    for (int m = 0; m < 3; ++m) {
        TStringList lines;
        size_t size = 0;
        for (int i = 0; size < static_cast<size_t>(bytes * shares[m]); ++i) {
            const std::string line = "Riga " + std::to_string(i) + " \"perch\xE9\" \x80 10 \\ C:\\posta " +
                                     std::string(40 + i % 50, 'x');
            lines.Add(line);
            size += line.size() + 20;  // the quoted name and the line end around it
        }
        fields.SetLines(memos[m], lines);
    }
}

double CpuMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

TTimes Measure(size_t bytes) {
    TTimes times;
    TFixedPlacement host;
    TFieldModel saved;
    FillMemos(saved, bytes);
    for (int round = 0; round < 5; ++round) {
        std::filesystem::remove(RegistryFilePath("HKEY_CURRENT_USER"));
        {
            TRegistrySettingsStore store;
            TFormStorage storage(saved, store, host);
            storage.Restore();  // a save follows a restore, as in the window
            FillMemos(saved, bytes);
            const double start = CpuMilliseconds();
            storage.Save(false);
            times.saveMs = std::min(times.saveMs, CpuMilliseconds() - start);
        }
        TFieldModel restored;
        TRegistrySettingsStore store;
        TFormStorage storage(restored, store, host);
        const double start = CpuMilliseconds();
        storage.Restore();
        times.restoreMs = std::min(times.restoreMs, CpuMilliseconds() - start);
        if (restored.Lines("edtBody").Text() != saved.Lines("edtBody").Text()) {
            std::fprintf(stderr, "restored memo differs from the saved one\n");
            std::exit(1);
        }
    }
    struct stat st{};
    stat(RegistryFilePath("HKEY_CURRENT_USER").c_str(), &st);
    times.fileBytes = st.st_size;
    return times;
}

}  // namespace

int main() {
    char pattern[] = "/tmp/mailsortello-settings-bench-XXXXXX";
    const std::string root = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", root.c_str(), 1);
    const TTimes small = Measure(size_t{2} << 20);
    const TTimes large = Measure(size_t{8} << 20);
    std::filesystem::remove_all(root);
    for (const TTimes* t : {&small, &large})
        std::printf("file %9lld bytes: save %8.1f ms, restore %8.1f ms (processor time)\n", t->fileBytes, t->saveMs, t->restoreMs);
    std::printf("ratio 8 MB / 2 MB: save %.2f, restore %.2f (linear: about 4)\n", large.saveMs / small.saveMs,
                large.restoreMs / small.restoreMs);
    return 0;
}
