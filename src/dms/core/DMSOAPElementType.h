#pragma once

// The element tree every SOAP message passes through, and its conversions to and from
// DMXMLDocument and the fragment text form the data cache stores.
//
// Matching rules callers rely on: FindChild and FindAttribute compare the local name
// only, whatever the namespace; occurrences count from 1; RemoveChild needs name and
// namespace to match. An element owns its attributes and children; AddChild and
// AddAttribute take the object over unless asked to copy it. Not thread-safe.

#include <list>
#include <map>
#include <string>

#include "dms/core/DMXMLDocument.h"

class DMSOAPElementType;

// namespace URI -> prefix
using DMNamespacePrefixMap = std::map<std::string, std::string>;

// The map's value for key, "" when absent.
std::string DMMapValueOrEmpty(const DMNamespacePrefixMap& map, const std::string& key);

class DMSOAPAttributeType {
public:
    DMSOAPAttributeType(const std::string& name, const std::string& namespaceURI, const std::string& value);
    // Copies name, namespace and value; a null source gives empty strings.
    explicit DMSOAPAttributeType(const DMSOAPAttributeType* source);
    virtual ~DMSOAPAttributeType();

    DMSOAPAttributeType(const DMSOAPAttributeType&) = delete;
    DMSOAPAttributeType& operator=(const DMSOAPAttributeType&) = delete;

    std::string name;
    std::string namespaceURI;  // empty: unqualified
    std::string value;
    DMSOAPElementType* owner = nullptr;  // not owning
};

class DMSOAPElementType {
public:
    DMSOAPElementType(const std::string& name, const std::string& namespaceURI, const std::string& text);
    // Deep copy of name, namespace, text, attributes and children; no namespace
    // declarations and no parent. A null source gives an empty element.
    explicit DMSOAPElementType(const DMSOAPElementType* source);
    virtual ~DMSOAPElementType();

    DMSOAPElementType(const DMSOAPElementType&) = delete;
    DMSOAPElementType& operator=(const DMSOAPElementType&) = delete;

    DMSOAPElementType* GetRoot();

    // Appends the child (or a deep copy of it) and moves the child's namespace
    // declarations to the top of this tree. Null is ignored.
    void AddChild(DMSOAPElementType* child, bool copy);
    void AddChildren(const std::list<DMSOAPElementType*>& children, bool copy);
    // The occurrence-th (from 1) child of that local name, any namespace; null if none.
    DMSOAPElementType* FindChild(const std::string& name, int occurrence) const;
    // Removes and deletes the first child matching name and namespace exactly.
    void RemoveChild(const std::string& name, const std::string& namespaceURI);

    void AddAttribute(DMSOAPAttributeType* attribute, bool copy);
    DMSOAPAttributeType* FindAttribute(const std::string& name) const;
    void RemoveAttribute(const std::string& name);

    void DeclareNamespace(const std::string& namespaceURI, const std::string& prefix);
    void DeclareNamespaces(const DMNamespacePrefixMap& declarations);
    // Prefix declared on this element or the nearest ancestor declaring the URI; "".
    std::string FindNamespacePrefix(const std::string& namespaceURI) const;
    // FindNamespacePrefix, else the table's prefix, else "".
    std::string GetNamespacePrefix(const std::string& namespaceURI, const DMNamespacePrefixMap& table) const;

    // Writes this subtree into the document, as its root when parent is null. Failures
    // while writing an element are reported on standard output and skip the rest of that
    // element only.
    void ToXMLElement(DMXMLDocument& document, xmlNodePtr parent, const DMNamespacePrefixMap& table) const;
    // Fills declarations, attributes and children from node; the caller has set name,
    // namespace and text. DMXMLInvalidArgumentException for a null node.
    void InitFromXMLElement(DMXMLDocument& document, xmlNodePtr node, const DMNamespacePrefixMap& table);
    // The fragment text form: this element inside a docfrag:document_fragment wrapper.
    void ToString(std::string& text, const DMNamespacePrefixMap& table) const;
    // A new tree from text (owned by the caller). With unwrap, the wrapper's first child
    // element (null when it has none). DMXMLParsingException for text that does not parse.
    static DMSOAPElementType* CreateFromString(const std::string& text, const DMNamespacePrefixMap& table, bool unwrap);

    std::string name;
    std::string namespaceURI;
    std::string text;
    std::list<DMSOAPAttributeType*> attributes;  // owned
    std::list<DMSOAPElementType*> children;      // owned
    DMNamespacePrefixMap namespaces;             // declarations: URI -> prefix ("" unknown)
    DMSOAPElementType* parent = nullptr;         // not owning

private:
    void WriteElement(DMXMLDocument& document, xmlNodePtr parent, const DMNamespacePrefixMap& table) const;
};

// Interface of every schema value type.
class DMSOAPElementCoding {
public:
    // A new element of that name and namespace holding the value; owned by the caller.
    virtual DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) = 0;
    // Reads the value from the element; null changes nothing.
    virtual void FromElement(DMSOAPElementType* element) = 0;

protected:
    ~DMSOAPElementCoding() = default;
};

// Wrapper of the fragment text form.
inline constexpr const char* kDMFragmentElementName = "document_fragment";
inline constexpr const char* kDMFragmentPrefix = "docfrag";
inline constexpr const char* kDMFragmentNamespace = "urn:zym-com:soap_element_fragment";
