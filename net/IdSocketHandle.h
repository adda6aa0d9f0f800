// One socket with its local and peer addresses: the binding of a socket
// I/O handler. Every call is carried out by the socket stack.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/IdBuffer.h"
#include "net/IdCancellation.h"
#include "net/IdStack.h"

class TIdSocketHandle {
public:
    TIdSocketHandle();
    ~TIdSocketHandle();
    TIdSocketHandle(const TIdSocketHandle&) = delete;
    TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

    // Closes any socket held, then makes a new one of IPVersion; inside a
    // cancellation scope the socket joins that cancellation.
    void AllocateSocket(int socketType = Id_SOCK_STREAM, int protocol = 0);
    // Shuts down the sending direction and closes; nothing when not allocated.
    void CloseSocket();
    // Single try when Port is set or no port range is given, else the range
    // from ClientPortMax down to ClientPortMin.
    void Bind();
    // Connects to the peer within timeoutMs (TimeoutInfinite or 0 = no
    // limit); false when the limit passed first. Fills the addresses. A
    // peer that accepts and resets at once does not fail the connect: the
    // first receive or send reports the reset, whenever it arrived. A
    // cancelled socket raises at once (10004).
    bool Connect(int32_t timeoutMs = TimeoutInfinite);
    // count -1 = from offset to the end.
    int32_t Send(const TIdBytes& bytes, int32_t offset = 0, int32_t count = -1);
    // Receives into the whole buffer; 0 means the peer closed.
    int32_t Receive(TIdBytes& buffer);
    // True when data waits or the peer closed (or reset).
    bool WaitReadable(int32_t timeoutMs);
    void SetPeer(const std::string& ip, int32_t port);
    void SetSockOpt(int level, int name, int32_t value);
    void Reset(bool resetLocal = true);
    void Assign(const TIdSocketHandle& source);
    void UpdateBindingLocal();
    void UpdateBindingPeer();

    TIdStackSocketHandle Handle() const { return handle_; }
    bool HandleAllocated() const { return handle_ != Id_INVALID_SOCKET; }

    int32_t ClientPortMin() const { return clientPortMin_; }
    void SetClientPortMin(int32_t value) { clientPortMin_ = value; }
    int32_t ClientPortMax() const { return clientPortMax_; }
    void SetClientPortMax(int32_t value) { clientPortMax_ = value; }
    const std::string& IP() const { return ip_; }
    void SetIP(const std::string& value) { ip_ = value; }
    int32_t Port() const { return port_; }
    void SetPort(int32_t value) { port_ = value; }
    const std::string& PeerIP() const { return peerIP_; }
    int32_t PeerPort() const { return peerPort_; }
    TIdIPVersion IPVersion() const { return ipVersion_; }
    // Raises EIdCannotSetIPVersionWhenConnected while a socket is held.
    void SetIPVersion(TIdIPVersion value);

private:
    TIdStack& Stack() const;
    bool TryBind(int32_t port);
    void UpdateBindingsAfterConnect();
    // The reset noticed while connecting, in place of what the system says
    // about the gone connection (nothing more to read, a broken pipe).
    [[noreturn]] void RaiseReset();

    int32_t clientPortMin_ = 0;
    int32_t clientPortMax_ = 0;
    TIdStackSocketHandle handle_ = Id_INVALID_SOCKET;
    std::string ip_;
    std::string peerIP_;
    int32_t port_ = 0;
    int32_t peerPort_ = 0;
    TIdIPVersion ipVersion_ = Id_IPv4;
    bool resetWhileConnecting_ = false;
    std::shared_ptr<TIdCancellation> cancellation_;
};
