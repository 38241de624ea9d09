#include "app/radio/ZYMRadioService.h"

#include <QUrl>

#include "app/foundation/NotificationCenter.h"
#include "app/radio/RadioServiceListener.h"
#include "app/foundation/ServiceLayerError.h"
#include "dms/radio3/DMRadio3Service.h"
#include "engine/SysNetworkConnectivity.h"
#include "runtime/LogMessage.h"

ZYMRadioService::ZYMRadioService(ZYMServiceEnvironment environment, RadioEnvironment radio)
    : ZYMGenericService(environment), radioEnv_(std::move(radio)) {
    presets_.ensureStationPresetArray();
    queue_.resetInformationLoading();
}

ZYMRadioService::~ZYMRadioService() {
    queue_.stopInformationRefreshTimer();
    // The generic service deletes the core object after this; it must not reach a
    // listener that is gone.
    if (auto* radio = dynamic_cast<DMRadio3Service*>(genericService())) radio->SetListener(nullptr);
    radioService_ = nullptr;
    serviceListener_.reset();
}

DMRadio3Service& ZYMRadioService::ensureRadioService() const {
    if (!radioService_) throw ServiceLayerError(kImplementationError, "Radio service not available");
    return *radioService_;
}

// --- hand-over, loss, sign-on flow ---

void ZYMRadioService::retireGenericService(std::unique_ptr<DMGenericService> service) {
    if (auto* radio = dynamic_cast<DMRadio3Service*>(service.get())) {
        radio->SetListener(nullptr);
        if (radioService_ == radio) radioService_ = nullptr;
    }
    ZYMGenericService::retireGenericService(std::move(service));
}

void ZYMRadioService::serviceRequestSucceeded(DMGenericService* service) {
    // The object held before, lost or not, has been retired by now; its listener goes
    // with it, before the new object gets the cache.
    radioService_ = nullptr;
    serviceListener_.reset();
    ZYMGenericService::serviceRequestSucceeded(service);

    auto* radio = dynamic_cast<DMRadio3Service*>(service);
    if (!radio) throw ServiceLayerError(kImplementationError, "Can't get radio service");
    radioService_ = radio;
    serviceListener_ = std::make_unique<RadioServiceListener>(this);
    radio->SetListener(serviceListener_.get());
    if (radioDelegate_) radioDelegate_->serviceRequestDone(true);
    queue_.preloadInformation(true, true);
    queue_.startInformationRefreshTimer();
}

void ZYMRadioService::serviceRequestFailedWithReason(int reason) {
    ZYMGenericService::serviceRequestFailedWithReason(reason);
    if (radioDelegate_) radioDelegate_->serviceRequestDone(false);
}

void ZYMRadioService::serviceDidBecomeInvalidWithReason(const QString& reason) {
    // The core object itself stays held: a lost one may still deliver a result. What
    // its load received is written now, not when the object goes.
    queue_.holdCacheWrites(false);
    radioService_ = nullptr;
    directory_.dropStationsAndGenres();
    queue_.resetInformationLoading();
    setServiceAvailable(false);
    ZYMGenericService::serviceDidBecomeInvalidWithReason(reason);
}

int ZYMRadioService::shouldMethodFailureInvalidateService(DMServiceRequestToken* token) {
    const int verdict = ZYMGenericService::shouldMethodFailureInvalidateService(token);
    const std::string host = radioEnv_.reachabilityHost.empty() ? QUrl(provider().serviceURL()).host().toStdString()
                                                                : radioEnv_.reachabilityHost;
    const bool reachable = radioEnv_.isNetworkAddressReachable ? radioEnv_.isNetworkAddressReachable(host)
                                                               : IsNetworkAddressReachable(host.c_str());
    return reachable ? verdict : 2;
}

void ZYMRadioService::credentialsTimerTask(const QString& userName) {
    if (genericService()) genericService()->ResetCache();
    ZYMGenericService::credentialsTimerTask(userName);
}

void ZYMRadioService::authenticationStartingForUsername(const QString& userName) {
    ZYMGenericService::authenticationStartingForUsername(userName);
    reports_.notifyAuthenticationStartedForUsername(userName);
}

void ZYMRadioService::authenticationSucceeded() {
    ZYMGenericService::authenticationSucceeded();
    if (radioDelegate_) radioDelegate_->authenticationDone(true);
}

void ZYMRadioService::authenticationFailedWithReason(int reason) {
    ZYMGenericService::authenticationFailedWithReason(reason);
    if (!radioDelegate_) return;
    if (reason == 3)
        radioDelegate_->authenticationCancelled();
    else
        radioDelegate_->authenticationDone(false);
}
