#pragma once

// One user's discovery of one service type: the Query that finds the service, the
// offering and credentials it returned, and the requests waiting for it. Once
// discovered, every later request gets a new controller and facade at once. Main thread
// only; see DMServicesUserInfo for the re-entrancy rules.

#include <list>
#include <memory>
#include <string>

#include "dms/core/DMSIFMethod.h"
#include "dms/core/DMSIFServiceListener.h"
#include "dms/core/DMSOAPElementType.h"

class DMServicesUserInfo;

class DMUserDiscoveryInfo : public DMSIFServiceListener {
public:
    DMUserDiscoveryInfo(EServiceType type, DMServicesUserInfo* owner);
    // Forgets the waiting list without telling anyone (see TakeWaiting).
    virtual ~DMUserDiscoveryInfo();
    DMUserDiscoveryInfo(const DMUserDiscoveryInfo&) = delete;
    DMUserDiscoveryInfo& operator=(const DMUserDiscoveryInfo&) = delete;

    // A discovered record serves the token at once unless the sign-on is awaited;
    // otherwise the token waits, and a Query starts unless one runs or the sign-on is
    // awaited.
    void RequestService(DMServiceRequestToken* token, bool waitForSignOn);
    // Sends the Query (abandoning one in flight). A Query that cannot be sent ends the
    // waiting requests with reason 6.
    void StartQuery();
    // The service factory for this record's type and offering: hands the token a new
    // controller and facade, or ends it with reason 6 when none can be made.
    void CreateService(DMServiceRequestToken* token);
    // Ends the token with reason 4 when it waits here; the Query stops when no one else
    // waits for it.
    [[nodiscard]] bool CancelToken(DMServiceRequestToken* token);
    // Gives up the Query in flight: it is cancelled and its deliveries ignored.
    void AbandonQuery();
    // Takes the record out of service (AbandonQuery; later deliveries ignored).
    void Detach();
    bool IsDetached() const { return mDetached; }
    // True while a delivery of the abandoned or running Query may still arrive.
    bool MayBeReached() const;

    bool Waits(DMServiceRequestToken* token) const;
    void Remove(DMServiceRequestToken* token);
    // Hands the waiting list over, leaving this record's empty.
    std::list<DMServiceRequestToken*> TakeWaiting();
    void AddWaiting(DMServiceRequestToken* token);
    const std::list<DMServiceRequestToken*>& GetWaiting() const { return mWaiting; }

    void DidFinish(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input, DMSIF_MethodOutputType* output) override;
    void DidFail(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input, DMSIF_MethodOutputType* output) override;
    void DidCancel(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input) override;

    // The discovered offering proved unusable: the next request queries again.
    void ForgetDiscovery() { mDiscovered = false; }

    EServiceType GetType() const { return mType; }
    bool IsDiscovering() const { return mDiscovering; }
    bool IsDiscovered() const { return mDiscovered; }
    DMSOAPElementType* GetResourceOffering() const { return mResourceOffering.get(); }
    DMSOAPElementType* GetCredentials() const { return mCredentials.get(); }

private:
    bool IsCurrentQuery(DMSIF_MethodRef* ref) const;
    void Failed(bool cancelled, DMSIF_MethodOutputType* output);

    EServiceType mType;
    DMServicesUserInfo* mOwner;  // not owned
    bool mDiscovering = false;
    bool mDiscovered = false;
    std::unique_ptr<DMSOAPElementType> mResourceOffering;
    std::unique_ptr<DMSOAPElementType> mCredentials;
    std::list<DMServiceRequestToken*> mWaiting;
    DMSIF_MethodRef* mQueryRef = nullptr;  // the running Query
    std::string mQueryID;
    std::string mLastQueryID;  // the most recent Query, running or abandoned
    bool mDetached = false;
};
