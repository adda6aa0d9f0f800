// "Invia mail" on the "  mailto:  " tab: a "mailto:" URL built from the
// fields and handed to the desktop shell, every step logged.
//   SendByMailto(context)  nothing is caught: a registry error, or a first
//                          attachment named but not readable (EFOpenError),
//                          reaches the caller (the global error display)
//                          before anything is opened
//   DefaultMailProgram()   the system's default mail program, "Nessuno"
//                          when there is none; read afresh on every call
//   MailtoUrl(...)         the URL text as it is logged
//   DesktopUrl(url)        the same URL as the desktop is given it: the
//                          UTF-8 bytes of every non-ASCII character and
//                          every control character percent-encoded (RFC 6068)
#pragma once

#include <string>

#include "app/MailActionContext.h"

void SendByMailto(TMailActionContext& context);
std::string DefaultMailProgram();
// attachment "" adds no "&attachment=" part.
std::string MailtoUrl(const std::string& recipients, const std::string& subject, const std::string& body,
                      const std::string& attachment);
// Raises EConvertError for bytes the ANSI code page does not define.
std::string DesktopUrl(const std::string& url);
