// The file that holds one registry root, and the rules that keep it sound:
// saves go to a temporary file in the same folder that is flushed and then
// renamed over the old one; the user's file is readable by its owner only,
// the machine-wide one by everyone; an advisory lock serialises the
// read-modify-write of concurrent instances; a file that cannot be parsed
// is moved aside instead of being overwritten.
#pragma once

#include <functional>
#include <string>

#include "platform/RegistryText.h"

// ${XDG_CONFIG_HOME:-$HOME/.config}/mailsortello/HKEY_CURRENT_USER.reg for
// "HKEY_CURRENT_USER"; the first folder of ${XDG_CONFIG_DIRS:-/etc/xdg} +
// /mailsortello/HKEY_LOCAL_MACHINE.reg for "HKEY_LOCAL_MACHINE".
std::string RegistryFilePath(const std::string& rootName);

class TRegistryFile {
public:
    explicit TRegistryFile(std::string rootName);

    const std::string& RootName() const { return rootName_; }
    const std::string& Path() const { return path_; }

    // The stored keys; empty when there is no file yet. An unparsable file
    // is moved aside (".corrupt-" + time stamp) and reads as empty.
    TRegistryTree Load() const;
    // True when the folder (created when missing) and the file can be written.
    bool Writable() const;
    // Under the lock: loads the file, applies change, saves atomically.
    bool Update(const std::function<void(TRegistryTree&)>& change) const;

private:
    bool LoadLocked(TRegistryTree& tree) const;
    void MoveAside(const std::string& why) const;
    bool Save(const TRegistryTree& tree) const;

    std::string rootName_;
    std::string path_;
    unsigned fileMode_;
};
