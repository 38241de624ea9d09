#include "dms/core/DMSOAPElementType.h"

#include <cstdio>
#include <memory>

#include "dms/core/DMFragmentWriter.h"

std::string DMMapValueOrEmpty(const DMNamespacePrefixMap& map, const std::string& key) {
    auto it = map.find(key);
    return it == map.end() ? std::string() : it->second;
}

// --- DMSOAPAttributeType ---

DMSOAPAttributeType::DMSOAPAttributeType(const std::string& name_, const std::string& namespaceURI_,
                                         const std::string& value_)
    : name(name_), namespaceURI(namespaceURI_), value(value_) {}

DMSOAPAttributeType::DMSOAPAttributeType(const DMSOAPAttributeType* source) {
    if (source) {
        name = source->name;
        namespaceURI = source->namespaceURI;
        value = source->value;
    }
}

DMSOAPAttributeType::~DMSOAPAttributeType() = default;

// --- DMSOAPElementType: structure ---

DMSOAPElementType::DMSOAPElementType(const std::string& name_, const std::string& namespaceURI_,
                                     const std::string& text_)
    : name(name_), namespaceURI(namespaceURI_), text(text_) {}

DMSOAPElementType::DMSOAPElementType(const DMSOAPElementType* source) {
    if (!source) {
        return;
    }
    name = source->name;
    namespaceURI = source->namespaceURI;
    text = source->text;
    for (const DMSOAPAttributeType* attribute : source->attributes) {
        AddAttribute(new DMSOAPAttributeType(attribute), false);
    }
    for (const DMSOAPElementType* child : source->children) {
        AddChild(new DMSOAPElementType(child), false);
    }
}

DMSOAPElementType::~DMSOAPElementType() {
    for (DMSOAPAttributeType* attribute : attributes) {
        delete attribute;
    }
    for (DMSOAPElementType* child : children) {
        delete child;
    }
}

DMSOAPElementType* DMSOAPElementType::GetRoot() {
    DMSOAPElementType* top = this;
    while (top->parent) {
        top = top->parent;
    }
    return top;
}

void DMSOAPElementType::AddChild(DMSOAPElementType* child, bool copy) {
    if (!child) {
        return;
    }
    if (copy) {
        child = new DMSOAPElementType(child);
    }
    children.push_back(child);
    child->parent = this;
    if (!child->namespaces.empty()) {
        GetRoot()->DeclareNamespaces(child->namespaces);
        child->namespaces.clear();
    }
}

void DMSOAPElementType::AddChildren(const std::list<DMSOAPElementType*>& list, bool copy) {
    for (DMSOAPElementType* child : list) {
        AddChild(child, copy);
    }
}

DMSOAPElementType* DMSOAPElementType::FindChild(const std::string& childName, int occurrence) const {
    if (occurrence < 1) {
        return nullptr;
    }
    for (DMSOAPElementType* child : children) {
        if (child->name == childName && --occurrence == 0) {
            return child;
        }
    }
    return nullptr;
}

void DMSOAPElementType::RemoveChild(const std::string& childName, const std::string& childNamespace) {
    for (auto it = children.begin(); it != children.end(); ++it) {
        if ((*it)->name == childName && (*it)->namespaceURI == childNamespace) {
            DMSOAPElementType* child = *it;
            children.erase(it);
            delete child;
            return;
        }
    }
}

void DMSOAPElementType::AddAttribute(DMSOAPAttributeType* attribute, bool copy) {
    if (!attribute) {
        return;
    }
    if (copy) {
        attribute = new DMSOAPAttributeType(attribute);
    }
    attribute->owner = this;
    attributes.push_back(attribute);
}

DMSOAPAttributeType* DMSOAPElementType::FindAttribute(const std::string& attributeName) const {
    for (DMSOAPAttributeType* attribute : attributes) {
        if (attribute->name == attributeName) {
            return attribute;
        }
    }
    return nullptr;
}

void DMSOAPElementType::RemoveAttribute(const std::string& attributeName) {
    for (auto it = attributes.begin(); it != attributes.end(); ++it) {
        if ((*it)->name == attributeName) {
            DMSOAPAttributeType* attribute = *it;
            attributes.erase(it);
            delete attribute;
            return;
        }
    }
}

void DMSOAPElementType::DeclareNamespace(const std::string& uri, const std::string& prefix) {
    namespaces[uri] = prefix;
}

void DMSOAPElementType::DeclareNamespaces(const DMNamespacePrefixMap& declarations) {
    for (const auto& [uri, prefix] : declarations) {
        DeclareNamespace(uri, prefix);
    }
}

std::string DMSOAPElementType::FindNamespacePrefix(const std::string& uri) const {
    for (const DMSOAPElementType* e = this; e; e = e->parent) {
        auto it = e->namespaces.find(uri);
        if (it != e->namespaces.end()) {
            return it->second;
        }
    }
    return {};
}

std::string DMSOAPElementType::GetNamespacePrefix(const std::string& uri, const DMNamespacePrefixMap& table) const {
    std::string prefix = FindNamespacePrefix(uri);
    return prefix.empty() ? DMMapValueOrEmpty(table, uri) : prefix;
}

// --- road out ---

void DMSOAPElementType::ToXMLElement(DMXMLDocument& document, xmlNodePtr parentNode,
                                     const DMNamespacePrefixMap& table) const {
    try {
        WriteElement(document, parentNode, table);
    } catch (const DMXMLInvalidNamespaceException&) {
        std::printf("exception caught: namespace %s not defined\n", namespaceURI.c_str());
    } catch (...) {
        std::puts("exception caught: adding element to xml element failed.");
    }
}

void DMSOAPElementType::WriteElement(DMXMLDocument& document, xmlNodePtr parentNode,
                                     const DMNamespacePrefixMap& table) const {
    const std::string prefix = GetNamespacePrefix(namespaceURI, table);
    xmlNodePtr node = nullptr;
    if (!parentNode) {
        node = document.CreateRootElement(name, namespaceURI, prefix);
    } else {
        if (!prefix.empty() && !namespaceURI.empty()) {
            document.AddNamespace(document.GetRootElement(), namespaceURI, prefix);
        }
        node = document.CreateChildElement(parentNode, name, namespaceURI);
    }
    if (!node) {
        return;
    }
    // Declarations always land on the document's root element.
    for (const auto& [uri, declared] : namespaces) {
        (void)declared;
        const std::string p = GetNamespacePrefix(uri, table);
        if (!p.empty() && !uri.empty()) {
            document.AddNamespace(document.GetRootElement(), uri, p);
        }
    }
    for (const DMSOAPAttributeType* attribute : attributes) {
        if (!attribute->namespaceURI.empty()) {
            const std::string p = GetNamespacePrefix(attribute->namespaceURI, table);
            if (!p.empty()) {
                document.AddNamespace(document.GetRootElement(), attribute->namespaceURI, p);
            }
        }
        document.SetAttribute(node, attribute->name, attribute->namespaceURI, attribute->value);
    }
    for (const DMSOAPElementType* child : children) {
        try {
            child->ToXMLElement(document, node, table);
        } catch (const DMXMLInvalidNamespaceException&) {
            std::printf("exception caught: namespace %s not defined\n", namespaceURI.c_str());
        } catch (...) {
            std::puts("exception caught: converting element to xml element failed.");
        }
    }
    if (!text.empty()) {
        document.AddNodeText(node, text);
    }
}

// --- road in ---

void DMSOAPElementType::InitFromXMLElement(DMXMLDocument& document, xmlNodePtr node,
                                           const DMNamespacePrefixMap& table) {
    if (!node) {
        throw DMXMLInvalidArgumentException();
    }
    for (const auto& [uri, declared] : document.GetNamespaceDeclarations(node)) {
        DeclareNamespace(uri, declared.empty() ? GetNamespacePrefix(uri, table) : declared);
    }
    // An unqualified attribute stays unqualified: giving it the element's namespace
    // would change the attribute when the tree is written again (signed SAML assertions
    // are echoed back verbatim in the Security header).
    const unsigned attributeCount = document.GetAttributeCount(node);
    for (unsigned i = 0; i < attributeCount; ++i) {
        auto attribute = std::make_unique<DMSOAPAttributeType>(std::string(), std::string(), std::string());
        if (!document.GetAttributeAt(node, i, attribute->name, attribute->namespaceURI)) {
            break;
        }
        attribute->value = document.GetAttributeValueAt(node, i);
        AddAttribute(attribute.release(), false);
    }
    // Walk the sibling list instead of GetChildElement (index), which is linear per call.
    for (xmlNodePtr childNode = document.GetChildElement(node, 0); childNode; childNode = childNode->next) {
        if (childNode->type != XML_ELEMENT_NODE) {
            continue;
        }
        auto* child = new DMSOAPElementType(std::string(), std::string(), std::string());
        child->name = document.GetNodeName(childNode);
        child->namespaceURI = document.GetNodeNamespace(childNode);
        child->text = document.GetNodeText(childNode);
        // Attached before it is filled (owned by this tree if that throws), so that its
        // default declarations find a prefix already known above it; then its
        // declarations move to the top as AddChild does.
        children.push_back(child);
        child->parent = this;
        child->InitFromXMLElement(document, childNode, table);
        if (!child->namespaces.empty()) {
            GetRoot()->DeclareNamespaces(child->namespaces);
            child->namespaces.clear();
        }
    }
}

// --- fragment form ---

void DMSOAPElementType::ToString(std::string& out, const DMNamespacePrefixMap& table) const {
    if (DMWriteFragmentDirectly(*this, table, out)) {
        return;
    }
    DMXMLDocument document;
    xmlNodePtr root = document.CreateRootElement(kDMFragmentElementName, kDMFragmentNamespace, kDMFragmentPrefix);
    ToXMLElement(document, root, table);
    out = document.ToString();
}

DMSOAPElementType* DMSOAPElementType::CreateFromString(const std::string& source, const DMNamespacePrefixMap& table,
                                                       bool unwrap) {
    DMXMLDocument document(source);
    xmlNodePtr root = document.GetRootElement();
    if (!root) {
        throw DMXMLParsingException();
    }
    auto top = std::make_unique<DMSOAPElementType>(document.GetNodeName(root), document.GetNodeNamespace(root),
                                                   document.GetNodeText(root));
    top->InitFromXMLElement(document, root, table);
    if (!unwrap) {
        return top.release();
    }
    if (top->children.empty()) {
        return nullptr;
    }
    DMSOAPElementType* first = top->children.front();
    top->children.pop_front();
    first->parent = nullptr;
    return first;
}
