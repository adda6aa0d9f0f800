#include "message/IdMessageClient.h"

#include "message/IdMessage.h"
#include "message/IdMessageWriter.h"
#include "message/IdText.h"

TIdMessageClient::TIdMessageClient(TComponent* owner) : TIdExplicitTLSClient(owner) {}

void TIdMessageClient::WriteMessage(TIdMessage& message, bool headersOnly) {
    EnsureIOHandler();
    TIdMessageWriter(*IOHandler()).WriteMessage(message, headersOnly);
}

void TIdMessageClient::WriteHeaders(TIdMessage& message) {
    EnsureIOHandler();
    TIdMessageWriter(*IOHandler()).WriteHeaders(message);
}

void TIdMessageClient::WriteBody(TIdMessage& message) {
    EnsureIOHandler();
    TIdMessageWriter(*IOHandler()).WriteBody(message);
}

void TIdMessageClient::WriteBodyLines(TIdMessage& message) {
    EnsureIOHandler();
    TIdMessageWriter(*IOHandler()).WriteBodyLines(message);
}

void TIdMessageClient::WriteTextSection(TIdText& part) {
    EnsureIOHandler();
    TIdMessageWriter(*IOHandler()).WriteTextSection(part);
}
