// The play road against the test server, with no window: the fall-back over formats and
// URLs, the stale-URL filter over the player's reports, the timed swap of the track
// metadata and the player's configuration.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

#include "SessionFixture.h"
#include "app/radio/RadioMetadataParser.h"
#include "app/foundation/Clock.h"
#include "app/foundation/ErrorDescription.h"
#include "app/foundation/Resources.h"

namespace {

using namespace sessiontest;

const QString kThreeFormats = QStringLiteral("radio:aggregate:100");

// What breaks the URLs of the format in that place of the ranking.
enum class Fault { NotFound, Reset, Refused, None };

struct FallBackRow {
    const char* name;
    Fault faults[3];
    bool plays;
};

class ThreeFormats : public PlaySessionTest, public ::testing::WithParamInterface<FallBackRow> {
protected:
    // The log's play road, one entry per step: "urls F" (the URLs of format F asked for)
    // and "play F/U prog n=K" (URL U of format F handed to the player).
    std::vector<std::string> Road() {
        static const QRegularExpression line(
            QStringLiteral("tryPlayingStation - (?:requesting URLs for station .* with format (\\d+) of 3 |"
                           "trying station .* with format (\\d+) of 3 .* and url (\\d+) of (\\d+) \\((.*)\\)$)"));
        std::vector<std::string> road;
        for (const QString& l : QString::fromStdString(Log()).split(QLatin1Char('\n'))) {
            const auto m = line.match(l);
            if (!m.hasMatch()) continue;
            if (!m.captured(1).isEmpty()) {
                road.push_back("urls " + m.captured(1).toStdString());
                continue;
            }
            const QUrl url(m.captured(5));
            const QString prog = url.path().section(QLatin1Char('/'), -1);
            const QString n = QUrlQuery(url).queryItemValue(QStringLiteral("n"));
            road.push_back("play " + m.captured(2).toStdString() + "/" + m.captured(3).toStdString() + " " +
                           prog.toStdString() + " n=" + n.toStdString());
        }
        return road;
    }
};

TEST_P(ThreeFormats, EachFormatsURLsAreTriedAtItsTurn) {
    const FallBackRow& row = GetParam();
    SignOnAndLoad();
    std::vector<std::string> progs;
    for (const auto& f : radio_->stationFormats(kThreeFormats, kBandwidth))
        progs.push_back(f->progID().toStdString());
    ASSERT_EQ(progs.size(), 3u) << "three usable formats";

    QJsonArray refused;
    for (int k = 0; k < 3; ++k) {
        if (row.faults[k] == Fault::NotFound) StreamFails(progs[k], QJsonObject{{"status", 404}});
        if (row.faults[k] == Fault::Reset) StreamFails(progs[k], QJsonObject{{"reset_after", -1}});
        if (row.faults[k] == Fault::Refused) refused.append(QString::fromStdString(progs[k]));
    }
    server_->ScriptDirectory(prefix_,
                             {{"play_modes", QJsonArray{"full"}},
                              {"methods", QJsonObject{{"GetStationURL", QJsonObject{{"refused_progs", refused}}}}}});

    Play(kThreeFormats);
    if (row.plays)
        ASSERT_TRUE(RunUntil([&] { return session_->streamPlaying(); }, 60)) << Log();
    else
        ASSERT_TRUE(RunUntil([&] { return !session_->isPlaying(); }, 60)) << Log();

    // Format by format in the ranking's order, its URLs asked for only when its turn comes.
    std::vector<std::string> expected;
    std::vector<std::string> reached;  // the attempts the server saw
    for (int k = 0; k < 3; ++k) {
        expected.push_back("urls " + std::to_string(k + 1));
        for (int n = 1; n <= 2; ++n) {
            const std::string target = progs[k] + " n=" + std::to_string(n);
            expected.push_back("play " + std::to_string(k + 1) + "/" + std::to_string(n) + " " + target);
            if (row.faults[k] != Fault::Refused) reached.push_back(target);
            if (row.faults[k] == Fault::None) break;
        }
        if (row.faults[k] == Fault::None) break;
    }
    EXPECT_EQ(Road(), expected);
    EXPECT_EQ(StreamTargets(), reached);

    const bool gaveUp = Log().find("tryPlayingStation - no more station formats/urls\n") != std::string::npos;
    EXPECT_EQ(gaveUp, !row.plays);
    if (row.plays) {
        EXPECT_EQ(session_->playingStation()->stationID(), kThreeFormats);
        EXPECT_TRUE(progressText_.isEmpty());
    } else {
        EXPECT_FALSE(session_->playingStation());
        EXPECT_EQ(progressText_, QStringLiteral("Could not play Station 100."));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ThreeFormats,
    ::testing::Values(FallBackRow{"EveryURLFails", {Fault::NotFound, Fault::Reset, Fault::Refused}, false},
                      FallBackRow{"TheFifthURLPlays", {Fault::Refused, Fault::NotFound, Fault::None}, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Station 777 has two formats once AAC+ counts as playable: "777,1" (AAC+) with one URL
// and "777,2" (VLB) with two.
class FallBack : public PlaySessionTest {
protected:
    void SetUp() override {
        PlaySessionTest::SetUp();
        QFile codecs(resources_.filePath("SupportedRadioMediaFormatCodecs.plist"));
        ASSERT_TRUE(codecs.open(QIODevice::WriteOnly));
        codecs.write(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><array>"
            "<string>MP3</string><string>VLB</string><string>AACPLUS</string></array></plist>");
        codecs.close();
        Resources::pushRoot(resources_.path());
    }
    void TearDown() override {
        PlaySessionTest::TearDown();
        Resources::popRoot();
    }
    QTemporaryDir resources_;
};

TEST_F(FallBack, FailingURLsAreTriedInOrderOverFormatsThenGivenUp) {
    StreamFails("777,1", QJsonObject{{"status", 404}});
    StreamFails("777,2", QJsonObject{{"reset_after", -1}});
    SignOnAndLoad();
    Play(QStringLiteral("radio:aggregate:777"));
    ASSERT_TRUE(RunUntil([&] { return !session_->isPlaying(); })) << Log();
    const auto targets = StreamTargets();
    ASSERT_EQ(targets.size(), 3u);
    const bool aacFirst = targets[0] == "777,1 n=1";
    EXPECT_EQ(targets, aacFirst ? (std::vector<std::string>{"777,1 n=1", "777,2 n=1", "777,2 n=2"})
                                : (std::vector<std::string>{"777,2 n=1", "777,2 n=2", "777,1 n=1"}));
    EXPECT_NE(Log().find("tryPlayingStation - no more station formats/urls\n"), std::string::npos);
    // The failure is the last progress reported, so it stays shown.
    EXPECT_EQ(progressText_, QStringLiteral("Could not play Station 777."));
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
    Play(QStringLiteral("radio:aggregate:777"));
    ASSERT_TRUE(RunUntil([&] { return session_->streamPlaying(); })) << Log();
    EXPECT_EQ(StreamTargets().back(), "777,1 n=1");
}

TEST_F(PlaySessionTest, ReportsOfAnotherURLOnlyLog) {
    server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "svcstream/")}, {"silent", true}});
    SignOnAndLoad();
    Play(QStringLiteral("radio:aggregate:1"));
    ASSERT_TRUE(RunUntil([&] { return !session_->playingStationURL().isEmpty(); })) << Log();
    const QString current = session_->playingStationURL();
    const QString old = QStringLiteral("http://127.0.0.1:1/elsewhere?uid=macclient-0");
    struct Row {
        std::function<void()> report;
        const char* line;
    };
    const Row rows[] = {
        {[&] { session_->connecting(old); }, "connecting: ignored.  old url.\n"},
        {[&] { session_->bufferingStarted(old); }, "bufferingStarted: ignored.  old url.\n"},
        {[&] { session_->playingWillStart(old); }, "playingWillStart: ignored.  old url.\n"},
        {[&] { session_->playingStarted(old); }, "playingStarted: ignored.  old url.\n"},
        {[&] { session_->playingStopped(old); }, "playingStopped: ignored.  old url.\n"},
        {[&] { session_->playingError(ErrorDescription("net", 16), old); }, "playingError: ignored.  old url.\n"},
        {[&] { session_->receivedMetaData("<metadata/>", QDateTime::currentDateTimeUtc(), old); },
         "receivedMetaData: ignored.  old url.\n"},
        {[&] { session_->trackProgressAt(3, 10, 1, old); }, "trackProgressAt: ignored.  old url.\n"},
    };
    for (const auto& row : rows) {
        row.report();
        EXPECT_NE(Log().find(row.line), std::string::npos) << row.line;
        EXPECT_EQ(session_->playingStationURL(), current) << row.line;
    }
    EXPECT_FALSE(session_->nextTrackMetadata());
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
    EXPECT_TRUE(session_->isStationURLPlaying(otherScheme));

    // Switching stations ends the old one at once; the player's own late stop is stale.
    Play(QStringLiteral("radio:aggregate:2"));
    EXPECT_EQ(session_->playingStation()->stationID(), QStringLiteral("radio:aggregate:2"));
    session_->playingStopped(current);
    EXPECT_EQ(session_->playingStation()->stationID(), QStringLiteral("radio:aggregate:2"));
}

TEST_F(PlaySessionTest, ANetworkUnreachableErrorEndsThePlayWithoutFallBack) {
    server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "svcstream/")}, {"silent", true}});
    SignOnAndLoad();
    Play(QStringLiteral("radio:aggregate:2"));
    ASSERT_TRUE(RunUntil([&] { return !StreamRequests().empty(); })) << Log();
    const std::size_t streams = StreamRequests().size();
    session_->playingError(ErrorDescription(QStringLiteral("any domain"), 16), session_->playingStationURL());
    EXPECT_FALSE(session_->playingStation());
    platform::RunLoop::Current().RunFor(std::chrono::milliseconds(100));
    EXPECT_EQ(StreamRequests().size(), streams);
}

// The session on a fake clock, station 1 asked for over a silent stream: the player never
// reports, so the test plays its part.
class FakeTime : public PlaySessionTest {
protected:
    void SetUp() override {
        PlaySessionTest::SetUp();
        clock.set(QDateTime::currentDateTimeUtc());
        env_.clock = &clock;
        env_.scheduler = &scheduler;
        server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "svcstream/")}, {"silent", true}});
    }
    // The URL the session plays; empty when none came.
    QString PlayStationOne() {
        if (!session_) SignOnAndLoad();
        Play(QStringLiteral("radio:aggregate:1"));
        RunUntil([&] { return !session_->playingStationURL().isEmpty(); });
        return session_->playingStationURL();
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
        auto* m = session_->currentTrackMetadata();
        return m ? m->songName().value_or(QString()).toStdString() : std::string("none");
    };

    // Two documents before the first start: only the second is shown, at its own start.
    session_->receivedMetaData(song("One"), clock.now().addSecs(5), url);
    session_->receivedMetaData(song("Two"), clock.now().addSecs(8), url);
    scheduler.advance(std::chrono::seconds(5));
    EXPECT_EQ(shown(), "none");
    scheduler.advance(std::chrono::seconds(3));
    EXPECT_EQ(shown(), "Two");

    // A start in the past is swapped in at once.
    session_->receivedMetaData(song("Three"), clock.now().addSecs(-30), url);
    scheduler.advance(std::chrono::milliseconds(0));
    EXPECT_EQ(shown(), "Three");

    // A text that does not parse is an empty document: the swap happens, no song shows.
    session_->receivedMetaData("<metadata><song>", clock.now(), url);
    scheduler.advance(std::chrono::milliseconds(0));
    ASSERT_TRUE(session_->currentTrackMetadata());
    EXPECT_FALSE(session_->currentTrackMetadata()->isSong());

    // Without any metadata, playing about to start swaps in an empty document.
    session_->playingStopped(url);
    EXPECT_FALSE(session_->currentTrackMetadata());
}

// Playing about to start stands in an empty document only when none is on its way: the
// first track's own document, received but not yet swapped in, is kept.
TEST_F(FakeTime, PlayingAboutToStartKeepsAFirstDocumentWaitingForItsSwap) {
    const QString url = PlayStationOne();
    ASSERT_FALSE(url.isEmpty()) << Log();

    session_->receivedMetaData("<metadata><song><name>First</name></song></metadata>", clock.now(), url);
    session_->playingWillStart(url);
    scheduler.advance(std::chrono::milliseconds(0));
    ASSERT_TRUE(session_->currentTrackMetadata());
    EXPECT_EQ(session_->currentTrackMetadata()->songName().value_or(QString()), QStringLiteral("First"));

    // With nothing received, an empty document is swapped in.
    session_->playingStopped(url);
    const QString again = PlayStationOne();
    ASSERT_FALSE(again.isEmpty()) << Log();
    session_->playingWillStart(again);
    scheduler.advance(std::chrono::milliseconds(0));
    ASSERT_TRUE(session_->currentTrackMetadata());
    EXPECT_FALSE(session_->currentTrackMetadata()->isSong());
}

// A stream that sends metadata packets by the thousand writes the log once per track
// change, not once per packet (a 250 KB/s stream of them wrote 12.9 MB in 40 s).
TEST_F(FakeTime, AFloodOfMetadataWritesOneLinePerTrackChange) {
    const QString url = PlayStationOne();
    ASSERT_FALSE(url.isEmpty()) << Log();
    const std::size_t before = Log().size();
    const QByteArray doc = "<metadata><song><name>Loop</name></song></metadata>";
    for (int i = 0; i < 2000; ++i)
        session_->receivedMetaData(doc, clock.now().addSecs(5), url);
    const std::size_t flooded = Log().size() - before;
    EXPECT_LT(flooded, 2000u) << "bytes logged for 2000 packets";
    scheduler.advance(std::chrono::seconds(5));
    ASSERT_TRUE(session_->currentTrackMetadata());
    EXPECT_EQ(session_->currentTrackMetadata()->songName().value_or(QString()), QStringLiteral("Loop"));
}

TEST_F(FallBack, LateOrEmptyURLAnswersOfOtherFormatsAreHandledSoundly) {
    server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "svcstream/")}, {"silent", true}});
    SignOnAndLoad();
    Play(QStringLiteral("radio:aggregate:777"));
    ASSERT_TRUE(RunUntil([&] { return !StreamRequests().empty(); })) << Log();
    const QString current = session_->playingStationURL();
    const QString firstProg = QString::fromStdString(StreamTargets()[0]).section(' ', 0, 0);
    const QString otherProg = firstProg == QStringLiteral("777,1") ? QStringLiteral("777,2") : QStringLiteral("777,1");

    // A failure or an answer for a format no longer tried changes nothing.
    session_->stationURLDidFail(otherProg);
    session_->stationURLDidLoad(otherProg, {QStringLiteral("http://127.0.0.1:1/x")});
    EXPECT_EQ(session_->playingStationURL(), current);

    // An empty list for the current format moves on to the next format instead of waiting.
    session_->stationURLDidLoad(firstProg, {});
    ASSERT_TRUE(RunUntil([&] { return StreamRequests().size() >= 2; })) << Log();
    EXPECT_EQ(QString::fromStdString(StreamTargets().back()).section(' ', 0, 0), otherProg);
}

TEST_F(PlaySessionTest, PlayerConfigValuesComeFromThePlistThenTheDefaults) {
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
    PlaySession& session = Make();
    ASSERT_TRUE(session.player());
    // Time-outs outside 0..1000 are not applied: the player keeps its own.
    auto fresh = RadioPlayer::create(QStringLiteral("test"));
    ASSERT_TRUE(fresh);
    EXPECT_EQ(session.player()->streamConnectionStartTimeout(), fresh->streamConnectionStartTimeout());
    EXPECT_EQ(session.player()->streamConnectionStaleTimeout(), fresh->streamConnectionStaleTimeout());
    struct Row {
        int bitRate;
        float low, high;
    };
    for (const Row row : {Row{32767, 3.5f, 8.0f}, Row{32768, 2.0f, 4.0f}}) {
        session.configurePlayerBufferingLevelsForBitRate(row.bitRate);
        float low = 0, high = 0;
        session.player()->getBufferingLevels(&low, &high);
        EXPECT_FLOAT_EQ(low, row.low) << row.bitRate;
        EXPECT_FLOAT_EQ(high, row.high) << row.bitRate;
    }
}

TEST_F(PlaySessionTest, MistypedPlayerConfigValuesTakeTheirDefaults) {
    const QString path = dir_.filePath("playerConfig.plist");
    env_.playerConfigPath = path;
    PlaySession& session = Make();
    ASSERT_TRUE(session.player());
    auto write = [&](const QByteArray& text) {
        QFile plist(path);
        ASSERT_TRUE(plist.open(QIODevice::WriteOnly | QIODevice::Truncate));
        plist.write(text);
    };
    auto low = [&] {
        session.configurePlayerBufferingLevelsForBitRate(8000);
        float lo = 0, hi = 0;
        session.player()->getBufferingLevels(&lo, &hi);
        return lo;
    };
    struct Row {
        const char* value;  // the plist text of nb_low_watermark
        float low;
    };
    const Row rows[] = {
        {"<integer>3</integer>", 3.0f},
        {"<string> 4.5 </string>", 4.5f},
        {"<string>fast</string>", 5.0f},
        {"<string></string>", 5.0f},
        {"<array><real>1</real></array>", 5.0f},
        {"<dict/>", 5.0f},
        {"<date>2026-01-01T00:00:00Z</date>", 5.0f},
    };
    for (const Row& row : rows) {
        write(QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
                         "<key>nb_low_watermark</key>") +
              row.value + "</dict></plist>");
        EXPECT_FLOAT_EQ(low(), row.low) << row.value;
    }
    // A file that is no dictionary, or no property list at all: every value its default.
    for (const char* text : {"<?xml version=\"1.0\"?><plist version=\"1.0\"><array><real>9</real></array></plist>",
                             "nb_low_watermark = 9", ""}) {
        write(text);
        EXPECT_FLOAT_EQ(low(), 5.0f) << text;
    }
    // A user default wins, also as text.
    defaults_->setString(QStringLiteral("nb_low_watermark"), QStringLiteral("1.5"));
    EXPECT_FLOAT_EQ(low(), 1.5f);
}

TEST_F(PlaySessionTest, AURLGivenTwiceIsTriedOnce) {
    server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "svcstream/")}, {"silent", true}});
    SignOnAndLoad();
    Play(QStringLiteral("radio:aggregate:1"));
    ASSERT_TRUE(RunUntil([&] { return !session_->playingStationURL().isEmpty(); })) << Log();
    const std::string base = server_->Url(prefix_ + "svcstream/1,1");
    const QString a = QString::fromStdString(base + "?fmt=mf128&n=1");
    const QString b = QString::fromStdString(base + "?fmt=mf128&n=2");
    const QString c = QString::fromStdString(base + "?fmt=mf128&n=3");
    // The same address, also when it carries a listener number of its own already.
    session_->stationURLDidLoad(QStringLiteral("1,1"), {a, a, a + QStringLiteral("&uid=macclient-9"), b, c});
    const QUrl current(session_->playingStationURL());
    EXPECT_EQ(QUrlQuery(current).queryItemValue(QStringLiteral("n")), QStringLiteral("1"));
    EXPECT_EQ(QUrlQuery(current).allQueryItemValues(QStringLiteral("uid")), QStringList{QStringLiteral("macclient-0")});
    const std::string log = Log();
    EXPECT_NE(log.find("and url 1 of 3 ("), std::string::npos) << "three of five left";
    std::size_t dropped = 0;
    for (auto at = log.find("url is a duplicate. DROPPED."); at != std::string::npos;
         at = log.find("url is a duplicate. DROPPED.", at + 1))
        ++dropped;
    EXPECT_EQ(dropped, 2u);
}

}  // namespace
