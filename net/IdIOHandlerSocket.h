// An I/O handler over one TCP socket (its binding).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/IdIOHandler.h"
#include "net/IdSocketHandle.h"

class TIdIOHandlerSocket : public TIdIOHandler {
public:
    explicit TIdIOHandlerSocket(TComponent* owner = nullptr);
    // Closes the socket.
    ~TIdIOHandlerSocket() override;

    // Base Open, then the binding (made on first use, reset later) and,
    // when Host and Port are set, ConnectSocket.
    void Open() override;
    // Closes the binding's socket, then the base Close; buffers stay.
    void Close() override;

    // "host:port"; see the source for the exact rules.
    std::string Destination() const override;
    void SetDestination(const std::string& value) override;

    TIdSocketHandle* Binding() const { return binding_.get(); }
    const std::string& BoundIP() const { return boundIP_; }
    void SetBoundIP(const std::string& value) { boundIP_ = value; }
    int32_t BoundPort() const { return boundPort_; }
    void SetBoundPort(int32_t value) { boundPort_ = value; }
    int32_t BoundPortMax() const { return boundPortMax_; }
    void SetBoundPortMax(int32_t value) { boundPortMax_ = value; }
    int32_t BoundPortMin() const { return boundPortMin_; }
    void SetBoundPortMin(int32_t value) { boundPortMin_ = value; }
    int32_t DefaultPort() const { return defaultPort_; }
    void SetDefaultPort(int32_t value) { defaultPort_ = value; }
    bool UseNagle() const { return useNagle_; }
    void SetUseNagle(bool value) { useNagle_ = value; }
    TIdIPVersion IPVersion() const { return ipVersion_; }
    void SetIPVersion(TIdIPVersion value) { ipVersion_ = value; }
    const TNotifyEvent& OnBeforeBind() const { return onBeforeBind_; }
    void SetOnBeforeBind(TNotifyEvent handler) { onBeforeBind_ = std::move(handler); }
    const TNotifyEvent& OnAfterBind() const { return onAfterBind_; }
    void SetOnAfterBind(TNotifyEvent handler) { onAfterBind_ = std::move(handler); }
    void SetOnSocketAllocated(TNotifyEvent handler) { onSocketAllocated_ = std::move(handler); }

protected:
    // The common part for the handler's IPVersion; descendants connect
    // after it.
    virtual void ConnectSocket();
    // Common part: allocate a socket of the family, bind as configured,
    // set the no-delay option.
    void PrepareSocket(TIdIPVersion family);

private:
    std::unique_ptr<TIdSocketHandle> binding_;
    std::string boundIP_;
    int32_t boundPort_ = 0;
    int32_t boundPortMax_ = 0;
    int32_t boundPortMin_ = 0;
    int32_t defaultPort_ = 0;
    TNotifyEvent onBeforeBind_;
    TNotifyEvent onAfterBind_;
    TNotifyEvent onSocketAllocated_;
    bool useNagle_ = true;
    TIdIPVersion ipVersion_ = Id_IPv4;
};
