#include "dms/core/DMSOAPMessage.h"

DMNamespacePrefixMap& SIFNamespacePrefixTable() {
    static DMNamespacePrefixMap table;
    return table;
}

void RegisterSIFNamespace(const std::string& uri, const std::string& prefix) {
    SIFNamespacePrefixTable()[uri] = prefix;
}

void RegisterSIFNamespaces() {
    static bool registered = false;
    if (registered) {
        return;
    }
    registered = true;
    for (const DMNamespaceConstant& entry : kDMSIFNamespaceTable) {
        RegisterSIFNamespace(entry.uri, entry.prefix);
    }
}

void DMDeclareSIFNamespaces(DMSOAPElementType* element, const char* skipURI) {
    for (const DMNamespaceConstant& entry : kDMSIFNamespaceTable) {
        if (!skipURI || std::string(entry.uri) != skipURI) {
            element->DeclareNamespace(entry.uri, entry.prefix);
        }
    }
}

DMSOAPMessage::DMSOAPMessage(bool create) : mDocument(std::make_unique<DMXMLDocument>()) {
    if (create) {
        CreateEnvelope();
    }
}

DMSOAPMessage::DMSOAPMessage(const std::string& text) : mDocument(std::make_unique<DMXMLDocument>(text)) {
    FindHeaderAndBody();
}

DMSOAPMessage::~DMSOAPMessage() = default;

void DMSOAPMessage::CreateEnvelope() {
    CheckDocument();
    xmlNodePtr envelope = mDocument->CreateRootElement("Envelope", kDMSOAP11Namespace.uri, kDMSOAP11Namespace.prefix);
    mHeader = mDocument->CreateChildElement(envelope, "Header", kDMSOAP11Namespace.uri);
    mBody = mDocument->CreateChildElement(envelope, "Body", kDMSOAP11Namespace.uri);
}

void DMSOAPMessage::FindHeaderAndBody() {
    CheckDocument();
    xmlNodePtr root = mDocument->GetRootElement();
    mHeader = mDocument->FindChildElement(root, "Header", kDMSOAP11Namespace.uri);
    mBody = mDocument->FindChildElement(root, "Body", kDMSOAP11Namespace.uri);
}

void DMSOAPMessage::CheckDocument() {
    if (!mDocument) {
        throw DMXMLInvalidStateException();
    }
}

xmlNodePtr DMSOAPMessage::GetRootElement() {
    CheckDocument();
    return mDocument->GetRootElement();
}

std::string DMSOAPMessage::ToString() {
    CheckDocument();
    return mDocument->ToString();
}
