#pragma once

// One call of a SIF method: a SOAP request whose envelope carries the Correlation,
// DeviceType and Security header blocks, which reports about one DMSIF_MethodRef to its
// DMSIFRequestListener (the DMSIFService that made it) and follows an "EndpointMoved"
// fault by sending itself again to the new endpoint (at most kDMMaxEndpointMoves times,
// never from https to http). Main thread only.

#include <memory>
#include <string>

#include "dms/core/DMSIFMethod.h"
#include "dms/core/DMSOAPRequest.h"

// How often one request follows "EndpointMoved" before the fault is reported.
inline constexpr int kDMMaxEndpointMoves = 3;

class DMSIFRequestListener {
public:
    virtual void SIFRequestDidFinish(DMSIF_MethodRef* ref, DMSOAPResultMap& map) = 0;
    virtual void SIFRequestDidFail(DMSIF_MethodRef* ref, DMSOAPResultMap& map) = 0;
    virtual void SIFRequestProgress(DMSIF_MethodRef* ref, DMSOAPResultMap& map) = 0;

protected:
    ~DMSIFRequestListener() = default;
};

class DMSIFRequest : public DMSOAPRequest, public DMSOAPRequestListener {
public:
    DMSIFRequest(DMSOAPElementType* body, DMSIFRequestListener* listener);
    ~DMSIFRequest() override;

    void Serialize() override;
    void SOAPRequestDidFinish(DMSOAPResultMap& map) override;
    void SOAPRequestDidFail(DMSOAPResultMap& map) override;
    void SOAPRequestProgress(DMSOAPResultMap& map) override;

    void RegisterNamespace(const std::string& uri, const std::string& prefix);
    void RegisterNamespaces(const DMNamespacePrefixMap& table);
    // Each keeps a deep copy (null clears); the caller keeps its element.
    void SetSecurityHeader(DMSOAPElementType* element);
    void SetDeviceTypeHeader(DMSOAPElementType* element);
    void SetCorrelationHeader(DMSOAPElementType* element);
    DMSOAPElementType* GetCorrelationHeader() const { return mCorrelationHeader.get(); }

    // 0 when the request was sent again to the moved endpoint, 1 otherwise.
    [[nodiscard]] int HandleEndpointMoved(DMSOAPElementType* fault, DMSOAPElementType* envelope);

    void SetMethodRef(DMSIF_MethodRef* ref) { mMethodRef = ref; }
    DMSIF_MethodRef* GetMethodRef() const { return mMethodRef; }
    void SetRefToMessageID(const std::string& id) { mRefToMessageID = id; }
    const std::string& GetRefToMessageID() const { return mRefToMessageID; }
    void SetSIFListener(DMSIFRequestListener* listener) { mSIFListener = listener; }

private:
    void StoreElapsedTime();

    DMSIF_MethodRef* mMethodRef = nullptr;  // not owned
    std::string mRefToMessageID;
    std::unique_ptr<DMSOAPElementType> mCorrelationHeader;
    std::unique_ptr<DMSOAPElementType> mDeviceTypeHeader;
    std::unique_ptr<DMSOAPElementType> mSecurityHeader;
    DMSIFRequestListener* mSIFListener = nullptr;  // not owned
    bool mHeadersAdded = false;
    int mMoves = 0;
};
