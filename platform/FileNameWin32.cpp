// Windows names are in the ANSI code page already, as the A functions take them.
#include "platform/FileName.h"

#include <windows.h>

std::string SystemFileName(const std::string& ansi) { return ansi; }

std::string AnsiFileName(const std::string& name) { return name; }

std::string BaseFileName(const std::string& path) { return path.substr(path.find_last_of("\\/:") + 1); }

bool SystemFileExists(const std::string& systemName) {
    if (systemName.empty()) return false;
    const DWORD attributes = ::GetFileAttributesA(systemName.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
