#pragma once

// One SOAP-over-HTTP exchange: a SOAP 1.1 envelope around one body element, posted
// through a DMURLRequest; its outcome reaches the DMSOAPRequestListener as a result map
// of named elements. A transport failure becomes a synthesized SOAP Fault, so listeners
// see every failure in one shape. Main thread only; every report comes on a later pass of
// the run loop, never inside Send.

#include <exception>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dms/core/DMSOAPElementType.h"
#include "dms/core/DMSOAPMessage.h"
#include "dms/core/DMURLRequest.h"

// Key -> element. The elements belong to the request that made the map.
using DMSOAPResultMap = std::map<std::string, DMSOAPElementType*>;

// The map's element under key, null when absent.
DMSOAPElementType* DMResultMapElement(const DMSOAPResultMap& map, const std::string& key);

class DMSOAPException : public std::exception {
public:
    const char* what() const noexcept override { return "DMSOAPException"; }
};

class DMSOAPInvalidArgumentException : public DMSOAPException {
public:
    const char* what() const noexcept override { return "Invalid argument"; }
};

class DMSOAPRequestListener {
public:
    virtual void SOAPRequestDidFinish(DMSOAPResultMap& map) = 0;
    virtual void SOAPRequestDidFail(DMSOAPResultMap& map) = 0;
    virtual void SOAPRequestProgress(DMSOAPResultMap& map) = 0;

protected:
    ~DMSOAPRequestListener() = default;
};

class DMSOAPRequest : public DMURLRequestListener {
public:
    // Takes the body element over (null: an empty Body).
    DMSOAPRequest(DMSOAPElementType* body, DMSOAPRequestListener* listener);
    virtual ~DMSOAPRequest();
    DMSOAPRequest(const DMSOAPRequest&) = delete;
    DMSOAPRequest& operator=(const DMSOAPRequest&) = delete;

    void URLRequestDidFinish(const std::string& body) override;
    void URLRequestDidFail(int domain, int error) override;
    void URLRequestUploadProgress(int sent, int total) override;
    void URLRequestDownloadProgress(int received, int total) override;

    // Starts the exchange (an empty URL keeps the one held); 0 when no transport could
    // be made, 1 otherwise. Reports arrive later.
    [[nodiscard]] virtual int Send(const std::string& url);
    virtual void Serialize();
    // Stops the transfer; nobody is told.
    void Cancel();

    const std::string& GetMessageID();
    const std::string& GetTimestamp();
    DMSOAPElementType* GetHeader() const;
    DMSOAPElementType* GetBody() const;
    DMSOAPElementType* GetEnvelope() const { return mRequestEnvelope.get(); }
    DMSOAPMessage* GetRequestMessage() const { return mRequestMessage.get(); }
    DMSOAPMessage* GetResponseMessage() const { return mResponseMessage.get(); }
    DMSOAPElementType* GetResponseEnvelope() const { return mResponseEnvelope.get(); }
    // A new tree (owned by the caller) for the node; DMSOAPInvalidArgumentException for a
    // null document or node.
    DMSOAPElementType* ElementFromXML(DMXMLDocument* document, xmlNodePtr node);

    const std::string& GetURL() const { return mURL; }
    void SetSOAPAction(const std::string& action) { mSOAPAction = action; }
    const std::string& GetSOAPAction() const { return mSOAPAction; }
    void SetUserAgent(const std::string& agent) { mUserAgent = agent; }
    const std::string& GetUserAgent() const { return mUserAgent; }
    void SetProgress(bool on) { mProgress = on; }
    bool GetProgress() const { return mProgress; }
    void SetListener(DMSOAPRequestListener* listener) { mListener = listener; }
    DMNamespacePrefixMap& GetNamespaceTable() { return mNamespaces; }
    double GetSendTime() const { return mSendTime; }
    double GetLastActivityTime() const { return mLastActivityTime; }
    // Whether a transport or SOAP report of this request is being delivered right now;
    // owners must not delete the request then.
    bool IsReporting() const { return mReporting > 0; }
    // Whether a response (or failure) has come for the current send.
    bool HasResponse() const { return mHasResponse; }

protected:
    void BuildEnvelope();
    // The base map of every report: "RequestMessageID", "RequestEnvelope".
    DMSOAPResultMap BaseMap();

    std::string mMessageID;
    std::string mTimestamp;
    std::string mURL;
    bool mProgress = false;
    std::unique_ptr<DMURLRequest> mHTTPRequest;
    std::string mSOAPAction;
    std::string mUserAgent;
    DMSOAPRequestListener* mListener = nullptr;
    std::unique_ptr<DMSOAPElementType> mRequestEnvelope;
    std::unique_ptr<DMSOAPMessage> mRequestMessage;
    std::unique_ptr<DMSOAPMessage> mResponseMessage;
    DMNamespacePrefixMap mNamespaces;
    double mSendTime = 0;
    double mLastActivityTime = 0;
    std::unique_ptr<DMSOAPElementType> mRequestMessageIDElement;
    std::unique_ptr<DMSOAPElementType> mResponseEnvelope;
    std::unique_ptr<DMSOAPElementType> mErrorDomainElement;
    std::unique_ptr<DMSOAPElementType> mErrorCodeElement;
    std::unique_ptr<DMSOAPElementType> mFaultElement;
    // Elements replaced or handed out with progress reports.
    std::vector<std::unique_ptr<DMSOAPElementType>> mProgressElements;

private:
    // Stores element in slot; the element it replaces stays valid for the request's life.
    DMSOAPElementType* ReplaceElement(std::unique_ptr<DMSOAPElementType>& slot,
                                      std::unique_ptr<DMSOAPElementType> element);
    // Keeps element for the request's life and returns it.
    DMSOAPElementType* KeepElement(std::unique_ptr<DMSOAPElementType> element);
    // Transports replaced while one of them may still be reporting; deleted later.
    std::vector<std::unique_ptr<DMURLRequest>> mRetiredTransports;
    int mReporting = 0;
    bool mHasResponse = false;
    std::shared_ptr<bool> mAlive = std::make_shared<bool>(true);
};
