#include "dms/core/DMNumberText.h"

#include <charconv>
#include <system_error>

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Past the white space and the one sign.
const char* SkipToNumber(const char* p, const char* end, bool& negative) {
    while (p != end && IsSpace(*p))
        ++p;
    negative = false;
    if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    return p;
}

}  // namespace

bool DMScanInt(const std::string& text, std::int32_t& value) {
    const char* end = text.data() + text.size();
    bool negative = false;
    const char* p = SkipToNumber(text.data(), end, negative);
    // from_chars would take a second sign; the scan takes only digits here.
    if (p == end || !IsDigit(*p)) return false;
    std::uint64_t magnitude = 0;
    if (std::from_chars(p, end, magnitude).ec != std::errc()) return false;
    constexpr std::uint64_t kMaxPositive = 2147483647u;
    if (magnitude > kMaxPositive + (negative ? 1u : 0u)) return false;
    value = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                     : static_cast<std::int32_t>(magnitude);
    return true;
}

std::string DMFormatInt(std::int32_t value) {
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

bool DMScanFloat(const std::string& text, float& value) {
    const char* end = text.data() + text.size();
    bool negative = false;
    const char* p = SkipToNumber(text.data(), end, negative);
    if (p == end || *p == '+' || *p == '-') return false;
    float result = 0;
    std::from_chars_result r{};
    // from_chars wants hexadecimal floats without the "0x".
    if (end - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
        (IsHexDigit(p[2]) || (p[2] == '.' && end - p > 3 && IsHexDigit(p[3])))) {
        r = std::from_chars(p + 2, end, result, std::chars_format::hex);
    } else {
        r = std::from_chars(p, end, result, std::chars_format::general);
    }
    if (r.ec != std::errc()) return false;
    value = negative ? -result : result;
    return true;
}

std::string DMFormatFloat(float value) {
    // The largest float has 39 digits before the point.
    char buffer[64];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value), std::chars_format::fixed, 1);
    if (r.ec != std::errc()) return "0.0";
    return std::string(buffer, r.ptr);
}
