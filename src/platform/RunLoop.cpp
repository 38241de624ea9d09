#include "platform/RunLoop.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {

namespace {

// Nothing throws into the Qt event loop.
void Invoke(const std::function<void()>& callback, const char* what) {
    try {
        callback();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "platform::RunLoop: exception in %s: %s\n", what, e.what());
    } catch (...) {
        std::fprintf(stderr, "platform::RunLoop: exception in %s\n", what);
    }
}

}  // namespace

// ---- CallbackScope ----------------------------------------------------------------------

struct CallbackScope::State {
    // Held while one of the scope's callbacks runs, so Cancel from another thread waits
    // for it; recursive so Cancel from inside the callback does not deadlock.
    std::recursive_mutex mutex;
    bool alive = true;
};

CallbackScope::CallbackScope() : state_(std::make_shared<State>()) {}
CallbackScope::~CallbackScope() { Cancel(); }

void CallbackScope::Cancel() {
    std::lock_guard<std::recursive_mutex> lock(state_->mutex);
    state_->alive = false;
}

bool CallbackScope::IsCancelled() const {
    std::lock_guard<std::recursive_mutex> lock(state_->mutex);
    return !state_->alive;
}

// ---- RunLoop ------------------------------------------------------------------------------

struct RunLoop::Impl {
    struct Item {
        std::function<void()> callback;
        std::shared_ptr<CallbackScope::State> scope;  // may be null
    };

    std::thread::id thread;
    // The wake-up is an eventfd watched on the loop's own thread: no Qt object crosses
    // threads, and ThreadSanitizer sees the write/read pair as the hand-over.
    int wakeFd = -1;
    QPointer<QSocketNotifier> notifier;  // lives in `thread`

    std::mutex mutex;  // guards items and wakePending
    std::deque<Item> items;
    bool wakePending = false;

    void Wake() {
        const uint64_t one = 1;
        if (write(wakeFd, &one, sizeof one) != sizeof one) {
            // Only a full counter refuses a write, and then a wake-up is already due.
        }
    }

    void Drain() {
        uint64_t value;
        if (read(wakeFd, &value, sizeof value) < 0) {
            // Nothing to read: a spurious activation; the queue decides below.
        }
        size_t count;
        {
            std::lock_guard<std::mutex> lock(mutex);
            wakePending = false;
            count = items.size();
        }
        // One item at a time from the shared queue, so that a nested loop run by a
        // callback keeps the order of posting.
        for (size_t i = 0; i < count; ++i) {
            Item item;
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (items.empty()) break;
                item = std::move(items.front());
                items.pop_front();
            }
            if (item.scope) {
                std::lock_guard<std::recursive_mutex> lock(item.scope->mutex);
                if (item.scope->alive) Invoke(item.callback, "posted callback");
            } else {
                Invoke(item.callback, "posted callback");
            }
        }
    }
};

namespace {

struct RunLoopHolder {
    std::unique_ptr<RunLoop> loop;
};

}  // namespace

RunLoop::RunLoop() : impl_(std::make_unique<Impl>()) {
    impl_->thread = std::this_thread::get_id();
    impl_->wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (impl_->wakeFd < 0) {
        std::perror("platform::RunLoop: eventfd");
        std::abort();  // a loop that can never wake would hang every caller
    }
    // A thread not started by QThread gets its event dispatcher with its first QEventLoop;
    // notifiers and timers need it from the start.
    if (!QAbstractEventDispatcher::instance()) QEventLoop makesDispatcher;
    auto* notifier = new QSocketNotifier(impl_->wakeFd, QSocketNotifier::Read);
    Impl* impl = impl_.get();
    QObject::connect(notifier, &QSocketNotifier::activated, [impl] { impl->Drain(); });
    // On the application's thread the application deletes the notifier when it goes, so
    // no Qt object outlives QCoreApplication; other threads' die with their RunLoop.
    QCoreApplication* app = QCoreApplication::instance();
    if (app && app->thread() == QThread::currentThread()) notifier->setParent(app);
    impl_->notifier = notifier;
}

RunLoop::~RunLoop() {
    delete impl_->notifier.data();
    close(impl_->wakeFd);
    std::deque<Impl::Item> dropped;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        dropped.swap(impl_->items);
    }
}

RunLoop& RunLoop::Current() {
    // Qt's per-thread data must exist before our thread_local, so ours is destroyed
    // first when the thread ends.
    QThread::currentThread();
    thread_local RunLoopHolder holder;
    if (!holder.loop) holder.loop.reset(new RunLoop());
    return *holder.loop;
}

void RunLoop::Post(std::function<void()> callback) {
    bool wake;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->items.push_back({std::move(callback), nullptr});
        wake = !impl_->wakePending;
        impl_->wakePending = true;
    }
    if (wake) impl_->Wake();
}

void RunLoop::Post(std::function<void()> callback, const CallbackScope& scope) {
    bool wake;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->items.push_back({std::move(callback), scope.GetState()});
        wake = !impl_->wakePending;
        impl_->wakePending = true;
    }
    if (wake) impl_->Wake();
}

bool RunLoop::IsCurrentThread() const { return impl_->thread == std::this_thread::get_id(); }

bool RunLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(2);
    QObject::connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
    tick.start();
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return done();
        loop.exec();
    }
    return true;
}

void RunLoop::RunFor(std::chrono::milliseconds duration) {
    RunUntil([] { return false; }, duration);
}

// ---- Timer --------------------------------------------------------------------------------

struct Timer::Impl {
    QTimer* timer = nullptr;
    std::shared_ptr<std::function<void()>> callback;
};

Timer::Timer(std::function<void()> callback) : impl_(std::make_unique<Impl>()) {
    RunLoop::Current();  // the thread's event dispatcher
    impl_->callback = std::make_shared<std::function<void()>>(std::move(callback));
    impl_->timer = new QTimer();
    impl_->timer->setTimerType(Qt::PreciseTimer);
    // The callback may destroy this Timer: hold our own reference to it while it runs.
    std::weak_ptr<std::function<void()>> weak = impl_->callback;
    QObject::connect(impl_->timer, &QTimer::timeout, [weak] {
        if (auto cb = weak.lock()) Invoke(*cb, "timer callback");
    });
}

Timer::~Timer() {
    // Qt allows deleting a timer from inside its own timeout signal; the callback itself
    // is kept alive by the reference the signal handler holds.
    delete impl_->timer;
}

void Timer::Start(std::chrono::milliseconds interval, bool repeat) {
    impl_->timer->setSingleShot(!repeat);
    impl_->timer->start(static_cast<int>(interval.count()));
}

void Timer::Stop() { impl_->timer->stop(); }

bool Timer::IsActive() const { return impl_->timer->isActive(); }

// ---- FdWatch ------------------------------------------------------------------------------

struct FdWatch::Impl {
    int fd = -1;
    unsigned events = kNone;
    std::shared_ptr<std::function<void(int, unsigned)>> callback;
    QSocketNotifier* read = nullptr;
    QSocketNotifier* write = nullptr;
};

FdWatch::FdWatch(int fd, std::function<void(int, unsigned)> callback) : impl_(std::make_unique<Impl>()) {
    RunLoop::Current();  // the thread's event dispatcher
    impl_->fd = fd;
    impl_->callback = std::make_shared<std::function<void(int, unsigned)>>(std::move(callback));
    impl_->read = new QSocketNotifier(fd, QSocketNotifier::Read);
    impl_->write = new QSocketNotifier(fd, QSocketNotifier::Write);
    impl_->read->setEnabled(false);
    impl_->write->setEnabled(false);
    std::weak_ptr<std::function<void(int, unsigned)>> weak = impl_->callback;
    QObject::connect(impl_->read, &QSocketNotifier::activated, [weak, fd] {
        if (auto cb = weak.lock()) Invoke([&] { (*cb)(fd, kRead); }, "descriptor callback");
    });
    QObject::connect(impl_->write, &QSocketNotifier::activated, [weak, fd] {
        if (auto cb = weak.lock()) Invoke([&] { (*cb)(fd, kWrite); }, "descriptor callback");
    });
}

FdWatch::~FdWatch() {
    // Qt allows deleting a notifier from inside its own activated signal.
    delete impl_->read;
    delete impl_->write;
}

void FdWatch::SetEvents(unsigned events) {
    impl_->events = events & (kRead | kWrite);
    impl_->read->setEnabled((impl_->events & kRead) != 0);
    impl_->write->setEnabled((impl_->events & kWrite) != 0);
}

unsigned FdWatch::GetEvents() const { return impl_->events; }
int FdWatch::GetFd() const { return impl_->fd; }

}  // namespace platform
