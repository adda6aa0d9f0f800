// HMAC (RFC 2104) over our own MD5, the keyed digest of CRAM-MD5.
#pragma once

#include "smtp/IdHashMessageDigest.h"

class TIdHMACMD5 {
public:
    using TDigest = TIdHashMessageDigest5::TDigest;

    // A key longer than one MD5 block is replaced by its digest first.
    static TDigest HashValue(const std::string& key, const std::string& data);
    static std::string HashValueAsHex(const std::string& key, const std::string& data);
};
