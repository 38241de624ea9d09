// Quitting and starting again: the same day (the directory from the day's cache, the
// window's frame, Find, Delete in Recently Played) and with a fresh profile (what the server keeps comes back).

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
    // The listener makes the window narrower; the next start brings that width back.
    const std::optional<Window> first = mainWindow();
    ASSERT_TRUE(first);
    const int width = first->rect.width() - 70;
    ASSERT_TRUE(xdotool({QStringLiteral("windowsize"), QString::number(first->id), QString::number(width),
                         QString::number(first->rect.height())}));
    ASSERT_TRUE(waitUntil(
        [&] {
            const auto main = mainWindow();
            return main && main->rect.width() == width;
        },
        20s))
        << "the window was not resized";
    ASSERT_TRUE(quit());
    EXPECT_EQ(programOutput().toStdString(), "") << "a normal start and quit print nothing";
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
    const std::optional<Window> again = mainWindow();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->rect.width(), width) << "the window's frame did not come back";

    // Ctrl+F takes the keys to the search field: typing selects Search Results.
    // Rows 1 to 3 (Search Results, Recently Played, the first genre), so the list's own
    // ground is the region's most common colour.
    const QRect searchRow(sourceList(*again).left(), genreRow(*again, 1).y() - 8, sourceList(*again).width(), 54);
    EXPECT_LT(highlightedLines(screenshot(QString()), searchRow), 6) << "a row below All Stations is selected already";
    ASSERT_TRUE(keys(*again, QStringLiteral("ctrl+f")));
    ASSERT_TRUE(type(*again, QStringLiteral("Station")));
    EXPECT_TRUE(waitUntil([&] { return highlightedLines(screenshot(QString()), searchRow) >= 10; }, 20s))
        << "Search Results was not selected (see " << artifacts().toStdString() << ")";
    screenshot(QStringLiteral("after-find"));

    // Delete in Recently Played takes the station off that list.
    ASSERT_TRUE(click(genreRow(*again, 2)));
    const QRect table = stationTable(*again);
    ASSERT_TRUE(waitUntil([&] { return textRows(screenshot(QString()), table) == 1; }, 20s))
        << "Recently Played does not show the one station played";
    ASSERT_TRUE(click(QPoint(table.left() + 40, table.top() + 8)));
    ASSERT_TRUE(keys(*again, QStringLiteral("Delete")));
    EXPECT_TRUE(waitUntil([&] { return textRows(screenshot(QString()), table) == 0; }, 20s))
        << "the station stayed in Recently Played (see " << artifacts().toStdString() << ")";
    screenshot(QStringLiteral("after-delete"));
    EXPECT_TRUE(quit());
    EXPECT_EQ(programOutput().toStdString(), "");
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
