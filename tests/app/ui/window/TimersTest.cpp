// Sleep and wake timers by the local calendar, in UTC and in a zone with daylight saving
// time; the window's actions when they fire.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdlib>
#include <ctime>

#include "SilentEngine.h"
#include "app/foundation/NotificationCenter.h"
#include "app/foundation/UserDefaults.h"
#include "app/ui/RadioWindowController.h"
#include "app/ui/SleepWakeTimer.h"

namespace {

using namespace std::chrono_literals;

// The process's local zone for one test.
class LocalZone {
public:
    explicit LocalZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~LocalZone() {
        if (old_.empty())
            unsetenv("TZ");
        else
            setenv("TZ", old_.c_str(), 1);
        tzset();
    }

private:
    std::string old_;
};

QDateTime Local(int y, int m, int d, int h, int min = 0) {
    return QDateTime(QDate(y, m, d), QTime(h, min), Qt::LocalTime);
}

QString Stored(const QDateTime& t) { return t.toUTC().toString(Qt::ISODateWithMs); }

class Timers : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { zone_ = std::make_unique<LocalZone>(GetParam()); }
    void TearDown() override { zone_.reset(); }

    // Runs the timer from `now` for `days`, answering the local times it fired at.
    std::vector<QDateTime> Fired(const QDateTime& now, const QVariant& date, std::optional<bool> repeats, int days) {
        clock.set(now);
        if (date.isValid()) defaults.setObject(QStringLiteral("sleep_date"), date);
        if (repeats) defaults.setBool(QStringLiteral("sleep_repeats"), *repeats);
        timer.setup();
        std::vector<QDateTime> fired;
        action = [&] { fired.push_back(clock.now().toLocalTime()); };
        scheduler.advance(std::chrono::hours(24 * days));
        return fired;
    }

    std::unique_ptr<LocalZone> zone_;
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath(QStringLiteral("defaults.conf"))};
    FakeClock clock;
    FakeScheduler scheduler{&clock};
    std::function<void()> action;
    SleepWakeTimer timer{defaults,
                         clock,
                         scheduler,
                         QStringLiteral("sleep_date"),
                         QStringLiteral("sleep_repeats"),
                         [this] { action(); }};
};

TEST_P(Timers, StoredTimesFireByTheLocalCalendar) {
    struct Case {
        const char* what;
        QDateTime now;
        QVariant date;
        std::optional<bool> repeats;
        int days;
        std::vector<QDateTime> fired;
        bool scheduledAfter;
    };
    const std::vector<Case> cases{
        {"23:00 set at 22:00, once",
         Local(2026, 6, 1, 22),
         Stored(Local(2026, 6, 1, 23)),
         false,
         3,
         {Local(2026, 6, 1, 23)},
         false},
        {"daily 07:00 set at 08:00",
         Local(2026, 6, 1, 8),
         Stored(Local(2026, 6, 1, 7)),
         true,
         2,
         {Local(2026, 6, 2, 7), Local(2026, 6, 3, 7)},
         true},
        {"daily 07:00 set within a second",
         Local(2026, 6, 1, 6).addMSecs(300),
         Stored(Local(2026, 6, 1, 7)),
         true,
         2,
         {Local(2026, 6, 1, 7), Local(2026, 6, 2, 7)},
         true},
        {"daily with its date part ahead",
         Local(2026, 6, 1, 8),
         Stored(Local(2026, 6, 4, 7)),
         true,
         4,
         {Local(2026, 6, 4, 7), Local(2026, 6, 5, 7)},
         true},
        {"past and not repeating", Local(2026, 6, 1, 8), Stored(Local(2026, 6, 1, 7)), false, 3, {}, false},
        {"no repeat flag at all",
         Local(2026, 6, 1, 8),
         Stored(Local(2026, 6, 1, 9)),
         std::nullopt,
         1,
         {Local(2026, 6, 1, 9)},
         false},
        {"40 days ahead",
         Local(2026, 6, 1, 8),
         Stored(Local(2026, 7, 11, 8, 30)),
         false,
         41,
         {Local(2026, 7, 11, 8, 30)},
         false},
        {"a value that is no date", Local(2026, 6, 1, 8), QStringLiteral("tomorrow"), true, 3, {}, false},
        {"a date typed as such", Local(2026, 6, 1, 8), Local(2026, 6, 1, 10), false, 1, {Local(2026, 6, 1, 10)}, false},
    };
    for (const Case& c : cases) {
        defaults.removeObject(QStringLiteral("sleep_date"));
        defaults.removeObject(QStringLiteral("sleep_repeats"));
        EXPECT_EQ(Fired(c.now, c.date, c.repeats, c.days), c.fired) << c.what;
        EXPECT_EQ(timer.isScheduled(), c.scheduledAfter) << c.what;
        timer.stop();
    }
}

TEST_P(Timers, ADailyTimeStaysAtItsHourAcrossBothChangesOfDaylightSavingTime) {
    for (const QDate start : {QDate(2026, 3, 26), QDate(2026, 10, 22)}) {
        const auto fired = Fired(QDateTime(start, QTime(12, 0), Qt::LocalTime),
                                 Stored(QDateTime(start, QTime(7, 0), Qt::LocalTime)), true, 5);
        ASSERT_EQ(fired.size(), 5u);
        for (std::size_t i = 0; i < fired.size(); ++i)
            EXPECT_EQ(fired[i], QDateTime(start.addDays(qint64(i) + 1), QTime(7, 0), Qt::LocalTime)) << i;
        timer.stop();
    }
}

TEST_P(Timers, SwitchedOffItNeverFires) {
    int fired = 0;
    action = [&] { ++fired; };
    clock.set(Local(2026, 6, 1, 8));
    defaults.setString(QStringLiteral("sleep_date"), Stored(Local(2026, 6, 1, 9)));
    defaults.setBool(QStringLiteral("sleep_repeats"), true);
    timer.setup();
    ASSERT_TRUE(timer.isScheduled());
    EXPECT_EQ(timer.fireDate(), Local(2026, 6, 1, 9));
    defaults.removeObject(QStringLiteral("sleep_date"));
    defaults.removeObject(QStringLiteral("sleep_repeats"));
    timer.setup();
    scheduler.advance(72h);
    EXPECT_EQ(fired, 0);
    EXPECT_FALSE(timer.isScheduled());
}

TEST_P(Timers, NextOccurrenceIsTodayOrTomorrowByTheCalendar) {
    const QDateTime seven = Local(2026, 1, 5, 7);
    EXPECT_EQ(nextOccurrence(seven, Local(2026, 3, 28, 6)), Local(2026, 3, 28, 7));
    EXPECT_EQ(nextOccurrence(seven, Local(2026, 3, 28, 7)), Local(2026, 3, 29, 7));
    EXPECT_EQ(nextOccurrence(seven, Local(2026, 10, 24, 23)), Local(2026, 10, 25, 7));
}

INSTANTIATE_TEST_SUITE_P(Zones, Timers, ::testing::Values("UTC", "Europe/Berlin"));

// The window's twins: sleep stops the music, wake plays the active station.
class WindowTimers : public ::testing::Test {
protected:
    void SetUp() override {
        env.defaults = &defaults;
        env.clock = &clock;
        env.scheduler = &scheduler;
        env.playerEngines = SilentEngine::factory(&played);
        env.service.notifications = &center;
        env.reachable = [](const QString&) { return false; };
        window = std::make_unique<RadioWindowController>(env);
    }
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath(QStringLiteral("defaults.conf"))};
    FakeClock clock;
    FakeScheduler scheduler{&clock};
    NotificationCenter center;
    std::vector<std::string> played;
    WindowEnvironment env;
    std::unique_ptr<RadioWindowController> window;
};

TEST_F(WindowTimers, SleepStopsThePlayAndWakeWithoutAnActiveStationPlaysNothing) {
    window->playStationWithURL(QStringLiteral("http://127.0.0.1:9/live"));
    const QDateTime now = clock.now();
    defaults.setString(QStringLiteral("sleep_date"), Stored(now.addSecs(3600)));
    defaults.setString(QStringLiteral("wake_date"), Stored(now.addSecs(7200)));
    defaults.setBool(QStringLiteral("wake_repeats"), true);
    center.post(QStringLiteral("RadioTimersSettingsHaveChangedNotification"));
    ASSERT_TRUE(window->sleepTimer().isScheduled());
    ASSERT_TRUE(window->wakeTimer().isScheduled());
    scheduler.advance(3600s);
    EXPECT_FALSE(window->isPlaying());
    EXPECT_FALSE(window->sleepTimer().isScheduled());
    window->setActiveStation(nullptr);
    scheduler.advance(3600s);
    EXPECT_FALSE(window->isPlaying());
    EXPECT_EQ(played.size(), 1u);
    // The daily wake time is there again tomorrow.
    EXPECT_EQ(window->wakeTimer().fireDate(), now.addSecs(7200).addDays(1));
}

}  // namespace
