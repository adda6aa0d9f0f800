#include "smtp/IdSASLCRAMMD5.h"

#include "smtp/IdHMACMD5.h"

std::string TIdSASLCRAMMD5::InitialResponse(const std::string& challenge) {
    if (challenge.empty()) return std::string();
    // The user name first: a missing provider fails before any hashing.
    const std::string user = GetUsername();
    return user + " " + TIdHMACMD5::HashValueAsHex(GetPassword(), challenge);
}

std::string TIdSASLCRAMMD5::NextResponse(const std::string& /*challenge*/) { return std::string(); }
