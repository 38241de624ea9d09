#include "app/ui/RadioStationsDataSource.h"

#include "app/foundation/UserDefaults.h"
#include "app/radio/ZYMRadioService.h"
#include "app/ui/DrawingHelpers.h"
#include "app/foundation/ZYMPasteboard.h"
#include "app/ui/ListViews.h"
#include "app/ui/LocalizedText.h"

#include <QIcon>
#include <QMimeData>
#include <QPixmap>

#include <algorithm>

bool RadioStationItem::nameLess(const std::shared_ptr<RadioStationItem>& a,
                                const std::shared_ptr<RadioStationItem>& b) {
    return a->name().compare(b->name(), Qt::CaseInsensitive) < 0;
}

bool RadioSourceItem::nameLess(const std::shared_ptr<RadioSourceItem>& a, const std::shared_ptr<RadioSourceItem>& b) {
    return a->name().compare(b->name(), Qt::CaseInsensitive) < 0;
}

QString RadioNamedSourceItem::identifier() const {
    switch (kind_) {
    case Kind::AllStations: return QStringLiteral("all_stations_item");
    case Kind::SearchResults: return QStringLiteral("search_results_item");
    default: return QStringLiteral("recently_played_item");
    }
}

QString RadioNamedSourceItem::image() const {
    switch (kind_) {
    case Kind::AllStations: return QStringLiteral("all_stations");
    case Kind::SearchResults: return QStringLiteral("search_results");
    default: return QStringLiteral("recently_played");
    }
}

QString RadioSearchResultsSourceItem::secondaryString() const {
    if (searchTerm_.isEmpty()) return QString();
    return localizedFormat(StringKeys::SearchResultsItemSuffixFormat, {searchTerm_});
}

void RadioGenreItem::addStationItem(const std::shared_ptr<RadioStationItem>& item) {
    if (std::find(stations_.begin(), stations_.end(), item) == stations_.end()) stations_.push_back(item);
}

std::shared_ptr<RadioStationItem> RadioGenreItem::stationItemAtIndex(std::size_t index) const {
    return index < stations_.size() ? stations_[index] : nullptr;
}

const ZYMRadioStationList& RadioServiceDirectory::filteredStations() const { return service_.filteredStations(); }
const ZYMRadioGenreList& RadioServiceDirectory::filteredGenres() const { return service_.filteredGenres(); }
std::optional<QString> RadioServiceDirectory::authenticatedUsername() const {
    return service_.authenticatedUsername(true);
}
const void* RadioServiceDirectory::notificationObject() const { return &service_; }

// --- the two list models ---

int RadioSourcesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(owner_.displaySources().size());
}

QVariant RadioSourcesModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || std::size_t(index.row()) >= owner_.displaySources().size()) return {};
    const auto& item = owner_.displaySources()[std::size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole: return item->name();
    case Qt::DecorationRole: {
        // Read once per image name: the outline asks on every paint.
        static QHash<QString, QImage> images;
        auto it = images.find(item->image());
        if (it == images.end()) it = images.insert(item->image(), imageNamed(item->image()));
        return QIcon(QPixmap::fromImage(*it));
    }
    case ZYMItemRole::SecondaryText:
        if (item->kind() == RadioSourceItem::Kind::SearchResults)
            return static_cast<const RadioSearchResultsSourceItem&>(*item).secondaryString();
        return QString();
    case ZYMItemRole::ItemPointer: return QVariant::fromValue(quintptr(item.get()));
    default: return {};
    }
}

Qt::ItemFlags RadioSourcesModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void RadioSourcesModel::reloadRow(int row) {
    if (row < 0 || row >= rowCount()) return;
    emit dataChanged(index(row), index(row));
}

void RadioStationsModel::reloadRows(int first, int last) {
    const int count = rowCount();
    if (count == 0) return;
    if (first < 0 && last < 0) {
        first = 0;
        last = count - 1;
    }
    if (first < 0 || last >= count || first > last) return;
    emit dataChanged(index(first), index(last));
}

int RadioStationsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(owner_.displayStations().size());
}

QVariant RadioStationsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    auto item = owner_.stationItemAtIndex(index.row());
    if (!item) return {};
    switch (role) {
    case Qt::DisplayRole: return item->name();
    case ZYMItemRole::SecondaryText: return item->stationDescription().value_or(QString());
    case ZYMItemRole::IsContainer: return false;
    case ZYMItemRole::ItemPointer: return QVariant::fromValue(quintptr(item.get()));
    default: return {};
    }
}

Qt::ItemFlags RadioStationsModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

QStringList RadioStationsModel::mimeTypes() const {
    QStringList types{QString::fromLatin1(ZYMPasteboard::kRadioStationMimeType)};
    types += ZYMPasteboard::urlMimeTypes();
    return types;
}

QMimeData* RadioStationsModel::mimeData(const QModelIndexList& indexes) const {
    if (!writer_) return nullptr;
    QList<int> rows;
    for (const auto& i : indexes)
        if (i.isValid() && !rows.contains(i.row())) rows.append(i.row());
    std::sort(rows.begin(), rows.end());
    return writer_(rows);
}

// --- the data source ---

RadioStationsDataSource::RadioStationsDataSource(RadioStationDirectory& directory, NotificationCenter& notifications,
                                                 UserDefaults& defaults)
    : directory_(directory), notifications_(notifications), defaults_(defaults) {
    established_ =
        notifications_.observe(QStringLiteral("ServiceEstablishedNotification"), directory_.notificationObject(),
                               [this](const Notification&) { serviceAvailable(); });
    lost_ = notifications_.observe(QStringLiteral("ServiceNoLongerValidNotification"), directory_.notificationObject(),
                                   [this](const Notification&) { serviceDisconnected(); });
}

RadioStationsDataSource::~RadioStationsDataSource() = default;

void RadioStationsDataSource::serviceAvailable() { loadRecentlyPlayed(); }

void RadioStationsDataSource::serviceDisconnected() { rebuild(); }

void RadioStationsDataSource::rebuild() {
    // Both lists change: the old rows must not be read while the new ones are made.
    sourcesModel_.beginReload();
    stationsModel_.beginReload();
    loadStationInfo();
    buildSourceItems();
    stationsModel_.endReload();
    sourcesModel_.endReload();
}

void RadioStationsDataSource::loadStationInfo() {
    const ZYMRadioStationList& stations = directory_.filteredStations();
    const ZYMRadioGenreList& genres = directory_.filteredGenres();
    genreItems_.clear();
    genreItems_.reserve(genres.size());
    genreIndex_.clear();
    genreIndex_.reserve(qsizetype(genres.size()));
    stationItems_.clear();
    stationItems_.reserve(stations.size());
    stationIndex_.clear();
    stationIndex_.reserve(qsizetype(stations.size()));
    for (const auto& genre : genres) {
        if (!genre) continue;
        auto item = std::make_shared<RadioGenreItem>(genre);
        genreItems_.push_back(item);
        genreIndex_.insert(genre->genreID(), item);
    }
    for (const auto& station : stations) {
        if (!station) continue;
        auto item = std::make_shared<RadioStationItem>(station);
        stationItems_.push_back(item);
        stationIndex_.insert(station->stationID(), item);
        for (const QString& genreID : station->genreIDs()) {
            auto genre = genreIndex_.value(genreID);
            if (genre) genre->addStationItem(item);
        }
    }
    displayStations_.clear();
    displayStations_.reserve(100);
}

void RadioStationsDataSource::buildSourceItems() {
    displaySources_.clear();
    displaySources_.reserve(40);
    allStationsItem_ = std::make_shared<RadioAllStationsSourceItem>(localized(StringKeys::AllStationsItemName));
    searchResultsItem_ = std::make_shared<RadioSearchResultsSourceItem>(localized(StringKeys::SearchResultsItemName));
    recentlyPlayedItem_ =
        std::make_shared<RadioRecentlyPlayedSourceItem>(localized(StringKeys::RecentStationsItemName));
    displaySources_.push_back(allStationsItem_);
    displaySources_.push_back(searchResultsItem_);
    displaySources_.push_back(recentlyPlayedItem_);
    std::stable_sort(genreItems_.begin(), genreItems_.end(),
                     [](const auto& a, const auto& b) { return RadioSourceItem::nameLess(a, b); });
    displaySources_.insert(displaySources_.end(), genreItems_.begin(), genreItems_.end());
}

void RadioStationsDataSource::setDisplayStations(RadioStationItemList stations) {
    stationsModel_.beginReload();
    displayStations_ = std::move(stations);
    stationsModel_.endReload();
}

void RadioStationsDataSource::sourceItemSelected(const std::shared_ptr<RadioSourceItem>& item) {
    RadioStationItemList stations;
    if (item) {
        switch (item->kind()) {
        case RadioSourceItem::Kind::AllStations:
            stations = stationItems_;
            std::stable_sort(stations.begin(), stations.end(), RadioStationItem::nameLess);
            break;
        case RadioSourceItem::Kind::SearchResults:
            buildStationsWithSearch(static_cast<const RadioSearchResultsSourceItem&>(*item).searchTerm());
            return;
        case RadioSourceItem::Kind::RecentlyPlayed:
            for (const QString& id : recentStationIDs_)
                if (auto station = stationIndex_.value(id)) stations.push_back(station);
            break;
        case RadioSourceItem::Kind::Genre:
            stations = static_cast<const RadioGenreItem&>(*item).stationItems();
            std::stable_sort(stations.begin(), stations.end(), RadioStationItem::nameLess);
            break;
        }
    }
    setDisplayStations(std::move(stations));
}

void RadioStationsDataSource::buildStationsWithSearch(const QString& term) {
    RadioStationItemList stations;
    if (!term.isEmpty()) {
        for (const auto& item : stationItems_)
            if (stationMatchesSearch(*item, term)) stations.push_back(item);
    }
    std::stable_sort(stations.begin(), stations.end(), RadioStationItem::nameLess);
    setDisplayStations(std::move(stations));
}

bool RadioStationsDataSource::stationMatchesSearch(const RadioStationItem& item, const QString& term) {
    if (term.isEmpty()) return true;
    if (item.name().contains(term, Qt::CaseInsensitive)) return true;
    const auto& description = item.stationDescription();
    return description && description->contains(term, Qt::CaseInsensitive);
}

void RadioStationsDataSource::noteStationPlayed(const QString& stationID, bool recentStationsVisible) {
    if (recentStationIDs_.contains(stationID)) {
        recentStationIDs_.removeAll(stationID);
        recentStationIDs_.prepend(stationID);
    } else {
        recentStationIDs_.prepend(stationID);
        if (recentStationIDs_.size() > kMaxRecentStations) recentStationIDs_.removeLast();
    }
    if (recentStationsVisible) sourceItemSelected(recentlyPlayedItem_);
}

void RadioStationsDataSource::removeFromRecentlyPlayed(const QString& stationID, bool recentStationsVisible) {
    recentStationIDs_.removeAll(stationID);
    if (recentStationsVisible) sourceItemSelected(recentlyPlayedItem_);
}

void RadioStationsDataSource::loadRecentlyPlayed() {
    const auto user = directory_.authenticatedUsername();
    if (!user || user->isEmpty()) return;
    const QVariant stored = defaults_.object(kRecentStationsKeyPrefix + *user);
    recentStationIDs_.clear();
    // Stored values are untrusted: only a list counts, and only its texts.
    if (stored.typeId() == QMetaType::QStringList || stored.typeId() == QMetaType::QVariantList) {
        for (const QVariant& v : stored.toList())
            if (v.typeId() == QMetaType::QString) recentStationIDs_.append(v.toString());
    }
}

void RadioStationsDataSource::saveRecentlyPlayed() {
    const auto user = directory_.authenticatedUsername();
    if (!user || user->isEmpty()) return;
    defaults_.setObject(kRecentStationsKeyPrefix + *user, QVariant(recentStationIDs_));
}

std::shared_ptr<RadioStationItem> RadioStationsDataSource::stationItemWithID(const QString& stationID) const {
    return stationIndex_.value(stationID);
}

std::shared_ptr<RadioSourceItem> RadioStationsDataSource::sourceItemWithIdentifier(const QString& identifier) const {
    for (const auto& item : displaySources_)
        if (item->identifier() == identifier) return item;
    return nullptr;
}

std::shared_ptr<RadioStationItem> RadioStationsDataSource::stationItemAtIndex(int index) const {
    if (index < 0 || std::size_t(index) >= displayStations_.size()) return nullptr;
    return displayStations_[std::size_t(index)];
}

int RadioStationsDataSource::indexOfStationItem(const RadioStationItem* item) const {
    for (std::size_t i = 0; i < displayStations_.size(); ++i)
        if (displayStations_[i].get() == item) return int(i);
    return -1;
}

int RadioStationsDataSource::indexOfSourceItem(const RadioSourceItem* item) const {
    for (std::size_t i = 0; i < displaySources_.size(); ++i)
        if (displaySources_[i].get() == item) return int(i);
    return -1;
}
