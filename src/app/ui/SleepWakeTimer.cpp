#include "app/ui/SleepWakeTimer.h"

#include "app/foundation/UserDefaults.h"

#include <algorithm>

QDateTime nextOccurrence(const QDateTime& date, const QDateTime& now) {
    const QTime time = date.toLocalTime().time();
    const QDate today = now.toLocalTime().date();
    const QDateTime sameDay(today, time, Qt::LocalTime);
    if (sameDay > now) return sameDay;
    // One calendar day on, not 86400 s: across a change of daylight saving time those differ.
    return QDateTime(today.addDays(1), time, Qt::LocalTime);
}

SleepWakeTimer::SleepWakeTimer(UserDefaults& defaults, const Clock& clock, Scheduler& scheduler, QString dateKey,
                               QString repeatsKey, std::function<void()> action)
    : defaults_(defaults),
      clock_(clock),
      scheduler_(scheduler),
      dateKey_(std::move(dateKey)),
      repeatsKey_(std::move(repeatsKey)),
      windowAction_(std::move(action)) {}

SleepWakeTimer::~SleepWakeTimer() = default;

std::optional<QDateTime> SleepWakeTimer::storedDate() const {
    const QVariant value = defaults_.object(dateKey_);
    if (!value.isValid()) return std::nullopt;
    QDateTime date;
    if (value.typeId() == QMetaType::QDateTime) {
        date = value.toDateTime();
    } else if (value.typeId() == QMetaType::QString) {
        date = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
        if (!date.isValid()) date = QDateTime::fromString(value.toString(), Qt::ISODate);
    }
    if (!date.isValid()) return std::nullopt;
    return date;
}

bool SleepWakeTimer::storedRepeats() const {
    return defaults_.object(repeatsKey_).isValid() && defaults_.boolean(repeatsKey_);
}

void SleepWakeTimer::setup() {
    const auto date = storedDate();
    if (!date) {
        // Switched off: the time scheduled before must not fire once more.
        stop();
        return;
    }
    const bool repeats = storedRepeats();
    const QDateTime now = clock_.now();
    // To the millisecond: a timer cut to whole seconds fires before its time, and a daily
    // one then finds its time still ahead and fires a second time.
    const qint64 delta = now.msecsTo(*date);
    if (delta >= 0) {
        startAfter(delta, {}, repeats);
        return;
    }
    if (!repeats) {
        // A past time that does not repeat sets nothing, and leaves nothing behind.
        stop();
        return;
    }
    startAfter(now.msecsTo(nextOccurrence(*date, now)), {}, true);
}

void SleepWakeTimer::start(qint64 seconds, std::function<void()> action, bool repeats) {
    startAfter(seconds * 1000, std::move(action), repeats);
}

void SleepWakeTimer::startAfter(qint64 milliseconds, std::function<void()> action, bool repeats) {
    stop();
    action_ = std::move(action);
    repeats_ = repeats;
    interval_ = std::max<qint64>(0, milliseconds);
    arm(interval_);
}

void SleepWakeTimer::stop() {
    timer_.reset();
    fireDate_ = QDateTime();
}

void SleepWakeTimer::arm(qint64 milliseconds) {
    fireDate_ = clock_.now().addMSecs(milliseconds);
    // The scheduler waits out a time beyond a single QTimer's range in steps.
    timer_ = scheduler_.singleShot(std::chrono::milliseconds(milliseconds), [this] { fired(); });
}

void SleepWakeTimer::fired() {
    timer_.reset();
    if (!action_) {
        defaultAction();
        return;
    }
    const auto action = action_;
    if (repeats_) arm(interval_);
    action();
}

void SleepWakeTimer::defaultAction() {
    if (windowAction_) windowAction_();
    if (!repeats_ || !storedRepeats()) {
        stop();
        return;
    }
    const auto date = storedDate();
    if (!date) {
        // Nothing to follow: the timer keeps its own interval.
        arm(interval_);
        return;
    }
    const QDateTime now = clock_.now();
    const QDateTime next = *date > now ? *date : nextOccurrence(*date, now);
    arm(std::max<qint64>(0, now.msecsTo(next)));
}
