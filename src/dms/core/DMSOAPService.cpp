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

DMSOAPService::~DMSOAPService() {
    for (auto& [id, request] : mRequests) delete request;
    for (auto* request : mRemoved) delete request;
}

void DMSOAPService::SetEndpoint(const std::string& url) { mEndpoint = url; }

void DMSOAPService::DeleteRemovedRequests() {
    std::vector<DMSOAPRequest*> keep;
    for (auto* request : mRemoved) {
        if (request->IsReporting())
            keep.push_back(request);
        else
            delete request;
    }
    mRemoved.swap(keep);
}

std::string DMSOAPService::SendRequest(DMSOAPElementType* body) {
    DeleteRemovedRequests();
    auto* request = new DMSOAPRequest(body, this);
    if (!mSOAPAction.empty()) request->SetSOAPAction(mSOAPAction);
    if (!mUserAgent.empty()) request->SetUserAgent(mUserAgent);
    request->SetProgress(mProgress);
    request->Send(mEndpoint);
    const std::string id = request->GetMessageID();
    mRequests[id] = request;
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
    DMSOAPRequest* request = it->second;
    mRequests.erase(it);
    // The request may be the one reporting right now: it goes once it has returned.
    mRemoved.push_back(request);
    DeleteRemovedRequests();
}

DMSOAPRequest* DMSOAPService::FindRequest(const std::string& messageID) const {
    const auto it = mRequests.find(messageID);
    return it == mRequests.end() ? nullptr : it->second;
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
