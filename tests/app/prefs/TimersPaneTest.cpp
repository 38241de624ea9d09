// The timers pane with a fixed clock, in UTC and in Europe/Berlin: what opening shows,
// what closing stores (by the calendar, across month ends and daylight-saving changes)
// and the minutes-left texts.

#include "RadioPrefsSupport.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QLabel>

#include <optional>

namespace {

using K = RadioPrefsWindowController;

struct Local {
    int y, mo, d, h, mi;
    QDateTime in(const QTimeZone& zone) const { return QDateTime(QDate(y, mo, d), QTime(h, mi), zone); }
};

QTimeZone Zone(const char* name) { return name ? QTimeZone(QByteArray(name)) : QTimeZone::utc(); }

class TimersPane : public ::testing::Test, public RadioPrefsFixture {
protected:
    std::unique_ptr<RadioPrefsWindowController> open(const QTimeZone& zone, const Local& now) {
        clock.set(now.in(zone));
        auto prefs = std::make_unique<RadioPrefsWindowController>(environment(zone));
        EXPECT_TRUE(prefs->showPaneWithIdentifier(K::kTimersPane));
        return prefs;
    }
    void store(const QString& key, const QDateTime& date) {
        defaults.setString(key, date.toUTC().toString(Qt::ISODateWithMs));
    }
    QDateTime stored(const QString& key) { return QDateTime::fromString(defaults.string(key), Qt::ISODateWithMs); }
};

TEST_F(TimersPane, OpeningShowsStoredTimers) {
    struct Row {
        const char* what;
        const char* zone;
        Local now;
        bool wake;  // else sleep
        std::optional<Local> date;
        std::optional<bool> repeats;
        bool on;
        Local shown;
        QString text;
    };
    const Row rows[] = {
        {"later today",
         nullptr,
         {2024, 3, 30, 22, 0},
         false,
         Local{2024, 3, 30, 23, 30},
         {},
         true,
         {2024, 3, 30, 23, 30},
         "Playing stops in 90 minutes."},
        {"later today, Berlin",
         "Europe/Berlin",
         {2024, 3, 30, 22, 0},
         false,
         Local{2024, 3, 30, 23, 30},
         {},
         true,
         {2024, 3, 30, 23, 30},
         "Playing stops in 90 minutes."},
        {"repeating from yesterday, evening",
         nullptr,
         {2024, 3, 31, 22, 0},
         true,
         Local{2024, 3, 30, 7, 0},
         true,
         true,
         {2024, 4, 1, 7, 0},
         "Playing starts every day, next in 540 minutes."},
        {"repeating from yesterday, evening of the spring change",
         "Europe/Berlin",
         {2024, 3, 31, 22, 0},
         true,
         Local{2024, 3, 30, 7, 0},
         true,
         true,
         {2024, 4, 1, 7, 0},
         "Playing starts every day, next in 540 minutes."},
        {"repeating, early morning: still ahead today",
         nullptr,
         {2024, 3, 31, 1, 30},
         true,
         Local{2024, 3, 30, 7, 0},
         true,
         true,
         {2024, 3, 31, 7, 0},
         "Playing starts every day, next in 330 minutes."},
        {"repeating, early morning of the spring change",
         "Europe/Berlin",
         {2024, 3, 31, 1, 30},
         true,
         Local{2024, 3, 30, 7, 0},
         true,
         true,
         {2024, 3, 31, 7, 0},
         "Playing starts every day, next in 270 minutes."},
        {"repeating, early morning of the autumn change",
         "Europe/Berlin",
         {2024, 10, 27, 0, 30},
         false,
         Local{2024, 10, 25, 23, 0},
         true,
         true,
         {2024, 10, 27, 23, 0},
         "Playing stops every day, next in 1410 minutes."},
        {"past one-off shows off",
         nullptr,
         {2024, 3, 30, 22, 0},
         false,
         Local{2024, 3, 30, 21, 0},
         false,
         false,
         {2024, 3, 30, 23, 0},
         ""},
        {"only a repeat flag", nullptr, {2024, 3, 30, 22, 0}, false, {}, true, false, {2024, 3, 30, 23, 0}, ""},
        {"no wake timer: tomorrow 08:00", nullptr, {2024, 1, 31, 22, 0}, true, {}, {}, false, {2024, 2, 1, 8, 0}, ""},
        {"no wake timer on the eve of the autumn change",
         "Europe/Berlin",
         {2024, 10, 26, 22, 0},
         true,
         {},
         {},
         false,
         {2024, 10, 27, 8, 0},
         ""},
        {"no wake timer on 31 December", nullptr, {2023, 12, 31, 22, 0}, true, {}, {}, false, {2024, 1, 1, 8, 0}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const QTimeZone zone = Zone(row.zone);
        ASSERT_TRUE(zone.isValid());
        const QString dateKey = row.wake ? "wake_date" : "sleep_date";
        const QString repeatKey = row.wake ? "wake_repeats" : "sleep_repeats";
        for (const char* key : {"sleep_date", "sleep_repeats", "wake_date", "wake_repeats"})
            defaults.removeObject(key);
        if (row.date) store(dateKey, row.date->in(zone));
        if (row.repeats) defaults.setBool(repeatKey, *row.repeats);
        auto prefs = open(zone, row.now);
        const auto& c = prefs->controls();
        QCheckBox* onOff = row.wake ? c.wakeTimerCheckbox : c.sleepTimerCheckbox;
        QDateTimeEdit* picker = row.wake ? c.wakeTimerDatePicker : c.sleepTimerDatePicker;
        QCheckBox* repeats = row.wake ? c.wakeTimerRepeatsCheckbox : c.sleepTimerRepeatsCheckbox;
        QLabel* text = row.wake ? c.wakeTimerTextField : c.sleepTimerTextField;
        EXPECT_TRUE(onOff->isEnabled());
        EXPECT_EQ(onOff->isChecked(), row.on);
        EXPECT_EQ(picker->isEnabled(), row.on);
        EXPECT_EQ(repeats->isEnabled(), row.on);
        EXPECT_EQ(repeats->isChecked(), row.on && row.repeats.value_or(false));
        EXPECT_EQ(prefs->pickerDate(picker), row.shown.in(zone));
        EXPECT_EQ(text->text(), row.text);
    }
}

TEST_F(TimersPane, ClosingStoresTheNextOccurrence) {
    struct Row {
        const char* what;
        const char* zone;
        Local now;
        Local picker;
        bool repeats;
        Local stored;
    };
    const Row rows[] = {
        {"passed one-off means tomorrow",
         nullptr,
         {2024, 3, 30, 23, 50},
         {2024, 3, 30, 23, 30},
         false,
         {2024, 3, 31, 23, 30}},
        {"repeating kept as shown", nullptr, {2024, 3, 30, 23, 50}, {2024, 3, 30, 23, 30}, true, {2024, 3, 30, 23, 30}},
        {"future one-off kept", nullptr, {2024, 3, 30, 23, 50}, {2024, 4, 2, 6, 0}, false, {2024, 4, 2, 6, 0}},
        {"31 January", nullptr, {2023, 1, 31, 23, 50}, {2023, 1, 31, 23, 30}, false, {2023, 2, 1, 23, 30}},
        {"31 December", nullptr, {2023, 12, 31, 23, 50}, {2023, 12, 31, 23, 30}, false, {2024, 1, 1, 23, 30}},
        {"28 February 2023", nullptr, {2023, 2, 28, 23, 50}, {2023, 2, 28, 23, 30}, false, {2023, 3, 1, 23, 30}},
        {"28 February 2024", nullptr, {2024, 2, 28, 23, 50}, {2024, 2, 28, 23, 30}, false, {2024, 2, 29, 23, 30}},
        {"eve of the spring change",
         "Europe/Berlin",
         {2024, 3, 30, 23, 50},
         {2024, 3, 30, 23, 30},
         false,
         {2024, 3, 31, 23, 30}},
        {"evening of the spring change",
         "Europe/Berlin",
         {2024, 3, 31, 23, 50},
         {2024, 3, 31, 23, 30},
         false,
         {2024, 4, 1, 23, 30}},
        {"evening of the autumn change (a 25-hour day)",
         "Europe/Berlin",
         {2024, 10, 27, 23, 50},
         {2024, 10, 27, 23, 30},
         false,
         {2024, 10, 28, 23, 30}},
        {"early morning of the autumn change",
         "Europe/Berlin",
         {2024, 10, 27, 1, 0},
         {2024, 10, 27, 0, 30},
         false,
         {2024, 10, 28, 0, 30}},
        {"past day whose time is still ahead today",
         nullptr,
         {2024, 3, 30, 10, 0},
         {2024, 3, 28, 21, 0},
         false,
         {2024, 3, 30, 21, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const QTimeZone zone = Zone(row.zone);
        auto prefs = open(zone, row.now);
        const auto& c = prefs->controls();
        if (!c.sleepTimerCheckbox->isChecked()) c.sleepTimerCheckbox->click();
        if (c.wakeTimerCheckbox->isChecked()) c.wakeTimerCheckbox->click();
        prefs->setPickerDate(c.sleepTimerDatePicker, row.picker.in(zone));
        c.sleepTimerRepeatsCheckbox->setChecked(row.repeats);
        defaults.setString("wake_date", "2030-01-01T00:00:00.000Z");
        PostCounter posted(center, kRadioTimersSettingsHaveChangedNotification, prefs.get());
        ASSERT_TRUE(prefs->showPaneWithIdentifier(K::kRadioPane));
        EXPECT_EQ(stored("sleep_date"), row.stored.in(zone));
        EXPECT_EQ(defaults.boolean("sleep_repeats"), row.repeats);
        EXPECT_FALSE(defaults.object("wake_date").isValid());
        EXPECT_FALSE(defaults.object("wake_repeats").isValid());
        EXPECT_EQ(posted.count, 1);
        EXPECT_FALSE(prefs->timersLabelTimerRuns());
    }
}

TEST_F(TimersPane, MinutesLeftTexts) {
    struct Row {
        const char* what;
        bool on;
        int offsetSeconds;
        bool repeats;
        QString text;
    } rows[] = {
        {"off", false, 600, false, ""},
        {"ahead", true, 90 * 60, false, "Playing stops in 90 minutes."},
        {"an hour ago, one-off", true, -3600, false, "Playing stops in -60 minutes."},
        {"an hour ago, daily", true, -3600, true, "Playing stops every day, next in 1380 minutes."},
        {"under a minute ahead", true, 59, false, "Playing stops in 0 minutes."},
        {"under a minute ago", true, -59, false, "Playing stops in 0 minutes."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        auto prefs = open(QTimeZone::utc(), {2024, 6, 1, 12, 0});
        const auto& c = prefs->controls();
        if (c.sleepTimerCheckbox->isChecked() != row.on) c.sleepTimerCheckbox->click();
        prefs->setPickerDate(c.sleepTimerDatePicker, clock.now().addSecs(row.offsetSeconds));
        c.sleepTimerRepeatsCheckbox->setChecked(row.repeats);
        prefs->updateTimerLabels();
        EXPECT_EQ(c.sleepTimerTextField->text(), row.text);
        EXPECT_EQ(c.sleepTimerDatePicker->isEnabled(), row.on);
    }
}

TEST_F(TimersPane, LabelsFollowTheClockWhileThePaneShows) {
    auto prefs = open(QTimeZone::utc(), {2024, 6, 1, 12, 0});
    const auto& c = prefs->controls();
    c.sleepTimerCheckbox->click();
    EXPECT_EQ(c.sleepTimerTextField->text(), "Playing stops in 60 minutes.");
    scheduler.advance(std::chrono::minutes(1));
    EXPECT_EQ(c.sleepTimerTextField->text(), "Playing stops in 59 minutes.");
    ASSERT_TRUE(prefs->showPaneWithIdentifier(K::kRadioPane));
    EXPECT_EQ(scheduler.pendingCount(), 0);
}

}  // namespace
