// Quitting and starting again: the same day (the directory from the day's cache) and with a
// fresh profile (what the server keeps comes back).

#include <QFile>

#include "Journey.h"

namespace journey {
namespace {

constexpr auto kStation = "radio:aggregate:9";

class Restart : public JourneyTest {
protected:
    // The main window shows a filled station table with the playing station selected.
    void expectListFilledAndSelected(const QString& when) {
        // Once the station is heard, everything the start loads is in.
        ASSERT_TRUE(waitUntil([&] { return sound().tailRms > 0.01; }, 60s)) << when.toStdString() << ": no sound";
        std::optional<Window> main;
        QImage shot;
        const bool shown = waitUntil(
            [&] {
                main = mainWindow();
                if (!main) return false;
                shot = screenshot(QString());
                return textRows(shot, stationTable(*main)) >= 5 && highlightedLines(shot, stationTable(*main)) >= 10;
            },
            30s);
        shot = screenshot(when);
        ASSERT_TRUE(main) << when.toStdString() << ": no main window";
        EXPECT_TRUE(shown) << when.toStdString() << ": the station table shows " << textRows(shot, stationTable(*main))
                           << " rows and " << highlightedLines(shot, stationTable(*main)) << " highlighted lines (see "
                           << artifacts().toStdString() << ")";
    }
};

TEST_F(Restart, TheSameDayListsTheStationsAndPlaysTheLastOne) {
    startListening(QString::fromLatin1(kStation));
    expectListFilledAndSelected(QStringLiteral("first-start"));
    ASSERT_TRUE(quit());
    // What a listener expects back: the station saved as the last one.
    EXPECT_TRUE(settingsText().contains(QStringLiteral("playing_station=") + QLatin1String(kStation)))
        << settingsText().toStdString();

    launch();
    ASSERT_TRUE(waitPlaying(QString::fromLatin1(kStation)));
    expectListFilledAndSelected(QStringLiteral("same-day-restart"));
    // This start took the directory from the day's cache.
    QFile log(profilePath(QStringLiteral("state/zymradio/zymradio.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("Cache is good!")) << "the restart did not use the day's cache";
    EXPECT_TRUE(waitUntil([&] { return sound().tailRms > 0.01; }, 30s)) << "no sound after the restart";
    EXPECT_TRUE(quit());
}

// A settings file whose recently-played list claims 0x7fffffff items (Qt would reserve tens
// of gigabytes for it): the program starts, plays the last station, and the file keeps the
// other settings.
TEST_F(Restart, ASettingsValueClaimingBillionsOfItemsIsDropped) {
    startListening(QString::fromLatin1(kStation),
                   QStringLiteral("recent_stations_demo=@Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)\n"));
    ASSERT_TRUE(quit());
    const QString settings = settingsText();
    EXPECT_TRUE(settings.contains(QStringLiteral("playing_station=") + QLatin1String(kStation)))
        << settings.toStdString();
    EXPECT_FALSE(settings.contains(QStringLiteral("\\x7f\\xff"))) << settings.toStdString();
}

}  // namespace
}  // namespace journey
