// The progress of a message going out (toolkit-free): the write work
// events of a connection become states for a progress display, at most
// one per interval while the bytes flow, plus one at the start and one at
// the end. The total is an estimate made before sending (attachments
// grow by their encoding), so the bar stops short of full until the end.
//   Text()   "Inviati 12,3 MB di circa 25,0 MB — 4,1 MB/s"
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class TIdComponent;

struct TSendProgressState {
    bool Active = false;
    int64_t Sent = 0;
    int64_t Expected = 0;  // never below Sent
    double BytesPerSecond = 0;

    std::string Text() const;
    // 0..1000; 999 at most while active.
    int Permille() const;
};

// "850,0 kB", "12,3 MB": one decimal, decimal comma, 1024 steps.
std::string ProgressAmount(double bytes);

class TSendProgress {
public:
    using TListener = std::function<void(const TSendProgressState&)>;
    using TClock = std::function<uint64_t()>;  // milliseconds

    TSendProgress(TListener listener, uint64_t intervalMs, TClock clock = {});

    void SetExpected(int64_t bytes) { expected_ = bytes; }
    void Begin();
    void Work(int64_t sent);
    void End();

    // Takes over the write work events of `connection` (those it passes
    // on from its handler); Unwatch gives them back empty.
    void Watch(TIdComponent& connection);
    static void Unwatch(TIdComponent& connection);

private:
    void Report(bool active);

    TListener listener_;
    uint64_t intervalMs_;
    TClock clock_;
    int64_t expected_ = 0;
    TSendProgressState state_;
    uint64_t startedAt_ = 0;
    uint64_t reportedAt_ = 0;
};
