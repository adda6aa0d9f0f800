// Stand-in for the platform's debugger output channel.
#pragma once

#include <string>

// Writes the text and a line feed to standard error in one write call.
void OutputDebugStringA(const std::string& text);
