#include "dms/core/DMSIFService.h"

#include <cctype>
#include <cstdio>

#include "runtime/LThreadEventQueue.h"
#include "runtime/LogMessage.h"
#include "dms/core/DMSOAPNamespaces.h"

namespace {

constexpr const char* kDefaultSOAPAction = "\"\"";

// Query-component encoding: unreserved characters stay, everything else is %XX.
std::string PercentEncode(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += c;
        } else {
            char buffer[4];
            std::snprintf(buffer, sizeof buffer, "%%%02X", u);
            out += buffer;
        }
    }
    return out;
}

template <typename Map>
typename Map::mapped_type Lookup(const Map& map, const std::string& key) {
    const auto it = map.find(key);
    return it == map.end() ? nullptr : it->second;
}

template <typename Map>
typename Map::mapped_type::pointer LookupOwned(const Map& map, const std::string& key) {
    const auto it = map.find(key);
    return it == map.end() ? nullptr : it->second.get();
}

std::unique_ptr<DMSOAPElementType> CopyOf(const DMSOAPElementType* element) {
    return std::make_unique<DMSOAPElementType>(element);
}

}  // namespace

DMSIFService::DMSIFService(const std::string& serviceType, DMSIFServiceListener* listener)
    : DMSOAPService(nullptr), mServiceType(serviceType), mDefaultListener(listener) {
    RegisterSIFNamespaces();
}

DMSIFService::DMSIFService(const std::string& serviceType, const std::string& endpoint, DMSIFServiceListener* listener)
    : DMSOAPService(endpoint, nullptr), mServiceType(serviceType), mDefaultListener(listener) {
    RegisterSIFNamespaces();
}

DMSIFService::~DMSIFService() { *mAlive = false; }

// ---- configuration ------------------------------------------------------------------------

void DMSIFService::SetListener(DMSIFServiceListener* listener, DMSIF_MethodRef* ref) {
    if (ref)
        mCallListeners[ref->GetID()] = listener;
    else
        mDefaultListener = listener;
}

DMSIFServiceListener* DMSIFService::GetListener(DMSIF_MethodRef* ref) const {
    if (ref) {
        if (DMSIFServiceListener* l = Lookup(mCallListeners, ref->GetID())) return l;
    }
    return mDefaultListener;
}

void DMSIFService::SetCredentials(DMSOAPElementType* element, bool copy) {
    if (element && element == mSecurityHeader.get() && !copy) return;  // already held
    // Without copy the element comes with the call (and goes unless it is kept).
    std::unique_ptr<DMSOAPElementType> taken(copy ? nullptr : element);
    std::unique_ptr<DMSOAPElementType> security;
    if (element && element->name == "Security") {
        security = copy ? CopyOf(element) : std::move(taken);
    } else if (element && (element->name == "Credentials" || element->name == "Credential")) {
        security = std::make_unique<DMSOAPElementType>("Security", kDMWSSecurityURI, "");
        if (copy) {
            for (DMSOAPElementType* child : element->children)
                security->AddChild(child, true);
        } else {
            std::list<DMSOAPElementType*> children;
            children.swap(element->children);
            for (DMSOAPElementType* child : children) {
                child->parent = nullptr;
                security->AddChild(child, false);
            }
        }
    }
    // Any other name: no credentials. The new header is complete before the held one
    // goes, which a copied element may be part of.
    mSecurityHeader = std::move(security);
}

void DMSIFService::SetResourceOffering(DMSOAPElementType* element, bool copy) {
    if (element && element == mResourceOffering.get() && !copy) {
        ProcessResourceOffering(mResourceOffering.get());
        return;
    }
    if (!element) {
        InstallResourceOffering(nullptr);
        return;
    }
    InstallResourceOffering(copy ? CopyOf(element) : std::unique_ptr<DMSOAPElementType>(element));
}

void DMSIFService::InstallResourceOffering(std::unique_ptr<DMSOAPElementType> offering) {
    mResourceOffering = std::move(offering);
    if (mResourceOffering) ProcessResourceOffering(mResourceOffering.get());
}

void DMSIFService::ProcessResourceOffering(DMSOAPElementType* offering) {
    mResourceOfferingValues.clear();
    SetEndpoint("");
    mSOAPAction = kDefaultSOAPAction;
    if (!offering) return;
    auto store = [this](DMSOAPElementType* parent, const char* name) -> DMSOAPElementType* {
        DMSOAPElementType* child = parent ? parent->FindChild(name, 1) : nullptr;
        if (child) mResourceOfferingValues[name] = child->text;
        return child;
    };
    store(offering, "ResourceID");
    DMSOAPElementType* instance = offering->FindChild("ServiceInstance", 1);
    DMSOAPElementType* endpoint = nullptr;
    if (instance) {
        store(instance, "ServiceType");
        store(instance, "ProviderID");
        if (DMSOAPElementType* description = instance->FindChild("Description", 1)) {
            store(description, "SecurityMechID");
            store(description, "CredentialRef");
            endpoint = store(description, "Endpoint");
            store(description, "SoapAction");
        }
    }
    if (endpoint) {
        if (!endpoint->text.empty())
            LogMessage(1, "ResourceOffering contains service endpoint. [%s]\n", endpoint->text.c_str());
        else
            LogMessage(0, "ResourceOffering contains empty service endpoint!\n");
    }
    const std::string url = GetResourceOfferingValue("Endpoint");
    if (!url.empty()) SetEndpoint(url);
    const std::string action = GetResourceOfferingValue("SoapAction");
    if (!action.empty()) mSOAPAction = action;
}

void DMSIFService::ProcessServiceInstanceUpdate(DMSOAPElementType* responseEnvelope) {
    DMSOAPElementType* header = responseEnvelope ? responseEnvelope->FindChild("Header", 1) : nullptr;
    DMSOAPElementType* update = header ? header->FindChild("ServiceInstanceUpdate", 1) : nullptr;
    if (!update) return;
    auto offering =
        mResourceOffering ? CopyOf(mResourceOffering.get()) : std::make_unique<DMSOAPElementType>("", "", "");
    bool mechanismCame = false;
    DMSOAPElementType* instance = offering->FindChild("ServiceInstance", 1);
    DMSOAPElementType* description = instance ? instance->FindChild("Description", 1) : nullptr;
    if (description) {
        if (DMSOAPElementType* mech = update->FindChild("SecurityMechID", 1)) {
            description->RemoveChild("SecurityMechID", kDMDiscoveryNamespace.uri);
            description->AddChild(mech, true);
            mechanismCame = true;
        }
        if (DMSOAPElementType* endpoint = update->FindChild("Endpoint", 1)) {
            // A server may move the service, but not from a protected endpoint to a clear
            // one: the credentials would follow in clear.
            const bool downgrade = DMStringHasPrefix(mEndpoint, "https://", false) &&
                                   !DMStringHasPrefix(endpoint->text, "https://", false);
            if (downgrade) {
                LogMessage(0, "ServiceInstanceUpdate to a clear endpoint refused: %s\n", endpoint->text.c_str());
            } else {
                description->RemoveChild("Endpoint", kDMDiscoveryNamespace.uri);
                description->AddChild(endpoint, true);
            }
        }
    }
    InstallResourceOffering(std::move(offering));
    if (DMSOAPElementType* credential = update->FindChild("Credential", 1)) {
        if (mechanismCame)
            SetCredentials(credential, true);
        else
            LogMessage(0,
                       "ServiceInstanceUpdate contains new Credentials, but no SecurityMechID.  Credentials are "
                       "ignored per SIF requirement.\n");
    }
}

void DMSIFService::SetDeviceAttribute(const std::string& name, const std::string& value) {
    if (!value.empty()) {
        if (!mDeviceTypeHeader) mDeviceTypeHeader = std::make_unique<DMSOAPElementType>("DeviceType", kDMSIFURI, "");
        if (DMSOAPAttributeType* attribute = mDeviceTypeHeader->FindAttribute(name))
            attribute->value = value;
        else
            mDeviceTypeHeader->AddAttribute(new DMSOAPAttributeType(name, kDMSIFURI, value), false);
    } else if (mDeviceTypeHeader) {
        mDeviceTypeHeader->RemoveAttribute(name);
        if (!mDeviceTypeHeader->FindAttribute("man") && !mDeviceTypeHeader->FindAttribute("name") &&
            !mDeviceTypeHeader->FindAttribute("version")) {
            mDeviceTypeHeader.reset();
        }
    }
    UpdateUserAgent();
}

void DMSIFService::SetDeviceManufacturer(const std::string& value) { SetDeviceAttribute("man", value); }
void DMSIFService::SetDeviceName(const std::string& value) { SetDeviceAttribute("name", value); }
void DMSIFService::SetDeviceVersion(const std::string& value) { SetDeviceAttribute("version", value); }

void DMSIFService::SetUserAgentFormat(const std::string& format) {
    mUserAgentFormat = format;
    UpdateUserAgent();
}

void DMSIFService::SetAppendCID(bool on) { mAppendCID = on; }

void DMSIFService::UpdateUserAgent() {
    if (!mDeviceTypeHeader) return;
    auto value = [this](const char* name) -> std::string {
        DMSOAPAttributeType* a = mDeviceTypeHeader->FindAttribute(name);
        return a ? a->value : std::string();
    };
    std::string agent;
    if (!mUserAgentFormat.empty()) {
        const std::string& f = mUserAgentFormat;
        for (std::size_t i = 0; i < f.size(); ++i) {
            if (f[i] != '%') {
                agent += f[i];
                continue;
            }
            if (i + 1 >= f.size()) break;
            const char c = f[++i];
            if (c == 'M')
                agent += value("man");
            else if (c == 'N')
                agent += value("name");
            else if (c == 'V')
                agent += value("version");
            else if (c == '%')
                agent += '%';
        }
    } else if (mDeviceTypeHeader->FindAttribute("man") && mDeviceTypeHeader->FindAttribute("name")) {
        agent = value("man") + "_" + value("name");
        if (mDeviceTypeHeader->FindAttribute("version")) agent += "_" + value("version");
    }
    mUserAgent = agent;
}

std::string DMSIFService::GetResourceOfferingValue(const std::string& key) const {
    const auto it = mResourceOfferingValues.find(key);
    return it == mResourceOfferingValues.end() ? std::string() : it->second;
}

std::string DMSIFService::GetCorrelationMessageID(DMSOAPElementType* envelope) {
    DMSOAPElementType* header = envelope ? envelope->FindChild("Header", 1) : nullptr;
    DMSOAPElementType* correlation = header ? header->FindChild("Correlation", 1) : nullptr;
    DMSOAPAttributeType* id = correlation ? correlation->FindAttribute("messageID") : nullptr;
    return id ? id->value : std::string();
}

std::string DMSIFService::RequestElementName(const std::string& name) { return name + "Request"; }
std::string DMSIFService::ResponseElementName(const std::string& name) { return name + "Response"; }

// ---- validity -----------------------------------------------------------------------------

bool DMSIFService::HasCredentials() { return mSecurityHeader != nullptr; }
bool DMSIFService::HasEndpoint() { return !mEndpoint.empty(); }

bool DMSIFService::CheckValidity() {
    if (HasCredentials() && HasEndpoint()) {
        if (!mValid) DispatchDidBecomeValid();
        mValid = true;
        return true;
    }
    if (mValid) Invalidate();
    mValid = false;
    return false;
}

void DMSIFService::Invalidate() {
    LogMessage(1, "Invalidating service %s\n", mServiceType.c_str());
    CancelAllMethods();
    SetCredentials(nullptr, false);
    SetResourceOffering(nullptr, false);
    DispatchDidBecomeInvalid();
}

// ---- calls --------------------------------------------------------------------------------

bool DMSIFService::OwnsMethodRef(const DMSIF_MethodRef* ref) const {
    if (!ref) return false;
    for (const auto& [id, r] : mLiveRefs)
        if (r.get() == ref) return true;
    for (const auto& [id, r] : mRetiredRefs)
        if (r.get() == ref) return true;
    return false;
}

DMSIF_MethodRef* DMSIFService::FindMethodRef(const std::string& callID) const {
    if (DMSIF_MethodRef* ref = LookupOwned(mLiveRefs, callID)) return ref;
    return LookupOwned(mRetiredRefs, callID);
}

DMSIFRequest* DMSIFService::FindActiveRequest(const std::string& callID) const {
    return LookupOwned(mActiveRequests, callID);
}

void DMSIFService::RetireRequest(const std::string& callID, std::unique_ptr<DMSIFRequest> request) {
    std::unique_ptr<DMSIFRequest>& slot = mRetiredRequests[callID];
    if (slot) mDeferredRequests.push_back(std::move(slot));
    slot = std::move(request);
}

void DMSIFService::DeleteRetired() {
    for (auto& [id, request] : mRetiredRequests)
        mDeferredRequests.push_back(std::move(request));
    mRetiredRequests.clear();
    // A request still inside its own report (a listener called Invoke from there) goes later.
    std::erase_if(mDeferredRequests,
                  [](const std::unique_ptr<DMSIFRequest>& request) { return !request->IsReporting(); });
    for (const auto& [id, ref] : mRetiredRefs)
        mFinalPending.erase(ref.get());
    mRetiredRefs.clear();
}

std::string DMSIFService::CallURL() const {
    if (!mAppendCID) return mEndpoint;
    // The User-Agent holds spaces and slashes: it must be encoded to be a query value.
    const char separator = mEndpoint.find('?') == std::string::npos ? '?' : '&';
    return mEndpoint + separator + "cid=" + PercentEncode(mUserAgent);
}

DMSIF_MethodRef* DMSIFService::Invoke(const std::string& methodName, DMSOAPElementType* body,
                                      DMSIFServiceListener* listener, const std::string& refToMessageID,
                                      DMSIF_MethodRef* ref) {
    std::unique_ptr<DMSOAPElementType> ownedBody(body);
    // A continued call's ref survives the clean-up even when it was already released.
    if (ref) {
        for (auto it = mRetiredRefs.begin(); it != mRetiredRefs.end(); ++it) {
            if (it->second.get() == ref) {
                mLiveRefs[it->first] = std::move(it->second);
                mRetiredRefs.erase(it);
                break;
            }
        }
        if (!OwnsMethodRef(ref)) ref = nullptr;
    }
    DeleteRetired();
    LogMessage(1, "Invoking SIF Method: %s\n", methodName.c_str());
    if (!CheckValidity()) {
        LogMessage(0, "\tSecurity Credentials are invalid.\n");
        return nullptr;
    }

    auto request = std::make_unique<DMSIFRequest>(ownedBody.release(), this);
    request->RegisterNamespaces(SIFNamespacePrefixTable());
    if (mSecurityHeader) request->SetSecurityHeader(mSecurityHeader.get());
    if (mDeviceTypeHeader) request->SetDeviceTypeHeader(mDeviceTypeHeader.get());
    if (!refToMessageID.empty()) request->SetRefToMessageID(refToMessageID);
    if (!mSOAPAction.empty()) request->SetSOAPAction(mSOAPAction);
    if (!mUserAgent.empty()) request->SetUserAgent(mUserAgent);
    request->SetProgress(mProgress);
    // A transport is always made; what becomes of the call comes as a report.
    static_cast<void>(request->Send(CallURL()));

    if (ref) {
        ref->SetMessageID(request->GetMessageID());
    } else {
        auto made = std::make_unique<DMSIF_MethodRef>(methodName, request->GetMessageID());
        ref = made.get();
        mLiveRefs[ref->GetID()] = std::move(made);
    }
    ref->SetService(this);
    request->SetMethodRef(ref);
    if (listener) SetListener(listener, ref);

    const std::string& id = ref->GetID();
    std::unique_ptr<DMSIFRequest>& active = mActiveRequests[id];
    if (active) RetireRequest(id, std::move(active));
    active = std::move(request);
    mFinalPending.erase(ref);
    return ref;
}

void DMSIFService::CancelMethod(DMSIF_MethodRef* ref) {
    if (!ref || !OwnsMethodRef(ref)) return;
    DMSIFRequest* request = LookupOwned(mActiveRequests, ref->GetID());
    if (request && !request->HasResponse()) request->Cancel();
    DispatchDidCancel(ref);
}

void DMSIFService::CancelAllMethods() {
    std::vector<DMSIF_MethodRef*> snapshot;
    for (auto& [id, ref] : mLiveRefs)
        snapshot.push_back(ref.get());
    for (DMSIF_MethodRef* ref : snapshot)
        if (OwnsMethodRef(ref)) CancelMethod(ref);
}

void DMSIFService::ReleaseMethodRef(DMSIF_MethodRef* ref) {
    if (!ref || ref->IsHeld() || !OwnsMethodRef(ref)) return;
    const std::string id = ref->GetID();
    if (auto active = mActiveRequests.find(id); active != mActiveRequests.end()) {
        std::unique_ptr<DMSIFRequest> request = std::move(active->second);
        mActiveRequests.erase(active);
        if (request) RetireRequest(id, std::move(request));
    }
    if (auto live = mLiveRefs.find(id); live != mLiveRefs.end() && live->second.get() == ref) {
        mRetiredRefs[id] = std::move(live->second);
        mLiveRefs.erase(live);
    }
    mCallListeners.erase(id);
}

// ---- results ------------------------------------------------------------------------------

bool DMSIFService::AttachResults(DMSIF_MethodRef* ref, std::unique_ptr<DMSIF_MethodArgumentsType> arguments,
                                 std::unique_ptr<DMSIF_MethodOutputType> output, DMSOAPElementType* requestEnvelope,
                                 DMSOAPElementType* responseEnvelope) {
    if (!ref || FindMethodRef(ref->GetID()) != ref) return false;
    ref->SetArguments(arguments.release());
    ref->SetOutput(output.release());
    ref->SetRequestEnvelope(requestEnvelope);
    ref->SetResponseEnvelope(responseEnvelope);
    return true;
}

void DMSIFService::SIFRequestDidFinish(DMSIF_MethodRef* ref, DMSOAPResultMap& map) {
    DMSOAPElementType* requestEnvelope = DMResultMapElement(map, "RequestEnvelope");
    DMSOAPElementType* responseEnvelope = DMResultMapElement(map, "ResponseEnvelope");
    if (responseEnvelope) ProcessServiceInstanceUpdate(responseEnvelope);
    auto input = std::make_unique<DMSIF_GenericMethod_InputType>(requestEnvelope);
    auto output = responseEnvelope ? std::make_unique<DMSIF_GenericMethod_OutputType>(responseEnvelope) : nullptr;
    AttachResults(ref, std::move(input), std::move(output), requestEnvelope, responseEnvelope);
    DispatchDidFinish(ref);
}

void DMSIFService::SIFRequestDidFail(DMSIF_MethodRef* ref, DMSOAPResultMap& map) {
    DMSOAPElementType* requestEnvelope = DMResultMapElement(map, "RequestEnvelope");
    DMSOAPElementType* responseEnvelope = DMResultMapElement(map, "ResponseEnvelope");
    auto input = std::make_unique<DMSIF_GenericMethod_InputType>(requestEnvelope);
    // Every failure carries its fault when there is one (also the synthesized transport
    // fault, which has no response envelope), so a listener can tell why.
    std::unique_ptr<DMSIF_GenericMethod_OutputType> output;
    DMSOAPElementType* fault = DMResultMapElement(map, "ResponseFault");
    if (responseEnvelope || fault) {
        output = std::make_unique<DMSIF_GenericMethod_OutputType>(responseEnvelope);
        if (fault) output->fault = DMSIF_FaultType(fault);
    }
    AttachResults(ref, std::move(input), std::move(output), requestEnvelope, responseEnvelope);
    DispatchDidFail(ref);
}

void DMSIFService::SIFRequestProgress(DMSIF_MethodRef* ref, DMSOAPResultMap&) { DispatchProgress(ref); }

// ---- dispatch -----------------------------------------------------------------------------

void DMSIFService::DispatchDidBecomeValid() {
    LogMessage(2, "service %s became valid\n", mServiceType.c_str());
    if (!mDefaultListener) return;
    if (mEventQueue)
        mEventQueue->Post(new DMSIFServiceListenerDispatchDidBecomeValidEvent(mDefaultListener, this));
    else
        mDefaultListener->DidBecomeValid(this);
}

void DMSIFService::DispatchDidBecomeInvalid() {
    LogMessage(2, "service %s became invalid\n", mServiceType.c_str());
    if (!mDefaultListener) return;
    if (mEventQueue)
        mEventQueue->Post(new DMSIFServiceListenerDispatchDidBecomeInvalidEvent(mDefaultListener, this));
    else
        mDefaultListener->DidBecomeInvalid(this);
}

void DMSIFService::DispatchFinal(DMSIF_MethodRef* ref,
                                 const std::function<LThreadEvent*(DMSIFServiceListener*)>& makeEvent,
                                 const std::function<void(DMSIFServiceListener*)>& deliver) {
    if (!ref || !OwnsMethodRef(ref) || !mFinalPending.insert(ref).second) return;
    DMSIFServiceListener* listener = GetListener(ref);
    if (!listener) {
        ReleaseMethodRef(ref);  // nobody to tell; the call is over all the same
        return;
    }
    if (mEventQueue) {
        mEventQueue->Post(makeEvent(listener));
        return;
    }
    deliver(listener);
    ReleaseMethodRef(ref);
}

void DMSIFService::DispatchDidFinish(DMSIF_MethodRef* ref) {
    DispatchFinal(
        ref, [&](DMSIFServiceListener* l) { return new DMSIFServiceListenerDispatchDidFinishEvent(l, ref, this); },
        [&](DMSIFServiceListener* l) { l->DidFinish(ref, ref->GetArguments(), ref->GetOutput()); });
}

void DMSIFService::DispatchDidFail(DMSIF_MethodRef* ref) {
    DispatchFinal(
        ref, [&](DMSIFServiceListener* l) { return new DMSIFServiceListenerDispatchDidFailEvent(l, ref, this); },
        [&](DMSIFServiceListener* l) { l->DidFail(ref, ref->GetArguments(), ref->GetOutput()); });
}

void DMSIFService::DispatchDidCancel(DMSIF_MethodRef* ref) {
    DispatchFinal(
        ref, [&](DMSIFServiceListener* l) { return new DMSIFServiceListenerDispatchDidCancelEvent(l, ref, this); },
        [&](DMSIFServiceListener* l) { l->DidCancel(ref, ref->GetArguments()); });
}

void DMSIFService::DispatchProgress(DMSIF_MethodRef* ref) {
    if (!ref || !OwnsMethodRef(ref)) return;
    DMSIFServiceListener* listener = GetListener(ref);
    if (!listener) return;
    if (mEventQueue) {
        mEventQueue->Post(new DMSIFServiceListenerDispatchProgressEvent(listener, ref, this));
        return;
    }
    if (ref->GetDownloadTotal() != 0)
        listener->DownloadProgress(ref, ref->GetDownloadBytes(), ref->GetDownloadTotal());
    else
        listener->UploadProgress(ref, ref->GetUploadBytes(), ref->GetUploadTotal());
}
