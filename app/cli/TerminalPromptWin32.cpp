// The console gives what is typed as UTF-16; the program's text is ANSI.
#include "app/cli/TerminalPrompt.h"

#include <windows.h>

#include <io.h>

#include <cstdio>

#include "app/cli/CliOptions.h"
#include "app/cli/TerminalText.h"
#include "core/SecureWipe.h"

namespace {

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return ::GetConsoleMode(handle, &mode) != 0;
}

// A character the code page does not have must not become a "?" in the
// password: that would only end in a refusal that looks like a wrong one.
std::string ToAnsiExactly(const std::wstring& typed) {
    if (typed.empty()) return {};
    const int count = static_cast<int>(typed.size());
    BOOL lossy = FALSE;
    const int size = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, typed.data(), count, nullptr, 0, nullptr,
                                           &lossy);
    std::string line(static_cast<size_t>(size > 0 ? size : 0), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, typed.data(), count, line.data(), size, nullptr, &lossy);
    if (lossy || size <= 0) {
        SecureWipe(line);
        throw ECliUsageError(NotTypable("the password"));
    }
    return line;
}

}  // namespace

bool StdinIsTerminal() { return IsConsole(::GetStdHandle(STD_INPUT_HANDLE)); }

std::string ReadHiddenLine() {
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD saved = 0;
    ::GetConsoleMode(input, &saved);
    ::SetConsoleMode(input, (saved | ENABLE_LINE_INPUT) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::wstring typed;
    typed.reserve(1024);
    wchar_t c = 0;
    DWORD read = 0;
    while (::ReadConsoleW(input, &c, 1, &read, nullptr) && read == 1 && c != L'\n') {
        if (c != L'\r') typed += c;
    }
    ::SetConsoleMode(input, saved);
    std::string line;
    try {
        line = ToAnsiExactly(typed);
    } catch (...) {
        SecureWipe(typed.data(), typed.size() * sizeof(wchar_t));
        throw;
    }
    SecureWipe(typed.data(), typed.size() * sizeof(wchar_t));
    return line;
}
