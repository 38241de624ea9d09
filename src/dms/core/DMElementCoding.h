#pragma once

// The attribute and child rules every service's types share when they turn fields into
// an element and back. Writing adds to element, which owns what is added. Reading goes by
// local name, whatever the namespace, and leaves the field unchanged (answering false)
// when the attribute or child is absent or its number does not convert.

#include <cstdint>
#include <string>

#include "dms/core/DMNumberText.h"
#include "dms/core/DMSIFTypes.h"

void DMAddAttribute(DMSOAPElementType* element, const char* name, const std::string& namespaceURI,
                    const std::string& value);
// Nothing for an empty value.
void DMAddAttributeIfSet(DMSOAPElementType* element, const char* name, const std::string& namespaceURI,
                         const std::string& value);
DMSOAPElementType* DMAddChild(DMSOAPElementType* element, const char* name, const std::string& namespaceURI,
                              const std::string& text);
void DMAddChildIfSet(DMSOAPElementType* element, const char* name, const std::string& namespaceURI,
                     const std::string& text);
void DMAddLocStringIfSet(DMSOAPElementType* element, const char* name, const std::string& namespaceURI,
                         DMSIF_LocStringType& value);
// One child per item, each written by the item's ToElement.
template <class Items>
void DMAddItems(DMSOAPElementType* element, const char* name, const std::string& namespaceURI, Items& items) {
    for (auto& item : items) {
        element->AddChild(item.ToElement(name, namespaceURI), false);
    }
}
// The "Status" child, always written.
void DMAddStatus(DMSOAPElementType* element, DMSIF_StatusType& status, const std::string& namespaceURI);

bool DMReadAttribute(const DMSOAPElementType* element, const char* name, std::string& field);
bool DMReadIntAttribute(const DMSOAPElementType* element, const char* name, std::int32_t& field);
bool DMReadChildText(const DMSOAPElementType* element, const char* name, std::string& field);
bool DMReadIntChild(const DMSOAPElementType* element, const char* name, std::int32_t& field);
// An identifier held in an attribute: the value from it, an empty id.
bool DMReadIDAttribute(const DMSOAPElementType* element, const char* name, DMSIF_IDType& field);
// Replaced whole by the first child "Status".
bool DMReadStatus(const DMSOAPElementType* element, DMSIF_StatusType& status);
// Replaced whole by the first child of that name.
bool DMReadLocString(const DMSOAPElementType* element, const char* name, DMSIF_LocStringType& field);
