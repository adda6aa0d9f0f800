#include "app/SendByMailto.h"

#include "core/StringList.h"
#include "mapi/DefaultMailClient.h"
#include "platform/CodePage.h"
#include "platform/FileName.h"
#include "platform/Locale.h"
#include "platform/ShellOpen.h"

namespace {

// Each byte for which `encode` holds becomes "%" and its code in two hex digits.
template <class Predicate>
std::string PercentEncodeIf(const std::string& text, Predicate encode) {
    std::string out;
    for (char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (!encode(code)) {
            out += c;
            continue;
        }
        static const char hex[] = "0123456789ABCDEF";
        out += {'%', hex[code >> 4], hex[code & 0x0F]};
    }
    return out;
}

std::string PercentEncode(const std::string& text, const std::string& chars) {
    return PercentEncodeIf(text, [&chars](unsigned char c) { return chars.find(static_cast<char>(c)) != std::string::npos; });
}

// The memo holds one or more addresses a line: its lines become one
// comma-separated list, with no line break left to end up inside the last
// address. "?", "%", "&" and "#" in an address would end it or alter it.
std::string MailtoRecipients(const std::string& memo) {
    TStringList lines;
    lines.SetText(memo);
    std::string out;
    for (const auto& line : lines) {
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        const size_t last = line.find_last_not_of(" \t");
        if (!out.empty()) out += ",";
        out += PercentEncode(line.substr(first, last - first + 1), "%&#?");
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
    std::string url = "mailto:" + MailtoRecipients(recipients) + "?subject=" + PercentEncode(subject, valueChars) +
                      "&body=" + PercentEncode(body, valueChars);
    if (!attachment.empty()) url += "&attachment=\"" + attachment + "\"";
    return PercentEncode(url, "\r\n");
}

std::string DesktopUrl(const std::string& url) {
    const auto utf8 = ConvertCodePageExactly(url, AnsiCodePageName(), "UTF-8");
    if (!utf8) throw EConvertError(Format("Il testo contiene byte che la code page %d non definisce.", AnsiCodePage()));
    return PercentEncodeIf(*utf8, [](unsigned char c) { return c < 0x20 || c >= 0x7F; });
}

void SendByMailto(TMailActionContext& context) {
    const TFieldModel& fields = context.Fields;
    TActivityLog& log = context.Log;
    log.LogLine("Programma predefinito: \"" + DefaultMailProgram() + "\"");
    const std::string& attachment = fields.Text("edtAttachFile1");
    if (!attachment.empty()) {
        CheckFileReadable(attachment);
        log.LogLine("Allegato \"" + attachment + "\"");
    }
    // Whether or not it exists, the second file is not sent: say so.
    if (!fields.Text("edtAttachFile2").empty()) log.LogLine("Per l'invio mailto si pu\xF2 indicare un solo allegato.");
    const std::string url =
        MailtoUrl(fields.MemoValue("edtRecipients"), fields.Text("edtSubject"), fields.MemoValue("edtBody"), attachment);
    log.LogLine(url);
    // 32 or less is the shell's error code: nothing was handed over.
    const intptr_t opened = ShellExecuteA(0, "open", DesktopUrl(url).c_str(), nullptr, nullptr, SW_SHOWDEFAULT);
    if (opened <= 32) {
        log.LogLine("L'URL non si pu\xF2 aprire (errore " + std::to_string(opened) + ").");
        log.LogLine("> Non inviato.");
        return;
    }
    log.LogLine("> Inviato.");
}
