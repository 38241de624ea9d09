#include "dms/core/DMAuthenticationServiceController.h"

#include "dms/core/DMAuthenticationEndpoints.h"
#include "runtime/LThreadEventQueue.h"
#include "runtime/LogMessage.h"

namespace {

// The SASL element of an envelope: Body, then SASLRequest, else SASLResponse.
DMSOAPElementType* SASLElement(DMSOAPElementType* envelope) {
    if (!envelope) {
        return nullptr;
    }
    DMSOAPElementType* body = envelope->FindChild("Body", 1);
    if (!body) {
        return nullptr;
    }
    if (DMSOAPElementType* request = body->FindChild("SASLRequest", 1)) {
        return request;
    }
    return body->FindChild("SASLResponse", 1);
}

bool IsHttps(const std::string& url) { return url.size() >= 8 && DMStringEqual(url.substr(0, 8), "https://", false); }

bool IsPlainHttp(const std::string& url) {
    return url.size() >= 7 && DMStringEqual(url.substr(0, 7), "http://", false);
}

}  // namespace

DMAuthenticationServiceController::DMAuthenticationServiceController(DMSIFServiceListener* listener)
    : DMSIFService(kDMAuthenticationServiceType, listener) {
    mEndpoint = kDMDefaultSignOnURL;
}

DMAuthenticationServiceController::~DMAuthenticationServiceController() = default;

void DMAuthenticationServiceController::SetEndpoint(const std::string& text) {
    const std::string url = DMAuthenticationEndpointFor(text);
    if (!url.empty()) {
        DMSIFService::SetEndpoint(url);
    }
}

void DMAuthenticationServiceController::ProcessResourceOffering(DMSOAPElementType* offering) {
    const std::string before = mEndpoint;
    DMSIFService::ProcessResourceOffering(offering);
    if (mEndpoint.empty() || (IsHttps(before) && IsPlainHttp(mEndpoint))) {
        // The password would travel in clear to wherever the server pointed.
        if (!mEndpoint.empty()) {
            LogMessage(kLogError, "Sign-on endpoint not moved from https to http\n");
        }
        mEndpoint = before;
    }
}

bool DMAuthenticationServiceController::Knows(DMSIF_MethodRef* ref) const {
    if (!ref) {
        return false;
    }
    for (const auto& entry : mLiveRefs) {
        if (entry.second.get() == ref) {
            return true;
        }
    }
    return false;
}

DMSIF_MethodRef* DMAuthenticationServiceController::Start(DMAuthenticationServiceListener* listener,
                                                          DMAuthentication_Authenticate_InputType& input) {
    DMSOAPElementType* body = input.ToElement(RequestElementName("SASL"), kDMSASLNamespaceURI);
    if (!body) {
        return nullptr;
    }
    return Invoke("Authenticate", body, listener, "", nullptr);
}

DMSIF_MethodRef* DMAuthenticationServiceController::Authenticate(DMAuthenticationServiceListener* listener,
                                                                 DMAuthentication_Authenticate_InputType& input) {
    if (!input.IsValid()) {
        return nullptr;
    }
    SetCredentials(nullptr, false);
    SetResourceOffering(nullptr, false);
    return Start(listener, input);
}

DMSIF_MethodRef* DMAuthenticationServiceController::AuthenticateWithCredentials(
    DMSOAPElementType* credentials, DMAuthenticationServiceListener* listener,
    DMAuthentication_Authenticate_InputType& input) {
    if (!credentials || !input.IsValid()) {
        return nullptr;
    }
    SetCredentials(credentials, true);
    SetResourceOffering(nullptr, false);
    return Start(listener, input);
}

void DMAuthenticationServiceController::ContinueAuthentication(DMSIF_MethodRef* ref, const std::string& refToMessageID,
                                                               const std::string& data, const std::string& mechanism) {
    if (!Knows(ref)) {
        return;
    }
    DMAuthentication_Authenticate_InputType input("", data, mechanism);
    DMSOAPElementType* body = input.IsValid() ? input.ToElement("SASLRequest", kDMSASLNamespaceURI) : nullptr;
    if (!body || !Invoke("Authenticate", body, nullptr, refToMessageID, ref)) {
        // The call waits for this step; without it the call would never end.
        DispatchDidFail(ref);
    }
}

void DMAuthenticationServiceController::ApplyPasswordTransforms(std::string& password,
                                                                const DMAuthenticationTransformList& transforms) {
    DMApplyPasswordTransforms(password, transforms);
}

void DMAuthenticationServiceController::SetPassword(DMSIF_MethodRef* ref, const std::string& refToMessageID,
                                                    const std::string& userName, const std::string& password) {
    if (!Knows(ref)) {
        return;
    }
    std::string transformed(password);
    if (auto* output = dynamic_cast<DMAuthentication_Authenticate_OutputType*>(ref->GetOutput())) {
        ApplyPasswordTransforms(transformed, output->GetPasswordTransforms());
    }
    std::string data = DMSASLPlainData(userName, transformed);
    DMWipeString(transformed);
    ContinueAuthentication(ref, refToMessageID, data, "PLAIN");
    DMWipeString(data);
}

void DMAuthenticationServiceController::SetSecurID(DMSIF_MethodRef* ref, const std::string& refToMessageID,
                                                   const std::string& passcode) {
    if (!Knows(ref)) {
        return;
    }
    std::string data = DMSASLSecurIDData(passcode);
    ContinueAuthentication(ref, refToMessageID, data, "SECURID");
    DMWipeString(data);
}

void DMAuthenticationServiceController::SIFRequestDidFinish(DMSIF_MethodRef* ref, DMSOAPResultMap& map) {
    DMSOAPElementType* requestEnvelope = DMResultMapElement(map, "RequestEnvelope");
    DMSOAPElementType* responseEnvelope = DMResultMapElement(map, "ResponseEnvelope");
    if (responseEnvelope) {
        ProcessServiceInstanceUpdate(responseEnvelope);
    }
    if (!requestEnvelope || !responseEnvelope) {
        // Not a usable answer; the call must still end.
        DispatchDidFail(ref);
        return;
    }
    auto input = std::make_unique<DMAuthentication_Authenticate_InputType>(SASLElement(requestEnvelope));
    auto decoded = std::make_unique<DMAuthentication_Authenticate_OutputType>(SASLElement(responseEnvelope));
    DMAuthentication_Authenticate_OutputType* output = decoded.get();  // the ref's from here on
    if (!AttachResults(ref, std::move(input), std::move(decoded), requestEnvelope, responseEnvelope)) return;

    const std::string& code = output->GetStatus().GetCode();
    if (DMStringEqual(code, "OK", false)) {
        SetCredentials(output->GetCredentials(), true);
        SetResourceOffering(output->GetResourceOffering(), true);
        DispatchDidFinish(ref);
    } else if (DMStringEqual(code, "continue", false)) {
        const std::string& mechanism = output->GetServerMechanism();
        if (mechanism == "PLAIN" && GetListener(ref)) {
            DispatchAsksForUsernamePassword(ref);
        } else if (mechanism == "SECURID" && GetListener(ref)) {
            DispatchAsksForSecurid(ref);
        } else {
            // No listener to ask, or a mechanism this client never offered (CRAM-MD5
            // included): nothing could continue the call.
            DispatchDidFail(ref);
        }
    } else {
        LogMessage(kLogError, "Authentication failed (code: %s, comment: %s)\n", code.c_str(),
                   output->GetStatus().GetComment().c_str());
        DispatchDidFail(ref);
    }
}

void DMAuthenticationServiceController::SIFRequestDidFail(DMSIF_MethodRef* ref, DMSOAPResultMap& map) {
    DMSOAPElementType* requestEnvelope = DMResultMapElement(map, "RequestEnvelope");
    DMSOAPElementType* responseEnvelope = DMResultMapElement(map, "ResponseEnvelope");
    DMSOAPElementType* fault = DMResultMapElement(map, "ResponseFault");
    DMSOAPElementType* requestElement = SASLElement(requestEnvelope);
    if (!requestElement) {
        DispatchDidFail(ref);
        return;
    }
    auto input = std::make_unique<DMAuthentication_Authenticate_InputType>(requestElement);
    std::unique_ptr<DMAuthentication_Authenticate_OutputType> output;
    if (DMSOAPElementType* responseElement = SASLElement(responseEnvelope)) {
        output = std::make_unique<DMAuthentication_Authenticate_OutputType>(responseElement);
    } else if (fault) {
        output = std::make_unique<DMAuthentication_Authenticate_OutputType>(nullptr);
    }
    if (output) {
        if (fault) {
            output->fault = DMSIF_FaultType(fault);
        }
        LogMessage(kLogError, "Authentication failed (code: %s, string: %s)\n", output->fault.GetFaultCode().c_str(),
                   output->fault.GetFaultString().c_str());
    }
    AttachResults(ref, std::move(input), std::move(output), requestEnvelope, responseEnvelope);
    DispatchDidFail(ref);
}

void DMAuthenticationServiceController::DispatchAsksForUsernamePassword(DMSIF_MethodRef* ref) {
    auto* listener = ref ? dynamic_cast<DMAuthenticationServiceListener*>(GetListener(ref)) : nullptr;
    if (!listener) {
        DispatchDidFail(ref);
        return;
    }
    if (mEventQueue) {
        mEventQueue->Post(new DMAuthenticationServiceListenerDispatchAsksForUsernamePasswordEvent(listener, ref, this));
    } else {
        listener->AsksForUsernamePassword(ref, ref->GetResponseMessageID());
    }
}

void DMAuthenticationServiceController::DispatchAsksForSecurid(DMSIF_MethodRef* ref) {
    auto* listener = ref ? dynamic_cast<DMAuthenticationServiceListener*>(GetListener(ref)) : nullptr;
    if (!listener) {
        DispatchDidFail(ref);
        return;
    }
    if (mEventQueue) {
        mEventQueue->Post(new DMAuthenticationServiceListenerDispatchAsksForSecuridEvent(listener, ref, this));
    } else {
        listener->AsksForSecurid(ref, ref->GetResponseMessageID());
    }
}

// --- events ---

DMAuthenticationServiceListenerDispatchAsksEvent::DMAuthenticationServiceListenerDispatchAsksEvent(
    DMAuthenticationServiceListener* listener, DMSIF_MethodRef* ref, DMAuthenticationServiceController* service)
    : mListener(listener),
      mRef(ref),
      mCallID(ref ? ref->GetID() : std::string()),
      mService(service),
      mServiceAlive(service ? std::weak_ptr<bool>(service->GetAliveToken()) : std::weak_ptr<bool>()) {}

DMSIF_MethodRef* DMAuthenticationServiceListenerDispatchAsksEvent::LiveRef() const {
    if (!mListener || !mService || mServiceAlive.expired()) {
        return nullptr;
    }
    // A retired ref means the call ended before the question could be asked.
    return mService->Knows(mRef) ? mRef : nullptr;
}

void DMAuthenticationServiceListenerDispatchAsksForUsernamePasswordEvent::Fire() {
    if (DMSIF_MethodRef* ref = LiveRef()) {
        mListener->AsksForUsernamePassword(ref, ref->GetResponseMessageID());
    }
}

void DMAuthenticationServiceListenerDispatchAsksForSecuridEvent::Fire() {
    if (DMSIF_MethodRef* ref = LiveRef()) {
        mListener->AsksForSecurid(ref, ref->GetResponseMessageID());
    }
}
