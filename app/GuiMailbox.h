// Hands tasks from any thread to the GUI thread, run there in the order
// they were posted. The hand-off is a mutex-guarded queue and an event
// descriptor the GUI thread's event loop watches, so that nothing of a
// task crosses threads outside that mutex.
#pragma once

#include <deque>
#include <functional>
#include <mutex>

class QObject;
class QSocketNotifier;

class TGuiMailbox {
public:
    // On the GUI thread; parent owns the watcher.
    explicit TGuiMailbox(QObject* parent);
    ~TGuiMailbox();
    TGuiMailbox(const TGuiMailbox&) = delete;
    TGuiMailbox& operator=(const TGuiMailbox&) = delete;

    // Any thread.
    void Post(std::function<void()> task);
    // GUI thread: runs every task posted so far (the event loop calls it).
    void Deliver();

private:
    int event_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::mutex lock_;
    std::deque<std::function<void()>> tasks_;
};
