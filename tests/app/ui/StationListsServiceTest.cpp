// The lists over a real sign-on and directory load from the test server.

#include "../radio/RadioServiceSupport.h"
#include "UiTestSupport.h"

#include "app/ui/RadioStationLists.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QHBoxLayout>
#include <QLineEdit>

namespace radiotest {
namespace {

class NoWindow : public RadioListsWindow {
public:
    void setActiveStation(const std::shared_ptr<ZYMRadioStation>&) override {}
    void playActiveStation() override {}
    void stopPlaying() override {}
    QString playingStationID() const override { return {}; }
    void updatePlayButtons() override {}
    void updateDisplay() override {}
    void clearHoverFocus() override {}
    void ensureStationInfo(const QString&) override {}
};

bool hasColourIn(const QImage& image, QPoint origin, int width, int height) {
    for (int x = origin.x(); x < origin.x() + width; ++x)
        for (int y = origin.y(); y < origin.y() + height; ++y)
            if (QColor(image.pixel(x, y)).saturation() > 100) return true;
    return false;
}

// The first column at or after `from` holding a pixel of the grey description text.
int firstGreyFrom(const QImage& image, const QRect& row, int from) {
    for (int x = from; x <= row.right(); ++x)
        for (int y = row.top(); y <= row.bottom(); ++y) {
            const QColor c(image.pixel(x, y));
            if (c.saturation() < 20 && c.value() > 110 && c.value() < 215) return x;
        }
    return -1;
}

using StationListsOverService = RadioServiceFixture;

TEST_F(StationListsOverService, SourcesReadFixedRowsThenGenresAndBothChangesArrive) {
    Start();
    HandOver();
    WaitLoaded();
    radio_->rebuildFilteredArraysWithBandwidth(1000000);
    ASSERT_FALSE(radio_->filteredGenres().empty());

    RadioServiceDirectory directory(*radio_);
    RadioStationsDataSource source(directory, center_, *defaults_);
    QAbstractItemModelTester sourcesTester(&source.sourcesModel());
    QAbstractItemModelTester stationsTester(&source.stationsModel());
    // The models' signals tell of every change; the data source posts nothing of its own.
    QStringList posted, told;
    auto subscription = center_.observe(QString(), &source, [&](const Notification& n) { posted << n.name; });
    QObject::connect(&source.sourcesModel(), &QAbstractItemModel::modelReset, [&] { told << "sources reset"; });
    QObject::connect(&source.stationsModel(), &QAbstractItemModel::modelReset, [&] { told << "stations reset"; });

    source.rebuild();
    EXPECT_EQ(told, QStringList({"stations reset", "sources reset"}));
    QStringList expected{"All Stations", "Search Results", "Recently Played"};
    QStringList genres;
    for (const auto& genre : radio_->filteredGenres())
        genres << genre->name();
    std::sort(genres.begin(), genres.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    expected += genres;
    QStringList shown;
    for (int row = 0; row < source.sourcesModel().rowCount(); ++row)
        shown << source.sourcesModel().index(row).data().toString();
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(source.stationItems().size(), radio_->filteredStations().size());

    // Both lists on screen, with the server's stations.
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    auto* outline = new ExtendedOutlineView;
    auto* table = new ExtendedTableView;
    QLineEdit search;
    layout->addWidget(outline, 1);
    layout->addWidget(table, 2);
    window.resize(560, 260);
    NoWindow fake;
    RadioStationLists lists(*outline, *table, search, source, fake);
    lists.setupTableViews();
    window.show();
    lists.selectSourceItem(source.allStationsItem());
    EXPECT_EQ(told.last(), "stations reset");
    const QImage shot = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QString dir = qEnvironmentVariable("ZYM_BINARY_DIR") + "/tests/app/ui";
    QDir().mkpath(dir);
    ASSERT_TRUE(shot.save(dir + "/station_lists_server.png"));
    // Icons in the source rows; every description starts at one x.
    EXPECT_TRUE(hasColourIn(shot, outline->viewport()->mapTo(&window, QPoint(0, 0)), 24, 3 * 18));
    const QPoint origin = table->viewport()->mapTo(&window, QPoint(0, 0));
    std::vector<int> starts;
    for (int row = 0; row < 4; ++row) {
        const QRect rect = table->visualRect(source.stationsModel().index(row, 0)).translated(origin);
        starts.push_back(firstGreyFrom(shot, rect, origin.x() + 4 + lists.maxStationNameWidth() + 2));
    }
    for (int start : starts) {
        EXPECT_GT(start, 0);
        EXPECT_NEAR(start, starts.front(), 2);
    }

    // Losing the service rebuilds from what it then offers and resets both lists.
    told.clear();
    center_.post("ServiceNoLongerValidNotification", radio_.get());
    EXPECT_EQ(told, QStringList({"stations reset", "sources reset"}));
    EXPECT_TRUE(posted.isEmpty()) << posted.join(' ').toStdString();
}

}  // namespace
}  // namespace radiotest
