// A client that writes messages over its connection; the SMTP client
// builds on it.
#pragma once

#include "net/IdExplicitTLSClient.h"

class TIdMessageClient : public TIdExplicitTLSClient {
public:
    explicit TIdMessageClient(TComponent* owner = nullptr);
};
