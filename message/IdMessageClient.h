// A client that writes messages over its connection; the SMTP client
// builds on it.
#pragma once

#include "net/IdExplicitTLSClient.h"

class TIdMessage;
class TIdMessageWriter;
class TIdText;

class TIdMessageClient : public TIdExplicitTLSClient {
public:
    explicit TIdMessageClient(TComponent* owner = nullptr);

    // The text sent after DATA: the header block, the empty line and,
    // unless headersOnly, the body. Each of these writes passes the data
    // phase filter (TIdDataPhaseIntercept: CR LF line ends, dot-stuffing)
    // and ends with a complete line. The end-of-data line is the caller's.
    // The text leaves the handler in large writes.
    virtual void WriteMessage(TIdMessage& message, bool headersOnly = false);
    // The generated header lines.
    void WriteHeaders(TIdMessage& message);
    // Everything after the header lines, from the empty line that ends them.
    void WriteBody(TIdMessage& message);
    // The body lines, each followed by CR LF.
    void WriteBodyLines(TIdMessage& message);
    // The header lines, empty line and content of one text part.
    void WriteTextSection(TIdText& part);

private:
    template <class F>
    void WriteFiltered(F&& write);
};
