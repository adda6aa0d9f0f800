#include "app/SendByMailto.h"

#include "mapi/DefaultMailClient.h"
#include "platform/Locale.h"
#include "platform/ShellOpen.h"

namespace {

// "%", "&" and "#" inside the subject or the body would end the value, start
// a fragment or read as an escape: the mail program would get the text cut
// short or altered. Everything else passes as typed.
std::string EscapeValue(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (c == '%')
            out += "%25";
        else if (c == '&')
            out += "%26";
        else if (c == '#')
            out += "%23";
        else
            out += c;
    }
    return out;
}

std::string EscapeLineBreaks(const std::string& url) {
    std::string out;
    for (char c : url) {
        if (c == '\r')
            out += "%0D";
        else if (c == '\n')
            out += "%0A";
        else
            out += c;
    }
    return out;
}

}  // namespace

std::string DefaultMailProgram() { return ReadDefaultMailClient(); }

std::string MailtoUrl(const std::string& recipients, const std::string& subject, const std::string& body,
                      const std::string& attachment) {
    std::string url = "mailto:" + recipients + "?subject=" + EscapeValue(subject) + "&body=" + EscapeValue(body);
    if (!attachment.empty()) url += "&attachment=\"" + attachment + "\"";
    return EscapeLineBreaks(url);
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
