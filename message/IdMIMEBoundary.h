// MIME boundaries: the stack used while nested multiparts are written, and
// the one boundary text the process uses for every message.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "core/StringList.h"

class TIdMIMEBoundary {
public:
    void PushBoundary(const std::string& boundary, int32_t parentIndex);
    void PopBoundary();
    // Top boundary text, "" when empty.
    std::string Boundary() const;
    // Top parent index, -1 when empty.
    int32_t ParentPart() const;
    int Count() const { return boundaries_.Count(); }
    void Clear();

private:
    TStringList boundaries_;
    TStringList parents_;
};

class TIdMIMEBoundaryStrings {
public:
    // The process-wide object.
    static TIdMIMEBoundaryStrings& Instance();

    // Generated on the first call (seeded from the clock), the same text on
    // every later call.
    std::string NewBoundary();
    // One more random character of the boundary alphabet.
    char NextBoundaryChar();

    // The generator itself, on an explicit seed: 34 letters and digits
    // with "=_" at a random place.
    static std::string GenerateBoundary(uint32_t& seed);
    static char RandomBoundaryChar(uint32_t& seed);

private:
    TIdMIMEBoundaryStrings() = default;
    void SeedOnce();

    std::mutex lock_;
    uint32_t seed_ = 0;
    bool seeded_ = false;
    std::string boundary_;
};
