#pragma once
// The ticker of the current track's elapsed time: it extrapolates the play position from
// the last one the player reported and calls its delegate once per second, aligned to
// whole seconds of the track.

#include <QDateTime>

#include <memory>

#include <functional>

class Clock;
class ScheduledTimer;
class Scheduler;

// Pure formatting: whole seconds truncated toward zero as "mm:ss", minutes unbounded.
QString FormatMinutesSeconds(double seconds);

class RadioTrackTimeController {
public:
    RadioTrackTimeController(Clock& clock, Scheduler& scheduler);
    ~RadioTrackTimeController();

    // Told at each tick; without one the ticker keeps running silently.
    using Delegate = std::function<void(RadioTrackTimeController&)>;
    void setDelegate(Delegate delegate) { delegate_ = std::move(delegate); }
    void setTotalTime(float seconds) { totalTime_ = seconds; }
    float totalTime() const { return totalTime_; }
    // Restarts the ticking so the next tick falls on the next whole second of `seconds`.
    void setCurrentTime(float seconds);
    float currentTime() const;
    // Stops ticking; the times stay.
    void clear();
    bool isTicking() const;

private:
    void setupTimerWithInterval(double seconds);
    void trackTimerFire();

    Clock& clock_;
    Scheduler& scheduler_;
    std::unique_ptr<ScheduledTimer> timer_;
    double frequency_ = 1.0;
    double timerInterval_ = 0;
    Delegate delegate_;
    float totalTime_ = 0;
    float currentTime_ = 0;
    QDateTime origin_;
};
