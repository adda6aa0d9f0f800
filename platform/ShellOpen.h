// The shell's "open" of a document or URL: xdg-open, started with an
// argument vector and not waited for beyond its start.
#pragma once

#include <cstdint>

constexpr int SW_SHOWDEFAULT = 10;
// Results below 33 are errors, as the shell reports them.
constexpr intptr_t SE_ERR_FNF = 2;
constexpr intptr_t SE_ERR_NOASSOC = 31;

// Only the verb "open" (or none) is known; owner, parameters, directory and
// showCmd have no counterpart for xdg-open and are not used. The file is
// ANSI text and reaches xdg-open as UTF-8. Returns a value above 32 when
// xdg-open was started, SE_ERR_FNF when it could not be (or the file would
// read as one of its options, or holds bytes the code page does not
// define), SE_ERR_NOASSOC for another verb.
intptr_t ShellExecuteA(uintptr_t owner, const char* operation, const char* file, const char* parameters,
                       const char* directory, int showCmd);
