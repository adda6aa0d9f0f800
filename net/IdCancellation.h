// Lets one thread interrupt the socket waits of another. While a TScope
// is alive on a thread, every socket that thread allocates joins the
// cancellation; Cancel(), from any thread, shuts each joined socket down
// in both directions, so that a connect, receive or send blocked on it
// returns at once with an error, and refuses the connects that follow;
// closing such a socket resets the connection, dropping unsent bytes.
// A socket leaves the cancellation before its descriptor is closed, so a
// reused descriptor number is never shut down by mistake.
#pragma once

#include <memory>
#include <mutex>
#include <set>

#include "net/IdStack.h"

class TIdCancellation {
public:
    // Binds the cancellation to the calling thread for the scope's life.
    class TScope {
    public:
        explicit TScope(std::shared_ptr<TIdCancellation> cancellation);
        ~TScope();
        TScope(const TScope&) = delete;
        TScope& operator=(const TScope&) = delete;

    private:
        std::shared_ptr<TIdCancellation> previous_;
    };

    // The calling thread's cancellation, or null outside every scope.
    static std::shared_ptr<TIdCancellation> Current();

    void Cancel();
    bool Cancelled() const;
    // Ready for another run: not cancelled; the joined sockets stay.
    void Reset();

    // A socket joining while cancelled is shut down at once.
    void Join(TIdStackSocketHandle handle);
    void Leave(TIdStackSocketHandle handle);

private:
    mutable std::mutex mutex_;
    std::set<TIdStackSocketHandle> handles_;
    bool cancelled_ = false;
};
