#include "platform/DynamicLibrary.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

namespace {

const char* const kPrivateFolder = MAILSORTELLO_PRIVATE_LIBDIR_FROM_BINDIR;

thread_local std::string gLastError;

void NoteResult(const void* result) {
    if (result != nullptr) {
        gLastError.clear();
        return;
    }
    const char* why = ::dlerror();
    gLastError = why != nullptr ? why : "unknown dynamic loader error";
}

TLibraryHandle Open(const std::string& name) {
    TLibraryHandle handle = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    NoteResult(handle);
    return handle;
}

}  // namespace

TLibraryHandle LoadDynamicLibrary(const std::string& name, TLibrarySearch search) {
    const bool bare = name.find('/') == std::string::npos;
    if (bare && search == TLibrarySearch::ProgramFolderFirst) {
        const std::string folder = ProgramFolder();
        if (!folder.empty())
            if (TLibraryHandle handle = Open(folder + "/" + name)) return handle;
    }
    return Open(name);
}

// "MAPI32.DLL" stands for libmapi32.so.
TLibraryHandle LoadSystemLibrary(const std::string& windowsName) {
    std::string stem = windowsName.substr(0, windowsName.rfind('.'));
    std::transform(stem.begin(), stem.end(), stem.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::string name = "lib" + stem + ".so";
    // Beside the program (the build tree), then the install's private
    // library folder, relative to the program's (so it holds for any
    // prefix), then the usual search.
    const std::string folder = ProgramFolder();
    if (!folder.empty())
        for (const std::string& path : {folder + "/" + name, folder + "/" + kPrivateFolder + "/" + name})
            if (TLibraryHandle library = LoadDynamicLibrary(path, TLibrarySearch::System)) return library;
    return LoadDynamicLibrary(name, TLibrarySearch::System);
}

void* FindLibrarySymbol(TLibraryHandle library, const char* name) {
    if (library == nullptr) return nullptr;
    ::dlerror();
    void* symbol = ::dlsym(library, name);
    NoteResult(symbol);
    return symbol;
}

void FreeDynamicLibrary(TLibraryHandle library) {
    if (library != nullptr) ::dlclose(library);
}

std::string DynamicLibraryError() { return gLastError; }

std::string ProgramFolder() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "";
    const std::string exe(path, static_cast<size_t>(n));
    return exe.substr(0, exe.rfind('/'));
}
