#include "net/IdSSLOpenSSL.h"

#include "net/IdNetExceptions.h"
#include "net/IdStack.h"

TIdSSLIOHandlerSocketOpenSSL::TIdSSLIOHandlerSocketOpenSSL(TComponent* owner)
    : TIdSSLIOHandlerSocketBase(owner), sslOptions_(std::make_unique<TIdSSLOptions>()) {}

TIdSSLIOHandlerSocketOpenSSL::~TIdSSLIOHandlerSocketOpenSSL() { Close(); }

void TIdSSLIOHandlerSocketOpenSSL::DoStatusInfo(const std::string& msg) {
    if (onStatusInfo_) onStatusInfo_(msg);
}

void TIdSSLIOHandlerSocketOpenSSL::DoGetPassword(std::string& password) {
    if (onGetPassword_) onGetPassword_(password);
}

bool TIdSSLIOHandlerSocketOpenSSL::DoVerifyPeer(TIdX509* certificate) {
    return onVerifyPeer_ ? onVerifyPeer_(certificate) : true;
}

void TIdSSLIOHandlerSocketOpenSSL::DoBeforeConnect() {
    if (onBeforeConnect_) onBeforeConnect_(this);
}

void TIdSSLIOHandlerSocketOpenSSL::ConnectSocket() {
    TIdSSLIOHandlerSocketBase::ConnectSocket();
    DoBeforeConnect();
    PrepareTLS();
}

void TIdSSLIOHandlerSocketOpenSSL::InitContext() {
    auto context = std::make_unique<TIdSSLContext>(this);
    context->CopyOptions(*sslOptions_, static_cast<bool>(onStatusInfo_), static_cast<bool>(onVerifyPeer_));
    context->SetLoadTrustStore(loadTrustStore_);
    context->InitContext(TIdSSLCtxMode::sslCtxClient);
    sslContext_ = std::move(context);
}

// Without the libraries a connection that stays in clear text still works.
void TIdSSLIOHandlerSocketOpenSSL::PrepareTLS() {
    if (!sslContext_) {
        try {
            InitContext();
        } catch (const EIdOSSLCouldNotLoadSSLLibrary&) {
            if (!BypassTLS()) throw;
        }
    }
    if (!BypassTLS()) OpenTLSSession();
}

void TIdSSLIOHandlerSocketOpenSSL::SetBypassTLS(bool value) {
    if (value == BypassTLS()) return;
    if (!value && SocketAllocated()) {
        Raise<EIdOSSLCouldNotLoadSSLLibrary>::IfNotAssigned(sslContext_.get(), RSOSSLCouldNotLoadSSLLibrary);
        OpenTLSSession();
    }
    StoreBypassTLS(value);
}

void TIdSSLIOHandlerSocketOpenSSL::OpenTLSSession() {
    if (!sslSocket_) {
        Raise<EIdOSSLCouldNotLoadSSLLibrary>::IfNotAssigned(sslContext_.get(), RSOSSLCouldNotLoadSSLLibrary);
        auto socket = std::make_unique<TIdSSLSocket>(this, sslContext_.get());
        socket->SetServerName(ServerNameToSend());
        socket->Connect(Binding()->Handle(), TLSWaitLimit());
        sslSocket_ = std::move(socket);
        try {
            ReportCipher();
        } catch (...) {
            // A listener that refuses the session (an untrusted server)
            // leaves no half-open TLS connection behind to talk on.
            Close();
            throw;
        }
    }
    StoreBypassTLS(false);
}

bool TIdSSLIOHandlerSocketOpenSSL::IsServerName(const std::string& name) {
    if (name.empty() || name.size() > 253 || TIdStack::IsIPv4Literal(name)) return false;
    // No empty label: a server would refuse the whole handshake for it.
    if (name.front() == '.' || name.back() == '.' || name.find("..") != std::string::npos) return false;
    return name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.") ==
           std::string::npos;
}

std::string TIdSSLIOHandlerSocketOpenSSL::ExpectedPeerName() const {
    return !serverName_.empty() ? serverName_ : TIdStack::PlainHost(Host());
}

std::string TIdSSLIOHandlerSocketOpenSSL::ServerNameToSend() const {
    if (!serverNameIndication_) return {};
    if (!serverName_.empty()) return serverName_;
    // A host the code page spells with other letters would need its ASCII
    // form, which nothing here makes: such a host is sent no name.
    const std::string host = TIdStack::PlainHost(Host());
    return IsServerName(host) ? host : std::string();
}

void TIdSSLIOHandlerSocketOpenSSL::ReportCipher() {
    TIdSSLCipher* cipher = sslSocket_->Cipher();
    DoStatusInfo("Cipher: name = " + cipher->Name() + "; " + "description = " + cipher->Description() + "; " +
                 "bits = " + std::to_string(cipher->Bits()) + "; " + "version = " + cipher->Version() + "; ");
}

void TIdSSLIOHandlerSocketOpenSSL::Close() {
    const bool hadSession = sslSocket_ != nullptr;
    sslSocket_.reset();
    if (hadSession) DiscardUnread();
    if (!IsPeer()) sslContext_.reset();
    TIdSSLIOHandlerSocketBase::Close();
}

// A socket closed with unread bytes (a TLS 1.3 server's session tickets,
// say) is reset, and a reset makes the peer drop whatever it has not read
// yet of our last writes. What has already arrived is read and dropped.
void TIdSSLIOHandlerSocketOpenSSL::DiscardUnread() {
    constexpr int kMaxReads = 64;
    try {
        TIdBytes buffer(16384);
        for (int i = 0; i < kMaxReads && SocketAllocated() && Binding()->WaitReadable(0); ++i)
            if (Binding()->Receive(buffer) <= 0) break;
    } catch (const EIdException&) {
    }
}

bool TIdSSLIOHandlerSocketOpenSSL::WaitReadable(int32_t timeout) {
    if (SessionActive() && sslSocket_->HasPending()) return true;
    return TIdSSLIOHandlerSocketBase::WaitReadable(timeout);
}

int32_t TIdSSLIOHandlerSocketOpenSSL::TLSReceive(int32_t timeout) {
    TIdBytes buffer(static_cast<size_t>(RecvBufferSize() > 0 ? RecvBufferSize() : IdDefaultBufferSize));
    const TIdSSLIOResult result =
        sslSocket_->Recv(buffer.data(), static_cast<int32_t>(buffer.size()), timeout < 0 ? -1 : timeout);
    switch (result.status) {
        case TIdSSLIOStatus::TimedOut:
            return -1;
        case TIdSSLIOStatus::Ok:
            buffer.resize(static_cast<size_t>(result.count));
            AppendReceived(std::move(buffer));
            return result.count;
        case TIdSSLIOStatus::Closed:
            AppendReceived(TIdBytes());
            return 0;
        case TIdSSLIOStatus::Failed:
            break;
    }
    // A failed session cannot be used again: the connection is closed in
    // every case, and what was received before can still be read after a
    // shutdown or an abort.
    const int32_t error = result.systemError;
    AppendReceived(TIdBytes());
    if ((error == Id_WSAESHUTDOWN || error == Id_WSAECONNABORTED) && !InputBufferIsEmpty()) {
        Close();
        return 0;
    }
    ConnectionFailed(error);
    TIdStack::RaiseSocketError(error);
}

int32_t TIdSSLIOHandlerSocketOpenSSL::FillInputBuffer(bool raiseIfDisconnected, int32_t timeout,
                                                      bool raiseOnTimeout) {
    if (!SessionActive()) return TIdSSLIOHandlerSocketBase::FillInputBuffer(raiseIfDisconnected, timeout, raiseOnTimeout);
    if (timeout == TimeoutDefault) timeout = ReadTimeout() != 0 ? ReadTimeout() : TimeoutInfinite;
    CheckDisconnect(raiseIfDisconnected, false);
    if (!SocketAllocated() || !sslSocket_) {
        Raise<EIdException>::IfTrue(raiseIfDisconnected, RSNotConnectedNoDot);
        return 0;
    }
    int32_t count = 0;
    do {
        count = TLSReceive(timeout);
        if (count < 0) {
            Raise<EIdReadTimeout>::IfTrue(raiseOnTimeout, RSReadTimeout);
            return -1;
        }
        CheckDisconnect(raiseIfDisconnected, false);
    } while (count == 0 && SocketAllocated() && sslSocket_);
    return count;
}

int32_t TIdSSLIOHandlerSocketOpenSSL::TLSSend(const TIdBytes& bytes, size_t position) {
    const TIdSSLIOResult result = sslSocket_->Send(bytes.data() + position,
                                                   static_cast<int32_t>(bytes.size() - position), TLSWaitLimit());
    switch (result.status) {
        case TIdSSLIOStatus::Ok:
            return result.count;
        case TIdSSLIOStatus::Closed:
            return 0;
        case TIdSSLIOStatus::TimedOut:
            // The peer has not taken a byte for the whole read time-out.
            TIdStack::RaiseSocketError(Id_WSAETIMEDOUT);
        case TIdSSLIOStatus::Failed:
            break;
    }
    const int32_t error = result.systemError;
    if (error == Id_WSAESHUTDOWN || error == Id_WSAECONNABORTED || error == Id_WSAECONNRESET) ConnectionFailed(error);
    TIdStack::RaiseSocketError(error);
}

// Each call passes the whole rest of the buffer to the TLS session, so a
// write buffer leaves as one piece.
void TIdSSLIOHandlerSocketOpenSSL::SendRaw(const TIdBytes& original) {
    if (!SessionActive()) {
        TIdSSLIOHandlerSocketBase::SendRaw(original);
        return;
    }
    TIdBytesLoan changed(InterceptSpare());
    const TIdBytes& bytes = InterceptSend(original, changed.Bytes());
    size_t position = 0;
    while (position < bytes.size()) {
        const int32_t sent = TLSSend(bytes, position);
        SetClosedByPeer(sent == 0);
        CheckDisconnect(true, false);
        // A peer that ended the session while unread input remains: the
        // check above does not raise, but nothing more can be sent.
        Raise<EIdConnClosedGracefully>::IfTrue(sent == 0 || !sslSocket_, RSConnectionClosedGracefully);
        DoWork(WorkWrite, sent);
        position += static_cast<size_t>(sent);
    }
}
