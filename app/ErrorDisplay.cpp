#include "app/ErrorDisplay.h"

#include "platform/DebugOutput.h"

namespace {
TErrorDisplay& Handler() {
    static TErrorDisplay handler;
    return handler;
}
}  // namespace

void SetErrorDisplay(TErrorDisplay handler) { Handler() = std::move(handler); }

void ShowException(const std::exception& e) {
    if (Handler())
        Handler()(e.what());
    else
        OutputDebugStringA(e.what());
}

void RunGuarded(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        ShowException(e);
    }
}
