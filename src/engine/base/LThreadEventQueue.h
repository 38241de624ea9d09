#pragma once

#include <deque>

#include "engine/base/LThreadEvent.h"
#include "engine/base/LThreadMutex.h"

// A queue of events that belongs to one thread (the thread that created it).
//
// Post may be called from any thread. The first post into an empty queue calls Signal,
// which makes the owning thread's run loop call Dispatch on a later pass; Dispatch fires
// and deletes the events in the order they were posted. An event posted while a
// dispatch runs (also from inside a Fire) is taken by that dispatch. Dispatch and
// Release run on the owning thread only. Release deletes the queue, or, when called
// from inside its own dispatch, lets the dispatch fire what is still queued and then
// delete the queue. Events still queued at deletion are deleted without firing.
class LThreadEventQueue {
public:
    // A queue bound to the calling thread's run loop; end it with Release.
    static LThreadEventQueue* Create();

    virtual void Post(LThreadEvent* event);
    virtual void Signal() = 0;
    virtual void Dispatch();

    void Release();

protected:
    LThreadEventQueue();
    virtual ~LThreadEventQueue();
    LThreadEventQueue(const LThreadEventQueue&) = delete;
    LThreadEventQueue& operator=(const LThreadEventQueue&) = delete;

private:
    LThreadMutex mutex_;
    std::deque<LThreadEvent*> events_;  // guarded by mutex_
    bool deletePending_ = false;        // owning thread only
    int dispatching_ = 0;               // owning thread only; depth of nested dispatches
};
