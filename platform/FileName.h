// File names between the program's text and the file system: Linux names
// are UTF-8 bytes while the program holds text in the ANSI code page.
// Every name that goes to the system is converted with SystemFileName,
// every name that comes back with AnsiFileName; neither ever puts a "?"
// in place of a character.
#pragma once

#include <string>

#include "core/IdException.h"
#include "core/Stream.h"

class EFileNameError : public Exception {
public:
    using Exception::Exception;
};

// The UTF-8 name of an ANSI name. Raises EFileNameError "Il nome del file
// \"%s\" non è valido nella code page %d." for bytes the code page does
// not define.
std::string SystemFileName(const std::string& ansi);
// The ANSI name of a UTF-8 name. Raises EFileNameError "Il nome del file
// \"%s\" contiene caratteri che la code page %d non ha." (the name shown
// with "?" for them).
std::string AnsiFileName(const std::string& utf8);

// The last component of a path: everything after the last "/". A Linux
// name may hold "\" and ":", and in a double-byte code page "\" is the
// second byte of many characters (Shift_JIS "\x95\x5C").
std::string BaseFileName(const std::string& path);

// True only for an existing regular file; the name is the system's own.
bool SystemFileExists(const std::string& systemName);
// True when the ANSI name is an existing regular file that can be opened
// for reading. A FIFO put in its place never blocks the check.
bool FileReadable(const std::string& ansi);
// Raises EFOpenError "Cannot open file %s" unless FileReadable(ansi): a
// file the user named is sent or the send stops, never dropped in silence.
void CheckFileReadable(const std::string& ansi);
