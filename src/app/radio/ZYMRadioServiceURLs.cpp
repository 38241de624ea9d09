// Station URLs (parked until the station can play, released by the loading pump) and
// the current state of stations.

#include "app/foundation/NotificationCenter.h"
#include "app/radio/ZYMRadioService.h"
#include "app/radio/ZYMRadioStationState.h"
#include "dms/radio3/DMRadio3Service.h"
#include "runtime/LogMessage.h"

namespace N = RadioServiceNotification;

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

bool ZYMRadioService::stationReadyToPlay(const QString& stationID) const {
    const auto station = stationWithID(stationID);
    if (!station || !station->formats()) return false;
    for (const auto& format : *station->formats())
        if (!mediaFormats_.contains(format->formatID())) return false;
    return true;
}

void ZYMRadioService::requestURLForStation(const QString& stationID,
                                           const std::shared_ptr<ZYMRadioStationFormat>& format) {
    if (!radioServiceUsable() || !format) return;
    if (!stationReadyToPlay(stationID)) {
        addToPendingURLRequests(stationID, format);
        ensureStationInfo(stationID);
        checkForPendingURLRequest();
        return;
    }
    const DMSIF_IDType progId(format->progID().toStdString(), std::string());
    const DMSIF_IDType mediaFormatId(format->formatID().toStdString(), std::string());
    if (!ensureRadioService().GetStationURL(progId, mediaFormatId)) {
        // Without an answer to wait for, the play road would hang silently.
        notifyRadioStationURLDidFail(format->progID());
        return;
    }
    const auto stored = stationsDict_ ? stationsDict_->value(stationID) : nullptr;
    notifyRadioStationURLWillLoad(stored ? stored->stationID() : QString());
}

void ZYMRadioService::requestURLForStation(const QString& stationID, int bandwidthLimit) {
    if (!radioServiceUsable()) return;
    if (!stationReadyToPlay(stationID)) {
        addToPendingURLRequests(stationID, bandwidthLimit);
        ensureStationInfo(stationID);
        checkForPendingURLRequest();
        return;
    }
    const auto station = stationWithID(stationID);
    const auto format = chooseBestFormat(station->stationID(), bandwidthLimit);
    if (!format) {
        // Nothing can play at this limit; the caller is still owed an answer.
        notifyRadioStationURLDidFail(stationID);
        return;
    }
    requestURLForStation(stationID, format);
}

void ZYMRadioService::addToPendingURLRequests(const QString& stationID, int bandwidthLimit) {
    LogMessage(kLogDebug, "addToPendingURLRequests:bandwidthLimit: - [%s] - [%d]\n", utf8(stationID).constData(),
               bandwidthLimit);
    pendingStationURLRequest_ = stationID;
    pendingStationURLRequestBandwidthLimit_ = bandwidthLimit;
    pendingStationURLRequestStationFormat_.reset();
}

void ZYMRadioService::addToPendingURLRequests(const QString& stationID,
                                              const std::shared_ptr<ZYMRadioStationFormat>& format) {
    LogMessage(kLogDebug, "addToPendingURLRequests:stationFormat: - [%s] - [%s]\n", utf8(stationID).constData(),
               format ? utf8(format->formatID()).constData() : "");
    pendingStationURLRequest_ = stationID;
    pendingStationURLRequestStationFormat_ = format;
}

void ZYMRadioService::addToPendingURLRequests(const QString& stationID) {
    LogMessage(kLogDebug, "addToPendingURLRequests - [%s]\n", utf8(stationID).constData());
    pendingStationURLRequest_ = stationID;
}

void ZYMRadioService::checkForPendingURLRequest() {
    if (pendingStationURLRequest_.isEmpty()) return;
    const QString stationID = pendingStationURLRequest_;
    if (!stationReadyToPlay(stationID)) {
        // Once the load is over and nothing is on its way for the station, it will not
        // become ready: say so rather than leave the caller waiting.
        if (!informationLoaded_) return;
        const auto station = stationWithID(stationID);
        if (station && station->stationInfoPending() && !station->haveStationInfo()) return;
        pendingStationURLRequest_.clear();
        notifyRadioStationURLDidFail(
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

void ZYMRadioService::ensureStationInfo(const QString& stationID) {
    if (!loadStationInfoFromCache(stationID, true)) loadStationInfoFromService(stationID);
}

bool ZYMRadioService::loadStationInfoFromCache(const QString& stationID, bool notify) {
    if (!radioServiceUsable()) return false;
    // Held already: nothing loads, so nothing is reported. The station list asks as it
    // draws a row, and a report has the row drawn again.
    if (const auto held = stationWithID(stationID); held && held->haveStationInfo()) return true;
    if (notify) notifyRadioStationDetailsWillLoad(stationID);
    const auto station = stationWithID(stationID);
    if (!station) return false;
    DMRadio3_StationInfoType info;
    if (ensureRadioService().GetStationInfoFromCache(station->stationID().toStdString(), info))
        updateInfoForStation(info);
    if (!station->haveStationInfo()) return false;
    if (notify) notifyRadioStationDetailsDidLoad(stationID);
    return true;
}

void ZYMRadioService::loadStationInfoFromService(const QString& stationID) {
    if (!radioServiceUsable() || !informationLoaded_) return;
    const auto station = stationWithID(stationID);
    if (!station || station->stationInfoPending()) return;
    const std::vector<DMSIF_IDType> ids{DMSIF_IDType(stationID.toStdString(), std::string())};
    if (!sent(ensureRadioService().GetStationInfo(ids))) return;
    station->setStationInfoPending(true);
    notifyRadioStationDetailsWillLoad(station->stationID());
}

void ZYMRadioService::requestForURLs(const QStringList& urls, const QString& progId, bool success,
                                     DMServiceRequestToken*) {
    if (success) {
        notifyRadioStationURLDidLoad(progId, urls);
        loadMoreInformationFromService();
        return;
    }
    // The prog id is no station id: parked, it would replace the real parked request,
    // and a numeric one would reach an unrelated station through the aliases.
    notifyRadioStationURLDidFail(progId);
    LogMessage(kLogInfo, "requestForURLs failed, but info request is not required.  continuing as normal.\n");
    loadMoreInformationFromService();
}

void ZYMRadioService::requestStateForStations(const QStringList& stationIDs, int bandwidthLimit) {
    if (!radioServiceUsable()) return;
    std::vector<DMSIF_IDType> ids;
    QStringList progIds;
    int n = 0;
    for (const QString& stationID : stationIDs) {
        ++n;
        const auto station = stationsDict_ ? stationsDict_->value(stationID) : nullptr;
        const auto format = station ? chooseBestFormat(station->stationID(), bandwidthLimit) : nullptr;
        if (!format) continue;
        ids.emplace_back(format->progID().toStdString(), "ID" + std::to_string(n));
        progIds.append(format->progID());
    }
    if (!ensureRadioService().GetStationState(ids)) return;
    for (const QString& progId : progIds)
        notifyRadioStationStateWillLoad(progId);
}

void ZYMRadioService::requestForStationsState(const std::vector<DMRadio3_StationStateType>& states, bool success,
                                              DMServiceRequestToken* token) {
    if (!success) {
        LogMessage(kLogInfo,
                   "requestForStationsState failed, but info request is not required.  continuing as normal.\n");
        loadMoreInformationFromService();
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
                notifyRadioStationStateDidLoad(state);
            }
        } else {
            for (const auto& requested : input->mRefIds) {
                auto state = std::make_shared<ZYMRadioStationState>();
                state->setStationID(QString::fromStdString(requested.GetValue()));
                notifyRadioStationStateDidLoad(state);
            }
        }
    }
    loadMoreInformationFromService();
}

// --- reports ---

void ZYMRadioService::notifyRadioStationURLWillLoad(const QString& stationID) {
    if (radioDelegate_ && radioDelegate_->radioServiceStationURLWillLoad(stationID) == Delegated::Handled) return;
    NotificationCenter::UserInfo info;
    if (!stationID.isEmpty()) info[QStringLiteral("object1")] = stationID;
    notifications().post(N::kStationURLWillLoad, this, std::move(info));
}

void ZYMRadioService::notifyRadioStationURLDidLoad(const QString& progId, const QStringList& urls) {
    if (radioDelegate_ && radioDelegate_->radioServiceStationURLDidLoad(progId, urls) == Delegated::Handled) return;
    NotificationCenter::UserInfo info;
    info[QStringLiteral("object1")] = progId;
    info[QStringLiteral("object2")] = urls;
    notifications().post(N::kStationURLDidLoad, this, std::move(info));
}

void ZYMRadioService::notifyRadioStationURLDidFail(const QString& progId) {
    if (radioDelegate_ && radioDelegate_->radioServiceStationURLDidFail(progId) == Delegated::Handled) return;
    NotificationCenter::UserInfo info;
    info[QStringLiteral("object1")] = progId;
    notifications().post(N::kStationURLDidFail, this, std::move(info));
}

void ZYMRadioService::notifyRadioStationStateWillLoad(const QString& progId) {
    if (radioDelegate_ && radioDelegate_->radioServiceStationStateWillLoad(progId) == Delegated::Handled) return;
    NotificationCenter::UserInfo info;
    info[QStringLiteral("object1")] = progId;
    notifications().post(N::kStationStateWillLoad, this, std::move(info));
}

void ZYMRadioService::notifyRadioStationStateDidLoad(const std::shared_ptr<ZYMRadioStationState>& state) {
    if (radioDelegate_ && radioDelegate_->radioServiceStationStateDidLoad(state) == Delegated::Handled) return;
    NotificationCenter::UserInfo info;
    info[QStringLiteral("object1")] = state;
    notifications().post(N::kStationStateDidLoad, this, std::move(info));
}
