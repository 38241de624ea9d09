#pragma once

#include <cstdint>
#include <deque>
#include <thread>
#include <utility>

#include "runtime/LThreadEvent.h"
#include "runtime/LThreadMutex.h"

// A queue of events that belongs to one thread (the thread that created it).
//
// Post may be called from any thread. The first post into an empty queue calls Signal,
// which makes the owning thread's run loop call Dispatch on a later pass; Dispatch fires
// and deletes the events in the order they were posted. An event posted while a
// dispatch runs (also from inside a Fire) is taken by that dispatch. Dispatch and
// Release run on the owning thread only. Release deletes the queue, or, when called
// from inside its own dispatch, lets the dispatch fire what is still queued and then
// delete the queue. Events still queued at deletion are deleted without firing.
//
// Bounds: a posted event that keeps a limit (LThreadEvent::KeepNewest) drops the oldest
// queued events of the same report beyond it, and a dispatch fires only what was queued when it began, plus what the
// owning thread posts meanwhile; events other threads post during it wait for the next pass, so a thread that posts
// without pause cannot keep the run loop from its other work (a quit, a signal, a timer).
class LThreadEventQueue {
public:
    // A queue bound to the calling thread's run loop; end it with Release.
    static LThreadEventQueue* Create();

    virtual void Post(LThreadEvent* event);
    virtual void Signal() = 0;
    virtual void Dispatch();

    void Release();

    // Events waiting to fire; any thread.
    size_t PendingCount();

protected:
    LThreadEventQueue();
    virtual ~LThreadEventQueue();
    LThreadEventQueue(const LThreadEventQueue&) = delete;
    LThreadEventQueue& operator=(const LThreadEventQueue&) = delete;

private:
    LThreadMutex mutex_;
    // (sequence number, event), in the order of posting; guarded by mutex_.
    std::deque<std::pair<uint64_t, LThreadEvent*>> events_;
    uint64_t nextSequence_ = 1;  // guarded by mutex_
    const std::thread::id owner_;
    bool deletePending_ = false;  // owning thread only
    int dispatching_ = 0;         // owning thread only; depth of nested dispatches
    uint64_t dispatchLimit_ = 0;  // owning thread only; the last event the dispatch takes
};
