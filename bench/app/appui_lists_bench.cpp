// The station lists over a directory of 5,000 stations in 40 genres: one search keystroke
// (the Search Results row re-filters every station by name and description, sorts and
// resets the station list's model), one rebuild of both lists from the directory, and a
// genre row then All Stations chosen in the source list.
//
//   appui_lists_bench --benchmark_min_time=1
//
// The aim (Release): a keystroke under 5 ms, a rebuild under 50 ms, a genre and All
// Stations together under 50 ms.

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include "app/foundation/NotificationCenter.h"
#include "app/foundation/UserDefaults.h"
#include "app/ui/RadioStationsDataSource.h"

namespace {

class Directory : public RadioStationDirectory {
public:
    Directory() {
        for (int g = 0; g < 40; ++g)
            genres.push_back(ZYMRadioGenre::create(QString("Genre %1").arg(g), "", QString::number(g)));
        for (int i = 0; i < 5000; ++i) {
            auto s = ZYMRadioStation::create(QString("Station %1 Radio").arg((i * 7919) % 5000), QString("s%1").arg(i),
                                             {QString::number(i % 40), QString::number((i * 3) % 40)});
            s->setStationDescription(QString("The best of genre %1, all day and night").arg(i % 40));
            stations.push_back(s);
        }
    }
    const ZYMRadioStationList& filteredStations() const override { return stations; }
    const ZYMRadioGenreList& filteredGenres() const override { return genres; }
    std::optional<QString> authenticatedUsername() const override { return std::nullopt; }
    const void* notificationObject() const override { return this; }
    ZYMRadioStationList stations;
    ZYMRadioGenreList genres;
};

struct Lists {
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath("d.conf")};
    NotificationCenter center;
    Directory directory;
    RadioStationsDataSource source{directory, center, defaults};
};

void BM_SearchKeystroke(benchmark::State& state) {
    Lists lists;
    lists.source.rebuild();
    const QStringList terms{"s", "st", "sta", "stat", "stati", "9", "99", "genre 1", "night"};
    int i = 0;
    for (auto _ : state) {
        lists.source.searchResultsItem()->setSearchTerm(terms[i++ % terms.size()]);
        lists.source.sourceItemSelected(lists.source.searchResultsItem());
        benchmark::DoNotOptimize(lists.source.displayStations().size());
    }
}
BENCHMARK(BM_SearchKeystroke)->Unit(benchmark::kMillisecond);

void BM_Rebuild(benchmark::State& state) {
    Lists lists;
    for (auto _ : state) {
        lists.source.rebuild();
        lists.source.sourceItemSelected(lists.source.allStationsItem());
        benchmark::DoNotOptimize(lists.source.displayStations().size());
    }
}
BENCHMARK(BM_Rebuild)->Unit(benchmark::kMillisecond);

// A click on a genre row, then on All Stations: each fills and sorts the station list and
// resets its model. The aim: each under 50 ms.
void BM_GenreThenAllStations(benchmark::State& state) {
    Lists lists;
    lists.source.rebuild();
    const auto& genres = lists.source.genreItems();
    std::size_t i = 0;
    for (auto _ : state) {
        lists.source.sourceItemSelected(genres[i++ % genres.size()]);
        benchmark::DoNotOptimize(lists.source.displayStations().size());
        lists.source.sourceItemSelected(lists.source.allStationsItem());
        benchmark::DoNotOptimize(lists.source.displayStations().size());
    }
}
BENCHMARK(BM_GenreThenAllStations)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
