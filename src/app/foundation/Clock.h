#pragma once

// Time for the application layer: an injectable wall clock (UTC) and timer scheduler,
// with fakes that tests set and advance, so logic is tested without sleeping.

#include <QDateTime>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class Clock {
public:
    virtual ~Clock() = default;
    // The current time in UTC.
    virtual QDateTime now() const = 0;

    static Clock& system();
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
};

class FakeClock : public Clock {
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2007, 1, 1), QTime(12, 0), Qt::UTC)) : now_(start.toUTC()) {}
    QDateTime now() const override { return now_; }
    void set(const QDateTime& t) { now_ = t.toUTC(); }
    void advance(std::chrono::milliseconds d) { now_ = now_.addMSecs(d.count()); }

private:
    QDateTime now_;
};

// A timer made by a Scheduler. Destroying it (or cancel()) means its callback never
// runs again, also from inside the callback itself.
class ScheduledTimer {
public:
    virtual ~ScheduledTimer() = default;
    virtual void cancel() = 0;
    virtual bool isActive() const = 0;
};

// Callbacks run on the scheduler's thread inside the event-loop guard: an exception is
// logged as one line and the loop (and a repeating timer) goes on.
class Scheduler {
public:
    virtual ~Scheduler() = default;
    using Callback = std::function<void()>;

    // Fires once after `delay` (negative counts as 0).
    [[nodiscard]] virtual std::unique_ptr<ScheduledTimer> singleShot(std::chrono::milliseconds delay,
                                                                     Callback callback) = 0;
    // Fires every `interval` (at least 1 ms) until cancelled.
    [[nodiscard]] virtual std::unique_ptr<ScheduledTimer> repeating(std::chrono::milliseconds interval,
                                                                    Callback callback) = 0;

    // The application's scheduler, on QTimer.
    static Scheduler& main();
};

// Timers over QTimer on the calling thread's event loop. A delay beyond what a QTimer
// takes (an int of milliseconds, about 24.8 days) is waited out in steps, so it never
// fires early.
class QtScheduler : public Scheduler {
public:
    std::unique_ptr<ScheduledTimer> singleShot(std::chrono::milliseconds delay, Callback callback) override;
    std::unique_ptr<ScheduledTimer> repeating(std::chrono::milliseconds interval, Callback callback) override;

    // The longest single QTimer wait (tests lower it to see the steps).
    static void setMaxStepForTesting(std::chrono::milliseconds step);
};

// Timers that fire only when the test advances time: in order of their due times (then
// of their making), each with the clock (when given) set to its due time.
class FakeScheduler : public Scheduler {
public:
    explicit FakeScheduler(FakeClock* clock = nullptr) : clock_(clock) {}
    ~FakeScheduler() override;

    std::unique_ptr<ScheduledTimer> singleShot(std::chrono::milliseconds delay, Callback callback) override;
    std::unique_ptr<ScheduledTimer> repeating(std::chrono::milliseconds interval, Callback callback) override;

    // Runs every timer due within `d`, then leaves the time `d` later.
    void advance(std::chrono::milliseconds d);
    // Timers waiting to fire.
    int pendingCount() const;
    // Milliseconds since the scheduler was made.
    std::chrono::milliseconds elapsed() const { return now_; }

    struct Entry;

private:
    std::unique_ptr<ScheduledTimer> add(std::chrono::milliseconds delay, std::chrono::milliseconds interval,
                                        Callback callback);
    FakeClock* clock_;
    std::chrono::milliseconds now_{0};
    std::uint64_t sequence_ = 0;
    std::vector<std::shared_ptr<Entry>> entries_;
};
