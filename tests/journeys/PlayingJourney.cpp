// While a station plays: the credentials renewed underneath, Stop pressed before the next
// track's document is swapped in, and the server lost and back.

#include <QDBusVariant>

#include "Journey.h"

namespace journey {
namespace {

class Playing : public JourneyTest {};

TEST_F(Playing, ACredentialsRenewalKeepsTheListAndTheSound) {
    // Renewal every 3 s instead of an hour before the credentials expire.
    startListening(QStringLiteral("radio:aggregate:9"), QStringLiteral("lfs_auth_renewal_interval=3\n"));
    std::optional<Window> main;
    QImage before;
    ASSERT_TRUE(waitUntil(
        [&] {
            main = mainWindow();
            before = screenshot(QString());
            return main && textRows(before, stationTable(*main)) >= 5;
        },
        30s));
    before = screenshot(QStringLiteral("before-renewal"));
    const int rowsBefore = textRows(before, stationTable(*main));
    const int highlightBefore = highlightedLines(before, stationTable(*main));

    auto signOnCalls = [&] {
        return requestCount([](const zymtest::RecordedRequest& r) { return r.method == "POST" && r.path == "/demo/"; });
    };
    const int callsBefore = signOnCalls();
    const long framesBefore = sound().frames;
    ASSERT_TRUE(waitUntil([&] { return signOnCalls() >= callsBefore + 2; }, 60s)) << "no renewal reached the server";
    // Let the window take in what the renewal reloads.
    const long framesAtRenewal = sound().frames;
    const int rate = std::max(1, sound().rate);
    ASSERT_TRUE(waitUntil([&] { return sound().frames >= framesAtRenewal + rate; }, 30s)) << "the sound stopped";

    const QImage after = screenshot(QStringLiteral("after-renewal"));
    EXPECT_GE(textRows(after, stationTable(*main)), rowsBefore) << "the station list lost rows";
    EXPECT_GT(highlightedLines(after, stationTable(*main)), highlightBefore / 2) << "the selection went";
    EXPECT_TRUE(isPlaying());
    EXPECT_EQ(playingStation().id.toStdString(), "radio:aggregate:9");
    const Sound s = sound();
    EXPECT_GT(s.frames, framesBefore + rate) << "the sound did not go on";
    EXPECT_GT(s.tailRms, 0.01) << "silence after the renewal";
    EXPECT_TRUE(isAuthenticated());
}

TEST_F(Playing, StopStaysStoppedPastTheTrackSwap) {
    // Station 99: "Rising Chirp" (7.5 s) and then "Second Song", whose document arrives
    // while the first still plays from the buffer.
    startListening(QStringLiteral("radio:aggregate:99"));
    ASSERT_TRUE(waitUntil([&] { return currentTrack().name == QStringLiteral("Rising Chirp"); }, 60s));
    // Late in the first track, when the second's document is in and its swap pending.
    ASSERT_TRUE(waitUntil([&] { return currentTrackPlayingTime() >= 5; }, 60s))
        << "playing time " << currentTrackPlayingTime();
    ASSERT_TRUE(call("Stop"));
    ASSERT_TRUE(waitUntil([&] { return !isPlaying(); }, 30s));
    screenshot(QStringLiteral("stopped"));

    // Well past the moment the second track would have started.
    QString seen;
    waitUntil(
        [&] {
            const Track t = currentTrack();
            if (t.name == QStringLiteral("Second Song")) seen = QStringLiteral("scripting currentTrack");
            for (const Window& w : windows())
                if (w.title.contains(QStringLiteral("Second Song"))) seen = QStringLiteral("window ") + w.title;
            return !seen.isEmpty();
        },
        12s);
    screenshot(QStringLiteral("after-swap-time"));
    EXPECT_TRUE(seen.isEmpty()) << "after Stop the next song came back: " << seen.toStdString();
    EXPECT_FALSE(isPlaying());
    EXPECT_NE(currentTrack().name.toStdString(), "Second Song");
}

TEST_F(Playing, TheServerLostAndBackSignsOnAgain) {
    const QString services = startOwnServer(0);
    ASSERT_FALSE(services.isEmpty());
    const int port = ownServerPort();
    newProfile(listeningSettings(QStringLiteral("radio:aggregate:9")), services);
    storePassword();
    launch();
    ASSERT_TRUE(waitPlaying(QStringLiteral("radio:aggregate:9")));
    screenshot(QStringLiteral("playing"));

    stopOwnServer();
    // The stream ends with the server: the player stops and says so.
    EXPECT_TRUE(waitUntil([&] { return !isPlaying(); }, 60s)) << "still playing without a server";
    std::optional<Window> alert;
    waitUntil(
        [&] {
            for (const Window& w : windows())
                if (!w.title.startsWith(QStringLiteral("ZYM Radio")) && w.rect.height() < 300) alert = w;
            return alert.has_value();
        },
        30s);
    screenshot(QStringLiteral("server-lost"));
    if (alert) {
        // Whatever it says is localized text, not a key of the strings table.
        EXPECT_TRUE(TableText(alert->title).isEmpty()) << "raw key as title: " << alert->title.toStdString();
        keys(*alert, QStringLiteral("Return"));
        waitUntil([&] { return !windowTitled([&](const QString& t) { return t == alert->title; }); }, 30s);
    }

    ASSERT_FALSE(startOwnServer(port).isEmpty()) << "the server did not come back on port " << port;
    // The listener presses Play again.
    ASSERT_TRUE(call("PlayStationID", {QVariant::fromValue(QDBusVariant(QStringLiteral("radio:aggregate:9")))}));
    EXPECT_TRUE(waitPlaying(QStringLiteral("radio:aggregate:9"), 120s)) << "no play after the server came back";
    EXPECT_TRUE(isAuthenticated());
    screenshot(QStringLiteral("back"));
}

}  // namespace
}  // namespace journey
