// The main window's lists: the source list and station table over the data source, the
// double click and space that play, the active station's row, Delete in Recently Played
// and the Find command.

#include "app/ui/RadioWindowLists.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>

#include "app/foundation/ServiceLayerError.h"
#include "app/foundation/UserDefaults.h"
#include "app/radio/ZYMRadioStation.h"
#include "app/ui/DisplayTexts.h"
#include "app/ui/ListViews.h"
#include "app/ui/RadioStationsDataSource.h"
#include "app/ui/RadioWindowControls.h"
#include "app/ui/RadioWindowController.h"

RadioWindowLists::RadioWindowLists(RadioWindowController& window, ExtendedOutlineView& sources,
                                   ExtendedTableView& stations, QLineEdit& search)
    : window_(window), sources_(sources), stations_(stations), search_(search) {}

RadioWindowLists::~RadioWindowLists() { lists_.reset(); }

void RadioWindowLists::setup(RadioStationsDataSource& dataSource) {
    dataSource_ = &dataSource;
    lists_ = std::make_unique<RadioStationLists>(sources_, stations_, search_, dataSource, *this);
    lists_->setupTableViews();
    stations_.setDoubleAction([this] { stationsTableViewDoubleClick(); });
    connect(&stations_, &QAbstractItemView::doubleClicked, this,
            [this] { Guarded("double click", [this] { stationsTableViewDoubleClick(); }); });
    stations_.setSpaceAction([this] { window_.togglePlaying(); });
    sources_.setSpaceAction([this] { window_.togglePlaying(); });
    stations_.enableRowMouseTracking(window_.defaults().boolean(QStringLiteral("use_now_playing")));
}

void RadioWindowLists::setupFindAndDelete() {
    const QString nowPlaying = QStringLiteral("use_now_playing");
    UserDefaults& defaults = window_.defaults();
    stations_.enableRowMouseTracking(!defaults.object(nowPlaying).isValid() || defaults.boolean(nowPlaying));

    QMenu* edit = window_.menuBar()->addMenu(localized(DisplayKeys::EditMenuTitle));
    edit->setObjectName(QStringLiteral("editMenu"));
    QAction* find = edit->addAction(localized(DisplayKeys::FindMenuItem));
    find->setObjectName(QStringLiteral("findMenuItem"));
    find->setShortcut(QKeySequence::Find);
    connect(find, &QAction::triggered, this, [this] { Guarded("find", [this] { performFindPanelAction(); }); });

    stations_.setDeleteAction([this] { stationsTableViewDelete(); });
}

void RadioWindowLists::stationsTableViewDoubleClick() {
    const QModelIndex clicked = stations_.currentIndex();
    if (clicked.isValid() && stations_.selectionModel()->isRowSelected(clicked.row(), QModelIndex()))
        playActiveStation();
}

void RadioWindowLists::notePlayedStation(const std::shared_ptr<ZYMRadioStation>& station) {
    const bool recentShown = lists_->selectedSourceItem() == dataSource_->recentlyPlayedItem();
    std::shared_ptr<RadioStationItem> remembered = recentShown ? lists_->selectedRadioStationItem() : nullptr;
    dataSource_->noteStationPlayed(station->stationID(), recentShown);
    if (recentShown && remembered && dataSource_->indexOfStationItem(remembered.get()) >= 0)
        setActiveStation(remembered->zymRadioStation());
}

void RadioWindowLists::selectActiveStationRow() {
    if (!lists_) return;
    const auto active = window_.activeStation();
    auto item = active ? dataSource_->stationItemWithID(active->stationID()) : nullptr;
    const int row = item ? dataSource_->indexOfStationItem(item.get()) : -1;
    if (row != -1) {
        if (stations_.currentIndex().row() != row || !stations_.selectionModel()->isRowSelected(row, {})) {
            stations_.selectRow(row);
            stations_.scrollTo(stations_.model()->index(row, 0));
        }
    } else if (stations_.selectionModel() && stations_.selectionModel()->hasSelection()) {
        stations_.clearSelection();
    }
}

void RadioWindowLists::performFindPanelAction() {
    search_.setFocus(Qt::ShortcutFocusReason);
    search_.selectAll();
}

void RadioWindowLists::stationsTableViewDelete() {
    if (lists_->selectedSourceItem() != dataSource_->recentlyPlayedItem()) return;
    if (auto item = lists_->selectedRadioStationItem()) dataSource_->removeFromRecentlyPlayed(item->stationID(), true);
    QItemSelectionModel* selection = stations_.selectionModel();
    const int rows = stations_.model() ? stations_.model()->rowCount() : 0;
    if (selection && !selection->hasSelection() && rows > 0) stations_.selectRow(rows - 1);
}

QString RadioWindowLists::listedStationID() const {
    if (const auto item = lists_->selectedRadioStationItem()) return item->stationID();
    if (const auto active = window_.activeStation(); active && !PlaySession::isPlayedByAddress(*active))
        return active->stationID();
    return QString("");
}

// ---- what the lists ask of the window --------------------------------------------------

void RadioWindowLists::setActiveStation(const std::shared_ptr<ZYMRadioStation>& station) {
    window_.playSession().setActiveStation(station);
}

void RadioWindowLists::playActiveStation() { window_.startPlaying(window_.activeStation(), true); }

void RadioWindowLists::stopPlaying() { window_.stopPlaying(); }

QString RadioWindowLists::playingStationID() const {
    const auto station = window_.playingStation();
    return station ? station->stationID() : QString();
}

void RadioWindowLists::updatePlayButtons() { window_.windowControls().updatePlayButtons(); }

void RadioWindowLists::updateDisplay() { window_.updateDisplay(); }

void RadioWindowLists::clearHoverFocus() { window_.windowControls().clearHoverFocus(); }

void RadioWindowLists::ensureStationInfo(const QString& stationID) {
    window_.radioService().ensureStationInfo(stationID);
}

void RadioWindowLists::stationRowEntered(int row) { window_.windowControls().stationRowEntered(row); }

void RadioWindowLists::stationRowExited(int row) { window_.windowControls().stationRowExited(row); }
