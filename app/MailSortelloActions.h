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

#include <functional>
#include <memory>

#include "app/ActivityLog.h"
#include "app/FieldModel.h"
#include "app/MailActionContext.h"
#include "core/Component.h"

class TIdMessage;
class TSendProgress;
class TIdSASLCRAMMD5;
class TIdSMTP;
class TIdSSLIOHandlerSocketOpenSSL;
class TIdUserPassProvider;

// Hears when a watched component goes away.
class TComponentWatcher : public TComponent {
public:
    explicit TComponentWatcher(std::function<void(TComponent*)> onRemove) : onRemove_(std::move(onRemove)) {}

protected:
    void Notification(TComponent* component, TOperation operation) override {
        if (operation == TOperation::opRemove) onRemove_(component);
    }

private:
    std::function<void(TComponent*)> onRemove_;
};

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
    // Told of the bytes of every SMTP send (null: nobody); not owned.
    void SetSendProgress(TSendProgress* progress) { progress_ = progress; }

    void FormCreate();
    bool ConnettiEnabled() const;
    void actConnettiExecute();
    void actInviaMailExecute();
    // Closes the session's connection, if any, without a word to the
    // server: for a front end going away.
    void CloseConnection();
    // The last "Invia mail" on an SMTP tab refused a field before connecting.
    bool InputRefused() const { return inputRefused_; }

    // The object slots; empty until an action needs them.
    TIdSMTP* idSMTP() const { return idSMTP_.get(); }
    TIdSSLIOHandlerSocketOpenSSL* idSSLIOHandler() const { return idSSLIOHandler_; }
    TIdUserPassProvider* idUserPassProvider() const { return idUserPassProvider_.get(); }
    TIdSASLCRAMMD5* idSASLCRAMMD5() const { return idSASLCRAMMD5_.get(); }
    TIdMessage* idMessage() const { return idMessage_.get(); }

private:
    TMailActionContext Context();
    void PrepareClient();
    void ConnectEncrypted();
    void ConnectUnencrypted();
    void SetServer(const std::string& host, const std::string& port);
    void ConnectAndReport();
    void SendBySmtp();
    // Logs the first field that cannot be sent as typed; false then.
    bool SendFieldsUsable();
    bool UsesLogin() const;
    void FillMessage();
    void AddAttachment(const std::string& path);
    void SendMessage();
    int64_t EstimatedMessageBytes() const;

    TFieldModel fields_;
    TActivityLog log_;
    TComponent owner_;
    uintptr_t appHandle_ = 0;
    bool inputRefused_ = false;
    TSendProgress* progress_ = nullptr;
    // Empties the TLS handler's slot when the client frees that handler.
    TComponentWatcher watcher_;
    std::unique_ptr<TIdUserPassProvider> idUserPassProvider_;
    std::unique_ptr<TIdSASLCRAMMD5> idSASLCRAMMD5_;
    std::unique_ptr<TIdMessage> idMessage_;
    std::unique_ptr<TIdSMTP> idSMTP_;
    TIdSSLIOHandlerSocketOpenSSL* idSSLIOHandler_ = nullptr;  // owned by idSMTP_
};
