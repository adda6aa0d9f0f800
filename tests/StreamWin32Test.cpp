// File streams on Windows: bytes in and out unchanged (no text mode), and
// what cannot be read refused as on Linux.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "core/Stream.h"
#include "platform/FileName.h"
#include "platform/Locale.h"

namespace {

std::string TempFolder() {
    char path[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, path);
    return path;
}

TEST(StreamWin32Test, EveryByteValueSurvivesAWriteAndARead) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    bytes += "\n\r\n\x1A\n";  // LF, CR LF and the old end-of-file mark
    const std::string name = TempFolder() + "mailsortello-bytes.bin";
    {
        TFileStream out(name, TFileStream::Mode::Create);
        out.WriteString(bytes);
    }
    TFileStream in(name);
    EXPECT_EQ(in.Size(), static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(in.ReadRemaining(), bytes);
    EXPECT_TRUE(FileExists(name));
    EXPECT_TRUE(FileReadable(name));
    ::DeleteFileA(name.c_str());
}

TEST(StreamWin32Test, FoldersAndMissingFilesAreRefused) {
    const std::string folder = TempFolder();
    EXPECT_FALSE(FileExists(folder));
    EXPECT_FALSE(FileReadable(folder));
    EXPECT_THROW(TFileStream{folder}, EFOpenError);
    EXPECT_THROW(TFileStream{folder + "no-such-file.txt"}, EFOpenError);
    const TOpenedForReading opened = OpenRegularFileForReading(folder);
    EXPECT_LT(opened.fd, 0);
    EXPECT_TRUE(S_ISDIR(opened.info.st_mode));
    EXPECT_FALSE(FileExists(""));
}

TEST(StreamWin32Test, BaseNamesSplitAtWindowsSeparators) {
    EXPECT_EQ(BaseFileName("C:\\Documenti\\fattura.pdf"), "fattura.pdf");
    EXPECT_EQ(BaseFileName("C:/Documenti/fattura.pdf"), "fattura.pdf");
    EXPECT_EQ(BaseFileName("C:fattura.pdf"), "fattura.pdf");
    EXPECT_EQ(BaseFileName("fattura.pdf"), "fattura.pdf");
}

}  // namespace
