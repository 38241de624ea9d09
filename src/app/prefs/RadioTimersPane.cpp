#include "app/prefs/RadioTimersPane.h"

#include "app/foundation/Clock.h"
#include "app/foundation/UserDefaults.h"
#include "app/prefs/RadioPrefsPaneHelpers.h"
#include "app/prefs/RadioPrefsWindowController.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QLabel>

namespace K = RadioPrefsKeys;
using RadioPrefsPanes::formatted;
using RadioPrefsPanes::pane;
using RadioPrefsPanes::text;

namespace {

QDateTime storedDate(const UserDefaults& defaults, const QString& key) {
    const QVariant v = defaults.object(key);
    if (v.typeId() == QMetaType::QDateTime) return v.toDateTime();
    const QString text = v.toString();
    QDateTime date = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!date.isValid()) date = QDateTime::fromString(text, Qt::ISODate);
    return date;
}

}  // namespace

struct RadioTimersPane::TimerControls {
    QCheckBox* onOff;
    QDateTimeEdit* picker;
    QCheckBox* repeats;
    QLabel* label;
    QString dateKey;
    QString repeatKey;
    const char* format;
    const char* repeatingFormat;
};

RadioTimersPane::RadioTimersPane(RadioPrefsWindowController& window, const RadioPrefsEnvironment& environment,
                                 RadioPrefsControls& controls)
    : window_(window), env_(environment), c_(controls) {}

RadioTimersPane::~RadioTimersPane() = default;

QDateTime RadioTimersPane::now() const {
    const Clock& clock = env_.clock ? *env_.clock : Clock::system();
    return clock.now().toTimeZone(env_.timeZone);
}

QWidget* RadioTimersPane::buildTimersView() {
    auto* layout = new QGridLayout;
    const auto row = [&](int r, const char* title, QCheckBox*& onOff, QDateTimeEdit*& picker, QCheckBox*& repeats,
                         QLabel*& label, void (RadioTimersPane::*enable)()) {
        onOff = new QCheckBox(text(title));
        picker = new QDateTimeEdit;
        picker->setCalendarPopup(true);
        picker->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
        repeats = new QCheckBox(text("RepeatDailyCheckbox"));
        label = new QLabel;
        label->setMinimumWidth(260);
        QObject::connect(onOff, &QCheckBox::clicked, &window_, [this, enable] { (this->*enable)(); });
        layout->addWidget(onOff, r, 0);
        layout->addWidget(picker, r, 1);
        layout->addWidget(repeats, r, 2);
        layout->addWidget(label, r + 1, 0, 1, 3);
    };
    row(0, "SleepTimerCheckbox", c_.sleepTimerCheckbox, c_.sleepTimerDatePicker, c_.sleepTimerRepeatsCheckbox,
        c_.sleepTimerTextField, &RadioTimersPane::enableSleepTimer);
    row(2, "WakeTimerCheckbox", c_.wakeTimerCheckbox, c_.wakeTimerDatePicker, c_.wakeTimerRepeatsCheckbox,
        c_.wakeTimerTextField, &RadioTimersPane::enableWakeTimer);
    layout->setRowStretch(4, 1);
    return pane(layout);
}

QDateTime RadioTimersPane::pickerDate(const QDateTimeEdit* picker) const {
    return QDateTime(picker->date(), picker->time(), env_.timeZone);
}

void RadioTimersPane::setPickerDate(QDateTimeEdit* picker, const QDateTime& date) {
    const QDateTime local = date.toTimeZone(env_.timeZone);
    picker->setDate(local.date());
    picker->setTime(local.time());
}

namespace {

// The date's time of day on `day`, by the calendar of `zone`.
QDateTime onDay(const QDateTime& date, QDate day, const QTimeZone& zone) {
    return QDateTime(day, date.toTimeZone(zone).time(), zone);
}

// The first moment after `now` at the date's time of day: today or tomorrow.
QDateTime nextOccurrence(const QDateTime& date, const QDateTime& now, const QTimeZone& zone) {
    const QDate today = now.toTimeZone(zone).date();
    const QDateTime sameDay = onDay(date, today, zone);
    return sameDay > now ? sameDay : onDay(date, today.addDays(1), zone);
}

}  // namespace

RadioTimersPane::TimerControls RadioTimersPane::sleepTimer() const {
    return {c_.sleepTimerCheckbox,
            c_.sleepTimerDatePicker,
            c_.sleepTimerRepeatsCheckbox,
            c_.sleepTimerTextField,
            K::sleepDate,
            K::sleepRepeats,
            "SleepTimerDescriptionFormat",
            "SleepTimerRepeatingDescriptionFormat"};
}

RadioTimersPane::TimerControls RadioTimersPane::wakeTimer() const {
    return {c_.wakeTimerCheckbox,
            c_.wakeTimerDatePicker,
            c_.wakeTimerRepeatsCheckbox,
            c_.wakeTimerTextField,
            K::wakeDate,
            K::wakeRepeats,
            "WakeTimerDescriptionFormat",
            "WakeTimerRepeatingDescriptionFormat"};
}

void RadioTimersPane::initTimer(const TimerControls& timer, const QDateTime& now, const QDateTime& offDate) {
    const UserDefaults& defaults = env_.stores.userDefaults();
    const QDateTime stored = storedDate(defaults, timer.dateKey);
    const bool repeats = defaults.object(timer.repeatKey).isValid() && defaults.boolean(timer.repeatKey);
    QDateTime shown;
    if (stored.isValid() && stored > now) {
        shown = stored;
    } else if (stored.isValid() && repeats) {
        // The next time it fires: today when that time is still ahead.
        shown = nextOccurrence(stored, now, env_.timeZone);
    }
    const bool on = shown.isValid();
    timer.onOff->setEnabled(true);
    timer.onOff->setChecked(on);
    timer.picker->setEnabled(on);
    setPickerDate(timer.picker, on ? shown : offDate);
    timer.repeats->setEnabled(on);
    timer.repeats->setChecked(on && repeats);
    timer.label->setEnabled(on);
    timer.label->clear();
}

void RadioTimersPane::initTimersPane() {
    const QDateTime current = now();
    const QDate tomorrow = current.date().addDays(1);
    initTimer(sleepTimer(), current, current.addSecs(3600));
    initTimer(wakeTimer(), current, QDateTime(tomorrow, QTime(8, 0), env_.timeZone));
    updateTimerLabels();
    Scheduler& scheduler = env_.scheduler ? *env_.scheduler : Scheduler::main();
    timersUpdateTimer_ = scheduler.repeating(std::chrono::seconds(1), [this] { updateTimerLabels(); });
}

void RadioTimersPane::updateTimerLabel(const TimerControls& timer, const QDateTime& now) {
    if (!timer.onOff->isChecked()) {
        timer.label->setText(QString());
        return;
    }
    const QDateTime date = pickerDate(timer.picker);
    qint64 interval = now.secsTo(date);
    const bool repeating = timer.repeats->isChecked();
    if (repeating && interval < 0) interval = now.secsTo(onDay(date, date.date().addDays(1), env_.timeZone));
    const char* format = repeating ? timer.repeatingFormat : timer.format;
    timer.label->setText(formatted(text(format), QString::number(interval / 60)));
}

void RadioTimersPane::updateTimerLabels() {
    const QDateTime current = now();
    updateTimerLabel(sleepTimer(), current);
    updateTimerLabel(wakeTimer(), current);
}

void RadioTimersPane::enableTimer(const TimerControls& timer) {
    const bool on = timer.onOff->isChecked();
    timer.picker->setEnabled(on);
    timer.repeats->setEnabled(on);
    timer.label->setEnabled(on);
    updateTimerLabels();
}

void RadioTimersPane::enableSleepTimer() { enableTimer(sleepTimer()); }

void RadioTimersPane::enableWakeTimer() { enableTimer(wakeTimer()); }

void RadioTimersPane::termTimer(const TimerControls& timer, const QDateTime& now) {
    UserDefaults& defaults = env_.stores.userDefaults();
    if (!timer.onOff->isChecked()) {
        defaults.removeObject(timer.dateKey);
        defaults.removeObject(timer.repeatKey);
        return;
    }
    QDateTime date = pickerDate(timer.picker);
    const bool repeats = timer.repeats->isEnabled() && timer.repeats->isChecked();
    // A one-off time that has passed means its next occurrence; stored in the past it
    // would never fire.
    if (date < now && !repeats) date = nextOccurrence(date, now, env_.timeZone);
    defaults.setString(timer.dateKey, date.toUTC().toString(Qt::ISODateWithMs));
    defaults.setBool(timer.repeatKey, repeats);
}

void RadioTimersPane::termTimersPane() {
    timersUpdateTimer_.reset();
    const QDateTime current = now();
    termTimer(sleepTimer(), current);
    termTimer(wakeTimer(), current);
    env_.stores.userDefaults().synchronize();
    env_.stores.notifications().post(QString::fromLatin1(kRadioTimersSettingsHaveChangedNotification), &window_);
}
