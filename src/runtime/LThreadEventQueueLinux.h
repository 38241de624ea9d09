#pragma once

#include "runtime/LThreadEventQueue.h"
#include "platform/RunLoop.h"

// The event queue bound to the run loop of the thread that constructs it. Signal posts
// one dispatch to that loop; a dispatch still pending when the queue goes never runs.
class LThreadEventQueueLinux : public LThreadEventQueue {
public:
    LThreadEventQueueLinux();
    void Signal() override;

    static void PerformSource(void* info);

protected:
    ~LThreadEventQueueLinux() override;

private:
    platform::RunLoop& runLoop_;
    platform::CallbackScope source_;
};
