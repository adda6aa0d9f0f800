#include "message/IdAttachmentFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "message/IdMessage.h"
#include "tests/support/DesktopSandbox.h"

namespace {

class IdAttachmentFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("LC_ALL", "it_IT.UTF-8", 1);
        // "Università" on disk, as the file system names it.
        ASSERT_EQ(mkdir((sandbox.Root() + "/Universit\xC3\xA0").c_str(), 0700), 0);
    }
    // The same folder as the program's ANSI text names it.
    std::string Ansi(const std::string& name) const { return sandbox.Root() + "/Universit\xE0/" + name; }
    std::string Utf8(const std::string& name) const { return sandbox.Root() + "/Universit\xC3\xA0/" + name; }
    std::string OpenError(const std::string& path) {
        auto* file = new TIdAttachmentFile(&message.MessageParts(), path);
        try {
            file->OpenContent();
        } catch (const EFOpenError& e) {
            return e.Message();
        }
        return "opened";
    }
    TDesktopSandbox sandbox;
    TIdMessage message;
};

}  // namespace

TEST_F(IdAttachmentFileTest, AnAccentedPathIsReadUnderItsUtf8Name) {
    TDesktopSandbox::WriteFile(Utf8("perch\xC3\xA9.txt"), "contenuto\r\n");
    auto* file = new TIdAttachmentFile(&message.MessageParts(), Ansi("perch\xE9.txt"));
    EXPECT_EQ(file->FileName(), "perch\xE9.txt");
    EXPECT_EQ(file->OpenContent().ReadRemaining(), "contenuto\r\n");
}

TEST_F(IdAttachmentFileTest, WhatCannotBeOpenedIsAnErrorNamingThePathAsTyped) {
    ASSERT_EQ(mkfifo(Utf8("coda").c_str(), 0600), 0);
    ASSERT_EQ(mkdir(Utf8("cartella").c_str(), 0700), 0);
    // Neither the FIFO nor the folder may block or read as an empty file.
    for (const std::string& path : {Ansi("manca.txt"), Ansi("coda"), Ansi("cartella"), Ansi("a\x81.txt"),
                                    std::string("/proc/sys/vm/compact_memory")})
        EXPECT_EQ(OpenError(path), "Cannot open file " + path);
}

TEST_F(IdAttachmentFileTest, ATemporaryFileIsRemovedUnderItsUtf8Name) {
    TDesktopSandbox::WriteFile(Utf8("temp\xC3\xA9.txt"), "x");
    {
        TIdMessage owner;
        (new TIdAttachmentFile(&owner.MessageParts(), Ansi("temp\xE9.txt")))->SetFileIsTempFile(true);
    }
    struct stat st {};
    EXPECT_NE(stat(Utf8("temp\xC3\xA9.txt").c_str(), &st), 0);
}
