#include "dms/radio3/DMRadio3Coding.h"

#include "dms/core/DMNumberText.h"

#include <charconv>
#include <system_error>

namespace {

// The C locale's white space, whatever the process locale says.
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Past the white space and the sign.
const char* SkipToNumber(const char* p, const char* end, bool& negative) {
    while (p != end && IsSpace(*p)) {
        ++p;
    }
    negative = false;
    if (p != end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    return p;
}

}  // namespace

bool DMRadio3ScanInt(const std::string& text, std::int32_t& value) { return DMScanInt(text, value); }

bool DMRadio3ScanFloat(const std::string& text, float& value) {
    const char* end = text.data() + text.size();
    bool negative = false;
    const char* p = SkipToNumber(text.data(), end, negative);
    if (p == end || *p == '+' || *p == '-') {
        return false;
    }
    float result = 0;
    std::from_chars_result r{};
    // "%f" also reads hexadecimal floats; from_chars wants them without the "0x".
    if (end - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
        (IsHexDigit(p[2]) || (p[2] == '.' && end - p > 3 && IsHexDigit(p[3])))) {
        r = std::from_chars(p + 2, end, result, std::chars_format::hex);
    } else {
        r = std::from_chars(p, end, result, std::chars_format::general);
    }
    if (r.ec != std::errc()) {
        return false;
    }
    value = negative ? -result : result;
    return true;
}

std::string DMRadio3FormatInt(std::int32_t value) { return DMFormatInt(value); }

std::string DMRadio3FormatFloat(float value) {
    // The largest float has 39 digits before the point.
    char buffer[64];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value), std::chars_format::fixed, 1);
    if (r.ec != std::errc()) {
        return "0.0";
    }
    return std::string(buffer, r.ptr);
}

void DMRadio3AddAttribute(DMSOAPElementType* element, const char* name, const std::string& namespaceURI,
                          const std::string& value) {
    element->AddAttribute(new DMSOAPAttributeType(name, namespaceURI, value), false);
}

void DMRadio3AddAttributeIfSet(DMSOAPElementType* element, const char* name, const std::string& namespaceURI,
                               const std::string& value) {
    if (!value.empty()) {
        DMRadio3AddAttribute(element, name, namespaceURI, value);
    }
}

DMSOAPElementType* DMRadio3AddChild(DMSOAPElementType* element, const char* name, const std::string& namespaceURI,
                                    const std::string& text) {
    auto* child = new DMSOAPElementType(name, namespaceURI, text);
    element->AddChild(child, false);
    return child;
}

void DMRadio3AddChildIfSet(DMSOAPElementType* element, const char* name, const std::string& namespaceURI,
                           const std::string& text) {
    if (!text.empty()) {
        DMRadio3AddChild(element, name, namespaceURI, text);
    }
}

void DMRadio3AddLocStringIfSet(DMSOAPElementType* element, const char* name, const std::string& namespaceURI,
                               DMSIF_LocStringType& value) {
    if (!value.mValue.empty()) {
        element->AddChild(value.ToElement(name, namespaceURI), false);
    }
}

bool DMRadio3ReadAttribute(const DMSOAPElementType* element, const char* name, std::string& field) {
    if (const DMSOAPAttributeType* attribute = element->FindAttribute(name)) {
        field = attribute->value;
        return true;
    }
    return false;
}

bool DMRadio3ReadIntAttribute(const DMSOAPElementType* element, const char* name, std::int32_t& field) {
    const DMSOAPAttributeType* attribute = element->FindAttribute(name);
    return attribute && DMRadio3ScanInt(attribute->value, field);
}

bool DMRadio3ReadChildText(const DMSOAPElementType* element, const char* name, std::string& field) {
    if (const DMSOAPElementType* child = element->FindChild(name, 1)) {
        field = child->text;
        return true;
    }
    return false;
}

bool DMRadio3ReadIntChild(const DMSOAPElementType* element, const char* name, std::int32_t& field) {
    const DMSOAPElementType* child = element->FindChild(name, 1);
    return child && DMRadio3ScanInt(child->text, field);
}

bool DMRadio3ReadIDAttribute(const DMSOAPElementType* element, const char* name, DMSIF_IDType& field) {
    if (const DMSOAPAttributeType* attribute = element->FindAttribute(name)) {
        field.mValue = attribute->value;
        field.mID.clear();
        return true;
    }
    return false;
}

bool DMRadio3ReadLocString(const DMSOAPElementType* element, const char* name, DMSIF_LocStringType& field) {
    if (DMSOAPElementType* child = element->FindChild(name, 1)) {
        field = DMSIF_LocStringType(child);
        return true;
    }
    return false;
}
