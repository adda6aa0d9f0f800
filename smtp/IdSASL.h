// Base of the SASL mechanisms the SMTP client can log in with.
#pragma once

#include "core/Component.h"
#include "core/IdException.h"
#include "core/StringList.h"

#include <string>

class EIdSASLException : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdSASLMechNeeded : public EIdSASLException {
public:
    EIdSASLMechNeeded() : EIdSASLException("Need SASL mechanisms to login with it!!") {}
    using EIdSASLException::EIdSASLException;
};

class TIdSASL : public TComponent {
public:
    explicit TIdSASL(TComponent* owner = nullptr) : TComponent(owner) {}

    // The answer to the server's first challenge.
    virtual std::string InitialResponse(const std::string& challenge) = 0;
    // The answer to every further challenge.
    virtual std::string NextResponse(const std::string& challenge);
    // Hook for mechanisms that need to clean up; the login does not call it.
    virtual void FinishStep() {}
    // Whether `offered` (mechanism names) holds this mechanism, ignoring case.
    virtual bool IsOffered(const TStringList* offered) const;
    // The name sent after AUTH; a property of the mechanism class.
    virtual std::string MechanismName() const { return std::string(); }
};
