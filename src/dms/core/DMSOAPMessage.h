#pragma once

// The XML document of one SOAP message: an outgoing envelope written from an element
// tree, or a parsed response with its Header and Body located.

#include <memory>
#include <string>

#include "dms/core/DMSOAPNamespaces.h"
#include "dms/core/DMXMLDocument.h"

class DMSOAPMessage {
public:
    // An empty document; with create, a SOAP 1.1 envelope with Header and Body.
    explicit DMSOAPMessage(bool create);
    // Parses text (DMXMLParsingException passes), then finds Header and Body.
    explicit DMSOAPMessage(const std::string& text);
    // Without this a string literal would pick the bool constructor.
    explicit DMSOAPMessage(const char* text) : DMSOAPMessage(std::string(text ? text : "")) {}
    virtual ~DMSOAPMessage();

    DMSOAPMessage(const DMSOAPMessage&) = delete;
    DMSOAPMessage& operator=(const DMSOAPMessage&) = delete;

    void CreateEnvelope();
    // Header and Body: the root's first children of those names in the SOAP 1.1
    // envelope namespace; null when absent (so always for a SOAP 1.2 envelope).
    void FindHeaderAndBody();
    void CheckDocument();
    DMXMLDocument* GetDocument() { return mDocument.get(); }
    xmlNodePtr GetRootElement();
    xmlNodePtr GetHeader() const { return mHeader; }
    xmlNodePtr GetBody() const { return mBody; }
    std::string ToString();

private:
    std::unique_ptr<DMXMLDocument> mDocument;
    xmlNodePtr mHeader = nullptr;
    xmlNodePtr mBody = nullptr;
};
