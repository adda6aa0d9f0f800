// Run-time loader of the Simple MAPI library: MAPI32.DLL from the system
// folder on Windows; on Linux our libmapi32.so, looked up beside the
// executable first, then in the install's private library folder
// (lib/mailsortello under the prefix), then along the normal library search. It is
// only loaded when the system's Simple MAPI flag ("MAPI" = "1" under
// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows Messaging Subsystem) is on.
// What the loader finds holds for the whole process.
#pragma once

#include <cstdint>
#include <string>

#include "platform/SimpleMapi.h"

// Runs once per process; later calls return at once.
void LoadMapiLibrary();

// Calls the library's MAPISendMail; MAPI_USER_ABORT (1) without calling
// anything when the library or its entry is missing.
uint32_t MAPISendMail(uintptr_t session, uintptr_t uiParam, MapiMessage* message, uint32_t flags, uint32_t reserved);

// For tests: forget what was loaded. The next load takes the library at
// libraryPath ("" for the usual search) or, when entry is given, that
// function in place of the library's.
void ResetMapiLoaderForTesting(const std::string& libraryPath, TMAPISendMail entry = nullptr);
