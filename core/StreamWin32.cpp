// Files through the C runtime's descriptors, in binary mode: text mode
// would turn every LF of an attachment into CR LF. Names are in the ANSI
// code page, as the runtime's narrow functions take them.
#include "core/Stream.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

TOpenedForReading OpenRegularFileForReading(const std::string& path) {
    TOpenedForReading opened;
    // Windows cannot open a folder as a file; look first, so that the caller
    // can tell a folder from a file it may not read.
    if (::stat(path.c_str(), &opened.info) != 0) {
        opened.error = errno;
        return opened;
    }
    if (!S_ISREG(opened.info.st_mode)) return opened;
    const int fd = ::_sopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT, _SH_DENYNO);
    if (fd < 0) {
        opened.error = errno;
        return opened;
    }
    opened.fd = fd;
    return opened;
}

TFileStream::TFileStream(const std::string& fileName, Mode mode) : fileName_(fileName) {
    if (mode == Mode::Read) {
        const TOpenedForReading opened = OpenRegularFileForReading(fileName);
        if (opened.fd >= 0) ::_close(opened.fd);
        // Others may go on reading the file; a writer is shut out while we read.
        if (opened.fd >= 0) fd_ = ::_sopen(fileName.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT, _SH_DENYWR);
        if (fd_ < 0) throw EFOpenError(Format("Cannot open file %s", fileName.c_str()));
    } else {
        fd_ = ::_sopen(fileName.c_str(), _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT, _SH_DENYNO,
                       _S_IREAD | _S_IWRITE);
        if (fd_ < 0) throw EFCreateError(Format("Cannot create file %s", fileName.c_str()));
    }
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::_close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    const unsigned size = static_cast<unsigned>(std::clamp<int64_t>(count, 0, INT_MAX));
    const int n = ::_read(fd_, buffer, size);
    if (n < 0) throw EStreamError(Format("Stream read error: %s", std::strerror(errno)));
    return n;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    const char* p = static_cast<const char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        const unsigned size = static_cast<unsigned>(std::min<int64_t>(count - done, INT_MAX));
        const int n = ::_write(fd_, p + done, size);
        if (n < 0) throw EStreamError(Format("Stream write error: %s", std::strerror(errno)));
        done += n;
    }
    return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                       : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                          : SEEK_END;
    const int64_t r = ::_lseeki64(fd_, offset, whence);
    return r < 0 ? -1 : r;
}
