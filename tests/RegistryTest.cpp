#include "platform/Registry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/DesktopSandbox.h"
#include "tests/support/ReadOnlyFolder.h"
#include "tests/support/UnusableFile.h"

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

const std::string kSection = "Software\\TelVara\\Base\\TFormMailSortello";
const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

std::string RaisedMessage(const std::function<void()>& action) {
    try {
        action();
    } catch (const ERegistryException& e) {
        return e.Message();
    }
    return "(nothing raised)";
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class RegistryTest : public ::testing::Test {
protected:
    TDesktopSandbox sandbox;

    std::string Folder() const { return sandbox.ConfigHome() + "/mailsortello"; }
    // The entries of the folder moved aside from the settings file.
    std::vector<std::string> Aside() const {
        std::vector<std::string> names;
        for (const auto& name : FilesIn(Folder()))
            if (name.rfind("HKEY_CURRENT_USER.reg.corrupt-", 0) == 0) names.push_back(name);
        return names;
    }
};

}  // namespace

TEST_F(RegistryTest, FilesFollowTheXdgFolders) {
    EXPECT_EQ(RegistryFilePath("HKEY_CURRENT_USER"), sandbox.UserRegistryFile());
    EXPECT_EQ(RegistryFilePath("HKEY_LOCAL_MACHINE"), sandbox.MachineRegistryFile());
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_CONFIG_DIRS");
    setenv("HOME", "/home/tecnico", 1);
    EXPECT_EQ(RegistryFilePath("HKEY_CURRENT_USER"), "/home/tecnico/.config/mailsortello/HKEY_CURRENT_USER.reg");
    EXPECT_EQ(RegistryFilePath("HKEY_LOCAL_MACHINE"), "/etc/xdg/mailsortello/HKEY_LOCAL_MACHINE.reg");
}

TEST_F(RegistryTest, EveryValueKindSurvivesARoundTripInRegeditFormat) {
    {
        TRegistry reg(HKEY_CURRENT_USER);
        ASSERT_TRUE(reg.OpenKey(kSection, true));
        reg.WriteString("edtHost_smtp_Text", "C:\\posta \"prova\"");
        reg.WriteString("Citt\xE0", "perch\xE9 \xE0");  // Windows-1252 text
        reg.WriteString("", "predefinito");
        reg.WriteString("Righe", "uno\r\ndue");
        reg.WriteInteger("Conta", 10);
        reg.WriteString("Vuoto", "");
        reg.CloseKey();
    }
    EXPECT_EQ(TDesktopSandbox::ReadFile(sandbox.UserRegistryFile()),
              kHeader +
                  "[HKEY_CURRENT_USER\\Software]\r\n\r\n"
                  "[HKEY_CURRENT_USER\\Software\\TelVara]\r\n\r\n"
                  "[HKEY_CURRENT_USER\\Software\\TelVara\\Base]\r\n\r\n"
                  "[HKEY_CURRENT_USER\\Software\\TelVara\\Base\\TFormMailSortello]\r\n"
                  "\"edtHost_smtp_Text\"=\"C:\\\\posta \\\"prova\\\"\"\r\n"
                  "\"Citt\xC3\xA0\"=\"perch\xC3\xA9 \xC3\xA0\"\r\n"
                  "@=\"predefinito\"\r\n"
                  "\"Righe\"=hex(1):75,00,6e,00,6f,00,0d,00,0a,00,64,00,75,00,65,00,00,00\r\n"
                  "\"Conta\"=dword:0000000a\r\n"
                  "\"Vuoto\"=\"\"\r\n\r\n");

    TRegistry reg(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKeyReadOnly(kSection));
    EXPECT_EQ(reg.ReadString("EDTHOST_SMTP_TEXT"), "C:\\posta \"prova\"");
    EXPECT_EQ(reg.ReadString("Citt\xE0"), "perch\xE9 \xE0");
    EXPECT_EQ(reg.ReadString(""), "predefinito");
    EXPECT_EQ(reg.ReadString("Righe"), "uno\r\ndue");
    EXPECT_EQ(reg.ReadInteger("Conta"), 10);
    EXPECT_EQ(reg.GetDataKind("Conta"), TRegValueKind::rvDword);
    EXPECT_TRUE(reg.ValueExists("Vuoto"));
    EXPECT_EQ(reg.ReadString("Manca"), "");
    TStringList names;
    reg.GetValueNames(names);
    EXPECT_EQ(names.Count(), 6);
}

TEST_F(RegistryTest, ValuesOfTheWrongKindRaiseTheRegistryError) {
    TDesktopSandbox::WriteFile(sandbox.UserRegistryFile(),
                               "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\K]\n"
                               "\"Num\"=dword:00000001\n\"Bin\"=hex:01,02,\\\n  03\n\"Exp\"=hex(2):41,00,00,00\n\"S\"=\"x\"\n");
    TRegistry reg(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey("K", false));
    EXPECT_EQ(RaisedMessage([&] { reg.ReadString("Num"); }), "Invalid data type for 'Num'");
    EXPECT_EQ(RaisedMessage([&] { reg.ReadString("Bin"); }), "Invalid data type for 'Bin'");
    EXPECT_EQ(RaisedMessage([&] { reg.ReadInteger("S"); }), "Invalid data type for 'S'");
    EXPECT_EQ(RaisedMessage([&] { reg.ReadInteger("Missing"); }), "Failed to get data for 'Missing'");
    EXPECT_EQ(reg.GetDataKind("Exp"), TRegValueKind::rvOther);
    // Values of kinds we do not use are kept as they were when we save.
    reg.WriteString("S", "y");
    reg.CloseKey();
    const std::string text = TDesktopSandbox::ReadFile(sandbox.UserRegistryFile());
    EXPECT_THAT(text, HasSubstr("\"Bin\"=hex:01,02,03\r\n\"Exp\"=hex(2):41,00,00,00\r\n\"S\"=\"y\"\r\n"));
}

TEST(RegistryText, ReadsLfOrCrLfCommentsAndBlankLines) {
    const std::string text =
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
        "; saved by hand\n"
        "\n"
        "[HKEY_CURRENT_USER\\A\\B]\r\n"
        "  ; a comment inside a key\n"
        "\"x\"=\"1\"\n"
        "@=\"d\"\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\A\\C]\n";
    TRegistryTree tree;
    std::string error;
    ASSERT_TRUE(ParseRegistryText(text, "HKEY_CURRENT_USER", tree, error)) << error;
    ASSERT_NE(tree.Find("a\\b"), nullptr);
    EXPECT_EQ(tree.Find("A\\B")->Find("X")->text, "1");
    EXPECT_EQ(tree.Find("A\\B")->Find("")->text, "d");
    EXPECT_THAT(tree.SubKeyNames("A"), ElementsAre("B", "C"));
    // What we write reads back as the same tree.
    TRegistryTree again;
    ASSERT_TRUE(ParseRegistryText(FormatRegistryText(tree, "HKEY_CURRENT_USER"), "HKEY_CURRENT_USER", again, error));
    EXPECT_EQ(again, tree);
}

TEST(RegistryText, RejectsWhatItCannotRead) {
    const std::string head = "Windows Registry Editor Version 5.00\n\n";
    const std::vector<std::string> bad = {
        "",
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n",
        head + "\"x\"=\"value outside a key\"\n",
        head + "[HKEY_LOCAL_MACHINE\\A]\n",
        head + "[HKEY_CURRENT_USER\\A\n",
        head + "[-HKEY_CURRENT_USER\\A]\n",
        head + "[HKEY_CURRENT_USER\\A]\n\"x\"=\"unterminated\n",
        head + "[HKEY_CURRENT_USER\\A]\n\"x\"=\"bad \\n escape\"\n",
        head + "[HKEY_CURRENT_USER\\A]\n\"x\"=dword:123456789\n",
        head + "[HKEY_CURRENT_USER\\A]\n\"x\"=dword:zz\n",
        head + "[HKEY_CURRENT_USER\\A]\n\"x\"=hex:1,,2\n",
        head + "[HKEY_CURRENT_USER\\A]\n\"x\"=-\n",
        head + "[HKEY_CURRENT_USER\\A]\nx=\"1\"\n",
        head + "[HKEY_CURRENT_USER\\A]\n\"x\"=\"1\" trailing\n",
    };
    for (const auto& text : bad) {
        TRegistryTree tree;
        std::string error;
        EXPECT_FALSE(ParseRegistryText(text, "HKEY_CURRENT_USER", tree, error)) << text;
        EXPECT_FALSE(error.empty());
    }
}

TEST(RegistryText, DamagedTextIsRejectedOrReadIntoATreeThatWritesStably) {
    const std::string valid =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A\\B]\r\n\"s\"=\"a \\\"q\\\" \\\\\"\r\n"
        "@=\"d\"\r\n\"n\"=dword:0000002a\r\n\"h\"=hex(7):41,00,00,00,\\\r\n  00,00\r\n\"u\"=hex(1):41,00,0d,00,00,00\r\n";
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string text = valid;
        for (int n = 1 + static_cast<int>(next() % 3); n > 0; --n) {
            const size_t at = next() % text.size();
            switch (next() % 3) {
                case 0: text[at] = static_cast<char>(next() >> 8); break;
                case 1: text.erase(at, 1 + next() % 4); break;
                default: text.insert(at, 1, "\\\"[]=@,:\r\n;"[next() % 12]); break;
            }
        }
        TRegistryTree tree;
        std::string error;
        if (!ParseRegistryText(text, "HKEY_CURRENT_USER", tree, error)) continue;
        ++accepted;
        const std::string once = FormatRegistryText(tree, "HKEY_CURRENT_USER");
        TRegistryTree again;
        ASSERT_TRUE(ParseRegistryText(once, "HKEY_CURRENT_USER", again, error)) << error << "\n" << once;
        EXPECT_EQ(FormatRegistryText(again, "HKEY_CURRENT_USER"), once);
    }
    EXPECT_GT(accepted, 0);
}

TEST_F(RegistryTest, KeysAndValuesCanBeDeletedAndListed) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\TelVara\\Base\\TFormMailSortello.edtBody_Lines", true));
    reg.WriteString("Count", "1");
    reg.WriteString("Item0", "ciao");
    ASSERT_TRUE(reg.OpenKey("\\Software\\TelVara\\Base\\TFormMailSortello\\Sub", true));
    reg.WriteString("v", "1");
    reg.CloseKey();
    EXPECT_TRUE(reg.KeyExists("Software\\TelVara\\Base\\TFormMailSortello.edtBody_Lines"));
    ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\TelVara\\Base"));
    TStringList keys;
    reg.GetKeyNames(keys);
    EXPECT_THAT(keys.Lines(), ElementsAre("TFormMailSortello", "TFormMailSortello.edtBody_Lines"));
    reg.CloseKey();

    EXPECT_TRUE(reg.DeleteKey("Software\\TelVara\\Base\\TFormMailSortello"));
    EXPECT_FALSE(reg.DeleteKey("Software\\TelVara\\Base\\TFormMailSortello"));
    EXPECT_FALSE(reg.KeyExists("Software\\TelVara\\Base\\TFormMailSortello\\Sub"));
    EXPECT_TRUE(reg.KeyExists("Software\\TelVara\\Base\\TFormMailSortello.edtBody_Lines"));
    ASSERT_TRUE(reg.OpenKey("Software\\TelVara\\Base\\TFormMailSortello.edtBody_Lines", false));
    EXPECT_TRUE(reg.DeleteValue("Item0"));
    EXPECT_FALSE(reg.DeleteValue("Item0"));
    reg.CloseKey();

    const std::string text = TDesktopSandbox::ReadFile(sandbox.UserRegistryFile());
    EXPECT_THAT(text, Not(HasSubstr("Sub]")));
    EXPECT_THAT(text, Not(HasSubstr("Item0")));
    EXPECT_THAT(text, HasSubstr("\"Count\"=\"1\""));
    EXPECT_FALSE(reg.OpenKey("Software\\Missing", false));
    EXPECT_FALSE(reg.OpenKeyReadOnly("Software\\Missing"));
}

TEST_F(RegistryTest, ACorruptFileIsMovedAsideAndTheRootStartsEmpty) {
    const std::string garbage = "this is not a registry file\r\n";
    TDesktopSandbox::WriteFile(sandbox.UserRegistryFile(), garbage);
    TRegistry reg;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(reg.OpenKeyReadOnly("Software"));
    const std::string trace = testing::internal::GetCapturedStderr();
    EXPECT_THAT(trace, HasSubstr("moved aside"));
    const std::string folder = sandbox.ConfigHome() + "/mailsortello";
    std::string aside;
    for (const auto& name : FilesIn(folder))
        if (name.rfind("HKEY_CURRENT_USER.reg.corrupt-", 0) == 0) aside = folder + "/" + name;
    ASSERT_FALSE(aside.empty());
    EXPECT_EQ(TDesktopSandbox::ReadFile(aside), garbage);
    EXPECT_FALSE(fs::exists(sandbox.UserRegistryFile()));

    ASSERT_TRUE(reg.OpenKey("Software", true));
    reg.WriteString("a", "b");
    reg.CloseKey();
    EXPECT_EQ(TDesktopSandbox::ReadFile(aside), garbage);
    EXPECT_THAT(TDesktopSandbox::ReadFile(sandbox.UserRegistryFile()), HasSubstr("\"a\"=\"b\""));
}

TEST_F(RegistryTest, ARootThatCannotBeWrittenRefusesKeysForWriting) {
    sandbox.MakeMachineRootUnwritable();
    TRegistry reg(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(reg.OpenKey("SOFTWARE\\Microsoft\\Windows Messaging Subsystem", true));
    EXPECT_FALSE(reg.DeleteKey("SOFTWARE"));
    EXPECT_FALSE(reg.OpenKeyReadOnly("SOFTWARE\\Microsoft\\Windows Messaging Subsystem"));
    EXPECT_EQ(RaisedMessage([&] { reg.WriteString("MAPI", "1"); }), "Failed to set data for 'MAPI'");

    // A key opened for reading cannot be written either.
    TRegistry user;
    ASSERT_TRUE(user.OpenKey("K", true));
    user.CloseKey();
    ASSERT_TRUE(user.OpenKeyReadOnly("K"));
    EXPECT_EQ(RaisedMessage([&] { user.WriteInteger("n", 1); }), "Failed to set data for 'n'");
    EXPECT_FALSE(user.DeleteValue("n"));
}

TEST_F(RegistryTest, SavesReplaceTheFileAtomicallyForItsOwnerOnly) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("K", true));
    reg.WriteString("v", "1");
    reg.CloseKey();
    struct stat first{};
    ASSERT_EQ(stat(sandbox.UserRegistryFile().c_str(), &first), 0);
    EXPECT_EQ(first.st_mode & 0777, 0600u);

    // A reader holding the old file keeps seeing it whole; the new content
    // arrives as a new file.
    std::ifstream before(sandbox.UserRegistryFile(), std::ios::binary);
    ASSERT_TRUE(reg.OpenKey("K", true));
    reg.WriteString("v", "2");
    reg.CloseKey();
    struct stat second{};
    ASSERT_EQ(stat(sandbox.UserRegistryFile().c_str(), &second), 0);
    EXPECT_NE(first.st_ino, second.st_ino);
    EXPECT_EQ(second.st_mode & 0777, 0600u);
    std::string old((std::istreambuf_iterator<char>(before)), std::istreambuf_iterator<char>());
    EXPECT_THAT(old, HasSubstr("\"v\"=\"1\""));
    // The machine-wide file must be readable by every user.
    TRegistry machine(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(machine.OpenKey("SOFTWARE", true));
    machine.CloseKey();
    ASSERT_EQ(stat(sandbox.MachineRegistryFile().c_str(), &second), 0);
    EXPECT_EQ(second.st_mode & 0777, 0644u);
    // Only the file and its lock are left in the folder: no temporary files.
    EXPECT_THAT(FilesIn(sandbox.ConfigHome() + "/mailsortello"),
                ElementsAre("HKEY_CURRENT_USER.reg", "HKEY_CURRENT_USER.reg.lock"));
}

TEST_F(RegistryTest, ConcurrentSaversNeverProduceAMixedFile) {
    std::atomic<bool> stop{false};
    auto saver = [&](const std::string& tag) {
        for (int round = 0; round < 15; ++round) {
            TRegistry reg;
            reg.BeginUpdate();
            for (int k = 0; k < 3; ++k) {
                ASSERT_TRUE(reg.OpenKey(kSection + std::to_string(k), true));
                for (int i = 0; i < 10; ++i) reg.WriteString("Item" + std::to_string(i), tag);
                reg.CloseKey();
            }
            reg.EndUpdate();
        }
    };
    std::vector<std::string> problems;
    std::thread watcher([&] {
        while (!stop) {
            const std::string text = TDesktopSandbox::ReadFile(sandbox.UserRegistryFile());
            if (text.empty()) continue;
            TRegistryTree tree;
            std::string error;
            if (!ParseRegistryText(text, "HKEY_CURRENT_USER", tree, error)) {
                problems.push_back("unparsable: " + error);
                continue;
            }
            const bool a = text.find("\"A\"") != std::string::npos, b = text.find("\"B\"") != std::string::npos;
            if (a && b) problems.push_back("mixed");
        }
    });
    std::thread one(saver, "A"), two(saver, "B");
    one.join();
    two.join();
    stop = true;
    watcher.join();
    EXPECT_TRUE(problems.empty()) << problems.front();
    const std::string text = TDesktopSandbox::ReadFile(sandbox.UserRegistryFile());
    EXPECT_EQ(std::count(text.begin(), text.end(), '['), 6) << text;
}

TEST_F(RegistryTest, AnUpdateLeftOpenIsDroppedWhileClosedKeysAreSaved) {
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("Saved", true));
        reg.WriteString("v", "1");
    }
    {
        TRegistry reg;
        reg.BeginUpdate();
        ASSERT_TRUE(reg.OpenKey("Abandoned", true));
        reg.WriteString("v", "1");
        reg.CloseKey();
    }
    TRegistry reg;
    EXPECT_TRUE(reg.KeyExists("Saved"));
    EXPECT_FALSE(reg.KeyExists("Abandoned"));
}

TEST_F(RegistryTest, DefaultMailProgramComesFromTheMachineFileThenFromTheDesktop) {
    auto defaultClient = [] {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        return reg.OpenKeyReadOnly("SOFTWARE\\Clients\\Mail") ? reg.ReadString("") : std::string("(no key)");
    };
    sandbox.FakeProgram("xdg-mime", 0, "posta-prova.desktop\n");
    EXPECT_EQ(defaultClient(), "(no key)");

    sandbox.DesktopEntry("posta-prova.desktop", "Posta di prova");
    EXPECT_EQ(defaultClient(), "Posta di prova");
    EXPECT_THAT(sandbox.Calls("xdg-mime").back(), ElementsAre("query", "default", "x-scheme-handler/mailto"));

    TDesktopSandbox::WriteFile(sandbox.MachineRegistryFile(),
                               "Windows Registry Editor Version 5.00\r\n\r\n"
                               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n@=\"Microsoft Outlook\"\r\n");
    EXPECT_EQ(defaultClient(), "Microsoft Outlook");

    // The desktop's answer is shown, never stored.
    TDesktopSandbox::WriteFile(sandbox.MachineRegistryFile(),
                               "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n");
    {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Clients\\Mail", false));
        EXPECT_EQ(reg.ReadString(""), "Posta di prova");
        reg.WriteString("other", "x");
    }
    EXPECT_THAT(TDesktopSandbox::ReadFile(sandbox.MachineRegistryFile()), Not(HasSubstr("Posta di prova")));
}

TEST(RegistryText, KeysFindTheirValuesWithoutRegardToCaseAfterRemovals) {
    TRegKey key;
    for (const char* name : {"Count", "Item0", "Item1", "Item2"}) {
        TRegValue value;
        value.name = name;
        value.text = std::string("was ") + name;
        key.Set(value);
    }
    EXPECT_TRUE(key.Remove("ITEM1"));
    EXPECT_FALSE(key.Remove("Item1"));
    TRegValue changed;
    changed.name = "item2";
    changed.text = "new";
    key.Set(changed);
    changed.name = "Item1";
    changed.text = "again";
    key.Set(changed);
    std::vector<std::string> listed;
    for (const TRegValue& value : key.Values()) listed.push_back(value.name + "=" + value.text);
    EXPECT_THAT(listed, ElementsAre("Count=was Count", "Item0=was Item0", "Item2=new", "Item1=again"));
    for (const char* name : {"count", "ITEM0", "Item2", "item1"}) ASSERT_NE(key.Find(name), nullptr) << name;
    EXPECT_EQ(key.Find("iTeM2")->text, "new");
    EXPECT_EQ(key.Find("Item3"), nullptr);
}

TEST_F(RegistryTest, AnythingUnusableInPlaceOfTheFileIsMovedAsideQuickly) {
    for (const TUnusableFile& bad : UnusableFiles()) {
        SCOPED_TRACE(bad.name);
        fs::remove_all(Folder());
        fs::create_directories(Folder());
        bad.make(sandbox.UserRegistryFile());
        TRegistry reg;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(reg.OpenKeyReadOnly("Software"));
        const std::string trace = testing::internal::GetCapturedStderr();
        EXPECT_THAT(trace, HasSubstr(std::string("cannot be read (") + bad.why + "); moved aside to "));
        EXPECT_THAT(reg.FileProblem(), HasSubstr("moved aside"));
        EXPECT_EQ(Aside().size(), 1u);
        EXPECT_FALSE(fs::exists(fs::symlink_status(sandbox.UserRegistryFile())));

        ASSERT_TRUE(reg.OpenKey("Software", true));
        reg.WriteString("a", "b");
        reg.CloseKey();
        EXPECT_THAT(TDesktopSandbox::ReadFile(sandbox.UserRegistryFile()), HasSubstr("\"a\"=\"b\""));
    }
}

TEST_F(RegistryTest, AReadOnlyFolderIsReadAndAFailedSaveKeepsTheFile) {
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kSection, true));
        reg.WriteString("edtSubject_Text", "Prova");
        reg.CloseKey();
    }
    const std::string before = TDesktopSandbox::ReadFile(sandbox.UserRegistryFile());
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kSection, false));
    reg.WriteString("edtSubject_Text", "Nuovo");
    TReadOnlyFolder readOnly(Folder());
    ASSERT_TRUE(readOnly.Ok());

    testing::internal::CaptureStderr();
    EXPECT_EQ(RaisedMessage([&] { reg.CloseKey(); }), "Failed to set data for 'edtSubject_Text'");
    EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("Registry: changes not saved, " + Folder()));
    EXPECT_EQ(TDesktopSandbox::ReadFile(sandbox.UserRegistryFile()), before);

    ASSERT_TRUE(reg.OpenKeyReadOnly(kSection));
    EXPECT_EQ(reg.ReadString("edtSubject_Text"), "Prova");
    EXPECT_FALSE(reg.OpenKey(kSection, false));
    EXPECT_THAT(reg.WriteProblem(), HasSubstr(Folder() + " cannot be written ("));
}

TEST_F(RegistryTest, AnUnusableFileThatCannotBeMovedStaysAndIsNeverReplaced) {
    fs::create_directories(Folder());
    UnusableFiles()[0].make(sandbox.UserRegistryFile());
    TReadOnlyFolder readOnly(Folder());
    ASSERT_TRUE(readOnly.Ok());
    TRegistry reg;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(reg.OpenKeyReadOnly("Software"));
    EXPECT_FALSE(reg.OpenKeyReadOnly("Software"));
    const std::string trace = testing::internal::GetCapturedStderr();
    EXPECT_THAT(trace, HasSubstr("cannot be read (a folder); cannot be moved aside ("));
    // Said once, not at every read.
    EXPECT_EQ(trace.find("cannot be moved aside"), trace.rfind("cannot be moved aside"));
    EXPECT_THAT(reg.FileProblem(), HasSubstr("cannot be moved aside"));
    EXPECT_FALSE(reg.OpenKey("Software", true));
    EXPECT_TRUE(fs::is_directory(sandbox.UserRegistryFile() + "/inside"));
    EXPECT_TRUE(Aside().empty());
}

// Reads keep the file as last read until it is replaced or rewritten.
TEST_F(RegistryTest, AFileChangedSinceTheLastReadIsReadAgain) {
    TRegistry reader, writer;
    ASSERT_TRUE(writer.OpenKey(kSection, true));
    writer.WriteString("v", "1");
    writer.CloseKey();
    ASSERT_TRUE(reader.OpenKeyReadOnly("\\" + kSection));
    EXPECT_EQ(reader.ReadString("v"), "1");

    ASSERT_TRUE(writer.OpenKey(kSection, false));
    writer.WriteString("v", "2");
    writer.CloseKey();
    ASSERT_TRUE(reader.OpenKeyReadOnly("\\" + kSection));
    EXPECT_EQ(reader.ReadString("v"), "2");

    // Edited where it is, as by hand.
    {
        std::ofstream out(sandbox.UserRegistryFile(), std::ios::binary | std::ios::trunc);
        out << kHeader << "[HKEY_CURRENT_USER\\" << kSection << "]\r\n\"v\"=\"33\"\r\n";
    }
    ASSERT_TRUE(reader.OpenKeyReadOnly("\\" + kSection));
    EXPECT_EQ(reader.ReadString("v"), "33");

    fs::remove(sandbox.UserRegistryFile());
    EXPECT_FALSE(reader.OpenKeyReadOnly("\\" + kSection));
}
