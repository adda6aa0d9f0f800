// TMapiControl sends one message through Simple MAPI: the caller fills
// subject, body, recipient lists and attachment paths, sets the options and
// the three events, and calls SendMail; exactly one event reports the
// outcome (OnSuccess for 0, OnUserAbort for 1, OnMapiError for the rest).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/Component.h"
#include "core/StringList.h"

using TMapiNotifyEvent = std::function<void(TComponent* Sender)>;
using TMapiErrEvent = std::function<void(TComponent* Sender, int32_t ErrCode)>;

// The application's top-level window, passed to MAPI as the UI parameter
// when UseAppHandle is on (0 when the front end has none).
void SetApplicationHandle(uintptr_t handle);
uintptr_t ApplicationHandle();

class TMapiControl : public TComponent {
public:
    // Also switches the system's Simple MAPI flag on when its key can be
    // written; registry errors while doing so propagate.
    explicit TMapiControl(TComponent* owner);
    ~TMapiControl() override;

    const std::string& Subject() const { return subject_; }
    void SetSubject(const std::string& value) { subject_ = value; }
    const std::string& Body() const { return body_; }
    void SetBody(const std::string& value) { body_ = value; }
    const std::string& FromName() const { return fromName_; }
    void SetFromName(const std::string& value) { fromName_ = value; }
    const std::string& FromAdress() const { return fromAdress_; }
    void SetFromAdress(const std::string& value) { fromAdress_ = value; }

    TStringList& Recipients() { return *recipients_; }
    void SetRecipients(const TStringList& value) { recipients_->Assign(value); }
    TStringList& CopyTo() { return *copyTo_; }
    void SetCopyTo(const TStringList& value) { copyTo_->Assign(value); }
    TStringList& BlindCopyTo() { return *blindCopyTo_; }
    void SetBlindCopyTo(const TStringList& value) { blindCopyTo_->Assign(value); }
    TStringList& AttachedFiles() { return *attachedFiles_; }
    void SetAttachedFiles(const TStringList& value) { attachedFiles_->Assign(value); }
    const TStringList& DisplayFileName() const { return *displayFileNames_; }

    // Display names paired with the address lists, filled by SendMail.
    const TStringList& RecipientNames() const { return *recipientNames_; }
    const TStringList& CopyToNames() const { return *copyToNames_; }
    const TStringList& BlindCopyToNames() const { return *blindCopyToNames_; }

    bool ShowDialog() const { return showDialog_; }
    void SetShowDialog(bool value) { showDialog_ = value; }
    bool UseAppHandle() const { return useAppHandle_; }
    void SetUseAppHandle(bool value) { useAppHandle_ = value; }

    const TMapiNotifyEvent& OnUserAbort() const { return onUserAbort_; }
    void SetOnUserAbort(TMapiNotifyEvent handler) { onUserAbort_ = std::move(handler); }
    const TMapiErrEvent& OnMapiError() const { return onMapiError_; }
    void SetOnMapiError(TMapiErrEvent handler) { onMapiError_ = std::move(handler); }
    const TMapiNotifyEvent& OnSuccess() const { return onSuccess_; }
    void SetOnSuccess(TMapiNotifyEvent handler) { onSuccess_ = std::move(handler); }

    // Empties subject, body, originator and the eight lists; options,
    // events and the default-client cache stay.
    void Reset();
    // Raises nothing of its own; a registry error of the default-client
    // lookup propagates.
    void SendMail();

private:
    void NormalizeEmailAddress(TStringList& list, TStringList& names);
    static void RemoveEmptyFiles(TStringList& list);
    std::string GetDefaultClient();
    void Report(uint32_t result);

    std::string subject_;
    std::string body_;
    std::string fromName_;
    std::string fromAdress_;
    std::unique_ptr<TStringList> recipients_;
    std::unique_ptr<TStringList> recipientNames_;
    std::unique_ptr<TStringList> copyTo_;
    std::unique_ptr<TStringList> copyToNames_;
    std::unique_ptr<TStringList> blindCopyTo_;
    std::unique_ptr<TStringList> blindCopyToNames_;
    std::unique_ptr<TStringList> attachedFiles_;
    std::unique_ptr<TStringList> displayFileNames_;
    bool showDialog_ = true;
    bool useAppHandle_ = true;
    TMapiNotifyEvent onUserAbort_;
    TMapiErrEvent onMapiError_;
    TMapiNotifyEvent onSuccess_;
    std::string FDefaultClient;
};
