#include "app/ActionRunner.h"

#include "app/GuiMailbox.h"
#include "net/IdCancellation.h"

TActionRunner::TActionRunner(TGuiMailbox& gui) : gui_(gui), cancellation_(std::make_shared<TIdCancellation>()) {}

TActionRunner::~TActionRunner() { Stop(); }

void TActionRunner::Start(std::function<void()> work, TDone done) {
    cancellation_->Reset();
    done_ = std::move(done);
    const unsigned run = ++run_;
    thread_ = std::thread([this, run, work = std::move(work), cancellation = cancellation_] {
        std::exception_ptr error;
        {
            TIdCancellation::TScope scope(cancellation);
            try {
                work();
            } catch (...) {
                error = std::current_exception();
            }
        }
        gui_.Post([this, run, error] { Finish(run, error); });
    });
}

void TActionRunner::Finish(unsigned run, std::exception_ptr error) {
    // A completion left over from a run that Stop already ended.
    if (run != run_ || !thread_.joinable()) return;
    thread_.join();
    TDone done = std::move(done_);
    done_ = nullptr;
    if (done) done(error);
}

void TActionRunner::Stop() {
    if (!thread_.joinable()) return;
    cancellation_->Cancel();
    thread_.join();
    done_ = nullptr;
}
