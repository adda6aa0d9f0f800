// Byte streams: the common interface of files, memory and connection
// streams (attachments are read through it, encoders write through it).
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/IdException.h"

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class EStreamError : public Exception {
public:
    using Exception::Exception;
};
// "Cannot open file %s"
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

class TStream {
public:
    virtual ~TStream() = default;
    // Reads at most count bytes; answers how many were read (0 at the end).
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t value) { Seek(value, TSeekOrigin::soBeginning); }
    virtual int64_t Size();

    void WriteString(const std::string& text) { Write(text.data(), static_cast<int64_t>(text.size())); }
    // Reads everything from the current position to the end.
    std::string ReadRemaining();
};

// What opening a file for reading found. fd: the descriptor of a regular
// file, blocking again (the caller closes it), or -1. error: the errno of a
// failed open or fstat, else 0. info: what fstat said, when it ran. A FIFO
// in the file's place never holds the caller up.
struct TOpenedForReading {
    int fd = -1;
    int error = 0;
    struct stat info {};
};
TOpenedForReading OpenRegularFileForReading(const std::string& path);

class TFileStream : public TStream {
public:
    enum class Mode { Read, Create };
    // Read: opens a regular file for reading (others may read, not write);
    // raises EFOpenError "Cannot open file %s", also for a folder or FIFO.
    // Create: truncates or creates.
    TFileStream(const std::string& fileName, Mode mode = Mode::Read);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    const std::string& FileName() const { return fileName_; }

private:
    std::string fileName_;
    int fd_ = -1;
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string data) : data_(std::move(data)) {}

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }

    const std::string& DataString() const { return data_; }
    void Clear() { data_.clear(); position_ = 0; }

private:
    std::string data_;
    int64_t position_ = 0;
};
