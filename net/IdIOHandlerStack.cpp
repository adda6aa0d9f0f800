#include "net/IdIOHandlerStack.h"

#include <algorithm>

#include "net/IdNetExceptions.h"
#include "platform/Locale.h"

TIdIOHandlerStack::TIdIOHandlerStack(TComponent* owner) : TIdIOHandlerSocket(owner) {}

namespace {
bool HasSocket(const TIdSocketHandle* binding) { return binding != nullptr && binding->HandleAllocated(); }
}  // namespace

void TIdIOHandlerStack::Open() {
    connectionError_ = 0;
    TIdIOHandlerSocket::Open();
}

void TIdIOHandlerStack::ConnectionFailed(int32_t error) {
    connectionError_ = error;
    SetClosedByPeer(true);
    Close();
}

// Each address of the host in turn, all within one ConnectTimeout: a
// name may have several, and the first ones may refuse or be unreachable
// (an IPv6 address without IPv6 here). The last failure is reported.
void TIdIOHandlerStack::ConnectSocket() {
    const std::string& host = Host();
    if (!TIdStack::IsIPv4Literal(TIdStack::PlainHost(host))) DoStatus(StatusResolving, {host});
    const std::vector<TIdSocketAddress> addresses = TIdStack::Instance()->ResolveAddresses(host, IPVersion());
    const int32_t timeout = ConnectTimeout();
    const bool limited = timeout != 0 && timeout != TimeoutDefault;
    const uint64_t deadline = MonotonicMilliseconds() + static_cast<uint64_t>(limited ? timeout : 0);
    for (size_t i = 0; i < addresses.size(); ++i) {
        try {
            PrepareSocket(addresses[i].ipVersion);
            Binding()->SetPeer(addresses[i].ip, Port());
            DoStatus(StatusConnecting, {addresses[i].ip});
            ConnectClient(limited ? RemainingMilliseconds(deadline) : TimeoutInfinite);
            return;
        } catch (const EIdSocketError&) {
            if (i + 1 == addresses.size()) throw;
        }
    }
}

// A non-blocking connect waited for on this thread: no second thread and
// no socket closed under a running connect. A refusal arrives at once;
// a success returns as soon as the handshake completes.
void TIdIOHandlerStack::ConnectClient(int32_t timeout) {
    if (timeout == 0 || !Binding()->Connect(timeout)) {
        Close();
        throw EIdConnectTimeout("Connect timed out.");
    }
}

int32_t TIdIOHandlerStack::ReceiveOnce() {
    TIdBytes bytes(static_cast<size_t>(std::max(RecvBufferSize(), 1)));
    int32_t count = 0;
    try {
        count = Binding()->Receive(bytes);
    } catch (const EIdSocketError& e) {
        // A reset connection stays unusable: Connected answers false from
        // now on.
        ConnectionFailed(e.LastError());
        throw;
    }
    bytes.resize(static_cast<size_t>(std::max(count, 0)));
    AppendReceived(std::move(bytes));
    return count;
}

void TIdIOHandlerStack::AppendReceived(TIdBytes&& bytes) {
    if (!bytes.empty()) InterceptReceive(bytes);
    SetClosedByPeer(bytes.empty());
    if (!bytes.empty()) InputBuffer()->Write(std::move(bytes));
}

int32_t TIdIOHandlerStack::FillInputBuffer(bool raiseIfDisconnected, int32_t timeout, bool raiseOnTimeout) {
    if (timeout == TimeoutDefault) timeout = ReadTimeout() != 0 ? ReadTimeout() : TimeoutInfinite;
    CheckDisconnect(raiseIfDisconnected, false);
    if (!HasSocket(Binding())) {
        Raise<EIdException>::IfTrue(raiseIfDisconnected, RSNotConnectedNoDot);
        return 0;
    }
    int32_t count = 0;
    do {
        if (!WaitReadable(timeout)) {
            Raise<EIdReadTimeout>::IfTrue(raiseOnTimeout, RSReadTimeout);
            return -1;
        }
        if (WasOpened()) {
            Raise<EIdClosedSocket>::IfFalse(HasSocket(Binding()), "Disconnected.");
            count = ReceiveOnce();
        } else {
            count = 0;
            Raise<EIdException>::IfTrue(raiseIfDisconnected, RSNotConnectedNoDot);
        }
        SetClosedByPeer(count == 0);
        CheckDisconnect(raiseIfDisconnected, false);
    } while (count == 0 && HasSocket(Binding()));
    return count;
}

void TIdIOHandlerStack::CheckDisconnect(bool raise, bool ignoreBuffer) {
    bool disconnected = !HasSocket(Binding());
    if (ClosedByPeer()) {
        if (!disconnected) {
            Close();
            DoStatus(StatusDisconnected);
        }
        disconnected = true;
    }
    if (disconnected && raise && InputBuffer() != nullptr && (InputBuffer()->Size() == 0 || ignoreBuffer)) {
        if (connectionError_ != 0) TIdStack::RaiseSocketError(connectionError_);
        throw EIdConnClosedGracefully(RSConnectionClosedGracefully);
    }
}

bool TIdIOHandlerStack::Connected() {
    try {
        FillInputBuffer(false, 0, false);
    } catch (const EIdSocketError&) {
        // The failed receive closed the socket; the answer follows below.
    }
    return (HasSocket(Binding()) && BaseConnected()) || !InputBufferIsEmpty();
}

bool TIdIOHandlerStack::WaitReadable(int32_t timeout) {
    Raise<EIdConnClosedGracefully>::IfFalse(HasSocket(Binding()), RSConnectionClosedGracefully);
    return Binding()->WaitReadable(timeout);
}

void TIdIOHandlerStack::SendRaw(const TIdBytes& original) {
    CheckDisconnect(true, true);
    TIdBytesLoan changed(InterceptSpare());
    const TIdBytes& bytes = InterceptSend(original, changed.Bytes());
    Raise<EIdNotConnected>::IfFalse(HasSocket(Binding()), RSNotConnectedNoDot);
    int32_t position = 0;
    const int32_t size = static_cast<int32_t>(bytes.size());
    while (position < size) {
        Raise<EIdNotConnected>::IfFalse(HasSocket(Binding()), RSNotConnectedNoDot);
        int32_t sent = 0;
        try {
            sent = Binding()->Send(bytes, position, -1);
        } catch (const EIdSocketError& e) {
            ConnectionFailed(e.LastError());
            throw;
        }
        SetClosedByPeer(sent == 0);
        CheckDisconnect(true, false);
        DoWork(WorkWrite, sent);
        position += sent;
    }
}
