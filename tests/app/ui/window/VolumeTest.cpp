// The main window's volume: the curve from the slider to the player, the steps, muting to
// the end of the song, and the launch fade against the listener's own moves.

#include <gtest/gtest.h>

#include <QAction>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>

#include "app/foundation/NotificationCenter.h"
#include "app/foundation/UserDefaults.h"
#include "app/radio/ZYMRadioStation.h"
#include "app/radio/ZYMRadioStationFormat.h"
#include "app/ui/NowPlayingOverlay.h"
#include "app/radio/RadioMetadataParser.h"
#include "app/ui/RadioWindowController.h"
#include "app/ui/RemoteControlledSlider.h"
#include "dms/radio3/DMRadio3Types.h"
#include "support/Env.h"

namespace {

class Volume : public ::testing::Test {
protected:
    void SetUp() override {
        defaults_ = std::make_unique<UserDefaults>(dir_.filePath("defaults.conf"));
        env_.defaults = defaults_.get();
        env_.service.defaults = defaults_.get();
        env_.service.notifications = &center_;
        env_.clock = &clock_;
        env_.scheduler = &scheduler_;
        env_.reachable = [](const QString&) { return true; };
        window_ = std::make_unique<RadioWindowController>(env_);
    }

    RemoteControlledSlider& Slider() { return window_->volumeSlider(); }
    float PlayerVolume() { return window_->player()->volume(); }
    void SetSlider(float v) {
        Slider().setFloatValue(v);
        window_->setVolumeFromSlider(true);
    }
    QAction* Action(const char* name) { return window_->window()->findChild<QAction*>(QString::fromLatin1(name)); }

    // A station "playing" by address, without a stream: enough for the window's reports.
    void Play(const char* id) {
        auto station = ZYMRadioStation::create(QStringLiteral("Station %1").arg(id), QString::fromLatin1(id));
        window_->playSession().setPlayingStation(station);
        DMRadio3_StationFormatType f;
        f.mMediaFormatId.mValue = "1";
        f.mProgId.mValue = std::string("p") + id;
        window_->playSession().setPlayingStationFormats({std::make_shared<ZYMRadioStationFormat>(f)});
        window_->playSession().setPlayingStationURLs({QStringLiteral("http://127.0.0.1:9/%1").arg(id)});
    }
    // A track with these fields starts now; a null field is left out of the document.
    void TrackStarts(const QString& name, const QString& album, const QString& artist) {
        QString doc = QStringLiteral("<metadata><song>");
        if (!name.isNull()) doc += "<name>" + name + "</name>";
        if (!album.isNull()) doc += "<album>" + album + "</album>";
        if (!artist.isNull()) doc += "<artist>" + artist + "</artist>";
        doc += QStringLiteral("</song></metadata>");
        window_->playSession().receivedMetaData(doc.toUtf8(), clock_.now(), window_->playingStationURL());
        scheduler_.advance(std::chrono::milliseconds(0));
        ASSERT_TRUE(window_->currentTrackMetadata());
    }
    void MuteWithControl() {
        window_->window()->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_->window()));
        // The modifier comes from the input as the menu item is chosen.
        QTest::keyPress(window_->window()->windowHandle(), Qt::Key_Control, Qt::ControlModifier);
        Action("volumeMin")->trigger();
        QTest::keyRelease(window_->window()->windowHandle(), Qt::Key_Control, Qt::NoModifier);
    }

    QTemporaryDir dir_;
    std::unique_ptr<UserDefaults> defaults_;
    NotificationCenter center_;
    FakeClock clock_;
    FakeScheduler scheduler_{&clock_};
    WindowEnvironment env_;
    std::unique_ptr<RadioWindowController> window_;
};

TEST(VolumeCurve, RisesSlowlyAndEndsAtTheSliderEnds) {
    struct Row {
        float slider;
        float player;
        float tolerance;
    };
    const Row rows[] = {{0.0f, 0.0f, 0.0f},       {-0.5f, 0.0f, 0.0f},       {0.25f, 0.0445f, 0.0002f},
                        {0.5f, 0.1581f, 0.0002f}, {0.75f, 0.4217f, 0.0002f}, {1.0f, 1.0f, 0.0f}};
    for (const Row& row : rows)
        EXPECT_NEAR(RadioWindowController::volumeForSliderValue(row.slider), row.player, row.tolerance) << row.slider;
    float last = 0;
    for (int i = 1; i <= 100; ++i) {
        const float v = RadioWindowController::volumeForSliderValue(float(i) / 100.0f);
        EXPECT_GT(v, last) << i;
        last = v;
    }
}

TEST_F(Volume, TheSliderReachesThePlayerThroughTheCurve) {
    for (float v : {0.0f, 0.25f, 0.5f, 1.0f}) {
        SetSlider(v);
        EXPECT_FLOAT_EQ(PlayerVolume(), RadioWindowController::volumeForSliderValue(v)) << v;
    }
    // The listener's own move, by keys on the slider.
    SetSlider(0.5f);
    Slider().setFocus();
    QTest::keyClick(&Slider(), Qt::Key_End);
    EXPECT_FLOAT_EQ(Slider().floatValue(), 1.0f);
    EXPECT_FLOAT_EQ(PlayerVolume(), 1.0f);
}

TEST_F(Volume, TenStepsUpFromTheMinimumReachTheMaximum) {
    Action("volumeMin")->trigger();
    EXPECT_EQ(PlayerVolume(), 0.0f);
    for (int i = 0; i < 10; ++i)
        Action("volumeUp")->trigger();
    EXPECT_FLOAT_EQ(Slider().floatValue(), 1.0f);
    EXPECT_EQ(PlayerVolume(), 1.0f);
    Action("volumeUp")->trigger();
    EXPECT_FLOAT_EQ(Slider().floatValue(), 1.0f);
    for (int i = 0; i < 10; ++i)
        Action("volumeDown")->trigger();
    EXPECT_FLOAT_EQ(Slider().floatValue(), 0.0f);
    Action("volumeDown")->trigger();
    EXPECT_FLOAT_EQ(Slider().floatValue(), 0.0f);
    Action("volumeMax")->trigger();
    EXPECT_EQ(PlayerVolume(), 1.0f);
}

TEST_F(Volume, ControlOnTheMinimumItemMutesUntilAnotherSongStarts) {
    Play("1");
    TrackStarts("Song A", "Album", "Band");
    SetSlider(0.6f);
    MuteWithControl();
    ASSERT_TRUE(window_->isMuting());
    EXPECT_EQ(window_->mutingOptions(), 1);
    EXPECT_FLOAT_EQ(Slider().floatValue(), 0.0f);
    EXPECT_EQ(PlayerVolume(), 0.0f);
    // The same song again (the station sent its metadata anew): still muted.
    TrackStarts("Song A", "Album", "Band");
    EXPECT_TRUE(window_->isMuting());
    EXPECT_EQ(PlayerVolume(), 0.0f);
    // Muted again during the next song: still the volume from before the first time.
    TrackStarts("Song B", "Album", "Band");
    ASSERT_FALSE(window_->isMuting());
    MuteWithControl();
    ASSERT_TRUE(window_->isMuting());
    MuteWithControl();
    // Another song: the volume from before.
    TrackStarts("Song C", "Album", "Band");
    EXPECT_FALSE(window_->isMuting());
    EXPECT_EQ(window_->mutingOptions(), 0);
    EXPECT_FLOAT_EQ(Slider().floatValue(), 0.6f);
    EXPECT_FLOAT_EQ(PlayerVolume(), RadioWindowController::volumeForSliderValue(0.6f));
}

TEST_F(Volume, MutingEndsOnEachWayOut) {
    struct Row {
        const char* what;
        std::function<void()> action;
        bool restored;
        float slider;
    };
    const Row rows[] = {
        {"the listener moves the slider: nothing restored", [&] { QTest::keyClick(&Slider(), Qt::Key_PageUp); }, false,
         -1},
        {"the listener steps the volume: nothing restored", [&] { Action("volumeUp")->trigger(); }, false, 0.1f},
        {"another station starts: restored", [&] { Play("2"); }, true, 0.6f},
        {"the station stops and plays again: restored",
         [&] {
             window_->playSession().setPlayingStation(nullptr);
             Play("1");
         },
         true, 0.6f},
        {"a song without album after one with: restored", [&] { TrackStarts("Song A", QString(), "Band"); }, true,
         0.6f},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Play("1");
        TrackStarts("Song A", "Album", "Band");
        SetSlider(0.6f);
        window_->setVolumeToMin(Qt::ControlModifier);
        ASSERT_TRUE(window_->isMuting());
        Slider().setFocus();
        row.action();
        EXPECT_FALSE(window_->isMuting());
        EXPECT_EQ(window_->mutingOptions(), 0);
        if (row.restored) EXPECT_FLOAT_EQ(Slider().floatValue(), row.slider);
        if (!row.restored && row.slider >= 0) EXPECT_FLOAT_EQ(Slider().floatValue(), row.slider);
        if (!row.restored) EXPECT_LT(Slider().floatValue(), 0.6f);
        window_->playSession().setPlayingStation(nullptr);
    }
}

TEST_F(Volume, AMissingSongFieldComparesAsEmpty) {
    Play("1");
    TrackStarts("Song A", QString(), "Band");
    SetSlider(0.4f);
    window_->setVolumeToMin(Qt::ControlModifier);
    ASSERT_TRUE(window_->isMuting());
    TrackStarts("Song A", QString(), "Band");
    EXPECT_TRUE(window_->isMuting()) << "the same song without album";
    TrackStarts("Song A", QStringLiteral(""), "Band");
    EXPECT_TRUE(window_->isMuting()) << "an empty album is no album";
    TrackStarts("Song A", "Album", "Band");
    EXPECT_FALSE(window_->isMuting());
    EXPECT_FLOAT_EQ(Slider().floatValue(), 0.4f);
}

TEST_F(Volume, NoMutingWithoutAPlayingSong) {
    SetSlider(0.5f);
    window_->setVolumeToMin(Qt::ControlModifier);
    EXPECT_FALSE(window_->isMuting()) << "nothing plays";
    EXPECT_FLOAT_EQ(Slider().floatValue(), 0.5f);
    Play("1");
    window_->setVolumeToMin(Qt::ControlModifier);
    EXPECT_FALSE(window_->isMuting()) << "no metadata yet";
    EXPECT_FLOAT_EQ(Slider().floatValue(), 0.5f);
    // Without Control the item goes to the minimum.
    window_->setVolumeToMin(Qt::NoModifier);
    EXPECT_FALSE(window_->isMuting());
    EXPECT_FLOAT_EQ(Slider().floatValue(), 0.0f);
}

TEST_F(Volume, TheLaunchFadeSurvivesItsOwnStepsAndStopsAtTheListenersMove) {
    SetSlider(0.8f);
    window_->fadeVolumeIn(5.0);
    EXPECT_FLOAT_EQ(Slider().floatValue(), 0.0f);
    EXPECT_EQ(PlayerVolume(), 0.0f);
    scheduler_.advance(std::chrono::milliseconds(2500));
    EXPECT_TRUE(window_->volumeFading());
    EXPECT_NEAR(Slider().floatValue(), 0.4f, 0.02f);
    EXPECT_FLOAT_EQ(PlayerVolume(), RadioWindowController::volumeForSliderValue(Slider().floatValue()));
    scheduler_.advance(std::chrono::milliseconds(2600));
    EXPECT_FALSE(window_->volumeFading());
    EXPECT_FLOAT_EQ(Slider().floatValue(), 0.8f);

    // The listener takes over: the fade stops where the listener put the knob.
    window_->fadeVolumeIn(5.0);
    scheduler_.advance(std::chrono::milliseconds(1000));
    Slider().setFocus();
    QTest::keyClick(&Slider(), Qt::Key_PageUp);
    EXPECT_FALSE(window_->volumeFading());
    const float set = Slider().floatValue();
    scheduler_.advance(std::chrono::milliseconds(5000));
    EXPECT_FLOAT_EQ(Slider().floatValue(), set);
    EXPECT_FLOAT_EQ(PlayerVolume(), RadioWindowController::volumeForSliderValue(set));

    // Saving the settings in the middle of a fade saves the listener's volume.
    SetSlider(0.7f);
    window_->fadeVolumeIn(5.0);
    scheduler_.advance(std::chrono::milliseconds(1000));
    window_->saveSettings();
    EXPECT_NEAR(defaults_->doubleValue(QStringLiteral("volume")), 0.7, 0.001);
    EXPECT_FALSE(window_->volumeFading());
}

}  // namespace

namespace {

// The window's other reaction to a track start: the now-playing overlay.
class TrackStart : public Volume {
protected:
    void SetUp() override {
        env_.applicationHidden = [this] { return hidden_; };
        Volume::SetUp();
    }
    bool hidden_ = false;
};

TEST_F(TrackStart, ShowsTheOverlayForASongWhenTheListenerWantsIt) {
    Play("1");
    defaults_->setBool(QStringLiteral("show_nowplaying_overlay"), false);
    TrackStarts("Song A", "Album", "Band");
    EXPECT_FALSE(window_->nowPlayingOverlay()) << "the preference is off";

    defaults_->setBool(QStringLiteral("show_nowplaying_overlay"), true);
    window_->playSession().receivedMetaData("<metadata><audio_ad/></metadata>", clock_.now(),
                                            window_->playingStationURL());
    scheduler_.advance(std::chrono::milliseconds(0));
    EXPECT_FALSE(window_->nowPlayingOverlay()) << "not a song";

    TrackStarts("Song B", QString(), "Band");
    NowPlayingOverlayController* overlay = window_->nowPlayingOverlay();
    ASSERT_TRUE(overlay);
    EXPECT_TRUE(overlay->isVisible());
    EXPECT_EQ(overlay->song(), QStringLiteral("Song B"));
    EXPECT_EQ(overlay->artist(), QStringLiteral("Band"));
    EXPECT_EQ(overlay->album(), QStringLiteral(""));
    // On the window's clock: in, held, out, gone.
    scheduler_.advance(std::chrono::milliseconds(4200));
    EXPECT_FALSE(overlay->isVisible());

    // Not while the application is hidden; then the same overlay for the next song.
    hidden_ = true;
    TrackStarts("Song C", "Album", "Band");
    EXPECT_FALSE(overlay->isVisible());
    hidden_ = false;
    TrackStarts("Song D", "Album", "Band");
    EXPECT_EQ(window_->nowPlayingOverlay(), overlay);
    EXPECT_TRUE(overlay->isVisible());
    EXPECT_EQ(overlay->song(), QStringLiteral("Song D"));
}

}  // namespace
