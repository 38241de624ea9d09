#pragma once
// The main window's two lists as the listener sees and clicks them: the selected source
// row, the station rows shown and the selected one.

#include <gtest/gtest.h>

#include <QTest>

#include "app/radio/ZYMRadioStation.h"
#include "app/ui/ListViews.h"
#include "app/ui/RadioStationsDataSource.h"
#include "app/ui/RadioWindowController.h"

namespace windowtest {

inline ExtendedOutlineView& SourceList(RadioWindowController& window) {
    auto* view = window.window()->findChild<ExtendedOutlineView*>();
    EXPECT_TRUE(view);
    return *view;
}

// The identifier of the source row selected on screen, "" when none.
inline QString SelectedSourceID(RadioWindowController& window) {
    const QModelIndexList rows = SourceList(window).selectionModel()->selectedRows();
    if (rows.isEmpty()) return QString("");
    const auto& sources = window.dataSource().displaySources();
    const int row = rows.first().row();
    return row < int(sources.size()) ? sources[std::size_t(row)]->identifier() : QString("?");
}

inline int StationRows(RadioWindowController& window) { return window.stationTable().model()->rowCount(); }

// The station of the row selected on screen, "" when none.
inline QString SelectedStationID(RadioWindowController& window) {
    const QModelIndexList rows = window.stationTable().selectionModel()->selectedRows();
    if (rows.isEmpty()) return QString("");
    const auto item = window.dataSource().stationItemAtIndex(rows.first().row());
    return item ? item->stationID() : QString("?");
}

inline void ClickRow(QAbstractItemView& view, int row) {
    const QModelIndex index = view.model()->index(row, 0);
    view.scrollTo(index);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(index).center());
}

inline void ClickSource(RadioWindowController& window, const QString& identifier) {
    window.window()->show();
    const auto item = window.dataSource().sourceItemWithIdentifier(identifier);
    ASSERT_TRUE(item) << identifier.toStdString();
    ClickRow(SourceList(window), window.dataSource().indexOfSourceItem(item.get()));
    ASSERT_EQ(SelectedSourceID(window), identifier);
}

inline void ClickStation(RadioWindowController& window, const QString& stationID) {
    window.window()->show();
    const auto item = window.dataSource().stationItemWithID(stationID);
    ASSERT_TRUE(item) << stationID.toStdString();
    const int row = window.dataSource().indexOfStationItem(item.get());
    ASSERT_GE(row, 0) << stationID.toStdString() << " is not shown";
    ClickRow(window.stationTable(), row);
    ASSERT_EQ(SelectedStationID(window), stationID);
}

// A genre row listing at least two stations but not all of them, and one of its stations:
// {genre identifier, station ID}, empty when there is none.
inline std::pair<QString, QString> GenreAndStation(RadioWindowController& window) {
    const std::size_t all = window.dataSource().stationItems().size();
    for (const auto& source : window.dataSource().displaySources()) {
        if (source->kind() != RadioSourceItem::Kind::Genre) continue;
        const auto& stations = static_cast<const RadioGenreItem&>(*source).stationItems();
        if (stations.size() >= 2 && stations.size() < all) return {source->identifier(), stations.front()->stationID()};
    }
    return {};
}

}  // namespace windowtest
