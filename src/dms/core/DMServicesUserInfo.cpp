#include "dms/core/DMServicesUserInfo.h"

#include <algorithm>
#include <memory>
#include <set>

#include "dms/core/DMAuthenticationServiceController.h"
#include "dms/core/DMDiscoveryServiceController.h"
#include "dms/core/DMGenericService.h"
#include "dms/core/DMServiceFactory.h"
#include "dms/core/DMUserDiscoveryInfo.h"
#include "engine/base/LogMessage.h"

namespace {

std::string ExpirationOf(const DMSOAPElementType* credentials) {
    const DMSOAPElementType* assertion = credentials ? credentials->FindChild("Assertion", 1) : nullptr;
    const DMSOAPElementType* conditions = assertion ? assertion->FindChild("Conditions", 1) : nullptr;
    const DMSOAPAttributeType* notAfter = conditions ? conditions->FindAttribute("NotOnOrAfter") : nullptr;
    return notAfter ? notAfter->value : std::string();
}

bool EqualsAny(const std::string& text, std::initializer_list<const char*> candidates) {
    for (const char* candidate : candidates) {
        if (DMStringEqual(text, candidate, false)) {
            return true;
        }
    }
    return false;
}

}  // namespace

DMServicesUserInfo::DMServicesUserInfo(const std::string& userName, DMServicesProvider* provider)
    : mUserName(userName), mProvider(provider) {
    mAuthController = new DMAuthenticationServiceController(this);
    if (mProvider) {
        mAuthController->SetDeviceName(mProvider->GetDeviceName());
        mAuthController->SetDeviceManufacturer(mProvider->GetManufacturer());
        mAuthController->SetDeviceVersion(mProvider->GetVersion());
        mAuthController->SetUserAgentFormat(mProvider->GetUserAgentFormat());
    }
}

DMServicesUserInfo::~DMServicesUserInfo() {
    for (auto& entry : mDiscoveries) {
        delete entry.second;
    }
    for (DMUserDiscoveryInfo* info : mRetiredDiscoveries) {
        delete info;
    }
    delete mDiscoveryController;
    delete mAuthController;
    delete mCredentials;
    for (auto& entry : mLive) {
        delete entry.first;
    }
}

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
    return found == mDiscoveries.end() ? nullptr : found->second;
}

// --- tokens ---

bool DMServicesUserInfo::IsLive(const Waiting& waiting) const {
    auto found = mLive.find(waiting.token);
    return found != mLive.end() && found->second == waiting.serial;
}

DMServicesUserInfo::Waiting DMServicesUserInfo::Track(DMServiceRequestToken* token) const {
    auto found = mLive.find(token);
    return Waiting{token, found == mLive.end() ? 0 : found->second};
}

bool DMServicesUserInfo::InSignOnList(DMServiceRequestToken* token) const {
    return std::find(mWaiting.begin(), mWaiting.end(), token) != mWaiting.end();
}

void DMServicesUserInfo::RemoveFromSignOnList(DMServiceRequestToken* token) { mWaiting.remove(token); }

void DMServicesUserInfo::ForgetToken(DMServiceRequestToken* token) {
    mLive.erase(token);
    RemoveFromSignOnList(token);
    for (auto& entry : mDiscoveries) {
        entry.second->Remove(token);
    }
}

void DMServicesUserInfo::FinishAuthenticationFailed(DMServiceRequestToken* token, std::int32_t reason) {
    if (!OwnsToken(token)) {
        return;
    }
    ForgetToken(token);
    if (token->listener) {
        token->listener->AuthenticationFailed(token->userName, token, reason);
    }
    delete token;
}

void DMServicesUserInfo::FinishServiceFailed(DMServiceRequestToken* token, std::int32_t reason) {
    if (!OwnsToken(token)) {
        return;
    }
    ForgetToken(token);
    if (token->listener) {
        token->listener->ServiceRequestFailed(reason, token->serviceType, token);
    }
    delete token;
}

void DMServicesUserInfo::FinishServiceSucceeded(DMServiceRequestToken* token,
                                                DMGenericService* service) {
    if (!OwnsToken(token)) {
        delete service;
        return;
    }
    ForgetToken(token);
    if (token->listener) {
        token->listener->ServiceRequestSucceeded(service, token->serviceType, token);
    } else {
        delete service;
    }
    delete token;
}

// --- requests ---

void DMServicesUserInfo::RequestService(DMServiceRequestToken* token) {
    if (!token || OwnsToken(token)) {
        return;
    }
    mLive[token] = ++mNextSerial;
    const Waiting tracked = Track(token);
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
        if (!IsLive(tracked)) {
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
        info = new DMUserDiscoveryInfo(type, this);
        mDiscoveries[type] = info;
    }
    LogMessage(kLogInfo, "Discovery...\n");
    const bool wait = !mAuthenticated;
    info->RequestService(token, wait);
    if (startSignOn && IsLive(tracked) && mDrivingToken == token) {
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
        ref = mAuthController->AuthenticateWithCredentials(mCredentials, this, input);
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
    return ref && ref == mAuthRef && ref->GetID() == mAuthCallID &&
           ref->GetMethodName() == "Authenticate";
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

void DMServicesUserInfo::AsksForUsernamePassword(DMSIF_MethodRef* ref,
                                                 const std::string& responseMessageID) {
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

void DMServicesUserInfo::SetPasswordForRequest(const std::string& password,
                                               DMServiceRequestToken* token) {
    // Only an answer to the question asked: a second answer would spoil the exchange.
    if (!OwnsToken(token) || token != mDrivingToken || !mAuthRef ||
        mPendingQuestion != Question::Password) {
        return;
    }
    mPendingQuestion = Question::None;
    mAuthController->SetPassword(mAuthRef, token->refToMessageID, token->userName, password);
}

void DMServicesUserInfo::SetSecurIDForRequest(const std::string& passcode,
                                              DMServiceRequestToken* token) {
    if (!OwnsToken(token) || token != mDrivingToken || !mAuthRef ||
        mPendingQuestion != Question::SecurID) {
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

    delete mCredentials;
    mCredentials = result->GetCredentials() ? new DMSOAPElementType(result->GetCredentials()) : nullptr;
    mExpiration = ExpirationOf(mCredentials);
    LogMessage(kLogDebug, "AuthenticationSucceeded - expiration date = [%s]\n", mExpiration.c_str());
    std::unique_ptr<DMSOAPElementType> offering(
        result->GetResourceOffering() ? new DMSOAPElementType(result->GetResourceOffering()) : nullptr);
    const DMSIF_StatusType status = result->status;

    // State first: a listener may ask for more from inside its callback.
    std::vector<Waiting> waiting;
    if (mDrivingToken) {
        waiting.push_back(Track(mDrivingToken));
    }
    for (DMServiceRequestToken* token : mWaiting) {
        if (token != mDrivingToken) {
            waiting.push_back(Track(token));
        }
    }
    mWaiting.clear();
    mDrivingToken = nullptr;
    mAuthenticating = false;
    mAuthenticated = true;

    if (mDiscoveryController) {
        mDiscoveryController->SetCredentials(mCredentials, true);
        mDiscoveryController->SetResourceOffering(offering.get(), true);
    } else {
        mDiscoveryController = new DMDiscoveryServiceController(offering.get(), mCredentials, nullptr);
        ConfigureController(mDiscoveryController);
    }
    std::vector<std::pair<EServiceType, DMUserDiscoveryInfo*>> records(mDiscoveries.begin(),
                                                                       mDiscoveries.end());

    for (const auto& entry : waiting) {
        if (IsLive(entry)) {
            entry.token->status = status;
            if (entry.token->listener) {
                entry.token->listener->AuthenticationSucceeded(entry.token->userName, entry.token);
            }
        }
    }
    for (const auto& record : records) {
        // Records removed by a callback are skipped; a Query already running (started by
        // a callback, or under the previous credentials) is left to finish.
        if (GetDiscoveryInfo(record.first) == record.second && mAuthenticated &&
            !record.second->IsDiscovering()) {
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

std::int32_t DMServicesUserInfo::AuthenticationFailureReason(bool cancelled,
                                                             DMSIF_MethodArgumentsType* input,
                                                             DMSIF_MethodOutputType* output) {
    if (cancelled) {
        return kDMAuthFailedCancelled;
    }
    auto* request = dynamic_cast<DMAuthentication_Authenticate_InputType*>(input);
    auto* response = dynamic_cast<DMAuthentication_Authenticate_OutputType*>(output);
    if (!request || !response) {
        return kDMAuthFailedOther;
    }
    if (EqualsAny(response->fault.GetFaultCode(), {"Receiver", "Sender"})) {
        return kDMAuthFailedOther;
    }
    if (!DMStringEqual(response->status.GetCode(), "abort", false)) {
        return kDMAuthFailedOther;
    }
    const std::string& comment = response->status.GetComment();
    if (EqualsAny(comment, {"Invalid Credentials", "user authentication failed"})) {
        if (request->GetMechanism() == "PLAIN") {
            return kDMAuthFailedWrongPassword;
        }
        if (request->GetMechanism() == "SECURID") {
            return kDMAuthFailedWrongSecurID;
        }
        return kDMAuthFailedOther;
    }
    if (EqualsAny(comment, {"Mechanism not supplied", "invalid data on initiation",
                            "unsupported mechanism", "mismatching mechanisms",
                            "Failed to extract credentials from request",
                            "Bad AdvisoryAuthID or Data value"})) {
        return kDMAuthFailedOther;
    }
    if (DMStringEqual(comment, "no password supplied before securid", false)) {
        return kDMAuthFailedNoPasswordBeforeSecurID;
    }
    if (DMStringEqual(comment, "no data supplied with securid exchange", false)) {
        return kDMAuthFailedNoSecurIDData;
    }
    if (EqualsAny(comment, {"undefined authentication error", "server misconfigured"})) {
        return kDMAuthFailedOther;
    }
    if (DMStringPrefixEqual(comment, "If you see this message", false)) {
        return kDMAuthFailedServerMessage;
    }
    return kDMAuthFailedOther;
}

void DMServicesUserInfo::SignOnFailed(bool cancelled, DMSIF_MethodArgumentsType* input,
                                      DMSIF_MethodOutputType* output) {
    const std::int32_t reason = AuthenticationFailureReason(cancelled, input, output);
    LogMessage(kLogError, "Authentication failed with reason %d\n", reason);
    std::unique_ptr<DMSIF_StatusType> status(output ? new DMSIF_StatusType(output->status) : nullptr);
    std::unique_ptr<DMSIF_FaultType> fault(output ? new DMSIF_FaultType(output->fault) : nullptr);

    std::vector<Waiting> waiting;
    std::set<DMServiceRequestToken*> signOnTokens;
    if (mDrivingToken) {
        waiting.push_back(Track(mDrivingToken));
        signOnTokens.insert(mDrivingToken);
    }
    for (DMServiceRequestToken* token : mWaiting) {
        if (token != mDrivingToken) {
            waiting.push_back(Track(token));
            signOnTokens.insert(token);
        }
    }
    mAuthRef = nullptr;
    mAuthCallID.clear();
    mPendingQuestion = Question::None;
    mWaiting.clear();
    mDrivingToken = nullptr;
    mAuthenticating = false;
    mExpiration.clear();

    DropAllDiscoveries(kDMServiceFailedOther, signOnTokens);
    for (const auto& entry : waiting) {
        if (IsLive(entry)) {
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
        const Waiting next = successor ? Track(successor) : Waiting{nullptr, 0};
        token->methodRef = nullptr;
        token->cancelled = true;
        FinishAuthenticationFailed(token, kDMAuthFailedCancelled);
        if (successor && pending != Question::None && IsLive(next) && mDrivingToken == successor &&
            mPendingQuestion == pending) {
            Ask(pending == Question::SecurID);
        }
        return;
    }
    std::vector<DMUserDiscoveryInfo*> records;
    for (auto& entry : mDiscoveries) {
        records.push_back(entry.second);
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
    std::vector<Waiting> waiting;
    std::set<DMServiceRequestToken*> signOnTokens;
    if (mDrivingToken) {
        waiting.push_back(Track(mDrivingToken));
        signOnTokens.insert(mDrivingToken);
    }
    for (DMServiceRequestToken* token : mWaiting) {
        if (token != mDrivingToken) {
            waiting.push_back(Track(token));
            signOnTokens.insert(token);
        }
    }
    AbandonAuthCall();
    mWaiting.clear();
    mDrivingToken = nullptr;
    mAuthenticating = false;
    mAuthenticated = false;
    delete mCredentials;
    mCredentials = nullptr;
    mExpiration.clear();

    DropAllDiscoveries(kDMServiceFailedCancelled, signOnTokens);
    for (const auto& entry : waiting) {
        if (IsLive(entry)) {
            entry.token->cancelled = true;
            entry.token->methodRef = nullptr;
            FinishAuthenticationFailed(entry.token, kDMAuthFailedCancelled);
        }
    }
}

void DMServicesUserInfo::ClearServiceForType(EServiceType type) {
    DMUserDiscoveryInfo* info = GetDiscoveryInfo(type);
    if (!info) {
        return;
    }
    mDiscoveries.erase(type);
    std::list<DMServiceRequestToken*> tokens = info->TakeWaiting();
    RetireDiscoveryInfo(info);
    if (tokens.empty()) {
        return;
    }
    if (mAuthenticated || mAuthenticating) {
        // The requests still waiting for this type are not dropped: they wait for a
        // fresh Query (now, or after the running sign-on).
        auto* fresh = new DMUserDiscoveryInfo(type, this);
        mDiscoveries[type] = fresh;
        for (DMServiceRequestToken* token : tokens) {
            token->methodRef = nullptr;
            fresh->AddWaiting(token);
        }
        if (mAuthenticated) {
            fresh->StartQuery();
        }
        return;
    }
    std::vector<Waiting> waiting;
    for (DMServiceRequestToken* token : tokens) {
        waiting.push_back(Track(token));
    }
    for (const auto& entry : waiting) {
        if (IsLive(entry)) {
            FinishServiceFailed(entry.token, kDMServiceFailedOther);
        }
    }
}

void DMServicesUserInfo::DropAllDiscoveries(std::int32_t reason,
                                            const std::set<DMServiceRequestToken*>& keep) {
    std::vector<DMServiceRequestToken*> orphans;
    std::map<EServiceType, DMUserDiscoveryInfo*> records;
    records.swap(mDiscoveries);
    for (auto& entry : records) {
        for (DMServiceRequestToken* token : entry.second->TakeWaiting()) {
            if (!keep.count(token)) {
                orphans.push_back(token);
            }
        }
        RetireDiscoveryInfo(entry.second);
    }
    std::vector<Waiting> waiting;
    for (DMServiceRequestToken* token : orphans) {
        waiting.push_back(Track(token));
    }
    // Requests past the sign-on that waited only for a discovery must still end.
    for (const auto& entry : waiting) {
        if (IsLive(entry)) {
            entry.token->cancelled = reason == kDMServiceFailedCancelled;
            entry.token->methodRef = nullptr;
            FinishServiceFailed(entry.token, reason);
        }
    }
}

void DMServicesUserInfo::RetireDiscoveryInfo(DMUserDiscoveryInfo* info) {
    info->Detach();
    DeleteUnreachableRetired();
    // A delivery already queued for it may still arrive: keep it until none can.
    if (info->MayBeReached()) {
        mRetiredDiscoveries.push_back(info);
    } else {
        delete info;
    }
}

void DMServicesUserInfo::DeleteUnreachableRetired() {
    std::vector<DMUserDiscoveryInfo*> kept;
    for (DMUserDiscoveryInfo* info : mRetiredDiscoveries) {
        if (info->MayBeReached()) {
            kept.push_back(info);
        } else {
            delete info;
        }
    }
    mRetiredDiscoveries.swap(kept);
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
                                       DMSOAPElementType* resourceOffering,
                                       DMSOAPElementType* credentials) {
    DMSIFService* controller =
        mDiscoveryController
            ? mDiscoveryController->CreateServiceController(resourceOffering, credentials, nullptr)
            : nullptr;
    DMGenericService* service = nullptr;
    if (controller) {
        ConfigureController(controller);
        service = DMServiceFactory::CreateFacade(type, mUserName, controller, mProvider);
        if (!service) {
            delete controller;
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
    FinishServiceSucceeded(token, service);
}
