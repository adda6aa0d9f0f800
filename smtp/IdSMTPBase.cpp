#include "smtp/IdSMTPBase.h"

#include "net/IdStack.h"
#include "platform/Locale.h"
#include "smtp/IdReplySMTP.h"

bool HasLineBreakOrNul(const std::string& value) {
    return value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

void CheckCommandArgument(const std::string& value, const std::string& what) {
    Raise<EIdSMTPInvalidArgument>::IfTrue(HasLineBreakOrNul(value), what + " contains CR, LF or NUL");
}

TIdSMTPBase::TIdSMTPBase(TComponent* owner) : TIdMessageClient(owner) {
    SetImplicitTLSPort(465);
    SetRegularPort(25);
    SetPort(25);
}

std::unique_ptr<TIdReply> TIdSMTPBase::CreateReply() const { return std::make_unique<TIdReplySMTP>(); }

void TIdSMTPBase::SetPipeLine(bool value) {
    pipeLine_ = value;
    if (value) useEhlo_ = true;
}

void TIdSMTPBase::SetUseEhlo(bool value) {
    useEhlo_ = value;
    if (!value) pipeLine_ = false;
}

int16_t TIdSMTPBase::SendCommand(const std::string& line, const TIdReplyCodes& allowed) {
    CheckCommandArgument(line, "Command");
    return TIdMessageClient::SendCommand(line, allowed);
}

bool TIdSMTPBase::SupportsTLS() { return ServiceExtensions().IndexOf("STARTTLS") >= 0; }

std::string TIdSMTPBase::HelloName() const {
    if (!heloName_.empty()) return heloName_;
    if (const TIdStack* stack = TIdStack::Instance(); stack != nullptr && !stack->HostName().empty())
        return stack->HostName();
    const std::string computer = ComputerName();
    // A workstation without any name still greets with a valid domain.
    return computer.empty() ? "localhost" : computer;
}

void TIdSMTPBase::SendHello() {
    ServiceExtensions().Clear();
    const std::string name = HelloName();
    if (useEhlo_ && SendCommand("EHLO " + name) == 250) {
        ServiceExtensions().AddStrings(LastCmdResult().Text());
        if (!ServiceExtensions().Empty()) ServiceExtensions().Delete(0);
        return;
    }
    SendCommand("HELO " + name, 250);
}
