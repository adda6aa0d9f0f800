// The terminal the command line asks for a password at.
#pragma once

#include <string>

// Whether standard input is a terminal someone types at.
bool StdinIsTerminal();
// One line typed at the terminal, not shown while typed, in the terminal's
// encoding; the line end may still be on it.
std::string ReadHiddenLine();
