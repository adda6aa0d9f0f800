// Base of every network component: status and work events, and the
// lifetime of the shared socket stack.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/Component.h"

enum TIdStatus : int32_t {
    StatusResolving = 0,
    StatusConnecting = 1,
    StatusConnected = 2,
    StatusDisconnecting = 3,
    StatusDisconnected = 4,
    StatusText = 5,
    // 6, 7 and 8 are further kinds that carry their text as is ("%s").
};

enum TWorkMode : int32_t { WorkRead = 0, WorkWrite = 1 };

using TNotifyEvent = std::function<void(TComponent* sender)>;
using TIdStatusEvent = std::function<void(TComponent* sender, TIdStatus status, const std::string& text)>;
using TWorkBeginEvent = std::function<void(TComponent* sender, TWorkMode mode, int32_t workCountMax)>;
using TWorkEvent = std::function<void(TComponent* sender, TWorkMode mode, int32_t workCount)>;
using TWorkEndEvent = std::function<void(TComponent* sender, TWorkMode mode)>;

// printf-like "%s" substitution of the status texts; "%%" is a percent sign.
std::string FormatStatusText(const std::string& pattern, const std::vector<std::string>& args);

class TIdBaseComponent : public TComponent {
public:
    explicit TIdBaseComponent(TComponent* owner = nullptr) : TComponent(owner) {}
};

class TIdComponent : public TIdBaseComponent {
public:
    explicit TIdComponent(TComponent* owner = nullptr);
    ~TIdComponent() override;

    const TIdStatusEvent& OnStatus() const { return onStatus_; }
    void SetOnStatus(TIdStatusEvent handler) { onStatus_ = std::move(handler); }
    const TWorkBeginEvent& OnWorkBegin() const { return onWorkBegin_; }
    void SetOnWorkBegin(TWorkBeginEvent handler) { onWorkBegin_ = std::move(handler); }
    const TWorkEvent& OnWork() const { return onWork_; }
    void SetOnWork(TWorkEvent handler) { onWork_ = std::move(handler); }
    const TWorkEndEvent& OnWorkEnd() const { return onWorkEnd_; }
    void SetOnWorkEnd(TWorkEndEvent handler) { onWorkEnd_ = std::move(handler); }

    // The text is built only when an OnStatus handler is assigned.
    void DoStatus(TIdStatus status, const std::vector<std::string>& args = {""});

    // Work calls go to the work target when one is set.
    void BeginWork(TWorkMode mode, int32_t size = 0);
    void DoWork(TWorkMode mode, int32_t count);
    void EndWork(TWorkMode mode);
    TIdComponent* WorkTarget() const { return workTarget_; }
    void SetWorkTarget(TIdComponent* target);

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    struct TWorkInfo {
        int32_t level = 0;
        int32_t countMax = 0;
        int32_t count = 0;
    };
    TWorkInfo& Work(TWorkMode mode) { return work_[mode == WorkWrite ? 1 : 0]; }

    TIdStatusEvent onStatus_;
    TWorkBeginEvent onWorkBegin_;
    TWorkEvent onWork_;
    TWorkEndEvent onWorkEnd_;
    TWorkInfo work_[2];
    TIdComponent* workTarget_ = nullptr;
};
