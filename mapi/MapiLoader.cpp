#include "mapi/MapiLoader.h"

#include <dlfcn.h>
#include <unistd.h>

#include "platform/Registry.h"

namespace {

const char* const kLibraryName = "libmapi32.so";
// The install's private library folder, relative to the programs' folder
// (so it holds for any install prefix).
const char* const kPrivateFolder = MAILSORTELLO_PRIVATE_LIBDIR_FROM_BINDIR;
const char* const kMessagingKey = "SOFTWARE\\Microsoft\\Windows Messaging Subsystem";

struct TMapiLoaderState {
    bool tried = false;
    void* module = nullptr;
    TMAPISendMail sendMail = nullptr;
    std::string testLibraryPath;
    TMAPISendMail testEntry = nullptr;

    void Release() {
        if (module) dlclose(module);
        module = nullptr;
        sendMail = nullptr;
    }
    ~TMapiLoaderState() { Release(); }
};

TMapiLoaderState& State() {
    static TMapiLoaderState state;
    return state;
}

std::string ExecutableFolder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "";
    const std::string exe(path, static_cast<size_t>(n));
    return exe.substr(0, exe.rfind('/'));
}

// The flag must be exactly the text "1"; anything else, or no key, means
// Simple MAPI is off. Linux counts as a platform version above 3.51, so the
// old profile-file switch never applies.
bool SimpleMapiEnabled() {
    try {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly(kMessagingKey) || !reg.ValueExists("MAPI")) return false;
        return reg.GetDataKind("MAPI") == TRegValueKind::rvString && reg.ReadString("MAPI") == "1";
    } catch (const Exception&) {
        return false;
    }
}

// Beside the executable (the build tree), then the installed program's
// private library folder, then the normal library search.
void* OpenLibrary(const std::string& testPath) {
    if (!testPath.empty()) return dlopen(testPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    const std::string folder = ExecutableFolder();
    for (const std::string& path : {folder + "/" + kLibraryName, folder + "/" + kPrivateFolder + "/" + kLibraryName})
        if (void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
    return dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
}

}  // namespace

void LoadMapiLibrary() {
    TMapiLoaderState& state = State();
    if (state.tried) return;
    state.tried = true;
    state.module = nullptr;
    if (!SimpleMapiEnabled()) return;
    if (state.testEntry) {
        state.sendMail = state.testEntry;
        return;
    }
    state.module = OpenLibrary(state.testLibraryPath);
}

uint32_t MAPISendMail(uintptr_t session, uintptr_t uiParam, MapiMessage* message, uint32_t flags, uint32_t reserved) {
    LoadMapiLibrary();
    TMapiLoaderState& state = State();
    if (!state.sendMail && state.module)
        state.sendMail = reinterpret_cast<TMAPISendMail>(dlsym(state.module, "MAPISendMail"));
    if (!state.sendMail) return MAPI_USER_ABORT;
    return state.sendMail(session, uiParam, message, flags, reserved);
}

void ResetMapiLoaderForTesting(const std::string& libraryPath, TMAPISendMail entry) {
    TMapiLoaderState& state = State();
    state.Release();
    state.tried = false;
    state.testLibraryPath = libraryPath;
    state.testEntry = entry;
}
