#include "net/IdConnectionIntercept.h"

void TIdConnectionIntercept::Connect(TComponent* connection) {
    connection_ = connection;
    if (onConnect_) onConnect_(connection);
    if (intercept_ != nullptr) intercept_->Connect(connection);
}

void TIdConnectionIntercept::Disconnect() {
    if (intercept_ != nullptr) intercept_->Disconnect();
    if (onDisconnect_) onDisconnect_(connection_);
    connection_ = nullptr;
}

void TIdConnectionIntercept::Receive(TIdBytes& buffer) {
    if (intercept_ != nullptr) intercept_->Receive(buffer);
    if (onReceive_) onReceive_(buffer);
}

void TIdConnectionIntercept::Send(TIdBytes& buffer) {
    if (onSend_) onSend_(buffer);
    if (intercept_ != nullptr) intercept_->Send(buffer);
}

void TIdConnectionIntercept::SetIntercept(TIdConnectionIntercept* value) {
    if (value == intercept_) return;
    if (intercept_ != nullptr) RemoveFreeNotification(intercept_);
    intercept_ = value;
    if (intercept_ != nullptr) FreeNotification(intercept_);
}

void TIdConnectionIntercept::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == intercept_) intercept_ = nullptr;
    TIdBaseComponent::Notification(component, operation);
}
