#include "mapi/MapiLoader.h"

#include "platform/DynamicLibrary.h"
#include "platform/Registry.h"

namespace {

const char* const kLibraryName = "MAPI32.DLL";
const char* const kMessagingKey = "SOFTWARE\\Microsoft\\Windows Messaging Subsystem";

struct TMapiLoaderState {
    bool tried = false;
    TLibraryHandle module = nullptr;
    TMAPISendMail sendMail = nullptr;
    std::string testLibraryPath;
    TMAPISendMail testEntry = nullptr;

    void Release() {
        FreeDynamicLibrary(module);
        module = nullptr;
        sendMail = nullptr;
    }
    ~TMapiLoaderState() { Release(); }
};

TMapiLoaderState& State() {
    static TMapiLoaderState state;
    return state;
}

// The flag must be exactly the text "1"; anything else, or no key, means
// Simple MAPI is off. Every system this runs on counts as a platform
// version above 3.51, so the old profile-file switch never applies.
bool SimpleMapiEnabled() {
    try {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly(kMessagingKey) || !reg.ValueExists("MAPI")) return false;
        return reg.GetDataKind("MAPI") == TRegValueKind::rvString && reg.ReadString("MAPI") == "1";
    } catch (const Exception&) {
        return false;
    }
}

TLibraryHandle OpenLibrary(const std::string& testPath) {
    if (!testPath.empty()) return LoadDynamicLibrary(testPath, TLibrarySearch::System);
    return LoadSystemLibrary(kLibraryName);
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
        state.sendMail = reinterpret_cast<TMAPISendMail>(FindLibrarySymbol(state.module, "MAPISendMail"));
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
