// SASL CRAM-MD5 (RFC 2195): answers the server's challenge with the user
// name and the HMAC-MD5 of the challenge keyed with the password.
#pragma once

#include "smtp/IdSASLUserPass.h"

class TIdSASLCRAMMD5 : public TIdSASLUserPass {
public:
    static constexpr const char* ServiceName = "CRAM-MD5";

    explicit TIdSASLCRAMMD5(TComponent* owner = nullptr) : TIdSASLUserPass(owner) {}

    std::string InitialResponse(const std::string& challenge) override;
    std::string NextResponse(const std::string& challenge) override;
    std::string MechanismName() const override { return ServiceName; }
};
