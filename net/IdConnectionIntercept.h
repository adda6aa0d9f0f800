// A hook on the bytes of one connection: it hears the connect and the
// disconnect and sees (and may change) every byte sent and received, in
// clear text also under TLS. Intercepts chain: on connect and send this
// one runs first and then the chained one; on receive and disconnect the
// chained one runs first.
#pragma once

#include <functional>

#include "net/IdBuffer.h"
#include "net/IdComponent.h"

using TIdInterceptNotifyEvent = std::function<void(TComponent* connection)>;
using TIdInterceptDataEvent = std::function<void(TIdBytes& buffer)>;

class TIdConnectionIntercept : public TIdBaseComponent {
public:
    explicit TIdConnectionIntercept(TComponent* owner = nullptr) : TIdBaseComponent(owner) {}

    // The connection (the client) is established.
    virtual void Connect(TComponent* connection);
    virtual void Disconnect();
    virtual void Receive(TIdBytes& buffer);
    virtual void Send(TIdBytes& buffer);

    TIdConnectionIntercept* Intercept() const { return intercept_; }
    void SetIntercept(TIdConnectionIntercept* value);

    void SetOnConnect(TIdInterceptNotifyEvent handler) { onConnect_ = std::move(handler); }
    void SetOnDisconnect(TIdInterceptNotifyEvent handler) { onDisconnect_ = std::move(handler); }
    void SetOnReceive(TIdInterceptDataEvent handler) { onReceive_ = std::move(handler); }
    void SetOnSend(TIdInterceptDataEvent handler) { onSend_ = std::move(handler); }

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    TIdConnectionIntercept* intercept_ = nullptr;
    TComponent* connection_ = nullptr;
    TIdInterceptNotifyEvent onConnect_;
    TIdInterceptNotifyEvent onDisconnect_;
    TIdInterceptDataEvent onReceive_;
    TIdInterceptDataEvent onSend_;
};
