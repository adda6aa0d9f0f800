#include "app/cli/SessionTranscript.h"

#include "app/cli/TerminalText.h"
#include "net/IdIOHandlerSocket.h"
#include "net/IdTCPConnection.h"

namespace {
// A client whose host was empty "connects" without a socket.
bool HasSocket(TComponent* connection) {
    auto* tcp = dynamic_cast<TIdTCPConnection*>(connection);
    TIdIOHandlerSocket* socket = tcp != nullptr ? tcp->Socket() : nullptr;
    return socket != nullptr && socket->Binding() != nullptr && socket->Binding()->HandleAllocated();
}
}  // namespace

TSessionTranscript::TSessionTranscript(TSmtpStageTracker& tracker, FILE* stream, bool enabled, bool showCredentials)
    : tracker_(tracker), stream_(stream), enabled_(enabled), showCredentials_(showCredentials) {}

void TSessionTranscript::TcpConnected() {
    tracker_.TcpConnected();
    if (connected_) return;
    connected_ = true;
    Marker("connected");
}

// With implicit TLS the client is established only after the handshake,
// whose marker follows the one of the TCP connect.
void TSessionTranscript::Connect(TComponent* connection) {
    if (HasSocket(connection)) {
        TcpConnected();
        tracker_.SessionOpened();
    }
    TIdConnectionIntercept::Connect(connection);
}

void TSessionTranscript::Disconnect() {
    // A line cut off by the close still counts.
    if (!received_.empty()) Line(received_, false);
    if (!sent_.empty()) Line(sent_, true);
    received_.clear();
    sent_.clear();
    if (connected_) Marker("connection closed");
    connected_ = false;
    TIdConnectionIntercept::Disconnect();
}

void TSessionTranscript::Receive(TIdBytes& buffer) {
    TIdConnectionIntercept::Receive(buffer);
    Take(received_, buffer, false);
}

void TSessionTranscript::Send(TIdBytes& buffer) {
    Take(sent_, buffer, true);
    TIdConnectionIntercept::Send(buffer);
}

void TSessionTranscript::Marker(const std::string& text) { Write("-- " + text); }

void TSessionTranscript::Take(std::string& pending, const TIdBytes& bytes, bool fromClient) {
    pending.append(bytes.begin(), bytes.end());
    size_t start = 0;
    for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
        size_t length = end - start;
        if (length > 0 && pending[end - 1] == '\r') --length;
        Line(pending.substr(start, length), fromClient);
    }
    pending.erase(0, start);
}

void TSessionTranscript::Line(const std::string& line, bool fromClient) {
    if (!fromClient) {
        tracker_.ServerLine(line);
        Write("S: " + line);
        return;
    }
    const bool hidden = !showCredentials_ && tracker_.CarriesCredentials(line);
    tracker_.ClientLine(line);
    Write(hidden ? "C: <credentials hidden>" : "C: " + line);
}

void TSessionTranscript::Write(const std::string& line) {
    if (enabled_) WriteTerminalLine(stream_, line);
}
