#pragma once
// The window's side of the source and station lists: their cells, the selection that
// makes the active station, the search field, the station context menu, stations dragged
// out, and the measures of the lists' contents for the window's zoom size. The main
// window owns it and answers the small interface below.

#include "app/foundation/NotificationCenter.h"
#include "app/ui/ListViews.h"
#include "app/ui/RadioStationsDataSource.h"

#include <QFont>
#include <QMenu>
#include <QObject>
#include <QPixmap>

#include <memory>

class QLineEdit;
class QMimeData;

// What the lists need of the main window.
class RadioListsWindow {
public:
    virtual ~RadioListsWindow() = default;
    // Null clears the active station.
    virtual void setActiveStation(const std::shared_ptr<ZYMRadioStation>& station) = 0;
    virtual void playActiveStation() = 0;
    virtual void stopPlaying() = 0;
    // Empty when nothing plays.
    virtual QString playingStationID() const = 0;
    virtual void updatePlayButtons() = 0;
    virtual void updateDisplay() = 0;
    // Forget the row under the mouse and the hover label.
    virtual void clearHoverFocus() = 0;
    // Asked, after the drawing, for each drawn station row whose information is missing.
    virtual void ensureStationInfo(const QString& stationID) = 0;
    // The mouse came onto or left a station row.
    virtual void stationRowEntered(int) {}
    virtual void stationRowExited(int) {}
};

class RadioStationLists : public QObject {
    Q_OBJECT
public:
    static constexpr int kMinSourceListWidth = 100;
    static constexpr int kStationDescriptionGap = 20;
    static constexpr int kIndentationPerLevel = 4;

    RadioStationLists(ExtendedOutlineView& sources, ExtendedTableView& stations, QLineEdit& searchField,
                      RadioStationsDataSource& dataSource, RadioListsWindow& window);
    ~RadioStationLists() override;

    // Once, when the window is built.
    void setupTableViews();

    std::shared_ptr<RadioSourceItem> selectedSourceItem() const;
    void selectSourceItem(const std::shared_ptr<RadioSourceItem>& item);
    std::shared_ptr<RadioStationItem> selectedRadioStationItem() const;
    void radioStationItemSelected(const std::shared_ptr<RadioStationItem>& item);
    // The selected source's identifier ("" when none).
    QString selectedSourceIdentifier() const;
    // Selects again, after a rebuild made new rows, the source with the identifier (All
    // Stations when it is gone or "") and the station with the identifier (when one is
    // given and still listed; `onlyShown`: only when its row is in the source's list). The
    // Search Results row takes the search field's term again.
    void selectAgain(const QString& sourceID, const QString& stationID, bool onlyShown = false);

    QMenu* stationContextMenuForRow(int row);
    QMenu& stationContextMenu() { return contextMenu_; }
    // The dragged rows' station (the last one written wins); null when none is a station.
    QMimeData* writeRows(const QList<int>& rows) const;
    // The station's location for the clipboard and drags, its arguments escaped.
    static QString clipboardURLForStation(const QString& stationID, const QString& name);
    // A station's location in every URL form of the pasteboard.
    static void writeStationURL(QMimeData& data, const QString& stationID, const QString& name,
                                const QString& description);
    QPixmap dragImageForRow(int row) const;
    static QPixmap dragImageForName(const QString& name);

    void adjustStationNameWidth();
    int maxStationNameWidth() const;
    int maxStationDescriptionWidth() const;
    int maxStationListWidth() const;
    int maxSourceListWidth() const;
    int maxSourceListHeight() const;
    int maxStationListHeight() const;
    int maxStationsListContainerHeight() const;

private:
    class SourceCell;
    class StationCell;
    class TableDelegate;
    class OutlineDelegate;
    void outlineViewSelectionDidChange();
    void tableViewSelectionDidChange();
    void controlTextDidChange(const QString& text);
    // Every new set of station rows (the station model's reset).
    void stationsChanged();
    // Asks the window for the station's information on the next pass of the event loop.
    void askForStationInfo(const QString& stationID);
    QFont stationFont() const;

    ExtendedOutlineView& sources_;
    ExtendedTableView& stations_;
    QLineEdit& searchField_;
    RadioStationsDataSource& dataSource_;
    RadioListsWindow& window_;
    QMenu contextMenu_;
    QAction* playStopItem_ = nullptr;
    std::unique_ptr<TableDelegate> tableDelegate_;
    std::unique_ptr<OutlineDelegate> outlineDelegate_;
    StationCell* stationCell_ = nullptr;
    bool changingSelection_ = false;
    QStringList infoAsks_;  // drawn stations to ask for, once per pass
};
