#pragma once

// One libxml2 document, parsed from memory or built in memory, with the few node
// operations the web-service stack and the metadata parser need. This is the only code
// of the program that calls libxml2.
//
// Parsed text is untrusted (SOAP responses, metadata from the stream): parsing never
// touches the network, refuses any document carrying a DTD (so no entity can be
// declared, internal or external), and refuses texts above kDMXMLMaxDocumentBytes.
//
// Nodes handed out belong to the document and live until it is freed. Not thread-safe:
// one document is used by one thread.

#include <cstddef>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include <libxml/tree.h>

class DMXMLException : public std::exception {};

class DMXMLInvalidArgumentException : public DMXMLException {
public:
    const char* what() const noexcept override { return "Invalid argument"; }
};

class DMXMLInvalidStateException : public DMXMLException {
public:
    const char* what() const noexcept override { return "Invalid state"; }
};

class DMXMLParsingException : public DMXMLException {
public:
    const char* what() const noexcept override { return "XML Parse failed"; }
};

class DMXMLInvalidNamespaceException : public DMXMLException {
public:
    const char* what() const noexcept override { return "Namespace not found"; }
};

// Largest text the parsing constructor accepts.
inline constexpr std::size_t kDMXMLMaxDocumentBytes = 32u * 1024u * 1024u;

class DMXMLDocument {
public:
    // An empty document (version "1.0") without root.
    DMXMLDocument();
    // Parses `text`; throws DMXMLParsingException when it is not well-formed XML, carries
    // a DTD, or is longer than kDMXMLMaxDocumentBytes.
    explicit DMXMLDocument(const std::string& text);
    ~DMXMLDocument();

    DMXMLDocument(const DMXMLDocument&) = delete;
    DMXMLDocument& operator=(const DMXMLDocument&) = delete;

    // Null when the document has no root; DMXMLInvalidStateException without document.
    xmlNodePtr GetRootElement();
    // New root element in `namespaceURI`, declared with `prefix` (default namespace when
    // the prefix is empty) on the root itself.
    xmlNodePtr CreateRootElement(const std::string& name, const std::string& namespaceURI, const std::string& prefix);
    // UTF-8 text with the XML declaration; "" without document.
    std::string ToString();

    // Reading. A null node gives "", 0, null or false.
    std::string GetNodeName(xmlNodePtr node);
    std::string GetNodeNamespace(xmlNodePtr node);
    // The node's direct text and entity-reference children only (no CDATA, no text of
    // child elements).
    std::string GetNodeText(xmlNodePtr node);
    // Text of the node and all its descendants.
    std::string GetNodeContent(xmlNodePtr node);
    unsigned GetChildElementCount(xmlNodePtr node);
    xmlNodePtr GetChildElement(xmlNodePtr node, unsigned index);
    xmlNodePtr FindChildElement(xmlNodePtr node, const std::string& name, const std::string& namespaceURI);
    // Empty URI: local name only, any namespace. Otherwise local name and URI exactly.
    bool NodeMatches(xmlNodePtr node, const std::string& name, const std::string& namespaceURI);
    unsigned GetAttributeCount(xmlNodePtr node);
    [[nodiscard]] bool GetAttributeAt(xmlNodePtr node, unsigned index, std::string& name, std::string& namespaceURI);
    // Value of the index-th attribute itself ("" when out of range).
    std::string GetAttributeValueAt(xmlNodePtr node, unsigned index);
    // Empty URI: the first attribute of that name in any namespace.
    std::string GetAttribute(xmlNodePtr node, const std::string& name, const std::string& namespaceURI);
    bool HasNamespace(xmlNodePtr node, const std::string& namespaceURI);
    // (URI, prefix) declared on the node itself, in order; prefix "" for a default
    // declaration. DMXMLInvalidArgumentException for a null node.
    std::vector<std::pair<std::string, std::string>> GetNamespaceDeclarations(xmlNodePtr node);

    // Building.
    // Declares URI with prefix on node unless the URI is already in scope there.
    // DMXMLInvalidArgumentException for a null node, empty URI or empty prefix.
    bool AddNamespace(xmlNodePtr node, const std::string& namespaceURI, const std::string& prefix);
    // Reuses the nearest declaration of the URI in scope, else declares it as the child's
    // default namespace; an empty URI gives a child without namespace.
    xmlNodePtr CreateChildElement(xmlNodePtr parent, const std::string& name, const std::string& namespaceURI);
    // DMXMLInvalidNamespaceException when a non-empty URI is not declared in scope.
    xmlAttrPtr SetAttribute(xmlNodePtr node, const std::string& name, const std::string& namespaceURI,
                            const std::string& value);
    void AddNodeText(xmlNodePtr node, const std::string& text);

private:
    xmlDocPtr mDocument = nullptr;
};

std::string DMXMLSaveDocumentToString(xmlDocPtr document);
int DMXMLStringWriteCallback(void* context, const char* bytes, int length);
