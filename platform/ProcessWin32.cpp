#include "platform/Process.h"

#include <windows.h>

// A crash ends the program with its status and leaves no error-report
// dump behind (it could hold the password), and no dialog waits for a click.
void DisableCoreDumps() { ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX); }
