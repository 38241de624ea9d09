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
    RegisterSIFNamespace(kDMSIFURI, "zym");
    RegisterSIFNamespace("urn:liberty:disco:2003-08", "disco");
    RegisterSIFNamespace("urn:liberty:iff:2003-08", "lib");
    // Without the trailing slash, so not the SOAP 1.1 envelope namespace: envelope
    // elements take their prefix from the envelope's own declaration.
    RegisterSIFNamespace("http://schemas.xmlsoap.org/soap/envelope", "S");
    RegisterSIFNamespace("urn:liberty:sa:2004-04", "sa");
    RegisterSIFNamespace("urn:oasis:names:tc:SAMLP:1.0:protocol", "samlp");
    RegisterSIFNamespace("urn:oasis:names:tc:SAML:1.0:assertion", "saml");
    RegisterSIFNamespace("urn:liberty:sb:2003-08", "sb");
    RegisterSIFNamespace("urn:liberty:sb:2004-04", "sb-ext");
    RegisterSIFNamespace("urn:liberty:sec:2003-08", "sec");
    RegisterSIFNamespace(kDMWSSecurityURI, "wsse");
    RegisterSIFNamespace(kDMXMLDSigURI, "ds");
    RegisterSIFNamespace("urn:zym-ups/idff.xsd", "idff");
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
