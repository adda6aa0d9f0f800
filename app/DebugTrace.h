// The diagnostic trace (toolkit-free): DebugTrace(text) passes text unchanged
// to the debugger output (platform/DebugOutput.h) while DebugLevel > 0.
// DebugLevel starts at 1 and nothing changes it.
#pragma once

#include <cstdint>
#include <string>

extern int32_t DebugLevel;

void DebugTrace(const std::string& text);
