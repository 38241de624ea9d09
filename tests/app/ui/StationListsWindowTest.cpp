// The lists as real widgets with a fake window: selection into the active station, the
// search field, the context menu, drags, the drag image and the measures.

#include "UiTestSupport.h"

#include "app/foundation/ZYMPasteboard.h"
#include "app/foundation/UserDefaults.h"
#include "app/ui/Buttons.h"
#include "app/ui/RadioStationLists.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <set>

namespace {

class Directory : public RadioStationDirectory {
public:
    const ZYMRadioStationList& filteredStations() const override { return stations; }
    const ZYMRadioGenreList& filteredGenres() const override { return genres; }
    std::optional<QString> authenticatedUsername() const override { return QStringLiteral("u"); }
    const void* notificationObject() const override { return this; }
    ZYMRadioStationList stations;
    ZYMRadioGenreList genres;
};

class FakeWindow : public RadioListsWindow {
public:
    void setActiveStation(const std::shared_ptr<ZYMRadioStation>& s) override {
        active = s ? s->stationID() : QString();
        calls << "active " + active;
    }
    void playActiveStation() override { calls << "play " + active; }
    void stopPlaying() override { calls << "stop"; }
    QString playingStationID() const override { return playing; }
    void updatePlayButtons() override {}
    void updateDisplay() override {}
    void clearHoverFocus() override { calls << "hover cleared"; }
    void ensureStationInfo(const QString& id) override { infoAsked.insert(id); }
    QString active, playing;
    QStringList calls;
    std::set<QString> infoAsked;
};

class StationListsWindow : public ::testing::Test {
protected:
    void SetUp() override {
        defaults = std::make_unique<UserDefaults>(dir.filePath("d.conf"));
        directory.genres = {ZYMRadioGenre::create("Rock", "", "g1"), ZYMRadioGenre::create("Jazz", "", "g2")};
        auto add = [&](const QString& name, const QString& id, const QString& genre, const QString& description) {
            auto s = ZYMRadioStation::create(name, id, {genre});
            s->setStationDescription(description);
            directory.stations.push_back(s);
        };
        add("Rock & Roll/Live \xC3\xA9t\xC3\xA9", "r1", "g1", "Loud");
        add("Blues Rock", "r2", "g1", "A long description of the blues");
        add("Smooth", "j1", "g2", "Jazz all day");
        for (int i = 0; i < 60; ++i)
            add(QString("Filler %1").arg(i, 2, 10, QChar('0')), QString("f%1").arg(i), "g2", "more");
        source = std::make_unique<RadioStationsDataSource>(directory, center, *defaults);
        auto* layout = new QHBoxLayout(&window);
        outline = new ExtendedOutlineView;
        table = new ExtendedTableView;
        search = new QLineEdit;
        layout->addWidget(search);
        layout->addWidget(outline);
        layout->addWidget(table);
        window.resize(640, 300);
        lists = std::make_unique<RadioStationLists>(*outline, *table, *search, *source, fake);
        lists->setupTableViews();
        window.show();
        source->rebuild();
        testers.push_back(std::make_unique<QAbstractItemModelTester>(&source->stationsModel()));
        testers.push_back(std::make_unique<QAbstractItemModelTester>(&source->sourcesModel()));
    }
    void TearDown() override { lists.reset(); }

    void clickSource(const QString& identifier) {
        const int row = source->indexOfSourceItem(source->sourceItemWithIdentifier(identifier).get());
        outline->selectionModel()->setCurrentIndex(source->sourcesModel().index(row),
                                                   QItemSelectionModel::ClearAndSelect);
    }
    void clickStation(const QString& id) {
        const int row = source->indexOfStationItem(source->stationItemWithID(id).get());
        table->selectionModel()->setCurrentIndex(source->stationsModel().index(row, 0),
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    QString selectedSource() const {
        return lists->selectedSourceItem() ? lists->selectedSourceItem()->identifier() : "";
    }

    QTemporaryDir dir;
    std::unique_ptr<UserDefaults> defaults;
    NotificationCenter center;
    Directory directory;
    FakeWindow fake;
    std::unique_ptr<RadioStationsDataSource> source;
    class Window : public QWidget, public PresetHost {
    public:
        QMap<int, QString> presets;
        QString stationIDOnPreset(int preset) const override { return presets.value(preset); }
        void storeStationIDOnPreset(const QString& id, int preset) override { presets[preset] = id; }
    } window;
    ExtendedOutlineView* outline;
    ExtendedTableView* table;
    QLineEdit* search;
    std::unique_ptr<RadioStationLists> lists;
    std::vector<std::unique_ptr<QAbstractItemModelTester>> testers;
};

TEST_F(StationListsWindow, TypingSearchesPerKeystrokeAndClearingShowsAllStations) {
    search->setFocus();
    QTest::keyClicks(search, "ro");
    EXPECT_EQ(selectedSource(), "search_results_item");
    EXPECT_EQ(source->displayStations().size(), 2u);
    QTest::keyClick(search, Qt::Key_L);
    EXPECT_EQ(source->displayStations().size(), 1u);
    EXPECT_EQ(source->searchResultsItem()->searchTerm(), "rol");
    search->clear();
    EXPECT_EQ(selectedSource(), "all_stations_item");
    EXPECT_EQ(source->displayStations().size(), directory.stations.size());
}

TEST_F(StationListsWindow, SwitchingToAGenreWithoutTheActiveStationKeepsIt) {
    clickSource("genre_item_g1");
    clickStation("r2");
    EXPECT_EQ(fake.active, "r2");
    fake.calls.clear();
    clickSource("genre_item_g2");
    EXPECT_EQ(fake.active, "r2");
    EXPECT_EQ(source->indexOfStationItem(source->stationItemWithID("r2").get()), -1);
    EXPECT_TRUE(fake.calls.contains("hover cleared"));
    EXPECT_FALSE(fake.calls.contains("active "));

    // Nothing selected: the playing station becomes the active one.
    table->clearSelection();
    fake.playing = "j1";
    clickSource("genre_item_g1");
    EXPECT_EQ(fake.active, "j1");
}

// The lists hear of new rows from the station model's reset alone: a refill made by the
// data source itself (a lost service, a new filter) still clears the selection and moves
// the descriptions past the widest name.
TEST_F(StationListsWindow, NewRowsFromTheDataSourceReachTheLists) {
    clickSource("genre_item_g1");
    clickStation("r2");
    ASSERT_TRUE(table->selectionModel()->hasSelection());
    auto* cell = qobject_cast<DescriptiveOutlineDelegate*>(table->itemDelegate());
    ASSERT_NE(cell, nullptr);
    const qreal before = cell->descriptionOffset();

    auto wide = ZYMRadioStation::create(QString(40, QChar('W')), "w1", {"g1"});
    wide->setStationDescription(QStringLiteral("wide"));
    directory.stations.push_back(wide);
    source->rebuild();
    EXPECT_FALSE(table->selectionModel()->hasSelection());
    EXPECT_GT(cell->descriptionOffset(), before);
    EXPECT_EQ(cell->descriptionOffset(), lists->maxStationNameWidth() + RadioStationLists::kStationDescriptionGap);

    source->sourceItemSelected(source->allStationsItem());
    EXPECT_EQ(table->model()->rowCount(), int(directory.stations.size()));
    EXPECT_FALSE(table->selectionModel()->hasSelection());
}

TEST_F(StationListsWindow, ContextMenuSaysStopOnThePlayingRowAndPlayElsewhere) {
    clickSource("genre_item_g1");
    fake.playing = "r1";
    const int playingRow = source->indexOfStationItem(source->stationItemWithID("r1").get());
    const int otherRow = source->indexOfStationItem(source->stationItemWithID("r2").get());
    QMenu* menu = lists->stationContextMenuForRow(playingRow);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->actions().first()->text(), "Stop");
    menu->actions().first()->trigger();
    EXPECT_EQ(fake.calls.last(), "stop");

    // A context click selects the row under it, then Play plays that row.
    QMenu* other = table->menuForEvent(table->visualRect(source->stationsModel().index(otherRow, 0)).center());
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->actions().first()->text(), "Play");
    other->actions().first()->trigger();
    EXPECT_EQ(fake.calls.last(), "play r2");

    EXPECT_EQ(lists->stationContextMenuForRow(99), nullptr);
    EXPECT_EQ(outline->menuForEvent(outline->visualRect(source->sourcesModel().index(3)).center()), nullptr);
}

TEST_F(StationListsWindow, DragCarriesTheStationAndItsEscapedURL) {
    clickSource("genre_item_g1");
    const int row = source->indexOfStationItem(source->stationItemWithID("r1").get());
    std::unique_ptr<QMimeData> data(source->stationsModel().mimeData({source->stationsModel().index(row, 0)}));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(ZYMPasteboard::stationID(*data), "r1");
    const QString url = "zymradio://station/r1?name=Rock%20%26%20Roll%2FLive%20%C3%A9t%C3%A9";
    EXPECT_EQ(QString::fromUtf8(data->data("text/plain")), url);
    EXPECT_EQ(QString::fromUtf8(data->data("text/uri-list")), url + "\r\n");
    EXPECT_EQ(QString::fromUtf8(data->data(ZYMPasteboard::kURLDescriptionMimeType)), "Loud");
    for (const QString& type : source->stationsModel().mimeTypes())
        EXPECT_TRUE(data->hasFormat(type)) << type.toStdString();
    EXPECT_EQ(source->stationsModel().mimeData({}), nullptr);
}

TEST_F(StationListsWindow, DragImageIsARoundedTranslucentLabel) {
    const QImage image = RadioStationLists::dragImageForName("Smooth").toImage();
    const QFontMetricsF metrics([] {
        QFont f = QApplication::font();
        f.setPointSizeF(11);
        return f;
    }());
    EXPECT_EQ(image.width(), int(metrics.horizontalAdvance("Smooth") + 30));
    EXPECT_EQ(image.height(), int(metrics.height() + 4));
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);  // the rounded corner
    const QRgb edge = image.pixel(2, image.height() / 2);
    EXPECT_NEAR(qAlpha(edge), 115, 6);  // grey at 0.45
    EXPECT_NEAR(qGray(edge) * 255 / std::max(qAlpha(edge), 1), 128, 8);
}

TEST_F(StationListsWindow, StationInformationIsAskedOnlyForDrawnRows) {
    clickSource("all_stations_item");
    fake.infoAsked.clear();
    table->resize(300, 100);
    table->grab();
    // Not from inside the paint: an answer redraws the row.
    EXPECT_TRUE(fake.infoAsked.empty());
    QCoreApplication::processEvents();
    EXPECT_FALSE(fake.infoAsked.empty());
    EXPECT_LT(fake.infoAsked.size(), 20u);
    EXPECT_FALSE(fake.infoAsked.count("f59"));
}

TEST_F(StationListsWindow, RowsWhoseStationHasItsInformationAskForNothing) {
    clickSource("all_stations_item");
    const QString lacking = source->stationItemAtIndex(1)->stationID();
    for (const auto& station : directory.stations)
        if (station->stationID() != lacking) station->setHaveStationInfo();
    fake.infoAsked.clear();
    for (int i = 0; i < 3; ++i) {
        table->grab();
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(fake.infoAsked, (std::set<QString>{lacking}));
}

TEST_F(StationListsWindow, MeasuresWithNoStations) {
    directory.stations.clear();
    directory.genres.clear();
    source->rebuild();
    source->sourceItemSelected(source->allStationsItem());
    EXPECT_EQ(lists->maxStationNameWidth(), 0);
    EXPECT_EQ(lists->maxStationListWidth(), 20 + table->verticalScrollBar()->sizeHint().width());
    EXPECT_EQ(lists->maxStationListHeight(), 0);  // the header is hidden
    EXPECT_GT(lists->maxSourceListWidth(), 2 * outline->verticalScrollBar()->sizeHint().width());
    EXPECT_EQ(lists->maxStationsListContainerHeight(), lists->maxSourceListHeight());
}

TEST_F(StationListsWindow, ADraggedRowDroppedOnAPresetButtonIsStored) {
    clickSource("genre_item_g2");
    const int row = source->indexOfStationItem(source->stationItemWithID("j1").get());
    std::unique_ptr<QMimeData> data(source->stationsModel().mimeData({source->stationsModel().index(row, 0)}));
    ASSERT_NE(data, nullptr);
    auto* button = new PresetButton(2, &window);
    const Qt::DropActions offered = table->draggingSourceOperationMask(false);
    EXPECT_EQ(offered, Qt::CopyAction);
    QDragEnterEvent enter(QPoint(3, 3), offered, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &enter);
    QDragMoveEvent move(QPoint(3, 3), offered, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &move);
    ASSERT_TRUE(move.isAccepted());
    QDropEvent drop(QPointF(3, 3), offered, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &drop);
    EXPECT_EQ(window.presets.value(2), "j1");
}

}  // namespace
