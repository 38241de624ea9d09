// The presets pane over a radio service in memory: the rows, the drops, following the
// service's sign-off and sign-on, and one drag through the table view.

#include "app/foundation/ZYMPasteboard.h"
#include "app/services/ZYMGenericService.h"

#include "RadioPrefsSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolBar>

namespace {

using K = RadioPrefsWindowController;

std::unique_ptr<QMimeData> presetDrag(int row) {
    auto data = std::make_unique<QMimeData>();
    data->setData(kRadioPresetMimeType, QByteArray::number(row));
    return data;
}

std::unique_ptr<QMimeData> stationDrag(const QString& id) {
    auto data = std::make_unique<QMimeData>();
    ZYMPasteboard::setStationID(*data, id);
    return data;
}

class PresetsPane : public ::testing::Test, public RadioPrefsFixture {
protected:
    PresetsPane() {
        radio.directory = {{"radio:aggregate:1", "Jazz"}, {"radio:aggregate:2", "Rock"}, {"radio:aggregate:3", "Folk"}};
    }
    QStringList rows(const RadioPrefsWindowController& prefs) const {
        QStringList texts;
        PresetTableModel* model = prefs.presetModel();
        for (int r = 0; r < model->rowCount(); ++r)
            texts << model->data(model->index(r, 0), Qt::DisplayRole).toString();
        return texts;
    }
};

TEST_F(PresetsPane, RowsShowSlotsAndStations) {
    radio.presets()[1] = "radio:aggregate:1";
    radio.presets()[3] = "radio:aggregate:unknown";
    RadioPrefsWindowController prefs(environment());
    ASSERT_TRUE(prefs.showPaneWithIdentifier(K::kPresetPane));
    EXPECT_EQ(rows(prefs), (QStringList{"1 : <empty>", "2 : Jazz", "3 : <empty>", "4 : <empty>", "5 : <empty>"}));
}

TEST_F(PresetsPane, DropValidationAndResult) {
    struct Row {
        const char* what;
        std::function<std::unique_ptr<QMimeData>()> drag;
        int row;
        bool onRow;
        bool accepted;
        int targetRow;
        bool targetOn;
        QStringList calls;
    };
    const auto both = [] {
        auto data = presetDrag(2);
        ZYMPasteboard::setStationID(*data, "radio:aggregate:2");
        return data;
    };
    const auto neither = [] {
        auto data = std::make_unique<QMimeData>();
        data->setText("hello");
        return data;
    };
    const std::vector<Row> table = {
        {"preset 2 on row 0", [] { return presetDrag(2); }, 0, true, true, 0, false, {"move 3 1"}},
        {"preset 2 above row 0", [] { return presetDrag(2); }, 0, false, true, 0, false, {"move 3 1"}},
        {"preset 2 on itself", [] { return presetDrag(2); }, 2, true, false, -1, false, {}},
        {"preset 2 above itself", [] { return presetDrag(2); }, 2, false, false, -1, false, {}},
        {"preset 2 on row 3", [] { return presetDrag(2); }, 3, true, false, -1, false, {}},
        {"preset 2 above row 3", [] { return presetDrag(2); }, 3, false, false, -1, false, {}},
        {"preset 2 on row 4", [] { return presetDrag(2); }, 4, true, true, 4, false, {"move 3 5"}},
        {"preset 2 above row 4", [] { return presetDrag(2); }, 4, false, true, 4, false, {"move 3 5"}},
        {"preset 2 below the last row", [] { return presetDrag(2); }, 5, false, true, 5, false, {"move 3 6"}},
        {"station above row 1",
         [] { return stationDrag("radio:aggregate:2"); },
         1,
         false,
         true,
         1,
         true,
         {"store radio:aggregate:2 2"}},
        {"station unknown to the directory",
         [] { return stationDrag("radio:aggregate:99"); },
         1,
         true,
         false,
         -1,
         false,
         {}},
        {"both types: a preset move", both, 0, true, true, 0, false, {"move 3 1"}},
        {"neither type", neither, 1, true, false, -1, false, {}},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.what);
        radio.presets() = {"radio:aggregate:1", "", "radio:aggregate:3", "", ""};
        radio.calls.clear();
        RadioPrefsWindowController prefs(environment());
        ASSERT_TRUE(prefs.showPaneWithIdentifier(K::kPresetPane));
        PostCounter changed(center, kRadioServicePresetsChangedNotification);
        const auto data = row.drag();
        const PresetDrop drop = prefs.presetModel()->validateDrop(data.get(), row.row, row.onRow);
        EXPECT_EQ(drop.action != Qt::IgnoreAction, row.accepted);
        if (row.accepted) {
            EXPECT_EQ(drop.row, row.targetRow);
            EXPECT_EQ(drop.onRow, row.targetOn);
        }
        EXPECT_EQ(prefs.presetModel()->acceptDrop(data.get(), row.row, row.onRow), row.accepted);
        EXPECT_EQ(radio.calls, row.calls);
        EXPECT_EQ(changed.count, row.accepted ? 1 : 0);
    }
    // Without a service every drop is refused.
    radioConnected = false;
    RadioPrefsWindowController prefs(environment());
    ASSERT_TRUE(prefs.showPaneWithIdentifier(K::kPresetPane));
    EXPECT_EQ(prefs.presetModel()->rowCount(), 0);
    EXPECT_FALSE(prefs.presetModel()->acceptDrop(stationDrag("radio:aggregate:2").get(), 1, true));
}

TEST_F(PresetsPane, FirstPresetDroppedOnRowThreeEndsInSlotThree) {
    radio.presets() = {"radio:aggregate:1", "radio:aggregate:2", "radio:aggregate:3", "", ""};
    RadioPrefsWindowController prefs(environment());
    ASSERT_TRUE(prefs.showPaneWithIdentifier(K::kPresetPane));
    ASSERT_TRUE(prefs.presetModel()->acceptDrop(presetDrag(0).get(), 3, true));
    EXPECT_EQ(radio.calls, QStringList{"move 1 4"});
    EXPECT_EQ(rows(prefs)[2], "3 : Jazz");
    EXPECT_EQ(rows(prefs)[0], "1 : Rock");
}

TEST_F(PresetsPane, EmptySlotCannotBeDragged) {
    radio.presets()[0] = "radio:aggregate:1";
    RadioPrefsWindowController prefs(environment());
    ASSERT_TRUE(prefs.showPaneWithIdentifier(K::kPresetPane));
    std::unique_ptr<QMimeData> first(prefs.presetModel()->writeRows({0, 1}));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->data(kRadioPresetMimeType), "0");
    EXPECT_EQ(std::unique_ptr<QMimeData>(prefs.presetModel()->writeRows({1})), nullptr);
    EXPECT_EQ(std::unique_ptr<QMimeData>(prefs.presetModel()->writeRows({})), nullptr);
}

TEST_F(PresetsPane, FollowsSignOffAndSignOn) {
    radio.presets()[0] = "radio:aggregate:1";
    RadioPrefsWindowController prefs(environment());
    const auto& c = prefs.controls();
    ASSERT_TRUE(prefs.showPaneWithIdentifier(K::kPresetPane));
    c.presetTable->selectRow(0);
    EXPECT_TRUE(c.deletePreset->isEnabled());

    radio.available = false;
    center.post(kServiceNoLongerValidNotification, &radio);
    EXPECT_EQ(prefs.presetModel()->rowCount(), 0);
    EXPECT_FALSE(c.deletePreset->isEnabled());

    radio.available = true;
    center.post(kServiceEstablishedNotification, &radio);
    EXPECT_EQ(rows(prefs).value(0), "1 : Jazz");
    EXPECT_EQ(prefs.presetModel()->rowCount(), 5);

    // After the pane closed, the service's news no longer reach it.
    ASSERT_TRUE(prefs.showPaneWithIdentifier(K::kRadioPane));
    radio.available = false;
    center.post(kServiceNoLongerValidNotification, &radio);
    EXPECT_EQ(prefs.presetModel()->rowCount(), 5);
}

// The toolbar's buttons, as the listener clicks them: each shows its pane under its
// label's text (not the key), and the presets pane reads its rows although a Qt signal,
// not a direct call, opened it.
TEST_F(PresetsPane, EachToolbarButtonShowsItsPaneUnderItsTitle) {
    radio.presets()[1] = "radio:aggregate:1";
    RadioPrefsWindowController prefs(environment());
    prefs.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&prefs));
    const std::pair<QString, QString> panes[] = {{K::kPresetPane, "Presets"}, {K::kUserPane, "Account"},
                                                 {K::kColorsPane, "Colors"},  {K::kUpdatePane, "Updates"},
                                                 {K::kTimersPane, "Timers"},  {K::kRadioPane, "General"}};
    for (const auto& [pane, title] : panes) {
        SCOPED_TRACE(pane.toStdString());
        QAction* item = nullptr;
        for (QAction* action : prefs.toolbar()->actions())
            if (action->data().toString() == pane) item = action;
        ASSERT_TRUE(item);
        QWidget* button = prefs.toolbar()->widgetForAction(item);
        ASSERT_TRUE(button);
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(prefs.currentPaneIdentifier(), pane);
        EXPECT_EQ(prefs.windowTitle(), title);
        if (pane == K::kPresetPane) {
            EXPECT_EQ(rows(prefs),
                      (QStringList{"1 : <empty>", "2 : Jazz", "3 : <empty>", "4 : <empty>", "5 : <empty>"}));
        }
    }
}

TEST_F(PresetsPane, ClearingNeedsASelectedRow) {
    radio.presets()[2] = "radio:aggregate:3";
    RadioPrefsWindowController prefs(environment());
    const auto& c = prefs.controls();
    ASSERT_TRUE(prefs.showPaneWithIdentifier(K::kPresetPane));
    EXPECT_FALSE(c.deletePreset->isEnabled());
    prefs.clearPreset();  // nothing selected: no slot 0 asked for
    EXPECT_TRUE(radio.calls.isEmpty());
    c.presetTable->selectRow(2);
    PostCounter changed(center, kRadioServicePresetsChangedNotification);
    QTest::mouseClick(c.deletePreset, Qt::LeftButton);
    EXPECT_EQ(radio.calls, QStringList{"remove 3"});
    EXPECT_EQ(changed.count, 1);
    EXPECT_EQ(rows(prefs)[2], "3 : <empty>");
}

// A station dragged from the main window's list onto row 1, through the view's own drop
// handling.
TEST_F(PresetsPane, StationDroppedThroughTheView) {
    RadioPrefsWindowController prefs(environment());
    const auto& c = prefs.controls();
    ASSERT_TRUE(prefs.showPaneWithIdentifier(K::kPresetPane));
    prefs.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&prefs));
    PostCounter changed(center, kRadioServicePresetsChangedNotification);

    auto data = stationDrag("radio:aggregate:2");
    QWidget* viewport = c.presetTable->viewport();
    const QPoint at = c.presetTable->visualRect(prefs.presetModel()->index(1, 0)).center();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    ASSERT_TRUE(move.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    EXPECT_EQ(radio.calls, QStringList{"store radio:aggregate:2 2"});
    EXPECT_EQ(changed.count, 1);
    EXPECT_EQ(rows(prefs)[1], "2 : Rock");
}

}  // namespace
