// The plain socket I/O handler: the default handler of a TCP client and
// the base of the TLS handler, which overrides ConnectSocket,
// FillInputBuffer, SendRaw and Close.
#pragma once

#include <cstdint>

#include "net/IdIOHandlerSocket.h"

class TIdIOHandlerStack : public TIdIOHandlerSocket {
public:
    explicit TIdIOHandlerStack(TComponent* owner = nullptr);

    void Open() override;

    bool Connected() override;
    // The only place plain-socket input is read. Answers the byte count,
    // 0 when the peer closed, -1 on a time-out without raising.
    int32_t FillInputBuffer(bool raiseIfDisconnected, int32_t timeout, bool raiseOnTimeout) override;
    // A close noticed by the peer closes the socket once; raises
    // EIdConnClosedGracefully when disconnected and nothing unread is left
    // (or unread bytes are ignored), or again the socket error that ended
    // the connection (a reset stays a reset for every later call).
    void CheckDisconnect(bool raise, bool ignoreBuffer) override;
    bool WaitReadable(int32_t timeout) override;

protected:
    // Resolve, then for each address the common part and the connect, all
    // within ConnectTimeout when it is not 0.
    void ConnectSocket() override;
    void SendRaw(const TIdBytes& bytes) override;
    // Appends received bytes (none: the peer closed) and keeps
    // ClosedByPeer current; for descendants that receive by other means.
    void AppendReceived(TIdBytes&& bytes);
    // A socket error ended the connection: close it and keep the error
    // for every later read and write of this connection.
    void ConnectionFailed(int32_t error);

private:
    // Within timeout ms (TimeoutInfinite: no limit).
    void ConnectClient(int32_t timeout);
    int32_t ReceiveOnce();

    int32_t connectionError_ = 0;
};
