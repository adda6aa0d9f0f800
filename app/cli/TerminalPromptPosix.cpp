#include "app/cli/TerminalPrompt.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>

bool StdinIsTerminal() { return isatty(STDIN_FILENO) != 0; }

std::string ReadHiddenLine() {
    termios saved{};
    const bool quiet = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (quiet) {
        termios noEcho = saved;
        noEcho.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &noEcho);
    }
    // Reserved at once so that growing never leaves copies behind.
    std::string line;
    line.reserve(1024);
    for (int c; (c = std::fgetc(stdin)) != EOF && c != '\n';) line += static_cast<char>(c);
    if (quiet) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    return line;
}
