#include "app/MailSortelloActions.h"

#include "app/DebugTrace.h"

#if __has_include("app/SendByMapi.h")
#include "app/SendByMapi.h"
#define MAILSORTELLO_HAS_MAPI 1
#endif
#if __has_include("app/SendByMailto.h")
#include "app/SendByMailto.h"
#define MAILSORTELLO_HAS_MAILTO 1
#endif

TMailSortelloActions::TMailSortelloActions(TLogSink* sink) : log_(sink) {}

TMailSortelloActions::~TMailSortelloActions() = default;

void TMailSortelloActions::FormCreate() {
    log_.Clear();
}

bool TMailSortelloActions::ConnettiEnabled() const {
    const std::string& page = fields_.ActivePage();
    return page == TabSheetSmtpCript || page == TabSheetSMTP;
}

TMailActionContext TMailSortelloActions::Context() {
    return TMailActionContext{fields_, log_, owner_, appHandle_};
}

void TMailSortelloActions::actConnettiExecute() {
    DebugTrace("actConnettiExecute - inizio.");
    DebugTrace("actConnettiExecute - fine.");
}

void TMailSortelloActions::SendBySmtp() {}

void TMailSortelloActions::actInviaMailExecute() {
    // Each check looks at the tab active at that moment.
    if (ConnettiEnabled()) SendBySmtp();
    if (fields_.ActivePage() == TabSheetMAPI) {
#ifdef MAILSORTELLO_HAS_MAPI
        TMailActionContext context = Context();
        SendByMapi(context);
#endif
    }
    if (fields_.ActivePage() == TabSheetMailto) {
#ifdef MAILSORTELLO_HAS_MAILTO
        TMailActionContext context = Context();
        SendByMailto(context);
#endif
    }
}
