#include "app/foundation/Clock.h"

#include "app/foundation/ServiceLayerError.h"

#include <QTimer>

#include <algorithm>
#include <climits>

Clock& Clock::system() {
    static SystemClock clock;
    return clock;
}

Scheduler& Scheduler::main() {
    static QtScheduler scheduler;
    return scheduler;
}

// ---- QtScheduler ----

namespace {

std::chrono::milliseconds g_maxStep{INT_MAX};

class QtTimer : public ScheduledTimer {
public:
    QtTimer(std::chrono::milliseconds delay, bool repeats, Scheduler::Callback callback)
        : interval_(std::max(delay, std::chrono::milliseconds(repeats ? 1 : 0))),
          repeats_(repeats),
          callback_(std::move(callback)) {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { step(); });
        arm(interval_);
    }

    void cancel() override {
        active_ = false;
        timer_.stop();
    }
    bool isActive() const override { return active_; }

private:
    void arm(std::chrono::milliseconds wait) {
        remaining_ = wait;
        const auto step = std::min(remaining_, g_maxStep);
        remaining_ -= step;
        timer_.start(int(step.count()));
    }

    void step() {
        if (!active_) return;
        if (remaining_.count() > 0) {
            const auto next = std::min(remaining_, g_maxStep);
            remaining_ -= next;
            timer_.start(int(next.count()));
            return;
        }
        if (repeats_)
            arm(interval_);
        else
            active_ = false;
        // The callback may destroy this timer: nothing of it is touched afterwards.
        auto callback = callback_;
        Guarded("timer", callback);
    }

    std::chrono::milliseconds interval_;
    std::chrono::milliseconds remaining_{0};
    bool repeats_;
    bool active_ = true;
    Scheduler::Callback callback_;
    QTimer timer_;
};

}  // namespace

std::unique_ptr<ScheduledTimer> QtScheduler::singleShot(std::chrono::milliseconds delay, Callback callback) {
    return std::make_unique<QtTimer>(std::max(delay, std::chrono::milliseconds(0)), false, std::move(callback));
}

std::unique_ptr<ScheduledTimer> QtScheduler::repeating(std::chrono::milliseconds interval, Callback callback) {
    return std::make_unique<QtTimer>(interval, true, std::move(callback));
}

void QtScheduler::setMaxStepForTesting(std::chrono::milliseconds step) {
    g_maxStep =
        step.count() > 0 ? std::min(step, std::chrono::milliseconds(INT_MAX)) : std::chrono::milliseconds(INT_MAX);
}

// ---- FakeScheduler ----

struct FakeScheduler::Entry {
    std::chrono::milliseconds due{0};
    std::chrono::milliseconds interval{0};  // 0: one-shot
    std::uint64_t order = 0;
    bool active = true;
    Callback callback;
};

namespace {

class FakeTimer : public ScheduledTimer {
public:
    explicit FakeTimer(std::shared_ptr<FakeScheduler::Entry> entry) : entry_(std::move(entry)) {}
    ~FakeTimer() override { cancel(); }
    void cancel() override;
    bool isActive() const override;

private:
    std::shared_ptr<FakeScheduler::Entry> entry_;
};

}  // namespace

void FakeTimer::cancel() { entry_->active = false; }
bool FakeTimer::isActive() const { return entry_->active; }

FakeScheduler::~FakeScheduler() {
    for (auto& e : entries_)
        e->active = false;
}

std::unique_ptr<ScheduledTimer> FakeScheduler::add(std::chrono::milliseconds delay, std::chrono::milliseconds interval,
                                                   Callback callback) {
    auto entry = std::make_shared<Entry>();
    entry->due = now_ + std::max(delay, std::chrono::milliseconds(0));
    entry->interval = interval;
    entry->order = sequence_++;
    entry->callback = std::move(callback);
    entries_.push_back(entry);
    return std::make_unique<FakeTimer>(entry);
}

std::unique_ptr<ScheduledTimer> FakeScheduler::singleShot(std::chrono::milliseconds delay, Callback callback) {
    return add(delay, std::chrono::milliseconds(0), std::move(callback));
}

std::unique_ptr<ScheduledTimer> FakeScheduler::repeating(std::chrono::milliseconds interval, Callback callback) {
    interval = std::max(interval, std::chrono::milliseconds(1));
    return add(interval, interval, std::move(callback));
}

int FakeScheduler::pendingCount() const {
    return int(std::count_if(entries_.begin(), entries_.end(), [](const auto& e) { return e->active; }));
}

void FakeScheduler::advance(std::chrono::milliseconds d) {
    const auto end = now_ + std::max(d, std::chrono::milliseconds(0));
    for (;;) {
        entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [](const auto& e) { return !e->active; }),
                       entries_.end());
        std::shared_ptr<Entry> next;
        for (const auto& e : entries_)
            if (e->due <= end && (!next || e->due < next->due || (e->due == next->due && e->order < next->order)))
                next = e;
        if (!next) break;
        if (clock_) clock_->advance(next->due - now_);
        now_ = next->due;
        if (next->interval.count() > 0) {
            next->due += next->interval;
            next->order = sequence_++;
        } else {
            next->active = false;
        }
        auto callback = next->callback;
        Guarded("timer", callback);
    }
    if (clock_) clock_->advance(end - now_);
    now_ = end;
}
