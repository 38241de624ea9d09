// The main window against the test server: sign-on, the play road with its fall-back,
// the player's reports and the track metadata swap; and the application's start and quit.

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

#include "app/services/AuthenticationController.h"
#include "app/services/ErrorDescription.h"
#include "app/services/NotificationCenter.h"
#include "app/services/PasswordStore.h"
#include "app/services/Resources.h"
#include "app/services/UserDefaults.h"
#include "app/services/ZYMCacheStorage.h"
#include "app/services/ZYMRadioStation.h"
#include "app/services/ZYMRadioStationState.h"
#include "app/services/ZYMServicesProvider.h"
#include "app/ui/ListViews.h"
#include "app/ui/RadioAppController.h"
#include "app/ui/RadioMetadataParser.h"
#include "app/ui/RadioStationsDataSource.h"
#include "engine/base/LogMessage.h"
#include "platform/RunLoop.h"
#include "support/Env.h"
#include "support/TestServer.h"
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

// Station 777 has two formats once AAC+ counts as playable: "777,1" (AAC+) with one URL
// and "777,2" (VLB) with two.
class FallBack : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        QFile codecs(resources_.filePath("SupportedRadioMediaFormatCodecs.plist"));
        ASSERT_TRUE(codecs.open(QIODevice::WriteOnly));
        codecs.write(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><array>"
            "<string>MP3</string><string>VLB</string><string>AACPLUS</string></array></plist>");
        codecs.close();
        Resources::pushRoot(resources_.path());
    }
    void TearDown() override {
        MainWindow::TearDown();
        Resources::popRoot();
    }
    QTemporaryDir resources_;
};

TEST_F(FallBack, FailingURLsAreTriedInOrderOverFormatsThenGivenUp) {
    StreamFails("777,1", QJsonObject{{"status", 404}});
    StreamFails("777,2", QJsonObject{{"reset_after", -1}});
    SignOnAndLoad();
    window_->playStationWithID(QStringLiteral("radio:aggregate:777"));
    ASSERT_TRUE(RunUntil([&] { return !window_->isPreparingOrBufferingOrPlaying(); })) << Log();
    const auto targets = StreamTargets();
    ASSERT_EQ(targets.size(), 3u);
    const bool aacFirst = targets[0] == "777,1 n=1";
    EXPECT_EQ(targets, aacFirst ? (std::vector<std::string>{"777,1 n=1", "777,2 n=1", "777,2 n=2"})
                                : (std::vector<std::string>{"777,2 n=1", "777,2 n=2", "777,1 n=1"}));
    EXPECT_NE(Log().find("tryPlayingStation - no more station formats/urls\n"), std::string::npos);
    // The failure stays shown.
    EXPECT_EQ(window_->progressText(), QStringLiteral("Could not play Station 777."));
    EXPECT_NE(window_->displayText().indexOf(QStringLiteral("Could not play Station 777.")), -1);
    // Each format's URLs were asked for at its turn, after the previous format failed.
    std::vector<std::string> order;
    for (const auto& r : server_->Requests(prefix_)) {
        if (r.path.find("svcstream/") != std::string::npos)
            order.push_back("stream");
        else if (r.body.find("IFulfillmentGetAsset") != std::string::npos)
            order.push_back("urls");
    }
    EXPECT_EQ(order, aacFirst ? (std::vector<std::string>{"urls", "stream", "urls", "stream", "stream"})
                              : (std::vector<std::string>{"urls", "stream", "stream", "urls", "stream"}));
}

TEST_F(FallBack, TheNextFormatPlaysWhenOneFails) {
    StreamFails("777,2", QJsonObject{{"reset_after", -1}});
    SignOnAndLoad();
    window_->playStationWithID(QStringLiteral("radio:aggregate:777"));
    ASSERT_TRUE(RunUntil([&] { return window_->streamPlaying(); })) << Log();
    EXPECT_EQ(StreamTargets().back(), "777,1 n=1");
}

TEST_F(MainWindow, ReportsOfAnotherURLOnlyLog) {
    server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "svcstream/")}, {"silent", true}});
    SignOnAndLoad();
    window_->playStationWithID(QStringLiteral("radio:aggregate:1"));
    ASSERT_TRUE(RunUntil([&] { return !window_->playingStationURL().isEmpty(); })) << Log();
    const QString current = window_->playingStationURL();
    const QString old = QStringLiteral("http://127.0.0.1:1/elsewhere?uid=macclient-0");
    struct Row {
        std::function<void()> report;
        const char* line;
    };
    const Row rows[] = {
        {[&] { window_->connecting(old); }, "connecting: ignored.  old url.\n"},
        {[&] { window_->bufferingStarted(old); }, "bufferingStarted: ignored.  old url.\n"},
        {[&] { window_->playingWillStart(old); }, "playingWillStart: ignored.  old url.\n"},
        {[&] { window_->playingStarted(old); }, "playingStarted: ignored.  old url.\n"},
        {[&] { window_->playingStopped(old); }, "playingStopped: ignored.  old url.\n"},
        {[&] { window_->playingError(ErrorDescription("net", 16), old); }, "playingError: ignored.  old url.\n"},
        {[&] { window_->receivedMetaData("<metadata/>", QDateTime::currentDateTimeUtc(), old); },
         "receivedMetaData: ignored.  old url.\n"},
        {[&] { window_->trackProgressAt(3, 10, 1, old); }, "trackProgressAt: ignored.  old url.\n"},
    };
    for (const auto& row : rows) {
        row.report();
        EXPECT_NE(Log().find(row.line), std::string::npos) << row.line;
        EXPECT_EQ(window_->playingStationURL(), current) << row.line;
    }
    EXPECT_FALSE(window_->nextTrackMetadata());
    // Each dropped report says which stream it was for, the schemes left out.
    QString playing = current;
    playing.remove(0, playing.indexOf(QLatin1Char(':')) + 1);
    EXPECT_NE(Log().find("isStationURLActive - playing[" + playing.toStdString() +
                         "] vs check[//127.0.0.1:1/elsewhere?uid=macclient-0] - result = 0\n"),
              std::string::npos)
        << Log();
    // The same stream asked by another scheme is the current one.
    QString otherScheme = current;
    otherScheme.replace(0, 4, QStringLiteral("qint"));
    EXPECT_TRUE(window_->isStationURLPlaying(otherScheme));

    // Switching stations ends the old one at once; the player's own late stop is stale.
    window_->playStationWithID(QStringLiteral("radio:aggregate:2"));
    EXPECT_EQ(window_->playingStation()->stationID(), QStringLiteral("radio:aggregate:2"));
    window_->playingStopped(current);
    EXPECT_EQ(window_->playingStation()->stationID(), QStringLiteral("radio:aggregate:2"));
}

TEST_F(MainWindow, ANetworkUnreachableErrorEndsThePlayWithoutFallBack) {
    server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "svcstream/")}, {"silent", true}});
    SignOnAndLoad();
    window_->playStationWithID(QStringLiteral("radio:aggregate:2"));
    ASSERT_TRUE(RunUntil([&] { return !StreamRequests().empty(); })) << Log();
    const std::size_t streams = StreamRequests().size();
    window_->playingError(ErrorDescription(QStringLiteral("any domain"), 16), window_->playingStationURL());
    EXPECT_FALSE(window_->playingStation());
    platform::RunLoop::Current().RunFor(std::chrono::milliseconds(100));
    EXPECT_EQ(StreamRequests().size(), streams);
}

// The window on a fake clock, station 1 asked for over a silent stream: the player never
// reports, so the test plays its part.
class FakeTime : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        clock.set(QDateTime::currentDateTimeUtc());
        env_.clock = &clock;
        env_.scheduler = &scheduler;
        server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "svcstream/")}, {"silent", true}});
    }
    // The URL the window plays; empty when none came.
    QString PlayStationOne() {
        if (!window_) SignOnAndLoad();
        window_->playStationWithID(QStringLiteral("radio:aggregate:1"));
        RunUntil([&] { return !window_->playingStationURL().isEmpty(); });
        return window_->playingStationURL();
    }
    FakeClock clock;
    FakeScheduler scheduler{&clock};
};

TEST_F(FakeTime, TrackMetadataIsSwappedInAtItsStart) {
    const QString url = PlayStationOne();
    ASSERT_FALSE(url.isEmpty()) << Log();
    auto song = [](const char* name) {
        return QByteArray("<metadata><song><name>") + name + "</name><artist>Band</artist></song></metadata>";
    };
    auto shown = [&] {
        auto* m = window_->currentTrackMetadata();
        return m ? m->songName().value_or(QString()).toStdString() : std::string("none");
    };

    // Two documents before the first start: only the second is shown, at its own start.
    window_->receivedMetaData(song("One"), clock.now().addSecs(5), url);
    window_->receivedMetaData(song("Two"), clock.now().addSecs(8), url);
    scheduler.advance(std::chrono::seconds(5));
    EXPECT_EQ(shown(), "none");
    scheduler.advance(std::chrono::seconds(3));
    EXPECT_EQ(shown(), "Two");
    // The stream is silent, so the player never plays: the display keeps the progress and
    // the song waits for the stream (the display's cases are DisplayTest's).
    EXPECT_EQ(window_->displayText().indexOf(QStringLiteral("Two")), -1) << window_->displayText().toStdString();

    // A start in the past is swapped in at once.
    window_->receivedMetaData(song("Three"), clock.now().addSecs(-30), url);
    scheduler.advance(std::chrono::milliseconds(0));
    EXPECT_EQ(shown(), "Three");

    // A text that does not parse is an empty document: the swap happens, no song shows.
    window_->receivedMetaData("<metadata><song>", clock.now(), url);
    scheduler.advance(std::chrono::milliseconds(0));
    ASSERT_TRUE(window_->currentTrackMetadata());
    EXPECT_FALSE(window_->currentTrackMetadata()->isSong());
    EXPECT_EQ(window_->displayText().indexOf(QStringLiteral("Three")), -1);

    // Without any metadata, playing about to start swaps in an empty document.
    window_->playingStopped(url);
    EXPECT_FALSE(window_->currentTrackMetadata());
}

// Playing about to start stands in an empty document only when none is on its way: the
// first track's own document, received but not yet swapped in, is kept.
TEST_F(FakeTime, PlayingAboutToStartKeepsAFirstDocumentWaitingForItsSwap) {
    const QString url = PlayStationOne();
    ASSERT_FALSE(url.isEmpty()) << Log();

    window_->receivedMetaData("<metadata><song><name>First</name></song></metadata>", clock.now(), url);
    window_->playingWillStart(url);
    scheduler.advance(std::chrono::milliseconds(0));
    ASSERT_TRUE(window_->currentTrackMetadata());
    EXPECT_EQ(window_->currentTrackMetadata()->songName().value_or(QString()), QStringLiteral("First"));

    // With nothing received, an empty document is swapped in.
    window_->playingStopped(url);
    const QString again = PlayStationOne();
    ASSERT_FALSE(again.isEmpty()) << Log();
    window_->playingWillStart(again);
    scheduler.advance(std::chrono::milliseconds(0));
    ASSERT_TRUE(window_->currentTrackMetadata());
    EXPECT_FALSE(window_->currentTrackMetadata()->isSong());
}

// A stream that sends metadata packets by the thousand writes the log once per track
// change, not once per packet (a 250 KB/s stream of them wrote 12.9 MB in 40 s).
TEST_F(FakeTime, AFloodOfMetadataWritesOneLinePerTrackChange) {
    const QString url = PlayStationOne();
    ASSERT_FALSE(url.isEmpty()) << Log();
    const std::size_t before = Log().size();
    const QByteArray doc = "<metadata><song><name>Loop</name></song></metadata>";
    for (int i = 0; i < 2000; ++i)
        window_->receivedMetaData(doc, clock.now().addSecs(5), url);
    const std::size_t flooded = Log().size() - before;
    EXPECT_LT(flooded, 2000u) << "bytes logged for 2000 packets";
    scheduler.advance(std::chrono::seconds(5));
    ASSERT_TRUE(window_->currentTrackMetadata());
    EXPECT_EQ(window_->currentTrackMetadata()->songName().value_or(QString()), QStringLiteral("Loop"));
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

namespace {

TEST_F(FallBack, LateOrEmptyURLAnswersOfOtherFormatsAreHandledSoundly) {
    server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "svcstream/")}, {"silent", true}});
    SignOnAndLoad();
    window_->playStationWithID(QStringLiteral("radio:aggregate:777"));
    ASSERT_TRUE(RunUntil([&] { return !StreamRequests().empty(); })) << Log();
    const QString current = window_->playingStationURL();
    const QString firstProg = QString::fromStdString(StreamTargets()[0]).section(' ', 0, 0);
    const QString otherProg = firstProg == QStringLiteral("777,1") ? QStringLiteral("777,2") : QStringLiteral("777,1");

    // A failure or an answer for a format no longer tried changes nothing.
    window_->radioServiceStationURLDidFail(otherProg);
    window_->radioServiceStationURLDidLoad(otherProg, {QStringLiteral("http://127.0.0.1:1/x")});
    EXPECT_EQ(window_->playingStationURL(), current);

    // An empty list for the current format moves on to the next format instead of waiting.
    window_->radioServiceStationURLDidLoad(firstProg, {});
    ASSERT_TRUE(RunUntil([&] { return StreamRequests().size() >= 2; })) << Log();
    EXPECT_EQ(QString::fromStdString(StreamTargets().back()).section(' ', 0, 0), otherProg);
}

TEST_F(MainWindow, PlayerConfigValuesComeFromThePlistThenTheDefaults) {
    QFile plist(dir_.filePath("playerConfig.plist"));
    ASSERT_TRUE(plist.open(QIODevice::WriteOnly));
    plist.write(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
        "<key>nb_low_watermark</key><string>3.5</string>"
        "<key>nb_high_watermark</key><real>6.5</real>"
        "<key>bb_low_watermark</key><true/>"
        "<key>stream_start_timeout</key><real>1001</real>"
        "<key>stream_stale_timeout</key><string>-1</string>"
        "</dict></plist>");
    plist.close();
    env_.playerConfigPath = plist.fileName();
    defaults_->setDouble(QStringLiteral("nb_high_watermark"), 8.0);
    RadioWindowController& window = Make();
    ASSERT_TRUE(window.player());
    // Time-outs outside 0..1000 are not applied: the player keeps its own.
    auto fresh = RadioPlayer::create(QStringLiteral("test"));
    ASSERT_TRUE(fresh);
    EXPECT_EQ(window.player()->streamConnectionStartTimeout(), fresh->streamConnectionStartTimeout());
    EXPECT_EQ(window.player()->streamConnectionStaleTimeout(), fresh->streamConnectionStaleTimeout());
    struct Row {
        int bitRate;
        float low, high;
    };
    for (const Row row : {Row{32767, 3.5f, 8.0f}, Row{32768, 2.0f, 4.0f}}) {
        window.configurePlayerBufferingLevelsForBitRate(row.bitRate);
        float low = 0, high = 0;
        window.player()->getBufferingLevels(&low, &high);
        EXPECT_FLOAT_EQ(low, row.low) << row.bitRate;
        EXPECT_FLOAT_EQ(high, row.high) << row.bitRate;
    }
}

}  // namespace

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
