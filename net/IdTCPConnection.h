// A connection over one I/O handler, with the command and reply exchange
// of line protocols.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "net/IdComponent.h"
#include "net/IdIOHandler.h"
#include "net/IdReply.h"

class TIdIOHandlerSocket;

using TIdReplyCodes = std::vector<int16_t>;

class TIdTCPConnection : public TIdComponent {
public:
    explicit TIdTCPConnection(TComponent* owner = nullptr);
    // Closes the handler and detaches it (freeing it when owned).
    ~TIdTCPConnection() override;

    TIdIOHandler* IOHandler() const { return ioHandler_; }
    // The same handler again does nothing; an owned previous handler is
    // freed. The new handler reports its work through this connection.
    virtual void SetIOHandler(TIdIOHandler* handler);
    // The handler as a socket handler, or null.
    TIdIOHandlerSocket* Socket() const { return socket_; }
    bool OwnsIOHandler() const { return ownsIOHandler_; }
    void SetOwnsIOHandler(bool value) { ownsIOHandler_ = value; }

    virtual bool Connected();
    // Calls NotifyPeerBeforeDisconnect when asked and connected, then in
    // every case closes an open handler; an error of the hook propagates
    // after the close.
    virtual void Disconnect(bool notifyPeer = true);
    // EIdNotConnected "Not connected." without a handler.
    void EnsureIOHandler() const;
    void CheckGracefulDisconnect(bool raise = true);
    const TNotifyEvent& OnDisconnected() const { return onDisconnected_; }
    void SetOnDisconnected(TNotifyEvent handler) { onDisconnected_ = std::move(handler); }

    // Replies: objects made by CreateReply on first use and kept for the
    // connection's life.
    TIdReply& Greeting();
    TIdReply& LastCmdResult();

    // An empty allowed list accepts every code.
    virtual int16_t CheckReplyCode(int16_t code, const TIdReplyCodes& allowed);
    virtual std::string CheckReplyCode(const std::string& code, const std::string& allowed);
    // Reads one complete reply into LastCmdResult; no code check. A read
    // time-out closes the connection before it is raised.
    virtual void ReceiveReply();
    virtual int16_t ReadReply(const TIdReplyCodes& allowed);
    virtual std::string ReadReply(const std::string& allowed);
    int16_t ReadReply(int16_t code) { return ReadReply(TIdReplyCodes{code}); }
    // ReadReply({250, 251}) would otherwise be ambiguous with the text form.
    int16_t ReadReply(std::initializer_list<int16_t> allowed) { return ReadReply(TIdReplyCodes(allowed)); }
    [[noreturn]] virtual void RaiseLastReplyError();
    // An exception of kind E whose message is the text of LastCmdResult.
    template <class E>
    [[noreturn]] void RaiseLastReplyErrorAs() {
        throw E(LastCmdResult().Text().Text());
    }
    virtual int16_t SendCommand(const std::string& line, const TIdReplyCodes& allowed);
    // code -1 accepts every reply code.
    int16_t SendCommand(const std::string& line, int16_t code = -1);

protected:
    // The reply kind of this connection: TIdReplyRFC here; a protocol
    // client answers its own kind (called on first use of a reply, so the
    // override of the final class is the one that counts).
    virtual std::unique_ptr<TIdReply> CreateReply() const;
    // Overridable hook run by Disconnect before closing; empty here.
    virtual void NotifyPeerBeforeDisconnect() {}
    void Notification(TComponent* component, TOperation operation) override;

private:
    void ReceiveReplyLines();

    TIdIOHandler* ioHandler_ = nullptr;
    TIdIOHandlerSocket* socket_ = nullptr;
    bool ownsIOHandler_ = false;
    TNotifyEvent onDisconnected_;
    std::unique_ptr<TIdReply> greeting_;
    std::unique_ptr<TIdReply> lastCmdResult_;
};
