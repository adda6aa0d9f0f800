// The window's actions without the window (toolkit-free): the enabling of
// "Connetti", the connection test, the send and its dispatch by active tab,
// and the window's five object slots. A front end keeps one instance for
// its whole run, copies its widgets into Fields() before each action and
// shows Log() (through a TLogSink).
//   FormCreate()            log cleared, slots empty
//   ConnettiEnabled()       true exactly on the two SMTP tabs
//   actConnettiExecute()    connection test of the active SMTP tab
//   actInviaMailExecute()   send by SMTP, MAPI or mailto: by active tab
// Exceptions that the actions do not catch themselves propagate to the
// caller, which hands them to the global error display (app/ErrorDisplay.h).
#pragma once

#include <memory>

#include "app/ActivityLog.h"
#include "app/FieldModel.h"
#include "app/MailActionContext.h"
#include "core/Component.h"

class TMailSortelloActions {
public:
    explicit TMailSortelloActions(TLogSink* sink = nullptr);
    ~TMailSortelloActions();
    TMailSortelloActions(const TMailSortelloActions&) = delete;
    TMailSortelloActions& operator=(const TMailSortelloActions&) = delete;

    TFieldModel& Fields() { return fields_; }
    const TFieldModel& Fields() const { return fields_; }
    TActivityLog& Log() { return log_; }
    // Owner of per-send objects (the window's role as an owner).
    TComponent& Owner() { return owner_; }
    void SetAppHandle(uintptr_t handle) { appHandle_ = handle; }

    void FormCreate();
    bool ConnettiEnabled() const;
    void actConnettiExecute();
    void actInviaMailExecute();

private:
    TMailActionContext Context();
    void SendBySmtp();

    TFieldModel fields_;
    TActivityLog log_;
    TComponent owner_;
    uintptr_t appHandle_ = 0;
};
