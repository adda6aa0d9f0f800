#include "smtp/IdHMACMD5.h"

TIdHMACMD5::TDigest TIdHMACMD5::HashValue(const std::string& key, const std::string& data) {
    constexpr size_t block = TIdHashMessageDigest5::BlockSize;
    std::string k = key;
    if (k.size() > block) {
        const TDigest shortened = TIdHashMessageDigest5::HashValue(k);
        k.assign(shortened.begin(), shortened.end());
    }
    k.resize(block, '\0');
    std::string innerPad(block, '\0');
    std::string outerPad(block, '\0');
    for (size_t i = 0; i < block; ++i) {
        innerPad[i] = static_cast<char>(k[i] ^ 0x36);
        outerPad[i] = static_cast<char>(k[i] ^ 0x5c);
    }
    TIdHashMessageDigest5 md5;
    md5.Update(innerPad);
    md5.Update(data);
    const TDigest inner = md5.Final();
    md5.Update(outerPad);
    md5.Update(inner.data(), inner.size());
    return md5.Final();
}

std::string TIdHMACMD5::HashValueAsHex(const std::string& key, const std::string& data) {
    return TIdHashMessageDigest5::AsHex(HashValue(key, data));
}
