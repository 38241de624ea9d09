#pragma once

// The SIF base value types shared by every service schema, and the string helpers the
// services judge status codes with.

#include <list>
#include <string>

#include "dms/core/DMSOAPElementType.h"

// Marks the SIF value type family.
class DMSIF_BaseType {};

class DMSIF_IDType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DMSIF_IDType() = default;
    DMSIF_IDType(const std::string& value, const std::string& id);
    explicit DMSIF_IDType(DMSOAPElementType* element);
    DMSIF_IDType(const DMSIF_IDType&) = default;
    DMSIF_IDType& operator=(const DMSIF_IDType&) = default;
    virtual ~DMSIF_IDType() = default;

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;

    const std::string& GetValue() const { return mValue; }
    const std::string& GetID() const { return mID; }

    std::string mValue;  // the element's text
    std::string mID;     // attribute "id"
};

class DMSIF_QualIDType : public DMSIF_IDType {
public:
    DMSIF_QualIDType() = default;
    DMSIF_QualIDType(const std::string& value, const std::string& id, const std::string& type, const std::string& url);
    explicit DMSIF_QualIDType(DMSOAPElementType* element);
    DMSIF_QualIDType(const DMSIF_QualIDType&) = default;
    DMSIF_QualIDType& operator=(const DMSIF_QualIDType&) = default;

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;

    std::string type;  // attribute "type"
    std::string url;   // attribute "url"
};

// Not a DMSOAPElementCoding, but with the same two operations.
class DMSIF_LocStringType : public DMSIF_BaseType {
public:
    DMSIF_LocStringType() = default;
    explicit DMSIF_LocStringType(DMSOAPElementType* element);
    DMSIF_LocStringType(const DMSIF_LocStringType&) = default;
    DMSIF_LocStringType& operator=(const DMSIF_LocStringType&) = default;
    virtual ~DMSIF_LocStringType() = default;

    virtual DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI);
    virtual void FromElement(DMSOAPElementType* element);

    const std::string& GetValue() const { return mValue; }

    std::string mValue;
    std::string mID;        // attribute "id"
    std::string mLanguage;  // attribute "xml:lang"
    std::string mScript;    // attribute "script"
};

class DMSIF_StatusType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DMSIF_StatusType() = default;
    explicit DMSIF_StatusType(DMSOAPElementType* element);
    DMSIF_StatusType(const DMSIF_StatusType&) = default;
    DMSIF_StatusType& operator=(const DMSIF_StatusType&) = default;
    virtual ~DMSIF_StatusType() = default;

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    // Reads code (without any prefix up to the first colon), comment, ref and, when the
    // element has children, the nested statuses (whatever the children's names).
    void FromElement(DMSOAPElementType* element) override;

    const std::string& GetCode() const { return code; }
    const std::string& GetComment() const { return comment; }

    std::string code;
    std::string comment;
    std::list<DMSIF_StatusType> statuses;
    std::string ref;
};

class DMSIF_FaultType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DMSIF_FaultType() = default;
    explicit DMSIF_FaultType(DMSOAPElementType* element);
    DMSIF_FaultType(const DMSIF_FaultType&) = default;
    DMSIF_FaultType& operator=(const DMSIF_FaultType&) = default;
    virtual ~DMSIF_FaultType() = default;

    // The SOAP 1.1 form.
    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    // SOAP 1.1 or 1.2 by the element's own namespace; any other namespace reads nothing.
    void FromElement(DMSOAPElementType* element) override;

    const std::string& GetFaultCode() const { return faultcode; }
    const std::string& GetFaultString() const { return faultstring; }
    const std::string& GetFaultActor() const { return faultactor; }
    const DMSIF_StatusType& GetStatus() const { return status; }

    std::string faultcode;
    std::string faultstring;
    std::string faultactor;
    DMSIF_StatusType status;
};

// Exact comparison, or byte-wise case-insensitive (ASCII) without caseSensitive.
bool DMStringEqual(const std::string& a, const std::string& b, bool caseSensitive);
// True when one string begins with the other (the empty string begins every string).
bool DMStringPrefixEqual(const std::string& a, const std::string& b, bool caseSensitive);
// True when text begins with prefix.
bool DMStringHasPrefix(const std::string& text, const std::string& prefix, bool caseSensitive);
// 16 bytes a line: "%06X  " offset, "%02X " per byte, two spaces, printable ASCII or ".".
std::string DMHexDump(const std::string& bytes);
