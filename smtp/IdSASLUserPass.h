// A SASL mechanism that logs in with a user name and password taken from a
// TIdUserPassProvider it refers to (but does not own).
#pragma once

#include "smtp/IdSASL.h"
#include "smtp/IdUserPassProvider.h"

class EIdUserPassProviderUnassigned : public EIdException {
public:
    EIdUserPassProviderUnassigned() : EIdException("Unassigned UserPassProvider!") {}
    using EIdException::EIdException;
};

class TIdSASLUserPass : public TIdSASL {
public:
    explicit TIdSASLUserPass(TComponent* owner = nullptr) : TIdSASL(owner) {}
    ~TIdSASLUserPass() override;

    TIdUserPassProvider* UserPassProvider() const { return provider_; }
    void SetUserPassProvider(TIdUserPassProvider* value);

protected:
    // Both raise EIdUserPassProviderUnassigned without a provider.
    std::string GetUsername() const;
    std::string GetPassword() const;
    void Notification(TComponent* component, TOperation operation) override;

private:
    const TIdUserPassProvider& CheckedProvider() const;

    TIdUserPassProvider* provider_ = nullptr;
};
