#include "app/SendByMailto.h"

#include "mapi/DefaultMailClient.h"
#include "platform/Locale.h"
#include "platform/ShellOpen.h"

namespace {

// Each character of chars becomes "%" and its code in two hex digits.
std::string PercentEncode(const std::string& text, const std::string& chars) {
    std::string out;
    for (char c : text) {
        if (chars.find(c) == std::string::npos) {
            out += c;
            continue;
        }
        static const char hex[] = "0123456789ABCDEF";
        const auto code = static_cast<unsigned char>(c);
        out += {'%', hex[code >> 4], hex[code & 0x0F]};
    }
    return out;
}

}  // namespace

std::string DefaultMailProgram() { return ReadDefaultMailClient(); }

std::string MailtoUrl(const std::string& recipients, const std::string& subject, const std::string& body,
                      const std::string& attachment) {
    // "%", "&" and "#" inside the subject or the body would read as an
    // escape, end the value or start a fragment: the mail program would get
    // the text cut short or altered. Everything else passes as typed.
    const std::string valueChars = "%&#";
    std::string url = "mailto:" + recipients + "?subject=" + PercentEncode(subject, valueChars) +
                      "&body=" + PercentEncode(body, valueChars);
    if (!attachment.empty()) url += "&attachment=\"" + attachment + "\"";
    return PercentEncode(url, "\r\n");
}

void SendByMailto(TMailActionContext& context) {
    const TFieldModel& fields = context.Fields;
    TActivityLog& log = context.Log;
    log.LogLine("Programma predefinito: \"" + DefaultMailProgram() + "\"");
    std::string attachment;
    if (FileExists(fields.Text("edtAttachFile1"))) {
        attachment = fields.Text("edtAttachFile1");
        log.LogLine("Allegato \"" + attachment + "\"");
    }
    if (FileExists(fields.Text("edtAttachFile2")))
        log.LogLine("Per l'invio mailto si pu\xF2 indicare un solo allegato.");
    const std::string url =
        MailtoUrl(fields.MemoValue("edtRecipients"), fields.Text("edtSubject"), fields.MemoValue("edtBody"), attachment);
    log.LogLine(url);
    ShellExecuteA(0, "open", url.c_str(), nullptr, nullptr, SW_SHOWDEFAULT);
    log.LogLine("> Inviato.");
}
