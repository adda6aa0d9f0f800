#include "app/GuiMailbox.h"

#include <QSocketNotifier>
#include <stdexcept>
#include <sys/eventfd.h>
#include <unistd.h>

TGuiMailbox::TGuiMailbox(QObject* parent) {
    event_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (event_ < 0) throw std::runtime_error("eventfd failed");
    notifier_ = new QSocketNotifier(event_, QSocketNotifier::Read, parent);
    QObject::connect(notifier_, &QSocketNotifier::activated, notifier_, [this] { Deliver(); });
}

TGuiMailbox::~TGuiMailbox() {
    delete notifier_;
    ::close(event_);
}

void TGuiMailbox::Post(std::function<void()> task) {
    std::lock_guard<std::mutex> guard(lock_);
    tasks_.push_back(std::move(task));
    if (tasks_.size() > 1) return;  // a wake-up is already on its way
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(event_, &one, sizeof one);
}

void TGuiMailbox::Deliver() {
    std::deque<std::function<void()>> tasks;
    {
        std::lock_guard<std::mutex> guard(lock_);
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t read = ::read(event_, &count, sizeof count);
        tasks.swap(tasks_);
    }
    for (std::function<void()>& task : tasks) task();
}
