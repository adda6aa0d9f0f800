// The name of the system's default mail program: the default value of
// HKEY_LOCAL_MACHINE\SOFTWARE\Clients\Mail, trimmed (on Linux the registry
// layer answers the desktop's "mailto:" handler when the file names none).
#pragma once

#include <string>

// "Nessuno" when the key does not open or the name is empty. A default
// value that is not a string raises ERegistryException
// "Invalid data type for ''". Read afresh on every call.
std::string ReadDefaultMailClient();
