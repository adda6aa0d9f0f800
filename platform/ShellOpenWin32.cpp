#include "platform/ShellOpen.h"

#include <windows.h>
#include <shellapi.h>

intptr_t ShellExecuteA(uintptr_t owner, const char* operation, const char* file, const char* parameters,
                       const char* directory, int showCmd) {
    HINSTANCE result = ::ShellExecuteA(reinterpret_cast<HWND>(owner), operation, file, parameters, directory, showCmd);
    return reinterpret_cast<intptr_t>(result);
}
