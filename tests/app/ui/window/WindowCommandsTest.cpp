// The main window's frame across runs, the Find command, Delete in Recently Played, the
// search field and the shortened labels, and the store-on-preset commands.

#include <QAction>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QTest>

#include "WindowPartsFixture.h"
#include "app/ui/Buttons.h"
#include "app/ui/NowPlayingDisplay.h"
#include "app/ui/TextFields.h"

namespace windowtest {
namespace {

const QString kFrameKey = QStringLiteral("NSWindow Frame Radio Window");

class WindowCommands : public WindowTest {
protected:
    void Show() {
        QWidget* top = window_->window();
        top->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(top));
    }
    static QRect Available() { return QGuiApplication::primaryScreen()->availableGeometry(); }
    ExtendedOutlineView* Sources() { return window_->window()->findChild<ExtendedOutlineView*>(); }
    int SelectedSourceRow() {
        const auto rows = Sources()->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.front().row();
    }
    std::vector<int> SelectedStationRows() {
        std::vector<int> rows;
        for (const QModelIndex& i : window_->stationTable().selectionModel()->selectedRows())
            rows.push_back(i.row());
        return rows;
    }
    // The rightmost column of `region` in `image` with ink on the region's ground.
    static int LastInk(const QImage& image, const QRect& region) {
        const QRgb ground = image.pixel(region.right(), region.top());
        int last = -1;
        for (int x = region.left(); x <= region.right(); ++x)
            for (int y = region.top(); y <= region.bottom(); ++y)
                if (std::abs(qGray(image.pixel(x, y)) - qGray(ground)) > 60) last = std::max(last, x);
        return last;
    }
};

TEST_F(WindowCommands, TheFrameComesBackAtTheNextRun) {
    Make();
    Show();
    QWidget* top = window_->window();
    const QRect wanted(Available().x() + 25, Available().y() + 35, 610, top->height());
    top->setGeometry(wanted);
    ASSERT_TRUE(RunUntil([&] { return defaults_->string(kFrameKey).startsWith("25 35 610 "); }))
        << defaults_->string(kFrameKey).toStdString();
    const QRect saved = top->geometry();
    window_.reset();

    Make();
    EXPECT_EQ(window_->window()->geometry(), saved) << "restored before it shows";
    Show();
    EXPECT_EQ(window_->window()->size(), saved.size());
}

// At load the window is kept on its screen: a frame that fits stays as it was; a wider one
// is narrowed to the screen, and moved onto it when it began to its left; one beside
// every screen comes back onto the screen.
TEST_F(WindowCommands, TheFrameIsFittedToTheScreenAtLoad) {
    const QRect area = Available();
    struct Row {
        const char* what;
        QRect stored;
        QRect expected;
    };
    const Row rows[] = {
        {"fits", QRect(area.x() + 20, area.y() + 30, 500, 450), QRect(area.x() + 20, area.y() + 30, 500, 450)},
        {"too wide", QRect(area.x() + 40, area.y() + 10, area.width() + 300, 450),
         QRect(area.x() + 40, area.y() + 10, area.width(), 450)},
        {"too wide, left of it", QRect(area.x() - 200, area.y() + 10, area.width() + 500, 450),
         QRect(area.x(), area.y() + 10, area.width(), 450)},
        // Left on a screen that is gone: back onto the one there is, its size kept.
        {"right of every screen", QRect(area.right() + 500, area.y() + 10, 500, 450),
         QRect(area.right() - 499, area.y() + 10, 500, 450)},
        {"left of every screen", QRect(area.x() - 900, area.y() + 10, 500, 450),
         QRect(area.x(), area.y() + 10, 500, 450)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const QRect r = row.stored;
        defaults_->setString(kFrameKey,
                             QStringLiteral("%1 %2 %3 %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()));
        Make();
        EXPECT_EQ(window_->window()->geometry(), row.expected);
        window_.reset();
    }
    // With nothing stored, the built size is narrowed to the screen too.
    defaults_->setString(kFrameKey, QStringLiteral("not a frame"));
    Make();
    EXPECT_LE(window_->window()->width(), area.width());
}

TEST_F(WindowCommands, FindPutsTheKeysInTheSearchField) {
    SignOnAndLoad();
    Show();
    QWidget* top = window_->window();
    QApplication::setActiveWindow(top);
    ASSERT_TRUE(QTest::qWaitForWindowActive(top));
    auto* search = top->findChild<SearchTextField*>();
    ASSERT_TRUE(search) << "the search field is the search text field";
    EXPECT_EQ(window_->searchField(), search);
    window_->stationTable().setFocus();
    ASSERT_TRUE(RunUntil([&] { return window_->stationTable().hasFocus(); }));

    auto* find = top->findChild<QAction*>(QStringLiteral("findMenuItem"));
    ASSERT_TRUE(find);
    EXPECT_EQ(find->shortcut(), QKeySequence(QKeySequence::Find));
    QTest::keyClick(top, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(RunUntil([&] { return search->hasFocus(); }));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Station 7"));
    EXPECT_EQ(search->text(), "Station 7");
    EXPECT_EQ(SelectedSourceRow(), 1) << "Search Results";
}

TEST_F(WindowCommands, TheSearchFieldShowsItsImageAndItsCancelButtonClearsTheSearch) {
    SignOnAndLoad();
    Show();
    auto* search = window_->window()->findChild<SearchTextField*>();
    ASSERT_TRUE(search);
    const auto shot = [&](const char* name) {
        QImage image = search->grab().toImage();
        image.save(QCoreApplication::applicationDirPath() + "/search-field-" + name + ".png");
        return image;
    };
    // The magnifier at the left, the cancel button's place at the right.
    const QImage empty = shot("empty");
    const int h = empty.height();
    const QRect left(2, 2, h - 4, h - 4);
    const QRect right(empty.width() - h + 2, 2, h - 4, h - 4);
    const auto inked = [](const QImage& image, const QRect& r) {
        int n = 0;
        for (int x = r.left(); x <= r.right(); ++x)
            for (int y = r.top(); y <= r.bottom(); ++y)
                if (qGray(image.pixel(x, y)) < 160) ++n;
        return n;
    };
    EXPECT_GT(inked(empty, left), 4) << "the search image";
    const int cancelBefore = inked(empty, right);
    QTest::keyClicks(search, QStringLiteral("Station"));
    EXPECT_EQ(SelectedSourceRow(), 1);
    const QImage typed = shot("typed");
    EXPECT_GT(inked(typed, right), cancelBefore + 4) << "the cancel button shows";
    search->cancelAction()->trigger();
    EXPECT_EQ(search->text(), "");
    EXPECT_EQ(SelectedSourceRow(), 0) << "All Stations again";
}

// The hover and coming-soon lines end a text too long for them in an ellipsis, well
// inside their edge, instead of cutting a letter there.
TEST_F(WindowCommands, TheDisplaysShortLinesEndInAnEllipsis) {
    Make();
    Show();
    NowPlayingDisplay& display = window_->display();
    const QString text = QStringLiteral("Coming up: ") + QString(120, QLatin1Char('W')) + QStringLiteral(" and more");
    for (QLabel* label : {display.comingSoonLine(), static_cast<QLabel*>(display.hoverLine())}) {
        SCOPED_TRACE(label->objectName().toStdString());
        auto* truncating = qobject_cast<TruncatingTextField*>(label);
        ASSERT_TRUE(truncating) << "a truncating label";
        label->setText(text);
        QCoreApplication::processEvents();
        EXPECT_EQ(label->text(), text) << "the whole text is kept";
        EXPECT_TRUE(truncating->shownText().endsWith(QChar(0x2026))) << truncating->shownText().toStdString();
        const QImage shot = display.grab(QRect(label->mapTo(&display, QPoint(0, 0)), label->size())).toImage();
        shot.save(QCoreApplication::applicationDirPath() + "/display-" + label->objectName() + "-long.png");
        const int last = LastInk(shot, shot.rect());
        ASSERT_GT(last, shot.width() / 2) << "the text is drawn";
        EXPECT_LT(last, shot.width() - 2) << "ink at the edge: a letter cut through";
    }
}

TEST_F(WindowCommands, DeleteRemovesTheStationFromRecentlyPlayedOnly) {
    SignOnAndLoad();
    Show();
    RadioStationsDataSource& data = window_->dataSource();
    for (const char* id : {"radio:aggregate:1", "radio:aggregate:2", "radio:aggregate:7"})
        data.noteStationPlayed(QString::fromLatin1(id), false);
    ExtendedTableView& table = window_->stationTable();
    // In All Stations Delete does nothing.
    Sources()->setCurrentIndex(Sources()->model()->index(0, 0));
    const int all = table.model()->rowCount();
    table.selectRow(0);
    QTest::keyClick(&table, Qt::Key_Delete);
    EXPECT_EQ(table.model()->rowCount(), all);

    Sources()->setCurrentIndex(Sources()->model()->index(2, 0));
    ASSERT_EQ(table.model()->rowCount(), 3);
    // The most recent first; the middle one goes.
    const QString middle = data.stationItemAtIndex(1)->stationID();
    table.selectRow(1);
    QTest::keyClick(&table, Qt::Key_Delete);
    ASSERT_EQ(table.model()->rowCount(), 2);
    for (const auto& item : data.displayStations())
        EXPECT_NE(item->stationID(), middle);
    EXPECT_EQ(SelectedStationRows(), std::vector<int>{1}) << "the last row is selected";
    EXPECT_EQ(window_->activeStation()->stationID(), data.stationItemAtIndex(1)->stationID());
    table.clearSelection();
    QTest::keyClick(&table, Qt::Key_Backspace);
    EXPECT_EQ(table.model()->rowCount(), 2) << "nothing selected: nothing removed";
    EXPECT_EQ(SelectedStationRows(), std::vector<int>{1});
}

// A five-preset account: the store commands of slots 6 to 10 are off, and a station
// dropped there is not stored, with the reason told; a drop on a slot it has is stored.
TEST_F(WindowCommands, StoringOnAPresetTheAccountLacksIsRefusedAndSaid) {
    SignOnAndLoad();
    ASSERT_EQ(window_->radioService().maxNumberOfPresets(), 5);
    auto* submenu = window_->window()->findChild<QMenu*>(QStringLiteral("storeSelectionMenu"));
    ASSERT_TRUE(submenu);
    window_->validateMenu(window_->controlsMenu());
    // No station selected: the selection's items stay on for the slots there are.
    ASSERT_EQ(submenu->actions().size(), 10);
    for (int slot = 1; slot <= 10; ++slot) {
        QAction* item = submenu->actions()[slot - 1];
        EXPECT_TRUE(item->text().startsWith(QStringLiteral("Store on Preset %1").arg(slot))) << slot;
        EXPECT_EQ(item->isEnabled(), slot <= 5) << slot;
    }
    window_->setActiveStation(window_->radioService().stationWithID(kMp3Station));
    const int writes = CountRequests("IProfileSetRequest");
    submenu->actions()[2]->trigger();
    ASSERT_TRUE(RunUntil([&] { return CountRequests("IProfileSetRequest") > writes; })) << Log();
    EXPECT_EQ(window_->stationIDOnPreset(3), kMp3Station);
    window_->validateMenu(window_->controlsMenu());
    QStringList titles;
    for (QAction* a : submenu->actions())
        titles << a->text();
    EXPECT_TRUE(titles.contains(QStringLiteral("Store on Preset 3 (now Station 7)")))
        << titles.join(", ").toStdString();

    // A station row dropped on the second preset button is stored there.
    auto& stations = window_->dataSource().stationsModel();
    const auto item = window_->dataSource().stationItemWithID(QStringLiteral("radio:aggregate:1"));
    ASSERT_TRUE(item);
    const int row = window_->dataSource().indexOfStationItem(item.get());
    ASSERT_GE(row, 0);
    std::unique_ptr<QMimeData> data(stations.mimeData({stations.index(row, 0)}));
    ASSERT_TRUE(data);
    auto* button = qobject_cast<PresetButton*>(window_->presetButtons()[1]);
    ASSERT_TRUE(button);
    const auto drop = [&] {
        QDragEnterEvent enter(QPoint(3, 3), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(button, &enter);
        QDragMoveEvent move(QPoint(3, 3), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(button, &move);
        QDropEvent event(QPointF(3, 3), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(button, &event);
    };
    const std::size_t asked = dialogs_.shown.size();
    drop();
    ASSERT_EQ(dialogs_.shown.size(), asked) << dialogs_.shown.back().request.messageText.toStdString();
    ASSERT_TRUE(RunUntil([&] { return CountRequests("IProfileSetRequest") > writes + 1; })) << Log();
    EXPECT_EQ(window_->stationIDOnPreset(2), "radio:aggregate:1");

    // Dropped on the seventh (the second button with Alt held): refused, and said why.
    button->setTag(7);
    const std::size_t shown = dialogs_.shown.size();
    drop();
    ASSERT_EQ(dialogs_.shown.size(), shown + 1);
    EXPECT_EQ(dialogs_.shown.back().request.messageText, "This preset is not available");
    EXPECT_EQ(dialogs_.shown.back().request.informativeText,
              "Your account has presets 1 to 5, so nothing was stored on preset 7.");
    platform::RunLoop::Current().RunFor(std::chrono::milliseconds(50));
    EXPECT_EQ(CountRequests("IProfileSetRequest"), writes + 2) << "nothing more written";
    EXPECT_EQ(window_->stationIDOnPreset(7), "");
}

}  // namespace
}  // namespace windowtest
