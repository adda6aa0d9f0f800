// Holds the user name and password a SASL mechanism logs in with.
#pragma once

#include "core/Component.h"
#include "core/SecureWipe.h"

#include <string>

class TIdUserPassProvider : public TComponent {
public:
    explicit TIdUserPassProvider(TComponent* owner = nullptr) : TComponent(owner) {}

    const std::string& Username() const { return username_; }
    void SetUsername(const std::string& value) { username_ = value; }
    const std::string& Password() const { return password_.Get(); }
    void SetPassword(const std::string& value) { password_ = value; }

private:
    std::string username_;
    TWipedString password_;
};
