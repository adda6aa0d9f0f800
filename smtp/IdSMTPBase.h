// The SMTP session below the published client: greeting, extension list
// and the switches that decide how the transaction is sent.
#pragma once

#include "message/IdMessageClient.h"

class TIdMessage;

// A command argument that would break the command line on the wire.
class EIdSMTPInvalidArgument : public EIdException {
public:
    using EIdException::EIdException;
};

// A CR, LF or NUL would break a command line on the wire.
bool HasLineBreakOrNul(const std::string& value);
// Raises EIdSMTPInvalidArgument "<what> contains CR, LF or NUL" when value
// holds one of them.
void CheckCommandArgument(const std::string& value, const std::string& what);

class TIdSMTPBase : public TIdMessageClient {
public:
    explicit TIdSMTPBase(TComponent* owner = nullptr);

    const std::string& MailAgent() const { return mailAgent_; }
    void SetMailAgent(const std::string& value) { mailAgent_ = value; }
    const std::string& HeloName() const { return heloName_; }
    void SetHeloName(const std::string& value) { heloName_ = value; }
    bool PipeLine() const { return pipeLine_; }
    // True also turns UseEhlo on: pipelining is only announced to EHLO.
    void SetPipeLine(bool value);
    bool UseEhlo() const { return useEhlo_; }
    // False also turns PipeLine off.
    virtual void SetUseEhlo(bool value);

    // Authenticates and runs one mail transaction.
    virtual void Send(TIdMessage& message) = 0;

    // The server offers the line "STARTTLS".
    bool SupportsTLS() override;

    // A line holding CR, LF or NUL is refused before anything is sent.
    int16_t SendCommand(const std::string& line, const TIdReplyCodes& allowed) override;
    using TIdMessageClient::SendCommand;

protected:
    // Replies of this client carry enhanced status codes.
    std::unique_ptr<TIdReply> CreateReply() const override;
    // EHLO, or HELO when EHLO is off or refused; fills ServiceExtensions.
    void SendHello();
    void StoreUseEhlo(bool value) { useEhlo_ = value; }
    void StorePipeLine(bool value) { pipeLine_ = value; }

private:
    std::string HelloName() const;

    std::string mailAgent_;
    std::string heloName_;
    bool pipeLine_ = true;
    bool useEhlo_ = true;
};
