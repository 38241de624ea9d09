// What the window shows of the play road against the test server: the audio of a
// double-clicked row, the failure of a play whose every URL failed, and presets played and
// stored on the server. The road itself is the play session's (tests/app/radio).

#include <gtest/gtest.h>

#include <QPushButton>

#include <map>

#include "WindowFixture.h"

namespace {

using namespace windowtest;

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

// Every URL of every format failed: the failure stays shown in the display.
TEST_F(MainWindow, APlayWhoseEveryURLFailedShowsItCouldNotBePlayed) {
    StreamFails("100,", QJsonObject{{"status", 404}});
    SignOnAndLoad();
    window_->playStationWithID(QStringLiteral("radio:aggregate:100"));
    ASSERT_TRUE(RunUntil([&] { return !window_->isPreparingOrBufferingOrPlaying(); }, 60)) << Log();
    EXPECT_EQ(StreamTargets().size(), 6u);
    EXPECT_EQ(window_->progressText(), QStringLiteral("Could not play Station 100."));
    EXPECT_NE(window_->displayText().indexOf(QStringLiteral("Could not play Station 100.")), -1);
    EXPECT_EQ(window_->playStopButton()->text(), QStringLiteral("Play"));
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
