#pragma once

#include <cstdint>

#include "runtime/LThreadMutex.h"

// Platform-neutral condition variable: a front holding a factory-made implementation.

class LThreadConditionImpl {
public:
    virtual ~LThreadConditionImpl() = default;
    virtual void Broadcast() = 0;
    // Waits with `mutex` locked by the caller. milliseconds 0 waits without a limit.
    // Returns true when the time ran out. May return early (spurious wake-up): callers
    // re-check their predicate in a loop.
    virtual bool Wait(LThreadMutexImpl* mutex, uint32_t milliseconds) = 0;

    // A new platform condition, owned by the caller.
    static LThreadConditionImpl* Create();
};

class LThreadCondition {
public:
    LThreadCondition();
    ~LThreadCondition();
    LThreadCondition(const LThreadCondition&) = delete;
    LThreadCondition& operator=(const LThreadCondition&) = delete;

    void Broadcast() { impl_->Broadcast(); }
    bool Wait(LThreadMutex& mutex, uint32_t milliseconds) { return impl_->Wait(mutex.GetImpl(), milliseconds); }

private:
    LThreadConditionImpl* impl_;
};
