#include "runtime/LThreadImplLinux.h"

#include <cerrno>
#include <ctime>

LThreadMutexImpl* LThreadMutexImpl::Create() { return new LThreadMutexImplLinux(); }
LThreadConditionImpl* LThreadConditionImpl::Create() { return new LThreadConditionImplLinux(); }
LThreadImpl* LThreadImpl::Create() { return new LThreadImplLinux(); }

LThreadMutexImplLinux::LThreadMutexImplLinux() { pthread_mutex_init(&mutex_, nullptr); }
LThreadMutexImplLinux::~LThreadMutexImplLinux() { pthread_mutex_destroy(&mutex_); }
void LThreadMutexImplLinux::Lock() { pthread_mutex_lock(&mutex_); }
void LThreadMutexImplLinux::Unlock() { pthread_mutex_unlock(&mutex_); }

LThreadConditionImplLinux::LThreadConditionImplLinux() {
    // Timed waits measure against the monotonic clock, so a clock change cannot stretch them.
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&cond_, &attr);
    pthread_condattr_destroy(&attr);
}

LThreadConditionImplLinux::~LThreadConditionImplLinux() { pthread_cond_destroy(&cond_); }

void LThreadConditionImplLinux::Broadcast() { pthread_cond_broadcast(&cond_); }

bool LThreadConditionImplLinux::Wait(LThreadMutexImpl* mutex, uint32_t milliseconds) {
    pthread_mutex_t* native = static_cast<LThreadMutexImplLinux*>(mutex)->Native();
    if (milliseconds == 0) {
        pthread_cond_wait(&cond_, native);
        return false;
    }
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += milliseconds / 1000;
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    return pthread_cond_timedwait(&cond_, native, &deadline) == ETIMEDOUT;
}

bool LThreadImplLinux::Start(Entry entry, void* argument) {
    if (pthread_create(&thread_, nullptr, entry, argument) != 0) return false;
    created_ = true;
    return true;
}

bool LThreadImplLinux::Join() {
    if (!created_) return false;
    created_ = false;
    return pthread_join(thread_, nullptr) == 0;
}
