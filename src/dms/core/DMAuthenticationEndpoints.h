#pragma once

// The sign-on endpoints: a built-in environment name selects a fixed URL; an http or
// https URL is taken as given; anything else is refused.

#include <string>

struct DMAuthenticationEnvironment {
    const char* name;  // lower case
    const char* url;
};

// In the order names are tried. The first ("prod") is every controller's default.
inline constexpr DMAuthenticationEnvironment kDMAuthenticationEnvironments[] = {
    {"prod", "https://signon.zym-com.invalid"},
    {"testpea", "https://signon-test.zym-com.invalid/"},
    {"quesoprod", "https://queso.zym-com.invalid:5201/"},
    {"quesotestprod", "https://queso-test.zym-com.invalid:443/"},
    {"dev", "http://signon-dev.zym-com.invalid:9080/tfs/IDPSSO_IDWSF/"},
    {"dev2", "http://signon-dev2.example.invalid:9080/tfs/IDPSSO_IDWSF10"},
    {"qa", "http://192.0.2.10:12345/"},
    {"qas", "https://192.0.2.10:5201/"},
};

inline constexpr const char* kDMDefaultSignOnURL = kDMAuthenticationEnvironments[0].url;

// The endpoint the text selects: an environment's URL (name matched after ASCII
// lower-casing), the text itself when it begins with "http://" or "https://" in any
// letter case, else "" (the endpoint stays as it was).
std::string DMAuthenticationEndpointFor(const std::string& text);
