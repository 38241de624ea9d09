#include "runtime/LThreadEventQueue.h"

#include <exception>
#include <vector>

#include "runtime/LThreadEventQueueLinux.h"
#include "runtime/LogMessage.h"

LThreadEventQueue* LThreadEventQueue::Create() { return new LThreadEventQueueLinux(); }

LThreadEventQueue::LThreadEventQueue() : owner_(std::this_thread::get_id()) {}

LThreadEventQueue::~LThreadEventQueue() {
    for (const auto& entry : events_)
        delete entry.second;
}

void LThreadEventQueue::Post(LThreadEvent* event) {
    std::vector<LThreadEvent*> superseded;
    const size_t keep = event->KeepNewest();
    mutex_.Lock();
    if (keep > 0) {
        size_t same = 0;
        for (const auto& entry : events_)
            if (event->SameReport(*entry.second)) ++same;
        for (auto it = events_.begin(); same >= keep && it != events_.end();) {
            if (event->SameReport(*it->second)) {
                superseded.push_back(it->second);
                it = events_.erase(it);
                --same;
            } else {
                ++it;
            }
        }
    }
    const bool wasEmpty = events_.empty();
    const uint64_t sequence = nextSequence_++;
    events_.emplace_back(sequence, event);
    // What a Fire posts to its own queue belongs to the running dispatch.
    if (std::this_thread::get_id() == owner_ && dispatching_ > 0) dispatchLimit_ = sequence;
    mutex_.Unlock();
    for (LThreadEvent* old : superseded)
        delete old;
    // A queue that already holds events has a dispatch coming that takes this one too.
    if (wasEmpty) Signal();
}

size_t LThreadEventQueue::PendingCount() {
    mutex_.Lock();
    const size_t n = events_.size();
    mutex_.Unlock();
    return n;
}

void LThreadEventQueue::Dispatch() {
    ++dispatching_;
    mutex_.Lock();
    dispatchLimit_ = nextSequence_ - 1;
    mutex_.Unlock();
    bool more = false;
    for (;;) {
        LThreadEvent* event = nullptr;
        mutex_.Lock();
        if (!events_.empty()) {
            // A queue about to be deleted fires everything it still holds.
            if (events_.front().first <= dispatchLimit_ || deletePending_) {
                event = events_.front().second;
                events_.pop_front();
            } else {
                more = true;
            }
        }
        mutex_.Unlock();
        if (!event) break;
        // Fire runs from the run loop: an exception must not leave it, nor skip the
        // delete or the dispatch's bookkeeping.
        try {
            event->Fire();
        } catch (const std::exception& e) {
            LogMessage(kLogError, "LThreadEventQueue::Dispatch: exception in event: %s\n", e.what());
        } catch (...) {
            LogMessage(kLogError, "LThreadEventQueue::Dispatch: exception in event\n");
        }
        delete event;
    }
    --dispatching_;
    if (dispatching_ == 0 && deletePending_) {
        delete this;
        return;
    }
    // Events posted by other threads during this dispatch fire on a later pass; their
    // posts found the queue non-empty and raised no signal of their own.
    if (more) Signal();
}

void LThreadEventQueue::Release() {
    if (dispatching_ > 0)
        deletePending_ = true;
    else
        delete this;
}

LThreadEventQueueLinux::LThreadEventQueueLinux() : runLoop_(platform::RunLoop::Current()) {}

LThreadEventQueueLinux::~LThreadEventQueueLinux() {
    // A dispatch still waiting in the run loop must not reach a deleted queue.
    source_.Cancel();
}

void LThreadEventQueueLinux::Signal() {
    runLoop_.Post([this] { PerformSource(this); }, source_);
}

void LThreadEventQueueLinux::PerformSource(void* info) { static_cast<LThreadEventQueue*>(info)->Dispatch(); }
