#include "platform/ShellOpen.h"

#include <string>

#include "platform/Process.h"

namespace {
const intptr_t kStarted = 42;
}

intptr_t ShellExecuteA(uintptr_t, const char* operation, const char* file, const char*, const char*, int) {
    if (operation && *operation && std::string(operation) != "open") return SE_ERR_NOASSOC;
    if (!file || !*file || *file == '-') return SE_ERR_FNF;
    return StartProgram({"xdg-open", file}) ? kStarted : SE_ERR_FNF;
}
