// Replays every seed and every kept finding of the fuzz targets through
// the same target code, so a fixed fault stays fixed in the normal run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzTargets.h"

namespace {

namespace fs = std::filesystem;

const fs::path kFuzzFolder = fs::path(MAILSORTELLO_SOURCE_DIR) / "fuzz";

std::vector<fs::path> InputsOf(const std::string& target, const char* kind) {
    std::vector<fs::path> inputs;
    const fs::path folder = kFuzzFolder / kind / target;
    if (!fs::is_directory(folder)) return inputs;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    return inputs;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class FuzzRegression : public ::testing::TestWithParam<TFuzzTarget> {};

TEST_P(FuzzRegression, SeedsAndFindingsReplayCleanly) {
    const TFuzzTarget& target = GetParam();
    const auto seeds = InputsOf(target.name, "corpus");
    EXPECT_FALSE(seeds.empty()) << "no seed corpus for " << target.name;
    auto inputs = seeds;
    for (const auto& found : InputsOf(target.name, "regressions")) inputs.push_back(found);
    for (const auto& path : inputs) {
        SCOPED_TRACE(path.string());
        const std::string bytes = ReadFile(path);
        // A failed check inside the target aborts with its message.
        EXPECT_EQ(target.run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzRegression, ::testing::ValuesIn(kFuzzTargets),
                         [](const ::testing::TestParamInfo<TFuzzTarget>& info) { return std::string(info.param.name); });

}  // namespace
