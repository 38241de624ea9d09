#include "dms/core/DMSOAPService.h"

namespace {

std::string MethodName(DMSOAPResultMap& map) {
    DMSOAPElementType* envelope = DMResultMapElement(map, "RequestEnvelope");
    DMSOAPElementType* body = envelope ? envelope->FindChild("Body", 1) : nullptr;
    if (!body || body->children.empty()) return {};
    return body->children.front()->name;
}

}  // namespace

DMSOAPService::DMSOAPService(DMSOAPServiceListener* listener) : mListener(listener) {}

DMSOAPService::DMSOAPService(const std::string& endpoint, DMSOAPServiceListener* listener)
    : mListener(listener), mEndpoint(endpoint) {}

DMSOAPService::~DMSOAPService() = default;

void DMSOAPService::SetEndpoint(const std::string& url) { mEndpoint = url; }

void DMSOAPService::DeleteRemovedRequests() {
    std::erase_if(mRemoved, [](const std::unique_ptr<DMSOAPRequest>& request) { return !request->IsReporting(); });
}

std::string DMSOAPService::SendRequest(DMSOAPElementType* body) {
    DeleteRemovedRequests();
    auto request = std::make_unique<DMSOAPRequest>(body, this);
    if (!mSOAPAction.empty()) request->SetSOAPAction(mSOAPAction);
    if (!mUserAgent.empty()) request->SetUserAgent(mUserAgent);
    request->SetProgress(mProgress);
    // A transport is always made; what becomes of the exchange comes as a report.
    static_cast<void>(request->Send(mEndpoint));
    const std::string id = request->GetMessageID();
    mRequests[id] = std::move(request);
    return id;
}

void DMSOAPService::CancelRequest(const std::string& messageID) {
    const auto it = mRequests.find(messageID);
    if (it == mRequests.end()) return;
    it->second->Cancel();
    RemoveRequest(messageID);
}

void DMSOAPService::RemoveRequest(const std::string& messageID) {
    const auto it = mRequests.find(messageID);
    if (it == mRequests.end()) return;
    std::unique_ptr<DMSOAPRequest> request = std::move(it->second);
    mRequests.erase(it);
    // The request may be the one reporting right now: it goes once it has returned.
    mRemoved.push_back(std::move(request));
    DeleteRemovedRequests();
}

DMSOAPRequest* DMSOAPService::FindRequest(const std::string& messageID) const {
    const auto it = mRequests.find(messageID);
    return it == mRequests.end() ? nullptr : it->second.get();
}

void DMSOAPService::SOAPRequestDidFinish(DMSOAPResultMap& map) {
    const std::string name = MethodName(map);
    if (mListener) mListener->SOAPMethodDidFinish(name, map);
    if (DMSOAPElementType* id = DMResultMapElement(map, "RequestMessageID")) RemoveRequest(id->text);
}

void DMSOAPService::SOAPRequestDidFail(DMSOAPResultMap& map) {
    const std::string name = MethodName(map);
    if (mListener) mListener->SOAPMethodDidFail(name, map);
    if (DMSOAPElementType* id = DMResultMapElement(map, "RequestMessageID")) RemoveRequest(id->text);
}

void DMSOAPService::SOAPRequestProgress(DMSOAPResultMap& map) {
    if (mListener) mListener->SOAPMethodProgress(MethodName(map), map);
}
