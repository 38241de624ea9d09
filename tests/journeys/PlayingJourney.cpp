// While a station plays: the credentials renewed underneath, Stop pressed before the next
// track's document is swapped in, and the server lost and back.

#include <QDBusVariant>

#include <algorithm>

#include "Journey.h"

namespace journey {
namespace {

class Playing : public JourneyTest {};

TEST_F(Playing, ACredentialsRenewalKeepsTheListAndTheSound) {
    // Renewal every 10 s instead of an hour before the credentials expire.
    startListening(QStringLiteral("radio:aggregate:9"), QStringLiteral("lfs_auth_renewal_interval=10\n"));
    std::optional<Window> main = mainWindow();
    ASSERT_TRUE(main);
    // Once the station is heard, the start's loading is done.
    ASSERT_TRUE(waitUntil([&] { return sound().tailRms > 0.01; }, 120s)) << "no sound";
    screenshot(QStringLiteral("playing"));
    // The listener picks a genre: its stations fill the table.
    ASSERT_TRUE(click(genreRow(*main, 3)));  // Jazz
    QImage before;
    ASSERT_TRUE(waitUntil(
        [&] {
            before = screenshot(QString());
            return textRows(before, stationTable(*main)) >= 3 && highlightedLines(before, sourceList(*main)) >= 10;
        },
        30s));
    before = screenshot(QStringLiteral("jazz-before-renewal"));
    const int rowsBefore = textRows(before, stationTable(*main));

    auto renewals = [&] {
        return requestCount([](const zymtest::RecordedRequest& r) {
            return r.method == "POST" && r.path == "/demo/" && r.body.find("authzID") != std::string::npos;
        });
    };
    const int renewalsBefore = renewals();
    const long framesBefore = sound().frames;
    ASSERT_TRUE(waitUntil([&] { return renewals() > renewalsBefore; }, 60s)) << "no renewal reached the server";
    // The renewal reloads the directory: once that is done the window shows what it will.
    const int listCalls = requestCount(
        [](const zymtest::RecordedRequest& r) { return r.body.find("IMetadataDescribeRequest") != std::string::npos; });
    waitUntil(
        [&] {
            return requestCount([](const zymtest::RecordedRequest& r) {
                       return r.body.find("IMetadataDescribeRequest") != std::string::npos;
                   }) > listCalls;
        },
        30s);
    const int rate = std::max(1, sound().rate);
    const long framesAtRenewal = sound().frames;
    EXPECT_TRUE(waitUntil([&] { return sound().frames >= framesAtRenewal + rate; }, 30s))
        << "the sound stopped at the renewal";

    const QImage after = screenshot(QStringLiteral("after-renewal"));
    EXPECT_EQ(textRows(after, stationTable(*main)), rowsBefore) << "the genre's station list changed";
    EXPECT_TRUE(after.copy(stationTable(*main)) == before.copy(stationTable(*main))) << "the station table changed";
    EXPECT_TRUE(after.copy(sourceList(*main)) == before.copy(sourceList(*main))) << "the genre's selection changed";
    EXPECT_TRUE(isPlaying());
    EXPECT_EQ(playingStation().id.toStdString(), "radio:aggregate:9");
    const Sound s = sound();
    EXPECT_GT(s.frames, framesBefore + rate) << "the sound did not go on";
    EXPECT_GT(s.tailRms, 0.01) << "silence after the renewal";
    EXPECT_TRUE(isAuthenticated());
}

TEST_F(Playing, StopStaysStoppedPastTheTrackSwap) {
    // Station 27: "Rising Chirp" (12.5 s) and then "Second Song", whose document arrives
    // while the first still plays (the stream is sent at eight times its pace).
    const QString station = QStringLiteral("radio:aggregate:27");
    startListening(station);
    ASSERT_TRUE(waitUntil([&] { return currentTrack().name == QStringLiteral("Rising Chirp"); }, 60s));
    // Left playing, the second song follows the first.
    ASSERT_TRUE(waitUntil([&] { return currentTrack().name == QStringLiteral("Second Song"); }, 60s))
        << "the station never swapped to its second song";
    ASSERT_TRUE(call("Stop"));
    ASSERT_TRUE(waitUntil([&] { return !isPlaying(); }, 30s));

    // Again from its start; stopped late in the first track, the second's swap pending.
    ASSERT_TRUE(call("PlayStationID", {QVariant::fromValue(QDBusVariant(station))}));
    ASSERT_TRUE(waitUntil([&] { return isPlaying() && currentTrack().name == QStringLiteral("Rising Chirp"); }, 60s));
    // Heard for a moment: the whole first track (and the second's document) came in long
    // before, at eight times the pace.
    const long framesAtStart = sound().frames;
    ASSERT_TRUE(waitUntil([&] { return sound().frames > framesAtStart + sound().rate / 2; }, 30s));
    const std::optional<Window> main = mainWindow();
    ASSERT_TRUE(main);
    const QRect button(main->rect.left() + 10, main->rect.top() + 132, 80, 20);
    const QImage playing = screenshot(QStringLiteral("playing"));
    ASSERT_TRUE(click(button.center()));  // the Stop button
    ASSERT_TRUE(waitUntil([&] { return !isPlaying(); }, 30s));
    // The window drawn stopped: the button says Play again.
    ASSERT_TRUE(waitUntil([&] { return screenshot(QString()).copy(button) != playing.copy(button); }, 30s));
    const QRect displayText(main->rect.left() + 12, main->rect.top() + 32, 520, 92);
    const QImage stopped = screenshot(QStringLiteral("stopped"));
    std::vector<unsigned long> shown;
    for (const Window& w : windows())
        shown.push_back(w.id);

    // Well past the moment the second track would have started: no song comes back, in
    // the scripting interface or in a window popping up (the now-playing overlay).
    QString seen;
    waitUntil(
        [&] {
            if (currentTrack().name == QStringLiteral("Second Song")) seen = QStringLiteral("scripting currentTrack");
            if (screenshot(QString()).copy(displayText) != stopped.copy(displayText))
                seen = QStringLiteral("the display changed");
            for (const Window& w : windows())
                if (std::find(shown.begin(), shown.end(), w.id) == shown.end())
                    seen = QStringLiteral("a window popped up: '%1'").arg(w.title);
            return !seen.isEmpty();
        },
        16s);
    screenshot(QStringLiteral("after-swap-time"));
    EXPECT_TRUE(seen.isEmpty()) << "after Stop the next song came back: " << seen.toStdString();
    EXPECT_FALSE(isPlaying());
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
    // The stream ends with the server: the player stops, the window back to its idle title.
    EXPECT_TRUE(waitUntil([&] { return !isPlaying(); }, 60s)) << "still playing without a server";
    const QString idle = TableText(QStringLiteral("RadioWindowTitleIdle"));
    EXPECT_TRUE(waitUntil([&] { return windowTitled([&](const QString& t) { return t == idle; }).has_value(); }, 30s))
        << "the main window's title still names the station";
    screenshot(QStringLiteral("server-lost"));
    // Whatever alert came is localized text, not a key of the strings table.
    for (const Window& w : windows()) {
        if (w.title.startsWith(idle)) continue;
        EXPECT_TRUE(TableText(w.title).isEmpty()) << "raw key as title: " << w.title.toStdString();
        keys(w, QStringLiteral("Return"));
    }

    ASSERT_FALSE(startOwnServer(port).isEmpty()) << "the server did not come back on port " << port;
    // The listener presses Play again.
    const auto play = [&] {
        return call("PlayStationID", {QVariant::fromValue(QDBusVariant(QStringLiteral("radio:aggregate:9")))});
    };
    const long framesBefore = sound().frames;
    ASSERT_TRUE(play());
    // The restarted server has forgotten the sign-on, so the old credentials do not find the
    // service: the window says so in an alert, signed off. The listener answers it, signs on
    // (confirming the panel the keyring filled, should it show) and, once the stations are
    // back, presses Play. "Playing" alone is not enough: it is set while the station is
    // still being prepared.
    int answered = 0;
    bool signedIn = false, pressed = false;
    const bool back = waitUntil(
        [&] {
            const std::optional<Window> main = mainWindow();
            for (const Window& w : windows()) {
                if (w.title.isEmpty() || (main && w.id == main->id)) continue;
                ++answered;
                screenshot(QStringLiteral("asked"));
                EXPECT_TRUE(TableText(w.title).isEmpty()) << "raw key as title: " << w.title.toStdString();
                keys(w, QStringLiteral("Return"));
                if (!signedIn) signedIn = call("SignIn", {QStringLiteral("demo")});
                return false;
            }
            if (signedIn && !pressed && isAuthenticated() && !isPlaying() &&
                !stationsProperty("radioStations").isEmpty()) {
                pressed = play();
                return false;
            }
            const Sound s = sound();
            return isAuthenticated() && isPlaying() && playingStation().id == QStringLiteral("radio:aggregate:9") &&
                   s.frames > framesBefore + std::max(1, s.rate) && s.tailRms > 0.01;
        },
        180s);
    EXPECT_TRUE(back) << "no sound after the server came back (" << answered << " windows answered, signed in "
                      << signedIn << ", Play pressed " << pressed << ")";
    EXPECT_TRUE(isAuthenticated());
    screenshot(QStringLiteral("back"));
}

}  // namespace
}  // namespace journey
