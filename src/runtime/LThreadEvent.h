#pragma once

#include <cstddef>

// Base of every event posted across threads. Made on the posting thread; the queue owns
// it from LThreadEventQueue::Post on, fires it on the queue's thread and deletes it.
class LThreadEvent {
public:
    virtual ~LThreadEvent() = default;
    virtual void Fire() = 0;
    // Reports of which only the newest few matter (a position, a track's metadata): an
    // event that keeps a limit (KeepNewest() > 0) is queued with at most that many of the
    // same report (SameReport) in front of it still unfired; older ones are dropped
    // unfired. A stream that reports faster than the owning thread takes its events must
    // not grow the queue.
    virtual size_t KeepNewest() const { return 0; }
    virtual bool SameReport(const LThreadEvent& queued) const {
        (void)queued;
        return false;
    }
};
