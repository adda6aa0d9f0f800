// "Invia mail" on the "  mailto:  " tab: a "mailto:" URL built from the
// fields and handed to the desktop shell, every step logged.
//   SendByMailto(context)  nothing is caught: a registry error reaches the
//                          caller (the global error display)
//   DefaultMailProgram()   the system's default mail program, "Nessuno"
//                          when there is none; read afresh on every call
//   MailtoUrl(...)         the URL text as it is logged and opened
#pragma once

#include <string>

#include "app/MailActionContext.h"

void SendByMailto(TMailActionContext& context);
std::string DefaultMailProgram();
// attachment "" adds no "&attachment=" part.
std::string MailtoUrl(const std::string& recipients, const std::string& subject, const std::string& body,
                      const std::string& attachment);
