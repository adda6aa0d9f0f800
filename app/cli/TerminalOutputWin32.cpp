// A console shows its own (OEM) code page, not the program's ANSI one:
// lines for a console go as UTF-16, so that accents show as typed. Lines
// for a file or a pipe stay ANSI, as Windows programs write them.
#include "app/cli/TerminalText.h"

#include <windows.h>

#include <io.h>

namespace {
HANDLE ConsoleOf(FILE* stream) {
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) ? handle : nullptr;
}
}  // namespace

void WriteTerminalLine(FILE* stream, const std::string& ansi) {
    const std::string line = ansi + "\n";
    const HANDLE console = ConsoleOf(stream);
    if (console == nullptr) {
        std::fwrite(line.data(), 1, line.size(), stream);
        std::fflush(stream);
        return;
    }
    std::fflush(stream);
    const int count = static_cast<int>(line.size());
    const int size = ::MultiByteToWideChar(CP_ACP, 0, line.data(), count, nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, line.data(), count, wide.data(), size);
    DWORD written = 0;
    ::WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}
