// The directory load: a fixed queue of steps, one request in flight at a time, each
// answer applied to the model and the queue moved on by the pump.

#include <QSet>

#include "app/foundation/Clock.h"
#include "app/foundation/ErrorDescription.h"
#include "app/foundation/Localizer.h"
#include "app/foundation/ServiceLayerError.h"
#include "app/radio/ZYMRadioLoadingQueue.h"
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

ZYMRadioLoadingQueue::ZYMRadioLoadingQueue(ZYMRadioService& service) : service_(service) {}

ZYMRadioLoadingQueue::~ZYMRadioLoadingQueue() = default;

void ZYMRadioLoadingQueue::addInfoRequest(int type, ZYMRadioInformationRequest::Loader loader, bool) {
    if (auto* request = infoRequestWithType(type)) {
        request->setRequested(false);
        request->resetChunksTo(1);
        return;
    }
    synchronousInfoRequests_.push_back(std::make_unique<ZYMRadioInformationRequest>(type, loader));
}

ZYMRadioInformationRequest* ZYMRadioLoadingQueue::infoRequestWithType(int type) const {
    for (const auto& request : synchronousInfoRequests_)
        if (request->infoType() == type) return request.get();
    return nullptr;
}

void ZYMRadioLoadingQueue::resetInformationLoading() {
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

void ZYMRadioLoadingQueue::cancelCacheableInfoRequests() {
    using R = ZYMRadioInformationRequest;
    for (int type : {R::kStation, R::kGenre, R::kStationInfo, R::kMediaFormat})
        if (auto* request = infoRequestWithType(type)) request->resetChunksTo(0);
}

int ZYMRadioLoadingQueue::countOfPendingInfoRequests() const {
    int sum = 0;
    for (const auto& request : synchronousInfoRequests_)
        sum += request->pendingChunks();
    return sum;
}

int ZYMRadioLoadingQueue::countOfTotalInfoRequests() const {
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
void ZYMRadioLoadingQueue::holdCacheWrites(bool hold) {
    DMDataCache* cache = service_.radioService() ? service_.radioService()->GetCache() : nullptr;
    if (!cache) return;
    if (hold)
        cache->HoldFlushes();
    else
        cache->ReleaseFlushes();
}

void ZYMRadioLoadingQueue::preloadInformation(bool clear, bool useCache) {
    resetInformationLoading();
    holdCacheWrites(true);
    service_.reports().notifyRadioInformationWillLoad();
    service_.clearNonCacheableInformation();
    if (clear) service_.clearCacheableInformation();
    if (useCache && service_.cacheIsGood()) {
        service_.loadInformationFromCache();
        if (!service_.haveAllStationInfo()) {
            loadInformationFromService();
            return;
        }
        // A cache that lacks a media format a station names still asks the server for
        // it; otherwise that station could not play until the next day.
        const bool formatsMissing = service_.mediaFormatsMissing();
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
    if (service_.genericService() && service_.radioService()) service_.genericService()->ResetCache();
    service_.clearCacheableInformation();
    loadInformationFromService();
}

void ZYMRadioLoadingQueue::loadInformationFromService() {
    service_.ensureRadioService();
    service_.reports().notifyRadioServerInformationWillLoad();
    loadMoreInformationFromService();
}

void ZYMRadioLoadingQueue::loadMoreInformationFromService() {
    if (countOfPendingInfoRequests() > 0) {
        for (const auto& request : synchronousInfoRequests_) {
            if (request->loaded()) continue;
            if (!request->requested()) (service_.*request->requestSelector())();
            break;
        }
    }
    if (countOfPendingInfoRequests() == 0) serviceInformationLoaded();
    service_.checkForPendingURLRequest();
}

void ZYMRadioLoadingQueue::serviceInformationLoaded() {
    if (informationLoaded_) return;
    informationLoaded_ = true;
    holdCacheWrites(false);
    service_.reports().notifyRadioInformationDidLoad();
}

// --- loaders ---

bool ZYMRadioLoadingQueue::sent(DMServiceRequestToken* token) {
    if (token) return true;
    // The request did not go out: the load starts over.
    resetInformationLoading();
    service_.reports().notifyRadioServerInformationDidFail();
    return false;
}

void ZYMRadioLoadingQueue::loadGenresFromService() {
    if (!service_.radioServiceUsable()) return;
    if (!sent(service_.ensureRadioService().ListCategories())) return;
    service_.reports().notifyRadioGenresWillLoad();
    infoRequestWithType(ZYMRadioInformationRequest::kGenre)->setRequested(true);
}

void ZYMRadioLoadingQueue::loadStationsFromService() {
    if (!service_.radioServiceUsable()) return;
    if (!sent(service_.ensureRadioService().ListStations(true))) return;
    service_.reports().notifyRadioStationsWillLoad();
    infoRequestWithType(ZYMRadioInformationRequest::kStation)->setRequested(true);
}

void ZYMRadioLoadingQueue::loadStationInfosFromService() {
    if (!service_.radioServiceUsable()) return;
    std::vector<DMSIF_IDType> ids;
    if (const auto* stations = service_.stations()) {
        for (const auto& station : *stations) {
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
        service_.reports().notifyRadioStationDetailsDidLoad(std::nullopt);
        loadMoreInformationFromService();
        return;
    }
    if (!sent(service_.ensureRadioService().GetStationInfo(ids))) return;
    service_.reports().notifyRadioStationDetailsWillLoad(std::nullopt);
    request->setRequested(true);
}

void ZYMRadioLoadingQueue::loadMediaFormatsFromService() {
    if (!service_.radioServiceUsable()) return;
    QStringList missing;
    if (const auto* stations = service_.stations()) {
        for (const auto& station : *stations) {
            if (!station->haveStationInfo() || !station->formats()) continue;
            for (const auto& format : *station->formats()) {
                const QString id = format->formatID();
                if (!service_.mediaFormats().contains(id) && !missing.contains(id)) missing.append(id);
            }
        }
    }
    auto* request = infoRequestWithType(ZYMRadioInformationRequest::kMediaFormat);
    if (missing.isEmpty()) {
        request->setRequested(true);
        request->resetChunksTo(0);
        service_.reports().notifyRadioMediaFormatsDidLoad();
        loadMoreInformationFromService();
        return;
    }
    std::vector<DMSIF_IDType> ids;
    for (const QString& id : missing)
        ids.emplace_back(id.toStdString(), "ID" + std::to_string(ids.size() + 1));
    if (!sent(service_.ensureRadioService().GetMediaFormatInfo(ids))) return;
    service_.reports().notifyRadioMediaFormatsWillLoad();
    request->setRequested(true);
}

void ZYMRadioLoadingQueue::loadMaxPresetsFromService() {
    if (!service_.radioServiceUsable()) return;
    if (!sent(service_.ensureRadioService().GetMaxPresets())) return;
    service_.reports().notifyRadioMaxPresetsWillLoad();
    infoRequestWithType(ZYMRadioInformationRequest::kMaxPresets)->setRequested(true);
}

// --- answers ---

bool ZYMRadioLoadingQueue::answerArrived(int type, bool success, DMServiceRequestToken* token,
                                         const char* notRequiredLine) {
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

void ZYMRadioLoadingQueue::genresUpdated(bool, bool success, DMServiceRequestToken* token) {
    if (!answerArrived(ZYMRadioInformationRequest::kGenre, success, token,
                       "genresUpdated failed, but info request is not required.  continuing as normal.\n"))
        return;
    service_.loadGenresFromCache(true);
    loadMoreInformationFromService();
}

void ZYMRadioLoadingQueue::stationsUpdated(bool, bool success, DMServiceRequestToken* token) {
    if (!answerArrived(ZYMRadioInformationRequest::kStation, success, token,
                       "stationsUpdated failed, but info request is not required.  continuing as normal.\n"))
        return;
    service_.loadStationsFromCache(true);
    loadMoreInformationFromService();
}

void ZYMRadioLoadingQueue::requestForStationsInfo(const std::vector<DMRadio3_StationInfoType>& infos, bool success,
                                                  DMServiceRequestToken* token) {
    // The stations of a failed chunk may be asked for again.
    if (!success) releaseRequestedStationInfo(token);
    if (!answerArrived(ZYMRadioInformationRequest::kStationInfo, success, token,
                       "requestForStationsInfo failed, but info request is not required.  continuing as normal.\n")) {
        // A parked URL request whose station lost its only chance must not wait forever.
        service_.checkForPendingURLRequest();
        return;
    }
    const std::size_t stationCount = service_.stations() ? service_.stations()->size() : 0;
    const bool small = infos.size() < stationCount / 2;
    bool applied = false;
    for (const auto& info : infos) {
        const QString id = QString::fromStdString(info.mStationId.GetValue());
        if (service_.stationWithID(id)) {
            service_.updateInfoForStation(info);
            applied = true;
            if (small) service_.reports().notifyRadioStationDetailsDidLoad(id);
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
    service_.checkForPendingURLRequest();
    // After the load an answer that changed nothing is not reported: the list would
    // redraw its rows, and a drawn row without details asks for them again.
    if (!small && (applied || !informationLoaded_)) service_.reports().notifyRadioStationDetailsDidLoad(std::nullopt);
    loadMoreInformationFromService();
}

void ZYMRadioLoadingQueue::releaseRequestedStationInfo(DMServiceRequestToken* token) {
    auto* input = token && token->methodRef
                      ? dynamic_cast<DMRadio3_GetStationInfo_InputType*>(token->methodRef->GetArguments())
                      : nullptr;
    if (!input) return;
    for (const auto& id : input->mRefIds)
        if (auto station = service_.stationWithID(QString::fromStdString(id.GetValue())))
            if (!station->haveStationInfo()) station->setStationInfoPending(false);
}

void ZYMRadioLoadingQueue::releasePendingStationInfo() {
    const auto* stations = service_.stations();
    if (!stations) return;
    for (const auto& station : *stations)
        if (station->stationInfoPending() && !station->haveStationInfo()) station->setStationInfoPending(false);
}

void ZYMRadioLoadingQueue::requestForMediaFormats(const std::vector<DMRadio3_MediaFormatType>& formats, bool success,
                                                  DMServiceRequestToken* token) {
    if (!answerArrived(ZYMRadioInformationRequest::kMediaFormat, success, token,
                       "requestForMediaFormats failed, but info request is not required.  continuing as normal.\n"))
        return;
    service_.directory().takeMediaFormats(formats);
    service_.reports().notifyRadioMediaFormatsDidLoad();
    loadMoreInformationFromService();
}

void ZYMRadioLoadingQueue::requestForMaxPresets(int maxPresets, bool success, DMServiceRequestToken* token) {
    if (!answerArrived(ZYMRadioInformationRequest::kMaxPresets, success, token,
                       "requestForMaxPresets failed, but info request is not required.  continuing as normal.\n"))
        return;
    service_.setStationMaxPresets(maxPresets);
    service_.reports().notifyRadioMaxPresetsDidLoad();
    loadMoreInformationFromService();
}

void ZYMRadioLoadingQueue::requestFailed(DMServiceRequestToken* token) {
    if (!token) return;
    const std::string method = token->methodRef ? token->methodRef->GetMethodName() : std::string();
    LogMessage(kLogError, "requestFailed! %s\n", method.c_str());
    if (service_.delegate()) service_.delegate()->serviceEncounteredError(ZYMServiceErrorDescription(*token));
    if (!informationLoaded_) {
        resetInformationLoading();
        service_.reports().notifyRadioServerInformationDidFail();
    }
}

// --- refresh ---

void ZYMRadioLoadingQueue::startInformationRefreshTimer() {
    informationRefreshTimer_.reset();
    informationRefreshTimer_ = service_.scheduler().repeating(
        kRefreshInterval, [this] { Guarded("ZYMRadioService::refreshInformation", [this] { refreshInformation(); }); });
}

void ZYMRadioLoadingQueue::stopInformationRefreshTimer() { informationRefreshTimer_.reset(); }

void ZYMRadioLoadingQueue::refreshInformation() {
    if (!informationRefreshTimer_) return;
    if (!informationLoaded_) {
        LogMessage(kLogInfo,
                   "Could not refresh Radio service information at this time.  Information is still being loaded.\n");
        return;
    }
    if (service_.cacheIsGood()) return;
    LogMessage(kLogInfo, "Refreshing Radio service information...\n");
    preloadInformation(true, true);
}
