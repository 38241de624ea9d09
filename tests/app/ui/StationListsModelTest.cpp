// The station list model: rows built from the filtered directory, search, recently
// played stations per user, and the two list models under Qt's model tester.

#include "UiTestSupport.h"

#include "app/foundation/UserDefaults.h"
#include "app/ui/ListViews.h"
#include "app/ui/RadioStationsDataSource.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QIcon>
#include <QTemporaryDir>

namespace {

class FakeDirectory : public RadioStationDirectory {
public:
    const ZYMRadioStationList& filteredStations() const override { return stations; }
    const ZYMRadioGenreList& filteredGenres() const override { return genres; }
    std::optional<QString> authenticatedUsername() const override { return user; }
    const void* notificationObject() const override { return this; }

    std::shared_ptr<ZYMRadioStation> add(const QString& name, const QString& id, const QStringList& genreIDs,
                                         std::optional<QString> description = std::nullopt) {
        auto station = ZYMRadioStation::create(name, id, genreIDs);
        station->setStationDescription(std::move(description));
        stations.push_back(station);
        return station;
    }
    ZYMRadioStationList stations;
    ZYMRadioGenreList genres;
    std::optional<QString> user = QStringLiteral("listener");
};

class StationListsModel : public ::testing::Test {
protected:
    void SetUp() override {
        defaults = std::make_unique<UserDefaults>(dir.filePath("defaults.conf"));
        directory.genres = {ZYMRadioGenre::create("rock", "", "g1"), ZYMRadioGenre::create("Ambient", "", "g2"),
                            ZYMRadioGenre::create("jazz", "", "g3")};
        directory.add("zeta", "s1", {"g1"}, "Loud guitars");
        directory.add("Alpha", "s2", {"g1", "g2", "g9"});  // g9: no such genre
        directory.add("beta", "s3", {"g2"}, "calm WAVES");
        source = std::make_unique<RadioStationsDataSource>(directory, center, *defaults);
        sourcesTester = std::make_unique<QAbstractItemModelTester>(
            &source->sourcesModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        stationsTester = std::make_unique<QAbstractItemModelTester>(
            &source->stationsModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        // The models' signals are the one way the lists tell of changes: nothing is posted.
        subscription = center.observe(QString(), source.get(), [this](const Notification& n) { posted << n.name; });
        QObject::connect(&source->sourcesModel(), &QAbstractItemModel::modelReset, [this] { told << "sources reset"; });
        QObject::connect(&source->stationsModel(), &QAbstractItemModel::modelReset,
                         [this] { told << "stations reset"; });
    }

    QStringList shownStations() const {
        QStringList out;
        for (const auto& item : source->displayStations())
            out << item->stationID();
        return out;
    }
    QStringList shownSources() const {
        QStringList out;
        for (const auto& item : source->displaySources())
            out << item->name();
        return out;
    }
    void search(const QString& term) {
        source->searchResultsItem()->setSearchTerm(term);
        source->sourceItemSelected(source->searchResultsItem());
    }

    QTemporaryDir dir;
    std::unique_ptr<UserDefaults> defaults;
    NotificationCenter center;
    FakeDirectory directory;
    std::unique_ptr<RadioStationsDataSource> source;
    std::unique_ptr<QAbstractItemModelTester> sourcesTester, stationsTester;
    NotificationCenter::Subscription subscription;
    QStringList posted;
    QStringList told;
};

TEST_F(StationListsModel, RebuildOrdersSourcesAndFillsGenresSkippingUnknownIds) {
    source->rebuild();
    EXPECT_EQ(shownSources(),
              QStringList({"All Stations", "Search Results", "Recently Played", "Ambient", "jazz", "rock"}));
    EXPECT_EQ(told, QStringList({"stations reset", "sources reset"}));
    told.clear();
    EXPECT_EQ(source->sourcesModel().rowCount(), 6);
    EXPECT_EQ(source->sourcesModel().index(3).data().toString(), "Ambient");
    EXPECT_FALSE(source->sourcesModel().index(0).data(Qt::DecorationRole).value<QIcon>().isNull());

    // A station in two genres is listed once in each, and once in All Stations.
    source->sourceItemSelected(source->sourceItemWithIdentifier("genre_item_g1"));
    EXPECT_EQ(shownStations(), QStringList({"s2", "s1"}));
    source->sourceItemSelected(source->sourceItemWithIdentifier("genre_item_g2"));
    EXPECT_EQ(shownStations(), QStringList({"s2", "s3"}));
    source->sourceItemSelected(source->sourceItemWithIdentifier("genre_item_g3"));
    EXPECT_TRUE(shownStations().isEmpty());
    source->sourceItemSelected(source->allStationsItem());
    EXPECT_EQ(shownStations(), QStringList({"s2", "s3", "s1"}));
    EXPECT_EQ(source->stationsModel().rowCount(), 3);
    EXPECT_EQ(told, QStringList(4, "stations reset"));
    EXPECT_TRUE(posted.isEmpty()) << posted.join(' ').toStdString();
    // The model answers names and descriptions, never asking for station information.
    EXPECT_EQ(source->stationsModel().index(1).data(ZYMItemRole::SecondaryText).toString(), "calm WAVES");

    EXPECT_EQ(source->stationItemAtIndex(-1), nullptr);
    EXPECT_EQ(source->stationItemAtIndex(3), nullptr);
    EXPECT_EQ(source->indexOfStationItem(source->stationItemWithID("s3").get()), 1);
    EXPECT_EQ(source->indexOfStationItem(nullptr), -1);
    EXPECT_EQ(source->sourceItemWithIdentifier("genre_item_g9"), nullptr);
}

TEST_F(StationListsModel, SearchMatchesNameOrDescriptionWithoutCase) {
    source->rebuild();
    struct Case {
        const char* term;
        QStringList expected;
    };
    const Case cases[] = {
        {"", {}},                   // an empty term shows nothing
        {"ZET", {"s1"}},            // capitals find lower case
        {"lph", {"s2"}},            // the middle of a word
        {"waves", {"s3"}},          // the description
        {"a", {"s2", "s3", "s1"}},  // sorted by name without case
        {"rock", {}},               // genre names are not searched
        {"guitars", {"s1"}},
    };
    for (const auto& c : cases) {
        search(c.term);
        EXPECT_EQ(shownStations(), c.expected) << c.term;
    }
    // After a rebuild the Search Results row has no term again.
    source->rebuild();
    EXPECT_TRUE(source->searchResultsItem()->searchTerm().isEmpty());
    source->sourceItemSelected(source->searchResultsItem());
    EXPECT_TRUE(shownStations().isEmpty());
}

TEST_F(StationListsModel, RecentlyPlayedKeepsTenNewestFirstAndSkipsMissingStations) {
    source->rebuild();
    for (int i = 1; i <= 11; ++i)
        source->noteStationPlayed(QString("x%1").arg(i), false);
    EXPECT_EQ(source->recentStationIDs().size(), 10);
    EXPECT_EQ(source->recentStationIDs().first(), "x11");
    EXPECT_FALSE(source->recentStationIDs().contains("x1"));
    source->noteStationPlayed("x5", false);  // moves to the front, count kept
    EXPECT_EQ(source->recentStationIDs().first(), "x5");
    EXPECT_EQ(source->recentStationIDs().size(), 10);

    source->noteStationPlayed("s1", false);
    source->noteStationPlayed("s3", true);                  // visible: the list shows the new order
    EXPECT_EQ(shownStations(), QStringList({"s3", "s1"}));  // x… are not in the directory
    source->removeFromRecentlyPlayed("s3", true);
    EXPECT_EQ(shownStations(), QStringList({"s1"}));
    EXPECT_TRUE(source->recentStationIDs().contains("x5"));  // kept though not shown
}

TEST_F(StationListsModel, RecentsAreStoredPerUserAndOnlyAsAList) {
    struct Case {
        const char* name;
        QVariant stored;
        QStringList expected;
    };
    QStringList twelve;
    for (int i = 0; i < 12; ++i)
        twelve << QString("r%1").arg(i);
    const Case cases[] = {
        {"a list", QVariant(QStringList{"s3", "s1"}), {"s3", "s1"}},
        {"more than ten are read whole", QVariant(twelve), twelve},
        {"not a list", QVariant(QStringLiteral("s1")), {}},
        {"nothing", QVariant(), {}},
    };
    for (const auto& c : cases) {
        defaults->setObject("recent_stations_listener", c.stored);
        source->noteStationPlayed("old", false);
        center.post("ServiceEstablishedNotification", &directory);
        EXPECT_EQ(source->recentStationIDs(), c.expected) << c.name;
    }
    // More than ten read: a new station drops only the last one.
    defaults->setObject("recent_stations_listener", QVariant(twelve));
    source->loadRecentlyPlayed();
    source->noteStationPlayed("new", false);
    EXPECT_EQ(source->recentStationIDs().size(), 12);
    source->saveSettings();
    EXPECT_EQ(defaults->stringArray("recent_stations_listener").first(), "new");

    // Without a user the list is neither read nor written.
    directory.user.reset();
    defaults->setObject("recent_stations_listener", QVariant(QStringList{"elsewhere"}));
    source->loadRecentlyPlayed();
    EXPECT_EQ(source->recentStationIDs().first(), "new");
    source->saveSettings();
    EXPECT_EQ(defaults->stringArray("recent_stations_listener"), QStringList({"elsewhere"}));
}

TEST_F(StationListsModel, LosingTheServiceRebuildsAndResetsBoth) {
    source->rebuild();
    source->sourceItemSelected(source->allStationsItem());
    told.clear();
    directory.stations.clear();
    directory.genres.clear();
    center.post("ServiceNoLongerValidNotification", &directory);
    EXPECT_EQ(told, QStringList({"stations reset", "sources reset"}));
    EXPECT_TRUE(posted.isEmpty()) << posted.join(' ').toStdString();
    EXPECT_EQ(shownSources().size(), 3);
    EXPECT_EQ(source->stationsModel().rowCount(), 0);
}

}  // namespace
