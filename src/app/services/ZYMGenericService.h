#pragma once

// The base of every application-side web service (the radio service derives from it).
// It owns one user's sign-on for one service: it drives the sign-on panels in answer to
// the core's questions, starts and cancels the service request, keeps the core's
// service object once it arrives, installs the on-disk cache storage into it, renews the
// credentials before they expire, reports sign-on and discovery failures to the
// statistics, and answers the core's question whether a failed call invalidates the
// service (the verdict: 0 keep it, 1 drop this service for the user and discover it
// again, 2 reset the user's whole sign-on).
//
// Every step is told by a notification (object: the service) and, where the delegate
// wants it, by a delegate call. Entries from the event loop (the request's callbacks,
// the panels' buttons, the renewal timer) never throw. Main thread only.

#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>

#include "app/signon/AuthenticationController.h"
#include "app/services/ZYMServiceFailureVerdict.h"
#include "app/services/ZYMServicesProvider.h"

class Clock;
class DMGenericService;
class DMServiceRequestToken;
class Localizer;
class NotificationCenter;
class ScheduledTimer;
class Scheduler;
class StatisticsRecorder;
class UserDefaults;
class ZYMCacheStorageFactory;
class ZYMGenericService;

// Notification names.
inline constexpr const char* kServiceRequestNotification = "ServiceRequestNotification";
inline constexpr const char* kAuthenticationDidStartNotification = "AuthenticationDidStartNotificationName";
inline constexpr const char* kAuthenticationWillRenewNotification = "AuthenticationWillRenewNotificationName";
inline constexpr const char* kServiceEstablishedNotification = "ServiceEstablishedNotification";
inline constexpr const char* kServiceWillBecomeInvalidNotification = "ServiceWillBecomeInvalidNotification";
inline constexpr const char* kServiceNoLongerValidNotification = "ServiceNoLongerValidNotification";
// User information key of kServiceNoLongerValidNotification (a QString), and its values.
inline constexpr const char* kInvalidityReasonKey = "invalidity_reason";
inline constexpr const char* kInvalidityUserLoggedOff = "UserLoggedOff";
inline constexpr const char* kInvalidityServiceError = "ServiceError";

inline constexpr const char* kRenewalIntervalDefaultsKey = "lfs_auth_renewal_interval";

// The text's UTF-8 bytes 0x21 to 0x7E, lower-cased: how the core keys its users.
QString sifCanonicalizedString(const QString& text);

// The delegate (the main window). Every method has a default meaning "not implemented".
// A verdict question the delegate answers (a value, not nullopt) is decided by that
// answer alone: the service neither logs nor asks further.
class ZYMGenericServiceDelegate {
public:
    virtual ~ZYMGenericServiceDelegate() = default;

    virtual void serviceDidBecomeValid(ZYMGenericService& service);
    virtual void serviceWillBecomeInvalid(ZYMGenericService& service);
    virtual void serviceDidBecomeInvalidWithReason(ZYMGenericService& service, const QString& reason);

    virtual std::optional<int> shouldMethodFailureInvalidateService(ZYMGenericService& service,
                                                                    DMServiceRequestToken* token);
    virtual std::optional<int> shouldMethodFailureInvalidateServiceWithFaultCode(ZYMGenericService& service,
                                                                                 DMServiceRequestToken* token,
                                                                                 const QString& faultCode,
                                                                                 const QString& faultString,
                                                                                 const QString& faultActor);
    virtual std::optional<int> shouldMethodFailureInvalidateServiceWithStatusCode(ZYMGenericService& service,
                                                                                  DMServiceRequestToken* token,
                                                                                  const QString& statusCode,
                                                                                  const QString& statusComment);
    virtual std::optional<int> shouldMethodFailureInvalidateServiceWithSenderFault(ZYMGenericService& service,
                                                                                   DMServiceRequestToken* token,
                                                                                   const QString& faultString,
                                                                                   const QString& faultActor);
    virtual std::optional<int> shouldMethodFailureInvalidateServiceWithReceiverFault(ZYMGenericService& service,
                                                                                     DMServiceRequestToken* token,
                                                                                     const QString& faultString,
                                                                                     const QString& faultActor);
    virtual std::optional<int> shouldMethodFailureInvalidateServiceWithServerFault(ZYMGenericService& service,
                                                                                   DMServiceRequestToken* token,
                                                                                   const QString& faultString,
                                                                                   const QString& faultActor);
    virtual std::optional<int> shouldMethodFailureInvalidateServiceWithErrorDomain(ZYMGenericService& service,
                                                                                   DMServiceRequestToken* token,
                                                                                   int domain, int code);
    virtual std::optional<int> shouldMethodFailureInvalidateServiceWithPOSIXError(ZYMGenericService& service,
                                                                                  DMServiceRequestToken* token,
                                                                                  int code);
    virtual std::optional<int> shouldMethodFailureInvalidateServiceWithMacOSError(ZYMGenericService& service,
                                                                                  DMServiceRequestToken* token,
                                                                                  int code);
    virtual std::optional<int> shouldMethodFailureInvalidateServiceWithHTTPError(ZYMGenericService& service,
                                                                                 DMServiceRequestToken* token,
                                                                                 int code);
    virtual std::optional<int> shouldMethodFailureInvalidateServiceWithNetDBError(ZYMGenericService& service,
                                                                                  DMServiceRequestToken* token,
                                                                                  int code);
    virtual std::optional<int> shouldMethodFailureInvalidateServiceWithHTTPResponseCode(ZYMGenericService& service,
                                                                                        DMServiceRequestToken* token,
                                                                                        int code);
    virtual std::optional<int> shouldMethodFailureInvalidateServiceWithURLRequestError(ZYMGenericService& service,
                                                                                       DMServiceRequestToken* token,
                                                                                       int code);
};

// What a service works with; a null entry means the application's own.
struct ZYMServiceEnvironment {
    ZYMServicesProvider* provider = nullptr;
    UserDefaults* defaults = nullptr;
    NotificationCenter* notifications = nullptr;
    Localizer* localizer = nullptr;
    StatisticsRecorder* statistics = nullptr;
    Clock* clock = nullptr;
    Scheduler* scheduler = nullptr;
    ZYMCacheStorageFactory* cacheFactory = nullptr;
};

class ZYMGenericService : public ZYMServiceRequestClient, public AuthenticationControllerDelegate {
public:
    explicit ZYMGenericService(ZYMServiceEnvironment environment = {});
    // Stops the timer, cancels a request in flight and deletes the core's service object.
    ~ZYMGenericService() override;

    void setDelegate(ZYMGenericServiceDelegate* delegate) { delegate_ = delegate; }
    ZYMGenericServiceDelegate* delegate() const { return delegate_; }
    // Not owned; must be set before a request starts.
    void setAuthenticationController(AuthenticationController* controller) { authController_ = controller; }
    AuthenticationController* authenticationController() const { return authController_; }

    // Starts a sign-on: shows the sign-on panel when it must be shown (sticky, no screen
    // name, or no password in the keyring), else sends the request at once. A null
    // parent makes the panels free-standing.
    void requestServiceWithUsername(const QString& userName, QWidget* parentWindow);
    // Cancels a pending request, marks the service unavailable, deletes the core's
    // service object and tells "UserLoggedOff".
    void signOff();
    void cancelServiceRequest();

    bool serviceAvailable() const { return serviceAvailable_; }
    bool servicePending() const { return servicePending_; }
    void setServiceAvailable(bool available) { serviceAvailable_ = available; }
    // Null unless available: the user name the core's service object holds, reduced to
    // its canonical form when asked.
    std::optional<QString> authenticatedUsername(bool canonical) const;
    bool usernameIsAuthenticatedUsername(const QString& userName) const;

    // The verdict on a failed call of the core's service object (token: the call's); see
    // ZYMServiceFailureVerdict.
    virtual int shouldMethodFailureInvalidateService(DMServiceRequestToken* token);

    // The core's service object, owned; null until a request succeeded.
    DMGenericService* genericService() const { return genericService_.get(); }
    // The held request, null when none.
    const ZYMRequestToken& requestToken() const { return authRequestToken_; }
    // The renewal timer is pending.
    bool credentialsTimerActive() const;

    // The seconds until renewal: the "lfs_auth_renewal_interval" default when it is not 0
    // (negative: off), else 3600 s before the credentials expire, or half the remaining
    // time when at most 3600 s remain; 0 or less: off; infinity: no expiry known, no timer.
    double credentialsRenewalInterval();

    // ZYMServiceRequestClient.
    void requestRequiresPassword(const ZYMRequestToken& token, const QString& userName) override;
    void requestRequiresSecurID(const ZYMRequestToken& token, const QString& userName) override;
    void requestAuthenticationSucceeded(const ZYMRequestToken& token, const QString& userName) override;
    void requestAuthenticationFailed(const ZYMRequestToken& token, const QString& userName, int reason) override;
    void requestSucceeded(const ZYMRequestToken& token, const QString& serviceName, DMGenericService* service) override;
    void requestFailed(const ZYMRequestToken& token, const QString& serviceName, int reason) override;

    // AuthenticationControllerDelegate.
    void authenticationControllerOKButtonClicked(AuthenticationController& controller) override;
    void authenticationControllerCancelButtonClicked(AuthenticationController& controller) override;
    void authenticationControllerSecurIDOKButtonClicked(AuthenticationController& controller) override;
    void authenticationControllerSecurIDCancelButtonClicked(AuthenticationController& controller) override;

    // The localized-text keys of failure reasons; "" where nothing is shown.
    static QString authenticationFailureKey(int reason);
    static QString serviceRequestFailureKey(int reason);

protected:
    // Hooks; a subclass that extends one calls the base.
    // "RadioService" in the radio service; the base throws "Implementation Error".
    virtual QString serviceName() const;
    // Posts "AuthenticationDidStartNotificationName".
    virtual void authenticationStartingForUsername(const QString& userName);
    // The panels are no longer busy.
    virtual void authenticationSucceeded();
    // Shows the reason's alert (nothing for a cancel).
    virtual void authenticationFailedWithReason(int reason);
    // Installs the cache storage into the new service object.
    virtual void serviceRequestSucceeded(DMGenericService* service);
    virtual void installCacheFactory(DMGenericService* service);
    // Shows the reason's alert (nothing for a cancel).
    virtual void serviceRequestFailedWithReason(int reason);
    // Called when the core's service object is replaced (by a renewal) or dropped (sign
    // off). The default deletes it at once; a subclass may keep it alive a while longer.
    // Not called from the destructor, which deletes the object itself: a subclass
    // detaches whatever the object calls back before that.
    virtual void retireGenericService(std::unique_ptr<DMGenericService> service);

    // Validity, called by the subclass as its service object reports it.
    virtual void serviceDidBecomeValid();
    virtual void serviceWillBecomeInvalid();
    virtual void serviceDidBecomeInvalidWithReason(const QString& reason);

    // Renewal.
    void startCredentialsTimer();
    void stopCredentialsTimer();
    virtual void credentialsTimerTask(const QString& userName);
    void requestServiceRenewalWithUsername(const QString& userName);

    // The refined reason of an authentication failure the core calls "other" (8): 4
    // when the request failed on a server certificate that is not valid yet.
    int reasonForUnknownFailure(const ZYMRequestToken& token) const;
    void reportDiscoveryPhoneHomeErrorForFailure(const ZYMRequestToken& token, int reason);
    void reportAuthenticationPhoneHomeErrorForFailure(const ZYMRequestToken& token, int reason);

    void postNotification(const char* name, const QString& reason = QString());

    ZYMServicesProvider& provider() const;
    UserDefaults& defaults() const;
    NotificationCenter& notifications() const;
    Localizer& localizer() const;
    StatisticsRecorder& statistics() const;
    Clock& clock() const;
    Scheduler& scheduler() const;

private:
    void startServiceRequestWithUsername(const QString& userName, bool isRenewal);
    AuthenticationController& requireAuthController() const;
    void dropGenericService();
    void cancelHeldRequest();
    void retireGenericServiceOnDestruction();

    ZYMServiceEnvironment env_;
    AuthenticationController* authController_ = nullptr;
    ZYMRequestToken authRequestToken_;
    std::unique_ptr<DMGenericService> genericService_;
    bool serviceAvailable_ = false;
    bool servicePending_ = false;
    // Discovery refused the held sign-on (a server that no longer knows it): the next request
    // signs on afresh instead of presenting it again.
    bool signOnRefused_ = false;
    ZYMGenericServiceDelegate* delegate_ = nullptr;
    std::unique_ptr<ScheduledTimer> credentialsTimer_;
    ZYMServiceFailureVerdict verdict_{*this};
};
