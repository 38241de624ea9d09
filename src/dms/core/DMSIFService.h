#pragma once

// The base of every service controller: endpoint, credentials (the WS-Security header),
// the DeviceType header and User-Agent, validity, and the calls in flight, each kept as
// one DMSIF_MethodRef whose outcome goes to a DMSIFServiceListener through the dispatch
// operations (directly, or through the event queue when one is set).
//
// A derived controller adds one request builder per schema method, which encodes the
// method's input into a body element and calls Invoke, and overrides SIFRequestDidFinish
// and SIFRequestDidFail to decode its outputs and then call DispatchDidFinish or
// DispatchDidFail.
//
// Lifetime: a ref handed to a listener stays readable until the next Invoke of the same
// service (or its destruction). Queued events of a destroyed service are dropped; a
// listener must outlive the deliveries addressed to it (or the service). Without an event
// queue, a listener must not destroy the service from inside a delivery.
// Main thread only, no locks.

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "dms/core/DMSIFMethod.h"
#include "dms/core/DMSIFRequest.h"
#include "dms/core/DMSIFServiceListener.h"
#include "dms/core/DMSOAPService.h"

class LThreadEvent;
class LThreadEventQueue;

class DMSIFService : public DMSOAPService, public DMSIFRequestListener, public DMSIFServiceListenerDispatch {
public:
    DMSIFService(const std::string& serviceType, DMSIFServiceListener* listener);
    DMSIFService(const std::string& serviceType, const std::string& endpoint, DMSIFServiceListener* listener);
    ~DMSIFService() override;

    virtual void SetDeviceManufacturer(const std::string& value);
    virtual void SetDeviceName(const std::string& value);
    virtual void SetDeviceVersion(const std::string& value);
    virtual void SetUserAgentFormat(const std::string& format);
    virtual void SetAppendCID(bool on);
    // Takes the body over. Returns the call's ref, or null when the service is not
    // valid (the body is then deleted and nobody is told).
    [[nodiscard]] virtual DMSIF_MethodRef* Invoke(const std::string& methodName, DMSOAPElementType* body,
                                                  DMSIFServiceListener* listener, const std::string& refToMessageID,
                                                  DMSIF_MethodRef* ref);
    virtual void CancelMethod(DMSIF_MethodRef* ref);
    virtual void CancelAllMethods();
    virtual void ReleaseMethodRef(DMSIF_MethodRef* ref);
    [[nodiscard]] virtual bool CheckValidity();
    virtual bool HasCredentials();
    virtual bool HasEndpoint();
    virtual std::string RequestElementName(const std::string& name);
    virtual std::string ResponseElementName(const std::string& name);

    void DispatchDidBecomeValid() override;
    void DispatchDidBecomeInvalid() override;
    void DispatchDidFinish(DMSIF_MethodRef* ref) override;
    void DispatchDidFail(DMSIF_MethodRef* ref) override;
    void DispatchDidCancel(DMSIF_MethodRef* ref) override;
    void DispatchProgress(DMSIF_MethodRef* ref) override;

    void SIFRequestDidFinish(DMSIF_MethodRef* ref, DMSOAPResultMap& map) override;
    void SIFRequestDidFail(DMSIF_MethodRef* ref, DMSOAPResultMap& map) override;
    void SIFRequestProgress(DMSIF_MethodRef* ref, DMSOAPResultMap& map) override;

    virtual void UpdateUserAgent();
    virtual void ProcessResourceOffering(DMSOAPElementType* offering);
    virtual void ProcessServiceInstanceUpdate(DMSOAPElementType* responseEnvelope);

    // With a ref: that call's listener (null clears it); without: the default listener.
    void SetListener(DMSIFServiceListener* listener, DMSIF_MethodRef* ref);
    DMSIFServiceListener* GetListener(DMSIF_MethodRef* ref) const;
    void SetResourceOffering(DMSOAPElementType* element, bool copy);
    void SetCredentials(DMSOAPElementType* element, bool copy);
    void Invalidate();

    DMSIF_MethodRef* FindMethodRef(const std::string& callID) const;
    std::string GetResourceOfferingValue(const std::string& key) const;
    static std::string GetCorrelationMessageID(DMSOAPElementType* envelope);

    const std::string& GetServiceType() const { return mServiceType; }
    DMSOAPElementType* GetSecurityHeader() const { return mSecurityHeader.get(); }
    DMSOAPElementType* GetDeviceTypeHeader() const { return mDeviceTypeHeader.get(); }
    DMSOAPElementType* GetResourceOffering() const { return mResourceOffering.get(); }
    bool IsValid() const { return mValid; }
    bool GetAppendCID() const { return mAppendCID; }
    const std::string& GetUserAgentFormat() const { return mUserAgentFormat; }
    void SetEventQueue(LThreadEventQueue* queue) { mEventQueue = queue; }
    LThreadEventQueue* GetEventQueue() const { return mEventQueue; }
    // The active request of a call, null when none.
    DMSIFRequest* FindActiveRequest(const std::string& callID) const;

    // Whether the ref is one of this service's (live or retired) refs.
    bool OwnsMethodRef(const DMSIF_MethodRef* ref) const;

    // Liveness token read by queued events.
    const std::shared_ptr<bool>& GetAliveToken() const { return mAlive; }

protected:
    // Hands a call's decoded arguments, output and envelopes to `ref` while this service
    // still tracks it; otherwise frees the arguments and the output. True when attached.
    // (A result not attached needs no care: the dispatch passes such a call over too.)
    bool AttachResults(DMSIF_MethodRef* ref, std::unique_ptr<DMSIF_MethodArgumentsType> arguments,
                       std::unique_ptr<DMSIF_MethodOutputType> output, DMSOAPElementType* requestEnvelope,
                       DMSOAPElementType* responseEnvelope);
    // The URL a call is sent to: the endpoint, plus the client id when append-cid is on.
    std::string CallURL() const;
    void SetDeviceAttribute(const std::string& name, const std::string& value);

    std::string mServiceType;
    DMSIFServiceListener* mDefaultListener = nullptr;
    std::unique_ptr<DMSOAPElementType> mSecurityHeader;
    std::unique_ptr<DMSOAPElementType> mDeviceTypeHeader;
    std::unique_ptr<DMSOAPElementType> mResourceOffering;
    std::map<std::string, std::string> mResourceOfferingValues;
    LThreadEventQueue* mEventQueue = nullptr;  // not owned
    // Refs before requests: the requests, which point at their refs, go first.
    std::map<std::string, std::unique_ptr<DMSIF_MethodRef>> mLiveRefs;
    std::map<std::string, std::unique_ptr<DMSIF_MethodRef>> mRetiredRefs;
    std::map<std::string, std::unique_ptr<DMSIFRequest>> mActiveRequests;
    std::map<std::string, std::unique_ptr<DMSIFRequest>> mRetiredRequests;
    std::map<std::string, DMSIFServiceListener*> mCallListeners;
    bool mValid = false;
    std::string mUserAgentFormat = "%M_%N_%V";
    bool mAppendCID = false;

private:
    // The one road of every final delivery: once per call, through the event queue when
    // there is one, released when nobody listens.
    void DispatchFinal(DMSIF_MethodRef* ref, const std::function<LThreadEvent*(DMSIFServiceListener*)>& makeEvent,
                       const std::function<void(DMSIFServiceListener*)>& deliver);

    // Holds the offering (null: none) and reads its values.
    void InstallResourceOffering(std::unique_ptr<DMSOAPElementType> offering);
    // Files the request as retired under the call id; one retired there before is deferred.
    void RetireRequest(const std::string& callID, std::unique_ptr<DMSIFRequest> request);
    void DeleteRetired();
    // Retired requests that were still reporting when their turn to go came.
    std::vector<std::unique_ptr<DMSIFRequest>> mDeferredRequests;
    // Refs whose final delivery (finish, fail, cancel) is under way: a call gets one.
    std::set<const DMSIF_MethodRef*> mFinalPending;
    std::shared_ptr<bool> mAlive = std::make_shared<bool>(true);
};
