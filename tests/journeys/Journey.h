#pragma once
// The listener's side of a running zymradio: a desktop of its own (Xvfb on a free display,
// openbox, a private session bus with an unlocked keyring), the test server's demo
// account, a temporary profile as scripts/run makes it, and the program started as a
// process on that desktop. A journey sees what a listener sees (the X screen, the
// scripting interface on the bus, the sound the wav: output wrote, what the server was
// asked) and acts as a listener does (keys and clicks through xdotool, URLs, bus calls).

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/TestServer.h"

namespace journey {

using namespace std::chrono_literals;

struct Station {
    QString id;
    QString name;
};

struct Track {
    QString name;
    QString artist;
    QString album;
};

// A top-level window the window manager holds: its X id, title and client area on the screen.
struct Window {
    unsigned long id = 0;
    QString title;
    QRect rect;
};

// What the wav: output has written so far.
struct Sound {
    long frames = 0;  // frames written
    int rate = 0;
    double tailRms = 0;  // loudness of the last half second (full scale 1.0)
    bool ok = false;
};

class JourneyTest : public ::testing::Test {
protected:
    // The main window's fixed layout: where the lists start below the display and presets
    // bar, and the source list's width.
    static constexpr int kListsTop = 210;
    static constexpr int kSourceListWidth = 150;

    void SetUp() override;
    void TearDown() override;

    // --- the profile ---
    // A new, empty profile folder as scripts/run makes it: the demo account of `services`
    // (default: the test server's demo set-up) and `settings`, more lines of [General].
    // The next launch uses it.
    void newProfile(const QString& settings, QString services = {});
    // Stores `password` for the profile's screen name through `zymradio --store-password`.
    void storePassword(const QString& password = QStringLiteral("demo-password"));
    QString profilePath(const QString& relative) const;
    // The program's settings file as text.
    QString settingsText() const;

    // --- the program ---
    // Starts zymradio on the desktop (arguments `arguments`). Its sound goes to a fresh
    // wav: file of the profile.
    void launch(const QStringList& arguments = {});
    // A second start (e.g. with a URL) that ends by itself: its exit code, -1 when it hung.
    int launchAndWait(const QStringList& arguments);
    // Quits as a listener does (Ctrl+Q in the main window) and waits for the exit; true
    // when it ended by itself with status 0.
    bool quit();
    // SIGKILL, for tear-down and a program that would not quit.
    void kill();
    bool running() const;
    // What the latest launch wrote on stdout and stderr. A normal start writes nothing.
    QString programOutput() const;

    // A listener who signed on before: the password in the keyring, the speed chosen, play
    // at launch of `station`; started, and waited for until the station plays.
    void startListening(const QString& station, const QString& settings = {});
    static QString listeningSettings(const QString& station);
    bool waitPlaying(const QString& station, std::chrono::milliseconds bound = 120s);

    // --- waits: for a state, never for time ---
    bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds bound);

    // --- the scripting interface ---
    QVariant property(const char* name);
    bool busUp();
    bool isPlaying();
    bool isAuthenticated();
    Station playingStation();
    Track currentTrack();
    qlonglong currentTrackPlayingTime();
    QList<Station> stationsProperty(const char* name);  // presets, radioStations, radioGenres
    bool call(const char* method, const QVariantList& arguments = {});

    // --- the screen ---
    QImage screenshot(const QString& name);  // saved as <artifacts>/<n>-<name>.png
    std::vector<Window> windows();
    std::optional<Window> windowTitled(const std::function<bool(const QString&)>& match);
    std::optional<Window> waitForWindow(const std::function<bool(const QString&)>& match,
                                        std::chrono::milliseconds bound);
    std::optional<Window> mainWindow();  // the window with the station lists (the largest)
    // The station table of the main window on the screen (fixed layout from the window).
    static QRect stationTable(const Window& main);
    static QRect sourceList(const Window& main);
    // The centre of the source list's row `row` (0: All Stations, 1: Search Results,
    // 2: Recently Played, then the genres).
    static QPoint genreRow(const Window& main, int row);
    // Rows of text the region shows (runs of lines with ink on the list's ground).
    static int textRows(const QImage& screen, const QRect& region);
    // Lines of the region that a selected row's highlight fills.
    static int highlightedLines(const QImage& screen, const QRect& region);

    // --- the listener's hands ---
    bool xdotool(const QStringList& arguments);
    bool activate(const Window& window);
    bool keys(const Window& window, const QString& keys);  // e.g. "ctrl+q", "Return"
    bool type(const Window& window, const QString& text);
    bool click(QPoint onScreen, int button = 1);
    bool doubleClick(QPoint onScreen);
    // A command run on the desktop with the program's environment and bus (playerctl,
    // dbus-send); its exit code (-1 when it hung) and output.
    struct Ran {
        int exitCode = -1;
        QString out;
        QString err;
    };
    Ran runOnDesktop(const QString& program, const QStringList& arguments);

    // --- the sound and the server ---
    Sound sound();
    int requestCount(const std::function<bool(const zymtest::RecordedRequest&)>& match);
    int streamRequests(const std::string& prog);  // GETs of <directory>stream/<prog>...
    int urlRequests(const std::string& prog);     // the directory asked for <prog>'s URLs

    // Where the screenshots, the program's output and log of this test are kept.
    QString artifacts() const { return artifacts_; }
    QString services() const { return services_; }
    // The desktop's session bus, for services a journey plays itself.
    QString busAddress() const { return busAddress_; }
    int serverPort() const { return serverPort_; }

    // Starts a second test server of the test's own on `port` (0: any) with the demo set-up;
    // gives its services URL ("" on failure). Stopped by stopOwnServer.
    QString startOwnServer(int port = 0);
    void stopOwnServer();
    int ownServerPort() const { return ownPort_; }

private:
    std::string startDesktop();
    void stopProcess(QProcess& process);
    QProcessEnvironment programEnvironment() const;
    void keepOutput();

    QTemporaryDir work_;
    QString artifacts_;
    QString profile_;
    QString services_;
    int serverPort_ = 0;
    int launches_ = 0;
    int shots_ = 0;
    QString wav_;
    QString display_;
    QString busAddress_;
    QProcess xvfb_, wm_, bus_, keyring_, ownServer_;
    int ownPort_ = 0;
    std::unique_ptr<QProcess> program_;
    void* x_ = nullptr;  // Display*
    std::unique_ptr<QDBusConnection> dbus_;
};

// The text of `key` in resources/<table>.strings; empty when the table lacks the key.
QString TableText(const QString& key, const QString& table = QStringLiteral("Localizable"));

// Pixels of `image` in `region` whose colour differs from `ground` by more than `tolerance`
// in any channel.
int InkPixels(const QImage& image, const QRect& region, QColor ground, int tolerance = 40);
// The colour most pixels of `region` have.
QColor CommonColor(const QImage& image, const QRect& region);

}  // namespace journey
