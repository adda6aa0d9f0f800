#include "platform/DynamicLibrary.h"

#include <windows.h>

#include <vector>

namespace {

thread_local std::string gLastError;

// The system's text for the calling thread's last error, after what failed.
void NoteFailure(const std::string& what) {
    const DWORD error = ::GetLastError();
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length > 0 && text != nullptr ? std::string(text, length) : "error " + std::to_string(error);
    if (text != nullptr) ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    gLastError = what + ": " + message;
}

TLibraryHandle Open(const std::string& name, DWORD flags) {
    HMODULE module = ::LoadLibraryExA(name.c_str(), nullptr, flags);
    if (module == nullptr) NoteFailure(name);
    else gLastError.clear();
    return reinterpret_cast<TLibraryHandle>(module);
}

bool HasFolder(const std::string& name) { return name.find_first_of("\\/:") != std::string::npos; }

}  // namespace

// The current folder is never searched: a library planted there must not
// be loaded in place of the real one.
TLibraryHandle LoadDynamicLibrary(const std::string& name, TLibrarySearch search) {
    if (HasFolder(name)) return Open(name, LOAD_WITH_ALTERED_SEARCH_PATH);
    DWORD flags = LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
    if (search == TLibrarySearch::ProgramFolderFirst) flags |= LOAD_LIBRARY_SEARCH_APPLICATION_DIR;
    return Open(name, flags);
}

TLibraryHandle LoadSystemLibrary(const std::string& windowsName) {
    return Open(windowsName, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void* FindLibrarySymbol(TLibraryHandle library, const char* name) {
    if (library == nullptr) return nullptr;
    FARPROC symbol = ::GetProcAddress(reinterpret_cast<HMODULE>(library), name);
    if (symbol == nullptr) NoteFailure(name);
    else gLastError.clear();
    return reinterpret_cast<void*>(symbol);
}

void FreeDynamicLibrary(TLibraryHandle library) {
    if (library != nullptr) ::FreeLibrary(reinterpret_cast<HMODULE>(library));
}

std::string DynamicLibraryError() { return gLastError; }

std::string ProgramFolder() {
    std::vector<char> path(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return "";
        if (n < path.size()) {
            const std::string exe(path.data(), n);
            const size_t slash = exe.find_last_of("\\/");
            return slash == std::string::npos ? std::string() : exe.substr(0, slash);
        }
        path.resize(path.size() * 2);
    }
}
