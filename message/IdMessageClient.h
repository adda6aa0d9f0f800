// A client that writes messages over its connection; the SMTP client
// builds on it.
#pragma once

#include "net/IdExplicitTLSClient.h"

class TIdMessage;

class TIdMessageClient : public TIdExplicitTLSClient {
public:
    explicit TIdMessageClient(TComponent* owner = nullptr);

    // The text sent after DATA: the header block, the empty line and,
    // unless headersOnly, the body; every line that starts with "." gets
    // one more. The end-of-data line is the caller's.
    virtual void WriteMessage(TIdMessage& message, bool headersOnly = false);
};
