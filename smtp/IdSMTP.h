// The SMTP client the program drives: connect and greet, switch to TLS,
// log in, send a message, leave with QUIT.
#pragma once

#include "smtp/IdSASLEntries.h"
#include "smtp/IdSMTPBase.h"

#include <memory>

class TIdEMailAddressList;

enum TIdSMTPAuthenticationType : int32_t { atNone = 0, atDefault = 1, atSASL = 2 };

class TIdSMTP : public TIdSMTPBase {
public:
    explicit TIdSMTP(TComponent* owner = nullptr);
    ~TIdSMTP() override;

    TIdSMTPAuthenticationType AuthType() const { return authType_; }
    void SetAuthType(TIdSMTPAuthenticationType value) { authType_ = value; }
    bool Authenticated() const { return authenticated_; }
    TIdSASLEntries& SASLMechanisms() { return *saslMechanisms_; }

    // A TLS mode that switches on the open connection also turns UseEhlo on.
    void SetUseTLS(TIdUseTLS value) override;
    // False resets AuthType and leaves the STARTTLS modes (their switch
    // needs the EHLO extension list).
    void SetUseEhlo(bool value) override;

    void Connect() override;
    void Disconnect(bool notifyPeer = true) override;

    // STARTTLS as the TLS mode asks, then the login of AuthType.
    virtual bool Authenticate();
    // EXPN; the answer stays in LastCmdResult.
    virtual void Expand(const std::string& name);
    // VRFY; answers the first text line of the reply.
    virtual std::string Verify(const std::string& name);
    void Send(TIdMessage& message) override;
    // AUTH LOGIN once per connection, when offered and a user name is set.
    void AuthLogin();
    // One transaction, one command at a time or with the envelope in one write.
    void SendSequential(TIdMessage& message, const TIdEMailAddressList& envelope);
    void SendPipelined(TIdMessage& message, const TIdEMailAddressList& envelope);

    // Copies the settings and handlers of another client.
    void Assign(const TIdSMTP& source);

protected:
    void NotifyPeerBeforeDisconnect() override;
    void Notification(TComponent* component, TOperation operation) override;

    // STARTTLS when the TLS mode asks for it; any failure closes the session.
    void UpgradeToTLS();

private:
    void SetMailAgentHeader(TIdMessage& message) const;
    void WriteEnvelopeBatch(TIdMessage& message, const TIdEMailAddressList& envelope);
    // The message text after a 354 and the end-of-data line.
    void WriteData(TIdMessage& message);

    TIdSMTPAuthenticationType authType_ = atDefault;
    bool authenticated_ = false;
    std::unique_ptr<TIdSASLEntries> saslMechanisms_;
};
