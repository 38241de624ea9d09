// Station URLs (parked until the station can play, released by the loading pump) and
// the current state of stations.

#include "app/radio/ZYMRadioStationURLs.h"

#include "app/radio/ZYMRadioService.h"
#include "app/radio/ZYMRadioStationState.h"
#include "dms/radio3/DMRadio3Service.h"
#include "runtime/LogMessage.h"

namespace {

constexpr int kNoBandwidthLimit = 999999999;

QByteArray utf8(const QString& s) { return s.toUtf8(); }

// A returned state names the station; the request named it by prog id, which is the
// station's id or that id, a comma and a program number. Anything looser would let
// "radio:aggregate:1" claim "radio:aggregate:12,3", or an empty id claim everything.
bool stateMatchesRequest(const QString& stateStationID, const QString& requested) {
    if (stateStationID.isEmpty()) return false;
    return requested == stateStationID || requested.startsWith(stateStationID + QLatin1Char(','));
}

}  // namespace

bool ZYMRadioStationURLs::stationReadyToPlay(const QString& stationID) const {
    const auto station = service_.stationWithID(stationID);
    if (!station || !station->formats()) return false;
    for (const auto& format : *station->formats())
        if (!service_.mediaFormats().contains(format->formatID())) return false;
    return true;
}

void ZYMRadioStationURLs::requestURLForStation(const QString& stationID,
                                               const std::shared_ptr<ZYMRadioStationFormat>& format) {
    if (!service_.radioServiceUsable() || !format) return;
    if (!stationReadyToPlay(stationID)) {
        addToPendingURLRequests(stationID, format);
        ensureStationInfo(stationID);
        checkForPendingURLRequest();
        return;
    }
    const DMSIF_IDType progId(format->progID().toStdString(), std::string());
    const DMSIF_IDType mediaFormatId(format->formatID().toStdString(), std::string());
    if (!service_.ensureRadioService().GetStationURL(progId, mediaFormatId)) {
        // Without an answer to wait for, the play road would hang silently.
        service_.reports().notifyRadioStationURLDidFail(format->progID());
        return;
    }
    const auto stored = service_.directory().storedStation(stationID);
    service_.reports().notifyRadioStationURLWillLoad(stored ? stored->stationID() : QString());
}

void ZYMRadioStationURLs::requestURLForStation(const QString& stationID, int bandwidthLimit) {
    if (!service_.radioServiceUsable()) return;
    if (!stationReadyToPlay(stationID)) {
        addToPendingURLRequests(stationID, bandwidthLimit);
        ensureStationInfo(stationID);
        checkForPendingURLRequest();
        return;
    }
    const auto station = service_.stationWithID(stationID);
    const auto format = service_.chooseBestFormat(station->stationID(), bandwidthLimit);
    if (!format) {
        // Nothing can play at this limit; the caller is still owed an answer.
        service_.reports().notifyRadioStationURLDidFail(stationID);
        return;
    }
    requestURLForStation(stationID, format);
}

void ZYMRadioStationURLs::addToPendingURLRequests(const QString& stationID, int bandwidthLimit) {
    LogMessage(kLogDebug, "addToPendingURLRequests:bandwidthLimit: - [%s] - [%d]\n", utf8(stationID).constData(),
               bandwidthLimit);
    pendingStationURLRequest_ = stationID;
    pendingStationURLRequestBandwidthLimit_ = bandwidthLimit;
    pendingStationURLRequestStationFormat_.reset();
}

void ZYMRadioStationURLs::addToPendingURLRequests(const QString& stationID,
                                                  const std::shared_ptr<ZYMRadioStationFormat>& format) {
    LogMessage(kLogDebug, "addToPendingURLRequests:stationFormat: - [%s] - [%s]\n", utf8(stationID).constData(),
               format ? utf8(format->formatID()).constData() : "");
    pendingStationURLRequest_ = stationID;
    pendingStationURLRequestStationFormat_ = format;
}

void ZYMRadioStationURLs::addToPendingURLRequests(const QString& stationID) {
    LogMessage(kLogDebug, "addToPendingURLRequests - [%s]\n", utf8(stationID).constData());
    pendingStationURLRequest_ = stationID;
}

void ZYMRadioStationURLs::checkForPendingURLRequest() {
    if (pendingStationURLRequest_.isEmpty()) return;
    const QString stationID = pendingStationURLRequest_;
    if (!stationReadyToPlay(stationID)) {
        // Once the load is over and nothing is on its way for the station, it will not
        // become ready: say so rather than leave the caller waiting.
        if (!service_.informationLoaded()) return;
        const auto station = service_.stationWithID(stationID);
        if (station && station->stationInfoPending() && !station->haveStationInfo()) return;
        pendingStationURLRequest_.clear();
        service_.reports().notifyRadioStationURLDidFail(
            pendingStationURLRequestStationFormat_ ? pendingStationURLRequestStationFormat_->progID() : stationID);
        return;
    }
    if (pendingStationURLRequestBandwidthLimit_ == 0) pendingStationURLRequestBandwidthLimit_ = kNoBandwidthLimit;
    pendingStationURLRequest_.clear();
    if (pendingStationURLRequestStationFormat_)
        requestURLForStation(stationID, pendingStationURLRequestStationFormat_);
    else
        requestURLForStation(stationID, pendingStationURLRequestBandwidthLimit_);
}

void ZYMRadioStationURLs::ensureStationInfo(const QString& stationID) {
    if (!loadStationInfoFromCache(stationID, true)) loadStationInfoFromService(stationID);
}

bool ZYMRadioStationURLs::loadStationInfoFromCache(const QString& stationID, bool notify) {
    if (!service_.radioServiceUsable()) return false;
    // Held already: nothing loads, so nothing is reported. The station list asks as it
    // draws a row, and a report has the row drawn again.
    if (const auto held = service_.stationWithID(stationID); held && held->haveStationInfo()) return true;
    if (notify) service_.reports().notifyRadioStationDetailsWillLoad(stationID);
    const auto station = service_.stationWithID(stationID);
    if (!station) return false;
    DMRadio3_StationInfoType info;
    if (service_.ensureRadioService().GetStationInfoFromCache(station->stationID().toStdString(), info))
        service_.updateInfoForStation(info);
    if (!station->haveStationInfo()) return false;
    if (notify) service_.reports().notifyRadioStationDetailsDidLoad(stationID);
    return true;
}

void ZYMRadioStationURLs::loadStationInfoFromService(const QString& stationID) {
    if (!service_.radioServiceUsable() || !service_.informationLoaded()) return;
    const auto station = service_.stationWithID(stationID);
    if (!station || station->stationInfoPending()) return;
    const std::vector<DMSIF_IDType> ids{DMSIF_IDType(stationID.toStdString(), std::string())};
    if (!service_.loadingQueue().sent(service_.ensureRadioService().GetStationInfo(ids))) return;
    station->setStationInfoPending(true);
    service_.reports().notifyRadioStationDetailsWillLoad(station->stationID());
}

void ZYMRadioStationURLs::requestForURLs(const QStringList& urls, const QString& progId, bool success,
                                         DMServiceRequestToken*) {
    if (success) {
        service_.reports().notifyRadioStationURLDidLoad(progId, urls);
        service_.loadMoreInformationFromService();
        return;
    }
    // The prog id is no station id: parked, it would replace the real parked request,
    // and a numeric one would reach an unrelated station through the aliases.
    service_.reports().notifyRadioStationURLDidFail(progId);
    LogMessage(kLogInfo, "requestForURLs failed, but info request is not required.  continuing as normal.\n");
    service_.loadMoreInformationFromService();
}

void ZYMRadioStationURLs::requestStateForStations(const QStringList& stationIDs, int bandwidthLimit) {
    if (!service_.radioServiceUsable()) return;
    std::vector<DMSIF_IDType> ids;
    QStringList progIds;
    int n = 0;
    for (const QString& stationID : stationIDs) {
        ++n;
        const auto station = service_.directory().storedStation(stationID);
        const auto format = station ? service_.chooseBestFormat(station->stationID(), bandwidthLimit) : nullptr;
        if (!format) continue;
        ids.emplace_back(format->progID().toStdString(), "ID" + std::to_string(n));
        progIds.append(format->progID());
    }
    if (!service_.ensureRadioService().GetStationState(ids)) return;
    for (const QString& progId : progIds)
        service_.reports().notifyRadioStationStateWillLoad(progId);
}

void ZYMRadioStationURLs::requestForStationsState(const std::vector<DMRadio3_StationStateType>& states, bool success,
                                                  DMServiceRequestToken* token) {
    if (!success) {
        LogMessage(kLogInfo,
                   "requestForStationsState failed, but info request is not required.  continuing as normal.\n");
        service_.loadMoreInformationFromService();
        return;
    }
    auto* input = token && token->methodRef
                      ? dynamic_cast<DMRadio3_GetStationState_InputType*>(token->methodRef->GetArguments())
                      : nullptr;
    if (input) {
        if (!states.empty()) {
            for (const auto& stationState : states) {
                auto state = std::make_shared<ZYMRadioStationState>(stationState);
                const QString stateID = state->stationID().value_or(QString());
                for (const auto& requested : input->mRefIds) {
                    const QString value = QString::fromStdString(requested.GetValue());
                    if (stateMatchesRequest(stateID, value)) {
                        state->setStationID(value);
                        break;
                    }
                }
                service_.reports().notifyRadioStationStateDidLoad(state);
            }
        } else {
            for (const auto& requested : input->mRefIds) {
                auto state = std::make_shared<ZYMRadioStationState>();
                state->setStationID(QString::fromStdString(requested.GetValue()));
                service_.reports().notifyRadioStationStateDidLoad(state);
            }
        }
    }
    service_.loadMoreInformationFromService();
}
