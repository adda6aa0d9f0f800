// A socket I/O handler that can run its transfers inside TLS. BypassTLS
// decides where the bytes go: set, the handler is the plain socket
// handler; cleared on a connected socket, a TLS handshake runs and every
// later byte passes through the TLS session.
#pragma once

#include <string>

#include "net/IdIOHandlerStack.h"

class TIdSSLIOHandlerSocketBase : public TIdIOHandlerStack {
public:
    explicit TIdSSLIOHandlerSocketBase(TComponent* owner = nullptr) : TIdIOHandlerStack(owner) {}

    // False when the handler is created.
    bool BypassTLS() const { return bypassTLS_; }
    virtual void SetBypassTLS(bool value) { bypassTLS_ = value; }
    // True only for handlers of a server-side TLS handler (none here).
    bool IsPeer() const { return isPeer_; }
    const std::string& URIToCheck() const { return uriToCheck_; }
    virtual void SetURIToCheck(const std::string& value) { uriToCheck_ = value; }

protected:
    // Makes what the TLS layer needs right after the TCP connect and, when
    // BypassTLS is clear, runs the handshake.
    virtual void PrepareTLS() = 0;
    void StoreBypassTLS(bool value) { bypassTLS_ = value; }
    void SetIsPeer(bool value) { isPeer_ = value; }

private:
    bool bypassTLS_ = false;
    bool isPeer_ = false;
    std::string uriToCheck_;
};
