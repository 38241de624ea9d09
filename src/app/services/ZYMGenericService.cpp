#include "app/services/ZYMGenericService.h"

#include "app/foundation/Clock.h"
#include "app/foundation/Localizer.h"
#include "app/foundation/NotificationCenter.h"
#include "app/foundation/ServiceLayerError.h"
#include "app/services/ServiceStatistics.h"
#include "app/foundation/UserDefaults.h"
#include "app/services/ZYMCacheStorage.h"
#include "app/foundation/ZYMStringUtils.h"
#include "dms/core/DMAuthenticationTypes.h"
#include "dms/core/DMGenericService.h"
#include "runtime/LogMessage.h"

#include <cmath>
#include <limits>
#include <utility>

namespace {

QByteArray Bytes(const QString& s) { return s.toUtf8(); }
QString Text(const std::string& s) { return textWith_stdstring(s); }

constexpr int kSecureTransportDomain = 3;
constexpr int kCertNotYetValid = -9815;

}  // namespace

// ---- delegate defaults: not implemented ----

void ZYMGenericServiceDelegate::serviceDidBecomeValid(ZYMGenericService&) {}
void ZYMGenericServiceDelegate::serviceWillBecomeInvalid(ZYMGenericService&) {}
void ZYMGenericServiceDelegate::serviceDidBecomeInvalidWithReason(ZYMGenericService&, const QString&) {}
std::optional<int> ZYMGenericServiceDelegate::shouldMethodFailureInvalidateService(ZYMGenericService&,
                                                                                   DMServiceRequestToken*) {
    return std::nullopt;
}
std::optional<int> ZYMGenericServiceDelegate::shouldMethodFailureInvalidateServiceWithFaultCode(
    ZYMGenericService&, DMServiceRequestToken*, const QString&, const QString&, const QString&) {
    return std::nullopt;
}
std::optional<int> ZYMGenericServiceDelegate::shouldMethodFailureInvalidateServiceWithStatusCode(ZYMGenericService&,
                                                                                                 DMServiceRequestToken*,
                                                                                                 const QString&,
                                                                                                 const QString&) {
    return std::nullopt;
}
std::optional<int> ZYMGenericServiceDelegate::shouldMethodFailureInvalidateServiceWithSenderFault(
    ZYMGenericService&, DMServiceRequestToken*, const QString&, const QString&) {
    return std::nullopt;
}
std::optional<int> ZYMGenericServiceDelegate::shouldMethodFailureInvalidateServiceWithReceiverFault(
    ZYMGenericService&, DMServiceRequestToken*, const QString&, const QString&) {
    return std::nullopt;
}
std::optional<int> ZYMGenericServiceDelegate::shouldMethodFailureInvalidateServiceWithServerFault(
    ZYMGenericService&, DMServiceRequestToken*, const QString&, const QString&) {
    return std::nullopt;
}
std::optional<int> ZYMGenericServiceDelegate::shouldMethodFailureInvalidateServiceWithErrorDomain(
    ZYMGenericService&, DMServiceRequestToken*, int, int) {
    return std::nullopt;
}
std::optional<int> ZYMGenericServiceDelegate::shouldMethodFailureInvalidateServiceWithPOSIXError(ZYMGenericService&,
                                                                                                 DMServiceRequestToken*,
                                                                                                 int) {
    return std::nullopt;
}
std::optional<int> ZYMGenericServiceDelegate::shouldMethodFailureInvalidateServiceWithMacOSError(ZYMGenericService&,
                                                                                                 DMServiceRequestToken*,
                                                                                                 int) {
    return std::nullopt;
}
std::optional<int> ZYMGenericServiceDelegate::shouldMethodFailureInvalidateServiceWithHTTPError(ZYMGenericService&,
                                                                                                DMServiceRequestToken*,
                                                                                                int) {
    return std::nullopt;
}
std::optional<int> ZYMGenericServiceDelegate::shouldMethodFailureInvalidateServiceWithNetDBError(ZYMGenericService&,
                                                                                                 DMServiceRequestToken*,
                                                                                                 int) {
    return std::nullopt;
}
std::optional<int> ZYMGenericServiceDelegate::shouldMethodFailureInvalidateServiceWithHTTPResponseCode(
    ZYMGenericService&, DMServiceRequestToken*, int) {
    return std::nullopt;
}
std::optional<int> ZYMGenericServiceDelegate::shouldMethodFailureInvalidateServiceWithURLRequestError(
    ZYMGenericService&, DMServiceRequestToken*, int) {
    return std::nullopt;
}

QString sifCanonicalizedString(const QString& text) {
    return Text(SIFCanonicalizedString(text.toUtf8().toStdString()));
}

// ---- ZYMGenericService ----

ZYMGenericService::ZYMGenericService(ZYMServiceEnvironment environment) : env_(environment) {}

ZYMGenericService::~ZYMGenericService() {
    stopCredentialsTimer();
    // Withdrawn first: the cancel's answer must not reach an object being destroyed.
    withdrawFromRequests();
    if (!authRequestToken_.isNull()) provider().cancelServiceRequest(authRequestToken_);
    if (genericService_) retireGenericServiceOnDestruction();
}

void ZYMGenericService::retireGenericServiceOnDestruction() {
    // The subclass's hook is gone by now.
    genericService_.reset();
}

ZYMServicesProvider& ZYMGenericService::provider() const {
    return env_.provider ? *env_.provider : ZYMServicesProvider::sharedProvider();
}
UserDefaults& ZYMGenericService::defaults() const {
    return env_.defaults ? *env_.defaults : UserDefaults::standardUserDefaults();
}
NotificationCenter& ZYMGenericService::notifications() const {
    return env_.notifications ? *env_.notifications : NotificationCenter::defaultCenter();
}
Localizer& ZYMGenericService::localizer() const { return env_.localizer ? *env_.localizer : Localizer::shared(); }
StatisticsRecorder& ZYMGenericService::statistics() const {
    return env_.statistics ? *env_.statistics : StatisticsRecorder::shared();
}
Clock& ZYMGenericService::clock() const { return env_.clock ? *env_.clock : Clock::system(); }
Scheduler& ZYMGenericService::scheduler() const { return env_.scheduler ? *env_.scheduler : Scheduler::main(); }

void ZYMGenericService::postNotification(const char* name, const QString& reason) {
    NotificationCenter::UserInfo info;
    if (!reason.isNull()) info[QLatin1String(kInvalidityReasonKey)] = reason;
    notifications().post(QLatin1String(name), this, std::move(info));
}

AuthenticationController& ZYMGenericService::requireAuthController() const {
    if (!authController_)
        throw ServiceLayerError(kImplementationError, "ZYMGenericService must have an auth controller");
    return *authController_;
}

QString ZYMGenericService::serviceName() const {
    throw ServiceLayerError(kImplementationError, "Subclasses of ZYMGenericService should override |serviceName|");
}

// ---- sign-on ----

void ZYMGenericService::requestServiceWithUsername(const QString& userName, QWidget* parentWindow) {
    postNotification(kServiceRequestNotification);
    authRequestToken_ = ZYMRequestToken();
    AuthenticationController& panels = requireAuthController();
    panels.setParentWindow(parentWindow);
    if (!userName.isEmpty()) panels.setScreenName(userName);
    panels.setDelegate(this);
    if (panels.authPanelNeedsToBeDisplayed())
        panels.displayAuthPanel();
    else
        startServiceRequestWithUsername(panels.username(), false);
}

void ZYMGenericService::startServiceRequestWithUsername(const QString& userName, bool isRenewal) {
    serviceAvailable_ = false;
    servicePending_ = true;
    if (std::exchange(signOnRefused_, false)) provider().resetUsername(userName);
    authenticationStartingForUsername(userName);
    if (authController_) authController_->setAuthenticationBusy(true);
    authRequestToken_ = provider().requestService(serviceName(), userName, isRenewal, this);
}

void ZYMGenericService::signOff() {
    cancelServiceRequest();
    serviceAvailable_ = false;
    dropGenericService();
    serviceDidBecomeInvalidWithReason(QLatin1String(kInvalidityUserLoggedOff));
}

void ZYMGenericService::cancelServiceRequest() {
    if (!authRequestToken_.isNull()) provider().cancelServiceRequest(authRequestToken_);
}

void ZYMGenericService::dropGenericService() {
    if (genericService_) retireGenericService(std::move(genericService_));
}

void ZYMGenericService::retireGenericService(std::unique_ptr<DMGenericService> service) { service.reset(); }

std::optional<QString> ZYMGenericService::authenticatedUsername(bool canonical) const {
    if (!serviceAvailable_ || !genericService_) return std::nullopt;
    const std::string& name = genericService_->GetUserName();
    return Text(canonical ? SIFCanonicalizedString(name) : name);
}

bool ZYMGenericService::usernameIsAuthenticatedUsername(const QString& userName) const {
    if (!serviceAvailable_ || userName.isEmpty()) return false;
    const std::optional<QString> plain = authenticatedUsername(false);
    const std::optional<QString> canonical = authenticatedUsername(true);
    if (plain && userName.compare(*plain, Qt::CaseInsensitive) == 0) return true;
    return canonical && sifCanonicalizedString(userName).compare(*canonical, Qt::CaseInsensitive) == 0;
}

void ZYMGenericService::authenticationStartingForUsername(const QString&) {
    postNotification(kAuthenticationDidStartNotification);
}

void ZYMGenericService::authenticationSucceeded() {
    if (authController_) authController_->setAuthenticationBusy(false);
}

QString ZYMGenericService::authenticationFailureKey(int reason) {
    switch (reason) {
    case 1: return QStringLiteral("AuthenticationFailureInvalidUsernameOrPassword");
    case 2: return QStringLiteral("AuthenticationFailureWrongSecurID");
    case 3: return QString();
    case 4: return QStringLiteral("AuthenticationFailureCertNotValidYet");
    case 5: return QStringLiteral("AuthenticationFailureSecurIDLocked");
    case 6: return QStringLiteral("AuthenticationFailureEmptyPassword");
    case 7: return QStringLiteral("AuthenticationFailureEmptySecurID");
    default: return QStringLiteral("AuthenticationFailureUnknown");
    }
}

QString ZYMGenericService::serviceRequestFailureKey(int reason) {
    switch (reason) {
    case 2: return QStringLiteral("ServiceRequestFailureHostNotAvailable");
    case 3: return QStringLiteral("ServiceRequestFailureNoAccessWithThisScreenname");
    case 6: return QStringLiteral("ServiceRequestFailureDiscoveryFailed");
    default: return QString();
    }
}

void ZYMGenericService::authenticationFailedWithReason(int reason) {
    if (authController_) authController_->setAuthenticationBusy(false);
    servicePending_ = false;
    if (reason == 3) return;
    AuthenticationController& panels = requireAuthController();
    if (reason == 1) panels.clearAuthCredentials();
    const QString key = authenticationFailureKey(reason);
    const QString message = localizer().text(key, QString());
    if (!message.isEmpty()) panels.displayAuthFailedPanel(message);
}

void ZYMGenericService::serviceRequestSucceeded(DMGenericService* service) { installCacheFactory(service); }

void ZYMGenericService::installCacheFactory(DMGenericService* service) {
    if (!service) return;
    service->InstallCacheFactory(env_.cacheFactory ? env_.cacheFactory : &SharedCacheStorageFactory());
}

void ZYMGenericService::serviceRequestFailedWithReason(int reason) {
    if (authController_) authController_->setAuthenticationBusy(false);
    servicePending_ = false;
    serviceAvailable_ = false;
    if (reason == 4) return;
    const QString key = serviceRequestFailureKey(reason);
    if (key.isEmpty()) return;
    const QString message = localizer().text(key, QString());
    if (!message.isEmpty()) requireAuthController().displayDiscoveryFailedPanel(message);
}

// ---- the request's callbacks ----

void ZYMGenericService::requestRequiresPassword(const ZYMRequestToken& token, const QString&) {
    AuthenticationController& panels = requireAuthController();
    authRequestToken_ = token;
    if (!panels.password().isEmpty())
        provider().setPassword(panels.password(), token);
    else if (!panels.isAuthPanelVisible())
        panels.displayAuthPanel();
}

void ZYMGenericService::requestRequiresSecurID(const ZYMRequestToken& token, const QString&) {
    AuthenticationController& panels = requireAuthController();
    if (!panels.isSecurIDPanelVisible()) panels.displaySecurIDPanel();
    panels.setAuthenticationBusy(false);
    authRequestToken_ = token;
}

void ZYMGenericService::requestAuthenticationSucceeded(const ZYMRequestToken&, const QString&) {
    if (authController_) authController_->storeAuthCredentials();
    authenticationSucceeded();
    authRequestToken_ = ZYMRequestToken();
}

void ZYMGenericService::requestAuthenticationFailed(const ZYMRequestToken& token, const QString&, int reason) {
    if (reason == 8) reason = reasonForUnknownFailure(token);
    reportAuthenticationPhoneHomeErrorForFailure(token, reason);
    authenticationFailedWithReason(reason);
    authRequestToken_ = ZYMRequestToken();
}

void ZYMGenericService::requestSucceeded(const ZYMRequestToken&, const QString&, DMGenericService* service) {
    // The old object goes before the new one installs its cache: both use one file.
    dropGenericService();
    genericService_.reset(service);
    serviceAvailable_ = true;
    servicePending_ = false;
    serviceRequestSucceeded(service);
    authRequestToken_ = ZYMRequestToken();
}

void ZYMGenericService::requestFailed(const ZYMRequestToken& token, const QString&, int reason) {
    if (reason == 6) signOnRefused_ = true;
    serviceAvailable_ = false;
    servicePending_ = false;
    reportDiscoveryPhoneHomeErrorForFailure(token, reason);
    serviceRequestFailedWithReason(reason);
    authRequestToken_ = ZYMRequestToken();
}

int ZYMGenericService::reasonForUnknownFailure(const ZYMRequestToken& token) const {
    if (token.isNull()) return 8;
    int domain = 0, code = 0;
    if (ZYMServiceFailureVerdict::readTransportFailure(token.fault(), domain, code) &&
        domain == kSecureTransportDomain && code == kCertNotYetValid)
        return 4;
    return 8;
}

void ZYMGenericService::reportDiscoveryPhoneHomeErrorForFailure(const ZYMRequestToken& token, int reason) {
    quint8 kind = 33;
    quint16 code = 65535;
    int domain = 0, error = 0;
    if (reason == 2)
        code = 4097;
    else if (reason == 3)
        code = 4098;
    else if (reason == 6)
        code = 4099;
    else if (ZYMServiceFailureVerdict::readTransportFailure(token.fault(), domain, error)) {
        if (domain == 4 || domain == 1 || domain == 2) {
            kind = domain == 4 ? 3 : domain == 1 ? 2 : 1;
            code = quint16(error);
        }
    }
    statistics().setNumber(kPhoneHomeKeyServiceError, PackErrorCode(kind, code));
}

void ZYMGenericService::reportAuthenticationPhoneHomeErrorForFailure(const ZYMRequestToken& token, int reason) {
    quint8 kind = 32;
    quint16 code = 65535;
    int domain = 0, error = 0;
    if (reason == 1)
        code = 4096;
    else if (reason == 2)
        code = 4097;
    else if (reason == 3)
        code = 1;
    else if (reason == 4)
        code = 4098;
    else if (ZYMServiceFailureVerdict::readTransportFailure(token.fault(), domain, error)) {
        kind = domain == 4 ? 3 : domain == 1 ? 2 : domain == 2 ? 1 : 0;
        code = quint16(error);
    }
    statistics().setNumber(kPhoneHomeKeyServiceError, PackErrorCode(kind, code));
}

// ---- the panels' buttons ----

void ZYMGenericService::authenticationControllerOKButtonClicked(AuthenticationController& controller) {
    controller.setAuthenticationBusy(true);
    if (!authRequestToken_.isNull())
        provider().setPassword(controller.password(), authRequestToken_);
    else if (!serviceAvailable_ && !servicePending_)
        startServiceRequestWithUsername(controller.username(), false);
}

void ZYMGenericService::authenticationControllerSecurIDOKButtonClicked(AuthenticationController& controller) {
    controller.setAuthenticationBusy(true);
    if (!authRequestToken_.isNull())
        provider().setSecurID(controller.securID(), authRequestToken_);
    else if (!serviceAvailable_ && !servicePending_)
        startServiceRequestWithUsername(controller.username(), false);
}

void ZYMGenericService::authenticationControllerCancelButtonClicked(AuthenticationController& controller) {
    controller.setAuthenticationBusy(false);
    cancelHeldRequest();
}

void ZYMGenericService::authenticationControllerSecurIDCancelButtonClicked(AuthenticationController&) {
    cancelHeldRequest();
}

void ZYMGenericService::cancelHeldRequest() {
    if (authRequestToken_.isNull()) {
        authenticationFailedWithReason(3);
        return;
    }
    // Dropped first: the cancel's final callback may come inside the call.
    const ZYMRequestToken token = authRequestToken_;
    authRequestToken_ = ZYMRequestToken();
    provider().cancelServiceRequest(token);
}

// ---- validity ----

void ZYMGenericService::serviceDidBecomeValid() {
    postNotification(kServiceEstablishedNotification);
    if (delegate_) delegate_->serviceDidBecomeValid(*this);
    startCredentialsTimer();
}

void ZYMGenericService::serviceWillBecomeInvalid() {
    serviceAvailable_ = false;
    postNotification(kServiceWillBecomeInvalidNotification);
    if (delegate_) delegate_->serviceWillBecomeInvalid(*this);
}

void ZYMGenericService::serviceDidBecomeInvalidWithReason(const QString& reason) {
    postNotification(kServiceNoLongerValidNotification, reason);
    if (delegate_) delegate_->serviceDidBecomeInvalidWithReason(*this, reason);
    stopCredentialsTimer();
}

// ---- renewal ----

bool ZYMGenericService::credentialsTimerActive() const { return credentialsTimer_ && credentialsTimer_->isActive(); }

double ZYMGenericService::credentialsRenewalInterval() {
    const qint64 configured = defaults().integer(QLatin1String(kRenewalIntervalDefaultsKey));
    if (configured != 0) return double(configured);
    const std::optional<QString> user = authenticatedUsername(true);
    const std::optional<QDateTime> expiry =
        provider().authenticationCredentialsExpirationDateForUsername(user.value_or(QString()));
    if (!expiry) return std::numeric_limits<double>::infinity();
    const double t = expiry->isValid() ? double(clock().now().msecsTo(*expiry)) / 1000.0 : 0.0;
    LogMessage(kLogInfo, "credentialsRenewalInterval - expiration in %f secs\n", t);
    return t > 3600.0 ? t - 3600.0 : t * 0.5;
}

void ZYMGenericService::startCredentialsTimer() {
    stopCredentialsTimer();
    const double interval = credentialsRenewalInterval();
    LogMessage(kLogInfo, "startCredentialsTimer - interval = %f secs\n", interval);
    if (interval > 0 && std::isfinite(interval)) {
        const QString user = authenticatedUsername(true).value_or(QString());
        credentialsTimer_ = scheduler().singleShot(std::chrono::milliseconds(qint64(interval * 1000.0)),
                                                   [this, user] { credentialsTimerTask(user); });
    } else {
        LogMessage(kLogInfo, "startCredentialsTimer - turned off\n");
    }
}

void ZYMGenericService::stopCredentialsTimer() {
    if (credentialsTimer_) credentialsTimer_->cancel();
    credentialsTimer_.reset();
}

void ZYMGenericService::credentialsTimerTask(const QString& userName) {
    LogMessage(kLogInfo, "credentialsTimerTask\n");
    if (!credentialsTimer_) return;
    // The timer has fired; keep nothing of it.
    std::unique_ptr<ScheduledTimer> fired = std::move(credentialsTimer_);
    postNotification(kAuthenticationWillRenewNotification);
    requestServiceRenewalWithUsername(userName);
}

void ZYMGenericService::requestServiceRenewalWithUsername(const QString& userName) {
    const QByteArray name = Bytes(userName);
    LogMessage(kLogInfo, "requestServiceRenewalWithUsername - [%s]\n", name.constData());
    if (!usernameIsAuthenticatedUsername(userName)) {
        LogMessage(kLogError, "requestServiceRenewalWithUsername - failed - username [%s] is not authenticated.\n",
                   name.constData());
        return;
    }
    postNotification(kServiceRequestNotification);
    authRequestToken_ = ZYMRequestToken();
    startServiceRequestWithUsername(userName, true);
}

// ---- the verdict ----

int ZYMGenericService::shouldMethodFailureInvalidateService(DMServiceRequestToken* token) {
    return verdict_.shouldMethodFailureInvalidateService(token);
}
