#include "net/IdSocketHandle.h"

#include <algorithm>

#include "net/IdNetExceptions.h"

// A handle keeps the stack alive for as long as it exists, so that it can
// be used outside of a component too.
TIdSocketHandle::TIdSocketHandle() { TIdStack::IncUsage(); }

TIdSocketHandle::~TIdSocketHandle() {
    CloseSocket();
    TIdStack::DecUsage();
}

TIdStack& TIdSocketHandle::Stack() const { return *TIdStack::Instance(); }

void TIdSocketHandle::AllocateSocket(int socketType, int protocol) {
    CloseSocket();
    resetWhileConnecting_ = false;
    handle_ = Stack().NewSocketHandle(socketType, protocol, ipVersion_);
    cancellation_ = TIdCancellation::Current();
    if (cancellation_) cancellation_->Join(handle_);
}

void TIdSocketHandle::CloseSocket() {
    resetWhileConnecting_ = false;
    if (!HandleAllocated()) return;
    const TIdStackSocketHandle handle = handle_;
    handle_ = Id_INVALID_SOCKET;
    if (cancellation_) cancellation_->Leave(handle);
    cancellation_.reset();
    Stack().Disconnect(handle);
}

bool TIdSocketHandle::TryBind(int32_t port) {
    try {
        Stack().Bind(handle_, ip_, port, ipVersion_);
        return true;
    } catch (const EIdException&) {
        return false;
    }
}

void TIdSocketHandle::Bind() {
    if (port_ != 0 || clientPortMin_ == 0 || clientPortMax_ == 0) {
        Raise<EIdCouldNotBindSocket>::IfFalse(TryBind(port_),
                                              "Could not bind socket. Address and port are already in use.");
        UpdateBindingLocal();
        return;
    }
    if (clientPortMax_ < clientPortMin_)
        throw EIdInvalidPortRange(Format("Invalid Port Range (%d - %d)", clientPortMin_, clientPortMax_));
    for (int32_t port = clientPortMax_; port >= clientPortMin_; --port) {
        if (TryBind(port)) {
            UpdateBindingLocal();
            return;
        }
    }
    throw EIdCanNotBindPortInRange(Format("Can not bind in port range (%d - %d)", clientPortMin_, clientPortMax_));
}

// A reset that arrives while the connect is still being waited for, or
// before the addresses are read back, is the same reset as one that
// arrives a moment later: the connection was made, and its first receive
// or send reports it.
bool TIdSocketHandle::Connect(int32_t timeoutMs) {
    // A shutdown before the connect started would not stop it.
    if (cancellation_ && cancellation_->Cancelled()) TIdStack::RaiseSocketError(Id_WSAEINTR);
    try {
        if (!Stack().Connect(handle_, peerIP_, peerPort_, ipVersion_, timeoutMs)) return false;
    } catch (const EIdSocketError& e) {
        if (e.LastError() != Id_WSAECONNRESET) throw;
        resetWhileConnecting_ = true;
    }
    UpdateBindingsAfterConnect();
    return true;
}

// A connection the peer already reset has no peer name any more; the
// peer is then the address connected to.
void TIdSocketHandle::UpdateBindingsAfterConnect() {
    try {
        UpdateBindingLocal();
        UpdateBindingPeer();
    } catch (const EIdSocketError& e) {
        if (e.LastError() != Id_WSAENOTCONN) throw;
        resetWhileConnecting_ = true;
    }
}

void TIdSocketHandle::RaiseReset() {
    resetWhileConnecting_ = false;
    TIdStack::RaiseSocketError(Id_WSAECONNRESET);
}

int32_t TIdSocketHandle::Send(const TIdBytes& bytes, int32_t offset, int32_t count) {
    const int32_t size = static_cast<int32_t>(bytes.size());
    if (offset < 0 || offset > size) return 0;
    if (count < 0 || count > size - offset) count = size - offset;
    if (resetWhileConnecting_) RaiseReset();
    return Stack().Send(handle_, bytes.data() + offset, count);
}

// What the peer sent before its reset is still read first.
int32_t TIdSocketHandle::Receive(TIdBytes& buffer) {
    if (!resetWhileConnecting_) return Stack().Receive(handle_, buffer.data(), static_cast<int32_t>(buffer.size()));
    int32_t count = 0;
    try {
        count = Stack().Receive(handle_, buffer.data(), static_cast<int32_t>(buffer.size()));
    } catch (const EIdSocketError&) {
        RaiseReset();
    }
    if (count == 0) RaiseReset();
    return count;
}

bool TIdSocketHandle::WaitReadable(int32_t timeoutMs) {
    Raise<EIdConnClosedGracefully>::IfFalse(HandleAllocated(), RSConnectionClosedGracefully);
    if (resetWhileConnecting_) return true;
    return Stack().Readable(handle_, timeoutMs == TimeoutInfinite ? -1 : std::max(timeoutMs, 0));
}

void TIdSocketHandle::SetPeer(const std::string& ip, int32_t port) {
    peerIP_ = ip;
    peerPort_ = port;
}

void TIdSocketHandle::SetSockOpt(int level, int name, int32_t value) {
    Stack().SetSocketOption(handle_, level, name, value);
}

void TIdSocketHandle::Reset(bool resetLocal) {
    CloseSocket();
    if (resetLocal) {
        ip_.clear();
        port_ = 0;
    }
    peerIP_.clear();
    peerPort_ = 0;
    ipVersion_ = Id_IPv4;
}

void TIdSocketHandle::Assign(const TIdSocketHandle& source) {
    ip_ = source.ip_;
    port_ = source.port_;
    peerIP_ = source.peerIP_;
    peerPort_ = source.peerPort_;
    ipVersion_ = source.ipVersion_;
}

void TIdSocketHandle::UpdateBindingLocal() { Stack().GetSocketName(handle_, ip_, port_); }

void TIdSocketHandle::UpdateBindingPeer() { Stack().GetPeerName(handle_, peerIP_, peerPort_); }

void TIdSocketHandle::SetIPVersion(TIdIPVersion value) {
    if (value == ipVersion_) return;
    Raise<EIdCannotSetIPVersionWhenConnected>::IfTrue(HandleAllocated(), "Cannot change IPVersion when connected");
    ipVersion_ = value;
}
