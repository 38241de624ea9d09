#include "dms/core/DMNumberText.h"

#include <charconv>
#include <system_error>

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool DMScanInt(const std::string& text, std::int32_t& value) {
    const char* p = text.data();
    const char* end = p + text.size();
    while (p != end && IsSpace(*p))
        ++p;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
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
