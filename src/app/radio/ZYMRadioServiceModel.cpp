// The directory model: taken in from what the core holds (its answers of this run, or
// the user's cache restored before any answer), cleared at the start of every load,
// and the day rule that decides whether a load may start from the cache.

#include <QDateTime>
#include <QSet>
#include <QTimeZone>

#include "app/foundation/Clock.h"
#include "app/radio/ZYMRadioService.h"
#include "app/radio/ZYMRadioStationState.h"
#include "app/foundation/ZYMStringUtils.h"
#include "dms/radio3/DMRadio3Service.h"
#include "runtime/LogMessage.h"

namespace {

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

// --- the day's cache ---

bool ZYMRadioService::sameGMTDay(const QDateTime& loadDate, const QDateTime& now) {
    if (!loadDate.isValid() || !now.isValid()) return false;
    const QDate a = loadDate.toUTC().date();
    const QDate b = now.toUTC().date();
    return a.dayOfYear() == b.dayOfYear() && a.year() == b.year();
}

bool ZYMRadioService::cacheIsGood() {
    DMRadio3Service& service = ensureRadioService();
    if (!serviceAvailable()) return true;
    const std::string loadDate = service.GetLoadDate();
    if (loadDate.empty()) {
        LogMessage(kLogInfo, "cacheIsGood? There is no cache\n");
        return false;
    }
    QDateTime cached = QDateTime::fromString(text(loadDate), QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
    if (cached.isValid()) cached.setTimeSpec(Qt::UTC);
    const QDateTime now = clock().now().toUTC();
    if (sameGMTDay(cached, now)) {
        LogMessage(kLogDebug, "cacheIsGood? cache=[%s]  now=[%s]  Cache is good!\n", dateText(cached).constData(),
                   dateText(now).constData());
        return true;
    }
    LogMessage(kLogDebug, "cacheIsGood? cache=[%s]  now=[%s]  Cache has expired!\n", dateText(cached).constData(),
               dateText(now).constData());
    return false;
}

void ZYMRadioService::loadInformationFromCache() {
    loadGenresFromCache(true);
    loadStationsFromCache(true);
    loadStationInfosFromCache(true);
    loadMediaFormatsFromCache(true);
    cachedInformationLoaded();
}

void ZYMRadioService::cachedInformationLoaded() {
    notifyRadioCachedInformationDidLoad();
    checkForPendingURLRequest();
}

void ZYMRadioService::loadGenresFromCache(bool notify) {
    if (!radioServiceUsable()) return;
    if (notify) notifyRadioGenresWillLoad();
    std::vector<DMRadio3_CategoryType> categories;
    radioService_->LoadCategoriesFromCache(categories);
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
    if (notify) notifyRadioGenresDidLoad();
}

void ZYMRadioService::loadStationsFromCache(bool notify) {
    if (!radioServiceUsable()) return;
    if (notify) notifyRadioStationsWillLoad();
    std::vector<DMRadio3_StationType> listed;
    radioService_->LoadStationsFromCache(listed);
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
    if (auto* request = infoRequestWithType(ZYMRadioInformationRequest::kStationInfo)) {
        const int count = static_cast<int>(stations_->size());
        request->resetChunksTo((count + kStationInfoChunk - 1) / kStationInfoChunk);
    }
    if (notify) notifyRadioStationsDidLoad();
}

void ZYMRadioService::loadStationInfosFromCache(bool notify) {
    if (!radioServiceUsable()) return;
    if (notify) notifyRadioStationDetailsWillLoad(std::nullopt);
    if (stations_) {
        const ZYMRadioStationList all = *stations_;
        for (const auto& station : all) {
            if (station->haveStationInfo()) continue;
            DMRadio3_StationInfoType info;
            if (radioService_->GetStationInfoFromCache(station->stationID().toStdString(), info))
                updateInfoForStation(info);
        }
    }
    if (notify) notifyRadioStationDetailsDidLoad(std::nullopt);
}

void ZYMRadioService::loadMediaFormatsFromCache(bool notify) {
    if (!radioServiceUsable()) return;
    if (notify) notifyRadioMediaFormatsWillLoad();
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
                if (!radioService_->GetMediaFormatFromCache(id.toStdString(), cached)) continue;
                auto media = std::make_shared<ZYMRadioMediaFormat>(cached);
                mediaFormats_.insert(media->theMediaFormatID(), media);
                format->setMediaFormat(media);
            }
        }
    }
    if (notify) notifyRadioMediaFormatsDidLoad();
}

void ZYMRadioService::clearStations(bool notify) {
    if (notify) notifyRadioStationsWillLoad();
    filteredStations_.clear();
    emptied(stations_);
    emptied(stationsDict_);
    filteredArraysAreStale_ = true;
    if (notify) notifyRadioStationsDidLoad();
}

void ZYMRadioService::clearGenres(bool notify) {
    if (notify) notifyRadioGenresWillLoad();
    filteredGenres_.clear();
    emptied(genres_);
    emptied(genresDict_);
    filteredArraysAreStale_ = true;
    if (notify) notifyRadioGenresDidLoad();
}

void ZYMRadioService::clearMediaFormats(bool notify) {
    if (notify) notifyRadioMediaFormatsWillLoad();
    mediaFormats_.clear();
    if (notify) notifyRadioMediaFormatsDidLoad();
}

void ZYMRadioService::clearCacheableInformation() {
    clearStations(true);
    clearGenres(true);
    clearMediaFormats(true);
}

void ZYMRadioService::clearNonCacheableInformation() { clearPresets(true); }

void ZYMRadioService::updateInfoForStation(const DMRadio3_StationInfoType& info) {
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
        notifyRadioGenresWillLoad();
        applyStationGenres(station, genreIDs);
        notifyRadioGenresDidLoad();
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
void ZYMRadioService::applyStationGenres(const std::shared_ptr<ZYMRadioStation>& station, const QStringList& genreIDs) {
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

std::shared_ptr<ZYMRadioStationFormat> ZYMRadioService::ensureRadioFormat(const DMRadio3_StationFormatType& format) {
    if (stationFormats_.isEmpty()) stationFormats_.reserve(10);
    const QString key = text(format.mProgId.GetValue()) + text(format.mMediaFormatId.GetValue());
    if (auto it = stationFormats_.constFind(key); it != stationFormats_.constEnd()) return *it;
    auto made = std::make_shared<ZYMRadioStationFormat>(format);
    stationFormats_.insert(key, made);
    return made;
}

// --- preset slots (reading) ---

void ZYMRadioService::ensureStationPresetArray() {
    const int wanted = std::max(0, stationMaxPresets_);
    while (stationPresets_.size() < wanted)
        stationPresets_.append(kEmptyPreset);
    while (stationPresets_.size() > wanted)
        stationPresets_.removeLast();
}

void ZYMRadioService::setStationMaxPresets(int n) {
    stationMaxPresets_ = n;
    ensureStationPresetArray();
}

void ZYMRadioService::clearPresets(bool notify) {
    if (notify) notifyRadioPresetsWillLoad();
    ensureStationPresetArray();
    for (QString& slot : stationPresets_)
        slot = kEmptyPreset;
    if (notify) notifyRadioPresetsDidLoad();
}
