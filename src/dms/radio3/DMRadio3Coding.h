#pragma once

// Reading and writing helpers shared by the radio schema's values and method messages.
//
// Numbers in element texts and attributes follow the C conversions "%d", "%f" and "%.1f",
// but never the process locale (the application runs with the user's). A scan skips
// leading white space, takes an optional sign and reads as far as the number goes;
// anything after it is ignored. A number that does not fit (an integer beyond 32 bits, a
// float beyond its range) counts as not converted, as does text without digits.

#include <cstdint>
#include <string>

#include "dms/core/DMSIFTypes.h"

bool DMRadio3ScanInt(const std::string& text, std::int32_t& value);
bool DMRadio3ScanFloat(const std::string& text, float& value);
std::string DMRadio3FormatInt(std::int32_t value);
// One decimal, rounded as "%.1f" rounds.
std::string DMRadio3FormatFloat(float value);

// Writing. Each adds to element, which owns what is added.
void DMRadio3AddAttribute(DMSOAPElementType* element, const char* name, const std::string& namespaceURI,
                          const std::string& value);
void DMRadio3AddAttributeIfSet(DMSOAPElementType* element, const char* name, const std::string& namespaceURI,
                               const std::string& value);
DMSOAPElementType* DMRadio3AddChild(DMSOAPElementType* element, const char* name, const std::string& namespaceURI,
                                    const std::string& text);
void DMRadio3AddChildIfSet(DMSOAPElementType* element, const char* name, const std::string& namespaceURI,
                           const std::string& text);
void DMRadio3AddLocStringIfSet(DMSOAPElementType* element, const char* name, const std::string& namespaceURI,
                               DMSIF_LocStringType& value);

// Reading: by local name, whatever the namespace; each leaves the field unchanged and
// answers false when the attribute or child is absent (or its number does not convert).
bool DMRadio3ReadAttribute(const DMSOAPElementType* element, const char* name, std::string& field);
bool DMRadio3ReadIntAttribute(const DMSOAPElementType* element, const char* name, std::int32_t& field);
bool DMRadio3ReadChildText(const DMSOAPElementType* element, const char* name, std::string& field);
bool DMRadio3ReadIntChild(const DMSOAPElementType* element, const char* name, std::int32_t& field);
// An identifier held in an attribute: the value from it, an empty id.
bool DMRadio3ReadIDAttribute(const DMSOAPElementType* element, const char* name, DMSIF_IDType& field);
// Replaced whole by the first child of that name.
bool DMRadio3ReadLocString(const DMSOAPElementType* element, const char* name, DMSIF_LocStringType& field);
