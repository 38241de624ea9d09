#include "dms/pictures/DMPictureTypes.h"

#include <charconv>

#include "dms/pictures/DMPictureCoding.h"

namespace dmpictures {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Leading blanks, one optional sign, then digits: the number, or false when no digit
// comes or it leaves 32 bits.
bool LeadingInt(const std::string& text, std::int32_t& value) {
    const char* p = text.data();
    const char* end = p + text.size();
    while (p != end && IsBlank(*p))
        ++p;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p == end || !IsDigit(*p)) return false;
    std::int64_t magnitude = 0;
    for (; p != end && IsDigit(*p); ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > 2147483648LL) return false;
    }
    const std::int64_t signed_ = negative ? -magnitude : magnitude;
    if (signed_ > 2147483647LL) return false;
    value = static_cast<std::int32_t>(signed_);
    return true;
}

}  // namespace

std::string FormatInt(std::int32_t value) {
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

bool ScanInt(const std::string& text, std::int32_t& value) { return LeadingInt(text, value); }

std::int32_t ReadLeadingInt(const std::string& text) {
    std::int32_t value = 0;
    return LeadingInt(text, value) ? value : 0;
}

std::string JoinKeywords(const std::list<std::string>& keywords) {
    std::string joined;
    for (const std::string& k : keywords) {
        if (&k != &keywords.front()) joined += ',';
        joined += k;
    }
    return joined;
}

std::list<std::string> SplitKeywords(const std::string& text) {
    std::list<std::string> pieces;
    std::size_t from = 0;
    for (std::size_t comma = text.find(','); comma != std::string::npos; comma = text.find(',', from)) {
        pieces.push_back(text.substr(from, comma - from));
        from = comma + 1;
    }
    pieces.push_back(text.substr(from));
    return pieces;
}

}  // namespace dmpictures

DMPICTURE_DEFINE_CODING(DMPicture_NameValuePairType, WriteValue)
DMPICTURE_DEFINE_CODING(DMPicture_PermissionsType, WriteValue)
DMPICTURE_DEFINE_CODING(DMPicture_OperationType, WriteValue)
DMPICTURE_DEFINE_CODING(DMPicture_ShareEventType, WriteValue)
DMPICTURE_DEFINE_CODING(DMPicture_PropertiesType, WriteValue)
