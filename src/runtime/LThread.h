#pragma once

#include "runtime/LThreadMutex.h"

// A thread object whose subclass supplies the body (Run).
//
// Start, Join and the destructor run on the owning thread; the body runs on the new
// thread. Join waits exactly once for each thread Start created, also for one that has
// not yet begun to run. A subclass whose Run may still be executing must Join in its own
// destructor: by the time ~LThread runs, the subclass part is gone.

class LThreadImpl {
public:
    using Entry = void* (*)(void*);

    virtual ~LThreadImpl() = default;
    // True when the platform thread was created.
    [[nodiscard]] virtual bool Start(Entry entry, void* argument) = 0;
    // True when the join succeeded.
    virtual bool Join() = 0;

    // A new platform thread object (not yet started), owned by the caller.
    static LThreadImpl* Create();
};

class LThread {
public:
    LThread();
    virtual ~LThread();
    LThread(const LThread&) = delete;
    LThread& operator=(const LThread&) = delete;

    // Starts the thread. True when a thread was created, or one already exists (running
    // or not yet joined): Start never creates a second thread for one object.
    [[nodiscard]] bool Start();
    // Waits for the thread Start created. Returns at once (true) when there is none or
    // it has already been joined.
    bool Join();

    bool IsRunning();
    void SetRunning(bool running);

    // Runs on the new thread: SetRunning(true), Run, SetRunning(false).
    void ThreadMain();

protected:
    virtual void Run() = 0;

private:
    bool started_ = false;  // owning thread only
    bool running_ = false;  // guarded by mutex_
    LThreadImpl* impl_ = nullptr;
    LThreadMutex mutex_;
};

// The start routine handed to the platform: runs ThreadMain of the LThread given.
void* LThreadEntry(void* argument);
