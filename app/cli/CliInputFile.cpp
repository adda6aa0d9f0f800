#include "app/cli/CliInputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/cli/CliOptions.h"
#include "core/SecureWipe.h"
#include "core/Stream.h"
#include "platform/CodePage.h"

namespace {

// The name is the system's UTF-8, whatever the terminal uses.
[[noreturn]] void Refuse(const std::string& option, const std::string& path, const std::string& why) {
    throw ECliUsageError(option + ": '" + Utf8ToAnsi(path) + "' " + why);
}

// A file descriptor closed on every way out.
class TOpenFile {
public:
    explicit TOpenFile(int fd) : fd_(fd) {}
    ~TOpenFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    TOpenFile(const TOpenFile&) = delete;
    TOpenFile& operator=(const TOpenFile&) = delete;
    int Get() const { return fd_; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

std::string Reason(int error) {
    return error == ENOENT ? "does not exist" : "cannot be read (" + std::string(std::strerror(error)) + ")";
}

// Opened first and looked at afterwards, so that nothing can be swapped in
// between; a FIFO does not hold the program until a writer comes.
int OpenRegular(const std::string& option, const std::string& path) {
    const TOpenedForReading file = OpenRegularFileForReading(path);
    if (file.error != 0) Refuse(option, path, Reason(file.error));
    if (file.fd < 0) Refuse(option, path, S_ISDIR(file.info.st_mode) ? "is a folder, not a file" : "is not a regular file");
    return file.fd;
}

}  // namespace

void CheckCliInputFile(const std::string& option, const std::string& path) { TOpenFile file(OpenRegular(option, path)); }

std::string ReadCliInputFile(const std::string& option, const std::string& path, size_t limit) {
    TOpenFile file(OpenRegular(option, path));
    // One buffer, read into directly and never grown: the password file
    // passes through here and no stray copy of it may stay in freed memory.
    std::string text(limit + 1, '\0');
    size_t used = 0;
    while (used < text.size()) {
        const ssize_t n = ::read(file.Get(), text.data() + used, text.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            SecureWipe(text);
            Refuse(option, path, "cannot be read (" + std::string(std::strerror(error)) + ")");
        }
        if (n == 0) break;
        used += static_cast<size_t>(n);
    }
    if (used > limit) {
        SecureWipe(text);
        Refuse(option, path, "is larger than " + std::to_string(limit / 1024) + " KiB");
    }
    text.resize(used);
    return text;
}
