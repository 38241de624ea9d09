#include "dms/core/DMDiscoveryServiceController.h"

#include "dms/core/DMElementCoding.h"
#include "dms/core/DMServiceFactory.h"
#include "dms/core/DMSOAPNamespaces.h"
#include "runtime/LogMessage.h"

namespace {

DMSOAPElementType* BodyChild(DMSOAPElementType* envelope, const std::string& name) {
    DMSOAPElementType* body = envelope ? envelope->FindChild("Body", 1) : nullptr;
    return body ? body->FindChild(name, 1) : nullptr;
}

}  // namespace

void DMDeclareDiscoveryNamespaces(DMSOAPElementType* element) { DMDeclareSIFNamespaces(element, kDMSASLNamespace.uri); }

// --- DMDiscovery_Query_InputType ---

DMDiscovery_Query_InputType::DMDiscovery_Query_InputType(const std::string& serviceType_) : serviceType(serviceType_) {}

DMDiscovery_Query_InputType::DMDiscovery_Query_InputType(DMSOAPElementType* element) {
    DMDiscovery_Query_InputType::FromElement(element);
}

DMSOAPElementType* DMDiscovery_Query_InputType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMDeclareDiscoveryNamespaces(element);
    if (!serviceType.empty()) {
        auto* requested = new DMSOAPElementType("RequestedServiceType", kDMDiscoveryServiceType, "");
        requested->AddChild(new DMSOAPElementType("ServiceType", kDMDiscoveryServiceType, serviceType), false);
        element->AddChild(requested, false);
    }
    return element;
}

void DMDiscovery_Query_InputType::FromElement(DMSOAPElementType* element) {
    DMSOAPElementType* requested = element ? element->FindChild("RequestedServiceType", 1) : nullptr;
    if (DMSOAPElementType* type = requested ? requested->FindChild("ServiceType", 1) : nullptr) {
        serviceType = type->text;
    }
}

// --- DMDiscovery_Query_OutputType ---

DMDiscovery_Query_OutputType::DMDiscovery_Query_OutputType(DMSOAPElementType* element) {
    DMDiscovery_Query_OutputType::FromElement(element);
}

DMDiscovery_Query_OutputType::~DMDiscovery_Query_OutputType() = default;

DMSOAPElementType* DMDiscovery_Query_OutputType::ToElement(const std::string& name, const std::string& namespaceURI) {
    if (!resourceOffering || !credentials) {
        return nullptr;
    }
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMDeclareDiscoveryNamespaces(element);
    DMAddStatus(element, status, namespaceURI);
    element->AddChild(resourceOffering.get(), true);
    element->AddChild(credentials.get(), true);
    return element;
}

void DMDiscovery_Query_OutputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadStatus(element, status);
    if (DMSOAPElementType* child = element->FindChild("ResourceOffering", 1)) {
        resourceOffering = std::make_unique<DMSOAPElementType>(child);
    }
    if (DMSOAPElementType* child = element->FindChild("Credentials", 1)) {
        credentials = std::make_unique<DMSOAPElementType>(child);
    }
}

// --- DMDiscoveryServiceController ---

DMDiscoveryServiceController::DMDiscoveryServiceController(DMSOAPElementType* resourceOffering,
                                                           DMSOAPElementType* credentials,
                                                           DMSIFServiceListener* listener)
    : DMSIFService(kDMDiscoveryServiceType, listener) {
    SetResourceOffering(resourceOffering, true);
    SetCredentials(credentials, true);
}

DMDiscoveryServiceController::~DMDiscoveryServiceController() = default;

DMSIF_MethodRef* DMDiscoveryServiceController::Query(DMSIFServiceListener* listener,
                                                     DMDiscovery_Query_InputType* input) {
    if (!input || !input->IsValid()) {
        return nullptr;
    }
    DMSOAPElementType* body = input->ToElement(RequestElementName("Query"), kDMDiscoveryServiceType);
    if (!body) {
        return nullptr;
    }
    body->AddChild(new DMSOAPElementType("ResourceID", kDMDiscoveryServiceType, GetResourceOfferingValue("ResourceID")),
                   false);
    return Invoke("Query", body, listener, "", nullptr);
}

DMSIFService* DMDiscoveryServiceController::CreateServiceController(DMSOAPElementType* resourceOffering,
                                                                    DMSOAPElementType* credentials,
                                                                    DMSIFServiceListener* listener) {
    if (!resourceOffering) {
        return nullptr;
    }
    DMSOAPElementType* instance = resourceOffering->FindChild("ServiceInstance", 1);
    DMSOAPElementType* type = instance ? instance->FindChild("ServiceType", 1) : nullptr;
    if (!type) {
        return nullptr;
    }
    return DMServiceFactory::CreateController(type->text, resourceOffering, credentials, listener);
}

void DMDiscoveryServiceController::SIFRequestDidFinish(DMSIF_MethodRef* ref, DMSOAPResultMap& map) {
    DMSOAPElementType* requestEnvelope = DMResultMapElement(map, "RequestEnvelope");
    DMSOAPElementType* responseEnvelope = DMResultMapElement(map, "ResponseEnvelope");
    if (responseEnvelope) {
        ProcessServiceInstanceUpdate(responseEnvelope);
    }
    DMSOAPElementType* query = BodyChild(requestEnvelope, RequestElementName("Query"));
    DMSOAPElementType* response = BodyChild(responseEnvelope, ResponseElementName("Query"));
    if (!query || !response) {
        // An answer without a QueryResponse still ends the call, as a failure.
        if (query)
            AttachResults(ref, std::make_unique<DMDiscovery_Query_InputType>(query), nullptr, requestEnvelope,
                          responseEnvelope);
        LogMessage(kLogError, "Discovery failed (no QueryResponse)\n");
        DispatchDidFail(ref);
        return;
    }
    auto input = std::make_unique<DMDiscovery_Query_InputType>(query);
    auto output = std::make_unique<DMDiscovery_Query_OutputType>(response);
    const std::string code = output->status.GetCode();
    const std::string comment = output->status.GetComment();
    AttachResults(ref, std::move(input), std::move(output), requestEnvelope, responseEnvelope);
    if (DMStringEqual(code, "OK", false)) {
        DispatchDidFinish(ref);
    } else {
        LogMessage(kLogError, "Discovery failed (STATUS code: %s, comment: %s)\n", code.c_str(), comment.c_str());
        DispatchDidFail(ref);
    }
}

void DMDiscoveryServiceController::SIFRequestDidFail(DMSIF_MethodRef* ref, DMSOAPResultMap& map) {
    DMSOAPElementType* requestEnvelope = DMResultMapElement(map, "RequestEnvelope");
    DMSOAPElementType* responseEnvelope = DMResultMapElement(map, "ResponseEnvelope");
    DMSOAPElementType* fault = DMResultMapElement(map, "ResponseFault");
    DMSOAPElementType* query = BodyChild(requestEnvelope, RequestElementName("Query"));
    if (query) {
        std::unique_ptr<DMDiscovery_Query_OutputType> output;
        if (DMSOAPElementType* response = BodyChild(responseEnvelope, ResponseElementName("Query"))) {
            output = std::make_unique<DMDiscovery_Query_OutputType>(response);
        } else if (fault) {
            output = std::make_unique<DMDiscovery_Query_OutputType>(nullptr);
        }
        if (output && fault) {
            output->fault = DMSIF_FaultType(fault);
        }
        AttachResults(ref, std::make_unique<DMDiscovery_Query_InputType>(query), std::move(output), requestEnvelope,
                      responseEnvelope);
    }
    DispatchDidFail(ref);
}
