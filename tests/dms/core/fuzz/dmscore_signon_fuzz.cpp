// libFuzzer target: untrusted sign-on and discovery answers (SASLResponse, QueryResponse)
// through their decoders, the password transforms they ask for, the failure-reason table
// and the endpoint rules. Whatever the bytes: no crash, no leak, a transformed password
// never grows, and the reason is one the provider defines.

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "dms/core/DMAuthenticationEndpoints.h"
#include "dms/core/DMAuthenticationFailureReasons.h"
#include "dms/core/DMAuthenticationTypes.h"
#include "dms/core/DMDiscoveryServiceController.h"
#include "dms/core/DMSOAPElementType.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    DMAuthenticationEndpointFor(input);

    const std::string text = std::string("<f:document_fragment xmlns:f=\"") + kDMFragmentNamespace + "\">" + input +
                             "</f:document_fragment>";
    std::unique_ptr<DMSOAPElementType> element;
    try {
        element.reset(DMSOAPElementType::CreateFromString(text, DMNamespacePrefixMap(), true));
    } catch (const std::exception&) {
        return 0;
    }
    if (!element) {
        return 0;
    }

    auto* output = new DMAuthentication_Authenticate_OutputType(element.get());
    std::string password = "Pass-word 0123456789";
    const std::size_t before = password.size();
    DMApplyPasswordTransforms(password, output->GetPasswordTransforms());
    if (password.size() > before) {
        std::abort();
    }
    delete output->ToElement("SASLResponse", kDMSASLNamespaceURI);

    for (const char* mechanism : {"PLAIN", "SECURID", "PLAIN SECURID"}) {
        DMAuthentication_Authenticate_InputType request("", "", mechanism);
        const std::int32_t reason = DMAuthenticationFailureReason(false, &request, output);
        if (reason != 1 && reason != 2 && reason != 5 && reason != 6 && reason != 7 && reason != 8) {
            std::abort();
        }
    }
    delete output;

    DMAuthentication_Authenticate_InputType asked(element.get());
    delete asked.ToElement("SASLRequest", kDMSASLNamespaceURI);
    DMDiscovery_Query_OutputType query(element.get());
    delete query.ToElement("QueryResponse", kDMDiscoveryServiceType);
    DMDiscovery_Query_InputType queryInput(element.get());
    delete queryInput.ToElement("Query", kDMDiscoveryServiceType);
    return 0;
}
