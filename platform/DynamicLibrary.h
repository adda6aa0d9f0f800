// Libraries loaded at run time and their entry points found by name.
// Library names and folders are in the system's own encoding for file
// names (UTF-8 on Linux, the ANSI code page on Windows).
#pragma once

#include <string>

using TLibraryHandle = void*;

// Where a library named without a folder is looked for. A name with a
// folder in it is opened as it is.
enum class TLibrarySearch {
    // The system's usual search: the dynamic loader's on Linux; on Windows
    // the program's folder, System32 and the folders added for the
    // process, never the current folder.
    System,
    // The running program's own folder first, then the usual search.
    ProgramFolderFirst,
};

// nullptr when the library cannot be loaded; DynamicLibraryError says why.
TLibraryHandle LoadDynamicLibrary(const std::string& name, TLibrarySearch search);
// A library of the Windows system by its Windows name ("MAPI32.DLL"): on
// Windows from the system folder only; elsewhere our own library that
// stands in for it (libmapi32.so), beside the program first.
TLibraryHandle LoadSystemLibrary(const std::string& windowsName);
// nullptr when the library has no such entry point.
void* FindLibrarySymbol(TLibraryHandle library, const char* name);
// Nothing for nullptr.
void FreeDynamicLibrary(TLibraryHandle library);
// Why the last load or look-up of this thread failed, naming the library
// or entry point; "" after a success.
std::string DynamicLibraryError();

// The folder of the running program, without a final separator; "" when
// the system does not tell.
std::string ProgramFolder();
