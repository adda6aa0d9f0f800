#include "app/cli/ReadOnlySettingsStore.h"
#include "app/cli/StoredFields.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Registry.h"
#include "tests/support/DesktopSandbox.h"
#include "tests/support/UnusableFile.h"

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    return names;
}

class ReadOnlySettingsStoreTest : public ::testing::Test {
protected:
    TDesktopSandbox sandbox;
    std::string Folder() const { return sandbox.ConfigHome() + "/mailsortello"; }
};

}  // namespace

TEST_F(ReadOnlySettingsStoreTest, StoredFieldsAreRead) {
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("Software\\TelVara\\Base\\TFormMailSortello", true));
        reg.WriteString("edtSubject_Text", "Perch\xE9 \x80");
    }
    TFieldModel fields;
    RestoreStoredFields(fields);
    EXPECT_EQ(fields.Text("edtSubject"), "Perch\xE9 \x80");
}

// The command line never moves, locks or replaces the file: it starts from
// the defaults and says why on standard error.
TEST_F(ReadOnlySettingsStoreTest, AnUnusableFileGivesTheDefaultsAndIsLeftAsItIs) {
    for (const TUnusableFile& bad : UnusableFiles()) {
        SCOPED_TRACE(bad.name);
        fs::remove_all(Folder());
        fs::create_directories(Folder());
        bad.make(sandbox.UserRegistryFile());
        const TFieldModel defaults;
        TFieldModel fields;
        testing::internal::CaptureStderr();
        RestoreStoredFields(fields);
        const std::string trace = testing::internal::GetCapturedStderr();
        EXPECT_THAT(trace, HasSubstr(sandbox.UserRegistryFile() + " cannot be read (" + bad.why +
                                     "); stored fields not used"));
        EXPECT_EQ(fields.Text("edtHost_smtp"), defaults.Text("edtHost_smtp"));
        EXPECT_EQ(fields.ItemIndex("edtMethod"), defaults.ItemIndex("edtMethod"));
        EXPECT_THAT(FilesIn(Folder()), ElementsAre("HKEY_CURRENT_USER.reg"));
    }
}

TEST_F(ReadOnlySettingsStoreTest, NoFileReadsAsEmptyWithoutAWord) {
    TReadOnlySettingsStore store(Folder() + "/missing.reg");
    std::string value;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(store.ReadString("Software\\TelVara\\Base\\TFormMailSortello", "edtSubject_Text", value));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}
