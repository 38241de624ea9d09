#include "dms/core/DMSOAPRequest.h"

#include <cstdio>

#include "dms/core/DMPlatformUtils.h"
#include "dms/core/DMSOAPNamespaces.h"
#include "dms/core/DMURLRequestLinux.h"
#include "engine/base/LogMessage.h"

// Owners may delete a request only while it is not reporting (IsReporting), and a
// transport replaced or cancelled while it may still be inside its own report is kept
// until the request goes: a listener re-sends (moved endpoint) or cancels from inside a
// report of the very transport that is reporting.

namespace {

// Longest response text a log line shows when the response cannot be parsed.
constexpr std::size_t kMaxLoggedResponse = 4096;

class ReportingScope {
public:
    ReportingScope(int& counter, const std::shared_ptr<bool>& alive) : counter_(counter), alive_(alive) {
        ++counter_;
    }
    ~ReportingScope() {
        if (!alive_.expired()) --counter_;
    }

private:
    int& counter_;
    std::weak_ptr<bool> alive_;
};

DMSOAPElementType* TextElement(const std::string& name, const std::string& text) {
    return new DMSOAPElementType(name, "", text);
}

}  // namespace

DMSOAPElementType* DMResultMapElement(const DMSOAPResultMap& map, const std::string& key) {
    const auto it = map.find(key);
    return it == map.end() ? nullptr : it->second;
}

DMSOAPRequest::DMSOAPRequest(DMSOAPElementType* body, DMSOAPRequestListener* listener)
    : mListener(listener) {
    BuildEnvelope();
    if (body) {
        if (DMSOAPElementType* b = GetBody()) b->AddChild(body, false);
    }
}

DMSOAPRequest::~DMSOAPRequest() {
    *mAlive = false;
    delete mHTTPRequest;
    mRetiredTransports.clear();
    delete mRequestMessage;
    delete mResponseMessage;
    delete mRequestEnvelope;
    delete mRequestMessageIDElement;
    delete mResponseEnvelope;
    delete mErrorDomainElement;
    delete mErrorCodeElement;
    delete mFaultElement;
    for (auto* e : mProgressElements) delete e;
}

void DMSOAPRequest::BuildEnvelope() {
    mRequestEnvelope = new DMSOAPElementType("Envelope", kDMSOAP11EnvelopeURI, "");
    mRequestEnvelope->DeclareNamespace(kDMSOAP11EnvelopeURI, kDMSOAP11Namespace.prefix);
    mRequestEnvelope->AddChild(new DMSOAPElementType("Header", kDMSOAP11EnvelopeURI, ""), false);
    mRequestEnvelope->AddChild(new DMSOAPElementType("Body", kDMSOAP11EnvelopeURI, ""), false);
}

DMSOAPElementType* DMSOAPRequest::GetHeader() const {
    return mRequestEnvelope ? mRequestEnvelope->FindChild("Header", 1) : nullptr;
}

DMSOAPElementType* DMSOAPRequest::GetBody() const {
    return mRequestEnvelope ? mRequestEnvelope->FindChild("Body", 1) : nullptr;
}

const std::string& DMSOAPRequest::GetMessageID() {
    if (mMessageID.empty()) mMessageID = DMPlatformUtils::GetInstance()->NewGUID();
    return mMessageID;
}

const std::string& DMSOAPRequest::GetTimestamp() {
    if (mTimestamp.empty())
        mTimestamp = DMPlatformUtils::GetInstance()->FormatCurrentTimeUTC("%Y-%m-%dT%H:%M:%SZ");
    return mTimestamp;
}

void DMSOAPRequest::ReplaceElement(DMSOAPElementType*& slot, DMSOAPElementType* element) {
    // Elements handed out stay valid for the request's life (a re-send replaces them).
    if (slot) mProgressElements.push_back(slot);
    slot = element;
}

void DMSOAPRequest::Serialize() {
    if (mRequestMessage) return;
    auto* message = new DMSOAPMessage(false);
    try {
        mRequestEnvelope->ToXMLElement(*message->GetDocument(), nullptr, mNamespaces);
        message->FindHeaderAndBody();
    } catch (const std::exception& e) {
        LogMessage(0, "Failed to serialize SOAP request: %s\n", e.what());
    }
    mRequestMessage = message;
}

void DMSOAPRequest::Cancel() {
    if (!mHTTPRequest) return;
    mHTTPRequest->Cancel();
    if (mReporting > 0)
        mRetiredTransports.emplace_back(mHTTPRequest);
    else
        delete mHTTPRequest;
    mHTTPRequest = nullptr;
}

int DMSOAPRequest::Send(const std::string& url) {
    Cancel();
    if (mReporting == 0) mRetiredTransports.clear();
    mHasResponse = false;
    mMessageID.clear();
    delete mRequestMessage;
    mRequestMessage = nullptr;
    if (!url.empty()) mURL = url;

    DMURLRequest* http = DMURLRequestLinux::Create(mURL);
    if (!http) return 0;
    mHTTPRequest = http;
    http->SetMethod("POST");
    http->SetProgressTimerEnabled(mProgress);
    if (!mUserAgent.empty()) http->SetHeader("User-Agent", mUserAgent);
    http->SetHeader("Host", http->GetHost(true));
    http->SetHeader("Connection", "close");
    http->SetHeader("Content-Type", "text/xml; charset=\"utf-8\"");
    http->SetHeader("SOAPAction", !mSOAPAction.empty() ? mSOAPAction : http->GetLastPathSegment());

    Serialize();
    http->SetBody(mRequestMessage ? mRequestMessage->ToString() : std::string());
    http->SetListener(this);
    if (GetLogLevel() >= 0) mSendTime = DMPlatformUtils::GetInstance()->CurrentAbsoluteTime();
    ReplaceElement(mRequestMessageIDElement, TextElement("RequestMessageID", GetMessageID()));
    http->Send();
    return 1;
}

DMSOAPResultMap DMSOAPRequest::BaseMap() {
    DMSOAPResultMap map;
    map["RequestMessageID"] = mRequestMessageIDElement;
    map["RequestEnvelope"] = mRequestEnvelope;
    return map;
}

DMSOAPElementType* DMSOAPRequest::ElementFromXML(DMXMLDocument* document, xmlNodePtr node) {
    if (!document || !node) throw DMSOAPInvalidArgumentException();
    auto* element = new DMSOAPElementType(document->GetNodeName(node), document->GetNodeNamespace(node),
                                          document->GetNodeText(node));
    try {
        element->InitFromXMLElement(*document, node, mNamespaces);
    } catch (const std::exception& e) {
        std::printf("InitFromXMLElement threw %s\n", e.what());
    } catch (...) {
        std::printf("InitFromXMLElement threw\n");
    }
    return element;
}

void DMSOAPRequest::URLRequestDidFinish(const std::string& body) {
    ReportingScope scope(mReporting, mAlive);
    mHasResponse = true;
    if (GetLogLevel() >= 0) mLastActivityTime = DMPlatformUtils::GetInstance()->CurrentAbsoluteTime();
    delete mResponseMessage;
    mResponseMessage = nullptr;
    try {
        mResponseMessage = new DMSOAPMessage(body);
    } catch (const DMXMLParsingException&) {
        // Bodies may carry credentials: never logged in clear, and cut short.
        LogMessage(0, "Failed to parse SOAP response %s\n", DMRedactForLog(body, kMaxLoggedResponse).c_str());
    } catch (...) {
        LogMessage(0, "Failed to create SOAP response from XML %s\n",
                   DMRedactForLog(body, kMaxLoggedResponse).c_str());
    }
    if (!mListener) return;

    DMSOAPResultMap map = BaseMap();
    bool success = false;
    xmlNodePtr root = mResponseMessage ? mResponseMessage->GetRootElement() : nullptr;
    if (root) {
        ReplaceElement(mResponseEnvelope, nullptr);
        try {
            mResponseEnvelope = ElementFromXML(mResponseMessage->GetDocument(), root);
        } catch (...) {
            mResponseEnvelope = nullptr;
        }
        if (mResponseEnvelope) {
            map["ResponseEnvelope"] = mResponseEnvelope;
            if (DMSOAPElementType* body = mResponseEnvelope->FindChild("Body", 1)) {
                if (DMSOAPElementType* fault = body->FindChild("Fault", 1))
                    map["ResponseFault"] = fault;
                else
                    success = true;
            }
        }
    }
    if (success)
        mListener->SOAPRequestDidFinish(map);
    else
        mListener->SOAPRequestDidFail(map);
}

void DMSOAPRequest::URLRequestDidFail(int domain, int error) {
    ReportingScope scope(mReporting, mAlive);
    mHasResponse = true;
    if (GetLogLevel() >= 0) mLastActivityTime = DMPlatformUtils::GetInstance()->CurrentAbsoluteTime();
    if (!mListener) return;
    DMSOAPResultMap map = BaseMap();
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%d", domain);
    ReplaceElement(mErrorDomainElement, TextElement("ErrorDomain", buffer));
    std::snprintf(buffer, sizeof buffer, "%d", error);
    ReplaceElement(mErrorCodeElement, TextElement("ErrorCode", buffer));
    map["ErrorDomain"] = mErrorDomainElement;
    map["ErrorCode"] = mErrorCodeElement;

    auto* fault = new DMSOAPElementType("Fault", kDMSOAP11EnvelopeURI, "");
    fault->AddChild(new DMSOAPElementType("faultcode", kDMSOAP11EnvelopeURI, "Receiver"), false);
    fault->AddChild(new DMSOAPElementType("faultstring", kDMSOAP11EnvelopeURI, "ClientError"), false);
    std::snprintf(buffer, sizeof buffer, "%d, %d", domain, error);
    fault->AddChild(new DMSOAPElementType("faultactor", kDMSOAP11EnvelopeURI, buffer), false);
    ReplaceElement(mFaultElement, fault);
    map["ResponseFault"] = mFaultElement;
    mListener->SOAPRequestDidFail(map);
}

void DMSOAPRequest::URLRequestUploadProgress(int sent, int total) {
    ReportingScope scope(mReporting, mAlive);
    if (GetLogLevel() >= 0) mLastActivityTime = DMPlatformUtils::GetInstance()->CurrentAbsoluteTime();
    if (!mListener) return;
    DMSOAPResultMap map = BaseMap();
    auto* bytes = TextElement("kRequestUploadBytes", std::to_string(static_cast<long>(sent)));
    auto* all = TextElement("kRequestUploadTotal", std::to_string(static_cast<long>(total)));
    mProgressElements.push_back(bytes);
    mProgressElements.push_back(all);
    map["kRequestUploadBytes"] = bytes;
    map["kRequestUploadTotal"] = all;
    mListener->SOAPRequestProgress(map);
}

void DMSOAPRequest::URLRequestDownloadProgress(int received, int total) {
    ReportingScope scope(mReporting, mAlive);
    if (GetLogLevel() >= 0) mLastActivityTime = DMPlatformUtils::GetInstance()->CurrentAbsoluteTime();
    if (!mListener) return;
    DMSOAPResultMap map = BaseMap();
    auto* bytes = TextElement("kRequestDownloadBytes", std::to_string(static_cast<long>(received)));
    auto* all = TextElement("kRequestDownloadTotal", std::to_string(static_cast<long>(total)));
    mProgressElements.push_back(bytes);
    mProgressElements.push_back(all);
    map["kRequestDownloadBytes"] = bytes;
    map["kRequestDownloadTotal"] = all;
    mListener->SOAPRequestProgress(map);
}
