#pragma once
// A sleep or wake timer: a time kept in the user defaults (a date, and whether it repeats
// daily) turned into a scheduled action. A daily time fires at its time of day by the
// local calendar, so a day across a change of daylight saving time is 23 or 25 hours long.
// Main thread only.

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "app/foundation/Clock.h"

class UserDefaults;

// The first moment after `now` at `date`'s local time of day: on `now`'s local day, or
// on the next calendar day when that has come. A time the clocks skip on that day comes out as
// the calendar makes it (an hour later).
QDateTime nextOccurrence(const QDateTime& date, const QDateTime& now);

class SleepWakeTimer {
public:
    SleepWakeTimer(UserDefaults& defaults, const Clock& clock, Scheduler& scheduler, QString dateKey,
                   QString repeatsKey, std::function<void()> action);
    ~SleepWakeTimer();

    // Schedules the stored time; without one (switched off, or a value that is no date)
    // the timer scheduled before is cancelled.
    void setup();
    // Fires after `seconds` with `action` (the default action when empty), again every
    // `seconds` when repeating. Cancels the timer scheduled before.
    void start(qint64 seconds, std::function<void()> action, bool repeats);
    void stop();
    bool isScheduled() const { return bool(timer_); }
    // When it fires next; none when nothing is scheduled.
    std::optional<QDateTime> fireDate() const { return timer_ ? std::optional<QDateTime>(fireDate_) : std::nullopt; }

    // The stored date; none when missing or not a date.
    std::optional<QDateTime> storedDate() const;
    bool storedRepeats() const;

private:
    void startAfter(qint64 milliseconds, std::function<void()> action, bool repeats);
    void arm(qint64 milliseconds);
    void fired();
    void defaultAction();

    UserDefaults& defaults_;
    const Clock& clock_;
    Scheduler& scheduler_;
    const QString dateKey_;
    const QString repeatsKey_;
    const std::function<void()> windowAction_;
    std::function<void()> action_;
    bool repeats_ = false;
    qint64 interval_ = 0;  // milliseconds
    QDateTime fireDate_;
    std::unique_ptr<ScheduledTimer> timer_;
};
