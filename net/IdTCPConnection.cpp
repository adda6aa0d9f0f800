#include "net/IdTCPConnection.h"

#include <algorithm>
#include <exception>

#include "net/IdIOHandlerSocket.h"
#include "net/IdNetExceptions.h"
#include "net/IdReplyRFC.h"

namespace {
// A reply is only a few lines; a peer that never ends one must not be
// able to fill the memory before the read time-out would stop it.
constexpr size_t MaxReplyBytes = 64u * 1024u * 1024u;
}  // namespace

TIdTCPConnection::TIdTCPConnection(TComponent* owner) : TIdComponent(owner) {}

TIdTCPConnection::~TIdTCPConnection() {
    if (ioHandler_ != nullptr) {
        try {
            ioHandler_->Close();
        } catch (...) {
        }
        SetIOHandler(nullptr);
    }
}

void TIdTCPConnection::SetIOHandler(TIdIOHandler* handler) {
    if (handler == ioHandler_) return;
    TIdIOHandler* previous = ioHandler_;
    ioHandler_ = nullptr;
    socket_ = nullptr;
    if (previous != nullptr) {
        previous->SetWorkTarget(nullptr);
        if (ownsIOHandler_) {
            ownsIOHandler_ = false;
            delete previous;
        }
    }
    ioHandler_ = handler;
    socket_ = dynamic_cast<TIdIOHandlerSocket*>(handler);
    if (handler != nullptr) {
        handler->SetWorkTarget(this);
        FreeNotification(handler);
    }
}

void TIdTCPConnection::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component != nullptr && component == ioHandler_) {
        ioHandler_ = nullptr;
        socket_ = nullptr;
        ownsIOHandler_ = false;
    }
    TIdComponent::Notification(component, operation);
}

bool TIdTCPConnection::Connected() { return ioHandler_ != nullptr && ioHandler_->Connected(); }

void TIdTCPConnection::Disconnect(bool notifyPeer) {
    std::exception_ptr failure;
    try {
        if (notifyPeer && Connected()) NotifyPeerBeforeDisconnect();
    } catch (...) {
        failure = std::current_exception();
    }
    if (ioHandler_ != nullptr && ioHandler_->IsOpen()) {
        DoStatus(StatusDisconnecting);
        ioHandler_->Close();
        if (onDisconnected_) onDisconnected_(this);
        DoStatus(StatusDisconnected);
    }
    // Input a session left unread has no reader once we end it; kept, it
    // would make Connected answer true for a connection that is gone, and
    // the next Connect would fail on it.
    if (ioHandler_ != nullptr && ioHandler_->InputBuffer() != nullptr) ioHandler_->InputBuffer()->Clear();
    if (failure) std::rethrow_exception(failure);
}

void TIdTCPConnection::EnsureIOHandler() const {
    Raise<EIdNotConnected>::IfNotAssigned(ioHandler_, RSNotConnected);
}

void TIdTCPConnection::CheckGracefulDisconnect(bool raise) {
    if (ioHandler_ != nullptr) ioHandler_->CheckDisconnect(raise, false);
    else Raise<EIdException>::IfTrue(raise, RSNotConnectedNoDot);
}

std::unique_ptr<TIdReply> TIdTCPConnection::CreateReply() const { return std::make_unique<TIdReplyRFC>(); }

TIdReply& TIdTCPConnection::Greeting() {
    if (greeting_ == nullptr) greeting_ = CreateReply();
    return *greeting_;
}

TIdReply& TIdTCPConnection::LastCmdResult() {
    if (lastCmdResult_ == nullptr) lastCmdResult_ = CreateReply();
    return *lastCmdResult_;
}

int16_t TIdTCPConnection::CheckReplyCode(int16_t code, const TIdReplyCodes& allowed) {
    if (!allowed.empty() && std::find(allowed.begin(), allowed.end(), code) == allowed.end()) RaiseLastReplyError();
    return code;
}

std::string TIdTCPConnection::CheckReplyCode(const std::string& code, const std::string& allowed) {
    if (!allowed.empty() && !SameText(allowed, code)) RaiseLastReplyError();
    return code;
}

void TIdTCPConnection::ReceiveReply() {
    EnsureIOHandler();
    try {
        ReceiveReplyLines();
    } catch (const EIdReadTimeout&) {
        // A reply that comes after the time-out would be read as the answer
        // to the next command: the exchange is out of step for good.
        Disconnect(false);
        throw;
    }
}

void TIdTCPConnection::ReceiveReplyLines() {
    TIdReply& reply = LastCmdResult();
    TStringList lines;
    lines.Add(ioHandler_->ReadNonEmptyLine(2147483647));
    size_t total = lines[0].size();
    while (!reply.IsLastLine(lines[lines.Count() - 1])) {
        lines.Add(ioHandler_->ReadLn());
        total += lines[lines.Count() - 1].size() + 2;
        Raise<EIdReadLnMaxLineLengthExceeded>::IfTrue(total > MaxReplyBytes, "Max line length exceeded.");
    }
    reply.SetFromLines(lines);
}

int16_t TIdTCPConnection::ReadReply(const TIdReplyCodes& allowed) {
    ReceiveReply();
    return CheckReplyCode(static_cast<int16_t>(LastCmdResult().CodeNumber()), allowed);
}

std::string TIdTCPConnection::ReadReply(const std::string& allowed) {
    ReceiveReply();
    return CheckReplyCode(LastCmdResult().Code(), allowed);
}

void TIdTCPConnection::RaiseLastReplyError() {
    LastCmdResult().RaiseError();
    // RaiseError always throws; this only keeps the promise to the compiler.
    throw EIdReplyError(LastCmdResult().Text().Text());
}

int16_t TIdTCPConnection::SendCommand(const std::string& line, const TIdReplyCodes& allowed) {
    EnsureIOHandler();
    ioHandler_->WriteLn(line);
    return ReadReply(allowed);
}

int16_t TIdTCPConnection::SendCommand(const std::string& line, int16_t code) {
    return code == -1 ? SendCommand(line, TIdReplyCodes{}) : SendCommand(line, TIdReplyCodes{code});
}
