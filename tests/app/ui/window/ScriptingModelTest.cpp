// The scripting model over a real window: its keys, the presets it writes, streams played
// by address and the sign-on a URL forces, against the test server.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPushButton>
#include <QSlider>

#include "SilentEngine.h"
#include "WindowFixture.h"
#include "app/radio/ZYMRadioStation.h"
#include "app/ui/RadioAppController.h"
#include "app/radio/RadioMetadataParser.h"
#include "app/ui/ScriptingModel.h"

namespace {

using windowtest::RunUntil;

class ListenerNumber : public WindowStatistics {
public:
    qint64 number(int key) override { return key == RadioWindowController::kStatClientID ? 7 : 0; }
};

// Stores the slots up to one that fails.
class FailingModel : public ScriptingModel {
public:
    FailingModel(RadioWindowController& window, int failingSlot) : ScriptingModel(window), failing_(failingSlot) {}

protected:
    bool storePreset(const ZYMRadioStation& station, int slot) override {
        if (slot == failing_) throw std::runtime_error("store failed");
        return ScriptingModel::storePreset(station, slot);
    }

private:
    int failing_;
};

class Scripting : public windowtest::MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        env_.statistics = &statistics_;
    }

    void TearDown() override {
        model_.reset();
        MainWindow::TearDown();
    }

    ScriptingModel& Make(bool silent = true) {
        if (silent) env_.playerEngines = SilentEngine::factory(&played_);
        MainWindow::Make();
        model_ = std::make_unique<ScriptingModel>(*window_);
        return *model_;
    }

    std::vector<std::string> StreamPaths() {
        std::vector<std::string> paths;
        for (const auto& r : server_->Requests(prefix_))
            if (r.path.find("byaddress") != std::string::npos) paths.push_back(r.path);
        return paths;
    }

    int SetPresetsRequests() {
        int n = 0;
        for (const auto& r : server_->Requests(prefix_))
            if (r.body.find("IProfileSetRequest") != std::string::npos) ++n;
        return n;
    }

    // The window's clock and timers stepped by the test.
    void UseFakeTime() {
        env_.clock = &clock_;
        env_.scheduler = &scheduler_;
    }

    FakeClock clock_;
    FakeScheduler scheduler_{&clock_};
    ListenerNumber statistics_;
    std::vector<std::string> played_;
    std::unique_ptr<ScriptingModel> model_;
};

TEST_F(Scripting, VolumeAsAPercentage) {
    ScriptingModel& model = Make();
    auto* slider = window_->window()->findChild<QSlider*>();
    ASSERT_TRUE(slider);
    slider->setValue(505);
    EXPECT_EQ(model.soundVolume(), 50);
    struct Case {
        int set;
        int slider;
        int read;
    };
    for (const Case& c : {Case{150, 1000, 100}, Case{-5, 0, 0}, Case{37, 370, 37}, Case{100, 1000, 100}}) {
        model.setSoundVolume(c.set);
        EXPECT_EQ(slider->value(), c.slider) << c.set;
        EXPECT_EQ(model.soundVolume(), c.read) << c.set;
    }
}

TEST_F(Scripting, TrackTimesInMillisecondsAndTheCurrentTrack) {
    ScriptingModel& model = Make();
    EXPECT_EQ(model.currentTrackPlayingTime(), 0);
    EXPECT_EQ(model.currentTrackTotalTime(), 0);
    model.setTrackTimeSource([] { return ScriptingModel::TrackTime{12.3456, 200.5}; });
    EXPECT_EQ(model.currentTrackPlayingTime(), 12345);
    EXPECT_EQ(model.currentTrackTotalTime(), 200500);

    EXPECT_FALSE(model.currentTrack());
    EXPECT_EQ(model.albumArtUrl(), QString(""));
    UseFakeTime();
    ScriptingModel& fresh = Make();
    fresh.playStationWithURL(QStringLiteral("http://127.0.0.1:9/live"));
    window_->playSession().receivedMetaData("<metadata><song><name>Tune</name></song></metadata>", clock_.now(),
                                            window_->playingStationURL());
    scheduler_.advance(std::chrono::milliseconds(0));
    // A field the document leaves out is empty, never missing.
    EXPECT_EQ(fresh.currentTrack(), (ZYMScriptTrack{QStringLiteral("Tune"), QString(""), QString("")}));
}

// Without a source set, the times are the window's track timer's: from the track's start,
// then from each position the player reports, running on with the clock.
TEST_F(Scripting, TrackTimesFollowTheWindowsTrackTimer) {
    UseFakeTime();
    ScriptingModel& model = Make();
    model.playStationWithURL(QStringLiteral("http://127.0.0.1:9/live"));
    window_->playSession().receivedMetaData(
        "<metadata><length>200500</length><song><name>Tune</name></song></metadata>", clock_.now().addSecs(1),
        window_->playingStationURL());
    scheduler_.advance(std::chrono::milliseconds(500));
    EXPECT_EQ(model.currentTrackPlayingTime(), 0) << "no track yet";
    EXPECT_EQ(model.currentTrackTotalTime(), 0);
    struct Step {
        int ms;                   // clock stepped first
        std::optional<float> at;  // a position the player reports
        qint64 playing, total;
    };
    for (const Step& step : {Step{500, std::nullopt, 0, 200500}, Step{2500, std::nullopt, 2500, 200500},
                             Step{0, 30.25f, 30250, 200500}, Step{1000, std::nullopt, 31250, 200500}}) {
        scheduler_.advance(std::chrono::milliseconds(step.ms));
        if (step.at) window_->playSession().trackProgressAt(*step.at, 200.5f, 0, window_->playingStationURL());
        EXPECT_EQ(model.currentTrackPlayingTime(), step.playing) << step.ms;
        EXPECT_EQ(model.currentTrackTotalTime(), step.total) << step.ms;
    }
}

// An address from outside may name any host: it gets no listener number, and one it
// carries is not touched.
TEST_F(Scripting, StreamsPlayedByAddressArePlayedAsGiven) {
    ScriptingModel& model = Make();
    for (const char* url : {"http://127.0.0.1:9/live", "http://127.0.0.1:9/live?a=1", "qint://127.0.0.1:9/live?a=1",
                            "http://127.0.0.1:9/live?uid=someone"}) {
        model.playStationWithURL(QString::fromLatin1(url));
        ASSERT_FALSE(played_.empty());
        EXPECT_EQ(played_.back(), url);
        EXPECT_EQ(model.playingStation(), (ZYMScriptStation{QStringLiteral("-1"), QString::fromLatin1(url)}));
        EXPECT_EQ(window_->playingStationURL().toStdString(), url);
        EXPECT_TRUE(model.isPlaying());
    }
}

TEST_F(Scripting, SignedOnTheDirectoryShowsAndPresetsAreArraysWithEmptySlots) {
    ScriptingModel& model = Make();
    EXPECT_TRUE(model.presetsArray().isEmpty());
    SignOnAndLoad();
    EXPECT_TRUE(model.isAuthenticated());
    EXPECT_TRUE(model.radioStations().contains(
        ZYMScriptStation{QStringLiteral("radio:aggregate:20"), QStringLiteral("Station 20")}));
    EXPECT_FALSE(model.radioGenres().isEmpty());
    ASSERT_EQ(model.maxNumberOfPresets(), 5);
    const auto before = model.presetsArray();
    ASSERT_EQ(before.size(), 5);
    const int requests = SetPresetsRequests();

    auto station = [&](int n) { return model.stationWithID(QStringLiteral("radio:aggregate:%1").arg(n)); };
    // One too many, an unknown station: refused with the reason, nothing stored.
    QList<std::optional<ZYMScriptStation>> tooMany(6);
    tooMany[0] = station(20);
    EXPECT_EQ(model.setPresetsArray(tooMany), QString::fromLatin1(kPresetArraySizeReason));
    QList<std::optional<ZYMScriptStation>> unknown(5);
    unknown[0] = station(20);
    unknown[1] = ZYMScriptStation{QStringLiteral("radio:aggregate:9999"), QStringLiteral("Nowhere")};
    EXPECT_EQ(model.setPresetsArray(unknown), QString::fromLatin1(kPresetUnknownStationReason));
    EXPECT_EQ(model.presetsArray(), before);

    // Empty entries keep their slots; the batch is written once.
    QList<std::optional<ZYMScriptStation>> some(5);
    some[1] = station(21);
    some[3] = station(22);
    EXPECT_EQ(model.setPresetsArray(some), std::nullopt);
    auto expected = before;
    expected[1] = station(21);
    expected[3] = station(22);
    EXPECT_EQ(model.presetsArray(), expected);
    EXPECT_TRUE(RunUntil([&] { return SetPresetsRequests() == requests + 1; }));

    // A store failing halfway keeps what was stored before it and says so.
    FailingModel failing(*window_, 3);
    QList<std::optional<ZYMScriptStation>> all{station(23), station(24), station(25), station(26), station(27)};
    EXPECT_EQ(failing.setPresetsArray(all), QStringLiteral("Preset 3 could not be stored"));
    expected[0] = station(23);
    expected[1] = station(24);
    EXPECT_EQ(model.presetsArray(), expected);
}

TEST_F(Scripting, AForcedSignOnPlaysByIdentifierElseByName) {
    struct Case {
        std::optional<QString> id;
        std::optional<QString> name;
        const char* plays;
    };
    for (const Case& c :
         {Case{QStringLiteral("radio:aggregate:12"), QStringLiteral("Station 13"), "radio:aggregate:12"},
          Case{QStringLiteral("radio:aggregate:9999"), QStringLiteral("Station 13"), "radio:aggregate:13"},
          Case{std::nullopt, QStringLiteral("Station 14"), "radio:aggregate:14"}}) {
        ScriptingModel& model = Make();
        EXPECT_FALSE(model.isAuthenticated());
        model.forceSignOnAndPlayStationID(c.id, c.name);
        ASSERT_TRUE(RunUntil([&] { return window_->radioService().informationLoaded(); }));
        ASSERT_TRUE(RunUntil([&] { return model.playingStation().has_value(); })) << c.plays;
        EXPECT_EQ(model.playingStation()->identifier.toStdString(), c.plays);
        EXPECT_EQ(model.authenticatedUsername(), QString::fromLatin1(kUser));
        EXPECT_FALSE(window_->forcePlayAtSignOn());
        // The next load plays nothing by itself.
        model.stopPlaying();
        window_->finishSetup();
        EXPECT_FALSE(model.isPlaying());
        window_.reset();
    }
}

TEST_F(Scripting, AURLGivenAtLaunchIsActedOnOnceTheWindowExists) {
    defaults_->setBool(QStringLiteral("network_bandwidth_user_prompted"), true);
    env_.playerEngines = SilentEngine::factory(&played_);
    AppEnvironment app;
    app.defaults = defaults_.get();
    app.window = env_;
    app.instanceName = QStringLiteral("zymradio-scripting-%1").arg(QCoreApplication::applicationPid());
    app.logFolder = dir_.filePath(QStringLiteral("logs"));
    app.terminate = [] {};
    RadioAppController controller(app);
    controller.handleURL(QStringLiteral("https://example.com/elsewhere"));
    controller.handleURL(QStringLiteral("zymradio:playstation?id=radio%3Aaggregate%3A15"));
    ASSERT_TRUE(controller.start());
    ASSERT_TRUE(controller.scriptingModel());
    ASSERT_TRUE(RunUntil([&] { return controller.scriptingModel()->playingStation().has_value(); }));
    EXPECT_EQ(controller.scriptingModel()->playingStation()->identifier, QStringLiteral("radio:aggregate:15"));
    ASSERT_TRUE(RunUntil([&] { return !played_.empty(); }));
    EXPECT_NE(played_[0].find("stream/15,"), std::string::npos) << played_[0];
    InitLogFile(logPath_.c_str(), kLogDebug, 0);
}

TEST_F(Scripting, AStreamPlayedByAddressReportsAndItsEndClearsTheStation) {
    // A Quintrel stream with one track's document, served once.
    const QByteArray audio = [] {
        QFile f(QString::fromStdString(zymtest::DataPath("vlb/stereo44k.aac")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    ASSERT_FALSE(audio.isEmpty());
    QJsonArray packets{
        QJsonObject{{"xml", "<metadata><song><name>By Address</name><artist>Loopback</artist></song></metadata>"},
                    {"parts", 1},
                    {"id", 1}},
        QJsonObject{{"timing", QJsonArray{audio.size(), 0}}},
        QJsonObject{{"audio", QJsonObject{{"body_b64", QString::fromLatin1(audio.toBase64())}}},
                    {"codec", "vlb"},
                    {"split", 1000}}};
    server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "byaddress")},
                                {"kind", "quintrel"},
                                {"packets", packets},
                                {"avg_bitrate", 48000}});
    ScriptingModel& model = Make(false);
    // The playing state and the track's document are the player's reports for the stream:
    // both reach the window only when its URL is the current one. Kept once seen, as the
    // short stream may end before the next look.
    bool sawPlaying = false;
    bool sawTrack = false;
    QString stationAtTrack;
    QObject::connect(window_.get(), &RadioWindowController::playingStateChanged, window_.get(),
                     [&] { sawPlaying = sawPlaying || window_->streamPlaying(); });
    QObject::connect(window_.get(), &RadioWindowController::trackStarted, window_.get(), [&] {
        if (!model.currentTrack() || model.currentTrack()->name != QStringLiteral("By Address")) return;
        sawTrack = true;
        stationAtTrack = model.playingStation() ? model.playingStation()->name : QString();
    });
    const QString url = QString::fromStdString(server_->Url(prefix_ + "byaddress"));
    model.playStationWithURL(url);
    ASSERT_TRUE(RunUntil([&] { return sawPlaying && sawTrack; }));
    EXPECT_EQ(stationAtTrack, url);
    ASSERT_TRUE(RunUntil([&] { return !model.isPlaying(); }, 60));
    EXPECT_FALSE(model.playingStation());
    EXPECT_EQ(StreamPaths().size(), 1u) << "played once, not tried again";
}

}  // namespace

namespace {

// A stream played by address that fails ends as the last format's failure would, signed on
// or not: nothing is left "playing" without sound.
TEST_F(Scripting, AFailingStreamPlayedByAddressEndsSignedOnOrOff) {
    struct Row {
        const char* path;
        QJsonObject fault;
        bool signedOn;
    };
    ScriptingModel& model = Make(false);
    for (const Row& row :
         {Row{"gone", QJsonObject{{"status", 404}}, false}, Row{"cut", QJsonObject{{"reset_after", -1}}, false},
          Row{"gone-on", QJsonObject{{"status", 404}}, true}}) {
        if (row.signedOn) SignOnAndLoad();
        ASSERT_EQ(window_->radioService().serviceAvailable(), row.signedOn) << row.path;
        QJsonObject script = row.fault;
        script["path"] = QString::fromStdString(prefix_ + "byaddress/" + row.path);
        server_->Script(script);
        const QString url = QString::fromStdString(server_->Url(prefix_ + "byaddress/" + row.path));
        model.playStationWithURL(url);
        ASSERT_TRUE(model.isPlaying()) << row.path;
        ASSERT_TRUE(RunUntil([&] { return !model.isPlaying(); })) << row.path << "\n" << Log();
        EXPECT_FALSE(model.playingStation()) << row.path;
        EXPECT_EQ(window_->progressText(), QStringLiteral("Could not play %1.").arg(url)) << row.path;
        EXPECT_EQ(window_->playStopButton()->property("image").toString(), QStringLiteral("play_normal")) << row.path;
    }
    EXPECT_EQ(StreamPaths().size(), 3u) << "each tried once";
}

}  // namespace

namespace {

// What reaches a host: a directory station's stream request carries the listener's number
// once; an address handed in from outside carries none, whatever host it names.
TEST_F(Scripting, OnlyDirectoryStreamsSendTheListenersNumber) {
    ScriptingModel& model = Make(false);
    SignOnAndLoad();
    model.playStationWithID(QStringLiteral("radio:aggregate:1"));
    ASSERT_TRUE(RunUntil([&] { return !StreamRequests().empty(); })) << Log();
    const std::string directory = StreamRequests().front().query;
    std::size_t uids = 0;
    for (std::size_t at = directory.find("uid="); at != std::string::npos; at = directory.find("uid=", at + 1))
        ++uids;
    EXPECT_EQ(uids, 1u) << directory;
    EXPECT_NE(directory.find("uid=macclient-7"), std::string::npos) << directory;

    server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "byaddress")}, {"status", 404}});
    for (const char* scheme : {"http", "qint"}) {
        const std::size_t before = server_->Requests(prefix_ + "byaddress").size();
        QString url = QString::fromStdString(server_->Url(prefix_ + "byaddress?station=") + scheme);
        url.replace(0, 4, QString::fromLatin1(scheme));
        model.playStationWithURL(url);
        ASSERT_TRUE(RunUntil([&] { return server_->Requests(prefix_ + "byaddress").size() > before; }))
            << scheme << "\n"
            << Log();
        const auto byAddress = server_->Requests(prefix_ + "byaddress");
        EXPECT_EQ(byAddress.back().query, std::string("station=") + scheme);
    }
}

}  // namespace
