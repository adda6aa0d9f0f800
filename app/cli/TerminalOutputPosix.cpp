#include "app/cli/TerminalText.h"

void WriteTerminalLine(FILE* stream, const std::string& ansi) {
    const std::string line = ToTerminal(ansi) + "\n";
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
}
