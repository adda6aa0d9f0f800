#include "platform/DynamicLibrary.h"

#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

// A library every system has, one of its entry points, and this program's
// own file name.
struct TSystemFacts {
    const char* library;
    const char* symbol;
    const char* programName;
};
#ifdef _WIN32
constexpr TSystemFacts kSystem{"kernel32.dll", "GetTickCount", "DynamicLibraryTest.exe"};
#else
constexpr TSystemFacts kSystem{"libc.so.6", "strlen", "DynamicLibraryTest"};
#endif

}  // namespace

TEST(DynamicLibrary, LoadsByNameFindsEntryPointsAndFrees) {
    for (TLibrarySearch search : {TLibrarySearch::System, TLibrarySearch::ProgramFolderFirst}) {
        TLibraryHandle library = LoadDynamicLibrary(kSystem.library, search);
        ASSERT_NE(library, nullptr) << DynamicLibraryError();
        EXPECT_EQ(DynamicLibraryError(), "");
        EXPECT_NE(FindLibrarySymbol(library, kSystem.symbol), nullptr);
        EXPECT_EQ(FindLibrarySymbol(library, "NoSuchEntryPoint"), nullptr);
        EXPECT_THAT(DynamicLibraryError(), HasSubstr("NoSuchEntryPoint"));
        FreeDynamicLibrary(library);
    }
}

// The caller passes the text on as its own message: it must say which file.
TEST(DynamicLibrary, FailuresNameWhatWasMissing) {
    EXPECT_EQ(LoadDynamicLibrary("msortello-absent-library", TLibrarySearch::System), nullptr);
    EXPECT_THAT(DynamicLibraryError(), HasSubstr("msortello-absent-library"));
    EXPECT_EQ(LoadDynamicLibrary("msortello-absent-library", TLibrarySearch::ProgramFolderFirst), nullptr);
    EXPECT_THAT(DynamicLibraryError(), HasSubstr("msortello-absent-library"));
    EXPECT_EQ(FindLibrarySymbol(nullptr, kSystem.symbol), nullptr);
    FreeDynamicLibrary(nullptr);
}

TEST(DynamicLibrary, ProgramFolderHoldsTheRunningProgram) {
    const std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(fs::is_regular_file(fs::path(folder) / kSystem.programName)) << folder;
    EXPECT_NE(folder.back(), '/');
    EXPECT_NE(folder.back(), '\\');
}

#ifdef _WIN32
TEST(DynamicLibrary, SystemLibrariesComeFromTheSystemFolder) {
    TLibraryHandle library = LoadSystemLibrary("KERNEL32.DLL");
    ASSERT_NE(library, nullptr) << DynamicLibraryError();
    FreeDynamicLibrary(library);
}
#else
// Only a library beside the program tells the two searches apart; the
// test puts one there for its own length.
TEST(DynamicLibrary, ProgramFolderFirstFindsALibraryBesideTheProgram) {
    const std::string name = "libmsortello-beside-" + std::to_string(::getpid()) + ".so";
    const fs::path beside = fs::path(ProgramFolder()) / name;
    fs::create_symlink(fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "libmapi32.so",
                       beside);
    TLibraryHandle found = LoadDynamicLibrary(name, TLibrarySearch::ProgramFolderFirst);
    TLibraryHandle notSearched = LoadDynamicLibrary(name, TLibrarySearch::System);
    std::error_code ignored;
    fs::remove(beside, ignored);
    ASSERT_NE(found, nullptr) << DynamicLibraryError();
    EXPECT_NE(FindLibrarySymbol(found, "MAPISendMail"), nullptr);
    EXPECT_EQ(notSearched, nullptr);
    FreeDynamicLibrary(found);
}

// MAPI32.DLL stands for our own libmapi32.so, which this test program does
// not have beside it.
TEST(DynamicLibrary, SystemLibraryNamesMapOntoOurStandIns) {
    EXPECT_EQ(LoadSystemLibrary("MAPI32.DLL"), nullptr);
    EXPECT_THAT(DynamicLibraryError(), HasSubstr("libmapi32.so"));
}
#endif
