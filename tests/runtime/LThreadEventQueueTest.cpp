#include "runtime/LThreadEventQueue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/RunLoop.h"

using namespace std::chrono_literals;

namespace {

constexpr auto kWait = 5s;

// Records what happens, in order; touched on the owning thread only.
struct Journal {
    std::vector<std::string> lines;
    std::vector<std::thread::id> fireThreads;
};

class RecordingEvent : public LThreadEvent {
public:
    RecordingEvent(Journal& journal, std::string name, std::function<void()> onFire = {})
        : journal_(journal), name_(std::move(name)), onFire_(std::move(onFire)) {}
    ~RecordingEvent() override { journal_.lines.push_back("delete " + name_); }
    void Fire() override {
        journal_.lines.push_back("fire " + name_);
        journal_.fireThreads.push_back(std::this_thread::get_id());
        if (onFire_) onFire_();
    }

private:
    Journal& journal_;
    std::string name_;
    std::function<void()> onFire_;
};

// A queue without a run loop: counts its signals; the test dispatches by hand.
class ManualQueue : public LThreadEventQueue {
public:
    explicit ManualQueue(bool* deleted = nullptr) : deleted_(deleted) {}
    void Signal() override { ++signals; }
    int signals = 0;

protected:
    ~ManualQueue() override {
        if (deleted_) *deleted_ = true;
    }

private:
    bool* deleted_;
};

TEST(LThreadEventQueue, EventsFromAWorkerFireOnOwningThreadInOrder) {
    Journal journal;
    LThreadEventQueue* queue = LThreadEventQueue::Create();
    std::thread worker([&] {
        for (const char* name : {"A", "B", "C"})
            queue->Post(new RecordingEvent(journal, name));
    });
    worker.join();
    EXPECT_TRUE(journal.lines.empty());

    ASSERT_TRUE(platform::RunLoop::Current().RunUntil([&] { return journal.lines.size() == 6; }, kWait));
    EXPECT_EQ(journal.lines,
              (std::vector<std::string>{"fire A", "delete A", "fire B", "delete B", "fire C", "delete C"}));
    for (auto id : journal.fireThreads)
        EXPECT_EQ(id, std::this_thread::get_id());
    queue->Release();
}

TEST(LThreadEventQueue, PostFromOwningThreadNeverFiresInsidePost) {
    Journal journal;
    LThreadEventQueue* queue = LThreadEventQueue::Create();
    queue->Post(new RecordingEvent(journal, "A"));
    EXPECT_TRUE(journal.lines.empty());
    ASSERT_TRUE(platform::RunLoop::Current().RunUntil([&] { return journal.lines.size() == 2; }, kWait));
    queue->Release();
}

TEST(LThreadEventQueue, OnlyThePostIntoAnEmptyQueueSignals) {
    Journal journal;
    auto* queue = new ManualQueue();
    for (const char* name : {"A", "B", "C"})
        queue->Post(new RecordingEvent(journal, name));
    EXPECT_EQ(queue->signals, 1);
    queue->Dispatch();
    EXPECT_EQ(journal.lines.size(), 6u);
    queue->Post(new RecordingEvent(journal, "D"));
    EXPECT_EQ(queue->signals, 2);
    queue->Release();  // D is deleted unfired
    EXPECT_EQ(journal.lines.back(), "delete D");
}

TEST(LThreadEventQueue, EventPostedByAFiringEventFiresInTheSameDispatch) {
    Journal journal;
    auto* queue = new ManualQueue();
    queue->Post(new RecordingEvent(journal, "A", [&] { queue->Post(new RecordingEvent(journal, "A2")); }));
    queue->Post(new RecordingEvent(journal, "B"));
    queue->Dispatch();
    EXPECT_EQ(journal.lines,
              (std::vector<std::string>{"fire A", "delete A", "fire B", "delete B", "fire A2", "delete A2"}));
    queue->Release();
}

TEST(LThreadEventQueue, ReleaseInsideDispatchIsDeferredUntilTheQueueIsDrained) {
    Journal journal;
    bool deleted = false;
    auto* queue = new ManualQueue(&deleted);
    queue->Post(new RecordingEvent(journal, "A", [&] {
        queue->Release();
        journal.lines.push_back(deleted ? "deleted early" : "still alive");
    }));
    queue->Post(new RecordingEvent(journal, "B"));
    queue->Dispatch();
    EXPECT_TRUE(deleted);
    EXPECT_EQ(journal.lines, (std::vector<std::string>{"fire A", "still alive", "delete A", "fire B", "delete B"}));
}

TEST(LThreadEventQueue, ReleaseOutsideDispatchDeletesAtOnce) {
    bool deleted = false;
    auto* queue = new ManualQueue(&deleted);
    queue->Release();
    EXPECT_TRUE(deleted);
}

TEST(LThreadEventQueue, ReleasedQueueDropsQueuedEventsAndItsPendingDispatch) {
    Journal journal;
    LThreadEventQueue* queue = LThreadEventQueue::Create();
    queue->Post(new RecordingEvent(journal, "A"));
    queue->Release();  // the run loop still holds the dispatch this post asked for
    EXPECT_EQ(journal.lines, (std::vector<std::string>{"delete A"}));
    platform::RunLoop::Current().RunFor(20ms);
    EXPECT_EQ(journal.lines.size(), 1u);
}

TEST(LThreadEventQueue, ReleaseFromInsideARunLoopDispatch) {
    Journal journal;
    LThreadEventQueue* queue = LThreadEventQueue::Create();
    queue->Post(new RecordingEvent(journal, "A", [&] { queue->Release(); }));
    queue->Post(new RecordingEvent(journal, "B"));
    ASSERT_TRUE(platform::RunLoop::Current().RunUntil([&] { return journal.lines.size() == 4; }, kWait));
    EXPECT_EQ(journal.lines.back(), "delete B");
}

TEST(LThreadEventQueue, ThrowingEventIsDeletedAndTheRestStillFire) {
    Journal journal;
    auto* queue = new ManualQueue();
    queue->Post(new RecordingEvent(journal, "A", [] { throw std::runtime_error("listener failed"); }));
    queue->Post(new RecordingEvent(journal, "B"));
    queue->Dispatch();
    EXPECT_EQ(journal.lines, (std::vector<std::string>{"fire A", "delete A", "fire B", "delete B"}));
    queue->Release();
}

TEST(LThreadEventQueue, ManyWorkersLoseNoEvent) {
    LThreadEventQueue* queue = LThreadEventQueue::Create();
    int fired = 0;
    struct Count : LThreadEvent {
        explicit Count(int& n) : n(n) {}
        void Fire() override { ++n; }
        int& n;
    };
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w)
        workers.emplace_back([&] {
            for (int i = 0; i < 2000; ++i)
                queue->Post(new Count(fired));
        });
    // Dispatches run while the workers post, so posts race with draining.
    ASSERT_TRUE(platform::RunLoop::Current().RunUntil([&] { return fired == 8000; }, kWait));
    for (auto& w : workers)
        w.join();
    queue->Release();
}

// A report of `topic` of which only the newest `keep` matter.
class NewestOnlyEvent : public RecordingEvent {
public:
    NewestOnlyEvent(Journal& journal, std::string name, int topic, size_t keep)
        : RecordingEvent(journal, std::move(name)), topic_(topic), keep_(keep) {}
    size_t KeepNewest() const override { return keep_; }
    bool SameReport(const LThreadEvent& queued) const override {
        const auto* other = dynamic_cast<const NewestOnlyEvent*>(&queued);
        return other && other->topic_ == topic_;
    }

private:
    int topic_;
    size_t keep_;
};

TEST(LThreadEventQueue, NewerReportsDropTheOldestQueuedOnesBeyondTheirLimitAndKeepTheOrder) {
    Journal journal;
    auto* queue = new ManualQueue();
    queue->Post(new NewestOnlyEvent(journal, "title 1", 1, 2));
    queue->Post(new RecordingEvent(journal, "state"));
    queue->Post(new NewestOnlyEvent(journal, "position 1", 2, 1));
    queue->Post(new NewestOnlyEvent(journal, "title 2", 1, 2));
    EXPECT_TRUE(journal.lines.empty());
    queue->Post(new NewestOnlyEvent(journal, "title 3", 1, 2));
    queue->Post(new NewestOnlyEvent(journal, "position 2", 2, 1));
    // The dropped ones go unfired at once; the rest fire in the order of posting.
    EXPECT_EQ(journal.lines, (std::vector<std::string>{"delete title 1", "delete position 1"}));
    EXPECT_EQ(queue->PendingCount(), 4u);
    queue->Dispatch();
    EXPECT_EQ(journal.lines, (std::vector<std::string>{"delete title 1", "delete position 1", "fire state",
                                                       "delete state", "fire title 2", "delete title 2", "fire title 3",
                                                       "delete title 3", "fire position 2", "delete position 2"}));
    EXPECT_EQ(queue->signals, 1);
    queue->Release();
}

TEST(LThreadEventQueue, EventsOtherThreadsPostDuringADispatchWaitForTheNextPass) {
    Journal journal;
    auto* queue = new ManualQueue();
    queue->Post(new RecordingEvent(
        journal, "A", [&] { std::thread([&] { queue->Post(new RecordingEvent(journal, "B")); }).join(); }));
    queue->Post(new RecordingEvent(journal, "C"));
    EXPECT_EQ(queue->signals, 1);
    queue->Dispatch();
    // B came from a worker while A fired: the dispatch ends after C and asks for another.
    EXPECT_EQ(journal.lines, (std::vector<std::string>{"fire A", "delete A", "fire C", "delete C"}));
    EXPECT_EQ(queue->signals, 2);
    queue->Dispatch();
    EXPECT_EQ(journal.lines.back(), "delete B");
    queue->Release();
}

}  // namespace
