#pragma once

// The Liberty ID-WSF discovery service: one "Query" per wanted service type returns the
// service's ResourceOffering and the Credentials to present to it, from which
// CreateServiceController builds that service's controller. Main thread only.

#include <memory>
#include <string>

#include "dms/core/DMSIFService.h"
#include "dms/core/DMSOAPNamespaces.h"

inline constexpr const char* kDMDiscoveryServiceType = kDMDiscoveryNamespace.uri;

// Declares the discovery messages' prefixes on element: the table but for sa.
void DMDeclareDiscoveryNamespaces(DMSOAPElementType* element);

class DMDiscovery_Query_InputType : public DMSIF_MethodArgumentsType {
public:
    explicit DMDiscovery_Query_InputType(const std::string& serviceType);
    explicit DMDiscovery_Query_InputType(DMSOAPElementType* element);
    ~DMDiscovery_Query_InputType() override = default;

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;
    bool IsValid() override { return !serviceType.empty(); }

    const std::string& GetServiceType() const { return serviceType; }

    std::string serviceType;
};

class DMDiscovery_Query_OutputType : public DMSIF_MethodOutputType {
public:
    // Null gives an empty output.
    explicit DMDiscovery_Query_OutputType(DMSOAPElementType* element);
    ~DMDiscovery_Query_OutputType() override;
    DMDiscovery_Query_OutputType(const DMDiscovery_Query_OutputType&) = delete;
    DMDiscovery_Query_OutputType& operator=(const DMDiscovery_Query_OutputType&) = delete;

    // Needs both elements; the program never encodes a QueryResponse.
    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    // The first ResourceOffering is kept; further ones are ignored.
    void FromElement(DMSOAPElementType* element) override;

    // Still owned by the output; null when absent.
    DMSOAPElementType* GetResourceOffering() const { return resourceOffering.get(); }
    DMSOAPElementType* GetCredentials() const { return credentials.get(); }

    std::unique_ptr<DMSOAPElementType> resourceOffering;  // deep copy
    std::unique_ptr<DMSOAPElementType> credentials;       // deep copy
};

class DMDiscoveryServiceController : public DMSIFService {
public:
    // Keeps copies of both elements; the caller keeps its own.
    DMDiscoveryServiceController(DMSOAPElementType* resourceOffering, DMSOAPElementType* credentials,
                                 DMSIFServiceListener* listener);
    ~DMDiscoveryServiceController() override;

    std::string RequestElementName(const std::string& name) override { return name; }
    std::string ResponseElementName(const std::string& name) override { return name + "Response"; }
    void SIFRequestDidFinish(DMSIF_MethodRef* ref, DMSOAPResultMap& map) override;
    void SIFRequestDidFail(DMSIF_MethodRef* ref, DMSOAPResultMap& map) override;

    // Null when the input has no service type or the call is refused. The input stays
    // the caller's.
    [[nodiscard]] DMSIF_MethodRef* Query(DMSIFServiceListener* listener, DMDiscovery_Query_InputType* input);
    // A new controller (owned by the caller) for the offering's ServiceInstance/
    // ServiceType, compared exactly with the registered service URNs; null when the
    // offering lacks them or no service is registered for the text.
    DMSIFService* CreateServiceController(DMSOAPElementType* resourceOffering, DMSOAPElementType* credentials,
                                          DMSIFServiceListener* listener);
};
