#include "runtime/LThread.h"
#include "runtime/LThreadCondition.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/Env.h"

using namespace std::chrono_literals;

namespace {

// A body that waits until released, so tests can act while it runs.
class GatedThread : public LThread {
public:
    ~GatedThread() override { OpenAndJoin(); }
    bool OpenAndJoin() {
        Open();
        joining = true;
        return Join();
    }
    void Open() {
        mutex.Lock();
        open = true;
        cond.Broadcast();
        mutex.Unlock();
    }

    std::atomic<int> bodies{0};
    std::atomic<bool> finished{false};
    std::atomic<bool> joining{false};

protected:
    void Run() override {
        ++bodies;
        mutex.Lock();
        while (!open)
            cond.Wait(mutex, 0);
        mutex.Unlock();
        // Ends only once the test is inside Join, so a Join that did not wait would be seen
        // however late the test got there.
        for (int i = 0; i < 10000 && !joining; ++i)
            std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(20ms);
        finished = true;
    }

private:
    LThreadMutex mutex;
    LThreadCondition cond;
    bool open = false;
};

// The thread's body has begun; false after a generous wait.
bool WaitUntilRunning(LThread& t) {
    const auto end = std::chrono::steady_clock::now() + zymtest::Scaled(10s);
    while (!t.IsRunning()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class SlowThread : public LThread {
public:
    ~SlowThread() override { Join(); }
    std::atomic<bool> finished{false};

protected:
    void Run() override {
        std::this_thread::sleep_for(30ms);
        finished = true;
    }
};

TEST(LThread, JoinRightAfterStartWaitsForTheBody) {
    SlowThread t;
    ASSERT_TRUE(t.Start());
    EXPECT_TRUE(t.Join());  // the thread has most likely not reached its body yet
    EXPECT_TRUE(t.finished);
    EXPECT_FALSE(t.IsRunning());
}

TEST(LThread, JoinWithoutStartReturnsAtOnce) {
    SlowThread t;
    EXPECT_TRUE(t.Join());
    EXPECT_FALSE(t.finished);
}

TEST(LThread, SecondJoinDoesNotWaitAgain) {
    SlowThread t;
    ASSERT_TRUE(t.Start());
    EXPECT_TRUE(t.Join());
    // A second platform join of the same thread would fail (or worse): it returns at once.
    EXPECT_TRUE(t.Join());
}

TEST(LThread, StartWhileRunningOrNotYetJoinedCreatesNoSecondThread) {
    GatedThread t;
    ASSERT_TRUE(t.Start());
    EXPECT_TRUE(t.Start());  // possibly before the first body began
    ASSERT_TRUE(WaitUntilRunning(t));
    EXPECT_TRUE(t.Start());
    ASSERT_TRUE(t.OpenAndJoin());
    EXPECT_TRUE(t.finished);
    EXPECT_EQ(t.bodies, 1);
}

TEST(LThread, RunningFlagFollowsTheBody) {
    GatedThread t;
    EXPECT_FALSE(t.IsRunning());
    ASSERT_TRUE(t.Start());
    ASSERT_TRUE(WaitUntilRunning(t));
    EXPECT_FALSE(t.finished);
    t.OpenAndJoin();
    EXPECT_FALSE(t.IsRunning());
}

TEST(LThreadCondition, TimedWaitTimesOutAndBroadcastWakes) {
    LThreadMutex mutex;
    LThreadCondition cond;

    mutex.Lock();
    const auto start = std::chrono::steady_clock::now();
    bool timedOut = cond.Wait(mutex, 30);
    while (!timedOut)  // a spurious wake-up is allowed
        timedOut = cond.Wait(mutex, 30);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
    mutex.Unlock();

    bool ready = false;
    std::thread waker([&] {
        std::this_thread::sleep_for(10ms);
        mutex.Lock();
        ready = true;
        cond.Broadcast();
        mutex.Unlock();
    });
    mutex.Lock();
    bool anyTimeout = false;
    while (!ready)
        anyTimeout |= cond.Wait(mutex, 5000);
    mutex.Unlock();
    waker.join();
    EXPECT_FALSE(anyTimeout);
}

}  // namespace
