// TCP client: target host, port and time-outs, and the connection's
// lifecycle over its I/O handler (a plain socket handler made on demand).
#pragma once

#include <cstdint>
#include <string>

#include "core/SecureWipe.h"
#include "net/IdStack.h"
#include "net/IdTCPConnection.h"

class TIdTCPClientCustom : public TIdTCPConnection {
public:
    explicit TIdTCPClientCustom(TComponent* owner = nullptr);

    // Raises EIdAlreadyConnected "Already connected." while connected. A
    // failure closes the handler and propagates.
    virtual void Connect();
    void SetIOHandler(TIdIOHandler* handler) override;

    const std::string& Host() const { return host_; }
    void SetHost(const std::string& value);
    int32_t Port() const { return port_; }
    void SetPort(int32_t value);
    // The attached handler's value when there is one.
    int32_t ConnectTimeout() const;
    void SetConnectTimeout(int32_t value);
    int32_t ReadTimeout() const;
    void SetReadTimeout(int32_t value);
    TIdIPVersion IPVersion() const { return ipVersion_; }
    void SetIPVersion(TIdIPVersion value);
    // "host:port" handed to the handler by Connect when not empty.
    const std::string& Destination() const { return destination_; }
    void SetDestination(const std::string& value) { destination_ = value; }
    const std::string& Username() const { return username_; }
    void SetUsername(const std::string& value) { username_ = value; }
    const std::string& Password() const { return password_.Get(); }
    void SetPassword(const std::string& value) { password_ = value; }

    const TNotifyEvent& OnConnected() const { return onConnected_; }
    void SetOnConnected(TNotifyEvent handler) { onConnected_ = std::move(handler); }
    const TNotifyEvent& OnBeforeBind() const { return onBeforeBind_; }
    void SetOnBeforeBind(TNotifyEvent handler);
    const TNotifyEvent& OnAfterBind() const { return onAfterBind_; }
    void SetOnAfterBind(TNotifyEvent handler);

private:
    void CopySettingsTo(TIdIOHandler* handler);

    std::string host_;
    int32_t port_ = 0;
    int32_t connectTimeout_ = 0;
    int32_t readTimeout_ = 0;
    TIdIPVersion ipVersion_ = Id_IPv4;
    std::string destination_;
    std::string username_;
    TWipedString password_;
    TNotifyEvent onConnected_;
    TNotifyEvent onBeforeBind_;
    TNotifyEvent onAfterBind_;
};

class TIdTCPClient : public TIdTCPClientCustom {
public:
    using TIdTCPClientCustom::TIdTCPClientCustom;
};
