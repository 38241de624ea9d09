#include "runtime/LThread.h"

#include <cxxabi.h>

#include <exception>

#include "runtime/LThreadCondition.h"
#include "runtime/LogMessage.h"

LThreadMutex::LThreadMutex() : impl_(LThreadMutexImpl::Create()) {}
LThreadMutex::~LThreadMutex() { delete impl_; }

LThreadCondition::LThreadCondition() : impl_(LThreadConditionImpl::Create()) {}
LThreadCondition::~LThreadCondition() { delete impl_; }

LThread::LThread() = default;

LThread::~LThread() {
    Join();
    delete impl_;
}

bool LThread::Start() {
    // started_ stays set until the thread is joined: a thread that exists but has not
    // yet run (or has finished) must not get a sibling running the same body.
    if (IsRunning() || started_) return true;
    started_ = true;
    if (!impl_) impl_ = LThreadImpl::Create();
    const bool ok = impl_->Start(&LThreadEntry, this);
    if (!ok) started_ = false;
    return ok;
}

bool LThread::Join() {
    if (!started_) return true;
    started_ = false;
    return impl_->Join();
}

bool LThread::IsRunning() {
    mutex_.Lock();
    const bool running = running_;
    mutex_.Unlock();
    return running;
}

void LThread::SetRunning(bool running) {
    mutex_.Lock();
    running_ = running;
    mutex_.Unlock();
}

void LThread::ThreadMain() {
    SetRunning(true);
    // An exception leaving a thread's start routine would end the process.
    try {
        Run();
    } catch (abi::__forced_unwind&) {
        SetRunning(false);
        throw;  // thread cancellation must unwind on
    } catch (const std::exception& e) {
        LogMessage(kLogError, "uncaught exception in thread: %s\n", e.what());
    } catch (...) {
        LogMessage(kLogError, "uncaught exception in thread\n");
    }
    SetRunning(false);
}

void* LThreadEntry(void* argument) {
    static_cast<LThread*>(argument)->ThreadMain();
    return nullptr;
}
