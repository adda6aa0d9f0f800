#include "platform/DebugOutput.h"

#include <windows.h>

#include <cstdio>

// To the debugger, and to standard error as on Linux, so that the command
// line's trace can be read without one.
void OutputDebugStringA(const std::string& text) {
    ::OutputDebugStringA(text.c_str());
    const std::string line = text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}
