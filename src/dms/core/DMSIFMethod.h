#pragma once

// The record of one SIF method call, the bases of every method's input and output type,
// the generic method types that wrap whole envelopes, and the record of one service
// request in flight.

#include <cstdint>
#include <memory>
#include <string>

#include "dms/core/DMSIFTypes.h"

class DMSIFService;
class DMServiceRequestListener;

constexpr std::uint32_t DMFourCharCode(const char (&code)[5]) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(code[3]));
}

// A four-character service type code: the big-endian bytes of the four characters.
using EServiceType = std::uint32_t;
inline constexpr EServiceType kServiceTypeRadio = DMFourCharCode("Rdio");   // version 2
inline constexpr EServiceType kServiceTypeRadio3 = DMFourCharCode("Rdo3");  // version 3
inline constexpr EServiceType kServiceTypePictures = DMFourCharCode("Pict");

class DMSIF_MethodArgumentsType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    virtual ~DMSIF_MethodArgumentsType() = default;
    // Whether the input holds its required fields; a request builder sends nothing when
    // it is false.
    virtual bool IsValid() { return true; }
};

class DMSIF_MethodOutputType : public DMSIF_MethodArgumentsType {
public:
    DMSIF_MethodOutputType() = default;
    explicit DMSIF_MethodOutputType(const DMSIF_StatusType& status_) : status(status_) {}

    DMSIF_StatusType status;
    DMSIF_FaultType fault;
};

// Owns the element it wraps (in the program a whole request envelope).
class DMSIF_GenericMethod_InputType : public DMSIF_MethodArgumentsType {
public:
    // Keeps a deep copy of element (none for null).
    explicit DMSIF_GenericMethod_InputType(DMSOAPElementType* element);
    ~DMSIF_GenericMethod_InputType() override;
    DMSIF_GenericMethod_InputType(const DMSIF_GenericMethod_InputType&) = delete;
    DMSIF_GenericMethod_InputType& operator=(const DMSIF_GenericMethod_InputType&) = delete;

    // With copy: hold a deep copy (unless element is the held one). Without: hold and own
    // element itself.
    void SetElement(DMSOAPElementType* element, bool copy);
    DMSOAPElementType* GetElement() const { return mElement.get(); }

    // Returns the held element itself, still owned by this object: do not delete it.
    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;
    bool IsValid() override { return mElement != nullptr; }

private:
    std::unique_ptr<DMSOAPElementType> mElement;
};

// Owns the element it wraps (in the program a whole response envelope).
class DMSIF_GenericMethod_OutputType : public DMSIF_MethodOutputType {
public:
    explicit DMSIF_GenericMethod_OutputType(DMSOAPElementType* element);
    ~DMSIF_GenericMethod_OutputType() override;
    DMSIF_GenericMethod_OutputType(const DMSIF_GenericMethod_OutputType&) = delete;
    DMSIF_GenericMethod_OutputType& operator=(const DMSIF_GenericMethod_OutputType&) = delete;

    void SetElement(DMSOAPElementType* element, bool copy);
    DMSOAPElementType* GetElement() const { return mElement.get(); }

    // Returns the held element itself, still owned by this object: do not delete it.
    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;

private:
    std::unique_ptr<DMSOAPElementType> mElement;
};

class DMSIF_MethodRef : public DMSIF_BaseType {
public:
    DMSIF_MethodRef(const std::string& methodName, const std::string& messageID);
    virtual ~DMSIF_MethodRef();
    DMSIF_MethodRef(const DMSIF_MethodRef&) = delete;
    DMSIF_MethodRef& operator=(const DMSIF_MethodRef&) = delete;

    // The message id of the call's first request; fixed for the record's life.
    const std::string& GetID() const { return mID; }
    const std::string& GetMethodName() const { return mMethodName; }
    const std::string& GetMessageID() const { return mMessageID; }
    const std::string& GetResponseMessageID() const { return mResponseMessageID; }
    int GetUploadBytes() const { return mUploadBytes; }
    int GetUploadTotal() const { return mUploadTotal; }
    int GetDownloadBytes() const { return mDownloadBytes; }
    int GetDownloadTotal() const { return mDownloadTotal; }
    double GetElapsedTime() const { return mElapsedTime; }
    bool IsHeld() const { return mHeld; }
    DMSIF_MethodArgumentsType* GetArguments() const { return mArguments.get(); }
    DMSIF_MethodOutputType* GetOutput() const { return mOutput.get(); }
    DMSOAPElementType* GetRequestEnvelope() const { return mRequestEnvelope.get(); }
    DMSOAPElementType* GetResponseEnvelope() const { return mResponseEnvelope.get(); }
    DMSIFService* GetService() const { return mService; }

    void SetMessageID(const std::string& id) { mMessageID = id; }
    void SetResponseMessageID(const std::string& id) { mResponseMessageID = id; }
    void SetUploadBytes(int n) { mUploadBytes = n; }
    void SetUploadTotal(int n) { mUploadTotal = n; }
    void SetDownloadBytes(int n) { mDownloadBytes = n; }
    void SetDownloadTotal(int n) { mDownloadTotal = n; }
    void SetElapsedTime(double seconds) { mElapsedTime = seconds; }
    void SetHeld(bool held) { mHeld = held; }
    void SetService(DMSIFService* service) { mService = service; }

    // Take ownership; the previous object is deleted unless it is the same one.
    void SetArguments(DMSIF_MethodArgumentsType* arguments);
    void SetOutput(DMSIF_MethodOutputType* output);
    // Keep a deep copy (the caller keeps its element); null clears.
    void SetRequestEnvelope(DMSOAPElementType* envelope);
    void SetResponseEnvelope(DMSOAPElementType* envelope);

private:
    std::string mID;
    std::string mMethodName;
    std::string mMessageID;
    std::string mResponseMessageID;
    int mUploadBytes = 0;
    int mUploadTotal = 0;
    int mDownloadBytes = 0;
    int mDownloadTotal = 0;
    double mElapsedTime = 0;
    bool mHeld = false;
    std::unique_ptr<DMSIF_MethodArgumentsType> mArguments;
    std::unique_ptr<DMSIF_MethodOutputType> mOutput;
    std::unique_ptr<DMSOAPElementType> mRequestEnvelope;
    std::unique_ptr<DMSOAPElementType> mResponseEnvelope;
    DMSIFService* mService = nullptr;  // not owned
};

// One service request in flight; deletes nothing it points to.
class DMServiceRequestToken {
public:
    DMServiceRequestToken(EServiceType type, const std::string& userName, bool isRenewal,
                          DMServiceRequestListener* listener);

    EServiceType serviceType;
    std::string userName;
    bool isRenewal;
    DMServiceRequestListener* listener;  // not owned, may be null
    std::string refToMessageID;
    DMSIF_MethodRef* methodRef = nullptr;  // not owned
    DMSIF_StatusType status;
    DMSIF_FaultType fault;
    bool cancelled = false;
};
