#include "dms/core/DMFragmentWriter.h"

#include <cstddef>
#include <string_view>
#include <vector>

#include "dms/core/DMSOAPNamespaces.h"

namespace {

// Length of the well-formed UTF-8 sequence of a non-ASCII character at s[i], 0 if none.
// Overlong forms, surrogates and code points above U+10FFFF are refused, as are the
// non-characters U+FFFE and U+FFFF, which XML does not allow.
std::size_t Utf8SequenceLength(const std::string& s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned codePoint = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07u;
    } else {
        return 0;
    }
    if (i + length > s.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0u) != 0x80u) return 0;
        codePoint = (codePoint << 6) | (byte(i + k) & 0x3Fu);
    }
    const unsigned smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < smallest[length] || codePoint > 0x10FFFF) return 0;
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return 0;
    if (codePoint == 0xFFFE || codePoint == 0xFFFF) return 0;
    return length;
}

// Appends s escaped as element content (attribute: as a quoted value); false for a
// character this writer leaves to libxml2 (controls, tabs, line ends, broken UTF-8).
bool AppendEscaped(std::string& out, const std::string& s, bool attribute) {
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0x80) {
            const std::size_t n = Utf8SequenceLength(s, i);
            if (n == 0) return false;
            out.append(s, i, n);
            i += n;
            continue;
        }
        if (c < 0x20 || c == 0x7F) return false;
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"':
            if (attribute)
                out += "&quot;";
            else
                out += '"';
            break;
        default: out += static_cast<char>(c);
        }
        ++i;
    }
    return true;
}

// A name written as it is: ASCII letters, digits, '_', '-' and '.', not starting with
// a digit, '-' or '.'.
bool IsPlainName(std::string_view name) {
    if (name.empty()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        const bool other = (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (!letter && !(i > 0 && other)) return false;
    }
    return true;
}

// The name without an "xml:" in front; other prefixed names are left whole (and are not
// plain).
std::string_view LocalName(const std::string& name) {
    constexpr std::string_view kXmlPrefix = "xml:";
    std::string_view view(name);
    if (view.substr(0, kXmlPrefix.size()) == kXmlPrefix) view.remove_prefix(kXmlPrefix.size());
    return view;
}

// A namespace URI written inside double quotes without escaping.
bool IsPlainURI(const std::string& uri) {
    for (const char c : uri) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x21 || u > 0x7E || c == '"' || c == '&' || c == '<' || c == '>') return false;
    }
    return !uri.empty();
}

// The declarations of the fragment's root element, in the order the document road adds
// them: the wrapper's own first, then each namespace the first time an element, a
// declaration or an attribute asks for it.
class FragmentWriter {
public:
    explicit FragmentWriter(const DMNamespacePrefixMap& table) : mTable(table) {
        mDeclarations.push_back({kDMFragmentNamespace, kDMFragmentPrefix});
    }

    bool Write(const DMSOAPElementType& element, std::string& out) {
        mBody.reserve(1024);
        if (!Element(element)) return false;
        out.clear();
        out.reserve(mBody.size() + 256);
        out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<";
        out += kDMFragmentPrefix;
        out += ':';
        out += kDMFragmentElementName;
        for (const Declaration& d : mDeclarations) {
            out += " xmlns:";
            out += d.prefix;
            out += "=\"";
            out += d.uri;
            out += '"';
        }
        out += '>';
        out += mBody;
        out += "</";
        out += kDMFragmentPrefix;
        out += ':';
        out += kDMFragmentElementName;
        out += ">\n";
        return true;
    }

private:
    struct Declaration {
        std::string uri;
        std::string prefix;
    };

    const Declaration* Declared(const std::string& uri) const {
        for (const Declaration& d : mDeclarations) {
            if (d.uri == uri) return &d;
        }
        return nullptr;
    }

    // What declaring (uri, prefix) on the root does; false when the root could not take
    // it (a prefix already bound, a reserved one) and the document road would fall back
    // on a default declaration further down.
    bool Declare(const std::string& uri, const std::string& prefix) {
        if (uri == kDMXMLNamespaceURI || Declared(uri)) return true;
        if (!IsPlainURI(uri) || !IsPlainName(prefix) || prefix == "xml" || prefix == "xmlns") return false;
        for (const Declaration& d : mDeclarations) {
            if (d.prefix == prefix) return false;
        }
        mDeclarations.push_back({uri, prefix});
        return true;
    }

    // The prefix an element or attribute in uri is written with; false when the root
    // does not declare it (no prefix was known anywhere).
    bool WrittenPrefix(const std::string& uri, std::string& prefix) const {
        if (uri == kDMXMLNamespaceURI) {
            prefix = "xml";
            return true;
        }
        const Declaration* d = Declared(uri);
        if (!d) return false;
        prefix = d->prefix;
        return true;
    }

    bool Element(const DMSOAPElementType& e) {
        if (!IsPlainName(e.name)) return false;
        std::string prefix;
        if (!e.namespaceURI.empty()) {
            const std::string wanted = e.GetNamespacePrefix(e.namespaceURI, mTable);
            if (!wanted.empty() && !Declare(e.namespaceURI, wanted)) return false;
            if (e.namespaceURI == kDMXMLNamespaceURI || !WrittenPrefix(e.namespaceURI, prefix)) return false;
        }
        for (const auto& [uri, declared] : e.namespaces) {
            (void)declared;
            const std::string p = e.GetNamespacePrefix(uri, mTable);
            if (!p.empty() && !uri.empty() && !Declare(uri, p)) return false;
        }
        std::string qualifiedName = prefix.empty() ? e.name : prefix + ':' + e.name;
        mBody += '<';
        mBody += qualifiedName;
        for (auto it = e.attributes.begin(); it != e.attributes.end(); ++it) {
            const DMSOAPAttributeType& a = **it;
            const std::string_view local = LocalName(a.name);
            if (!IsPlainName(local)) return false;
            // A second attribute of the same name would replace the first in place.
            for (auto before = e.attributes.begin(); before != it; ++before) {
                if (LocalName((*before)->name) == local) return false;
            }
            mBody += ' ';
            if (local.size() != a.name.size()) {
                // "xml:lang" given as an unqualified name is the XML namespace's attribute.
                if (!a.namespaceURI.empty()) return false;
            } else if (!a.namespaceURI.empty()) {
                const std::string wanted = e.GetNamespacePrefix(a.namespaceURI, mTable);
                if (!wanted.empty() && !Declare(a.namespaceURI, wanted)) return false;
                std::string attributePrefix;
                if (!WrittenPrefix(a.namespaceURI, attributePrefix)) return false;
                mBody += attributePrefix;
                mBody += ':';
            }
            mBody += a.name;
            mBody += "=\"";
            if (!AppendEscaped(mBody, a.value, true)) return false;
            mBody += '"';
        }
        if (e.children.empty() && e.text.empty()) {
            mBody += "/>";
            return true;
        }
        mBody += '>';
        for (const DMSOAPElementType* child : e.children) {
            if (!Element(*child)) return false;
        }
        if (!AppendEscaped(mBody, e.text, false)) return false;
        mBody += "</";
        mBody += qualifiedName;
        mBody += '>';
        return true;
    }

    const DMNamespacePrefixMap& mTable;
    std::vector<Declaration> mDeclarations;
    std::string mBody;
};

}  // namespace

bool DMWriteFragmentDirectly(const DMSOAPElementType& element, const DMNamespacePrefixMap& table, std::string& text) {
    return FragmentWriter(table).Write(element, text);
}
