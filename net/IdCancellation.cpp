#include "net/IdCancellation.h"

#include "net/IdStack.h"

namespace {
thread_local std::shared_ptr<TIdCancellation> tCurrent;

void Interrupt(TIdStackSocketHandle handle) { TIdStack::AbortSocket(handle); }
}  // namespace

TIdCancellation::TScope::TScope(std::shared_ptr<TIdCancellation> cancellation) : previous_(std::move(tCurrent)) {
    tCurrent = std::move(cancellation);
}

TIdCancellation::TScope::~TScope() { tCurrent = std::move(previous_); }

std::shared_ptr<TIdCancellation> TIdCancellation::Current() { return tCurrent; }

void TIdCancellation::Cancel() {
    std::lock_guard<std::mutex> guard(mutex_);
    cancelled_ = true;
    for (TIdStackSocketHandle handle : handles_) Interrupt(handle);
}

bool TIdCancellation::Cancelled() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return cancelled_;
}

void TIdCancellation::Reset() {
    std::lock_guard<std::mutex> guard(mutex_);
    cancelled_ = false;
}

void TIdCancellation::Join(TIdStackSocketHandle handle) {
    std::lock_guard<std::mutex> guard(mutex_);
    handles_.insert(handle);
    if (cancelled_) Interrupt(handle);
}

void TIdCancellation::Leave(TIdStackSocketHandle handle) {
    std::lock_guard<std::mutex> guard(mutex_);
    handles_.erase(handle);
}
