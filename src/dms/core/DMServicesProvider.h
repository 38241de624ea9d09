#pragma once

// The root of the web-service client: the application asks it for a service on behalf
// of a user, answers the sign-on's questions, cancels requests and tells it to forget a
// service or a whole sign-on. One DMServicesUserInfo per user, keyed by the canonical
// user name, does the work.
//
// Every request (a DMServiceRequestToken) ends with exactly one final callback of its
// listener: AuthenticationFailed, ServiceRequestSucceeded or ServiceRequestFailed. After
// that call the token is deleted: keep no pointer to it. Callbacks are direct calls on
// the main thread, from inside a queued delivery or from inside the provider's own
// operations (a signed-on user asking for a discovered service type gets both
// AuthenticationSucceeded and ServiceRequestSucceeded before RequestService returns; the
// token it returns is then already gone). Listeners may call the provider from inside
// any callback. Main thread only, no locks.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "dms/core/DMAuthenticationTypes.h"
#include "dms/core/DMSIFMethod.h"

class DMGenericService;
class DMServicesUserInfo;
class LThreadEventQueue;

// Reasons of DMServiceRequestListener::AuthenticationFailed.
enum : std::int32_t {
    kDMAuthFailedWrongPassword = 1,
    kDMAuthFailedWrongSecurID = 2,
    kDMAuthFailedCancelled = 3,
    kDMAuthFailedServerMessage = 5,
    kDMAuthFailedNoPasswordBeforeSecurID = 6,
    kDMAuthFailedNoSecurIDData = 7,
    kDMAuthFailedOther = 8,
};

// Reasons of DMServiceRequestListener::ServiceRequestFailed.
enum : std::int32_t {
    kDMServiceFailedCancelled = 4,
    kDMServiceFailedOther = 6,
};

class DMServiceRequestListener {
public:
    // Answer with DMServicesProvider::SetPasswordForRequest.
    virtual void RequiresPassword(const std::string& userName, DMServiceRequestToken* token) = 0;
    // Answer with DMServicesProvider::SetSecurIDForRequest.
    virtual void RequiresSecurID(const std::string& userName, DMServiceRequestToken* token) = 0;
    virtual void AuthenticationSucceeded(const std::string& userName, DMServiceRequestToken* token) = 0;
    // Final.
    virtual void AuthenticationFailed(const std::string& userName, DMServiceRequestToken* token,
                                      std::int32_t reason) = 0;
    // Final; the facade (null only if none could be made) belongs to the listener's owner.
    virtual void ServiceRequestSucceeded(DMGenericService* service, EServiceType type,
                                         DMServiceRequestToken* token) = 0;
    // Final.
    virtual void ServiceRequestFailed(std::int32_t reason, EServiceType type, DMServiceRequestToken* token) = 0;

protected:
    ~DMServiceRequestListener() = default;
};

class DMServicesProvider {
public:
    DMServicesProvider();
    // Deletes the records; requests still pending get no callback. (In the program the
    // provider lives as long as the program.)
    virtual ~DMServicesProvider();
    DMServicesProvider(const DMServicesProvider&) = delete;
    DMServicesProvider& operator=(const DMServicesProvider&) = delete;

    // Settings reach only records and controllers made afterwards.
    void SetServiceURL(const std::string& url) { mServiceURL = url; }
    const std::string& GetServiceURL() const { return mServiceURL; }
    void SetEventQueue(LThreadEventQueue* queue) { mEventQueue = queue; }
    LThreadEventQueue* GetEventQueue() const { return mEventQueue; }
    void SetDeviceName(const std::string& name, const std::string& manufacturer, const std::string& version);
    void SetUserAgentFormat(const std::string& format) { mUserAgentFormat = format; }
    const std::string& GetDeviceName() const { return mDeviceName; }
    const std::string& GetManufacturer() const { return mManufacturer; }
    const std::string& GetVersion() const { return mVersion; }
    const std::string& GetUserAgentFormat() const { return mUserAgentFormat; }

    DMServiceRequestToken* RequestService(EServiceType type, const std::string& userName, bool isRenewal,
                                          DMServiceRequestListener* listener);
    // Tokens that have had their final callback are ignored.
    void SetPasswordForRequest(const std::string& password, DMServiceRequestToken* token);
    void SetSecurIDForRequest(const std::string& passcode, DMServiceRequestToken* token);
    void CancelServiceRequest(DMServiceRequestToken* token);
    // The held credentials' NotOnOrAfter text; "" while none is known.
    std::string AuthenticationCredentialsExpirationDate(const std::string& userName);
    void ResetUsername(const std::string& userName);
    void ClearServiceForUsername(const std::string& userName, EServiceType type);

    // The user's record; with create, a new one is made when there is none.
    DMServicesUserInfo* GetUserInfo(const std::string& userName, bool create);

private:
    // The record whose request the token is, null for a finished or foreign token.
    DMServicesUserInfo* FindTokenOwner(DMServiceRequestToken* token);

    std::map<std::string, std::unique_ptr<DMServicesUserInfo>> mUsers;
    std::string mServiceURL;
    LThreadEventQueue* mEventQueue = nullptr;  // not owned
    std::string mDeviceName;
    std::string mManufacturer;
    std::string mVersion;
    std::string mUserAgentFormat;
};
