#include "message/IdMessageClient.h"

TIdMessageClient::TIdMessageClient(TComponent* owner) : TIdExplicitTLSClient(owner) {}
