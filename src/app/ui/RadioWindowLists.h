#pragma once
// The main window's lists: the source list and the station table wired to the data source,
// the double click that plays, the row of the active station, Delete in Recently Played
// and Find.

#include <QObject>
#include <QString>

#include <memory>

#include "app/ui/RadioStationLists.h"

class ExtendedOutlineView;
class ExtendedTableView;
class QLineEdit;
class RadioStationsDataSource;
class RadioWindowController;
class ZYMRadioStation;

class RadioWindowLists : public QObject, public RadioListsWindow {
    Q_OBJECT
public:
    RadioWindowLists(RadioWindowController& window, ExtendedOutlineView& sources, ExtendedTableView& stations,
                     QLineEdit& search);
    ~RadioWindowLists() override;
    // The lists over the data source, the double click and the space.
    void setup(RadioStationsDataSource& dataSource);
    // The Find item and Delete.
    void setupFindAndDelete();

    RadioStationLists& lists() { return *lists_; }
    ExtendedOutlineView& sourceList() { return sources_; }
    ExtendedTableView& stationTable() { return stations_; }
    QLineEdit* searchField() const { return &search_; }

    void stationsTableViewDoubleClick();
    void stationsTableViewDelete();
    void performFindPanelAction();
    // The playing station was noted in the recent stations.
    void notePlayedStation(const std::shared_ptr<ZYMRadioStation>& station);
    void selectActiveStationRow();
    // The selected station row's identifier, else the active directory station's, else "".
    QString listedStationID() const;

    // RadioListsWindow
    void setActiveStation(const std::shared_ptr<ZYMRadioStation>& station) override;
    void playActiveStation() override;
    void stopPlaying() override;
    QString playingStationID() const override;
    void updatePlayButtons() override;
    void updateDisplay() override;
    void clearHoverFocus() override;
    void ensureStationInfo(const QString& stationID) override;
    void stationRowEntered(int row) override;
    void stationRowExited(int row) override;

private:
    RadioWindowController& window_;
    ExtendedOutlineView& sources_;
    ExtendedTableView& stations_;
    QLineEdit& search_;
    RadioStationsDataSource* dataSource_ = nullptr;
    std::unique_ptr<RadioStationLists> lists_;
};
