#include "net/IdComponent.h"

#include "net/IdStack.h"

namespace {
const char* StatusPattern(TIdStatus status) {
    switch (status) {
        case StatusResolving: return "Resolving hostname %s.";
        case StatusConnecting: return "Connecting to %s.";
        case StatusConnected: return "Connected.";
        case StatusDisconnecting: return "Disconnecting.";
        case StatusDisconnected: return "Disconnected.";
        default: return "%s";
    }
}
}  // namespace

std::string FormatStatusText(const std::string& pattern, const std::vector<std::string>& args) {
    std::string text;
    size_t next = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            const char spec = pattern[++i];
            if (spec == 's') {
                if (next < args.size()) text += args[next++];
                continue;
            }
            if (spec == '%') {
                text += '%';
                continue;
            }
            text += '%';
        }
        text += pattern[i];
    }
    return text;
}

TIdComponent::TIdComponent(TComponent* owner) : TIdBaseComponent(owner) { TIdStack::IncUsage(); }

TIdComponent::~TIdComponent() {
    NotifyDestruction();
    TIdStack::DecUsage();
}

void TIdComponent::DoStatus(TIdStatus status, const std::vector<std::string>& args) {
    if (!onStatus_) return;
    onStatus_(this, status, FormatStatusText(StatusPattern(status), args));
}

void TIdComponent::SetWorkTarget(TIdComponent* target) {
    // The link stays when the target changes: it may also serve another
    // reference between the same two components.
    workTarget_ = target;
    if (workTarget_ != nullptr) FreeNotification(workTarget_);
}

void TIdComponent::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == workTarget_) workTarget_ = nullptr;
    TIdBaseComponent::Notification(component, operation);
}

void TIdComponent::BeginWork(TWorkMode mode, int32_t size) {
    if (workTarget_ != nullptr) return workTarget_->BeginWork(mode, size);
    TWorkInfo& work = Work(mode);
    if (work.level++ == 0) {
        work.countMax = size;
        work.count = 0;
        if (onWorkBegin_) onWorkBegin_(this, mode, size);
    }
}

void TIdComponent::DoWork(TWorkMode mode, int32_t count) {
    if (workTarget_ != nullptr) return workTarget_->DoWork(mode, count);
    TWorkInfo& work = Work(mode);
    if (work.level > 0) {
        work.count += count;
        if (onWork_) onWork_(this, mode, work.count);
    }
}

void TIdComponent::EndWork(TWorkMode mode) {
    if (workTarget_ != nullptr) return workTarget_->EndWork(mode);
    TWorkInfo& work = Work(mode);
    if (work.level == 1 && onWorkEnd_) onWorkEnd_(this, mode);
    --work.level;
}
