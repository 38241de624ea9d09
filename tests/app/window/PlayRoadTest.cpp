// The play road end to end against the test server: the fall-back over three formats of
// two URLs each, the audio of a double-clicked row, the player configuration as read from
// mistyped files, and presets stored on the server.

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

#include <map>

#include "WindowFixture.h"
#include "app/services/ZYMRadioStationFormat.h"

namespace {

using namespace windowtest;

const QString kThreeFormats = QStringLiteral("radio:aggregate:100");

// What breaks the URLs of the format in that place of the ranking.
enum class Fault { NotFound, Reset, Refused, None };

struct FallBackRow {
    const char* name;
    Fault faults[3];
    bool plays;
};

class ThreeFormats : public MainWindow, public ::testing::WithParamInterface<FallBackRow> {
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
    for (const auto& f :
         window_->radioService().stationFormats(kThreeFormats, window_->networkBandwidthLimitPreference()))
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

    window_->playStationWithID(kThreeFormats);
    if (row.plays)
        ASSERT_TRUE(RunUntil([&] { return window_->streamPlaying(); }, 60)) << Log();
    else
        ASSERT_TRUE(RunUntil([&] { return !window_->isPreparingOrBufferingOrPlaying(); }, 60)) << Log();

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
        EXPECT_EQ(window_->playingStation()->stationID(), kThreeFormats);
        EXPECT_TRUE(window_->progressText().isEmpty());
    } else {
        EXPECT_FALSE(window_->playingStation());
        EXPECT_EQ(window_->progressText(), QStringLiteral("Could not play Station 100."));
        EXPECT_NE(window_->displayText().indexOf(QStringLiteral("Could not play Station 100.")), -1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ThreeFormats,
    ::testing::Values(FallBackRow{"EveryURLFails", {Fault::NotFound, Fault::Reset, Fault::Refused}, false},
                      FallBackRow{"TheFifthURLPlays", {Fault::Refused, Fault::NotFound, Fault::None}, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : name_(name), old_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name)) {
        qputenv(name, value);
    }
    ~ScopedEnv() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    QByteArray old_;
    bool had_;
};

TEST_F(MainWindow, ADoubleClickedRowPlaysTheStationsAudio) {
    if (!zymtest::HaveProgram("mpg123")) GTEST_SKIP() << "mpg123 is missing";
    const std::string wav = zymtest::TempPath(".wav");
    ScopedEnv output("ZYM_AUDIO_OUTPUT", QByteArray("wav:") + wav.c_str());
    defaults_->setDouble(QStringLiteral("volume"), 1.0);
    SignOnAndLoad();
    // Station 1 plays the MP3 chirp (about 3 s) over plain HTTP.
    DoubleClickStation(QStringLiteral("radio:aggregate:1"));
    ASSERT_TRUE(RunUntil([&] { return window_->streamPlaying(); })) << Log();
    // The stream ends after the chirp, and with it the play.
    ASSERT_TRUE(RunUntil([&] { return !window_->isPreparingOrBufferingOrPlaying(); }, 60)) << Log();
    window_.reset();  // the output writes its header as it closes

    const auto diff = ComparePlayedWithMp3(wav, zymtest::DataPath("streams/chirp-64k.mp3"));
    std::remove(wav.c_str());
    EXPECT_GT(diff.compared, 2u * 24000 * 2) << "two seconds of the 24 kHz chirp at least";
    EXPECT_LE(diff.rms, 2.0);
}

TEST_F(MainWindow, MistypedPlayerConfigValuesTakeTheirDefaults) {
    const QString path = dir_.filePath("playerConfig.plist");
    env_.playerConfigPath = path;
    RadioWindowController& window = Make();
    ASSERT_TRUE(window.player());
    auto write = [&](const QByteArray& text) {
        QFile plist(path);
        ASSERT_TRUE(plist.open(QIODevice::WriteOnly | QIODevice::Truncate));
        plist.write(text);
    };
    auto low = [&] {
        window.playSession().configurePlayerBufferingLevelsForBitRate(8000);
        float lo = 0, hi = 0;
        window.player()->getBufferingLevels(&lo, &hi);
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

TEST_F(MainWindow, AURLGivenTwiceIsTriedOnce) {
    server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "svcstream/")}, {"silent", true}});
    SignOnAndLoad();
    window_->playStationWithID(QStringLiteral("radio:aggregate:1"));
    ASSERT_TRUE(RunUntil([&] { return !window_->playingStationURL().isEmpty(); })) << Log();
    const std::string base = server_->Url(prefix_ + "svcstream/1,1");
    const QString a = QString::fromStdString(base + "?fmt=mf128&n=1");
    const QString b = QString::fromStdString(base + "?fmt=mf128&n=2");
    const QString c = QString::fromStdString(base + "?fmt=mf128&n=3");
    // The same address, also when it carries a listener number of its own already.
    window_->radioServiceStationURLDidLoad(QStringLiteral("1,1"), {a, a, a + QStringLiteral("&uid=macclient-9"), b, c});
    const QUrl current(window_->playingStationURL());
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

class CountingStatistics : public WindowStatistics {
public:
    void increment(int key) override { ++counts[key]; }
    std::map<int, int> counts;
};

TEST_F(MainWindow, APresetPressCountsOnlyWhenItChangesTheStation) {
    CountingStatistics statistics;
    env_.statistics = &statistics;
    server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "svcstream/")}, {"silent", true}});
    SignOnAndLoad();
    // The server's presets: station 12345 on the first, nothing on the fifth.
    struct Row {
        int preset;
        const char* playing;  // afterwards
        int presetPlays;
        int stationPlays;
    };
    const Row rows[] = {
        {5, "", 0, 0},
        {1, "radio:aggregate:12345", 1, 1},
        {1, "radio:aggregate:12345", 1, 1},
    };
    for (const Row& row : rows) {
        window_->playPreset(row.preset);
        EXPECT_EQ(window_->playingStationID(), QString::fromLatin1(row.playing)) << row.preset;
        EXPECT_EQ(statistics.counts[RadioWindowController::kStatPresetPlays], row.presetPlays) << row.preset;
        EXPECT_EQ(statistics.counts[RadioWindowController::kStatStationPlays], row.stationPlays) << row.preset;
    }
}

TEST_F(MainWindow, AStoredPresetIsRecordedOnTheServer) {
    SignOnAndLoad();
    auto stored = [&] {
        std::vector<std::string> bodies;
        for (const auto& r : server_->Requests(prefix_))
            if (r.body.find("IProfileSetRequest") != std::string::npos) bodies.push_back(r.body);
        return bodies;
    };
    // The server's presets hold station 12345 on the first.
    ASSERT_EQ(window_->stationIDOnPreset(1), QStringLiteral("radio:aggregate:12345"));
    EXPECT_TRUE(window_->stationIDOnPreset(5).isEmpty());

    // A station on no preset is stored at once.
    window_->storeStationIDOnPreset(QStringLiteral("radio:aggregate:2"), 4);
    EXPECT_TRUE(dialogs_.shown.empty());
    ASSERT_TRUE(RunUntil([&] { return stored().size() == 1; })) << Log();
    EXPECT_NE(stored().back().find("radio:aggregate:2"), std::string::npos);
    EXPECT_EQ(window_->stationIDOnPreset(4), QStringLiteral("radio:aggregate:2"));

    // One already on a preset: asked first, stored only on the default button.
    struct Row {
        int button;
        bool storedAfter;
    };
    for (const Row row : {Row{1, false}, Row{-1, false}, Row{0, true}}) {
        const std::size_t before = stored().size();
        window_->storeStationIDOnPreset(QStringLiteral("radio:aggregate:12345"), 3);
        ASSERT_EQ(dialogs_.waiting(), 1) << row.button;
        EXPECT_EQ(dialogs_.shown.back().parent, window_->window());
        EXPECT_EQ(dialogs_.shown.back().request.buttons.size(), 2);
        // Its texts come from the strings table, not as their keys.
        const DialogRequest& sheet = dialogs_.shown.back().request;
        EXPECT_EQ(sheet.title, QStringLiteral("This station is already on a preset"));
        EXPECT_EQ(sheet.informativeText, QStringLiteral("Store it on this preset as well?"));
        EXPECT_EQ(sheet.buttons.value(0), QStringLiteral("Store"));
        EXPECT_NE(window_->stationIDOnPreset(3), QStringLiteral("radio:aggregate:12345"));
        ASSERT_TRUE(dialogs_.answer(row.button));
        if (row.storedAfter) {
            ASSERT_TRUE(RunUntil([&] { return stored().size() == before + 1; })) << Log();
            EXPECT_EQ(window_->stationIDOnPreset(3), QStringLiteral("radio:aggregate:12345"));
        } else {
            platform::RunLoop::Current().RunFor(std::chrono::milliseconds(50));
            EXPECT_EQ(stored().size(), before) << row.button;
        }
    }

    // A new sign-on reads them back from the server.
    window_.reset();
    SignOnAndLoad();
    ASSERT_TRUE(RunUntil([&] { return !window_->stationIDOnPreset(4).isEmpty(); })) << Log();
    EXPECT_EQ(window_->stationIDOnPreset(4), QStringLiteral("radio:aggregate:2"));
    EXPECT_EQ(window_->stationIDOnPreset(3), QStringLiteral("radio:aggregate:12345"));
}

}  // namespace
