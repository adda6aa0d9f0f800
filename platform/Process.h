// Helper programs (xdg-open, xdg-mime, xdg-email) are started with an
// argument vector through posix_spawnp, never through a shell, so no text
// typed by the user is ever interpreted as a command line.
#pragma once

#include <string>
#include <vector>

// Runs the program and waits for it. Returns its exit status, or -1 when it
// could not be started, was killed by a signal, or outlived timeoutMs (it is
// then killed; timeoutMs < 0 waits without limit). When output is given it
// receives what the program wrote on standard output; otherwise standard
// output is discarded. Standard error always goes to /dev/null: the
// program's chatter must not mix with our own diagnostics.
int RunProgram(const std::vector<std::string>& argv, std::string* output = nullptr, int timeoutMs = -1);

// Starts the program and returns as soon as it runs; it is reaped in the
// background so that no zombie stays behind. False when it could not start.
bool StartProgram(const std::vector<std::string>& argv);

// The process holds passwords: no core file may carry one to disk, and no
// other process of the user may read its memory (ptrace, /proc/PID/mem).
// Also passed on to the programs it starts (the core size limit).
void DisableCoreDumps();
