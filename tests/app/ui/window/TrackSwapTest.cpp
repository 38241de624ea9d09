// What the track documents do when the listener stops or changes stations, and when the
// now-playing overlay announces a track: on the window's own fake clock, with real
// streams from the test server.

#include <QBuffer>
#include <QPushButton>

#include "WindowPartsFixture.h"
#include "app/foundation/Clock.h"
#include "app/foundation/ErrorDescription.h"
#include "app/radio/ZYMRadioStation.h"
#include "app/ui/LineLayoutView.h"
#include "app/ui/NowPlayingDisplay.h"
#include "app/ui/NowPlayingOverlay.h"
#include "app/ui/ScriptingModel.h"

namespace windowtest {
namespace {

// Another station playing MP3 over plain http, like kMp3Station.
const QString kOtherMp3Station = QStringLiteral("radio:aggregate:5");

QByteArray Song(const QString& name, const QString& art = QString()) {
    QString xml = "<metadata><song><name>" + name + "</name><artist>The Band</artist><album>Skies</album>";
    if (!art.isEmpty()) xml += "<album_art>" + art + "</album_art>";
    return (xml + "</song></metadata>").toUtf8();
}

class TrackSwap : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        clock_.set(QDateTime::currentDateTimeUtc());
        env_.clock = &clock_;
        env_.scheduler = &scheduler_;
        defaults_->setBool(QStringLiteral("set_ichat_status"), true);
        defaults_->setBool(QStringLiteral("show_nowplaying_overlay"), true);
    }

    // A track of the playing stream starts `seconds` from now.
    void Track(const QByteArray& xml, int seconds = 0) {
        window_->playSession().receivedMetaData(xml, clock_.now().addSecs(seconds), window_->playingStationURL());
        if (seconds == 0) scheduler_.advance(std::chrono::milliseconds(0));
    }

    bool OverlayShown() { return window_->nowPlayingOverlay() && window_->nowPlayingOverlay()->isVisible(); }

    FakeClock clock_;
    FakeScheduler scheduler_{&clock_};
};

TEST_F(TrackSwap, AfterStopTheWaitingSongNeverComesIn) {
    SignOnAndLoad();
    PlayForever();
    Track(Song("Playing Now"));
    Track(Song("Waiting Song"), 10);
    ASSERT_TRUE(window_->nextTrackMetadata());
    window_->stopPlaying();
    // Past the waiting song's start.
    scheduler_.advance(std::chrono::seconds(15));
    EXPECT_FALSE(window_->currentTrackMetadata());
    EXPECT_FALSE(window_->nextTrackMetadata());
    EXPECT_EQ(window_->displayText().indexOf("Waiting Song"), -1) << window_->displayText().toStdString();
    EXPECT_FALSE(window_->nowPlayingOverlay() && window_->nowPlayingOverlay()->song() == "Waiting Song");
    EXPECT_FALSE(OverlayShown());
    EXPECT_EQ(window_->chatStatus().lastMessage(), QString());
}

// Stopped while the player still fades out: the display shows the chosen station, not an
// empty "Now playing" line with a lone dash.
TEST_F(TrackSwap, AStoppedStationShowsItsNameNotAnEmptyNowPlaying) {
    SignOnAndLoad();
    PlayForever();
    Track(Song("Playing Now"));
    window_->stopPlaying();
    const auto active = window_->activeStation();
    ASSERT_TRUE(active);
    EXPECT_EQ(window_->displayText().toStdString(),
              (active->name() + QLatin1Char('\n') + active->stationDescription().value_or(QString())).toStdString());
}

// The next station's stream carries no metadata: whatever way the first station ended,
// none of its songs shows for the second, in the display, the chat status or to scripts.
TEST_F(TrackSwap, TheNextStationShowsNoneOfTheLastStationsSongs) {
    SignOnAndLoad();
    ScriptingModel scripting(*window_);
    struct Way {
        const char* what;
        std::function<void()> end;
    };
    const std::vector<Way> ways{
        {"a switch", [] {}},
        {"a stop", [&] { window_->stopPlaying(); }},
        {"a network loss",
         [&] {
             window_->playSession().playingError(
                 ErrorDescription(QStringLiteral("net"), RadioWindowController::kNetworkUnreachable),
                 window_->playingStationURL());
         }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.what);
        PlayForever(kMp3Station);
        Track(Song("First Song"));
        Track(Song("Second Song"), 10);
        ASSERT_EQ(scripting.currentTrack()->name, QStringLiteral("First Song"));
        way.end();
        PlayForever(kOtherMp3Station);
        // The second station's own empty document, then past the first's waiting song.
        scheduler_.advance(std::chrono::milliseconds(0));
        scheduler_.advance(std::chrono::seconds(15));
        const QString shown = window_->displayText();
        const QString name = window_->playingStation()->name();
        EXPECT_NE(shown.indexOf(name), -1) << shown.toStdString();
        for (const char* song : {"First Song", "Second Song"}) {
            EXPECT_EQ(shown.indexOf(song), -1) << shown.toStdString();
            EXPECT_EQ(window_->chatStatus().lastMessage().indexOf(song), -1)
                << window_->chatStatus().lastMessage().toStdString();
        }
        EXPECT_FALSE(scripting.currentTrack());
        window_->stopPlaying();
    }
}

// The song the listener just picked is theirs already: no overlay. The next one shows
// once its art is in, with the art, not first without it.
TEST_F(TrackSwap, TheOverlayAnnouncesOnlyLaterSongsAndOnlyWithTheirArt) {
    SignOnAndLoad();
    PlayForever();
    ServeArt("first.png", Qt::green);
    window_->playingStation()->setAlbumArtBaseURL(QString::fromStdString(server_->Url(prefix_ + "art/")));
    ServeArt("second.png", Qt::blue, 1500);
    Track(Song("Picked", "first.png"));
    ASSERT_TRUE(RunUntil([&] { return !window_->currentTrackMetadata()->albumArtPending(); })) << Log();
    EXPECT_FALSE(window_->currentTrackMetadata()->albumArtImage().isNull());
    EXPECT_FALSE(OverlayShown()) << "the picked station's first song";

    Track(Song("Second", "second.png"));
    ASSERT_TRUE(window_->currentTrackMetadata()->albumArtPending());
    EXPECT_FALSE(OverlayShown()) << "not before its art";
    ASSERT_TRUE(RunUntil([&] { return !window_->currentTrackMetadata()->albumArtPending(); })) << Log();
    ASSERT_TRUE(OverlayShown());
    NowPlayingOverlayController* overlay = window_->nowPlayingOverlay();
    EXPECT_EQ(overlay->song(), QStringLiteral("Second"));
    ASSERT_FALSE(overlay->albumArt().isNull());
    EXPECT_EQ(overlay->albumArt().pixelColor(2, 2), QColor(Qt::blue));
    const QImage shot = overlay->grab().toImage();
    shot.save(QCoreApplication::applicationDirPath() + "/overlay-second-song.png");
    const QPoint art = overlay->albumArtRect().center();
    EXPECT_GT(qBlue(shot.pixel(art)), qRed(shot.pixel(art)) + 60) << "the art is drawn";
}

// A plain stream reports no positions and its document no length: the label counts the
// time from the stream's start as scripts read it, and both stop when the stream ends.
TEST_F(TrackSwap, APlainStreamsTimeCountsAlikeForTheLabelAndScriptsUntilItEnds) {
    // About six seconds of audio, then the server closes.
    server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "svcstream/")},
                                {"file", "chirp-64k.mp3"},
                                {"repeat", true},
                                {"close_after", 48000},
                                {"rate", 16000},
                                {"headers", QJsonArray{QJsonArray{"Content-Type", "audio/mpeg"}}}});
    SignOnAndLoad();
    ScriptingModel scripting(*window_);
    const auto label = [&] { return window_->songTimeLabelText().toStdString(); };
    window_->playStationWithID(kOtherMp3Station);
    // The service's own programming: its times show, the length 00:00.
    window_->playingStation()->setStationType(ZYMRadioStation::kTypeZYM);
    ASSERT_TRUE(RunUntil([&] {
        return window_->streamPlaying() && window_->player()->playerState() == RadioPlayer::Playing;
    })) << Log();
    scheduler_.advance(std::chrono::milliseconds(0));
    ASSERT_TRUE(window_->currentTrackMetadata());
    EXPECT_FALSE(window_->currentTrackMetadata()->isSong());
    // The ticks fall just after each whole second.
    scheduler_.advance(std::chrono::milliseconds(3100));
    EXPECT_EQ(label(), "00:03 / 00:00");
    EXPECT_NEAR(scripting.currentTrackPlayingTime(), 3100, 2);
    scheduler_.advance(std::chrono::seconds(1));
    EXPECT_EQ(label(), "00:04 / 00:00");
    EXPECT_NEAR(scripting.currentTrackPlayingTime(), 4100, 2);

    ASSERT_TRUE(RunUntil([&] { return !window_->isPreparingOrBufferingOrPlaying(); }, 60)) << Log();
    scheduler_.advance(std::chrono::seconds(5));
    EXPECT_EQ(label(), "");
    EXPECT_EQ(scripting.currentTrackPlayingTime(), 0) << "no time runs on after the end";
    EXPECT_EQ(scripting.currentTrackTotalTime(), 0);
}

// A Quintrel stream whose payload the decoder refuses ends at once: the buffering text
// named the stream, and what stays is that it could not be played, with Play showing.
TEST_F(TrackSwap, AStreamThatEndsBeforeItPlaysShowsItCouldNotBePlayed) {
    server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "silent")}, {"silent", true}});
    const QByteArray garbage(4000, '\x55');
    server_->Script(QJsonObject{
        {"path", QString::fromStdString(prefix_ + "refused")},
        {"kind", "quintrel"},
        {"packets",
         QJsonArray{QJsonObject{{"audio", QJsonObject{{"body_b64", QString::fromLatin1(garbage.toBase64())}}},
                                {"codec", "vlb"},
                                {"split", 1000}}}},
        {"avg_bitrate", 48000}});
    SignOnAndLoad();
    window_->window()->show();

    // A stream played by its address has no format of the directory's to name.
    const QString silent = QString::fromStdString(server_->Url(prefix_ + "silent"));
    window_->playStationWithURL(silent);
    const QString current = window_->playingStationURL();
    window_->playSession().connecting(current);
    EXPECT_EQ(window_->progressText(), "Connecting (" + silent + ")...");
    window_->playSession().bufferingStarted(current);
    EXPECT_EQ(window_->progressText(), "Buffering (" + silent + ")...");
    window_->stopPlaying();
    EXPECT_EQ(window_->progressText(), QString()) << "the listener's own stop is no failure";

    const QString refused = QString::fromStdString(server_->Url(prefix_ + "refused"));
    window_->playStationWithURL(refused);
    ASSERT_TRUE(RunUntil([&] { return !window_->isPreparingOrBufferingOrPlaying(); })) << Log();
    const QString failed = "Could not play " + refused + ".";
    EXPECT_EQ(window_->progressText(), failed);
    EXPECT_EQ(window_->lineText(2), failed);
    EXPECT_EQ(window_->displayText().indexOf("Buffering"), -1) << window_->displayText().toStdString();
    EXPECT_EQ(window_->playStopButton()->text(), QStringLiteral("Play"));
    NowPlayingDisplay& panel = window_->display();
    const QImage shot = panel.grab().toImage();
    shot.save(QCoreApplication::applicationDirPath() + "/display-could-not-play.png");
    // The failure is drawn on the second line.
    const QRect line(panel.line2()->mapTo(&panel, QPoint(0, 0)), panel.line2()->size());
    const QRgb ground = shot.pixel(4, line.center().y());
    int ink = 0;
    for (int x = line.left(); x <= line.right(); ++x)
        for (int y = line.top(); y <= line.bottom(); ++y)
            ink += std::abs(qGray(shot.pixel(x, y)) - qGray(ground)) > 60;
    EXPECT_GT(ink, 50);
}

}  // namespace
}  // namespace windowtest
