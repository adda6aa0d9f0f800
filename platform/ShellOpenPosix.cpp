#include "platform/ShellOpen.h"

#include <string>

#include "platform/FileName.h"
#include "platform/Process.h"

namespace {
const intptr_t kStarted = 42;
}

intptr_t ShellExecuteA(uintptr_t, const char* operation, const char* file, const char*, const char*, int) {
    if (operation && *operation && std::string(operation) != "open") return SE_ERR_NOASSOC;
    if (!file || !*file || *file == '-') return SE_ERR_FNF;
    // The A interface takes ANSI text; xdg-open wants the system's UTF-8.
    std::string name;
    try {
        name = SystemFileName(file);
    } catch (const EFileNameError&) {
        return SE_ERR_FNF;
    }
    return StartProgram({"xdg-open", name}) ? kStarted : SE_ERR_FNF;
}
