// Interrupting the socket waits of another thread: a blocked read, a
// connect that gets no answer, and the sockets made after the cancel.
#include "net/IdCancellation.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "net/IdNetExceptions.h"
#include "net/IdSocketHandle.h"
#include "net/IdStack.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/SilentListener.h"

namespace {

using namespace std::chrono_literals;

class IdCancellationTest : public ::testing::Test {
protected:
    std::shared_ptr<TIdCancellation> cancellation_ = std::make_shared<TIdCancellation>();
};

// The peer accepts and says nothing until the test ends.
TEST_F(IdCancellationTest, CancelWakesAReadBlockedOnAnotherThread) {
    std::promise<void> done;
    TLoopbackServer server([&](int) { done.get_future().wait_for(10s); });
    auto read = std::async(std::launch::async, [&] {
        TIdCancellation::TScope scope(cancellation_);
        TIdSocketHandle socket;
        socket.AllocateSocket();
        socket.SetPeer("127.0.0.1", server.Port());
        socket.Connect(3000);
        TIdBytes buffer(16);
        const bool readable = socket.WaitReadable(10000);
        return readable ? socket.Receive(buffer) : -1;
    });
    std::this_thread::sleep_for(100ms);
    ASSERT_EQ(read.wait_for(0ms), std::future_status::timeout);
    const auto start = std::chrono::steady_clock::now();
    cancellation_->Cancel();
    ASSERT_EQ(read.wait_for(2s), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(read.get(), 0);  // the shut-down socket reads as closed
    done.set_value();
}

TEST_F(IdCancellationTest, CancelEndsAConnectThatGetsNoAnswer) {
    TSilentListener silent;
    if (!silent.Full()) GTEST_SKIP() << "the accept queue could not be filled";
    auto connect = std::async(std::launch::async, [&] {
        TIdCancellation::TScope scope(cancellation_);
        TIdSocketHandle socket;
        socket.AllocateSocket();
        socket.SetPeer("127.0.0.1", silent.Port());
        const bool connected = socket.Connect(10000);
        TIdBytes buffer(16);
        // Either the connect reports the interruption or the first receive does.
        if (connected) socket.Receive(buffer);
        return connected;
    });
    std::this_thread::sleep_for(100ms);
    cancellation_->Cancel();
    ASSERT_EQ(connect.wait_for(2s), std::future_status::ready);
    EXPECT_THROW(connect.get(), EIdSocketError);
}

TEST_F(IdCancellationTest, SocketsMadeAfterTheCancelDoNotConnectAndResetStartsAfresh) {
    TLoopbackServer server([](int) {}, 2);
    TIdCancellation::TScope scope(cancellation_);
    cancellation_->Cancel();
    {
        TIdSocketHandle socket;
        socket.AllocateSocket();
        socket.SetPeer("127.0.0.1", server.Port());
        try {
            socket.Connect(3000);
            FAIL() << "connected although cancelled";
        } catch (const EIdSocketError& e) {
            EXPECT_EQ(e.LastError(), Id_WSAEINTR);
        }
    }
    cancellation_->Reset();
    TIdSocketHandle socket;
    socket.AllocateSocket();
    socket.SetPeer("127.0.0.1", server.Port());
    EXPECT_TRUE(socket.Connect(3000));
    socket.CloseSocket();
    // A socket made outside every scope is no business of the cancellation.
    TIdCancellation::TScope none(nullptr);
    TIdSocketHandle outside;
    outside.AllocateSocket();
    cancellation_->Cancel();
    outside.SetPeer("127.0.0.1", server.Port());
    EXPECT_TRUE(outside.Connect(3000));
}

}  // namespace
