#include "engine/base/LThreadEventQueue.h"

#include <exception>

#include "engine/base/LThreadEventQueueLinux.h"
#include "engine/base/LogMessage.h"

LThreadEventQueue* LThreadEventQueue::Create() { return new LThreadEventQueueLinux(); }

LThreadEventQueue::LThreadEventQueue() = default;

LThreadEventQueue::~LThreadEventQueue() {
    for (LThreadEvent* event : events_)
        delete event;
}

void LThreadEventQueue::Post(LThreadEvent* event) {
    mutex_.Lock();
    const bool wasEmpty = events_.empty();
    events_.push_back(event);
    mutex_.Unlock();
    // A queue that already holds events has a dispatch coming that takes this one too.
    if (wasEmpty) Signal();
}

void LThreadEventQueue::Dispatch() {
    ++dispatching_;
    for (;;) {
        LThreadEvent* event = nullptr;
        mutex_.Lock();
        if (!events_.empty()) {
            event = events_.front();
            events_.pop_front();
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
    if (dispatching_ == 0 && deletePending_) delete this;
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
