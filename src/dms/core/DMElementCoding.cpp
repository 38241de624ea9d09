#include "dms/core/DMElementCoding.h"

void DMAddAttribute(DMSOAPElementType* element, const char* name, const std::string& namespaceURI,
                    const std::string& value) {
    element->AddAttribute(new DMSOAPAttributeType(name, namespaceURI, value), false);
}

void DMAddAttributeIfSet(DMSOAPElementType* element, const char* name, const std::string& namespaceURI,
                         const std::string& value) {
    if (!value.empty()) {
        DMAddAttribute(element, name, namespaceURI, value);
    }
}

DMSOAPElementType* DMAddChild(DMSOAPElementType* element, const char* name, const std::string& namespaceURI,
                              const std::string& text) {
    auto* child = new DMSOAPElementType(name, namespaceURI, text);
    element->AddChild(child, false);
    return child;
}

void DMAddChildIfSet(DMSOAPElementType* element, const char* name, const std::string& namespaceURI,
                     const std::string& text) {
    if (!text.empty()) {
        DMAddChild(element, name, namespaceURI, text);
    }
}

void DMAddLocStringIfSet(DMSOAPElementType* element, const char* name, const std::string& namespaceURI,
                         DMSIF_LocStringType& value) {
    if (!value.mValue.empty()) {
        element->AddChild(value.ToElement(name, namespaceURI), false);
    }
}

void DMAddStatus(DMSOAPElementType* element, DMSIF_StatusType& status, const std::string& namespaceURI) {
    element->AddChild(status.ToElement("Status", namespaceURI), false);
}

bool DMReadAttribute(const DMSOAPElementType* element, const char* name, std::string& field) {
    if (const DMSOAPAttributeType* attribute = element->FindAttribute(name)) {
        field = attribute->value;
        return true;
    }
    return false;
}

bool DMReadIntAttribute(const DMSOAPElementType* element, const char* name, std::int32_t& field) {
    const DMSOAPAttributeType* attribute = element->FindAttribute(name);
    return attribute && DMScanInt(attribute->value, field);
}

bool DMReadChildText(const DMSOAPElementType* element, const char* name, std::string& field) {
    if (const DMSOAPElementType* child = element->FindChild(name, 1)) {
        field = child->text;
        return true;
    }
    return false;
}

bool DMReadIntChild(const DMSOAPElementType* element, const char* name, std::int32_t& field) {
    const DMSOAPElementType* child = element->FindChild(name, 1);
    return child && DMScanInt(child->text, field);
}

bool DMReadIDAttribute(const DMSOAPElementType* element, const char* name, DMSIF_IDType& field) {
    if (const DMSOAPAttributeType* attribute = element->FindAttribute(name)) {
        field.mValue = attribute->value;
        field.mID.clear();
        return true;
    }
    return false;
}

bool DMReadLocString(const DMSOAPElementType* element, const char* name, DMSIF_LocStringType& field) {
    if (DMSOAPElementType* child = element->FindChild(name, 1)) {
        field = DMSIF_LocStringType(child);
        return true;
    }
    return false;
}

bool DMReadStatus(const DMSOAPElementType* element, DMSIF_StatusType& status) {
    if (DMSOAPElementType* child = element->FindChild("Status", 1)) {
        status = DMSIF_StatusType(child);
        return true;
    }
    return false;
}
