// The held directory: look-ups, the bandwidth and codec filter, the model taken in from
// the core, and the day rule of its cache.

#include "app/radio/ZYMRadioDirectory.h"

#include <QSet>
#include <QTimeZone>

#include <algorithm>

#include "app/foundation/Clock.h"
#include "app/foundation/PropertyList.h"
#include "app/foundation/Resources.h"
#include "app/foundation/ZYMStringUtils.h"
#include "app/radio/ZYMRadioService.h"
#include "app/radio/ZYMRadioStationState.h"
#include "dms/radio3/DMRadio3Service.h"
#include "runtime/LogMessage.h"

namespace {

QByteArray utf8(const QString& s) { return s.toUtf8(); }

// A bundle list of strings; the built-in one when the resource is absent, and also,
// logged once per read, when it exists but is no array of strings: a broken resource
// must not leave every station unplayable.
QStringList supportedList(const QString& name, const QStringList& builtIn) {
    const QString path = Resources::find(name, QStringLiteral("plist"));
    if (path.isEmpty()) return builtIn;
    const auto value = PropertyList::readFile(path);
    if (value && value->typeId() == QMetaType::QVariantList) {
        QStringList list;
        bool allStrings = true;
        for (const QVariant& item : value->toList()) {
            if (item.typeId() != QMetaType::QString) allStrings = false;
            list.append(item.toString());
        }
        if (allStrings) return list;
    }
    LogMessage(kLogError, "Unreadable supported-format list %s; using the built-in one\n", utf8(path).constData());
    return builtIn;
}

QString text(const std::string& bytes) { return QString::fromStdString(bytes); }

QStringList idsOf(const std::vector<DMSIF_IDType>& ids) {
    QStringList list;
    for (const auto& id : ids)
        list.append(text(id.GetValue()));
    return list;
}

// Made when absent, else emptied.
template <class Collection>
void emptied(std::optional<Collection>& c) {
    if (c)
        c->clear();
    else
        c.emplace();
}

QByteArray dateText(const QDateTime& t) {
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'GMT'")).toUtf8() : QByteArray("(invalid)");
}

}  // namespace

// --- look-ups ---

std::shared_ptr<ZYMRadioStation> ZYMRadioDirectory::stationWithID(const QString& stationID) const {
    if (!stationsDict_) return nullptr;
    if (auto it = stationsDict_->constFind(stationID); it != stationsDict_->constEnd()) return *it;
    QString key = stationID;
    if (key.size() >= 2 && ((key.startsWith('"') && key.endsWith('"')) || (key.startsWith('\'') && key.endsWith('\''))))
        key = key.mid(1, key.size() - 2);
    static const QString kAggregate = QStringLiteral("radio:aggregate:");
    static const QString kRadio3 = QStringLiteral("radio3:");
    if (key.startsWith(kAggregate)) {
        // used as it is
    } else if (key.startsWith(kRadio3)) {
        key = key.mid(kRadio3.size());
    } else if (std::all_of(key.begin(), key.end(), [](QChar c) { return c.isDigit(); })) {
        key = kAggregate + key;
    }
    if (auto it = stationsDict_->constFind(key); it != stationsDict_->constEnd()) return *it;
    return nullptr;
}

std::shared_ptr<ZYMRadioStation> ZYMRadioDirectory::stationWithName(const QString& name) const {
    if (!stations_) return nullptr;
    for (const auto& station : *stations_)
        if (station->name().compare(name, Qt::CaseInsensitive) == 0) return station;
    return nullptr;
}

std::shared_ptr<ZYMRadioStation> ZYMRadioDirectory::stationWithProgId(const QString& progId) const {
    if (!stations_) return nullptr;
    for (const auto& station : *stations_) {
        if (!station->formats()) continue;
        const QString qualified = station->stationID() + ',' + progId;
        for (const auto& format : *station->formats()) {
            const QString id = format->progID();
            if (id.compare(progId, Qt::CaseInsensitive) == 0 || id.compare(qualified, Qt::CaseInsensitive) == 0)
                return station;
        }
    }
    return nullptr;
}

std::shared_ptr<ZYMRadioGenre> ZYMRadioDirectory::genreWithID(const QString& genreID) const {
    if (!genresDict_) return nullptr;
    return genresDict_->value(genreID);
}

bool ZYMRadioDirectory::haveAllStationInfo() const {
    if (!stations_ || stations_->empty()) return false;
    return std::all_of(stations_->begin(), stations_->end(), [](const auto& s) { return s->haveStationInfo(); });
}

// --- filter ---

QStringList ZYMRadioDirectory::supportedRadioMediaFormatClasses() {
    return supportedList(QStringLiteral("SupportedRadioMediaFormatClasses"), {QStringLiteral("audio")});
}

QStringList ZYMRadioDirectory::supportedRadioMediaFormatProtocols() {
    // The resource name's spelling is the one bundles carry.
    return supportedList(QStringLiteral("SupportedRadioMediaFormatProtcols"),
                         {QStringLiteral("qint:"), QStringLiteral("http:")});
}

QStringList ZYMRadioDirectory::supportedRadioMediaFormatCodecs() {
    return supportedList(QStringLiteral("SupportedRadioMediaFormatCodecs"),
                         {QStringLiteral("MP3"), QStringLiteral("VLB")});
}

ZYMRadioDirectory::SupportedFormats ZYMRadioDirectory::supportedFormats() {
    return {supportedRadioMediaFormatClasses(), supportedRadioMediaFormatProtocols(),
            supportedRadioMediaFormatCodecs()};
}

ZYMRadioStationFormat::List ZYMRadioDirectory::stationFormats(const QString& stationID, int bitsPerSecond) const {
    const auto station = stationWithID(stationID);
    if (!station) return {};
    return stationFormats(*station, bitsPerSecond, supportedFormats());
}

ZYMRadioStationFormat::List ZYMRadioDirectory::stationFormats(const ZYMRadioStation& station, int bitsPerSecond,
                                                              const SupportedFormats& supported) const {
    if (!station.formats() || station.formats()->empty()) {
        LogMessage(kLogInfo, "Station %s [%s] contains no Station Formats\n", utf8(station.stationID()).constData(),
                   utf8(station.name()).constData());
        return {};
    }
    const QStringList& classes = supported.classes;
    const QStringList& protocols = supported.protocols;
    const QStringList& codecs = supported.codecs;
    ZYMRadioStationFormat::List usable;
    for (const auto& format : *station.formats()) {
        const auto media = mediaFormats_.value(format->formatID());
        if (!media) continue;
        const bool ok = std::any_of(media->theChannels().begin(), media->theChannels().end(), [&](const auto& c) {
            return classes.contains(c->theClass()) && codecs.contains(c->theCodec()) &&
                   protocols.contains(c->theProto()) && c->theBitrate() <= bitsPerSecond;
        });
        if (ok && std::find(usable.begin(), usable.end(), format) == usable.end()) usable.push_back(format);
    }
    return ZYMRadioStationFormat::sortedByPriority(std::move(usable));
}

std::shared_ptr<ZYMRadioStationFormat> ZYMRadioDirectory::chooseBestFormat(const QString& stationID,
                                                                           int bandwidthLimit) const {
    const auto formats = stationFormats(stationID, bandwidthLimit);
    if (formats.empty()) return nullptr;
    LogMessage(kLogInfo, "Choosing media format: %s\n", utf8(formats.front()->formatID()).constData());
    return formats.front();
}

ZYMRadioStationList ZYMRadioDirectory::stations(int bitsPerSecond) const {
    ZYMRadioStationList result;
    if (!stations_) return result;
    // Read once for the whole directory, not once per station from disk.
    const SupportedFormats supported = supportedFormats();
    for (const auto& station : *stations_) {
        const auto& mode = station->playMode();
        const bool playable = !mode || mode->compare(QLatin1String("full"), Qt::CaseInsensitive) == 0 ||
                              mode->compare(QLatin1String("sample"), Qt::CaseInsensitive) == 0;
        if (playable && !stationFormats(*station, bitsPerSecond, supported).empty()) result.push_back(station);
    }
    return result;
}

ZYMRadioGenreList ZYMRadioDirectory::genresOfStations(const ZYMRadioStationList& stations) const {
    ZYMRadioGenreList result;
    for (const auto& station : stations) {
        for (const QString& id : station->genreIDs()) {
            const auto genre = genreWithID(id);
            if (genre && std::find(result.begin(), result.end(), genre) == result.end()) result.push_back(genre);
        }
    }
    return result;
}

void ZYMRadioDirectory::rebuildFilteredArraysWithBandwidth(int bitsPerSecond) {
    filteredStations_ = stations(bitsPerSecond);
    filteredGenres_ = genresOfStations(filteredStations_);
    rebuildFilteredInternalReferences();
    filteredArraysAreStale_ = false;
    service_.reports().notifyRadioFilteredInformationDidChange();
}

void ZYMRadioDirectory::rebuildFilteredInternalReferences() {
    QSet<QString> genreIDs;
    for (const auto& genre : filteredGenres_)
        genreIDs.insert(genre->genreID());
    QSet<QString> stationIDs;
    for (const auto& station : filteredStations_)
        stationIDs.insert(station->stationID());
    for (const auto& genre : filteredGenres_) {
        ZYMRadioStationList kept;
        for (const auto& station : genre->unfilteredRadioStations()) {
            if (stationIDs.contains(station->stationID())) {
                kept.push_back(station);
            } else {
                LogMessage(kLogDebug,
                           "rebuildFilteredInternalReferences - genre [%s] - remove reference to filtered out "
                           "station [%s,%s]\n",
                           utf8(genre->genreID()).constData(), utf8(station->stationID()).constData(),
                           utf8(station->name()).constData());
            }
        }
        genre->setRadioStations(kept);
    }
    for (const auto& station : filteredStations_) {
        QStringList kept;
        for (const QString& id : station->unfilteredGenreIDs()) {
            if (genreIDs.contains(id)) {
                kept.append(id);
            } else {
                LogMessage(kLogDebug,
                           "rebuildFilteredInternalReferences - station [%s,%s] - remove reference to filtered "
                           "out genre [%s]\n",
                           utf8(station->stationID()).constData(), utf8(station->name()).constData(),
                           utf8(id).constData());
            }
        }
        station->setGenreIDs(kept);
    }
}

// --- the day's cache ---

bool ZYMRadioDirectory::sameGMTDay(const QDateTime& loadDate, const QDateTime& now) {
    if (!loadDate.isValid() || !now.isValid()) return false;
    const QDate a = loadDate.toUTC().date();
    const QDate b = now.toUTC().date();
    return a.dayOfYear() == b.dayOfYear() && a.year() == b.year();
}

bool ZYMRadioDirectory::cacheIsGood() {
    DMRadio3Service& service = service_.ensureRadioService();
    if (!service_.serviceAvailable()) return true;
    const std::string loadDate = service.GetLoadDate();
    if (loadDate.empty()) {
        LogMessage(kLogInfo, "cacheIsGood? There is no cache\n");
        return false;
    }
    QDateTime cached = QDateTime::fromString(text(loadDate), QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
    if (cached.isValid()) cached.setTimeSpec(Qt::UTC);
    const QDateTime now = service_.clock().now().toUTC();
    if (sameGMTDay(cached, now)) {
        LogMessage(kLogDebug, "cacheIsGood? cache=[%s]  now=[%s]  Cache is good!\n", dateText(cached).constData(),
                   dateText(now).constData());
        return true;
    }
    LogMessage(kLogDebug, "cacheIsGood? cache=[%s]  now=[%s]  Cache has expired!\n", dateText(cached).constData(),
               dateText(now).constData());
    return false;
}

void ZYMRadioDirectory::loadInformationFromCache() {
    loadGenresFromCache(true);
    loadStationsFromCache(true);
    loadStationInfosFromCache(true);
    loadMediaFormatsFromCache(true);
    cachedInformationLoaded();
}

void ZYMRadioDirectory::cachedInformationLoaded() {
    service_.reports().notifyRadioCachedInformationDidLoad();
    service_.checkForPendingURLRequest();
}

void ZYMRadioDirectory::loadGenresFromCache(bool notify) {
    if (!service_.radioServiceUsable()) return;
    if (notify) service_.reports().notifyRadioGenresWillLoad();
    std::vector<DMRadio3_CategoryType> categories;
    service_.radioService()->LoadCategoriesFromCache(categories);
    if (!genres_) genres_.emplace();
    if (!genresDict_) genresDict_.emplace();
    for (const auto& category : categories) {
        const QString id = text(category.mCategoryId.GetValue());
        if (genresDict_->contains(id)) continue;
        auto genre = ZYMRadioGenre::create(textWith_LocString(category.mName), textWith_LocString(category.mDesc), id);
        genres_->push_back(genre);
        genresDict_->insert(genre->genreID(), genre);
        filteredArraysAreStale_ = true;
    }
    if (notify) service_.reports().notifyRadioGenresDidLoad();
}

void ZYMRadioDirectory::loadStationsFromCache(bool notify) {
    if (!service_.radioServiceUsable()) return;
    if (notify) service_.reports().notifyRadioStationsWillLoad();
    std::vector<DMRadio3_StationType> listed;
    service_.radioService()->LoadStationsFromCache(listed);
    if (!stations_) stations_.emplace();
    if (!stationsDict_) stationsDict_.emplace();
    for (const auto& item : listed) {
        const QString id = text(item.mStationId.GetValue());
        if (stationsDict_->contains(id)) continue;
        auto station = ZYMRadioStation::create(textWith_LocString(item.mName), id);
        stations_->push_back(station);
        stationsDict_->insert(station->stationID(), station);
        filteredArraysAreStale_ = true;
        for (const auto& category : item.mCategories) {
            station->addGenreID(text(category.GetValue()));
            station->addUnfilteredGenreID(text(category.GetValue()));
        }
        for (const QString& genreID : station->unfilteredGenreIDs()) {
            if (auto genre = genreWithID(genreID)) {
                genre->addStation(station);
                genre->addUnfilteredStation(station);
            } else {
                LogMessage(kLogError, "DATA_ERROR - Station [%s] is related to an unknown category [%s]\n",
                           id.toUtf8().constData(), genreID.toUtf8().constData());
            }
        }
    }
    if (auto* request = service_.infoRequestWithType(ZYMRadioInformationRequest::kStationInfo)) {
        const int count = static_cast<int>(stations_->size());
        request->resetChunksTo((count + ZYMRadioService::kStationInfoChunk - 1) / ZYMRadioService::kStationInfoChunk);
    }
    if (notify) service_.reports().notifyRadioStationsDidLoad();
}

void ZYMRadioDirectory::loadStationInfosFromCache(bool notify) {
    if (!service_.radioServiceUsable()) return;
    if (notify) service_.reports().notifyRadioStationDetailsWillLoad(std::nullopt);
    if (stations_) {
        const ZYMRadioStationList all = *stations_;
        for (const auto& station : all) {
            if (station->haveStationInfo()) continue;
            DMRadio3_StationInfoType info;
            if (service_.radioService()->GetStationInfoFromCache(station->stationID().toStdString(), info))
                updateInfoForStation(info);
        }
    }
    if (notify) service_.reports().notifyRadioStationDetailsDidLoad(std::nullopt);
}

void ZYMRadioDirectory::loadMediaFormatsFromCache(bool notify) {
    if (!service_.radioServiceUsable()) return;
    if (notify) service_.reports().notifyRadioMediaFormatsWillLoad();
    if (stations_) {
        for (const auto& station : *stations_) {
            if (!station->haveStationInfo() || !station->formats()) continue;
            for (const auto& format : *station->formats()) {
                const QString id = format->formatID();
                if (auto media = mediaFormats_.value(id)) {
                    format->setMediaFormat(media);
                    continue;
                }
                DMRadio3_MediaFormatType cached;
                if (!service_.radioService()->GetMediaFormatFromCache(id.toStdString(), cached)) continue;
                auto media = std::make_shared<ZYMRadioMediaFormat>(cached);
                mediaFormats_.insert(media->theMediaFormatID(), media);
                format->setMediaFormat(media);
            }
        }
    }
    if (notify) service_.reports().notifyRadioMediaFormatsDidLoad();
}

void ZYMRadioDirectory::clearStations(bool notify) {
    if (notify) service_.reports().notifyRadioStationsWillLoad();
    filteredStations_.clear();
    emptied(stations_);
    emptied(stationsDict_);
    filteredArraysAreStale_ = true;
    if (notify) service_.reports().notifyRadioStationsDidLoad();
}

void ZYMRadioDirectory::clearGenres(bool notify) {
    if (notify) service_.reports().notifyRadioGenresWillLoad();
    filteredGenres_.clear();
    emptied(genres_);
    emptied(genresDict_);
    filteredArraysAreStale_ = true;
    if (notify) service_.reports().notifyRadioGenresDidLoad();
}

void ZYMRadioDirectory::clearMediaFormats(bool notify) {
    if (notify) service_.reports().notifyRadioMediaFormatsWillLoad();
    mediaFormats_.clear();
    if (notify) service_.reports().notifyRadioMediaFormatsDidLoad();
}

void ZYMRadioDirectory::dropStationsAndGenres() {
    genres_.reset();
    genresDict_.reset();
    stations_.reset();
    stationsDict_.reset();
}

void ZYMRadioDirectory::clearCacheableInformation() {
    clearStations(true);
    clearGenres(true);
    clearMediaFormats(true);
}

void ZYMRadioDirectory::updateInfoForStation(const DMRadio3_StationInfoType& info) {
    if (!stationsDict_) return;
    const auto station = stationsDict_->value(text(info.mStationId.GetValue()));
    if (!station) return;
    station->setStationDescription(textWith_LocString(info.mDesc));
    station->setAlbumArtBaseURL(text(info.mImageUrlBase));
    station->setPlayMode(text(info.mPlayMode));
    station->setStationTypeWithString(text(info.mType));

    const QStringList genreIDs = idsOf(info.mCategories);
    const QStringList& old = station->unfilteredGenreIDs();
    const bool changed = genreIDs.size() != old.size() ||
                         std::any_of(old.begin(), old.end(), [&](const QString& id) { return !genreIDs.contains(id); });
    if (changed) {
        service_.reports().notifyRadioGenresWillLoad();
        applyStationGenres(station, genreIDs);
        service_.reports().notifyRadioGenresDidLoad();
    }

    auto formats = std::make_shared<std::vector<std::shared_ptr<ZYMRadioStationFormat>>>();
    for (const auto& format : info.mFormats)
        formats->push_back(ensureRadioFormat(format));
    station->setFormats(std::move(formats));
    auto banners = std::make_shared<std::vector<std::shared_ptr<const ZYMRadioStationBanner>>>();
    for (const auto& banner : info.mBanners)
        banners->push_back(std::make_shared<ZYMRadioStationBanner>(banner));
    station->setBanners(std::move(banners));
    auto images = std::make_shared<std::vector<std::shared_ptr<const ZYMRadioStationImage>>>();
    for (const auto& image : info.mImages)
        images->push_back(std::make_shared<ZYMRadioStationImage>(image));
    station->setImages(std::move(images));
    station->setHaveStationInfo();
}

// The station's genres change: the genres' own station lists follow, so a genre never
// lists a station that no longer names it, and a newly named genre lists the station.
void ZYMRadioDirectory::applyStationGenres(const std::shared_ptr<ZYMRadioStation>& station,
                                           const QStringList& genreIDs) {
    for (const QString& id : station->unfilteredGenreIDs()) {
        if (genreIDs.contains(id)) continue;
        if (auto genre = genreWithID(id)) {
            ZYMRadioStationList kept;
            for (const auto& s : genre->unfilteredRadioStations())
                if (s->stationID() != station->stationID()) kept.push_back(s);
            genre->setUnfilteredRadioStations(kept);
            genre->removeStation(*station);
        }
    }
    for (const QString& id : genreIDs) {
        if (auto genre = genreWithID(id)) {
            genre->addUnfilteredStation(station);
            genre->addStation(station);
        }
    }
    station->setGenreIDs(genreIDs);
    station->setUnfilteredGenreIDs(genreIDs);
    filteredArraysAreStale_ = true;
}

std::shared_ptr<ZYMRadioStationFormat> ZYMRadioDirectory::ensureRadioFormat(const DMRadio3_StationFormatType& format) {
    if (stationFormats_.isEmpty()) stationFormats_.reserve(10);
    const QString key = text(format.mProgId.GetValue()) + text(format.mMediaFormatId.GetValue());
    if (auto it = stationFormats_.constFind(key); it != stationFormats_.constEnd()) return *it;
    auto made = std::make_shared<ZYMRadioStationFormat>(format);
    stationFormats_.insert(key, made);
    return made;
}

bool ZYMRadioDirectory::mediaFormatsMissing() const {
    if (!stations_) return false;
    for (const auto& station : *stations_) {
        if (!station->haveStationInfo() || !station->formats()) continue;
        for (const auto& format : *station->formats())
            if (!mediaFormats_.contains(format->formatID())) return true;
    }
    return false;
}

void ZYMRadioDirectory::takeMediaFormats(const std::vector<DMRadio3_MediaFormatType>& formats) {
    for (const auto& format : formats) {
        auto media = std::make_shared<ZYMRadioMediaFormat>(format);
        const QString id = media->theMediaFormatID();
        LogMessage(kLogDebug, "mediaformat (%s) loaded\n", id.toUtf8().constData());
        mediaFormats_.insert(id, media);
        for (const auto& stationFormat : std::as_const(stationFormats_))
            if (stationFormat->formatID() == id) stationFormat->setMediaFormat(media);
    }
}
