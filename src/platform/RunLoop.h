#pragma once

// The run loop of a thread, standing in for a Core Foundation run loop.
//
// Every thread has at most one RunLoop, made by RunLoop::Current on first use and kept
// until the thread ends. Post may be called from any thread; the callable then runs on
// the loop's own thread on a later pass of its event loop (never inside Post), in the
// order of posting. Payloads are handed over through our own mutex-guarded queue; Qt
// only wakes the loop. Timers and descriptor watches belong to the thread that makes
// them and must be made, changed and destroyed there; destroying one means its callback
// never runs again, also when it is destroyed from inside that callback.
//
// Callbacks must not throw; one that does is caught and reported on stderr, and the loop
// carries on. Callables still queued when a thread ends are destroyed without running.
//
// This header includes no Qt, so the engine can use it.

#include <chrono>
#include <functional>
#include <memory>

namespace platform {

// Groups posted callbacks so their owner can cancel them: once Cancel has returned (or
// the scope is destroyed), no callback posted with it starts. A callback already
// running finishes first; Cancel from inside such a callback returns at once.
class CallbackScope {
public:
    CallbackScope();
    ~CallbackScope();
    CallbackScope(const CallbackScope&) = delete;
    CallbackScope& operator=(const CallbackScope&) = delete;

    void Cancel();
    bool IsCancelled() const;

    struct State;
    const std::shared_ptr<State>& GetState() const { return state_; }

private:
    std::shared_ptr<State> state_;
};

class RunLoop {
public:
    // The calling thread's run loop.
    static RunLoop& Current();

    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    // Any thread.
    void Post(std::function<void()> callback);
    void Post(std::function<void()> callback, const CallbackScope& scope);

    // Any thread.
    bool IsCurrentThread() const;

    // Owning thread: runs the loop until `done` returns true (checked after each pass
    // and at least every few milliseconds) or `timeout` has passed. Returns done().
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    // Owning thread: runs the loop for `duration`.
    void RunFor(std::chrono::milliseconds duration);

    struct Impl;
    Impl* GetImpl() const { return impl_.get(); }

private:
    RunLoop();
    std::unique_ptr<Impl> impl_;
};

// A one-shot or repeating timer on the calling thread's run loop.
class Timer {
public:
    explicit Timer(std::function<void()> callback);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    // (Re)starts the timer; a running one starts over.
    void Start(std::chrono::milliseconds interval, bool repeat);
    void Stop();
    bool IsActive() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Readiness of a file descriptor, reported on the calling thread's run loop.
class FdWatch {
public:
    enum : unsigned { kNone = 0, kRead = 1, kWrite = 2 };

    // `callback` (fd, kRead or kWrite) runs while the descriptor is ready for an event of
    // the current set (level-triggered). The descriptor must stay open while watched.
    FdWatch(int fd, std::function<void(int fd, unsigned event)> callback);
    ~FdWatch();
    FdWatch(const FdWatch&) = delete;
    FdWatch& operator=(const FdWatch&) = delete;

    void SetEvents(unsigned events);
    unsigned GetEvents() const;
    int GetFd() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
