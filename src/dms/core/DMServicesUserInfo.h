#pragma once

// One user's sign-on state and the machinery that drives it: the SASL authentication
// controller, the discovery controller (made at the first successful sign-on), the held
// credentials and their expiry, and one DMUserDiscoveryInfo per requested service type.
// Requests wait here while sign-on and discovery run; all requests waiting for one step
// share that step's single SIF call.
//
// Re-entrancy: listeners may call back into the provider from inside any callback. The
// record therefore changes its state before it calls out, walks snapshots of its lists,
// and checks before each callback that the token is still live (a token is finished
// exactly once: it leaves every list, gets its final callback and is deleted; the tokens
// are held by a DMRequestTokenRegistry). Calls that the record gave up (cancelled,
// replaced) are remembered by id and their late deliveries ignored. The reasons of a
// failed sign-on come from DMAuthenticationFailureReason. Main thread only.

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dms/core/DMRequestTokenRegistry.h"
#include "dms/core/DMServicesProvider.h"
#include "dms/core/DMSIFServiceListener.h"

class DMAuthenticationServiceController;
class DMDiscoveryServiceController;
class DMUserDiscoveryInfo;
class DMSOAPElementType;

class DMServicesUserInfo : public DMAuthenticationServiceListener {
public:
    DMServicesUserInfo(const std::string& userName, DMServicesProvider* provider);
    // Deletes records, controllers and credentials; tokens still waiting are deleted
    // without a callback.
    virtual ~DMServicesUserInfo();
    DMServicesUserInfo(const DMServicesUserInfo&) = delete;
    DMServicesUserInfo& operator=(const DMServicesUserInfo&) = delete;

    // An environment name or URL for the sign-on; "" changes nothing.
    void SetServiceURL(const std::string& url);
    void SetEventQueue(LThreadEventQueue* queue);

    void RequestService(std::unique_ptr<DMServiceRequestToken> token);
    void CancelServiceRequest(DMServiceRequestToken* token);
    void SetPasswordForRequest(const std::string& password, DMServiceRequestToken* token);
    void SetSecurIDForRequest(const std::string& passcode, DMServiceRequestToken* token);
    // Ends every pending request (reason 3, or 4 for those past the sign-on), forgets
    // the discoveries and drops the credentials.
    void ResetUsername();
    // Forgets the type's discovery. Requests still waiting for it are not lost: they wait
    // for a fresh Query.
    void ClearServiceForType(EServiceType type);

    // DMAuthenticationServiceListener: deliveries of the authentication controller.
    void DidFinish(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input, DMSIF_MethodOutputType* output) override;
    void DidFail(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input, DMSIF_MethodOutputType* output) override;
    void DidCancel(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input) override;
    void AsksForUsernamePassword(DMSIF_MethodRef* ref, const std::string& responseMessageID) override;
    void AsksForSecurid(DMSIF_MethodRef* ref, const std::string& responseMessageID) override;

    const std::string& GetUserName() const { return mUserName; }
    DMServicesProvider* GetProvider() const { return mProvider; }
    const std::string& GetExpiration() const { return mExpiration; }
    bool IsAuthenticated() const { return mAuthenticated; }
    bool IsAuthenticating() const { return mAuthenticating; }
    DMSOAPElementType* GetCredentials() const { return mCredentials.get(); }
    DMAuthenticationServiceController* GetAuthenticationController() const { return mAuthController.get(); }
    DMDiscoveryServiceController* GetDiscoveryController() const { return mDiscoveryController.get(); }
    LThreadEventQueue* GetEventQueue() const { return mEventQueue; }
    DMUserDiscoveryInfo* GetDiscoveryInfo(EServiceType type) const;

    // --- token bookkeeping, shared with the discovery records ---
    using Waiting = DMRequestTokenRegistry::Waiting;
    const DMRequestTokenRegistry& Tokens() const { return mTokens; }
    bool OwnsToken(DMServiceRequestToken* token) const { return mTokens.Owns(token); }
    // Final callbacks: the token leaves every list, the listener is called, the token
    // is deleted. A facade nobody takes is deleted too.
    void FinishAuthenticationFailed(DMServiceRequestToken* token, std::int32_t reason);
    void FinishServiceFailed(DMServiceRequestToken* token, std::int32_t reason);
    void FinishServiceSucceeded(DMServiceRequestToken* token, std::unique_ptr<DMGenericService> service);
    // Makes the type's controller and facade from a discovery result and hands the facade
    // to the token (the service factory).
    void CreateService(DMServiceRequestToken* token, EServiceType type, DMSOAPElementType* resourceOffering,
                       DMSOAPElementType* credentials);
    // Applies the provider's device values and the event queue to a new controller.
    void ConfigureController(DMSIFService* controller);

private:
    bool IsCurrentAuthCall(DMSIF_MethodRef* ref) const;
    void StartSignOn(DMServiceRequestToken* token);
    void SignOnFailed(bool cancelled, DMSIF_MethodArgumentsType* input, DMSIF_MethodOutputType* output);
    // Gives up the running Authenticate call: its late deliveries are ignored.
    void AbandonAuthCall();
    void RemoveFromSignOnList(DMServiceRequestToken* token);
    bool InSignOnList(DMServiceRequestToken* token) const;
    // Ends the sign-on's bookkeeping (waiting list, driving token, authenticating flag)
    // and returns its requests, the driving one first, for their callbacks.
    std::vector<Waiting> TakeSignOnWaiters();
    // Detaches and deletes every discovery record; tokens waiting only there (already
    // signed on, not among signOnWaiters) end with ServiceRequestFailed (reason).
    void DropAllDiscoveries(std::int32_t reason, const std::vector<Waiting>& signOnWaiters);
    // Drops a finishing request from every list that tracks it and hands it over.
    std::unique_ptr<DMServiceRequestToken> ForgetToken(DMServiceRequestToken* token);
    // Takes a record out of service: its Query is abandoned and the record kept until no
    // delivery can reach it.
    void RetireDiscoveryInfo(std::unique_ptr<DMUserDiscoveryInfo> info);
    void DeleteUnreachableRetired();
    void Ask(bool securID);

    // Declared so that destruction runs records, controllers, credentials, tokens.
    DMRequestTokenRegistry mTokens;
    std::unique_ptr<DMSOAPElementType> mCredentials;
    std::unique_ptr<DMAuthenticationServiceController> mAuthController;
    std::unique_ptr<DMDiscoveryServiceController> mDiscoveryController;
    std::vector<std::unique_ptr<DMUserDiscoveryInfo>> mRetiredDiscoveries;
    std::map<EServiceType, std::unique_ptr<DMUserDiscoveryInfo>> mDiscoveries;

    std::string mUserName;
    DMServicesProvider* mProvider;  // not owned
    bool mAuthenticating = false;
    bool mAuthenticated = false;
    DMServiceRequestToken* mDrivingToken = nullptr;
    std::list<DMServiceRequestToken*> mWaiting;  // sign-on waiters, the driving one included
    LThreadEventQueue* mEventQueue = nullptr;    // not owned
    std::string mExpiration;

    DMSIF_MethodRef* mAuthRef = nullptr;  // the running Authenticate call
    std::string mAuthCallID;
    enum class Question { None, Password, SecurID } mPendingQuestion = Question::None;
};
