// The TLS I/O handler on OpenSSL (loaded at run time, see
// IdSSLOpenSSLHeaders.h). Line reading, write buffering, time-outs and the
// messages stay those of the socket handler; only the raw transfer changes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/IdSSLContext.h"
#include "net/IdSSLExceptions.h"
#include "net/IdSSLIOHandlerSocketBase.h"
#include "net/IdSSLOptions.h"
#include "net/IdSSLSocket.h"
#include "net/IdSSLX509.h"

using TCallbackEvent = std::function<void(const std::string& msg)>;
using TPasswordEvent = std::function<void(std::string& password)>;
using TVerifyPeerEvent = std::function<bool(TIdX509* certificate)>;

class TIdSSLIOHandlerSocketOpenSSL : public TIdSSLIOHandlerSocketBase, public TIdSSLEventSink {
public:
    explicit TIdSSLIOHandlerSocketOpenSSL(TComponent* owner = nullptr);
    // Closes the handler (session, context, socket).
    ~TIdSSLIOHandlerSocketOpenSSL() override;

    // Read when the context is made, at the next connect.
    TIdSSLOptions& SSLOptions() { return *sslOptions_; }
    const TIdSSLOptions& SSLOptions() const { return *sslOptions_; }

    // Clearing it on a connected socket runs the handshake (raises "Could
    // not load SSL library." when the libraries were missing at connect
    // time); a failed handshake leaves it set. Clearing it again does not
    // run a second handshake.
    void SetBypassTLS(bool value) override;

    // Assigning these matters only before the context is made.
    const TCallbackEvent& OnStatusInfo() const { return onStatusInfo_; }
    void SetOnStatusInfo(TCallbackEvent handler) { onStatusInfo_ = std::move(handler); }
    const TPasswordEvent& OnGetPassword() const { return onGetPassword_; }
    void SetOnGetPassword(TPasswordEvent handler) { onGetPassword_ = std::move(handler); }
    const TVerifyPeerEvent& OnVerifyPeer() const { return onVerifyPeer_; }
    void SetOnVerifyPeer(TVerifyPeerEvent handler) { onVerifyPeer_ = std::move(handler); }
    void SetOnBeforeConnect(TNotifyEvent handler) { onBeforeConnect_ = std::move(handler); }

    // Whether the context reads the system's default trust store, for a
    // caller that judges the server's chain (TIdSSLPeerReport). Off by
    // default: a session accepts any certificate and reading the store
    // costs every connection a parse of the whole CA bundle. A verify mode
    // or an own certificate loads it anyway. Read when the context is made.
    bool LoadTrustStore() const { return loadTrustStore_; }
    void SetLoadTrustStore(bool value) { loadTrustStore_ = value; }

    // Server name indication: on by default with the host when it is a
    // name (an address literal sends none); a non-empty ServerName is sent
    // in its place. Read at each handshake.
    bool ServerNameIndication() const { return serverNameIndication_; }
    void SetServerNameIndication(bool value) { serverNameIndication_ = value; }
    const std::string& ServerName() const { return serverName_; }
    void SetServerName(const std::string& value) { serverName_ = value; }
    // What the next handshake sends; empty: no server name indication.
    std::string ServerNameToSend() const;
    // The name the server's certificate should carry: ServerName when set,
    // else the host (a name or an address literal).
    std::string ExpectedPeerName() const;
    // A host name fit for server name indication: ASCII letters, digits,
    // "-", "_" and ".", no empty label, at most 253 characters, and no
    // address literal.
    static bool IsServerName(const std::string& name);

    // Ends the TLS session (close_notify), frees the context so that the
    // next connect builds one from the current options, closes the socket.
    void Close() override;
    int32_t FillInputBuffer(bool raiseIfDisconnected, int32_t timeout, bool raiseOnTimeout) override;
    bool WaitReadable(int32_t timeout) override;

    TIdSSLContext* SSLContext() const { return sslContext_.get(); }
    TIdSSLSocket* SSLSocket() const { return sslSocket_.get(); }

    // The callbacks' way into the handler.
    void DoStatusInfo(const std::string& msg) override;
    void DoGetPassword(std::string& password) override;
    bool DoVerifyPeer(TIdX509* certificate) override;

protected:
    // The plain TCP connect, the before-connect event, then PrepareTLS.
    void ConnectSocket() override;
    void SendRaw(const TIdBytes& bytes) override;
    void PrepareTLS() override;
    virtual void DoBeforeConnect();
    // The client handshake on the open socket, bounded by ReadTimeout.
    virtual void OpenTLSSession();

private:
    bool SessionActive() const { return !BypassTLS() && sslSocket_ != nullptr; }
    bool SocketAllocated() const { return Binding() != nullptr && Binding()->HandleAllocated(); }
    // ReadTimeout for the waits of the TLS layer; below 0 = no limit.
    int32_t TLSWaitLimit() const { return ReadTimeout() > 0 ? ReadTimeout() : -1; }
    void InitContext();
    void ReportCipher();
    void DiscardUnread();
    // One TLS receive: the count, 0 when the peer closed, -1 on a time-out.
    int32_t TLSReceive(int32_t timeout);
    // One TLS send of the bytes from `position`: the count sent.
    int32_t TLSSend(const TIdBytes& bytes, size_t position);

    std::unique_ptr<TIdSSLContext> sslContext_;
    std::unique_ptr<TIdSSLOptions> sslOptions_;
    std::unique_ptr<TIdSSLSocket> sslSocket_;
    TCallbackEvent onStatusInfo_;
    TPasswordEvent onGetPassword_;
    TVerifyPeerEvent onVerifyPeer_;
    TNotifyEvent onBeforeConnect_;
    bool serverNameIndication_ = true;
    bool loadTrustStore_ = false;
    std::string serverName_;
};
