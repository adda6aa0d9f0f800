// Base of the encoders that turn attachment or body content into the text
// of a message. They read the source in chunks and write whole lines to
// the destination, so a large file never sits in memory at once.
#pragma once

#include <cstdint>
#include <string>

#include "core/Stream.h"

class TIdMessageEncoder {
public:
    virtual ~TIdMessageEncoder() = default;

    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& value) { fileName_ = value; }
    int PermissionCode() const { return permissionCode_; }
    void SetPermissionCode(int value) { permissionCode_ = value; }

    // Encodes source from its current position to its end.
    virtual void Encode(TStream& source, TStream& dest) = 0;

protected:
    // Bytes read from the source at a time: a multiple of 3, 45 and 57.
    static constexpr int64_t kChunk = 57 * 45 * 24;

private:
    std::string fileName_;
    int permissionCode_ = 660;
};
