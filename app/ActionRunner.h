// Runs the window's actions one at a time on a thread of their own, so
// that the window goes on painting and answering while a connect waits or
// a message goes out. The completion comes back on the GUI thread, queued
// after everything the action posted there before it ended.
//   Start(work, done)   work on the worker thread, then done(error) on the
//                       GUI thread (error: what escaped work, or null)
//   Stop()              interrupts the sockets of the running action,
//                       waits for its thread and drops its completion
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <thread>

class TGuiMailbox;
class TIdCancellation;

class TActionRunner {
public:
    using TDone = std::function<void(std::exception_ptr error)>;

    // gui: where the completions go.
    explicit TActionRunner(TGuiMailbox& gui);
    ~TActionRunner();
    TActionRunner(const TActionRunner&) = delete;
    TActionRunner& operator=(const TActionRunner&) = delete;

    bool Busy() const { return thread_.joinable(); }
    // Only while not Busy().
    void Start(std::function<void()> work, TDone done);
    void Stop();

private:
    void Finish(unsigned run, std::exception_ptr error);

    TGuiMailbox& gui_;
    std::shared_ptr<TIdCancellation> cancellation_;
    std::thread thread_;
    TDone done_;
    unsigned run_ = 0;
};
