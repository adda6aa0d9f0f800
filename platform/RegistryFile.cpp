#include "platform/RegistryFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "platform/DebugOutput.h"

namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

std::string FirstOfList(const std::string& list) {
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        if (end > start) return list.substr(start, end - start);
        start = end + 1;
    }
    return "/etc/xdg";
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

bool MakeFolders(const std::string& folder, mode_t mode) {
    struct stat st{};
    if (stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const size_t slash = folder.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(folder.substr(0, slash), mode)) return false;
    return mkdir(folder.c_str(), mode) == 0 || errno == EEXIST;
}

bool ReadWholeFile(const std::string& path, std::string& text, bool& missing) {
    missing = false;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        missing = errno == ENOENT;
        return false;
    }
    char buffer[8192];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) text.append(buffer, static_cast<size_t>(n));
    close(fd);
    return n == 0;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

std::string TimeStamp() {
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char buf[32];
    strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &local);
    return buf;
}

// Holds the advisory lock of a root for its lifetime. The lock lives on a
// file of its own because the registry file is replaced by every save.
class TFileLock {
public:
    explicit TFileLock(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) return;
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~TFileLock() {
        if (fd_ >= 0) close(fd_);
    }
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace

std::string RegistryFilePath(const std::string& rootName) {
    if (rootName == "HKEY_LOCAL_MACHINE")
        return FirstOfList(EnvOr("XDG_CONFIG_DIRS", "/etc/xdg")) + "/mailsortello/" + rootName + ".reg";
    return EnvOr("XDG_CONFIG_HOME", EnvOr("HOME", ".") + "/.config") + "/mailsortello/" + rootName + ".reg";
}

// The user's settings are private to the user. The machine-wide file must
// be readable by every user, or nobody but its writer would see the flags
// it holds (the Simple MAPI switch).
TRegistryFile::TRegistryFile(std::string rootName)
    : rootName_(std::move(rootName)),
      path_(RegistryFilePath(rootName_)),
      fileMode_(rootName_ == "HKEY_LOCAL_MACHINE" ? 0644 : 0600) {}

// Reads and parses. An unparsable file is moved aside and reads as empty;
// false only when a file is there that we cannot read, so that a save never
// replaces what it could not see.
bool TRegistryFile::LoadLocked(TRegistryTree& tree) const {
    std::string text, error;
    bool missing = false;
    tree = TRegistryTree();
    if (!ReadWholeFile(path_, text, missing)) return missing;
    if (ParseRegistryText(text, rootName_, tree, error)) return true;
    tree = TRegistryTree();
    MoveAside(error);
    return true;
}

TRegistryTree TRegistryFile::Load() const {
    TRegistryTree tree;
    std::string text, error;
    bool missing = false;
    if (ReadWholeFile(path_, text, missing) && ParseRegistryText(text, rootName_, tree, error)) return tree;
    if (missing) return TRegistryTree();
    // Look again under the lock: another instance may just have replaced it.
    TFileLock lock(path_ + ".lock");
    LoadLocked(tree);
    return tree;
}

void TRegistryFile::MoveAside(const std::string& why) const {
    std::string aside = path_ + ".corrupt-" + TimeStamp();
    for (int n = 1; access(aside.c_str(), F_OK) == 0; ++n)
        aside = path_ + ".corrupt-" + TimeStamp() + "-" + std::to_string(n);
    if (rename(path_.c_str(), aside.c_str()) == 0)
        OutputDebugStringA("Registry: " + path_ + " cannot be read (" + why + "); moved aside to " + aside +
                           ", starting empty");
    else
        OutputDebugStringA("Registry: " + path_ + " cannot be read (" + why + "); ignored, starting empty");
}

bool TRegistryFile::Writable() const {
    const std::string folder = FolderOf(path_);
    const mode_t folderMode = fileMode_ == 0600 ? 0700 : 0755;
    if (!MakeFolders(folder, folderMode) || access(folder.c_str(), W_OK | X_OK) != 0) return false;
    struct stat st{};
    if (stat(path_.c_str(), &st) != 0) return errno == ENOENT;
    return S_ISREG(st.st_mode) && access(path_.c_str(), W_OK) == 0;
}

bool TRegistryFile::Save(const TRegistryTree& tree) const {
    std::string temp = path_ + ".tmp-XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    const bool written = fchmod(fd, fileMode_) == 0 && WriteAll(fd, FormatRegistryText(tree, rootName_)) && fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    if (!written || !closed || rename(temp.c_str(), path_.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    SyncFolder(FolderOf(path_));
    return true;
}

bool TRegistryFile::Update(const std::function<void(TRegistryTree&)>& change) const {
    if (!Writable()) return false;
    TFileLock lock(path_ + ".lock");
    if (!lock.Held()) return false;
    TRegistryTree tree;
    if (!LoadLocked(tree)) return false;
    change(tree);
    return Save(tree);
}
