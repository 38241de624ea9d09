#include "dms/core/DMSIFTypes.h"

#include <cstdio>

#include "dms/core/DMAsciiCase.h"
#include "dms/core/DMElementCoding.h"
#include "dms/core/DMSOAPNamespaces.h"

// --- DMSIF_IDType ---

DMSIF_IDType::DMSIF_IDType(const std::string& value, const std::string& id) : mValue(value), mID(id) {}

DMSIF_IDType::DMSIF_IDType(DMSOAPElementType* element) { DMSIF_IDType::FromElement(element); }

DMSOAPElementType* DMSIF_IDType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, mValue);
    DMAddAttributeIfSet(element, "id", "", mID);
    return element;
}

void DMSIF_IDType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadAttribute(element, "id", mID);
    mValue = element->text;
}

// --- DMSIF_QualIDType ---

DMSIF_QualIDType::DMSIF_QualIDType(const std::string& value, const std::string& id, const std::string& type_,
                                   const std::string& url_)
    : DMSIF_IDType(value, id), type(type_), url(url_) {}

DMSIF_QualIDType::DMSIF_QualIDType(DMSOAPElementType* element) { DMSIF_QualIDType::FromElement(element); }

DMSOAPElementType* DMSIF_QualIDType::ToElement(const std::string& name, const std::string& namespaceURI) {
    DMSOAPElementType* element = DMSIF_IDType::ToElement(name, namespaceURI);
    DMAddAttributeIfSet(element, "type", "", type);
    DMAddAttributeIfSet(element, "url", "", url);
    return element;
}

void DMSIF_QualIDType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMSIF_IDType::FromElement(element);
    DMReadAttribute(element, "type", type);
    DMReadAttribute(element, "url", url);
}

// --- DMSIF_LocStringType ---

DMSIF_LocStringType::DMSIF_LocStringType(DMSOAPElementType* element) { DMSIF_LocStringType::FromElement(element); }

DMSOAPElementType* DMSIF_LocStringType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, mValue);
    DMAddAttributeIfSet(element, "id", "", mID);
    DMAddAttributeIfSet(element, "xml:lang", "", mLanguage);
    DMAddAttributeIfSet(element, "script", "", mScript);
    return element;
}

void DMSIF_LocStringType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    mValue = element->text;
    DMReadAttribute(element, "id", mID);
    DMReadAttribute(element, "script", mScript);
    // Built in code the attribute is named "xml:lang"; read from XML it arrives as "lang"
    // in the XML namespace. Accept both, or the language of every parsed text is lost.
    if (const DMSOAPAttributeType* lang = element->FindAttribute("xml:lang")) {
        mLanguage = lang->value;
    } else {
        for (const DMSOAPAttributeType* attribute : element->attributes) {
            if (attribute->name == "lang" && attribute->namespaceURI == kDMXMLNamespaceURI) {
                mLanguage = attribute->value;
                break;
            }
        }
    }
}

// --- DMSIF_StatusType ---

DMSIF_StatusType::DMSIF_StatusType(DMSOAPElementType* element) { DMSIF_StatusType::FromElement(element); }

DMSOAPElementType* DMSIF_StatusType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMAddAttributeIfSet(element, "code", "", code);
    DMAddAttributeIfSet(element, "comment", "", comment);
    DMAddAttributeIfSet(element, "ref", "", ref);
    for (DMSIF_StatusType& nested : statuses) {
        element->AddChild(nested.ToElement("Status", namespaceURI), false);
    }
    return element;
}

void DMSIF_StatusType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    if (const DMSOAPAttributeType* attribute = element->FindAttribute("code")) {
        const std::string& value = attribute->value;
        const std::size_t colon = value.find(':');
        code = colon == std::string::npos ? value : value.substr(colon + 1);
    }
    DMReadAttribute(element, "comment", comment);
    DMReadAttribute(element, "ref", ref);
    if (!element->children.empty()) {
        std::list<DMSIF_StatusType> nested;
        for (DMSOAPElementType* child : element->children) {
            nested.emplace_back(child);
        }
        statuses = std::move(nested);
    }
}

// --- DMSIF_FaultType ---

DMSIF_FaultType::DMSIF_FaultType(DMSOAPElementType* element) { DMSIF_FaultType::FromElement(element); }

DMSOAPElementType* DMSIF_FaultType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    if (!faultcode.empty()) {
        element->AddChild(new DMSOAPElementType("faultcode", "", faultcode), false);
    }
    if (!faultstring.empty()) {
        element->AddChild(new DMSOAPElementType("faultstring", "", faultstring), false);
    }
    if (!faultactor.empty()) {
        element->AddChild(new DMSOAPElementType("faultactor", "", faultactor), false);
    }
    if (!status.code.empty()) {
        auto* detail = new DMSOAPElementType("detail", kDMSOAP11EnvelopeURI, "");
        detail->AddChild(status.ToElement("Status", kDMSIFURI), false);
        element->AddChild(detail, false);
    }
    return element;
}

void DMSIF_FaultType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    if (element->namespaceURI == kDMSOAP11EnvelopeURI) {
        DMReadChildText(element, "faultcode", faultcode);
        DMReadChildText(element, "faultstring", faultstring);
        DMReadChildText(element, "faultactor", faultactor);
        if (DMSOAPElementType* detail = element->FindChild("detail", 1)) {
            if (DMSOAPElementType* s = detail->FindChild("Status", 1)) {
                status = DMSIF_StatusType(s);
            }
        }
    } else if (element->namespaceURI == kDMSOAP12EnvelopeURI) {
        if (DMSOAPElementType* codeElement = element->FindChild("Code", 1)) {
            DMReadChildText(codeElement, "Value", faultcode);
        }
        if (DMSOAPElementType* reason = element->FindChild("Reason", 1)) {
            DMReadChildText(reason, "Text", faultstring);
        }
        if (DMSOAPElementType* detail = element->FindChild("Detail", 1)) {
            if (DMSOAPElementType* s = detail->FindChild("Status", 1)) {
                status = DMSIF_StatusType(s);
            }
        }
    }
}

// --- string helpers ---

bool DMStringEqual(const std::string& a, const std::string& b, bool caseSensitive) {
    if (caseSensitive) {
        return a == b;
    }
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (DMAsciiLower(a[i]) != DMAsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

bool DMStringPrefixEqual(const std::string& a, const std::string& b, bool caseSensitive) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    return DMStringEqual(a.substr(0, n), b.substr(0, n), caseSensitive);
}

bool DMStringHasPrefix(const std::string& text, const std::string& prefix, bool caseSensitive) {
    return text.size() >= prefix.size() && DMStringEqual(text.substr(0, prefix.size()), prefix, caseSensitive);
}

std::string DMHexDump(const std::string& bytes) {
    std::string result;
    std::string hex;
    std::string chars;
    char buffer[16];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % 16 == 0) {
            if (!hex.empty()) {
                result += hex + "  " + chars + "\n";
            }
            std::snprintf(buffer, sizeof buffer, "%06X  ", static_cast<unsigned>(i));
            hex = buffer;
            chars.clear();
        }
        const auto byte = static_cast<unsigned char>(bytes[i]);
        std::snprintf(buffer, sizeof buffer, "%02X ", byte);
        hex += buffer;
        chars += (byte >= 0x20 && byte <= 0x7E) ? static_cast<char>(byte) : '.';
    }
    if (!hex.empty()) {
        result += hex + "  " + chars + "\n";
    }
    return result;
}
