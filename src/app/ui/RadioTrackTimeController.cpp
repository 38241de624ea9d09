#include "app/ui/RadioTrackTimeController.h"

#include <chrono>
#include <cmath>

#include "app/foundation/Clock.h"

QString FormatMinutesSeconds(double seconds) {
    const long long s = std::isfinite(seconds) ? static_cast<long long>(std::trunc(seconds)) : 0;
    return QString::asprintf("%02lld:%02lld", s / 60, s % 60);
}

RadioTrackTimeController::RadioTrackTimeController(Clock& clock, Scheduler& scheduler)
    : clock_(clock), scheduler_(scheduler) {
    setCurrentTime(0);
}

RadioTrackTimeController::~RadioTrackTimeController() { clear(); }

void RadioTrackTimeController::setCurrentTime(float seconds) {
    currentTime_ = seconds;
    origin_ = clock_.now();
    setupTimerWithInterval(std::fmod(double(seconds), frequency_));
}

float RadioTrackTimeController::currentTime() const {
    return currentTime_ + float(double(origin_.msecsTo(clock_.now())) / 1000.0);
}

void RadioTrackTimeController::clear() { timer_.reset(); }

bool RadioTrackTimeController::isTicking() const { return timer_ && timer_->isActive(); }

void RadioTrackTimeController::setupTimerWithInterval(double seconds) {
    timer_.reset();
    timerInterval_ = seconds;
    const auto ms = std::chrono::milliseconds(std::llround(std::max(0.0, seconds) * 1000.0));
    timer_ = scheduler_.repeating(std::max(ms, std::chrono::milliseconds(1)), [this] { trackTimerFire(); });
}

void RadioTrackTimeController::trackTimerFire() {
    if (delegate_) delegate_(*this);
    // The first interval only aligns the ticks to the track's seconds.
    if (timerInterval_ != frequency_) setupTimerWithInterval(frequency_);
}
