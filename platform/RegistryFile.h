// The file that holds one registry root, and the rules that keep it sound:
// saves go to a temporary file in the same folder that is flushed and then
// renamed over the old one; the user's file is readable by its owner only,
// the machine-wide one by everyone; an advisory lock serialises the
// read-modify-write of concurrent instances; a file that cannot be parsed
// is moved aside instead of being overwritten, and so is anything else that
// stands in its place and cannot be read as a file of ours (a folder, a FIFO,
// a file we may not read or one too large to be settings).
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "platform/RegistryText.h"

// ${XDG_CONFIG_HOME:-$HOME/.config}/mailsortello/HKEY_CURRENT_USER.reg for
// "HKEY_CURRENT_USER"; the first folder of ${XDG_CONFIG_DIRS:-/etc/xdg} +
// /mailsortello/HKEY_LOCAL_MACHINE.reg for "HKEY_LOCAL_MACHINE".
std::string RegistryFilePath(const std::string& rootName);

// Far beyond any settings a person types in; a bigger file is not ours.
constexpr size_t kMaxRegistryFileSize = size_t{64} << 20;

enum class TRegistryFileState { rfRead, rfMissing, rfUnusable };

// Which file stands at a path, to tell a file read before from one that has
// replaced it since (every save renames a new file into place). The default
// stamp is "unknown" and matches no file.
struct TRegistryFileStamp {
    unsigned long long device = 0, inode = 0, size = 0;
    long long modifiedNs = -1, changedNs = -1;  // -2: no file there
    bool operator==(const TRegistryFileStamp&) const = default;
};

TRegistryFileStamp RegistryFileStamp(const std::string& path);

// Reads and parses the file of root rootName at path, never waiting on it
// and without locking, creating or moving anything. rfUnusable says why in
// `why`: not a regular file, not readable, too large, or not parsable.
// `stamp`, when given, receives the stamp of what was read.
TRegistryFileState ReadRegistryFile(const std::string& path, const std::string& rootName, TRegistryTree& tree,
                                    std::string& why, TRegistryFileStamp* stamp = nullptr);

class TRegistryFile {
public:
    explicit TRegistryFile(std::string rootName);

    const std::string& RootName() const { return rootName_; }
    const std::string& Path() const { return path_; }

    // The stored keys; empty when there is no file yet. An unusable file is
    // moved aside (".corrupt-" + time stamp) and reads as empty.
    TRegistryTree Load() const;
    // True while the file is still the one this object last loaded or saved.
    bool Unchanged() const;
    // What a load of this object last found wrong with the file and what it
    // did about it ("" when nothing ever was), for the user; the trace has
    // said it already.
    const std::string& Problem() const { return problem_; }
    // True when the folder (created when missing) and the file can be written.
    bool Writable() const { return WriteProblem().empty(); }
    // Why the file cannot be written, "" when it can.
    std::string WriteProblem() const;
    // Under the lock: loads the file, applies change, saves atomically and
    // gives what it saved in `saved`. False (and the trace says why) when
    // nothing could be saved.
    bool Update(const std::function<void(TRegistryTree&)>& change, TRegistryTree& saved) const;

private:
    bool LoadLocked(TRegistryTree& tree) const;
    bool MoveAside(const std::string& why) const;
    bool Save(const TRegistryTree& tree, std::string& why) const;

    std::string rootName_;
    std::string path_;
    unsigned fileMode_;
    mutable std::string problem_;
    mutable TRegistryFileStamp stamp_;  // of the file last loaded or saved
};
