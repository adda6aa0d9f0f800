// The registry layer on the real Windows registry (under Wine in CI).
#include <gtest/gtest.h>

#include <string>

#include "platform/Registry.h"

namespace {

const std::string kBase = "Software\\TelVara\\MailSortelloTest";

class RegistryWin32Test : public ::testing::Test {
protected:
    void TearDown() override { TRegistry(HKEY_CURRENT_USER).DeleteKey("\\" + kBase); }
};

TEST_F(RegistryWin32Test, StringsAndNumbersComeBackAsWritten) {
    const std::string euro = "Caff\xE8 \x80 5";  // ANSI 1252 bytes
    const std::string long_text(3000, 'x');
    {
        TRegistry reg(HKEY_CURRENT_USER);
        ASSERT_TRUE(reg.OpenKey(kBase + "\\Form", true));
        reg.WriteString("edtHost_smtp_Text", "mail.example.test");
        reg.WriteString("Accents", euro);
        reg.WriteString("Long", long_text);
        reg.WriteString("Empty", "");
        reg.WriteInteger("Top", -5);
        reg.CloseKey();
    }
    TRegistry reg(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKeyReadOnly(kBase + "\\Form"));
    EXPECT_EQ(reg.ReadString("edtHost_smtp_Text"), "mail.example.test");
    EXPECT_EQ(reg.ReadString("accents"), euro);  // names without regard to case
    EXPECT_EQ(reg.ReadString("Long"), long_text);
    EXPECT_EQ(reg.ReadString("Empty"), "");
    EXPECT_TRUE(reg.ValueExists("Empty"));
    EXPECT_EQ(reg.ReadInteger("Top"), -5);
    EXPECT_EQ(reg.GetDataKind("Top"), TRegValueKind::rvDword);
    EXPECT_EQ(reg.GetDataKind("Accents"), TRegValueKind::rvString);
    EXPECT_EQ(reg.ReadString("Missing"), "");
    EXPECT_FALSE(reg.ValueExists("Missing"));
    TStringList names;
    reg.GetValueNames(names);
    EXPECT_EQ(names.Count(), 5);
}

TEST_F(RegistryWin32Test, WrongKindsAndMissingValuesRaiseTheirTexts) {
    TRegistry reg(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey(kBase, true));
    reg.WriteString("Text", "1");
    reg.WriteInteger("Number", 1);
    try {
        reg.ReadString("Number");
        FAIL();
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), "Invalid data type for 'Number'");
    }
    try {
        reg.ReadInteger("Text");
        FAIL();
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), "Invalid data type for 'Text'");
    }
    try {
        reg.ReadInteger("Missing");
        FAIL();
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), "Failed to get data for 'Missing'");
    }
}

TEST_F(RegistryWin32Test, ReadOnlyKeysRefuseWritesAndMissingKeysStayMissing) {
    TRegistry reg(HKEY_CURRENT_USER);
    EXPECT_FALSE(reg.OpenKeyReadOnly(kBase + "\\Nowhere"));
    EXPECT_FALSE(reg.OpenKey(kBase + "\\Nowhere", false));
    EXPECT_FALSE(reg.KeyExists(kBase + "\\Nowhere"));
    ASSERT_TRUE(reg.OpenKey(kBase + "\\Here", true));
    reg.CloseKey();
    ASSERT_TRUE(reg.OpenKeyReadOnly(kBase + "\\Here"));
    try {
        reg.WriteString("x", "y");
        FAIL();
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), "Failed to set data for 'x'");
    }
    EXPECT_FALSE(reg.DeleteValue("x"));
}

TEST_F(RegistryWin32Test, RelativePathsSubKeysAndDeletingATree) {
    TRegistry reg(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey(kBase, true));
    ASSERT_TRUE(reg.OpenKey("A\\B", true));  // below the open key
    EXPECT_EQ(reg.CurrentPath(), kBase + "\\A\\B");
    reg.WriteString("v", "1");
    ASSERT_TRUE(reg.OpenKey("\\" + kBase, false));
    EXPECT_TRUE(reg.HasSubKeys());
    TStringList keys;
    reg.GetKeyNames(keys);
    ASSERT_EQ(keys.Count(), 1);
    EXPECT_EQ(keys[0], "A");
    EXPECT_TRUE(reg.KeyExists("A\\B"));
    EXPECT_TRUE(reg.DeleteKey("A"));
    EXPECT_FALSE(reg.KeyExists("\\" + kBase + "\\A\\B"));
    EXPECT_FALSE(reg.DeleteKey("A"));
}

}  // namespace
