// The main window's answers to changed preferences and its software-update timer.

#include <gtest/gtest.h>

#include "WindowFixture.h"
#include "app/foundation/Clock.h"

namespace {

using namespace windowtest;

TEST_F(MainWindow, TheUpdateCheckComesThirtySecondsAfterLaunchThenByTheInterval) {
    struct Row {
        QVariant interval;              // update_check_interval
        std::vector<int> checksAtSecs;  // within the first two days
    };
    const Row rows[] = {
        {QVariant(), {30, 30 + 86400}},
        {-5, {30}},
        {0.5, {30, 30 + 86400}},
        {40000.0, {30, 40030, 80030, 120030, 160030}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.interval.toString().toStdString());
        FakeScheduler scheduler;
        env_.scheduler = &scheduler;
        std::vector<int> checks;
        env_.checkForUpdates = [&] { checks.push_back(int(scheduler.elapsed().count() / 1000)); };
        defaults_->setObject(QStringLiteral("update_check_interval"), row.interval);
        Make();
        for (int hour = 0; hour < 48; ++hour)
            scheduler.advance(std::chrono::hours(1));
        EXPECT_EQ(checks, row.checksAtSecs);
        window_.reset();
    }
}

TEST_F(MainWindow, AnotherScreenNameInThePreferencesSignsOnAgainUnderIt) {
    const char* other = "Second Listener";
    server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_)},
                                {"kind", "signon"},
                                {"users", QJsonArray{QJsonObject{{"name", kUser}, {"password", kPassword}},
                                                     QJsonObject{{"name", other}, {"password", "pw-second"}}}}});
    KeychainUtils::savePasswordToKeychain(passwords_, "pw-second", other, QStringLiteral("ZYM Radio"));
    SignOnAndLoad();
    auto signOns = [&] {
        int n = 0;
        for (const auto& r : server_->Requests(prefix_))
            if (r.path == prefix_) ++n;
        return n;
    };
    const int before = signOns();

    // Another case and spacing is the same account; other keys leave the name alone.
    defaults_->setString(QStringLiteral("screenname"), QStringLiteral("demolistener"));
    window_->checkDefaultsForChange(QStringList{QStringLiteral("use_now_playing")});
    window_->checkDefaultsForChange(QStringList{QStringLiteral("screenname")});
    platform::RunLoop::Current().RunFor(std::chrono::milliseconds(100));
    EXPECT_EQ(signOns(), before);
    EXPECT_EQ(window_->radioService().authenticatedUsername(false), QString::fromLatin1(kUser));

    defaults_->setString(QStringLiteral("screenname"), QString::fromLatin1(other));
    window_->checkDefaultsForChange(std::nullopt);
    // Signed off, the sign-on panel comes up under the new name with its stored password.
    ASSERT_TRUE(RunUntil([&] { return panels_.signOnVisible; })) << Log();
    EXPECT_FALSE(window_->radioService().authenticatedUsername(false));
    ASSERT_TRUE(panels_.model);
    EXPECT_EQ(panels_.model->username(), QString::fromLatin1(other));
    EXPECT_EQ(panels_.model->password(), QStringLiteral("pw-second"));
    panels_.actions->authOK();
    ASSERT_TRUE(RunUntil([&] {
        return window_->radioService().authenticatedUsername(false) == QString::fromLatin1(other);
    })) << Log();
    EXPECT_GT(signOns(), before);
}

TEST_F(MainWindow, AChangedBandwidthOrHoverPreferenceTakesEffect) {
    SignOnAndLoad();
    ASSERT_TRUE(RunUntil([&] { return window_->radioService().haveAllStationInfo(); })) << Log();
    const std::size_t broadband = window_->radioService().filteredStations().size();
    defaults_->setInteger(QStringLiteral("network_bandwidth_limit"), 32768);
    window_->checkDefaultsForChange(QStringList{QStringLiteral("screenname")});
    EXPECT_EQ(window_->radioService().filteredStations().size(), broadband) << "only the changed keys count";
    window_->checkDefaultsForChange(QStringList{QStringLiteral("network_bandwidth_limit")});
    const std::size_t narrowband = window_->radioService().filteredStations().size();
    EXPECT_LT(narrowband, broadband);
    EXPECT_GT(narrowband, 0u);

    for (bool on : {true, false}) {
        defaults_->setBool(QStringLiteral("use_now_playing"), on);
        window_->checkDefaultsForChange(QStringList{QStringLiteral("use_now_playing")});
        EXPECT_EQ(window_->stationTable().rowMouseTracking(), on);
    }
}

}  // namespace

namespace {

TEST_F(MainWindow, AHiddenApplicationStartsNoSignOn) {
    bool hidden = true;
    env_.applicationHidden = [&] { return hidden; };
    Make().signOnAtStartupIfAppropriate();
    window_->signOn();
    platform::RunLoop::Current().RunFor(std::chrono::milliseconds(50));
    EXPECT_TRUE(hostsChecked_.empty());
    EXPECT_TRUE(server_->Requests(prefix_).empty());
    EXPECT_FALSE(window_->authenticationInProgressOrValid());

    hidden = false;
    window_->signOn();
    EXPECT_TRUE(window_->authenticationInProgressOrValid());
}

}  // namespace
