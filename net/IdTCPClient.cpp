#include "net/IdTCPClient.h"

#include "net/IdIOHandlerStack.h"
#include "net/IdNetExceptions.h"

TIdTCPClientCustom::TIdTCPClientCustom(TComponent* owner) : TIdTCPConnection(owner) {}

void TIdTCPClientCustom::CopySettingsTo(TIdIOHandler* handler) {
    if (connectTimeout_ > 0) handler->SetConnectTimeout(connectTimeout_);
    if (readTimeout_ > 0) handler->SetReadTimeout(readTimeout_);
    if (Socket() == nullptr) return;
    if (port_ > 0) Socket()->SetPort(port_);
    if (!host_.empty()) Socket()->SetHost(host_);
    Socket()->SetIPVersion(ipVersion_);
    Socket()->SetOnBeforeBind(onBeforeBind_);
    Socket()->SetOnAfterBind(onAfterBind_);
}

void TIdTCPClientCustom::SetIOHandler(TIdIOHandler* handler) {
    if (handler == IOHandler()) return;
    TIdTCPConnection::SetIOHandler(handler);
    if (handler != nullptr) CopySettingsTo(handler);
}

void TIdTCPClientCustom::Connect() {
    Raise<EIdAlreadyConnected>::IfTrue(Connected(), "Already connected.");
    if (IOHandler() == nullptr) {
        auto* handler = new TIdIOHandlerStack(this);
        SetIOHandler(handler);
        handler->SetOnStatus(OnStatus());
        SetOwnsIOHandler(true);
    }
    TIdIOHandler* handler = IOHandler();
    try {
        if (!destination_.empty()) handler->SetDestination(destination_);
        handler->SetPort(port_);
        handler->SetHost(host_);
        if (Socket() != nullptr) Socket()->SetIPVersion(ipVersion_);
        if (connectTimeout_ > 0) handler->SetConnectTimeout(connectTimeout_);
        if (readTimeout_ > 0) handler->SetReadTimeout(readTimeout_);
        handler->Open();
        if (handler->Intercept() != nullptr) handler->Intercept()->Connect(this);
        DoStatus(StatusConnected, {host_});
        if (onConnected_) onConnected_(this);
    } catch (...) {
        try {
            handler->Close();
        } catch (...) {
        }
        throw;
    }
}

void TIdTCPClientCustom::SetHost(const std::string& value) {
    host_ = value;
    if (!value.empty() && IOHandler() != nullptr) IOHandler()->SetHost(value);
}

void TIdTCPClientCustom::SetPort(int32_t value) {
    port_ = value;
    if (value > 0 && IOHandler() != nullptr) IOHandler()->SetPort(value);
}

int32_t TIdTCPClientCustom::ConnectTimeout() const {
    return IOHandler() != nullptr ? IOHandler()->ConnectTimeout() : connectTimeout_;
}

void TIdTCPClientCustom::SetConnectTimeout(int32_t value) {
    connectTimeout_ = value;
    if (IOHandler() != nullptr) IOHandler()->SetConnectTimeout(value);
}

int32_t TIdTCPClientCustom::ReadTimeout() const {
    return IOHandler() != nullptr ? IOHandler()->ReadTimeout() : readTimeout_;
}

void TIdTCPClientCustom::SetReadTimeout(int32_t value) {
    readTimeout_ = value;
    if (IOHandler() != nullptr) IOHandler()->SetReadTimeout(value);
}

void TIdTCPClientCustom::SetIPVersion(TIdIPVersion value) {
    ipVersion_ = value;
    if (Socket() != nullptr) Socket()->SetIPVersion(value);
}

void TIdTCPClientCustom::SetOnBeforeBind(TNotifyEvent handler) {
    onBeforeBind_ = std::move(handler);
    if (Socket() != nullptr) Socket()->SetOnBeforeBind(onBeforeBind_);
}

void TIdTCPClientCustom::SetOnAfterBind(TNotifyEvent handler) {
    onAfterBind_ = std::move(handler);
    if (Socket() != nullptr) Socket()->SetOnAfterBind(onAfterBind_);
}
