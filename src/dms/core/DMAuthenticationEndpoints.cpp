#include "dms/core/DMAuthenticationEndpoints.h"

namespace {

std::string AsciiLowerCopy(const std::string& text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

}  // namespace

std::string DMAuthenticationEndpointFor(const std::string& text) {
    const std::string lower = AsciiLowerCopy(text);
    for (const auto& environment : kDMAuthenticationEnvironments) {
        if (lower == environment.name) {
            return environment.url;
        }
    }
    if (lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0) {
        return text;
    }
    return "";
}
