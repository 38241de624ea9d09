#include "dms/core/DMAuthenticationEndpoints.h"

#include "dms/core/DMAsciiCase.h"

std::string DMAuthenticationEndpointFor(const std::string& text) {
    const std::string lower = DMAsciiLowerCopy(text);
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
