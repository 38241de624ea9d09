#pragma once

// The process's owner of the web-service core's root: sets the services endpoint, the
// device identity and the user-agent format, starts service requests (sign-on,
// discovery, the service object) for a client, passes the password or passcode the core
// asked for back to the pending request, cancels requests, forgets a user's sign-on and
// tells when the user's credentials expire.
//
// Each request gets its own listener, which turns the core's callbacks into calls of the
// client's ZYMServiceRequestClient methods, on the main thread:
// - never inside requestService (callbacks the core makes there are delivered on a later
//   pass of the loop);
// - never to a client that has been destroyed (the service object such a request made
//   is deleted);
// - nothing after the request's final callback (authentication failed, service
//   created, service failed); the listener is freed after it.
// A token names its request in every callback and call; it stays a valid name after
// the request ended (calls with it are then ignored). Main thread only.

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>

#include "dms/core/DMSIFMethod.h"
#include "dms/core/DMSIFTypes.h"

class DMGenericService;
class DMServicesProvider;
class LThreadEventQueue;
class UserDefaults;
class ZYMServicesListener;

// Names one service request.
class ZYMRequestToken {
public:
    ZYMRequestToken() = default;
    bool isNull() const { return id_ == 0; }
    std::uint64_t id() const { return id_; }
    // The core's last fault for the request, as it stood at the callback that carries the
    // token (empty before any).
    const DMSIF_FaultType& fault() const;
    friend bool operator==(const ZYMRequestToken& a, const ZYMRequestToken& b) { return a.id_ == b.id_; }
    friend bool operator!=(const ZYMRequestToken& a, const ZYMRequestToken& b) { return a.id_ != b.id_; }

private:
    friend class ZYMServicesListener;
    friend class ZYMServicesProvider;
    std::uint64_t id_ = 0;
    std::shared_ptr<const DMSIF_FaultType> fault_;
};

// The client of a service request (ZYMGenericService). Destroying a client withdraws it
// from its requests: they go on, but it hears nothing more.
class ZYMServiceRequestClient {
public:
    virtual void requestRequiresPassword(const ZYMRequestToken& token, const QString& userName) = 0;
    virtual void requestRequiresSecurID(const ZYMRequestToken& token, const QString& userName) = 0;
    virtual void requestAuthenticationSucceeded(const ZYMRequestToken& token, const QString& userName) = 0;
    // Final. Reasons as the core gives them (1 wrong password ... 8 other).
    virtual void requestAuthenticationFailed(const ZYMRequestToken& token, const QString& userName, int reason) = 0;
    // Final; the client owns `service` from then on (null only if the core made none).
    virtual void requestSucceeded(const ZYMRequestToken& token, const QString& serviceName,
                                  DMGenericService* service) = 0;
    // Final. Reasons: 2 host not available, 3 no access, 4 cancelled, 6 discovery failed.
    virtual void requestFailed(const ZYMRequestToken& token, const QString& serviceName, int reason) = 0;

protected:
    ZYMServiceRequestClient();
    virtual ~ZYMServiceRequestClient();
    ZYMServiceRequestClient(const ZYMServiceRequestClient&) = delete;
    ZYMServiceRequestClient& operator=(const ZYMServiceRequestClient&) = delete;
    // From now on this client hears nothing of the requests it started.
    void withdrawFromRequests() { anchor_ = std::make_shared<int>(0); }

private:
    friend class ZYMServicesListener;
    std::shared_ptr<int> anchor_;
};

class ZYMServicesProvider {
public:
    // Makes the core's provider, an event queue on the calling thread for its callbacks,
    // sets the built-in services endpoint, then loadDefaults (from `defaults`, or the
    // application's when null).
    explicit ZYMServicesProvider(UserDefaults* defaults = nullptr);
    // Deletes the core's provider (pending requests get no callback), then the listeners.
    ~ZYMServicesProvider();
    ZYMServicesProvider(const ZYMServicesProvider&) = delete;
    ZYMServicesProvider& operator=(const ZYMServicesProvider&) = delete;

    // The application's provider, made on first use on the calling (main) thread.
    static ZYMServicesProvider& sharedProvider();

    // "RadioService" <-> 'Rdo3', "PicturesService" <-> 'Pict'; others 0 / null.
    static EServiceType serviceTypeFromName(const QString& name);
    static QString serviceNameFromType(EServiceType type);

    // A non-empty "service_url" default becomes the services endpoint.
    void loadDefaults();
    void setServiceURL(const QString& url);
    QString serviceURL() const;
    void setDeviceName(const QString& name, const QString& manufacturer, const QString& version);
    void setUserAgentFormat(const QString& format);

    // Starts a request for `client` (which must not be null: ServiceLayerError
    // "ProtocolError" otherwise).
    ZYMRequestToken requestService(const QString& serviceName, const QString& userName, bool isRenewal,
                                   ZYMServiceRequestClient* client);
    void setPassword(const QString& password, const ZYMRequestToken& token);
    void setSecurID(const QString& passcode, const ZYMRequestToken& token);
    void cancelServiceRequest(const ZYMRequestToken& token);
    // Forgets the user's whole sign-on (pending requests are cancelled).
    void resetUsername(const QString& userName);
    // nullopt: the user holds no credentials (they never expire as far as we know); an
    // invalid date: the core's expiry did not parse.
    std::optional<QDateTime> authenticationCredentialsExpirationDateForUsername(const QString& userName);

    // The core's provider (tests, and the core's own calls).
    DMServicesProvider& core() { return *core_; }
    // Listeners not yet freed.
    int listenerCount() const { return int(listeners_.size()); }

private:
    friend class ZYMServicesListener;
    ZYMServicesListener* find(const ZYMRequestToken& token) const;
    void release(ZYMServicesListener* listener);

    std::unique_ptr<DMServicesProvider> core_;
    LThreadEventQueue* queue_ = nullptr;
    UserDefaults* defaults_ = nullptr;
    std::uint64_t nextId_ = 1;
    std::map<std::uint64_t, std::unique_ptr<ZYMServicesListener>> listeners_;
    std::shared_ptr<int> alive_;
};
