// The run loop in the manner of a main-loop test: callbacks arrive on the owning thread
// in order, a callback whose owner is gone never runs, and a thread that ends with work
// still queued ends cleanly.

#include "platform/RunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace std::chrono_literals;
using platform::CallbackScope;
using platform::FdWatch;
using platform::RunLoop;
using platform::Timer;

namespace {

constexpr auto kWait = 5s;  // generous bound; tests finish as soon as the condition holds

TEST(RunLoop, CallbacksFromWorkersRunOnOwningThreadInOrder) {
    RunLoop& loop = RunLoop::Current();
    const auto owner = std::this_thread::get_id();
    std::vector<int> seen;  // touched on the owning thread only
    std::atomic<int> wrongThread{0};

    std::thread worker([&] {
        for (int i = 0; i < 100; ++i)
            loop.Post([&, i] {
                if (std::this_thread::get_id() != owner) ++wrongThread;
                seen.push_back(i);
            });
    });
    worker.join();

    ASSERT_TRUE(loop.RunUntil([&] { return seen.size() == 100; }, kWait));
    EXPECT_EQ(wrongThread.load(), 0);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(seen[i], i);
}

TEST(RunLoop, PostFromOwningThreadRunsOnALaterPassNotInsidePost) {
    RunLoop& loop = RunLoop::Current();
    EXPECT_TRUE(loop.IsCurrentThread());
    std::vector<std::string> order;
    loop.Post([&] {
        order.push_back("first");
        // A post from inside a callback also waits for a later pass.
        loop.Post([&] { order.push_back("nested"); });
        order.push_back("first done");
    });
    loop.Post([&] { order.push_back("second"); });
    EXPECT_TRUE(order.empty());

    ASSERT_TRUE(loop.RunUntil([&] { return order.size() == 4; }, kWait));
    EXPECT_EQ(order, (std::vector<std::string>{"first", "first done", "second", "nested"}));
}

TEST(RunLoop, CallbackOfCancelledOrDestroyedOwnerNeverRuns) {
    RunLoop& loop = RunLoop::Current();
    bool ranCancelled = false;
    bool ranDestroyed = false;
    bool ranLive = false;
    auto payload = std::make_shared<int>(7);
    std::weak_ptr<int> watch = payload;

    CallbackScope live;
    {
        CallbackScope destroyed;
        loop.Post([&, payload] { ranDestroyed = true; }, destroyed);
    }
    payload.reset();
    CallbackScope cancelled;
    loop.Post([&] { ranCancelled = true; }, cancelled);
    cancelled.Cancel();
    EXPECT_TRUE(cancelled.IsCancelled());
    loop.Post([&] { ranLive = true; }, live);

    ASSERT_TRUE(loop.RunUntil([&] { return ranLive; }, kWait));
    EXPECT_FALSE(ranCancelled);
    EXPECT_FALSE(ranDestroyed);
    EXPECT_TRUE(watch.expired()) << "a dropped callback's captures are released";
}

TEST(RunLoop, CancelFromInsideOwnCallbackStopsLaterOnes) {
    RunLoop& loop = RunLoop::Current();
    auto scope = std::make_unique<CallbackScope>();
    int runs = 0;
    bool done = false;
    loop.Post(
        [&] {
            ++runs;
            scope.reset();
        },
        *scope);
    loop.Post([&] { ++runs; }, *scope);
    loop.Post([&] { done = true; });
    ASSERT_TRUE(loop.RunUntil([&] { return done; }, kWait));
    EXPECT_EQ(runs, 1);
}

TEST(RunLoop, ThrowingCallbackDoesNotStopTheLoop) {
    RunLoop& loop = RunLoop::Current();
    bool after = false;
    loop.Post([] { throw std::runtime_error("boom"); });
    loop.Post([&] { after = true; });
    EXPECT_TRUE(loop.RunUntil([&] { return after; }, kWait));
}

TEST(RunLoop, RunUntilReturnsFalseAtTimeout) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(RunLoop::Current().RunUntil([] { return false; }, 50ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
}

TEST(RunLoop, EachThreadHasItsOwnLoop) {
    RunLoop* main = &RunLoop::Current();
    RunLoop* other = nullptr;
    bool ranOnOther = false;
    bool timerOnOther = false;
    std::thread t([&] {
        Timer timer([&] { timerOnOther = true; });  // made before the thread's loop is
        timer.Start(1ms, false);
        other = &RunLoop::Current();
        other->Post([&] { ranOnOther = true; });
        other->RunUntil([&] { return ranOnOther && timerOnOther; }, kWait);
    });
    t.join();
    EXPECT_NE(main, other);
    EXPECT_TRUE(ranOnOther);
    EXPECT_TRUE(timerOnOther);
}

TEST(RunLoop, ThreadEndingWithWorkPendingDropsItCleanly) {
    auto payload = std::make_shared<int>(1);
    std::weak_ptr<int> watch = payload;
    std::atomic<bool> ran{false};
    RunLoop* loop = nullptr;
    std::thread t([&] {
        loop = &RunLoop::Current();
        // The thread ends without running its loop again.
        loop->Post([&ran, p = payload] { ran = true; });
        loop->Post([&ran] { ran = true; });
    });
    t.join();
    payload.reset();
    EXPECT_FALSE(ran.load());
    EXPECT_TRUE(watch.expired()) << "queued callables are destroyed with the thread's loop";
}

TEST(RunLoopTimer, OneShotFiresOnceAndRepeatingUntilStopped) {
    RunLoop& loop = RunLoop::Current();
    int once = 0;
    int repeat = 0;
    Timer oneShot([&] { ++once; });
    Timer repeating([&] { ++repeat; });
    oneShot.Start(5ms, false);
    repeating.Start(5ms, true);
    EXPECT_TRUE(oneShot.IsActive());
    ASSERT_TRUE(loop.RunUntil([&] { return repeat >= 3; }, kWait));
    repeating.Stop();
    EXPECT_FALSE(repeating.IsActive());
    const int stoppedAt = repeat;
    loop.RunFor(30ms);
    EXPECT_EQ(once, 1);
    EXPECT_FALSE(oneShot.IsActive());
    EXPECT_EQ(repeat, stoppedAt);
}

TEST(RunLoopTimer, DestroyedTimerNeverFiresAlsoFromInsideItsCallback) {
    RunLoop& loop = RunLoop::Current();
    bool firedDestroyed = false;
    {
        Timer t([&] { firedDestroyed = true; });
        t.Start(1ms, false);
    }
    int selfFires = 0;
    std::unique_ptr<Timer> self;
    self = std::make_unique<Timer>([&] {
        ++selfFires;
        self.reset();
    });
    self->Start(1ms, true);
    ASSERT_TRUE(loop.RunUntil([&] { return !self; }, kWait));
    loop.RunFor(20ms);
    EXPECT_FALSE(firedDestroyed);
    EXPECT_EQ(selfFires, 1);
}

TEST(RunLoopFdWatch, ReportsReadAndWriteReadiness) {
    RunLoop& loop = RunLoop::Current();
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
    std::vector<unsigned> readEvents;
    std::vector<unsigned> writeEvents;
    std::string got;
    {
        FdWatch reader(fds[0], [&](int fd, unsigned event) {
            readEvents.push_back(event);
            char buf[16];
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n > 0) got.append(buf, static_cast<size_t>(n));
        });
        FdWatch writer(fds[1], [&](int, unsigned event) { writeEvents.push_back(event); });
        reader.SetEvents(FdWatch::kRead);
        EXPECT_EQ(reader.GetEvents(), FdWatch::kRead);
        EXPECT_EQ(reader.GetFd(), fds[0]);

        loop.RunFor(20ms);
        EXPECT_TRUE(readEvents.empty()) << "nothing to read yet";
        ASSERT_EQ(write(fds[1], "abc", 3), 3);
        ASSERT_TRUE(loop.RunUntil([&] { return got == "abc"; }, kWait));
        for (unsigned e : readEvents)
            EXPECT_EQ(e, FdWatch::kRead);

        writer.SetEvents(FdWatch::kWrite);
        ASSERT_TRUE(loop.RunUntil([&] { return !writeEvents.empty(); }, kWait));
        EXPECT_EQ(writeEvents.front(), FdWatch::kWrite);
        // Activations are delivered inside the loop's passes, so none is on its way here:
        // from now on the always-writable pipe must stay unreported.
        writer.SetEvents(FdWatch::kNone);
        const size_t writesSoFar = writeEvents.size();
        loop.RunFor(20ms);
        EXPECT_EQ(writeEvents.size(), writesSoFar);
    }
    close(fds[0]);
    close(fds[1]);
}

TEST(RunLoopFdWatch, WatchDestroyedInsideItsCallbackStops) {
    RunLoop& loop = RunLoop::Current();
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    int calls = 0;
    std::unique_ptr<FdWatch> watch;
    watch = std::make_unique<FdWatch>(fds[0], [&](int, unsigned) {
        ++calls;
        watch.reset();  // data stays unread: a live watch would fire again
    });
    watch->SetEvents(FdWatch::kRead);
    ASSERT_TRUE(loop.RunUntil([&] { return !watch; }, kWait));
    loop.RunFor(20ms);
    EXPECT_EQ(calls, 1);
    close(fds[0]);
    close(fds[1]);
}

}  // namespace
