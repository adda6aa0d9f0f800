// The intercept of the command line's connections: cuts the bytes of each
// direction into lines, feeds them to the stage tracker and, when asked,
// writes them on a stream as "C: " and "S: " lines, with markers for the
// connection and the start of TLS. Credential lines read
// "C: <credentials hidden>" unless they are to be shown.
#pragma once

#include <cstdio>
#include <string>

#include "app/cli/SmtpStageTracker.h"
#include "net/IdConnectionIntercept.h"

class TSessionTranscript : public TIdConnectionIntercept {
public:
    TSessionTranscript(TSmtpStageTracker& tracker, FILE* stream, bool enabled, bool showCredentials);

    // The TCP connection is up, before any TLS handshake on it: the
    // "-- connected" marker, once per connection.
    void TcpConnected();
    void Connect(TComponent* connection) override;
    void Disconnect() override;
    void Receive(TIdBytes& buffer) override;
    void Send(TIdBytes& buffer) override;

    // A marker line ("-- TLS started ...") at this point of the transcript.
    void Marker(const std::string& text);

private:
    void Take(std::string& pending, const TIdBytes& bytes, bool fromClient);
    void Line(const std::string& line, bool fromClient);
    void Write(const std::string& line);

    TSmtpStageTracker& tracker_;
    FILE* stream_;
    bool enabled_;
    bool showCredentials_;
    bool connected_ = false;
    std::string sent_;
    std::string received_;
};
