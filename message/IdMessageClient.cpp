#include "message/IdMessageClient.h"

#include "message/IdMessage.h"
#include "message/IdMessageHeaders.h"

TIdMessageClient::TIdMessageClient(TComponent* owner) : TIdExplicitTLSClient(owner) {}

namespace {
std::string DotStuffed(const std::string& line) { return !line.empty() && line[0] == '.' ? "." + line : line; }
}  // namespace

// Plain text only (headers and body lines); the MIME writer takes its place.
void TIdMessageClient::WriteMessage(TIdMessage& message, bool headersOnly) {
    EnsureIOHandler();
    BuildHeaders(message);
    TStringList lines;
    for (const std::string& line : message.LastGeneratedHeaders()) lines.Add(DotStuffed(line));
    lines.Add("");
    if (!headersOnly)
        for (const std::string& line : message.Body()) lines.Add(DotStuffed(line));
    IOHandler()->WriteLines(lines);
}
