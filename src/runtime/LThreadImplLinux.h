#pragma once

#include <pthread.h>

#include "runtime/LThread.h"
#include "runtime/LThreadCondition.h"
#include "runtime/LThreadMutex.h"

// POSIX implementations of the thread layer.

class LThreadMutexImplLinux : public LThreadMutexImpl {
public:
    LThreadMutexImplLinux();
    ~LThreadMutexImplLinux() override;
    void Lock() override;
    void Unlock() override;
    pthread_mutex_t* Native() { return &mutex_; }

private:
    pthread_mutex_t mutex_;
};

class LThreadConditionImplLinux : public LThreadConditionImpl {
public:
    LThreadConditionImplLinux();
    ~LThreadConditionImplLinux() override;
    void Broadcast() override;
    bool Wait(LThreadMutexImpl* mutex, uint32_t milliseconds) override;

private:
    pthread_cond_t cond_;
};

class LThreadImplLinux : public LThreadImpl {
public:
    ~LThreadImplLinux() override = default;
    bool Start(Entry entry, void* argument) override;
    bool Join() override;

private:
    pthread_t thread_{};
    bool created_ = false;
};
