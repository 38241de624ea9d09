#include "dms/core/DMXMLDocument.h"

#include <libxml/parser.h>
#include <libxml/xmlsave.h>

#include <climits>

namespace {

const xmlChar* X(const std::string& s) { return reinterpret_cast<const xmlChar*>(s.c_str()); }

std::string FromXml(const xmlChar* s) { return s ? std::string(reinterpret_cast<const char*>(s)) : std::string(); }

// Set by the DTD hook below while a parse on this thread runs.
thread_local bool tDocumentHadDTD = false;

// A SOAP message never has a DTD, and a DTD is the only way to declare entities (the
// road to entity expansion bombs and external entities): stop at the DOCTYPE itself,
// before anything of the internal subset is read.
void RefuseDocumentType(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
    tDocumentHadDTD = true;
    xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
}

xmlDocPtr ParseUntrusted(const std::string& text) {
    if (text.empty() || text.size() > kDMXMLMaxDocumentBytes || text.size() > INT_MAX) {
        return nullptr;
    }
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (!ctxt) {
        return nullptr;
    }
    ctxt->sax->internalSubset = RefuseDocumentType;
    tDocumentHadDTD = false;
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    xmlDocPtr doc = xmlCtxtReadMemory(ctxt, text.data(), static_cast<int>(text.size()), nullptr, nullptr, options);
    const bool stopped = tDocumentHadDTD || ctxt->errNo == XML_ERR_USER_STOP;
    // Namespace errors (an unbound prefix, a prefix bound to "") are not fatal to
    // libxml2, but such a document is malformed for every reader here.
    const bool namespacesWellFormed = ctxt->nsWellFormed;
    xmlFreeParserCtxt(ctxt);
    if (doc && (stopped || !namespacesWellFormed || doc->intSubset || doc->extSubset)) {
        xmlFreeDoc(doc);
        doc = nullptr;
    }
    return doc;
}

bool IsElement(xmlNodePtr node) { return node && node->type == XML_ELEMENT_NODE; }

}  // namespace

DMXMLDocument::DMXMLDocument() : mDocument(xmlNewDoc(BAD_CAST "1.0")) {}

DMXMLDocument::DMXMLDocument(const std::string& text) : mDocument(ParseUntrusted(text)) {
    if (!mDocument) {
        throw DMXMLParsingException();
    }
}

DMXMLDocument::~DMXMLDocument() {
    if (mDocument) {
        xmlFreeDoc(mDocument);
    }
}

xmlNodePtr DMXMLDocument::GetRootElement() {
    if (!mDocument) {
        throw DMXMLInvalidStateException();
    }
    return xmlDocGetRootElement(mDocument);
}

xmlNodePtr DMXMLDocument::CreateRootElement(const std::string& name, const std::string& namespaceURI,
                                            const std::string& prefix) {
    if (!mDocument) {
        throw DMXMLInvalidStateException();
    }
    xmlNodePtr node = xmlNewNode(nullptr, X(name));
    if (!node) {
        throw DMXMLInvalidArgumentException();
    }
    // A prefix bound to the empty URI is not well-formed; the empty URI can only be the
    // default namespace.
    const bool prefixed = !prefix.empty() && !namespaceURI.empty();
    xmlNsPtr ns = xmlNewNs(node, X(namespaceURI), prefixed ? X(prefix) : nullptr);
    xmlSetNs(node, ns);
    xmlNodePtr old = xmlDocSetRootElement(mDocument, node);
    if (old) {
        xmlFreeNode(old);
    }
    return node;
}

std::string DMXMLDocument::ToString() { return mDocument ? DMXMLSaveDocumentToString(mDocument) : std::string(); }

std::string DMXMLDocument::GetNodeName(xmlNodePtr node) { return node ? FromXml(node->name) : std::string(); }

std::string DMXMLDocument::GetNodeNamespace(xmlNodePtr node) {
    if (!node || !node->ns) {
        return {};
    }
    return FromXml(node->ns->href);
}

std::string DMXMLDocument::GetNodeText(xmlNodePtr node) {
    if (!node) {
        return {};
    }
    // Text nodes alone are joined here directly; an entity reference takes libxml2's road.
    std::string direct;
    bool entityReference = false;
    for (xmlNodePtr child = node->children; child && !entityReference; child = child->next) {
        if (child->type == XML_TEXT_NODE) {
            if (child->content) {
                direct += reinterpret_cast<const char*>(child->content);
            }
        } else if (child->type == XML_ENTITY_REF_NODE) {
            entityReference = true;
        }
    }
    if (!entityReference) {
        return direct;
    }
    xmlBufferPtr buffer = xmlBufferCreateSize(64);
    if (!buffer) {
        return {};
    }
    for (xmlNodePtr child = node->children; child; child = child->next) {
        if (child->type == XML_TEXT_NODE || child->type == XML_ENTITY_REF_NODE) {
            xmlNodeBufGetContent(buffer, child);
        }
    }
    std::string text(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
                     static_cast<std::size_t>(xmlBufferLength(buffer)));
    xmlBufferFree(buffer);
    return text;
}

std::string DMXMLDocument::GetNodeContent(xmlNodePtr node) {
    if (!node) {
        return {};
    }
    xmlChar* content = xmlNodeGetContent(node);
    std::string text = FromXml(content);
    if (content) {
        xmlFree(content);
    }
    return text;
}

unsigned DMXMLDocument::GetChildElementCount(xmlNodePtr node) {
    unsigned count = 0;
    for (xmlNodePtr child = node ? node->children : nullptr; child; child = child->next) {
        if (IsElement(child)) {
            ++count;
        }
    }
    return count;
}

xmlNodePtr DMXMLDocument::GetChildElement(xmlNodePtr node, unsigned index) {
    for (xmlNodePtr child = node ? node->children : nullptr; child; child = child->next) {
        if (IsElement(child) && index-- == 0) {
            return child;
        }
    }
    return nullptr;
}

xmlNodePtr DMXMLDocument::FindChildElement(xmlNodePtr node, const std::string& name, const std::string& namespaceURI) {
    for (xmlNodePtr child = node ? node->children : nullptr; child; child = child->next) {
        if (IsElement(child) && NodeMatches(child, name, namespaceURI)) {
            return child;
        }
    }
    return nullptr;
}

bool DMXMLDocument::NodeMatches(xmlNodePtr node, const std::string& name, const std::string& namespaceURI) {
    if (!node || !node->name || name != reinterpret_cast<const char*>(node->name)) {
        return false;
    }
    if (namespaceURI.empty()) {
        return true;
    }
    return node->ns && node->ns->href && namespaceURI == reinterpret_cast<const char*>(node->ns->href);
}

unsigned DMXMLDocument::GetAttributeCount(xmlNodePtr node) {
    unsigned count = 0;
    if (IsElement(node)) {
        for (xmlAttrPtr a = node->properties; a; a = a->next) {
            ++count;
        }
    }
    return count;
}

namespace {
xmlAttrPtr AttributeAt(xmlNodePtr node, unsigned index) {
    if (!IsElement(node)) {
        return nullptr;
    }
    xmlAttrPtr a = node->properties;
    while (a && index > 0) {
        a = a->next;
        --index;
    }
    return a;
}
}  // namespace

bool DMXMLDocument::GetAttributeAt(xmlNodePtr node, unsigned index, std::string& name, std::string& namespaceURI) {
    name.clear();
    namespaceURI.clear();
    xmlAttrPtr a = AttributeAt(node, index);
    if (!a) {
        return false;
    }
    name = FromXml(a->name);
    if (a->ns) {
        namespaceURI = FromXml(a->ns->href);
    }
    return true;
}

std::string DMXMLDocument::GetAttributeValueAt(xmlNodePtr node, unsigned index) {
    xmlAttrPtr a = AttributeAt(node, index);
    if (!a) {
        return {};
    }
    // A parsed value is one text node; anything else takes libxml2's road.
    if (a->children && a->children->type == XML_TEXT_NODE && !a->children->next) {
        return FromXml(a->children->content);
    }
    xmlChar* value = xmlNodeListGetString(node->doc, a->children, 1);
    std::string text = FromXml(value);
    if (value) {
        xmlFree(value);
    }
    return text;
}

std::string DMXMLDocument::GetAttribute(xmlNodePtr node, const std::string& name, const std::string& namespaceURI) {
    if (!IsElement(node)) {
        return {};
    }
    xmlChar* value = namespaceURI.empty() ? xmlGetProp(node, X(name)) : xmlGetNsProp(node, X(name), X(namespaceURI));
    std::string text = FromXml(value);
    if (value) {
        xmlFree(value);
    }
    return text;
}

bool DMXMLDocument::HasNamespace(xmlNodePtr node, const std::string& namespaceURI) {
    if (!node || namespaceURI.empty()) {
        return false;
    }
    return xmlSearchNsByHref(mDocument, node, X(namespaceURI)) != nullptr;
}

std::vector<std::pair<std::string, std::string>> DMXMLDocument::GetNamespaceDeclarations(xmlNodePtr node) {
    if (!node) {
        throw DMXMLInvalidArgumentException();
    }
    std::vector<std::pair<std::string, std::string>> declarations;
    if (IsElement(node)) {
        for (xmlNsPtr ns = node->nsDef; ns; ns = ns->next) {
            declarations.emplace_back(FromXml(ns->href), FromXml(ns->prefix));
        }
    }
    return declarations;
}

bool DMXMLDocument::AddNamespace(xmlNodePtr node, const std::string& namespaceURI, const std::string& prefix) {
    if (!node || namespaceURI.empty() || prefix.empty()) {
        throw DMXMLInvalidArgumentException();
    }
    if (HasNamespace(node, namespaceURI)) {
        return true;
    }
    return xmlNewNs(node, X(namespaceURI), X(prefix)) != nullptr;
}

xmlNodePtr DMXMLDocument::CreateChildElement(xmlNodePtr parent, const std::string& name,
                                             const std::string& namespaceURI) {
    if (!parent) {
        throw DMXMLInvalidArgumentException();
    }
    xmlNsPtr ns = nullptr;
    if (!namespaceURI.empty()) {
        ns = xmlSearchNsByHref(mDocument, parent, X(namespaceURI));
    }
    xmlNodePtr child = xmlNewChild(parent, ns, X(name), nullptr);
    if (!child) {
        throw DMXMLInvalidArgumentException();
    }
    if (!namespaceURI.empty() && ns) {
        return child;
    }
    if (!namespaceURI.empty()) {
        ns = xmlNewNs(child, X(namespaceURI), nullptr);
    }
    // xmlNewChild gives a child created without namespace its parent's one.
    xmlSetNs(child, ns);
    return child;
}

xmlAttrPtr DMXMLDocument::SetAttribute(xmlNodePtr node, const std::string& name, const std::string& namespaceURI,
                                       const std::string& value) {
    if (!IsElement(node)) {
        throw DMXMLInvalidArgumentException();
    }
    if (namespaceURI.empty()) {
        return xmlSetProp(node, X(name), X(value));
    }
    xmlNsPtr ns = xmlSearchNsByHref(mDocument, node, X(namespaceURI));
    if (!ns) {
        throw DMXMLInvalidNamespaceException();
    }
    return xmlSetNsProp(node, ns, X(name), X(value));
}

void DMXMLDocument::AddNodeText(xmlNodePtr node, const std::string& text) {
    if (!node) {
        throw DMXMLInvalidArgumentException();
    }
    xmlNodeAddContentLen(node, X(text), static_cast<int>(text.size()));
}

int DMXMLStringWriteCallback(void* context, const char* bytes, int length) {
    if (!context || length < 0) {
        return -1;
    }
    static_cast<std::string*>(context)->append(bytes, static_cast<std::size_t>(length));
    return length;
}

std::string DMXMLSaveDocumentToString(xmlDocPtr document) {
    std::string text;
    if (!document) {
        return text;
    }
    xmlSaveCtxtPtr save = xmlSaveToIO(DMXMLStringWriteCallback, nullptr, &text, "UTF-8", 0);
    if (!save) {
        return text;
    }
    xmlSaveDoc(save, document);
    xmlSaveFlush(save);
    xmlSaveClose(save);
    return text;
}
