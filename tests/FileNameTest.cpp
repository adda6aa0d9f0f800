#include "platform/FileName.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>

#include "platform/Locale.h"
#include "tests/support/DesktopSandbox.h"

namespace {

// "Università/perché.txt" as the program holds it and as the disk does.
const std::string kAnsiFolder = "Universit\xE0";
const std::string kAnsiFile = "Universit\xE0/perch\xE9.txt";
const std::string kUtf8Folder = "Universit\xC3\xA0";
const std::string kUtf8File = "Universit\xC3\xA0/perch\xC3\xA9.txt";

class FileNameTest : public ::testing::Test {
protected:
    void SetUp() override { UseLocale("it_IT.UTF-8"); }
    void TearDown() override {
        setenv("LC_ALL", "it_IT.UTF-8", 1);
        std::setlocale(LC_ALL, "C");
    }
    static void UseLocale(const char* name) {
        setenv("LC_ALL", name, 1);
        ASSERT_NE(std::setlocale(LC_ALL, name), nullptr) << name << " is not generated (scripts/deps.sh)";
    }
    std::string Ansi(const std::string& relative) const { return sandbox.Root() + "/" + relative; }
    void MakeAccentedFile() const {
        ASSERT_EQ(mkdir((sandbox.Root() + "/" + kUtf8Folder).c_str(), 0700), 0);
        TDesktopSandbox::WriteFile(sandbox.Root() + "/" + kUtf8File, "contenuto");
    }
    TDesktopSandbox sandbox;
};

}  // namespace

TEST_F(FileNameTest, NamesConvertBetweenTheCodePageAndUtf8) {
    struct Case {
        const char* locale;
        std::string ansi, utf8;
    } cases[] = {
        {"it_IT.UTF-8", kAnsiFile, kUtf8File},
        {"it_IT.UTF-8", "prezzo \x80 10.txt", "prezzo \xE2\x82\xAC 10.txt"},
        {"it_IT.UTF-8", "plain.txt", "plain.txt"},
        {"ja_JP.UTF-8", "\x93\xFA\x96\x7B.txt", "\xE6\x97\xA5\xE6\x9C\xAC.txt"},  // 日本
    };
    for (const Case& c : cases) {
        UseLocale(c.locale);
        EXPECT_EQ(SystemFileName(c.ansi), c.utf8) << c.locale;
        EXPECT_EQ(AnsiFileName(c.utf8), c.ansi) << c.locale;
    }
}

// Only "/" separates: "\\" and ":" are letters of a Linux name, and 0x5C
// is the second byte of many code page 932 characters.
TEST_F(FileNameTest, TheBaseNameIsWhatFollowsTheLastSlash) {
    const std::pair<std::string, std::string> cases[] = {
        {"/tmp/cartella/perch\xE9.txt", "perch\xE9.txt"},
        {"/tmp/Verbale 10:30.txt", "Verbale 10:30.txt"},
        {"/tmp/copia\\originale.txt", "copia\\originale.txt"},
        {"/tmp/\x83\x5C\x95\x5C.txt", "\x83\x5C\x95\x5C.txt"},  // katakana "so", kanji "hyou"
        {"semplice.txt", "semplice.txt"},
        {"/tmp/cartella/", ""},
    };
    for (const auto& [path, base] : cases) EXPECT_EQ(BaseFileName(path), base) << path;
}

TEST_F(FileNameTest, ANameTheCodePageCannotHoldIsAnErrorNeverAQuestionMark) {
    try {
        AnsiFileName("/tmp/\xE6\x97\xA5.txt");
        FAIL() << "no error";
    } catch (const EFileNameError& e) {
        EXPECT_EQ(e.Message(), "Il nome del file \"/tmp/?.txt\" contiene caratteri che la code page 1252 non ha.");
    }
    // 0x81 is no character of Windows-1252.
    EXPECT_THROW(SystemFileName("a\x81.txt"), EFileNameError);
    UseLocale("ja_JP.UTF-8");
    EXPECT_THROW(AnsiFileName("perch\xC3\xA9\xE2\x82\xAC.txt"), EFileNameError);
}

TEST_F(FileNameTest, AnAccentedFileIsFoundAndReadableUnderItsAnsiName) {
    MakeAccentedFile();
    EXPECT_TRUE(FileExists(Ansi(kAnsiFile)));
    EXPECT_TRUE(FileReadable(Ansi(kAnsiFile)));
    // The UTF-8 bytes read as cp1252 are another name.
    EXPECT_FALSE(FileExists(Ansi(kUtf8File)));
    EXPECT_FALSE(FileExists(Ansi(kAnsiFolder)));
    EXPECT_FALSE(FileExists(Ansi("a\x81.txt")));
}

TEST_F(FileNameTest, OnlyAReadableRegularFileIsReadable) {
    MakeAccentedFile();
    const std::string fifo = Ansi(kAnsiFolder + "/coda");
    ASSERT_EQ(mkfifo(SystemFileName(fifo).c_str(), 0600), 0);
    for (const std::string& path : {std::string(), Ansi(kAnsiFolder), Ansi("manca.txt"), fifo,
                                    std::string("/proc/sys/vm/compact_memory")})  // write-only, even for root
        EXPECT_FALSE(FileReadable(path)) << path;
    EXPECT_TRUE(SystemFileExists(sandbox.Root() + "/" + kUtf8File));
    EXPECT_FALSE(SystemFileExists(sandbox.Root() + "/" + kUtf8Folder));
}
