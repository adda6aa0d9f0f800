// Registry access in the manner of the Windows registry, kept in one
// regedit-format text file per root (see platform/RegistryFile.h for where
// and how). Names and texts are ANSI code page strings at this interface
// and UTF-8 in the file.
//
// Usage:
//   TRegistry reg(HKEY_CURRENT_USER);
//   if (reg.OpenKey("Software\\TelVara\\Base\\TFormMailSortello", true)) {
//       reg.WriteString("edtHost_smtp_Text", host);
//       reg.CloseKey();                        // the change is saved here
//   }
// Changes are saved when the key is closed (also by the destructor), each
// save one atomic read-modify-write of the file under the root's lock.
// BeginUpdate/EndUpdate group the changes to several keys into one save, so
// that two instances saving at once never leave a mix of both in the file;
// changes of an update still open when the object is destroyed are dropped.
// Reads see the file as last read until it is replaced or rewritten.
//
// Keys opened with OpenKey can be written; a root whose file or folder
// cannot be written (the machine-wide root for an ordinary user) refuses
// them, while OpenKeyReadOnly still works. Key and value names compare
// without regard to case. A key path starting with "\" is absolute; any
// other is relative to the open key.
//
// HKEY_LOCAL_MACHINE\SOFTWARE\Clients\Mail: when the file gives no default
// value there, the default value read is the name of the desktop's
// "mailto:" handler (platform/DesktopMailClient.h). It is never written.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/IdException.h"
#include "core/StringList.h"
#include "platform/RegistryText.h"

class ERegistryException : public Exception {
public:
    using Exception::Exception;
};

enum THKey { HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE };

const char* RootKeyName(THKey root);
// The key path without separators at its ends and without doubled ones.
std::string CleanRegistryPath(const std::string& path);
// Whether key is parent or one of its subkeys (names without regard to case).
bool IsRegistryKeyAtOrBelow(const std::string& key, const std::string& parent);
// The full path of key: absolute when it starts with "\", else below the
// open key's path ("" when none is open).
std::string ResolveRegistryPath(const std::string& openPath, const std::string& key);

class TRegistry {
public:
    explicit TRegistry(THKey root = HKEY_CURRENT_USER);
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    THKey RootKey() const;
    // Closes the open key first.
    void SetRootKey(THKey root);

    // Opens for reading and writing; canCreate creates the key and its
    // missing parents. False when the key is missing (and not created) or
    // the root cannot be written.
    bool OpenKey(const std::string& key, bool canCreate);
    // Opens an existing key for reading.
    bool OpenKeyReadOnly(const std::string& key);
    // Saves pending changes (unless inside BeginUpdate) and closes the key.
    // Raises ERegistryException "Failed to set data for '%s'" when the file
    // could not be saved.
    void CloseKey();
    const std::string& CurrentPath() const;
    bool KeyExists(const std::string& key);
    bool HasSubKeys() const;
    void GetKeyNames(TStringList& names) const;

    bool ValueExists(const std::string& name) const;
    void GetValueNames(TStringList& names) const;
    // Kind of an existing value; "Failed to get data for '%s'" when missing.
    TRegValueKind GetDataKind(const std::string& name) const;
    // The text of a string value; "" when the value is missing; "Invalid
    // data type for '%s'" for a value of another kind. The default value is
    // the name "".
    std::string ReadString(const std::string& name) const;
    // A DWORD value; "Failed to get data for '%s'" when missing, "Invalid
    // data type for '%s'" for a value of another kind.
    int ReadInteger(const std::string& name) const;
    // Both raise "Failed to set data for '%s'" when the key is not open for
    // writing.
    void WriteString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, int value);
    // False when the value is missing or the key is not open for writing.
    bool DeleteValue(const std::string& name);
    // Deletes the key with its subkeys; false when it is missing or the root
    // cannot be written. Closes the open key when it is the key or below it.
    bool DeleteKey(const std::string& key);

    // What was last found wrong with the root's file and what was done about
    // it; "" when nothing ever was.
    const std::string& FileProblem() const;
    // Why keys cannot be opened for writing; "" when they can.
    std::string WriteProblem() const;

    void BeginUpdate();
    // Saves what the update collected; raises as CloseKey does.
    void EndUpdate();

private:
    // The system's side: the regedit-format file and our view of it on
    // Linux, the open key's handle on Windows.
    struct TState;
    std::unique_ptr<TState> s_;
};
