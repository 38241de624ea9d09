// The desktop's media-player interface as playerctl, media keys and sound menus use it:
// what plays and its song, the volume, stop and play, stepping through the presets, and a
// station opened by URL, each as the window shows it.

#include <QStandardPaths>

#include <cmath>

#include "Journey.h"

namespace journey {
namespace {

class Mpris : public JourneyTest {
protected:
    Ran playerctl(const QStringList& arguments) {
        return runOnDesktop(QStringLiteral("playerctl"), QStringList{QStringLiteral("--player=zymradio")} + arguments);
    }
    // Its output, empty when it failed.
    QString answer(const QStringList& arguments) {
        const Ran ran = playerctl(arguments);
        return ran.exitCode == 0 ? ran.out : QString();
    }
    bool titled(const QString& title) {
        const std::optional<Window> main = mainWindow();
        return main && main->title == title;
    }
    // The window plays `station`, or at least asked the directory for its stream.
    bool started(const QString& station) {
        return playingStation().id == station || urlRequests(station.section(':', -1).toStdString() + ",") > 0;
    }
    // The preset Previous or Next steps to from `station`, as the presets bar holds them.
    QString presetStep(const QString& station, bool forward) {
        const QList<Station> presets = stationsProperty("presets");
        qsizetype at = -1;
        for (qsizetype i = 0; i < presets.size() && at < 0; ++i)
            if (presets[i].id == station) at = i;
        QString step;
        for (qsizetype i = 0; i < presets.size(); ++i) {
            if (presets[i].id.isEmpty()) continue;
            if (!forward && (at < 0 || i < at)) step = presets[i].id;
            if (forward && step.isEmpty() && (at < 0 || i > at)) step = presets[i].id;
        }
        return step;
    }
};

TEST_F(Mpris, PlayerctlDrivesTheRunningProgram) {
    if (QStandardPaths::findExecutable(QStringLiteral("playerctl")).isEmpty()) {
        if (qEnvironmentVariable("CI") == QLatin1String("true")) FAIL() << "playerctl is missing";
        GTEST_SKIP() << "playerctl is missing (package playerctl)";
    }
    const QString station = QStringLiteral("radio:aggregate:99");
    // A known volume, so that the start's fade-in can be seen to end: a script's volume does
    // not interrupt a running fade.
    startListening(station, QStringLiteral("volume=0.8\n"));
    const QString idle = TableText(QStringLiteral("RadioWindowTitleIdle"));

    EXPECT_TRUE(waitUntil([&] { return answer({QStringLiteral("status")}) == QLatin1String("Playing"); }, 30s));
    // The song the window shows; it changes as the stream goes on, so both are read together.
    QString shown;
    EXPECT_TRUE(waitUntil(
        [&] {
            const Track track = currentTrack();
            shown = answer({QStringLiteral("metadata"), QStringLiteral("--format"),
                            QStringLiteral("{{title}}|{{artist}}|{{album}}")});
            return !track.name.isEmpty() && shown == QStringList{track.name, track.artist, track.album}.join('|');
        },
        30s))
        << "playerctl: " << shown.toStdString() << ", the window: " << currentTrack().name.toStdString();
    EXPECT_TRUE(shown == QLatin1String("Rising Chirp|ZYM Test Tones|Demo Sessions") ||
                shown == QLatin1String("Second Song|The Loopbacks|Localhost"))
        << shown.toStdString();
    // playerctl quotes an object path.
    const QString trackId =
        answer({QStringLiteral("metadata"), QStringLiteral("--format"), QStringLiteral("{{mpris:trackid}}")})
            .remove(QLatin1Char('\''));
    EXPECT_TRUE(trackId.startsWith(QLatin1String("/org/zym/Radio/track/"))) << trackId.toStdString();
    screenshot(QStringLiteral("playing"));

    // The volume is the window's slider.
    ASSERT_TRUE(waitUntil([&] { return property("soundVolume").toInt() == 80; }, 30s))
        << "the fade-in stopped at " << property("soundVolume").toInt();
    const Ran volume = playerctl({QStringLiteral("volume"), QStringLiteral("0.3")});
    EXPECT_EQ(volume.exitCode, 0) << volume.err.toStdString();
    EXPECT_TRUE(waitUntil([&] { return property("soundVolume").toInt() == 30; }, 30s))
        << "slider at " << property("soundVolume").toInt();
    EXPECT_NEAR(answer({QStringLiteral("volume")}).toDouble(), 0.3, 1e-6);

    // Stop: the window stops and says so in its title.
    EXPECT_EQ(playerctl({QStringLiteral("stop")}).exitCode, 0);
    EXPECT_TRUE(waitUntil([&] { return !isPlaying(); }, 30s)) << "still playing after stop";
    EXPECT_EQ(answer({QStringLiteral("status")}).toStdString(), "Stopped");
    EXPECT_TRUE(waitUntil([&] { return titled(idle); }, 30s)) << mainWindow().value_or(Window{}).title.toStdString();
    screenshot(QStringLiteral("stopped"));

    // Play: the station chosen in the window again.
    EXPECT_EQ(playerctl({QStringLiteral("play")}).exitCode, 0);
    ASSERT_TRUE(waitPlaying(station, 60s)) << "play did not start the station again";

    // Previous steps back along the presets bar.
    const QString before = presetStep(station, false);
    ASSERT_FALSE(before.isEmpty()) << "no preset to step back to";
    EXPECT_EQ(playerctl({QStringLiteral("previous")}).exitCode, 0);
    EXPECT_TRUE(waitUntil([&] { return started(before); }, 60s)) << "previous did not play " << before.toStdString();

    // A station by URL, through the interface's OpenUri: the endless one, on no preset.
    const QString endless = QStringLiteral("radio:aggregate:9");
    const Ran open =
        runOnDesktop(QStringLiteral("dbus-send"), {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                                                   QStringLiteral("--dest=org.mpris.MediaPlayer2.zymradio"),
                                                   QStringLiteral("/org/mpris/MediaPlayer2"),
                                                   QStringLiteral("org.mpris.MediaPlayer2.Player.OpenUri"),
                                                   QStringLiteral("string:zymradio:playstation?id=") + endless});
    EXPECT_EQ(open.exitCode, 0) << open.err.toStdString();
    ASSERT_TRUE(waitPlaying(endless, 60s)) << "OpenUri did not play " << endless.toStdString();
    const QString name = playingStation().name;
    const QString playingTitle =
        TableText(QStringLiteral("RadioWindowTitlePlaying")).replace(QStringLiteral("%1$@"), name);
    EXPECT_TRUE(waitUntil([&] { return titled(playingTitle); }, 30s))
        << mainWindow().value_or(Window{}).title.toStdString();
    // A stream without songs: the station is what plays.
    EXPECT_TRUE(waitUntil(
        [&] {
            return answer({QStringLiteral("metadata"), QStringLiteral("--format"), QStringLiteral("{{title}}")}) ==
                   name;
        },
        30s));
    screenshot(QStringLiteral("opened"));

    // Next from a station on no preset: the first one of the bar.
    const QString first = presetStep(endless, true);
    ASSERT_FALSE(first.isEmpty());
    EXPECT_EQ(playerctl({QStringLiteral("next")}).exitCode, 0);
    EXPECT_TRUE(waitUntil([&] { return started(first); }, 60s)) << "next did not play " << first.toStdString();
}

}  // namespace
}  // namespace journey
