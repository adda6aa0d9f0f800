#include "message/IdMessageClient.h"

#include "message/IdDataPhaseIntercept.h"
#include "message/IdMessage.h"
#include "message/IdMessageWriter.h"
#include "message/IdText.h"

TIdMessageClient::TIdMessageClient(TComponent* owner) : TIdExplicitTLSClient(owner) {}

template <class F>
void TIdMessageClient::WriteFiltered(F&& write) {
    EnsureIOHandler();
    TIdIOHandler& io = *IOHandler();
    TIdDataPhaseIntercept filter(io);
    TIdMessageWriter writer(io);
    write(writer);
    // Whatever is still buffered must pass the filter before it goes away,
    // and the end-of-data line must start a line of its own.
    io.FlushWriteBuffer();
    if (filter.AtLineStart()) return;
    io.WriteLn();
    io.FlushWriteBuffer();
}

void TIdMessageClient::WriteMessage(TIdMessage& message, bool headersOnly) {
    WriteFiltered([&](TIdMessageWriter& writer) { writer.WriteMessage(message, headersOnly); });
}

void TIdMessageClient::WriteHeaders(TIdMessage& message) {
    WriteFiltered([&](TIdMessageWriter& writer) { writer.WriteHeaders(message); });
}

void TIdMessageClient::WriteBody(TIdMessage& message) {
    WriteFiltered([&](TIdMessageWriter& writer) { writer.WriteBody(message); });
}

void TIdMessageClient::WriteBodyLines(TIdMessage& message) {
    WriteFiltered([&](TIdMessageWriter& writer) { writer.WriteBodyLines(message); });
}

void TIdMessageClient::WriteTextSection(TIdText& part) {
    WriteFiltered([&](TIdMessageWriter& writer) { writer.WriteTextSection(part); });
}
