#include "app/SendByMapi.h"

#include "app/DebugTrace.h"
#include "app/TextHelpers.h"
#include "mapi/MapiControl.h"
#include "platform/FileName.h"

namespace {

bool RadioAsBool(const TFieldModel& fields, const std::string& name) {
    return TextToBool(std::to_string(fields.ItemIndex(name)), false);
}

void AddAttachment(TMapiControl& mapi, TActivityLog& log, const std::string& path) {
    if (path.empty()) return;
    CheckFileReadable(path);
    mapi.AttachedFiles().Add(path);
    log.LogLine("Allegato \"" + path + "\"");
}

// The window's three handlers: each reports one outcome of SendMail.
void SetHandlers(TMapiControl& mapi, TActivityLog& log) {
    mapi.SetOnMapiError([&log](TComponent*, int32_t code) {
        log.LogLine("MapiErrEvent : Error Code = " + std::to_string(code));
    });
    mapi.SetOnSuccess([&log](TComponent*) { log.LogLine("> Inviato."); });
    mapi.SetOnUserAbort([&log](TComponent*) { log.LogLine("Mapi: User abort."); });
}

void FillMessage(TMapiControl& mapi, const TFieldModel& fields, TActivityLog& log) {
    mapi.SetUseAppHandle(RadioAsBool(fields, "edtUseAppHandle_mapi"));
    mapi.SetSubject(fields.Text("edtSubject"));
    mapi.SetBody(fields.MemoValue("edtBody"));
    mapi.Recipients().Clear();
    mapi.Recipients().SetText(NormalizeRecipients(fields.MemoValue("edtRecipients"), RecipientSeparator));
    DebugTrace("> MapiCon.Recipients.Text=" + mapi.Recipients().Text());
    log.LogValue("Destinatari: ", mapi.Recipients().Text());
    mapi.CopyTo().Clear();
    mapi.CopyTo().SetText(NormalizeRecipients(fields.MemoValue("edtCCRecipients"), RecipientSeparator));
    log.LogValue("Copia conoscenza: ", mapi.CopyTo().Text());
    DebugTrace("> MapiCon.CopyTo.Text=" + mapi.CopyTo().Text());
    mapi.AttachedFiles().Clear();
    AddAttachment(mapi, log, fields.Text("edtAttachFile1"));
    AddAttachment(mapi, log, fields.Text("edtAttachFile2"));
    mapi.SetShowDialog(RadioAsBool(fields, "edtShowDialog_mapi"));
}

// Simple MAPI takes C strings: a NUL would cut the text short unseen.
bool FieldsWithoutNul(const TFieldModel& fields, TActivityLog& log) {
    const std::pair<const char*, std::string> values[] = {
        {"Oggetto", fields.Text("edtSubject")},
        {"Corpo", fields.MemoValue("edtBody")},
        {"Destinatari", fields.MemoValue("edtRecipients")},
        {"Destinatari in copia conoscenza", fields.MemoValue("edtCCRecipients")},
    };
    for (const auto& [field, value] : values) {
        if (value.find('\0') == std::string::npos) continue;
        log.LogLine("Campo \"" + std::string(field) + "\" non valido: contiene un NUL");
        log.LogLine("> Non inviato.");
        return false;
    }
    return true;
}

}  // namespace

bool SendByMapi(TMailActionContext& context) {
    TActivityLog& log = context.Log;
    if (!FieldsWithoutNul(context.Fields, log)) return false;
    try {
        DebugTrace("> actInviaMailExecute - imposta Mapi...");
        // Owned by the window: when a step raises, the window releases it.
        auto* MapiCon = new TMapiControl(&context.Owner);
        MapiCon->Reset();
        FillMessage(*MapiCon, context.Fields, log);
        SetHandlers(*MapiCon, log);
        SetApplicationHandle(context.AppHandle);
        DebugTrace("> actInviaMailExecute - prima di SendMail...");
        log.LogLine("Mapi: prima di SendMail...");
        MapiCon->SendMail();
        log.LogLine("Mapi: dopo SendMail...");
        DebugTrace("> actInviaMailExecute - dopo SendMail.");
        MapiCon->Reset();
        log.LogLine("Mapi: dopo Reset di chiusura.");
        DebugTrace("> actInviaMailExecute - dopo Reset.");
        delete MapiCon;
    } catch (const Exception& e) {
        log.LogException(e);
    }
    return true;
}
