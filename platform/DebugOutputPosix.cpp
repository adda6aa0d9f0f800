#include "platform/DebugOutput.h"

#include <unistd.h>

void OutputDebugStringA(const std::string& text) {
    const std::string line = text + "\n";
    ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
    (void)ignored;
}
