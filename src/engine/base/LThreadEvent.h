#pragma once

// Base of every event posted across threads. Made on the posting thread; the queue owns
// it from LThreadEventQueue::Post on, fires it on the queue's thread and deletes it.
class LThreadEvent {
public:
    virtual ~LThreadEvent() = default;
    virtual void Fire() = 0;
};
