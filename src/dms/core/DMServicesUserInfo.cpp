#include "dms/core/DMServicesUserInfo.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "dms/core/DMAuthenticationFailureReasons.h"
#include "dms/core/DMAuthenticationServiceController.h"
#include "dms/core/DMDiscoveryServiceController.h"
#include "dms/core/DMGenericService.h"
#include "dms/core/DMServiceFactory.h"
#include "dms/core/DMUserDiscoveryInfo.h"
#include "runtime/LogMessage.h"

namespace {

std::string ExpirationOf(const DMSOAPElementType* credentials) {
    const DMSOAPElementType* assertion = credentials ? credentials->FindChild("Assertion", 1) : nullptr;
    const DMSOAPElementType* conditions = assertion ? assertion->FindChild("Conditions", 1) : nullptr;
    const DMSOAPAttributeType* notAfter = conditions ? conditions->FindAttribute("NotOnOrAfter") : nullptr;
    return notAfter ? notAfter->value : std::string();
}

std::unique_ptr<DMSOAPElementType> CopyOf(const DMSOAPElementType* element) {
    return element ? std::make_unique<DMSOAPElementType>(element) : nullptr;
}

}  // namespace

DMServicesUserInfo::DMServicesUserInfo(const std::string& userName, DMServicesProvider* provider)
    : mAuthController(std::make_unique<DMAuthenticationServiceController>(this)),
      mUserName(userName),
      mProvider(provider) {
    if (mProvider) {
        mAuthController->SetDeviceName(mProvider->GetDeviceName());
        mAuthController->SetDeviceManufacturer(mProvider->GetManufacturer());
        mAuthController->SetDeviceVersion(mProvider->GetVersion());
        mAuthController->SetUserAgentFormat(mProvider->GetUserAgentFormat());
    }
}

DMServicesUserInfo::~DMServicesUserInfo() = default;

void DMServicesUserInfo::SetServiceURL(const std::string& url) {
    if (mAuthController && !url.empty()) {
        mAuthController->SetEndpoint(url);
    }
}

void DMServicesUserInfo::SetEventQueue(LThreadEventQueue* queue) {
    mEventQueue = queue;
    if (mAuthController) {
        mAuthController->SetEventQueue(queue);
    }
    if (mDiscoveryController) {
        mDiscoveryController->SetEventQueue(queue);
    }
}

DMUserDiscoveryInfo* DMServicesUserInfo::GetDiscoveryInfo(EServiceType type) const {
    auto found = mDiscoveries.find(type);
    return found == mDiscoveries.end() ? nullptr : found->second.get();
}

// --- tokens ---

std::vector<DMServicesUserInfo::Waiting> DMServicesUserInfo::TakeSignOnWaiters() {
    std::vector<Waiting> waiting;
    if (mDrivingToken) {
        waiting.push_back(mTokens.Track(mDrivingToken));
    }
    for (DMServiceRequestToken* token : mWaiting) {
        if (token != mDrivingToken) {
            waiting.push_back(mTokens.Track(token));
        }
    }
    mWaiting.clear();
    mDrivingToken = nullptr;
    mAuthenticating = false;
    return waiting;
}

bool DMServicesUserInfo::InSignOnList(DMServiceRequestToken* token) const {
    return std::find(mWaiting.begin(), mWaiting.end(), token) != mWaiting.end();
}

void DMServicesUserInfo::RemoveFromSignOnList(DMServiceRequestToken* token) { mWaiting.remove(token); }

std::unique_ptr<DMServiceRequestToken> DMServicesUserInfo::ForgetToken(DMServiceRequestToken* token) {
    std::unique_ptr<DMServiceRequestToken> owned = mTokens.Release(token);
    if (owned) {
        RemoveFromSignOnList(token);
        for (auto& entry : mDiscoveries) {
            entry.second->Remove(token);
        }
    }
    return owned;
}

void DMServicesUserInfo::FinishAuthenticationFailed(DMServiceRequestToken* token, std::int32_t reason) {
    const std::unique_ptr<DMServiceRequestToken> owned = ForgetToken(token);
    if (owned && owned->listener) {
        owned->listener->AuthenticationFailed(owned->userName, owned.get(), reason);
    }
}

void DMServicesUserInfo::FinishServiceFailed(DMServiceRequestToken* token, std::int32_t reason) {
    const std::unique_ptr<DMServiceRequestToken> owned = ForgetToken(token);
    if (owned && owned->listener) {
        owned->listener->ServiceRequestFailed(reason, owned->serviceType, owned.get());
    }
}

void DMServicesUserInfo::FinishServiceSucceeded(DMServiceRequestToken* token,
                                                std::unique_ptr<DMGenericService> service) {
    const std::unique_ptr<DMServiceRequestToken> owned = ForgetToken(token);
    if (owned && owned->listener) {
        // The facade goes to the listener's owner.
        owned->listener->ServiceRequestSucceeded(service.release(), owned->serviceType, owned.get());
    }
}

// --- requests ---

void DMServicesUserInfo::RequestService(std::unique_ptr<DMServiceRequestToken> request) {
    DMServiceRequestToken* token = mTokens.Adopt(std::move(request));
    if (!token) {
        return;
    }
    const Waiting tracked = mTokens.Track(token);
    const EServiceType type = token->serviceType;

    if (mCredentials && token->isRenewal) {
        // A sign-on already running is joined: it brings fresh credentials anyway.
        mAuthenticated = false;
    }
    bool startSignOn = false;
    if (mAuthenticated) {
        LogMessage(kLogInfo, "Authentication completed already.\n");
        if (token->listener) {
            token->listener->AuthenticationSucceeded(token->userName, token);
        }
        if (!mTokens.IsLive(tracked)) {
            return;
        }
    } else {
        if (!InSignOnList(token)) {
            mWaiting.push_back(token);
        }
        if (!mAuthenticating) {
            LogMessage(kLogInfo, "Authentication requested...\n");
            mAuthenticating = true;
            mDrivingToken = token;
            startSignOn = true;
        }
    }
    if (token->isRenewal) {
        LogMessage(kLogInfo, "Renewing authentication credentials.\n");
        ClearServiceForType(type);
    }

    DMUserDiscoveryInfo* info = GetDiscoveryInfo(type);
    if (!info) {
        auto made = std::make_unique<DMUserDiscoveryInfo>(type, this);
        info = made.get();
        mDiscoveries[type] = std::move(made);
    }
    LogMessage(kLogInfo, "Discovery...\n");
    const bool wait = !mAuthenticated;
    info->RequestService(token, wait);
    if (startSignOn && mTokens.IsLive(tracked) && mDrivingToken == token) {
        StartSignOn(token);
    }
}

void DMServicesUserInfo::StartSignOn(DMServiceRequestToken* token) {
    mAuthenticating = true;
    mExpiration.clear();
    mPendingQuestion = Question::None;
    DMSIF_MethodRef* ref = nullptr;
    if (token->isRenewal && mCredentials) {
        DMAuthentication_Authenticate_InputType input(mUserName, "", "PLAIN SECURID");
        ref = mAuthController->AuthenticateWithCredentials(mCredentials.get(), this, input);
    } else {
        DMAuthentication_Authenticate_InputType input("", "", "PLAIN SECURID");
        ref = mAuthController->Authenticate(this, input);
    }
    if (!ref) {
        // Refused before anything was sent (no endpoint): end the waiting requests now
        // rather than leave them waiting for an answer that cannot come.
        SignOnFailed(false, nullptr, nullptr);
        return;
    }
    mAuthRef = ref;
    mAuthCallID = ref->GetID();
    token->methodRef = ref;
}

bool DMServicesUserInfo::IsCurrentAuthCall(DMSIF_MethodRef* ref) const {
    return ref && ref == mAuthRef && ref->GetID() == mAuthCallID && ref->GetMethodName() == "Authenticate";
}

void DMServicesUserInfo::AbandonAuthCall() {
    DMSIF_MethodRef* ref = mAuthRef;
    mAuthRef = nullptr;
    mAuthCallID.clear();
    mPendingQuestion = Question::None;
    if (ref) {
        // Its cancellation comes back to this record and is ignored.
        mAuthController->CancelMethod(ref);
    }
}

void DMServicesUserInfo::AsksForUsernamePassword(DMSIF_MethodRef* ref, const std::string& responseMessageID) {
    if (!IsCurrentAuthCall(ref) || !mDrivingToken) {
        return;
    }
    mDrivingToken->refToMessageID = responseMessageID;
    Ask(false);
}

void DMServicesUserInfo::AsksForSecurid(DMSIF_MethodRef* ref, const std::string& responseMessageID) {
    if (!IsCurrentAuthCall(ref) || !mDrivingToken) {
        return;
    }
    mDrivingToken->refToMessageID = responseMessageID;
    Ask(true);
}

void DMServicesUserInfo::Ask(bool securID) {
    DMServiceRequestToken* token = mDrivingToken;
    mPendingQuestion = securID ? Question::SecurID : Question::Password;
    if (!token || !token->listener) {
        return;
    }
    if (securID) {
        token->listener->RequiresSecurID(token->userName, token);
    } else {
        token->listener->RequiresPassword(token->userName, token);
    }
}

void DMServicesUserInfo::SetPasswordForRequest(const std::string& password, DMServiceRequestToken* token) {
    // Only an answer to the question asked: a second answer would spoil the exchange.
    if (!OwnsToken(token) || token != mDrivingToken || !mAuthRef || mPendingQuestion != Question::Password) {
        return;
    }
    mPendingQuestion = Question::None;
    mAuthController->SetPassword(mAuthRef, token->refToMessageID, token->userName, password);
}

void DMServicesUserInfo::SetSecurIDForRequest(const std::string& passcode, DMServiceRequestToken* token) {
    if (!OwnsToken(token) || token != mDrivingToken || !mAuthRef || mPendingQuestion != Question::SecurID) {
        return;
    }
    mPendingQuestion = Question::None;
    mAuthController->SetSecurID(mAuthRef, token->refToMessageID, passcode);
}

// --- sign-on results ---

void DMServicesUserInfo::DidFinish(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input,
                                   DMSIF_MethodOutputType* output) {
    if (!IsCurrentAuthCall(ref)) {
        return;
    }
    auto* result = dynamic_cast<DMAuthentication_Authenticate_OutputType*>(output);
    if (!result) {
        SignOnFailed(false, input, output);
        return;
    }
    mAuthRef = nullptr;
    mAuthCallID.clear();
    mPendingQuestion = Question::None;

    mCredentials = CopyOf(result->GetCredentials());
    mExpiration = ExpirationOf(mCredentials.get());
    LogMessage(kLogDebug, "AuthenticationSucceeded - expiration date = [%s]\n", mExpiration.c_str());
    const std::unique_ptr<DMSOAPElementType> offering = CopyOf(result->GetResourceOffering());
    const DMSIF_StatusType status = result->status;

    // State first: a listener may ask for more from inside its callback.
    const std::vector<Waiting> waiting = TakeSignOnWaiters();
    mAuthenticated = true;

    if (mDiscoveryController) {
        mDiscoveryController->SetCredentials(mCredentials.get(), true);
        mDiscoveryController->SetResourceOffering(offering.get(), true);
    } else {
        mDiscoveryController =
            std::make_unique<DMDiscoveryServiceController>(offering.get(), mCredentials.get(), nullptr);
        ConfigureController(mDiscoveryController.get());
    }
    std::vector<std::pair<EServiceType, DMUserDiscoveryInfo*>> records;
    for (const auto& entry : mDiscoveries) {
        records.emplace_back(entry.first, entry.second.get());
    }

    for (const auto& entry : waiting) {
        if (mTokens.IsLive(entry)) {
            entry.token->status = status;
            if (entry.token->listener) {
                entry.token->listener->AuthenticationSucceeded(entry.token->userName, entry.token);
            }
        }
    }
    for (const auto& record : records) {
        // Records removed by a callback are skipped; a Query already running (started by
        // a callback, or under the previous credentials) is left to finish.
        if (GetDiscoveryInfo(record.first) == record.second && mAuthenticated && !record.second->IsDiscovering()) {
            record.second->StartQuery();
        }
    }
}

void DMServicesUserInfo::DidFail(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input,
                                 DMSIF_MethodOutputType* output) {
    if (!IsCurrentAuthCall(ref)) {
        return;
    }
    SignOnFailed(false, input, output);
}

void DMServicesUserInfo::DidCancel(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input) {
    if (!IsCurrentAuthCall(ref)) {
        return;
    }
    SignOnFailed(true, input, nullptr);
}

void DMServicesUserInfo::SignOnFailed(bool cancelled, DMSIF_MethodArgumentsType* input,
                                      DMSIF_MethodOutputType* output) {
    const std::int32_t reason = DMAuthenticationFailureReason(cancelled, input, output);
    LogMessage(kLogError, "Authentication failed with reason %d\n", reason);
    std::optional<DMSIF_StatusType> status;
    std::optional<DMSIF_FaultType> fault;
    if (output) {
        status = output->status;
        fault = output->fault;
    }

    const std::vector<Waiting> waiting = TakeSignOnWaiters();
    mAuthRef = nullptr;
    mAuthCallID.clear();
    mPendingQuestion = Question::None;
    mExpiration.clear();

    DropAllDiscoveries(kDMServiceFailedOther, waiting);
    for (const auto& entry : waiting) {
        if (mTokens.IsLive(entry)) {
            entry.token->cancelled = cancelled;
            entry.token->methodRef = nullptr;
            if (status) {
                entry.token->status = *status;
                entry.token->fault = *fault;
            }
            FinishAuthenticationFailed(entry.token, reason);
        }
    }
}

// --- cancelling and forgetting ---

void DMServicesUserInfo::CancelServiceRequest(DMServiceRequestToken* token) {
    if (!OwnsToken(token)) {
        return;
    }
    if (InSignOnList(token)) {
        RemoveFromSignOnList(token);
        DMServiceRequestToken* successor = nullptr;
        Question pending = Question::None;
        if (token == mDrivingToken) {
            if (!mWaiting.empty()) {
                // The next request takes the running exchange over, with any question
                // the server is waiting to have answered.
                successor = mWaiting.front();
                mDrivingToken = successor;
                successor->methodRef = token->methodRef;
                successor->refToMessageID = token->refToMessageID;
                pending = mPendingQuestion;
            } else {
                AbandonAuthCall();
                mDrivingToken = nullptr;
                mAuthenticating = false;
            }
        }
        const Waiting next = successor ? mTokens.Track(successor) : Waiting{nullptr, 0};
        token->methodRef = nullptr;
        token->cancelled = true;
        FinishAuthenticationFailed(token, kDMAuthFailedCancelled);
        if (successor && pending != Question::None && mTokens.IsLive(next) && mDrivingToken == successor &&
            mPendingQuestion == pending) {
            Ask(pending == Question::SecurID);
        }
        return;
    }
    std::vector<DMUserDiscoveryInfo*> records;
    for (auto& entry : mDiscoveries) {
        records.push_back(entry.second.get());
    }
    for (DMUserDiscoveryInfo* info : records) {
        if (info->CancelToken(token)) {
            return;
        }
    }
    // Signed on but not yet filed for discovery (a cancel from inside its own
    // AuthenticationSucceeded): it ends here, and RequestService goes no further.
    token->cancelled = true;
    FinishServiceFailed(token, kDMServiceFailedCancelled);
}

void DMServicesUserInfo::ResetUsername() {
    LogMessage(kLogInfo, "CancelPendingRequests - user [%s]\n", mUserName.c_str());
    const std::vector<Waiting> waiting = TakeSignOnWaiters();
    AbandonAuthCall();
    mAuthenticated = false;
    mCredentials.reset();
    mExpiration.clear();

    DropAllDiscoveries(kDMServiceFailedCancelled, waiting);
    for (const auto& entry : waiting) {
        if (mTokens.IsLive(entry)) {
            entry.token->cancelled = true;
            entry.token->methodRef = nullptr;
            FinishAuthenticationFailed(entry.token, kDMAuthFailedCancelled);
        }
    }
}

void DMServicesUserInfo::ClearServiceForType(EServiceType type) {
    auto found = mDiscoveries.find(type);
    if (found == mDiscoveries.end()) {
        return;
    }
    std::unique_ptr<DMUserDiscoveryInfo> info = std::move(found->second);
    mDiscoveries.erase(found);
    std::list<DMServiceRequestToken*> tokens = info->TakeWaiting();
    RetireDiscoveryInfo(std::move(info));
    if (tokens.empty()) {
        return;
    }
    if (mAuthenticated || mAuthenticating) {
        // The requests still waiting for this type are not dropped: they wait for a
        // fresh Query (now, or after the running sign-on).
        auto made = std::make_unique<DMUserDiscoveryInfo>(type, this);
        DMUserDiscoveryInfo* fresh = made.get();
        mDiscoveries[type] = std::move(made);
        for (DMServiceRequestToken* token : tokens) {
            token->methodRef = nullptr;
            fresh->AddWaiting(token);
        }
        if (mAuthenticated) {
            fresh->StartQuery();
        }
        return;
    }
    for (const auto& entry : mTokens.Snapshot(tokens)) {
        if (mTokens.IsLive(entry)) {
            FinishServiceFailed(entry.token, kDMServiceFailedOther);
        }
    }
}

void DMServicesUserInfo::DropAllDiscoveries(std::int32_t reason, const std::vector<Waiting>& signOnWaiters) {
    const auto waitsForSignOn = [&signOnWaiters](const DMServiceRequestToken* token) {
        return std::any_of(signOnWaiters.begin(), signOnWaiters.end(),
                           [token](const Waiting& entry) { return entry.token == token; });
    };
    std::vector<DMServiceRequestToken*> orphans;
    std::map<EServiceType, std::unique_ptr<DMUserDiscoveryInfo>> records;
    records.swap(mDiscoveries);
    for (auto& entry : records) {
        for (DMServiceRequestToken* token : entry.second->TakeWaiting()) {
            if (!waitsForSignOn(token)) {
                orphans.push_back(token);
            }
        }
        RetireDiscoveryInfo(std::move(entry.second));
    }
    // Requests past the sign-on that waited only for a discovery must still end.
    for (const auto& entry : mTokens.Snapshot(orphans)) {
        if (mTokens.IsLive(entry)) {
            entry.token->cancelled = reason == kDMServiceFailedCancelled;
            entry.token->methodRef = nullptr;
            FinishServiceFailed(entry.token, reason);
        }
    }
}

void DMServicesUserInfo::RetireDiscoveryInfo(std::unique_ptr<DMUserDiscoveryInfo> info) {
    info->Detach();
    DeleteUnreachableRetired();
    // A delivery already queued for it may still arrive: keep it until none can.
    if (info->MayBeReached()) {
        mRetiredDiscoveries.push_back(std::move(info));
    }
}

void DMServicesUserInfo::DeleteUnreachableRetired() {
    std::erase_if(mRetiredDiscoveries,
                  [](const std::unique_ptr<DMUserDiscoveryInfo>& info) { return !info->MayBeReached(); });
}

// --- the service factory ---

void DMServicesUserInfo::ConfigureController(DMSIFService* controller) {
    controller->SetEventQueue(mEventQueue);
    if (mProvider) {
        controller->SetDeviceName(mProvider->GetDeviceName());
        controller->SetDeviceManufacturer(mProvider->GetManufacturer());
        controller->SetDeviceVersion(mProvider->GetVersion());
        controller->SetUserAgentFormat(mProvider->GetUserAgentFormat());
    }
}

void DMServicesUserInfo::CreateService(DMServiceRequestToken* token, EServiceType type,
                                       DMSOAPElementType* resourceOffering, DMSOAPElementType* credentials) {
    std::unique_ptr<DMSIFService> controller(
        mDiscoveryController ? mDiscoveryController->CreateServiceController(resourceOffering, credentials, nullptr)
                             : nullptr);
    std::unique_ptr<DMGenericService> service;
    if (controller) {
        ConfigureController(controller.get());
        service.reset(DMServiceFactory::CreateFacade(type, mUserName, controller.get(), mProvider));
        if (service) {
            controller.release();  // the facade owns it now
        }
    }
    if (!service) {
        // An offering of a type nobody handles, or of another type than requested: no
        // usable service, and the request must still end.
        LogMessage(kLogError, "No service could be made for type %x\n", static_cast<unsigned>(type));
        // Otherwise every later request would be served from the same useless offering.
        if (DMUserDiscoveryInfo* info = GetDiscoveryInfo(type)) {
            info->ForgetDiscovery();
        }
        FinishServiceFailed(token, kDMServiceFailedOther);
        return;
    }
    FinishServiceSucceeded(token, std::move(service));
}
