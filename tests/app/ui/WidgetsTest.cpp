// The custom controls as real widgets, driven by QTest and synthetic events: list keys,
// context clicks and row tracking, preset drops, display buttons, the search field and
// the small labels.

#include "app/foundation/ZYMPasteboard.h"
#include "app/foundation/Clock.h"
#include "app/foundation/NotificationCenter.h"
#include "app/ui/ApplicationActions.h"
#include "app/ui/Buttons.h"
#include "app/ui/ListViews.h"
#include "app/ui/TextFields.h"
#include "app/ui/WindowHelpers.h"

#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>
#include <QTextBlock>

using namespace std::chrono_literals;

namespace {

std::unique_ptr<QStandardItemModel> Rows(int n, const QString& prefix = "Station ") {
    auto model = std::make_unique<QStandardItemModel>(n, 1);
    for (int i = 0; i < n; ++i)
        model->setItem(i, 0, new QStandardItem(prefix + QString::number(i)));
    return model;
}

// Records the keys the list let through to its parent.
class KeyCatcher : public QWidget {
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() != Qt::Key_Control && e->key() != Qt::Key_Shift) keys << e->key();
    }
};

class RecordingViewDelegate : public ExtendedViewDelegate {
public:
    QStringList events;
    bool allowSelect = true;
    QMenu menu;
    bool shouldSelectRow(int row) override {
        events << "shouldSelect:" + QString::number(row);
        return allowSelect;
    }
    QMenu* contextMenuForRow(int row) override {
        events << "menu:" + QString::number(row);
        return &menu;
    }
    void rowEntered(int row) override { events << "enter:" + QString::number(row); }
    void rowExited(int row) override { events << "exit:" + QString::number(row); }
};

QList<int> SelectedRows(QAbstractItemView& view) {
    QList<int> rows;
    for (const QModelIndex& i : view.selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

}  // namespace

// ---- lists ----

TEST(ListViewTest, KeyActions) {
    struct Case {
        const char* what;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QString action;  // the action sent, "" for none
        bool moves;      // the current row moves down
    } cases[] = {
        {"Delete", Qt::Key_Delete, Qt::NoModifier, "delete", false},
        {"Backspace", Qt::Key_Backspace, Qt::NoModifier, "delete", false},
        {"Return", Qt::Key_Return, Qt::NoModifier, "open", false},
        {"Enter", Qt::Key_Enter, Qt::KeypadModifier, "open", false},
        {"Ctrl+Down", Qt::Key_Down, Qt::ControlModifier, "open", false},
        {"plain Down moves", Qt::Key_Down, Qt::NoModifier, "", true},
        {"Space", Qt::Key_Space, Qt::NoModifier, "space", false},
    };
    for (int kind = 0; kind < 2; ++kind) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(kind ? "outline: " : "table: ") + c.what);
            KeyCatcher parent;
            auto model = Rows(5);
            ExtendedTableView table;
            ExtendedOutlineView outline;
            QAbstractItemView* view = kind ? static_cast<QAbstractItemView*>(&outline) : &table;
            ExtendedViewActions* actions = kind ? static_cast<ExtendedViewActions*>(&outline) : &table;
            view->setParent(&parent);
            view->setModel(model.get());
            view->setCurrentIndex(model->index(1, 0));
            QStringList sent, seen;
            actions->setDeleteAction([&] { sent << "delete"; });
            actions->setDoubleAction([&] { sent << "open"; });
            actions->setSpaceAction([&] { sent << "space"; });
            auto previous = ApplicationActions::setObserver([&](const QString& a, QObject* s) {
                EXPECT_EQ(s, view);
                seen << a;
            });
            QTest::keyClick(view, c.key, c.modifiers);
            ApplicationActions::setObserver(std::move(previous));
            EXPECT_EQ(sent, c.action.isEmpty() ? QStringList() : QStringList{c.action});
            EXPECT_EQ(seen, sent);  // every action went through the application's hook
            EXPECT_EQ(view->currentIndex().row(), c.moves ? 2 : 1);
            EXPECT_TRUE(parent.keys.isEmpty());
        }
    }
}

TEST(ListViewTest, KeysWithoutActionsAreConsumed) {
    KeyCatcher parent;
    auto model = Rows(5, " ");  // rows a type-select of " " would find
    ExtendedTableView table;
    table.setParent(&parent);
    table.setModel(model.get());
    table.setCurrentIndex(model->index(1, 0));
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Delete, Qt::Key_Return})
        QTest::keyClick(&table, key);
    EXPECT_EQ(table.currentIndex().row(), 1);
    EXPECT_TRUE(parent.keys.isEmpty());
    EXPECT_FALSE(table.hasSpaceAction());
    QTest::keyClick(&table, Qt::Key_A);  // other keys go on as usual
    EXPECT_EQ(parent.keys, QList<int>{Qt::Key_A});
}

TEST(ListViewTest, ContextClicks) {
    struct Case {
        const char* what;
        QList<int> selectedBefore;
        int clickedRow;  // -1: below the last row
        bool allowSelect;
        QList<int> selectedAfter;
        bool menu;
    } cases[] = {
        {"an unselected row is selected alone", {0, 2}, 3, true, {3}, true},
        {"a row of a multiple selection keeps it", {0, 2, 3}, 2, true, {0, 2, 3}, true},
        {"the delegate may refuse the selection", {0}, 3, false, {0}, true},
        {"below the last row: no menu", {1}, -1, true, {1}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto model = Rows(5);
        ExtendedTableView table;
        table.resize(300, 300);
        table.setModel(model.get());
        table.setSelectionMode(QAbstractItemView::ExtendedSelection);
        RecordingViewDelegate delegate;
        delegate.allowSelect = c.allowSelect;
        table.setViewDelegate(&delegate);
        for (int row : c.selectedBefore)
            table.selectionModel()->select(model->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QPoint pos = c.clickedRow >= 0 ? table.visualRect(model->index(c.clickedRow, 0)).center()
                                             : QPoint(10, table.viewport()->height() - 5);
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, table.viewport()->mapToGlobal(pos));
        QApplication::sendEvent(table.viewport(), &event);
        EXPECT_EQ(SelectedRows(table), c.selectedAfter);
        EXPECT_EQ(delegate.menu.isVisible(), c.menu);
        EXPECT_EQ(delegate.events.contains("menu:" + QString::number(c.clickedRow)), c.menu);
        delegate.menu.hide();
    }
}

TEST(ListViewTest, RowEnterAndExitFollowScrollingAndReloads) {
    auto model = Rows(30);
    ExtendedTableView table;
    table.resize(200, 105);
    table.setModel(model.get());
    table.horizontalHeader()->hide();
    table.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table.verticalHeader()->setDefaultSectionSize(20);
    table.setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    RecordingViewDelegate delegate;
    table.setViewDelegate(&delegate);
    table.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&table));
    auto move = [&](QPoint p) {
        QMouseEvent e(QEvent::MouseMove, p, table.viewport()->mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
        QApplication::sendEvent(table.viewport(), &e);
    };

    move({10, 5});
    EXPECT_TRUE(delegate.events.isEmpty());  // tracking is off
    table.enableRowMouseTracking(true);
    EXPECT_EQ(delegate.events, QStringList{"enter:0"});  // reported at once

    table.verticalScrollBar()->setValue(25);  // row 1 partly out of view at the top
    EXPECT_EQ(delegate.events, (QStringList{"enter:0", "exit:0", "enter:1"}));
    delegate.events.clear();
    move({10, 14});  // still the visible part of row 1
    EXPECT_TRUE(delegate.events.isEmpty());
    move({10, 15});  // row 2 starts where row 1's visible part ends
    EXPECT_EQ(delegate.events, (QStringList{"exit:1", "enter:2"}));
    delegate.events.clear();

    // A reload under a still mouse: the row there is looked up anew.
    model->removeRows(0, 29);  // the one row left scrolls under the mouse
    EXPECT_EQ(delegate.events, (QStringList{"exit:2", "enter:0"}));
    delegate.events.clear();
    auto fresh = Rows(30, "New ");
    table.setModel(fresh.get());
    EXPECT_EQ(delegate.events, (QStringList{"exit:0", "enter:0"}));
    delegate.events.clear();

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(table.viewport(), &leave);
    EXPECT_EQ(delegate.events, QStringList{"exit:0"});
    table.enableRowMouseTracking(false);
    move({10, 50});
    EXPECT_EQ(delegate.events, QStringList{"exit:0"});
}

TEST(ListViewTest, TruncatingLabelKeepsTheWholeText) {
    TruncatingTextField label;
    const QString text = "Coming soon: a very long list of songs that will not fit";
    label.setStringValue(text);
    label.resize(120, 20);
    EXPECT_EQ(label.stringValue(), text);
    const QString narrow = label.shownText();
    EXPECT_TRUE(narrow.endsWith(QChar(0x2026)));
    EXPECT_TRUE(text.startsWith(narrow.chopped(1)));
    label.resize(250, 20);
    EXPECT_GT(label.shownText().size(), narrow.size());
    label.resize(2000, 20);
    EXPECT_EQ(label.shownText(), text);
    label.setTruncationPosition(ZYMString::TruncateHead);
    label.resize(120, 20);
    EXPECT_TRUE(label.shownText().startsWith(QChar(0x2026)));
}

// A station cell too narrow for its name or description ends them in an ellipsis inside
// the cell, never a letter cut at its edge.
TEST(ListViewTest, StationCellsShortenLongTextsWithAnEllipsis) {
    QStandardItemModel model(2, 1);
    auto* described = new QStandardItem(QStringLiteral("Station 1"));
    described->setData(QStringLiteral("A description far too long for the narrow table, WWWWWWWWWWWWWW"),
                       ZYMItemRole::SecondaryText);
    model.setItem(0, 0, described);
    model.setItem(1, 0, new QStandardItem(QStringLiteral("A station name far too long for the narrow table WWWW")));
    ExtendedTableView table;
    table.setModel(&model);
    auto* cell = new DescriptiveOutlineDelegate(&table);
    cell->setDescriptionOffset(80);
    table.setItemDelegate(cell);
    table.horizontalHeader()->hide();
    table.verticalHeader()->hide();
    table.setShowGrid(false);
    table.resize(260, 80);
    table.setColumnWidth(0, 240);
    table.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&table));
    const QImage shot = table.viewport()->grab().toImage();
    shot.save(QCoreApplication::applicationDirPath() + "/station-cells-narrow.png");
    for (int row = 0; row < 2; ++row) {
        SCOPED_TRACE(row);
        const QRect r = table.visualRect(model.index(row, 0));
        const QRgb ground = shot.pixel(r.right(), r.top());
        int lastInk = -1;
        for (int x = r.left(); x <= r.right(); ++x)
            for (int y = r.top(); y <= r.bottom(); ++y)
                if (std::abs(qGray(shot.pixel(x, y)) - qGray(ground)) > 60) lastInk = std::max(lastInk, x);
        ASSERT_GT(lastInk, r.left() + r.width() / 2) << "the text is drawn";
        EXPECT_LT(lastInk, r.right() - 1) << "ink up to the edge: a letter cut through";
    }
}

TEST(ListViewTest, ReloadRowOfAMissingRowDrawsNothing) {
    auto model = Rows(3);
    ExtendedTableView table;
    table.setModel(model.get());
    reloadRow(&table, 7);  // no crash, nothing to do
    reloadRow(&table, -1);
    reloadRow(&table, 1);
    EXPECT_EQ(scrollView(table.viewport()), &table);
}

// ---- presets ----

namespace {

class HostWindow : public QWidget, public PresetHost {
public:
    QMap<int, QString> presets;
    QString stationIDOnPreset(int preset) const override { return presets.value(preset); }
    void storeStationIDOnPreset(const QString& id, int preset) override { presets[preset] = id; }
};

class Tracker : public MouseTracking {
public:
    QStringList events;
    void mouseDidEnterView(QWidget*) override { events << "enter"; }
    void mouseDidExitView(QWidget*) override { events << "exit"; }
};

std::unique_ptr<QMimeData> Drag(const QString& stationID) {
    auto data = std::make_unique<QMimeData>();
    if (!stationID.isNull()) ZYMPasteboard::setStationID(*data, stationID);
    data->setText("http://radio.example/" + stationID);
    return data;
}

}  // namespace

TEST(PresetButtonTest, Drops) {
    struct Case {
        const char* what;
        QString dragged;  // null: no station type
        Qt::DropActions actions;
        bool mainWindow;
        bool accepted;
        QString storedAfter;  // on preset 3
    } cases[] = {
        {"another station is taken", "77", Qt::CopyAction | Qt::MoveAction, true, true, "77"},
        {"the same station is refused", "42", Qt::CopyAction, true, false, "42"},
        {"a move-only drag is refused", "77", Qt::MoveAction, true, false, "42"},
        {"no station type is refused", QString(), Qt::CopyAction, true, false, "42"},
        {"outside the main window: accepted, no effect", "77", Qt::CopyAction, false, true, "42"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HostWindow host;
        host.presets[3] = "42";
        QWidget other;
        auto* button = new PresetButton(3, c.mainWindow ? static_cast<QWidget*>(&host) : &other);
        Tracker tracker;
        button->setMouseTrackingTarget(&tracker);
        auto data = Drag(c.dragged);
        const QPoint at(5, 5);

        QDragEnterEvent enter(at, c.actions, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(button, &enter);
        EXPECT_TRUE(enter.isAccepted());  // so that the leave comes
        EXPECT_EQ(tracker.events, QStringList{"enter"});
        QDragMoveEvent move(at, c.actions, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(button, &move);
        EXPECT_EQ(move.isAccepted(), c.accepted);
        EXPECT_EQ(button->isDragHighlighted(), c.accepted);

        if (c.accepted) {
            QDropEvent drop(QPointF(at), c.actions, data.get(), Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(button, &drop);
            EXPECT_TRUE(drop.isAccepted());
            EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
        } else {
            QDragLeaveEvent leave;
            QApplication::sendEvent(button, &leave);
            EXPECT_EQ(tracker.events, (QStringList{"enter", "exit"}));
        }
        EXPECT_FALSE(button->isDragHighlighted());
        EXPECT_EQ(host.presets.value(3), c.storedAfter);
    }
}

TEST(PresetButtonTest, LeavingADragClearsHighlightAndHover) {
    HostWindow host;
    auto* button = new PresetButton(1, &host);
    Tracker tracker;
    button->setMouseTrackingTarget(&tracker);
    auto data = Drag("9");
    QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &enter);
    EXPECT_TRUE(button->isDragHighlighted());
    QDragLeaveEvent leave;
    QApplication::sendEvent(button, &leave);
    EXPECT_FALSE(button->isDragHighlighted());
    EXPECT_EQ(tracker.events, (QStringList{"enter", "exit"}));
    EXPECT_TRUE(host.presets.isEmpty());
}

TEST(RolloverButtonTest, ReportsTheMouseUntilTakenOutOfItsWindow) {
    QWidget window;
    auto* button = new RolloverButton(&window);
    Tracker tracker;
    button->setMouseTrackingTarget(&tracker);
    button->setCellShowsBorderOnlyWhileMouseInside(true);
    window.show();
    EXPECT_TRUE(button->isFlat());
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(button, &enter);
    EXPECT_FALSE(button->isFlat());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    EXPECT_EQ(tracker.events, (QStringList{"enter", "exit"}));
    EXPECT_TRUE(button->isFlat());

    QApplication::sendEvent(button, &enter);
    button->setParent(nullptr);  // out of the window
    QApplication::sendEvent(button, &leave);
    EXPECT_EQ(tracker.events, (QStringList{"enter", "exit", "enter"}));
    delete button;
}

// ---- display buttons ----

TEST(DisplayButtonTest, WithoutAMenuItIsAPushButton) {
    QWidget window;
    auto* button = new DisplayButton(203, &window);
    button->setAttributedTitle(AttributedText("Sign On", QFont()));
    button->resize(button->sizeHint());
    window.show();
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    int notices = 0;
    auto sub = NotificationCenter::defaultCenter().observe(kDisplayButtonWillPopUpNotification, button,
                                                           [&](const Notification&) { ++notices; });
    QTest::mouseClick(button, Qt::LeftButton);
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_EQ(clicked.count(), 2);
    EXPECT_EQ(notices, 0);
}

TEST(DisplayButtonTest, WithAMenuClickAndKeyboardPopItAfterTheNotification) {
    for (int byKey = 0; byKey < 2; ++byKey) {
        SCOPED_TRACE(byKey ? "keyboard" : "click");
        QWidget window;
        auto* button = new DisplayButton(200, &window);
        button->setAttributedTitle(AttributedText("Miles Davis", QFont()));
        button->resize(button->sizeHint());
        QMenu menu;
        QAction* item = menu.addAction("Search");
        button->setPopupMenu(&menu);
        window.show();
        QSignalSpy clicked(button, &QAbstractButton::clicked);
        QStringList order;
        auto sub = NotificationCenter::defaultCenter().observe(
            kDisplayButtonWillPopUpNotification, button, [&](const Notification&) {
                order << "notice";
                item->setText("Filled");  // the observer fills the menu
            });
        QObject::connect(&menu, &QMenu::aboutToShow, [&] { order << "menu:" + item->text(); });
        if (byKey) {
            button->setFocus();
            QTest::keyClick(button, Qt::Key_Space);
        } else {
            QTest::mouseClick(button, Qt::LeftButton);
        }
        EXPECT_EQ(order, (QStringList{"notice", "menu:Filled"}));
        EXPECT_TRUE(menu.isVisible());
        EXPECT_EQ(button->fillAndStrokeAlpha(), std::make_pair(0.6, 0.8));
        menu.hide();
        EXPECT_EQ(button->fillAndStrokeAlpha(), std::make_pair(0.05, 0.1));
        EXPECT_EQ(clicked.count(), 0);
    }
}

TEST(DisplayButtonTest, SizeFromTheTitle) {
    for (int pixels : {9, 13, 20}) {
        QFont font;
        font.setPixelSize(pixels);
        DisplayButton button(201);
        const AttributedText title("Kind of Blue", font);
        button.setAttributedTitle(title);
        const QSizeF t = title.size();
        EXPECT_EQ(button.sizeHint(),
                  QSize(int(std::ceil(t.width()) + std::ceil(t.height())), int(std::ceil(t.height())) + 2));
        const QRectF inner = button.drawingRectForBounds(QRectF(0, 0, 100, 20));
        EXPECT_EQ(inner, QRectF(t.height() / 2, 1, 100 - t.height(), 18));
    }
}

// ---- text fields ----

TEST(SearchFieldTest, ClearButtonGivesOneEmptyChange) {
    SearchTextField field;
    field.show();
    EXPECT_EQ(field.placeholderText(), "Search stations");
    EXPECT_FALSE(field.isCancelButtonShown());
    QTest::keyClicks(&field, "jazz");
    EXPECT_TRUE(field.isCancelButtonShown());
    QSignalSpy changes(&field, &QLineEdit::textChanged);
    field.cancelAction()->trigger();
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes[0][0].toString(), "");
    EXPECT_FALSE(field.isCancelButtonShown());
    field.cancelAction()->trigger();  // an empty field: nothing more
    field.searchAction()->trigger();  // the search image does nothing
    EXPECT_EQ(changes.count(), 1);
}

TEST(SearchFieldTest, TheCancelButtonsPlaceIsKeptWhileEmpty) {
    SearchTextField field;
    field.resize(200, 24);
    field.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&field));
    auto buttonRect = [&] {
        for (QObject* o : field.cancelAction()->associatedObjects())
            if (auto* w = qobject_cast<QWidget*>(o); w && w != &field && w->isVisible()) return w->geometry();
        return QRect();
    };
    const QRect empty = buttonRect();
    field.setText("jazz");
    EXPECT_EQ(buttonRect(), empty);
    EXPECT_FALSE(empty.isEmpty());
    EXPECT_GT(empty.left(), 150);
}

TEST(TextFieldsTest, TemporaryLabelRestartsOnANewText) {
    FakeScheduler scheduler;
    TemporaryTextField label(scheduler);
    label.setDelay(15.0);
    label.setStringValue("Rock FM");
    scheduler.advance(10s);
    label.setStringValue("Jazz FM");
    scheduler.advance(10s);
    EXPECT_EQ(label.text(), "Jazz FM");  // not cut short by the first text's timer
    scheduler.advance(5s);
    EXPECT_EQ(label.text(), "");
    EXPECT_EQ(scheduler.pendingCount(), 0);
    label.setStringValue("");  // clearing starts no timer
    EXPECT_EQ(scheduler.pendingCount(), 0);
}

TEST(TextFieldsTest, ClickableLabelActsOnlyWhenReadOnlyAndEnabled) {
    struct Case {
        Qt::TextInteractionFlags flags;
        bool enabled;
        int clicks;
    } cases[] = {
        {Qt::NoTextInteraction, true, 1},
        {Qt::TextSelectableByMouse, true, 0},
        {Qt::NoTextInteraction, false, 0},
    };
    for (const Case& c : cases) {
        ClickableTextField label;
        label.setText("3:04 / 5:00");
        label.setTextInteractionFlags(c.flags);
        label.setEnabled(c.enabled);
        label.show();
        QSignalSpy clicked(&label, &ClickableTextField::clicked);
        QTest::mouseClick(&label, Qt::LeftButton);
        EXPECT_EQ(clicked.count(), c.clicks);
    }
}

TEST(TextFieldsTest, SimpleTextViewAppliesItsDefaultsToTheWholeText) {
    SimpleTextView view;
    view.resize(300, 40);
    view.show();
    view.setStringValue("Version 1.0 (4250)");
    EXPECT_TRUE(view.isReadOnly());
    EXPECT_EQ(view.toPlainText(), "Version 1.0 (4250)");
    EXPECT_EQ(view.document()->firstBlock().blockFormat().alignment(), Qt::AlignHCenter);
    view.setDefaultAlignment(Qt::AlignRight);
    EXPECT_EQ(view.document()->firstBlock().blockFormat().alignment(), Qt::AlignRight);
    EXPECT_EQ(view.toPlainText(), "Version 1.0 (4250)");  // the text is kept across a change
    view.setStringValue(QString(400, QLatin1Char('x')));
    EXPECT_TRUE(view.toPlainText().endsWith(QChar(0x2026)));
    view.setDefaultTruncatesTail(false);
    EXPECT_EQ(view.toPlainText().size(), 400);

    TextViewWithLinks links;
    EXPECT_TRUE(links.openExternalLinks());
    links.setTransparent(true);
    EXPECT_FALSE(links.viewport()->autoFillBackground());
}

TEST(ListViewTest, SingleRowDragImage) {
    auto model = Rows(5);
    ExtendedTableView table;
    table.resize(240, 200);
    table.verticalHeader()->setDefaultSectionSize(20);
    table.setModel(model.get());
    table.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&table));
    const QPoint mouse(30, 47);  // in row 2
    QPoint offset;
    const QPixmap image = table.dragImageForRows({2}, mouse, &offset);
    const int w = table.viewport()->width();
    EXPECT_EQ(image.size(), QSize(w, 20));
    EXPECT_EQ(offset, QPoint(0 - mouse.x() + w / 2, 40 - mouse.y() - 10 + 2 * (mouse.y() % 20)));

    class Custom : public ExtendedViewDelegate {
    public:
        std::optional<QPixmap> dragImageForSingleRow(int) override { return QPixmap(7, 7); }
        std::optional<QPixmap> dragImageForBatchDragOfRowCount(int) override { return QPixmap(9, 9); }
    } custom;
    table.setViewDelegate(&custom);
    EXPECT_EQ(table.dragImageForRows({2}, mouse, &offset).size(), QSize(7, 7));
    EXPECT_EQ(table.dragImageForRows({1, 2}, mouse, &offset).size(), QSize(9, 9));
}
