#include "smtp/IdSASLUserPass.h"

TIdSASLUserPass::~TIdSASLUserPass() { SetUserPassProvider(nullptr); }

void TIdSASLUserPass::SetUserPassProvider(TIdUserPassProvider* value) {
    if (value == provider_) return;
    if (provider_ != nullptr) RemoveFreeNotification(provider_);
    provider_ = value;
    if (provider_ != nullptr) FreeNotification(provider_);
}

const TIdUserPassProvider& TIdSASLUserPass::CheckedProvider() const {
    if (provider_ == nullptr) throw EIdUserPassProviderUnassigned();
    return *provider_;
}

std::string TIdSASLUserPass::GetUsername() const { return CheckedProvider().Username(); }

std::string TIdSASLUserPass::GetPassword() const { return CheckedProvider().Password(); }

void TIdSASLUserPass::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == provider_) provider_ = nullptr;
    TIdSASL::Notification(component, operation);
}
