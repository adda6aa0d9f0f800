#include "platform/RegistryFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <system_error>

#include "core/Stream.h"
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
    if (stat(folder.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) errno = ENOTDIR;
        return S_ISDIR(st.st_mode);
    }
    const size_t slash = folder.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(folder.substr(0, slash), mode)) return false;
    return mkdir(folder.c_str(), mode) == 0 || errno == EEXIST;
}

std::string ErrorText(int error) { return std::generic_category().message(error); }

std::string TooLarge() { return "larger than " + std::to_string(kMaxRegistryFileSize >> 20) + " MB"; }

long long Nanoseconds(const timespec& t) { return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec; }

TRegistryFileStamp StampOf(const struct stat& st) {
    return {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino),
            static_cast<unsigned long long>(st.st_size), Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim)};
}

const TRegistryFileStamp kNoFile{0, 0, 0, -2, -2};

// Reads a regular file of at most kMaxRegistryFileSize bytes; a FIFO in
// its place does not hold the program up at start.
TRegistryFileState ReadRegularFile(const std::string& path, std::string& text, std::string& why,
                                   TRegistryFileStamp& stamp) {
    const TOpenedForReading file = OpenRegularFileForReading(path);
    if (file.error == ENOENT || file.error == ENOTDIR) {
        stamp = kNoFile;
        return TRegistryFileState::rfMissing;
    }
    const int fd = file.fd;
    const struct stat& st = file.info;
    if (file.error != 0)
        why = ErrorText(file.error);
    else if (fd < 0)
        why = S_ISDIR(st.st_mode) ? "a folder" : "not a regular file";
    else if (static_cast<unsigned long long>(st.st_size) > kMaxRegistryFileSize)
        why = TooLarge();
    if (!why.empty()) {
        if (fd >= 0) close(fd);
        return TRegistryFileState::rfUnusable;
    }
    stamp = StampOf(st);
    text.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0) text.append(buffer, static_cast<size_t>(n));
        if (text.size() > kMaxRegistryFileSize) break;
    }
    if (n < 0) why = ErrorText(errno);
    else if (text.size() > kMaxRegistryFileSize) why = TooLarge();
    close(fd);
    return why.empty() ? TRegistryFileState::rfRead : TRegistryFileState::rfUnusable;
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

TRegistryFileStamp RegistryFileStamp(const std::string& path) {
    struct stat st{};
    if (stat(path.c_str(), &st) == 0) return StampOf(st);
    return errno == ENOENT || errno == ENOTDIR ? kNoFile : TRegistryFileStamp();
}

TRegistryFileState ReadRegistryFile(const std::string& path, const std::string& rootName, TRegistryTree& tree,
                                    std::string& why, TRegistryFileStamp* stamp) {
    tree = TRegistryTree();
    std::string text;
    TRegistryFileStamp read;
    const TRegistryFileState state = ReadRegularFile(path, text, why, read);
    if (stamp) *stamp = state == TRegistryFileState::rfUnusable ? TRegistryFileStamp() : read;
    if (state != TRegistryFileState::rfRead || ParseRegistryText(text, rootName, tree, why)) return state;
    tree = TRegistryTree();
    return TRegistryFileState::rfUnusable;
}

// Reads and parses. An unusable file is moved aside and reads as empty;
// false only when it could not be moved, so that a save never replaces
// what it could not see.
bool TRegistryFile::LoadLocked(TRegistryTree& tree) const {
    std::string why;
    if (ReadRegistryFile(path_, rootName_, tree, why) != TRegistryFileState::rfUnusable) return true;
    return MoveAside(why);
}

TRegistryTree TRegistryFile::Load() const {
    TRegistryTree tree;
    std::string why;
    if (ReadRegistryFile(path_, rootName_, tree, why, &stamp_) != TRegistryFileState::rfUnusable) return tree;
    // Look again under the lock: another instance may just have replaced it.
    TFileLock lock(path_ + ".lock");
    LoadLocked(tree);
    stamp_ = TRegistryFileStamp();
    return tree;
}

bool TRegistryFile::Unchanged() const { return stamp_ != TRegistryFileStamp() && RegistryFileStamp(path_) == stamp_; }

bool TRegistryFile::MoveAside(const std::string& why) const {
    std::string aside = path_ + ".corrupt-" + TimeStamp();
    for (int n = 1; access(aside.c_str(), F_OK) == 0; ++n)
        aside = path_ + ".corrupt-" + TimeStamp() + "-" + std::to_string(n);
    const bool moved = rename(path_.c_str(), aside.c_str()) == 0;
    const int error = errno;
    const std::string problem = path_ + " cannot be read (" + why + "); " +
                                (moved ? "moved aside to " + aside : "cannot be moved aside (" + ErrorText(error) + ")");
    // A file that stays where it is would be reported at every read.
    if (problem != problem_) OutputDebugStringA("Registry: " + problem + ", starting empty");
    problem_ = problem;
    return moved;
}

std::string TRegistryFile::WriteProblem() const {
    const std::string folder = FolderOf(path_);
    const mode_t folderMode = fileMode_ == 0600 ? 0700 : 0755;
    if (!MakeFolders(folder, folderMode)) return folder + " cannot be created (" + ErrorText(errno) + ")";
    if (access(folder.c_str(), W_OK | X_OK) != 0) return folder + " cannot be written (" + ErrorText(errno) + ")";
    struct stat st{};
    if (stat(path_.c_str(), &st) != 0) return errno == ENOENT ? "" : path_ + ": " + ErrorText(errno);
    if (!S_ISREG(st.st_mode)) return path_ + " is not a regular file";
    if (access(path_.c_str(), W_OK) != 0) return path_ + " cannot be written (" + ErrorText(errno) + ")";
    return "";
}

bool TRegistryFile::Save(const TRegistryTree& tree, std::string& why) const {
    std::string temp = path_ + ".tmp-XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        why = temp + " cannot be created (" + ErrorText(errno) + ")";
        return false;
    }
    bool ok = fchmod(fd, fileMode_) == 0 && WriteAll(fd, FormatRegistryText(tree, rootName_)) && fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (close(fd) != 0 && ok) ok = false, error = errno;
    if (ok && rename(temp.c_str(), path_.c_str()) != 0) ok = false, error = errno;
    if (!ok) {
        unlink(temp.c_str());
        why = temp + " cannot be written (" + ErrorText(error) + ")";
        return false;
    }
    stamp_ = RegistryFileStamp(path_);
    SyncFolder(FolderOf(path_));
    return true;
}

bool TRegistryFile::Update(const std::function<void(TRegistryTree&)>& change, TRegistryTree& saved) const {
    std::string why = WriteProblem();
    if (why.empty()) {
        TFileLock lock(path_ + ".lock");
        if (!lock.Held())
            why = path_ + ".lock cannot be taken";
        else if (!LoadLocked(saved))
            why = path_ + " cannot be read and would be replaced";
        else {
            change(saved);
            if (Save(saved, why)) return true;
        }
    }
    OutputDebugStringA("Registry: changes not saved, " + why);
    return false;
}
