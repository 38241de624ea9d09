// The station lists whenever the directory loads again: a restart the same day (the
// directory from the day's cache), a renewal of the credentials, a sign-on after a
// sign-off; what the settings keep of a stream played by its address; and a launch by a
// URL with the last station to play at launch.

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>

#include "ListsProbe.h"
#include "WindowPartsFixture.h"
#include "app/foundation/Clock.h"
#include "app/radio/ZYMRadioStation.h"
#include "app/support/ZYMScriptCommands.h"
#include "app/ui/ScriptingModel.h"

namespace {

using namespace windowtest;

class CountingStatistics : public SignOnStatistics {
public:
    void increment(int key) override { ++counts[key]; }
    std::map<int, int> counts;
};

class ListsAfterReload : public WindowTest {
protected:
    static inline const QString kStation = QStringLiteral("radio:aggregate:1");

    void SetUp() override {
        WindowTest::SetUp();
        env_.statistics = &counting_;
        // The credentials are renewed when the test moves the services' time on.
        defaults_->setInteger(QStringLiteral("lfs_auth_renewal_interval"), 600);
        env_.service.scheduler = &serviceTime_;
    }

    void Renew() { serviceTime_.advance(std::chrono::seconds(600)); }

    // Waits for the next completed load (a load from the cache completes twice).
    void ReloadAndWait(const std::function<void()>& start) {
        int loads = 0;
        QObject::connect(window_.get(), &RadioWindowController::signOnComplete, [&] { ++loads; });
        start();
        ASSERT_TRUE(RunUntil([&] { return loads > 0 && window_->radioService().informationLoaded(); })) << Log();
    }

    // The listener clicks a genre, then one of its stations: {genre, station}.
    std::pair<QString, QString> ClickGenreAndStation() {
        const auto chosen = GenreAndStation(*window_);
        EXPECT_FALSE(chosen.first.isEmpty());
        ClickSource(*window_, chosen.first);
        ClickStation(*window_, chosen.second);
        return chosen;
    }

    void ExpectListsShow(const QString& source, const QString& station, int rows) {
        EXPECT_EQ(SelectedSourceID(*window_), source);
        EXPECT_EQ(StationRows(*window_), rows);
        EXPECT_EQ(SelectedStationID(*window_), station);
        ASSERT_TRUE(window_->activeStation());
        EXPECT_EQ(window_->activeStation()->stationID(), station);
    }

    CountingStatistics counting_;
    FakeScheduler serviceTime_;
};

// The restart finds the day's cache good: the lists come from it first, then the load
// completes with the server's presets. Both times the lists show as after a fresh load.
TEST_F(ListsAfterReload, ASameDayRestartShowsTheSavedSourceAndStationOrAllStations) {
    SignOnAndLoad();
    const auto [genre, station] = ClickGenreAndStation();
    const int genreRows = StationRows(*window_);
    const int allRows = int(window_->dataSource().stationItems().size());
    ASSERT_GT(allRows, genreRows);

    struct Row {
        const char* what;
        bool forgetSettings;
        QString source;
        QString station;
        int rows;
    };
    const Row rows[] = {
        {"saved genre and station", false, genre, station, genreRows},
        {"nothing saved", true, QStringLiteral("all_stations_item"), QString(""), allRows},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        window_->prepareForApplicationTermination();
        window_->saveSettings();
        window_.reset();
        if (row.forgetSettings) {
            defaults_->removeObject(QStringLiteral("selected_source"));
            defaults_->removeObject(QStringLiteral("active_station"));
        }
        SignOnAndLoad();
        EXPECT_NE(Log().find("Cache is good!"), std::string::npos) << "the restart used the day's cache";
        EXPECT_EQ(SelectedSourceID(*window_), row.source);
        EXPECT_EQ(StationRows(*window_), row.rows);
        EXPECT_EQ(SelectedStationID(*window_), row.station);
    }
}

TEST_F(ListsAfterReload, ARenewalOrASignOnAgainKeepsTheClickedGenreAndStation) {
    SignOnAndLoad();
    const auto [genre, station] = ClickGenreAndStation();
    const int rows = StationRows(*window_);

    ReloadAndWait([&] { Renew(); });
    ExpectListsShow(genre, station, rows);

    // Signed off, the lists are empty; signed on again, they show what was chosen.
    window_->signOff();
    ReloadAndWait([&] {
        window_->signOn();
        // After a sign-off the panel always shows; the stored password is in it.
        ASSERT_TRUE(RunUntil([&] { return panels_.signOnVisible; })) << Log();
        panels_.actions->authOK();
    });
    ExpectListsShow(genre, station, rows);
}

// Signed on again after a sign-off, with the day's cache gone, the station details come
// from the server chunk by chunk: a genre chosen meanwhile lists its stations at once and
// stays chosen, listing them, once the load is over.
TEST_F(ListsAfterReload, AGenreChosenWhileTheDetailsLoadListsItsStations) {
    ScriptDirectory({{"stations", 200}});
    SignOnAndLoad();
    const auto [genre, station] = GenreAndStation(*window_);
    ASSERT_FALSE(genre.isEmpty());
    window_->signOff();
    QDir(dir_.filePath("cache")).removeRecursively();
    ScriptDirectory({{"stations", 200}, {"methods", QJsonObject{{"GetStationInfo", QJsonObject{{"delay_ms", 400}}}}}});
    const int asked = CountRequests("IMetadataDescribeRequest");
    window_->signOn();
    ASSERT_TRUE(RunUntil([&] { return panels_.signOnVisible; })) << Log();
    panels_.actions->authOK();
    ASSERT_TRUE(RunUntil([&] { return CountRequests("IMetadataDescribeRequest") > asked; })) << Log();
    ASSERT_FALSE(window_->radioService().informationLoaded()) << "the details are still loading";

    // Chosen through the list's selection: the loading sheet may be up by now.
    const auto item = window_->dataSource().sourceItemWithIdentifier(genre);
    ASSERT_TRUE(item);
    SourceList(*window_).selectionModel()->setCurrentIndex(
        window_->dataSource().sourcesModel().index(window_->dataSource().indexOfSourceItem(item.get())),
        QItemSelectionModel::ClearAndSelect);
    EXPECT_GT(StationRows(*window_), 0);

    ASSERT_TRUE(RunUntil([&] { return window_->radioService().informationLoaded(); })) << Log();
    EXPECT_EQ(SelectedSourceID(*window_), genre);
    const auto loaded = window_->dataSource().sourceItemWithIdentifier(genre);
    ASSERT_TRUE(loaded);
    const int listed = int(static_cast<const RadioGenreItem&>(*loaded).stationItems().size());
    EXPECT_GT(listed, 0);
    EXPECT_EQ(StationRows(*window_), listed);
}

// A station chosen in a genre that does not list it stays chosen through a renewal.
TEST_F(ListsAfterReload, ARenewalKeepsTheActiveStationOutOfTheShownList) {
    SignOnAndLoad();
    ClickSource(*window_, QStringLiteral("all_stations_item"));
    ClickStation(*window_, kStation);
    const auto& sources = window_->dataSource().displaySources();
    QString other;
    for (const auto& source : sources) {
        if (source->kind() != RadioSourceItem::Kind::Genre) continue;
        const auto& stations = static_cast<const RadioGenreItem&>(*source).stationItems();
        if (std::none_of(stations.begin(), stations.end(), [](const auto& s) { return s->stationID() == kStation; }))
            other = source->identifier();
    }
    ASSERT_FALSE(other.isEmpty());
    ClickSource(*window_, other);
    const int rows = StationRows(*window_);
    ReloadAndWait([&] { Renew(); });
    EXPECT_EQ(SelectedSourceID(*window_), other);
    EXPECT_EQ(StationRows(*window_), rows);
    ASSERT_TRUE(window_->activeStation());
    EXPECT_EQ(window_->activeStation()->stationID(), kStation);
}

// The preferences' end notice for the bandwidth, with the limit unchanged or changed so
// that the station still fits: the lists stay as the listener left them.
TEST_F(ListsAfterReload, ACheckedBandwidthKeepsTheListsAndSelection) {
    SignOnAndLoad();
    const auto [genre, station] = ClickGenreAndStation();
    const int rows = StationRows(*window_);
    for (qint64 limit : {qint64(0), qint64(15000000)}) {
        SCOPED_TRACE(limit);
        if (limit) defaults_->setInteger(QStringLiteral("network_bandwidth_limit"), limit);
        window_->checkDefaultsForChange(QStringList{QStringLiteral("network_bandwidth_limit")});
        ExpectListsShow(genre, station, rows);
    }
}

// Played by its address, a stream is no station of the directory: neither the recently
// played list nor the settings keep it; the last station of the directory stays.
TEST_F(ListsAfterReload, AStreamPlayedByItsAddressIsNotSaved) {
    SignOnAndLoad();
    PlayForever();
    window_->playStationWithURL(QString::fromStdString(server_->Url(prefix_ + "svcstream/by-address")));
    ASSERT_TRUE(RunUntil([&] {
        return window_->streamPlaying() && window_->playingStation() &&
               PlaySession::isPlayedByAddress(*window_->playingStation());
    })) << Log();
    window_->saveSettings();
    window_->prepareForApplicationTermination();
    const auto user = window_->radioService().authenticatedUsername(true);
    ASSERT_TRUE(user);
    const QStringList recent = defaults_->stringArray(QStringLiteral("recent_stations_") + *user);
    EXPECT_FALSE(recent.contains(QStringLiteral("-1"))) << recent.join(' ').toStdString();
    EXPECT_EQ(recent.value(0), kMp3Station);
    EXPECT_NE(defaults_->string(QStringLiteral("active_station")), QStringLiteral("-1"));
    EXPECT_EQ(defaults_->string(QStringLiteral("playing_station")), kMp3Station);
}

// A launch by a "zymradio:" URL with the last station to play at launch: only the URL's
// station plays, counted once, at full volume at once.
TEST_F(ListsAfterReload, ALaunchByURLPlaysOnlyTheURLsStation) {
    defaults_->setBool(QStringLiteral("play_at_launch"), true);
    defaults_->setString(QStringLiteral("playing_station"), kStation);
    server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "svcstream/")},
                                {"file", "chirp-64k.mp3"},
                                {"repeat", true},
                                {"rate", 16000},
                                {"headers", QJsonArray{QJsonArray{"Content-Type", "audio/mpeg"}}}});
    Make();
    ScriptingModel scripting(*window_);
    ZYMScriptCommands::getURL(scripting, QStringLiteral("zymradio:playstation?id=") + kMp3Station);
    ASSERT_TRUE(window_->forcePlayAtSignOn()) << "not signed on yet: played after the load";
    ASSERT_TRUE(RunUntil([&] { return window_->streamPlaying(); })) << Log();
    ASSERT_TRUE(window_->playingStation());
    EXPECT_EQ(window_->playingStation()->stationID(), kMp3Station);
    EXPECT_FALSE(window_->volumeFading()) << "no fade-in for the URL's station";
    EXPECT_EQ(counting_.counts[RadioWindowController::kStatStationPlays], 1);
    for (const auto& r : StreamRequests())
        EXPECT_NE(r.path.find("svcstream/plain7"), std::string::npos) << r.path << ": only station 7's stream";
}

// The same with a stream the URL names by its address ("qint:" URLs take this road): it
// plays from the start and the load does not replace it.
TEST_F(ListsAfterReload, ALaunchByAStreamAddressKeepsItPlayingThroughTheLoad) {
    defaults_->setBool(QStringLiteral("play_at_launch"), true);
    defaults_->setString(QStringLiteral("playing_station"), kStation);
    server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "svcstream/")},
                                {"file", "chirp-64k.mp3"},
                                {"repeat", true},
                                {"rate", 16000},
                                {"headers", QJsonArray{QJsonArray{"Content-Type", "audio/mpeg"}}}});
    Make();
    window_->playStationWithURL(QString::fromStdString(server_->Url(prefix_ + "svcstream/by-address")));
    SignOnAndLoad();
    ASSERT_TRUE(RunUntil([&] { return window_->streamPlaying(); })) << Log();
    ASSERT_TRUE(window_->playingStation());
    EXPECT_TRUE(PlaySession::isPlayedByAddress(*window_->playingStation()));
    EXPECT_EQ(counting_.counts[RadioWindowController::kStatStationPlays], 0);
    const auto streams = StreamRequests();
    ASSERT_FALSE(streams.empty());
    for (const auto& r : streams)
        EXPECT_NE(r.path.find("svcstream/by-address"), std::string::npos) << r.path << ": only the URL's stream";
}

}  // namespace
