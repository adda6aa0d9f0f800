#include "app/SendProgress.h"

#include <algorithm>

#include "core/IdException.h"
#include "net/IdComponent.h"
#include "platform/Locale.h"

namespace {
// Decimal comma whatever the C locale says.
std::string OneDecimal(double value) {
    std::string text = Format("%.1f", value);
    std::replace(text.begin(), text.end(), '.', ',');
    return text;
}
}  // namespace

std::string ProgressAmount(double bytes) {
    constexpr double KB = 1024.0, MB = KB * 1024.0;
    if (bytes >= MB) return OneDecimal(bytes / MB) + " MB";
    return OneDecimal(bytes / KB) + " kB";
}

std::string TSendProgressState::Text() const {
    // "\x97" is the em dash of the code page.
    return "Inviati " + ProgressAmount(static_cast<double>(Sent)) + " di circa " +
           ProgressAmount(static_cast<double>(Expected)) + " \x97 " + ProgressAmount(BytesPerSecond) + "/s";
}

int TSendProgressState::Permille() const {
    if (!Active) return 1000;
    if (Expected <= 0) return 0;
    return static_cast<int>(std::min<int64_t>(Sent * 1000 / Expected, 999));
}

TSendProgress::TSendProgress(TListener listener, uint64_t intervalMs, TClock clock)
    : listener_(std::move(listener)), intervalMs_(intervalMs), clock_(clock ? std::move(clock) : MonotonicMilliseconds) {}

void TSendProgress::Begin() {
    startedAt_ = clock_();
    state_ = TSendProgressState{};
    state_.Expected = std::max<int64_t>(expected_, 0);
    Report(true);
}

void TSendProgress::Work(int64_t sent) {
    state_.Sent = sent;
    // The events come per socket send: most of them are not shown.
    if (clock_() - reportedAt_ >= intervalMs_) Report(true);
}

void TSendProgress::End() { Report(false); }

void TSendProgress::Report(bool active) {
    const uint64_t now = clock_();
    reportedAt_ = now;
    state_.Active = active;
    state_.Expected = std::max(state_.Expected, state_.Sent);
    const uint64_t elapsed = now - startedAt_;
    state_.BytesPerSecond = elapsed == 0 ? 0.0 : static_cast<double>(state_.Sent) * 1000.0 / static_cast<double>(elapsed);
    if (listener_) listener_(state_);
}

void TSendProgress::Watch(TIdComponent& connection) {
    connection.SetOnWorkBegin([this](TComponent*, TWorkMode mode, int32_t) {
        if (mode == WorkWrite) Begin();
    });
    connection.SetOnWork([this](TComponent*, TWorkMode mode, int32_t count) {
        if (mode == WorkWrite) Work(count);
    });
    connection.SetOnWorkEnd([this](TComponent*, TWorkMode mode) {
        if (mode == WorkWrite) End();
    });
}

void TSendProgress::Unwatch(TIdComponent& connection) {
    connection.SetOnWorkBegin(nullptr);
    connection.SetOnWork(nullptr);
    connection.SetOnWorkEnd(nullptr);
}
