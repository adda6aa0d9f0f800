// Files through POSIX descriptors.
#include "core/Stream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

TOpenedForReading OpenRegularFileForReading(const std::string& path) {
    TOpenedForReading opened;
    // Without O_NONBLOCK a FIFO in place of the file would block the open
    // until some writer came along.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        opened.error = errno;
        return opened;
    }
    const bool described = ::fstat(fd, &opened.info) == 0;
    if (!described || !S_ISREG(opened.info.st_mode)) {
        opened.error = described ? 0 : errno;
        ::close(fd);
        return opened;
    }
    (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    opened.fd = fd;
    return opened;
}

TFileStream::TFileStream(const std::string& fileName, Mode mode) : fileName_(fileName) {
    if (mode == Mode::Read) {
        fd_ = OpenRegularFileForReading(fileName).fd;
        if (fd_ < 0) throw EFOpenError(Format("Cannot open file %s", fileName.c_str()));
        // A shared advisory lock stands in for "deny writes by others".
        (void)::flock(fd_, LOCK_SH | LOCK_NB);
    } else {
        fd_ = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd_ < 0) throw EFCreateError(Format("Cannot create file %s", fileName.c_str()));
    }
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, static_cast<size_t>(std::max<int64_t>(count, 0)));
        if (n >= 0) return n;
        if (errno != EINTR) throw EStreamError(Format("Stream read error: %s", std::strerror(errno)));
    }
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    const char* p = static_cast<const char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd_, p + done, static_cast<size_t>(count - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EStreamError(Format("Stream write error: %s", std::strerror(errno)));
        }
        done += n;
    }
    return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                       : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                          : SEEK_END;
    const off_t r = ::lseek(fd_, offset, whence);
    return r < 0 ? -1 : static_cast<int64_t>(r);
}
