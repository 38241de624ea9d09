// The directory load: a fixed queue of steps, one request in flight at a time, each
// answer applied to the model and the queue moved on by the pump.

#include <QSet>

#include "app/foundation/Clock.h"
#include "app/foundation/ErrorDescription.h"
#include "app/foundation/Localizer.h"
#include "app/foundation/ServiceLayerError.h"
#include "app/radio/ZYMRadioService.h"
#include "dms/radio3/DMRadio3Service.h"
#include "runtime/LogMessage.h"

// --- one step ---

void ZYMRadioInformationRequest::setPendingChunks(int n) {
    pendingChunks_ = n;
    if (n < 1) {
        pendingChunks_ = 0;
        loaded_ = true;
    }
}

void ZYMRadioInformationRequest::chunkLoaded() {
    if (--pendingChunks_ <= 0) {
        pendingChunks_ = 0;
        loaded_ = true;
    }
}

void ZYMRadioInformationRequest::resetChunksTo(int n) {
    totalChunks_ = n;
    pendingChunks_ = n;
    loaded_ = n < 1;
}

QString ZYMRadioInformationRequest::description() const {
    static const char* const kKeys[] = {"InfoRequestType_Station",     "InfoRequestType_Genre",
                                        "InfoRequestType_StationInfo", "InfoRequestType_StationState",
                                        "InfoRequestType_StationURL",  "InfoRequestType_Preset",
                                        "InfoRequestType_MaxPresets",  "InfoRequestType_MediaFormat"};
    if (infoType_ < 1 || infoType_ > 8) return QString(QLatin1String(""));
    return Localizer::shared().text(QString::fromLatin1(kKeys[infoType_ - 1]), QString());
}

// --- the queue ---

void ZYMRadioService::addInfoRequest(int type, ZYMRadioInformationRequest::Loader loader, bool) {
    if (auto* request = infoRequestWithType(type)) {
        request->setRequested(false);
        request->resetChunksTo(1);
        return;
    }
    synchronousInfoRequests_.push_back(std::make_unique<ZYMRadioInformationRequest>(type, loader));
}

ZYMRadioInformationRequest* ZYMRadioService::infoRequestWithType(int type) const {
    for (const auto& request : synchronousInfoRequests_)
        if (request->infoType() == type) return request.get();
    return nullptr;
}

void ZYMRadioService::resetInformationLoading() {
    holdCacheWrites(false);
    synchronousInfoRequests_.clear();
    informationLoaded_ = false;
    using R = ZYMRadioInformationRequest;
    addInfoRequest(R::kGenre, &ZYMRadioService::loadGenresFromService);
    addInfoRequest(R::kStation, &ZYMRadioService::loadStationsFromService);
    addInfoRequest(R::kStationInfo, &ZYMRadioService::loadStationInfosFromService);
    addInfoRequest(R::kMediaFormat, &ZYMRadioService::loadMediaFormatsFromService);
    addInfoRequest(R::kMaxPresets, &ZYMRadioService::loadMaxPresetsFromService);
    addInfoRequest(R::kPreset, &ZYMRadioService::loadPresetsFromService);
    infoRequestWithType(R::kPreset)->setRequired(false);
    infoRequestWithType(R::kMaxPresets)->setRequired(false);
}

void ZYMRadioService::cancelCacheableInfoRequests() {
    using R = ZYMRadioInformationRequest;
    for (int type : {R::kStation, R::kGenre, R::kStationInfo, R::kMediaFormat})
        if (auto* request = infoRequestWithType(type)) request->resetChunksTo(0);
}

int ZYMRadioService::countOfPendingInfoRequests() const {
    int sum = 0;
    for (const auto& request : synchronousInfoRequests_)
        sum += request->pendingChunks();
    return sum;
}

int ZYMRadioService::countOfTotalInfoRequests() const {
    int sum = 0;
    for (const auto& request : synchronousInfoRequests_)
        sum += request->totalChunks();
    return sum;
}

// Each answer of a load flushes the core's cache, and a flush rewrites the whole file, so
// a load of many answers would cost the square of the directory. The writes wait until
// the load ends or starts over: the file is then written once. A crash in between leaves
// the file as the last finished load wrote it, whole and consistent, and the next start
// loads again what it lacks.
void ZYMRadioService::holdCacheWrites(bool hold) {
    DMDataCache* cache = radioService_ ? radioService_->GetCache() : nullptr;
    if (!cache) return;
    if (hold)
        cache->HoldFlushes();
    else
        cache->ReleaseFlushes();
}

void ZYMRadioService::preloadInformation(bool clear, bool useCache) {
    resetInformationLoading();
    holdCacheWrites(true);
    notifyRadioInformationWillLoad();
    clearNonCacheableInformation();
    if (clear) clearCacheableInformation();
    if (useCache && cacheIsGood()) {
        loadInformationFromCache();
        if (!haveAllStationInfo()) {
            loadInformationFromService();
            return;
        }
        // A cache that lacks a media format a station names still asks the server for
        // it; otherwise that station could not play until the next day.
        const bool formatsMissing = mediaFormatsMissing();
        cancelCacheableInfoRequests();
        if (formatsMissing) {
            if (auto* formats = infoRequestWithType(ZYMRadioInformationRequest::kMediaFormat)) {
                formats->setRequested(false);
                formats->resetChunksTo(1);
            }
        }
        loadInformationFromService();
        return;
    }
    LogMessage(kLogDebug, "Radio Service cache is being cleared.\n");
    if (genericService() && radioService_) genericService()->ResetCache();
    clearCacheableInformation();
    loadInformationFromService();
}

void ZYMRadioService::loadInformationFromService() {
    ensureRadioService();
    notifyRadioServerInformationWillLoad();
    loadMoreInformationFromService();
}

void ZYMRadioService::loadMoreInformationFromService() {
    if (countOfPendingInfoRequests() > 0) {
        for (const auto& request : synchronousInfoRequests_) {
            if (request->loaded()) continue;
            if (!request->requested()) (this->*request->requestSelector())();
            break;
        }
    }
    if (countOfPendingInfoRequests() == 0) serviceInformationLoaded();
    checkForPendingURLRequest();
}

void ZYMRadioService::serviceInformationLoaded() {
    if (informationLoaded_) return;
    informationLoaded_ = true;
    holdCacheWrites(false);
    notifyRadioInformationDidLoad();
}

// --- loaders ---

bool ZYMRadioService::sent(DMServiceRequestToken* token) {
    if (token) return true;
    // The request did not go out: the load starts over.
    resetInformationLoading();
    notifyRadioServerInformationDidFail();
    return false;
}

void ZYMRadioService::loadGenresFromService() {
    if (!radioServiceUsable()) return;
    if (!sent(ensureRadioService().ListCategories())) return;
    notifyRadioGenresWillLoad();
    infoRequestWithType(ZYMRadioInformationRequest::kGenre)->setRequested(true);
}

void ZYMRadioService::loadStationsFromService() {
    if (!radioServiceUsable()) return;
    if (!sent(ensureRadioService().ListStations(true))) return;
    notifyRadioStationsWillLoad();
    infoRequestWithType(ZYMRadioInformationRequest::kStation)->setRequested(true);
}

void ZYMRadioService::loadStationInfosFromService() {
    if (!radioServiceUsable()) return;
    std::vector<DMSIF_IDType> ids;
    if (stations_) {
        for (const auto& station : *stations_) {
            if (station->stationInfoPending() || station->haveStationInfo()) continue;
            ids.emplace_back(station->stationID().toStdString(), "ID" + std::to_string(ids.size() + 1));
            station->setStationInfoPending(true);
            if (ids.size() == kStationInfoChunk) break;
        }
    }
    auto* request = infoRequestWithType(ZYMRadioInformationRequest::kStationInfo);
    if (ids.empty()) {
        request->setRequested(true);
        request->setPendingChunks(0);
        releasePendingStationInfo();
        notifyRadioStationDetailsDidLoad(std::nullopt);
        loadMoreInformationFromService();
        return;
    }
    if (!sent(ensureRadioService().GetStationInfo(ids))) return;
    notifyRadioStationDetailsWillLoad(std::nullopt);
    request->setRequested(true);
}

bool ZYMRadioService::mediaFormatsMissing() const {
    if (!stations_) return false;
    for (const auto& station : *stations_) {
        if (!station->haveStationInfo() || !station->formats()) continue;
        for (const auto& format : *station->formats())
            if (!mediaFormats_.contains(format->formatID())) return true;
    }
    return false;
}

void ZYMRadioService::loadMediaFormatsFromService() {
    if (!radioServiceUsable()) return;
    QStringList missing;
    if (stations_) {
        for (const auto& station : *stations_) {
            if (!station->haveStationInfo() || !station->formats()) continue;
            for (const auto& format : *station->formats()) {
                const QString id = format->formatID();
                if (!mediaFormats_.contains(id) && !missing.contains(id)) missing.append(id);
            }
        }
    }
    auto* request = infoRequestWithType(ZYMRadioInformationRequest::kMediaFormat);
    if (missing.isEmpty()) {
        request->setRequested(true);
        request->resetChunksTo(0);
        notifyRadioMediaFormatsDidLoad();
        loadMoreInformationFromService();
        return;
    }
    std::vector<DMSIF_IDType> ids;
    for (const QString& id : missing)
        ids.emplace_back(id.toStdString(), "ID" + std::to_string(ids.size() + 1));
    if (!sent(ensureRadioService().GetMediaFormatInfo(ids))) return;
    notifyRadioMediaFormatsWillLoad();
    request->setRequested(true);
}

void ZYMRadioService::loadMaxPresetsFromService() {
    if (!radioServiceUsable()) return;
    if (!sent(ensureRadioService().GetMaxPresets())) return;
    notifyRadioMaxPresetsWillLoad();
    infoRequestWithType(ZYMRadioInformationRequest::kMaxPresets)->setRequested(true);
}

void ZYMRadioService::loadPresetsFromService() {
    auto* slotStep = infoRequestWithType(ZYMRadioInformationRequest::kMaxPresets);
    if (!radioServiceUsable() || !slotStep || !slotStep->loaded()) {
        // No answer will come to end a forced write, which would hold every later one.
        presetsLoadIsOnlyToForceLaterWrite_ = false;
        return;
    }
    std::vector<DMSIF_IDType> ids;
    for (int slot = 1; slot <= stationMaxPresets_; ++slot)
        ids.emplace_back(std::string(), std::to_string(slot));
    if (!sent(ensureRadioService().GetPresets(ids, std::string()))) {
        presetsLoadIsOnlyToForceLaterWrite_ = false;
        return;
    }
    notifyRadioPresetsWillLoad();
    if (auto* presets = infoRequestWithType(ZYMRadioInformationRequest::kPreset)) presets->setRequested(true);
}

// --- answers ---

bool ZYMRadioService::answerArrived(int type, bool success, DMServiceRequestToken* token, const char* notRequiredLine) {
    ZYMRadioInformationRequest* request = infoRequestWithType(type);
    const bool required = request && request->required();
    if (!required || success) {
        if (request) {
            if (type == ZYMRadioInformationRequest::kStationInfo) request->setRequested(false);
            request->chunkLoaded();
        }
    }
    if (success) return true;
    if (required) {
        requestFailed(token);
        return false;
    }
    LogMessage(kLogInfo, "%s", notRequiredLine);
    loadMoreInformationFromService();
    return false;
}

void ZYMRadioService::genresUpdated(bool, bool success, DMServiceRequestToken* token) {
    if (!answerArrived(ZYMRadioInformationRequest::kGenre, success, token,
                       "genresUpdated failed, but info request is not required.  continuing as normal.\n"))
        return;
    loadGenresFromCache(true);
    loadMoreInformationFromService();
}

void ZYMRadioService::stationsUpdated(bool, bool success, DMServiceRequestToken* token) {
    if (!answerArrived(ZYMRadioInformationRequest::kStation, success, token,
                       "stationsUpdated failed, but info request is not required.  continuing as normal.\n"))
        return;
    loadStationsFromCache(true);
    loadMoreInformationFromService();
}

void ZYMRadioService::requestForStationsInfo(const std::vector<DMRadio3_StationInfoType>& infos, bool success,
                                             DMServiceRequestToken* token) {
    // The stations of a failed chunk may be asked for again.
    if (!success) releaseRequestedStationInfo(token);
    if (!answerArrived(ZYMRadioInformationRequest::kStationInfo, success, token,
                       "requestForStationsInfo failed, but info request is not required.  continuing as normal.\n")) {
        // A parked URL request whose station lost its only chance must not wait forever.
        checkForPendingURLRequest();
        return;
    }
    const std::size_t stationCount = stations_ ? stations_->size() : 0;
    const bool small = infos.size() < stationCount / 2;
    bool applied = false;
    for (const auto& info : infos) {
        const QString id = QString::fromStdString(info.mStationId.GetValue());
        if (stationWithID(id)) {
            updateInfoForStation(info);
            applied = true;
            if (small) notifyRadioStationDetailsDidLoad(id);
        }
    }
    // Stations an answer left out are not asked for again in this load; once the step
    // is over they must not stay marked pending, or nothing would ever ask for them.
    // After the load, requests for single stations overlap: only this one's stations
    // are released.
    if (informationLoaded_) {
        releaseRequestedStationInfo(token);
    } else if (auto* request = infoRequestWithType(ZYMRadioInformationRequest::kStationInfo);
               request && request->loaded()) {
        releasePendingStationInfo();
    }
    checkForPendingURLRequest();
    // After the load an answer that changed nothing is not reported: the list would
    // redraw its rows, and a drawn row without details asks for them again.
    if (!small && (applied || !informationLoaded_)) notifyRadioStationDetailsDidLoad(std::nullopt);
    loadMoreInformationFromService();
}

void ZYMRadioService::releaseRequestedStationInfo(DMServiceRequestToken* token) {
    auto* input = token && token->methodRef
                      ? dynamic_cast<DMRadio3_GetStationInfo_InputType*>(token->methodRef->GetArguments())
                      : nullptr;
    if (!input) return;
    for (const auto& id : input->mRefIds)
        if (auto station = stationWithID(QString::fromStdString(id.GetValue())))
            if (!station->haveStationInfo()) station->setStationInfoPending(false);
}

void ZYMRadioService::releasePendingStationInfo() {
    if (!stations_) return;
    for (const auto& station : *stations_)
        if (station->stationInfoPending() && !station->haveStationInfo()) station->setStationInfoPending(false);
}

void ZYMRadioService::requestForMediaFormats(const std::vector<DMRadio3_MediaFormatType>& formats, bool success,
                                             DMServiceRequestToken* token) {
    if (!answerArrived(ZYMRadioInformationRequest::kMediaFormat, success, token,
                       "requestForMediaFormats failed, but info request is not required.  continuing as normal.\n"))
        return;
    for (const auto& format : formats) {
        auto media = std::make_shared<ZYMRadioMediaFormat>(format);
        const QString id = media->theMediaFormatID();
        LogMessage(kLogDebug, "mediaformat (%s) loaded\n", id.toUtf8().constData());
        mediaFormats_.insert(id, media);
        for (const auto& stationFormat : std::as_const(stationFormats_))
            if (stationFormat->formatID() == id) stationFormat->setMediaFormat(media);
    }
    notifyRadioMediaFormatsDidLoad();
    loadMoreInformationFromService();
}

void ZYMRadioService::requestForMaxPresets(int maxPresets, bool success, DMServiceRequestToken* token) {
    if (!answerArrived(ZYMRadioInformationRequest::kMaxPresets, success, token,
                       "requestForMaxPresets failed, but info request is not required.  continuing as normal.\n"))
        return;
    setStationMaxPresets(maxPresets);
    notifyRadioMaxPresetsDidLoad();
    loadMoreInformationFromService();
}

void ZYMRadioService::requestFailed(DMServiceRequestToken* token) {
    if (!token) return;
    const std::string method = token->methodRef ? token->methodRef->GetMethodName() : std::string();
    LogMessage(kLogError, "requestFailed! %s\n", method.c_str());
    if (radioDelegate_) radioDelegate_->serviceEncounteredError(ZYMServiceErrorDescription(*token));
    if (!informationLoaded_) {
        resetInformationLoading();
        notifyRadioServerInformationDidFail();
    }
}

// --- refresh ---

void ZYMRadioService::startInformationRefreshTimer() {
    informationRefreshTimer_.reset();
    informationRefreshTimer_ = scheduler().repeating(
        kRefreshInterval, [this] { Guarded("ZYMRadioService::refreshInformation", [this] { refreshInformation(); }); });
}

void ZYMRadioService::refreshInformation() {
    if (!informationRefreshTimer_) return;
    if (!informationLoaded_) {
        LogMessage(kLogInfo,
                   "Could not refresh Radio service information at this time.  Information is still being loaded.\n");
        return;
    }
    if (cacheIsGood()) return;
    LogMessage(kLogInfo, "Refreshing Radio service information...\n");
    preloadInformation(true, true);
}
