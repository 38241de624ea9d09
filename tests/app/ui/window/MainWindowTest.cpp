// The main window against the test server: sign-on, what it shows of a play and of each
// track's start, and the application's start and quit. The play road's own cases (the
// fall-back, the stale-URL filter, the timed swap) are the play session's (tests/app/radio).

#include <gtest/gtest.h>

#include <QDialog>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <sstream>

#include "app/signon/AuthenticationController.h"
#include "app/foundation/ErrorDescription.h"
#include "app/foundation/NotificationCenter.h"
#include "app/signon/PasswordStore.h"
#include "app/foundation/Resources.h"
#include "app/foundation/UserDefaults.h"
#include "app/services/ZYMCacheStorage.h"
#include "app/radio/ZYMRadioStation.h"
#include "app/radio/ZYMRadioStationState.h"
#include "app/services/ZYMServicesProvider.h"
#include "app/ui/ListViews.h"
#include "app/ui/RadioAppController.h"
#include "app/radio/RadioMetadataParser.h"
#include "app/ui/RadioStationsDataSource.h"
#include "runtime/LogMessage.h"
#include "platform/RunLoop.h"
#include <QTimer>
#include "support/Env.h"
#include "support/TestServer.h"
#include "../../signon/SlowKeyring.h"
#include "WindowFixture.h"

namespace {

using namespace windowtest;

TEST_F(MainWindow, AnUnreachableHostShowsTheSheetAndSendsNothing) {
    reachable_ = false;
    Make().signOn();
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].request.style, DialogRequest::Style::Critical);
    EXPECT_EQ(dialogs_.shown[0].parent, window_->window());
    EXPECT_EQ(hostsChecked_, std::vector<QString>{QStringLiteral("127.0.0.1")});
    platform::RunLoop::Current().RunFor(std::chrono::milliseconds(50));
    EXPECT_TRUE(server_->Requests(prefix_).empty());
    EXPECT_FALSE(window_->radioService().servicePending());
}

TEST_F(MainWindow, ADoubleClickedRowPlaysAndEachStreamRequestCarriesUidOnce) {
    SignOnAndLoad();
    DoubleClickStation(QStringLiteral("radio:aggregate:1"));
    ASSERT_TRUE(RunUntil([&] { return window_->streamPlaying(); })) << Log();
    EXPECT_EQ(window_->playingStation()->stationID(), QStringLiteral("radio:aggregate:1"));
    EXPECT_EQ(defaults_->string(QStringLiteral("playing_station")), QStringLiteral("radio:aggregate:1"));
    const auto streams = StreamRequests();
    ASSERT_FALSE(streams.empty());
    for (const auto& r : streams) {
        std::size_t count = 0;
        for (std::size_t at = r.query.find("uid="); at != std::string::npos; at = r.query.find("uid=", at + 1))
            ++count;
        EXPECT_EQ(count, 1u) << r.query;
        EXPECT_NE(r.query.find("fmt="), std::string::npos) << "the station's own query is kept: " << r.query;
    }
    // Playing it again neither restarts nor counts it.
    const std::size_t before = StreamRequests().size();
    window_->startPlaying(window_->playingStation(), true);
    platform::RunLoop::Current().RunFor(std::chrono::milliseconds(100));
    EXPECT_EQ(StreamRequests().size(), before);
    EXPECT_TRUE(window_->streamPlaying());
}

TEST_F(MainWindow, AQuintrelStationShowsEachTrackAtItsStart) {
    QByteArray audio;
    {
        QFile f(QString::fromStdString(zymtest::SourceDir() + "/tests/data/vlb/stereo44k.aac"));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        audio = f.readAll();
    }
    auto doc = [](const char* song, const char* artist) {
        return QStringLiteral("<metadata><song><name>%1</name><artist>%2</artist></song></metadata>")
            .arg(QString::fromLatin1(song), QString::fromLatin1(artist));
    };
    const QString b64 = QString::fromLatin1(audio.toBase64());
    QJsonArray packets{
        QJsonObject{{"xml", doc("First", "Artist A")}, {"parts", 1}, {"id", 1}},
        QJsonObject{{"timing", QJsonArray{audio.size() * 3, 0}}},
    };
    for (int i = 0; i < 3; ++i)
        packets.append(QJsonObject{{"audio", QJsonObject{{"body_b64", b64}}}, {"codec", "vlb"}, {"split", 1000}});
    packets.append(QJsonObject{{"xml", doc("Second", "Artist B")}, {"parts", 1}, {"id", 2}});
    packets.append(QJsonObject{{"timing", QJsonArray{audio.size(), 0}}});
    packets.append(QJsonObject{{"audio", QJsonObject{{"body_b64", b64}}}, {"codec", "vlb"}, {"split", 1000}});
    // Station 99 plays VLB.
    server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "svcstream/99,")},
                                {"kind", "quintrel"},
                                {"packets", packets},
                                {"avg_bitrate", 48000},
                                {"rate", 6000}});
    SignOnAndLoad();
    std::vector<QString> seen, songs;
    QObject::connect(window_.get(), &RadioWindowController::trackStarted, [&] {
        seen.push_back(window_->displayText());
        songs.push_back(window_->currentTrackMetadata()->songName().value_or(QString()));
    });
    window_->playStationWithID(QStringLiteral("radio:aggregate:99"));
    ASSERT_TRUE(RunUntil([&] { return seen.size() >= 2; }, 60)) << Log();
    EXPECT_EQ(songs[0], QStringLiteral("First"));
    EXPECT_EQ(songs[1], QStringLiteral("Second"));
    // The first track starts while the stream still buffers; the second while it plays,
    // and a song without album shows in the station's line.
    EXPECT_NE(seen[1].indexOf(QStringLiteral("Second")), -1) << seen[1].toStdString();
}

TEST(MainWindowAds, TheBannerIsChosenByAreaHeightAndFlavour) {
    using Banners = std::vector<std::shared_ptr<const ZYMRadioStationBanner>>;
    const Banners banners{
        ZYMRadioStationBanner::withFlavor("8", "650", "m8-650"),
        ZYMRadioStationBanner::withImageURL("8", "http://ads/8.png", "m8-img"),
        ZYMRadioStationBanner::withFlavor("9", "600", "m9-600"),
    };
    struct Row {
        int height;
        QString flavor;
        const Banners* banners;
        std::string shown;
    };
    const Banners none;
    const Row rows[] = {
        {260, QStringLiteral("650"), &banners, "script m8-650 260"},
        {260, QStringLiteral("600"), &banners, "image http://ads/8.png m8-img"},
        {250, QStringLiteral("600"), &banners, "script m9-600 250"},
        {250, QStringLiteral("650"), &banners, "static"},
        {260, QString(), &banners, "image http://ads/8.png m8-img"},  // an audio ad's banners
        {260, QStringLiteral("650"), &none, "static"},
    };
    RecordingAds ads;
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("d.conf"));
    FakeAuthPanelsView panels;
    MemoryPasswordStore passwords;
    WindowEnvironment env;
    env.defaults = &defaults;
    env.ads = &ads;
    env.panels = &panels;
    env.passwords = &passwords;
    RadioWindowController window(env);
    for (const auto& row : rows) {
        ads.shown.clear();
        window.setAdHeight(row.height);
        window.displayAdWithBanners(*row.banners, row.flavor);
        EXPECT_EQ(ads.shown, std::vector<std::string>{row.shown}) << row.height << " " << row.flavor.toStdString();
    }
}

}  // namespace

namespace {}  // namespace

namespace {

TEST_F(MainWindow, SignOnAtLaunchFollowsTheStoredNameAndPassword) {
    struct Row {
        const char* name;
        bool password;
        bool signsOn;
        bool panelShown;
    };
    const Row rows[] = {
        {"stored name and password: silently", true, true, false},
        {"stored name without password: not at all", false, false, false},
        {"no stored name: the panel, which the request waits for", false, false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        window_.reset();
        panels_.signOnVisible = false;
        // The rows take away, in turn, the password and then the name.
        if (!row.password) KeychainUtils::savePasswordToKeychain(passwords_, "", kUser, QStringLiteral("ZYM Radio"));
        if (row.panelShown) defaults_->removeObject(QStringLiteral("screenname"));
        Make().signOnAtStartupIfAppropriate();
        const bool asked = window_->radioService().servicePending() || window_->radioService().serviceAvailable();
        EXPECT_EQ(asked, row.signsOn);
        EXPECT_EQ(panels_.signOnVisible, row.panelShown);
    }
}

// A slow keyring holds the sign-on at launch back, not the window: its loop runs while the
// keyring has not answered, and the sign-on starts with the stored password once it has.
TEST_F(MainWindow, TheLaunchSignOnWaitsForASlowKeyringWithoutHoldingTheWindow) {
    class FirstReadSlow : public SlowKeyring {
    public:
        // The first read is slow; one already started is not started again.
        void prefetch(const QString&, const QString&) override {
            pending = !started;
            started = true;
        }
        std::optional<QString> read(const QString& service, const QString& account) override {
            readsWhilePending += pending ? 1 : 0;
            return MemoryPasswordStore::read(service, account);
        }
        bool started = false;
        int readsWhilePending = 0;
    } slow;
    KeychainUtils::savePasswordToKeychain(slow, kPassword, kUser, QStringLiteral("ZYM Radio"));
    env_.passwords = &slow;
    defaults_->setBool(QStringLiteral("play_at_launch"), true);
    Make().signOnAtStartupIfAppropriate();
    bool loopRan = false;
    QTimer::singleShot(0, [&] { loopRan = true; });
    ASSERT_TRUE(RunUntil([&] { return loopRan; }));
    platform::RunLoop::Current().RunFor(std::chrono::milliseconds(50));
    EXPECT_FALSE(window_->radioService().servicePending() || window_->radioService().serviceAvailable());

    slow.answer();
    ASSERT_TRUE(RunUntil([&] { return window_->radioService().informationLoaded(); })) << Log();
    EXPECT_EQ(slow.readsWhilePending, 0);
    EXPECT_FALSE(panels_.signOnVisible);
}

TEST_F(MainWindow, TheStoredVolumeIsClamped) {
    struct Row {
        QVariant stored;
        double slider;
    };
    for (const Row& row : {Row{1.7, 1.0}, Row{-3, 0.0}, Row{0.25, 0.25}, Row{QVariant(), 0.5}}) {
        defaults_->setObject(QStringLiteral("volume"), row.stored);
        window_.reset();
        Make().saveSettings();
        EXPECT_DOUBLE_EQ(defaults_->doubleValue(QStringLiteral("volume")), row.slider)
            << row.stored.toString().toStdString();
    }
}

}  // namespace
