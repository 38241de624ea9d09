#pragma once
// The model behind the window's two lists: the source list (All Stations, Search
// Results, Recently Played, then the genres by name) and the station list of the selected
// source, built from the radio service's filtered directory, with the listener's
// recently-played stations kept per user in the user defaults. The lists reach the views
// through two list models, and every change of them is told by those models' own signals
// alone: a new set of rows is the model's reset, a row changed in place its dataChanged.

#include "app/foundation/NotificationCenter.h"
#include "app/radio/ZYMRadioService.h"
#include "app/radio/ZYMRadioStation.h"

#include <QAbstractListModel>
#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class UserDefaults;

class RadioStationItem {
public:
    explicit RadioStationItem(std::shared_ptr<ZYMRadioStation> station) : station_(std::move(station)) {}
    const std::shared_ptr<ZYMRadioStation>& zymRadioStation() const { return station_; }
    const QString& name() const { return station_->name(); }
    const std::optional<QString>& stationDescription() const { return station_->stationDescription(); }
    const QString& stationID() const { return station_->stationID(); }
    const std::optional<QString>& url() const { return station_->url(); }
    const std::optional<QString>& albumArtBaseURL() const { return station_->albumArtBaseURL(); }
    const QStringList& genreIDs() const { return station_->genreIDs(); }
    // Case-insensitive order by name.
    static bool nameLess(const std::shared_ptr<RadioStationItem>& a, const std::shared_ptr<RadioStationItem>& b);

private:
    std::shared_ptr<ZYMRadioStation> station_;
};
using RadioStationItemList = std::vector<std::shared_ptr<RadioStationItem>>;

class RadioSourceItem {
public:
    enum class Kind { AllStations, SearchResults, RecentlyPlayed, Genre };
    virtual ~RadioSourceItem() = default;
    virtual Kind kind() const = 0;
    virtual QString name() const = 0;
    virtual QString identifier() const = 0;
    // The bundle image's name.
    virtual QString image() const = 0;
    static bool nameLess(const std::shared_ptr<RadioSourceItem>& a, const std::shared_ptr<RadioSourceItem>& b);
};

// A fixed row, named by the strings table; its identifier and image follow its kind.
class RadioNamedSourceItem : public RadioSourceItem {
public:
    RadioNamedSourceItem(Kind kind, QString name) : kind_(kind), name_(std::move(name)) {}
    Kind kind() const override { return kind_; }
    QString name() const override { return name_; }
    QString identifier() const override;
    QString image() const override;

private:
    Kind kind_;
    QString name_;
};

class RadioAllStationsSourceItem : public RadioNamedSourceItem {
public:
    explicit RadioAllStationsSourceItem(QString name) : RadioNamedSourceItem(Kind::AllStations, std::move(name)) {}
};

class RadioSearchResultsSourceItem : public RadioNamedSourceItem {
public:
    explicit RadioSearchResultsSourceItem(QString name) : RadioNamedSourceItem(Kind::SearchResults, std::move(name)) {}
    // Null until first set.
    const QString& searchTerm() const { return searchTerm_; }
    void setSearchTerm(const QString& term) { searchTerm_ = term; }
    // The suffix drawn after the name: the term in its format, or "" without a term.
    QString secondaryString() const;

private:
    QString searchTerm_;
};

class RadioRecentlyPlayedSourceItem : public RadioNamedSourceItem {
public:
    explicit RadioRecentlyPlayedSourceItem(QString name)
        : RadioNamedSourceItem(Kind::RecentlyPlayed, std::move(name)) {}
};

class RadioGenreItem : public RadioSourceItem {
public:
    explicit RadioGenreItem(std::shared_ptr<ZYMRadioGenre> genre) : genre_(std::move(genre)) { stations_.reserve(10); }
    Kind kind() const override { return Kind::Genre; }
    QString name() const override { return genre_->name(); }
    QString identifier() const override { return QStringLiteral("genre_item_") + genre_->genreID(); }
    QString image() const override { return QStringLiteral("radio_genre"); }
    const QString& genreID() const { return genre_->genreID(); }
    const QString& genreDescription() const { return genre_->genreDescription(); }
    // Appends unless the item is already listed.
    void addStationItem(const std::shared_ptr<RadioStationItem>& item);
    const RadioStationItemList& stationItems() const { return stations_; }
    // Null beyond the end.
    std::shared_ptr<RadioStationItem> stationItemAtIndex(std::size_t index) const;

private:
    std::shared_ptr<ZYMRadioGenre> genre_;
    RadioStationItemList stations_;
};
using RadioSourceItemList = std::vector<std::shared_ptr<RadioSourceItem>>;

// What the data source reads of the radio service; the service's adapter is below,
// tests give their own directory.
class RadioStationDirectory {
public:
    virtual ~RadioStationDirectory() = default;
    virtual const ZYMRadioStationList& filteredStations() const = 0;
    virtual const ZYMRadioGenreList& filteredGenres() const = 0;
    // The canonical name of the signed-on user; none without one.
    virtual std::optional<QString> authenticatedUsername() const = 0;
    // The object the service's validity notifications carry.
    virtual const void* notificationObject() const = 0;
};

class RadioServiceDirectory : public RadioStationDirectory {
public:
    explicit RadioServiceDirectory(ZYMRadioService& service) : service_(service) {}
    const ZYMRadioStationList& filteredStations() const override;
    const ZYMRadioGenreList& filteredGenres() const override;
    std::optional<QString> authenticatedUsername() const override;
    const void* notificationObject() const override;

private:
    ZYMRadioService& service_;
};

namespace ZYMItemRole {
// The row's RadioStationItem* (station list) or RadioSourceItem* (source list), as a
// quintptr.
inline constexpr int ItemPointer = Qt::UserRole + 10;
}  // namespace ZYMItemRole

class RadioStationsDataSource;

// The source list: one column, flat. Decoration is the row's image; the Search Results
// row's suffix is its SecondaryText.
class RadioSourcesModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit RadioSourcesModel(RadioStationsDataSource& owner) : owner_(owner) {}
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Around a change of the rows.
    void beginReload() { beginResetModel(); }
    void endReload() { endResetModel(); }
    // The row changed in place (the search term).
    void reloadRow(int row);

private:
    RadioStationsDataSource& owner_;
};

// The station list of the selected source. Data never asks the service for station
// information: the cell asks for it when it draws the row.
class RadioStationsModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit RadioStationsModel(RadioStationsDataSource& owner) : owner_(owner) {}
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }
    void beginReload() { beginResetModel(); }
    void endReload() { endResetModel(); }
    // Rows whose station changed in place (its details arrived); -1 to -1: every row.
    void reloadRows(int first, int last);
    // Writes the dragged rows; set by the window side. Without it nothing is dragged.
    using RowWriter = std::function<QMimeData*(const QList<int>& rows)>;
    void setRowWriter(RowWriter writer) { writer_ = std::move(writer); }

private:
    RadioStationsDataSource& owner_;
    RowWriter writer_;
};

class RadioStationsDataSource {
public:
    static inline const QString kRecentStationsKeyPrefix = QStringLiteral("recent_stations_");
    static constexpr int kMaxRecentStations = 10;

    // Observes the service's established and lost notifications in `notifications`.
    RadioStationsDataSource(RadioStationDirectory& directory, NotificationCenter& notifications,
                            UserDefaults& defaults);
    ~RadioStationsDataSource();
    RadioStationsDataSource(const RadioStationsDataSource&) = delete;
    RadioStationsDataSource& operator=(const RadioStationsDataSource&) = delete;

    void serviceAvailable();
    void serviceDisconnected();
    void rebuild();

    void sourceItemSelected(const std::shared_ptr<RadioSourceItem>& item);
    void buildStationsWithSearch(const QString& term);
    static bool stationMatchesSearch(const RadioStationItem& item, const QString& term);

    void noteStationPlayed(const QString& stationID, bool recentStationsVisible);
    void removeFromRecentlyPlayed(const QString& stationID, bool recentStationsVisible);
    void loadRecentlyPlayed();
    void saveRecentlyPlayed();
    void saveSettings() { saveRecentlyPlayed(); }
    const QStringList& recentStationIDs() const { return recentStationIDs_; }

    std::shared_ptr<RadioStationItem> stationItemWithID(const QString& stationID) const;
    std::shared_ptr<RadioSourceItem> sourceItemWithIdentifier(const QString& identifier) const;
    // Null for a negative index or one at or beyond the end.
    std::shared_ptr<RadioStationItem> stationItemAtIndex(int index) const;
    // -1 when absent.
    int indexOfStationItem(const RadioStationItem* item) const;
    int indexOfSourceItem(const RadioSourceItem* item) const;

    const RadioStationItemList& stationItems() const { return stationItems_; }
    const RadioSourceItemList& displaySources() const { return displaySources_; }
    const RadioStationItemList& displayStations() const { return displayStations_; }
    const std::vector<std::shared_ptr<RadioGenreItem>>& genreItems() const { return genreItems_; }
    const std::shared_ptr<RadioAllStationsSourceItem>& allStationsItem() const { return allStationsItem_; }
    const std::shared_ptr<RadioRecentlyPlayedSourceItem>& recentlyPlayedItem() const { return recentlyPlayedItem_; }
    const std::shared_ptr<RadioSearchResultsSourceItem>& searchResultsItem() const { return searchResultsItem_; }

    RadioSourcesModel& sourcesModel() { return sourcesModel_; }
    RadioStationsModel& stationsModel() { return stationsModel_; }

private:
    void loadStationInfo();
    void buildSourceItems();
    void setDisplayStations(RadioStationItemList stations);

    RadioStationDirectory& directory_;
    NotificationCenter& notifications_;
    UserDefaults& defaults_;
    std::vector<std::shared_ptr<RadioGenreItem>> genreItems_;
    QHash<QString, std::shared_ptr<RadioGenreItem>> genreIndex_;
    RadioStationItemList stationItems_;
    QHash<QString, std::shared_ptr<RadioStationItem>> stationIndex_;
    RadioSourceItemList displaySources_;
    RadioStationItemList displayStations_;
    std::shared_ptr<RadioAllStationsSourceItem> allStationsItem_;
    std::shared_ptr<RadioRecentlyPlayedSourceItem> recentlyPlayedItem_;
    std::shared_ptr<RadioSearchResultsSourceItem> searchResultsItem_;
    QStringList recentStationIDs_;
    RadioSourcesModel sourcesModel_{*this};
    RadioStationsModel stationsModel_{*this};
    NotificationCenter::Subscription established_;
    NotificationCenter::Subscription lost_;
};
