#include "dms/core/DMSOAPRequest.h"

#include <cstdio>

#include "dms/core/DMPlatformUtils.h"
#include "dms/core/DMSOAPNamespaces.h"
#include "dms/core/DMURLRequestLinux.h"
#include "runtime/LogMessage.h"

// Owners may delete a request only while it is not reporting (IsReporting), and a
// transport replaced or cancelled while it may still be inside its own report is kept
// until the request goes: a listener re-sends (moved endpoint) or cancels from inside a
// report of the very transport that is reporting.

namespace {

// Longest response text a log line shows when the response cannot be parsed.
constexpr std::size_t kMaxLoggedResponse = 4096;

// An answer's text for an error line. Bodies may carry credentials and run to megabytes:
// shown only at the trace verbosity, with secrets redacted and cut short; otherwise only
// their size.
std::string BodyForLog(const std::string& body) {
    if (GetLogLevel() >= kLogTrace) return DMRedactForLog(body, kMaxLoggedResponse);
    return "(" + std::to_string(body.size()) + " bytes, shown at log verbosity 3)";
}

class ReportingScope {
public:
    ReportingScope(int& counter, const std::shared_ptr<bool>& alive) : counter_(counter), alive_(alive) { ++counter_; }
    ~ReportingScope() {
        if (!alive_.expired()) --counter_;
    }

private:
    int& counter_;
    std::weak_ptr<bool> alive_;
};

std::unique_ptr<DMSOAPElementType> TextElement(const std::string& name, const std::string& text) {
    return std::make_unique<DMSOAPElementType>(name, "", text);
}

}  // namespace

DMSOAPElementType* DMResultMapElement(const DMSOAPResultMap& map, const std::string& key) {
    const auto it = map.find(key);
    return it == map.end() ? nullptr : it->second;
}

DMSOAPRequest::DMSOAPRequest(DMSOAPElementType* body, DMSOAPRequestListener* listener) : mListener(listener) {
    BuildEnvelope();
    if (body) {
        if (DMSOAPElementType* b = GetBody()) b->AddChild(body, false);
    }
}

DMSOAPRequest::~DMSOAPRequest() {
    *mAlive = false;
    // The transfers stop before anything they report into goes.
    mHTTPRequest.reset();
    mRetiredTransports.clear();
}

void DMSOAPRequest::BuildEnvelope() {
    mRequestEnvelope = std::make_unique<DMSOAPElementType>("Envelope", kDMSOAP11EnvelopeURI, "");
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
    if (mTimestamp.empty()) mTimestamp = DMPlatformUtils::GetInstance()->FormatCurrentTimeUTC("%Y-%m-%dT%H:%M:%SZ");
    return mTimestamp;
}

DMSOAPElementType* DMSOAPRequest::ReplaceElement(std::unique_ptr<DMSOAPElementType>& slot,
                                                 std::unique_ptr<DMSOAPElementType> element) {
    // Elements handed out stay valid for the request's life (a re-send replaces them).
    if (slot) mProgressElements.push_back(std::move(slot));
    slot = std::move(element);
    return slot.get();
}

DMSOAPElementType* DMSOAPRequest::KeepElement(std::unique_ptr<DMSOAPElementType> element) {
    mProgressElements.push_back(std::move(element));
    return mProgressElements.back().get();
}

void DMSOAPRequest::Serialize() {
    if (mRequestMessage) return;
    auto message = std::make_unique<DMSOAPMessage>(false);
    try {
        mRequestEnvelope->ToXMLElement(*message->GetDocument(), nullptr, mNamespaces);
        message->FindHeaderAndBody();
    } catch (const std::exception& e) {
        LogMessage(0, "Failed to serialize SOAP request: %s\n", e.what());
    }
    mRequestMessage = std::move(message);
}

void DMSOAPRequest::Cancel() {
    if (!mHTTPRequest) return;
    mHTTPRequest->Cancel();
    if (mReporting > 0)
        mRetiredTransports.push_back(std::move(mHTTPRequest));
    else
        mHTTPRequest.reset();
}

int DMSOAPRequest::Send(const std::string& url) {
    Cancel();
    if (mReporting == 0) mRetiredTransports.clear();
    mHasResponse = false;
    mMessageID.clear();
    mRequestMessage.reset();
    if (!url.empty()) mURL = url;

    mHTTPRequest.reset(DMURLRequestLinux::Create(mURL));
    DMURLRequest* http = mHTTPRequest.get();
    if (!http) return 0;
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
    map["RequestMessageID"] = mRequestMessageIDElement.get();
    map["RequestEnvelope"] = mRequestEnvelope.get();
    return map;
}

DMSOAPElementType* DMSOAPRequest::ElementFromXML(DMXMLDocument* document, xmlNodePtr node) {
    if (!document || !node) throw DMSOAPInvalidArgumentException();
    auto element = std::make_unique<DMSOAPElementType>(document->GetNodeName(node), document->GetNodeNamespace(node),
                                                       document->GetNodeText(node));
    try {
        element->InitFromXMLElement(*document, node, mNamespaces);
    } catch (const std::exception& e) {
        std::printf("InitFromXMLElement threw %s\n", e.what());
    } catch (...) {
        std::printf("InitFromXMLElement threw\n");
    }
    return element.release();
}

void DMSOAPRequest::URLRequestDidFinish(const std::string& body) {
    ReportingScope scope(mReporting, mAlive);
    mHasResponse = true;
    if (GetLogLevel() >= 0) mLastActivityTime = DMPlatformUtils::GetInstance()->CurrentAbsoluteTime();
    mResponseMessage.reset();
    try {
        mResponseMessage = std::make_unique<DMSOAPMessage>(body);
    } catch (const DMXMLParsingException&) {
        LogMessage(0, "Failed to parse SOAP response %s\n", BodyForLog(body).c_str());
    } catch (...) {
        LogMessage(0, "Failed to create SOAP response from XML %s\n", BodyForLog(body).c_str());
    }
    if (!mListener) return;

    DMSOAPResultMap map = BaseMap();
    bool success = false;
    xmlNodePtr root = mResponseMessage ? mResponseMessage->GetRootElement() : nullptr;
    if (root) {
        ReplaceElement(mResponseEnvelope, nullptr);
        try {
            mResponseEnvelope.reset(ElementFromXML(mResponseMessage->GetDocument(), root));
        } catch (...) {
            mResponseEnvelope.reset();
        }
        if (mResponseEnvelope) {
            map["ResponseEnvelope"] = mResponseEnvelope.get();
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
    map["ErrorDomain"] = ReplaceElement(mErrorDomainElement, TextElement("ErrorDomain", buffer));
    std::snprintf(buffer, sizeof buffer, "%d", error);
    map["ErrorCode"] = ReplaceElement(mErrorCodeElement, TextElement("ErrorCode", buffer));

    auto fault = std::make_unique<DMSOAPElementType>("Fault", kDMSOAP11EnvelopeURI, "");
    fault->AddChild(new DMSOAPElementType("faultcode", kDMSOAP11EnvelopeURI, "Receiver"), false);
    fault->AddChild(new DMSOAPElementType("faultstring", kDMSOAP11EnvelopeURI, "ClientError"), false);
    std::snprintf(buffer, sizeof buffer, "%d, %d", domain, error);
    fault->AddChild(new DMSOAPElementType("faultactor", kDMSOAP11EnvelopeURI, buffer), false);
    map["ResponseFault"] = ReplaceElement(mFaultElement, std::move(fault));
    mListener->SOAPRequestDidFail(map);
}

void DMSOAPRequest::URLRequestUploadProgress(int sent, int total) {
    ReportingScope scope(mReporting, mAlive);
    if (GetLogLevel() >= 0) mLastActivityTime = DMPlatformUtils::GetInstance()->CurrentAbsoluteTime();
    if (!mListener) return;
    DMSOAPResultMap map = BaseMap();
    map["kRequestUploadBytes"] =
        KeepElement(TextElement("kRequestUploadBytes", std::to_string(static_cast<long>(sent))));
    map["kRequestUploadTotal"] =
        KeepElement(TextElement("kRequestUploadTotal", std::to_string(static_cast<long>(total))));
    mListener->SOAPRequestProgress(map);
}

void DMSOAPRequest::URLRequestDownloadProgress(int received, int total) {
    ReportingScope scope(mReporting, mAlive);
    if (GetLogLevel() >= 0) mLastActivityTime = DMPlatformUtils::GetInstance()->CurrentAbsoluteTime();
    if (!mListener) return;
    DMSOAPResultMap map = BaseMap();
    map["kRequestDownloadBytes"] =
        KeepElement(TextElement("kRequestDownloadBytes", std::to_string(static_cast<long>(received))));
    map["kRequestDownloadTotal"] =
        KeepElement(TextElement("kRequestDownloadTotal", std::to_string(static_cast<long>(total))));
    mListener->SOAPRequestProgress(map);
}
