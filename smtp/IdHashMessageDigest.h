// MD5 message digest (RFC 1321), our own so that CRAM-MD5 does not depend on
// the TLS library being present.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

using TIdBytes = std::vector<uint8_t>;

class TIdHashMessageDigest5 {
public:
    static constexpr size_t BlockSize = 64;
    static constexpr size_t DigestSize = 16;
    using TDigest = std::array<uint8_t, DigestSize>;

    TIdHashMessageDigest5() { Reset(); }

    // Incremental use: Reset, any number of Update calls, then Final.
    void Reset();
    void Update(const uint8_t* data, size_t length);
    void Update(const std::string& data);
    void Update(const TIdBytes& data);
    TDigest Final();

    // One-shot digests.
    static TDigest HashValue(const std::string& data);
    static TDigest HashValue(const TIdBytes& data);
    // 32 lower-case hexadecimal digits.
    static std::string AsHex(const TDigest& digest);

private:
    void Transform(const uint8_t* block);

    std::array<uint32_t, 4> state_{};
    std::array<uint8_t, BlockSize> buffer_{};
    uint64_t length_ = 0;  // bytes hashed so far
};
