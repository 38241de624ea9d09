#pragma once

// A plain SOAP service: an endpoint, the SOAPAction, the User-Agent and the requests in
// flight. The primary base of DMSIFService, which uses its fields but sends its calls as
// DMSIFRequest.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dms/core/DMSOAPRequest.h"

class DMSOAPServiceListener {
public:
    virtual void SOAPMethodDidFinish(const std::string& methodName, DMSOAPResultMap& map) = 0;
    virtual void SOAPMethodDidFail(const std::string& methodName, DMSOAPResultMap& map) = 0;
    virtual void SOAPMethodProgress(const std::string& methodName, DMSOAPResultMap& map) = 0;

protected:
    ~DMSOAPServiceListener() = default;
};

class DMSOAPService : public DMSOAPRequestListener {
public:
    explicit DMSOAPService(DMSOAPServiceListener* listener);
    DMSOAPService(const std::string& endpoint, DMSOAPServiceListener* listener);
    virtual ~DMSOAPService();
    DMSOAPService(const DMSOAPService&) = delete;
    DMSOAPService& operator=(const DMSOAPService&) = delete;

    void SOAPRequestDidFinish(DMSOAPResultMap& map) override;
    void SOAPRequestDidFail(DMSOAPResultMap& map) override;
    void SOAPRequestProgress(DMSOAPResultMap& map) override;

    virtual void SetEndpoint(const std::string& url);
    // Sends the body (taken over) to the endpoint; returns the request's message id.
    virtual std::string SendRequest(DMSOAPElementType* body);
    virtual void CancelRequest(const std::string& messageID);
    virtual void RemoveRequest(const std::string& messageID);

    const std::string& GetEndpoint() const { return mEndpoint; }
    const std::string& GetSOAPAction() const { return mSOAPAction; }
    void SetSOAPAction(const std::string& action) { mSOAPAction = action; }
    const std::string& GetUserAgent() const { return mUserAgent; }
    void SetUserAgent(const std::string& agent) { mUserAgent = agent; }
    bool GetProgress() const { return mProgress; }
    void SetProgress(bool on) { mProgress = on; }
    DMSOAPServiceListener* GetSOAPListener() const { return mListener; }
    void SetSOAPListener(DMSOAPServiceListener* listener) { mListener = listener; }
    // The request filed under the id, null when none.
    DMSOAPRequest* FindRequest(const std::string& messageID) const;

protected:
    DMSOAPServiceListener* mListener = nullptr;
    std::string mEndpoint;
    std::string mSOAPAction = "\"\"";
    std::string mUserAgent;
    bool mProgress = false;
    std::map<std::string, std::unique_ptr<DMSOAPRequest>> mRequests;

private:
    void DeleteRemovedRequests();
    // Requests removed while reporting; deleted once they no longer report.
    std::vector<std::unique_ptr<DMSOAPRequest>> mRemoved;
};
