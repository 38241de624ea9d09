#include "dms/core/DMSIFRequest.h"

#include <cctype>
#include <cstdlib>

#include "dms/core/DMPlatformUtils.h"
#include "dms/core/DMSIFService.h"
#include "dms/core/DMSOAPNamespaces.h"
#include "runtime/LogMessage.h"

namespace {

std::unique_ptr<DMSOAPElementType> CopyOrNull(const DMSOAPElementType* element) {
    return element ? std::make_unique<DMSOAPElementType>(element) : nullptr;
}

std::string ChildText(DMSOAPElementType* element, const char* name) {
    if (!element) return {};
    DMSOAPElementType* child = element->FindChild(name, 1);
    return child ? child->text : std::string();
}

}  // namespace

DMSIFRequest::DMSIFRequest(DMSOAPElementType* body, DMSIFRequestListener* listener)
    : DMSOAPRequest(body, nullptr), mSIFListener(listener) {
    SetListener(static_cast<DMSOAPRequestListener*>(this));
}

DMSIFRequest::~DMSIFRequest() = default;

void DMSIFRequest::RegisterNamespace(const std::string& uri, const std::string& prefix) { mNamespaces[uri] = prefix; }

void DMSIFRequest::RegisterNamespaces(const DMNamespacePrefixMap& table) {
    for (const auto& [uri, prefix] : table)
        mNamespaces[uri] = prefix;
}

void DMSIFRequest::SetSecurityHeader(DMSOAPElementType* element) { mSecurityHeader = CopyOrNull(element); }

void DMSIFRequest::SetDeviceTypeHeader(DMSOAPElementType* element) { mDeviceTypeHeader = CopyOrNull(element); }

void DMSIFRequest::SetCorrelationHeader(DMSOAPElementType* element) { mCorrelationHeader = CopyOrNull(element); }

void DMSIFRequest::Serialize() {
    if (!mCorrelationHeader) {
        auto correlation = std::make_unique<DMSOAPElementType>("Correlation", kDMSOAPBindingNamespace.uri, "");
        correlation->AddAttribute(new DMSOAPAttributeType("mustUnderstand", kDMSOAP11EnvelopeURI, "1"), false);
        correlation->AddAttribute(new DMSOAPAttributeType("messageID", kDMSOAPBindingNamespace.uri, GetMessageID()),
                                  false);
        if (!mRefToMessageID.empty())
            correlation->AddAttribute(
                new DMSOAPAttributeType("refToMessageID", kDMSOAPBindingNamespace.uri, mRefToMessageID), false);
        correlation->AddAttribute(new DMSOAPAttributeType("timestamp", kDMSOAPBindingNamespace.uri, GetTimestamp()),
                                  false);
        mCorrelationHeader = std::move(correlation);
    }
    if (!mHeadersAdded) {
        mHeadersAdded = true;
        if (DMSOAPElementType* header = GetHeader()) {
            for (DMSOAPElementType* block : {mCorrelationHeader.get(), mDeviceTypeHeader.get(), mSecurityHeader.get()})
                if (block) header->AddChild(block, true);
        }
    }
    DMSOAPRequest::Serialize();
}

void DMSIFRequest::StoreElapsedTime() {
    if (!mMethodRef) return;
    const double elapsed = mSendTime > 0 && mLastActivityTime > 0 ? mLastActivityTime - mSendTime : 0;
    mMethodRef->SetElapsedTime(elapsed);
}

void DMSIFRequest::SOAPRequestDidFinish(DMSOAPResultMap& map) {
    DMSOAPResultMap out;
    out["RequestEnvelope"] = DMResultMapElement(map, "RequestEnvelope");
    out["ResponseEnvelope"] = DMResultMapElement(map, "ResponseEnvelope");
    if (mMethodRef) {
        mMethodRef->SetResponseMessageID(DMSIFService::GetCorrelationMessageID(out["ResponseEnvelope"]));
        StoreElapsedTime();
    }
    if (mSIFListener) mSIFListener->SIFRequestDidFinish(mMethodRef, out);
}

void DMSIFRequest::SOAPRequestProgress(DMSOAPResultMap& map) {
    DMSOAPResultMap out;
    out["RequestEnvelope"] = DMResultMapElement(map, "RequestEnvelope");
    out["ResponseEnvelope"] = DMResultMapElement(map, "ResponseEnvelope");
    static const char* const kCounts[] = {"kRequestUploadBytes", "kRequestUploadTotal", "kRequestDownloadBytes",
                                          "kRequestDownloadTotal"};
    for (int i = 0; i < 4; ++i) {
        DMSOAPElementType* element = DMResultMapElement(map, kCounts[i]);
        if (!element) continue;
        out[kCounts[i]] = element;
        if (!mMethodRef) continue;
        const int value = std::atoi(element->text.c_str());
        switch (i) {
        case 0: mMethodRef->SetUploadBytes(value); break;
        case 1: mMethodRef->SetUploadTotal(value); break;
        case 2: mMethodRef->SetDownloadBytes(value); break;
        default: mMethodRef->SetDownloadTotal(value); break;
        }
    }
    StoreElapsedTime();
    if (mSIFListener) mSIFListener->SIFRequestProgress(mMethodRef, out);
}

void DMSIFRequest::SOAPRequestDidFail(DMSOAPResultMap& map) {
    DMSOAPResultMap out;
    for (const char* key : {"RequestEnvelope", "ErrorDomain", "ErrorCode", "ResponseFault", "ResponseEnvelope"})
        out[key] = DMResultMapElement(map, key);
    // Read before a possible re-send, which replaces the request's URL.
    const std::string action = mSOAPAction;
    const std::string url = mURL;
    bool handled = false;
    if (out["ResponseFault"] && out["ResponseEnvelope"])
        handled = HandleEndpointMoved(out["ResponseFault"], out["ResponseEnvelope"]) == 0;

    LogMessage(0, "SOAPRequestDidFail (action %s, endpoint %s)\n", action.c_str(), url.c_str());
    LogMessage(0, "  Fault code: %s\n", ChildText(out["ResponseFault"], "faultcode").c_str());
    LogMessage(0, "  Fault string: %s\n", ChildText(out["ResponseFault"], "faultstring").c_str());
    StoreElapsedTime();
    if (mMethodRef)
        LogMessage(2, "Method (%s) elapsed time for response: %lf secs\n", mMethodRef->GetMethodName().c_str(),
                   mMethodRef->GetElapsedTime());
    if (!handled && mSIFListener) mSIFListener->SIFRequestDidFail(mMethodRef, out);
}

int DMSIFRequest::HandleEndpointMoved(DMSOAPElementType* faultElement, DMSOAPElementType* envelope) {
    if (!faultElement || !envelope) return 1;
    DMSIF_FaultType fault(faultElement);
    const std::string prefix = envelope->FindNamespacePrefix(kDMSOAP11EnvelopeURI);
    if (fault.GetFaultCode() != prefix + ":Service") return 1;
    if (fault.GetStatus().GetCode() != "EndpointMoved") return 1;
    DMSOAPElementType* header = envelope->FindChild("Header", 1);
    DMSOAPElementType* update = header ? header->FindChild("ServiceInstanceUpdate", 1) : nullptr;
    DMSOAPElementType* endpoint = update ? update->FindChild("Endpoint", 1) : nullptr;
    if (!endpoint) return 1;

    // A server may move a call, but not endlessly, not off http(s), and never from a
    // protected endpoint to a clear one (the Security header would follow in clear).
    const std::string& target = endpoint->text;
    const bool targetHttps = DMStringHasPrefix(target, "https://", false);
    if (!targetHttps && !DMStringHasPrefix(target, "http://", false)) {
        LogMessage(0, "EndpointMoved to an unusable endpoint refused: %s\n", target.c_str());
        return 1;
    }
    if (DMStringHasPrefix(mURL, "https://", false) && !targetHttps) {
        LogMessage(0, "EndpointMoved from https to http refused: %s\n", target.c_str());
        return 1;
    }
    if (mMoves >= kDMMaxEndpointMoves) {
        LogMessage(0, "EndpointMoved refused after %d moves: %s\n", mMoves, target.c_str());
        return 1;
    }
    ++mMoves;
    // Unsent, the fault is reported rather than waited upon.
    return Send(target) == 1 ? 0 : 1;
}
