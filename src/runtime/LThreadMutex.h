#pragma once

// Platform-neutral mutex: a front holding a factory-made implementation.
// Not recursive: never lock it twice on one thread.

class LThreadMutexImpl {
public:
    virtual ~LThreadMutexImpl() = default;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;

    // A new platform mutex, owned by the caller.
    static LThreadMutexImpl* Create();
};

class LThreadMutex {
public:
    LThreadMutex();
    ~LThreadMutex();
    LThreadMutex(const LThreadMutex&) = delete;
    LThreadMutex& operator=(const LThreadMutex&) = delete;

    void Lock() { impl_->Lock(); }
    void Unlock() { impl_->Unlock(); }

    LThreadMutexImpl* GetImpl() const { return impl_; }

private:
    LThreadMutexImpl* impl_;
};
