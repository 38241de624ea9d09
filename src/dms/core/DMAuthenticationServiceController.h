#pragma once

// The SASL sign-on controller: one "Authenticate" call spans the whole exchange of
// SASLRequest/SASLResponse steps. The client offers "PLAIN SECURID"; on "continue" the
// call's listener (a DMAuthenticationServiceListener) is asked for the password or the
// SecurID passcode and answers with SetPassword or SetSecurID on the same ref; "OK"
// keeps the returned credentials and discovery offering. Every call ends with exactly one
// DidFinish, DidFail or DidCancel. Main thread only.

#include <memory>
#include <string>

#include "dms/core/DMAuthenticationTypes.h"
#include "dms/core/DMSIFService.h"
#include "runtime/LThreadEvent.h"

inline constexpr const char* kDMAuthenticationServiceType = kDMSASLNamespaceURI;

class DMAuthenticationServiceListenerDispatch {
public:
    virtual void DispatchAsksForUsernamePassword(DMSIF_MethodRef* ref) = 0;
    virtual void DispatchAsksForSecurid(DMSIF_MethodRef* ref) = 0;

protected:
    ~DMAuthenticationServiceListenerDispatch() = default;
};

class DMAuthenticationServiceController : public DMSIFService, public DMAuthenticationServiceListenerDispatch {
public:
    explicit DMAuthenticationServiceController(DMSIFServiceListener* listener);
    ~DMAuthenticationServiceController() override;

    // An environment name or an http(s) URL; anything else leaves the endpoint alone.
    void SetEndpoint(const std::string& text) override;
    // A sign-on needs no credentials to start.
    bool HasCredentials() override { return true; }
    void SIFRequestDidFinish(DMSIF_MethodRef* ref, DMSOAPResultMap& map) override;
    void SIFRequestDidFail(DMSIF_MethodRef* ref, DMSOAPResultMap& map) override;
    // An offering may move the endpoint, but never from https to plain http.
    void ProcessResourceOffering(DMSOAPElementType* offering) override;

    void DispatchAsksForUsernamePassword(DMSIF_MethodRef* ref) override;
    void DispatchAsksForSecurid(DMSIF_MethodRef* ref) override;
    virtual void ApplyPasswordTransforms(std::string& password, const DMAuthenticationTransformList& transforms);

    // A fresh sign-on: drops held credentials and offering. Null when the input has no
    // mechanism or the call is refused.
    [[nodiscard]] DMSIF_MethodRef* Authenticate(DMAuthenticationServiceListener* listener,
                                                DMAuthentication_Authenticate_InputType& input);
    // A renewal presenting credentials (a "Credentials" element) in the Security header.
    [[nodiscard]] DMSIF_MethodRef* AuthenticateWithCredentials(DMSOAPElementType* credentials,
                                                               DMAuthenticationServiceListener* listener,
                                                               DMAuthentication_Authenticate_InputType& input);
    // Answers on the same call; the password is transformed as the last response asked.
    void SetPassword(DMSIF_MethodRef* ref, const std::string& refToMessageID, const std::string& userName,
                     const std::string& password);
    void SetSecurID(DMSIF_MethodRef* ref, const std::string& refToMessageID, const std::string& passcode);
    // Sends the next SASLRequest of the call. A step that cannot be sent fails the call.
    void ContinueAuthentication(DMSIF_MethodRef* ref, const std::string& refToMessageID, const std::string& data,
                                const std::string& mechanism);

    // True when ref is a call of this controller that has not ended.
    bool Knows(DMSIF_MethodRef* ref) const;

private:
    DMSIF_MethodRef* Start(DMAuthenticationServiceListener* listener, DMAuthentication_Authenticate_InputType& input);
};

// Queue events of the two questions; they release nothing (the call goes on). An event
// whose service is gone, or whose call has ended meanwhile, is dropped.
class DMAuthenticationServiceListenerDispatchAsksEvent : public LThreadEvent {
public:
    DMAuthenticationServiceListenerDispatchAsksEvent(DMAuthenticationServiceListener* listener, DMSIF_MethodRef* ref,
                                                     DMAuthenticationServiceController* service);

protected:
    // The ref when it may still be used, else null.
    DMSIF_MethodRef* LiveRef() const;

    DMAuthenticationServiceListener* mListener;
    DMSIF_MethodRef* mRef;
    std::string mCallID;
    DMAuthenticationServiceController* mService;
    std::weak_ptr<bool> mServiceAlive;
};

class DMAuthenticationServiceListenerDispatchAsksForUsernamePasswordEvent
    : public DMAuthenticationServiceListenerDispatchAsksEvent {
public:
    using DMAuthenticationServiceListenerDispatchAsksEvent::DMAuthenticationServiceListenerDispatchAsksEvent;
    void Fire() override;
};

class DMAuthenticationServiceListenerDispatchAsksForSecuridEvent
    : public DMAuthenticationServiceListenerDispatchAsksEvent {
public:
    using DMAuthenticationServiceListenerDispatchAsksEvent::DMAuthenticationServiceListenerDispatchAsksEvent;
    void Fire() override;
};
