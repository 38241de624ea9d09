#include "dms/radio3/DMRadio3ServiceController.h"

#include <memory>

#include "dms/core/DMSOAPNamespaces.h"
#include "runtime/LogMessage.h"

namespace {

using Handler = void (DMRadio3ServiceController::*)(DMSIF_MethodRef*, DMSOAPElementType*, DMSOAPElementType*,
                                                    DMSOAPElementType*);

struct Method {
    const char* name;
    Handler handler;
};

// Routing is by the method name the call recorded, exactly.
const Method kMethods[] = {
    {"ListCategories", &DMRadio3ServiceController::HandleListCategoriesResponse},
    {"ListStations", &DMRadio3ServiceController::HandleListStationsResponse},
    {"GetStationInfo", &DMRadio3ServiceController::HandleGetStationInfoResponse},
    {"GetStationURL", &DMRadio3ServiceController::HandleGetStationURLResponse},
    {"GetStationState", &DMRadio3ServiceController::HandleGetStationStateResponse},
    {"GetMediaFormatInfo", &DMRadio3ServiceController::HandleGetMediaFormatInfoResponse},
    {"GetMaxPresets", &DMRadio3ServiceController::HandleGetMaxPresetsResponse},
    {"GetPresets", &DMRadio3ServiceController::HandleGetPresetsResponse},
    {"SetPresets", &DMRadio3ServiceController::HandleSetPresetsResponse},
    {"GetRatingsRange", &DMRadio3ServiceController::HandleGetRatingsRangeResponse},
    {"RateTrack", &DMRadio3ServiceController::HandleRateTrackResponse},
};

Handler FindHandler(const std::string& methodName) {
    for (const Method& m : kMethods) {
        if (methodName == m.name) return m.handler;
    }
    return nullptr;
}

}  // namespace

DMRadio3ServiceController::DMRadio3ServiceController(DMSOAPElementType* resourceOffering,
                                                     DMSOAPElementType* credentials, DMSIFServiceListener* listener)
    : DMSIFService(kDMRadio3ServiceTypeURN, listener) {
    // Without a bound prefix the search term's and directive's qualified attributes
    // would be written unqualified.
    RegisterSIFNamespace(kDMRadio3NamespaceURI, kDMRadio3NamespacePrefix);
    SetResourceOffering(resourceOffering, true);
    SetCredentials(credentials, true);
}

DMRadio3ServiceController::~DMRadio3ServiceController() = default;

DMSIF_MethodRef* DMRadio3ServiceController::Send(const char* methodName, const char* interfaceName,
                                                 DMSIFServiceListener* listener, DMSIF_MethodArgumentsType& input) {
    if (!input.IsValid()) return nullptr;
    DMSOAPElementType* body = input.ToElement(RequestElementName(interfaceName), kDMRadio3NamespaceURI);
    return Invoke(methodName, body, listener, "", nullptr);
}

DMSIF_MethodRef* DMRadio3ServiceController::ListCategories(DMSIFServiceListener* listener,
                                                           DMRadio3_ListCategories_InputType& input) {
    return Send("ListCategories", "IMetadataListEnum", listener, input);
}

DMSIF_MethodRef* DMRadio3ServiceController::ListStations(DMSIFServiceListener* listener,
                                                         DMRadio3_ListStations_InputType& input) {
    return Send("ListStations", "IMetadataBrowse", listener, input);
}

DMSIF_MethodRef* DMRadio3ServiceController::GetStationInfo(DMSIFServiceListener* listener,
                                                           DMRadio3_GetStationInfo_InputType& input) {
    return Send("GetStationInfo", "IMetadataDescribe", listener, input);
}

DMSIF_MethodRef* DMRadio3ServiceController::GetStationURL(DMSIFServiceListener* listener,
                                                          DMRadio3_GetStationURL_InputType& input) {
    return Send("GetStationURL", "IFulfillmentGetAsset", listener, input);
}

DMSIF_MethodRef* DMRadio3ServiceController::GetStationState(DMSIFServiceListener* listener,
                                                            DMRadio3_GetStationState_InputType& input) {
    return Send("GetStationState", "IMetadataDescribe", listener, input);
}

DMSIF_MethodRef* DMRadio3ServiceController::GetMediaFormatInfo(DMSIFServiceListener* listener,
                                                               DMRadio3_GetMediaFormatInfo_InputType& input) {
    return Send("GetMediaFormatInfo", "IMetadataDescribe", listener, input);
}

DMSIF_MethodRef* DMRadio3ServiceController::GetMaxPresets(DMSIFServiceListener* listener,
                                                          DMRadio3_GetMaxPresets_InputType& input) {
    return Send("GetMaxPresets", "IProfileGet", listener, input);
}

DMSIF_MethodRef* DMRadio3ServiceController::GetPresets(DMSIFServiceListener* listener,
                                                       DMRadio3_GetPresets_InputType& input) {
    return Send("GetPresets", "IProfileGet", listener, input);
}

DMSIF_MethodRef* DMRadio3ServiceController::SetPresets(DMSIFServiceListener* listener,
                                                       DMRadio3_SetPresets_InputType& input) {
    return Send("SetPresets", "IProfileSet", listener, input);
}

std::string DMRadio3ServiceController::MethodNameFromElementName(const std::string& elementName) {
    for (const char* suffix : {"Request", "Response"}) {
        const std::size_t at = elementName.rfind(suffix);
        if (at != std::string::npos) return elementName.substr(0, at);
    }
    return elementName;
}

void DMRadio3ServiceController::SIFRequestDidFinish(DMSIF_MethodRef* ref, DMSOAPResultMap& map) {
    Route(ref, map, true);
}

void DMRadio3ServiceController::SIFRequestDidFail(DMSIF_MethodRef* ref, DMSOAPResultMap& map) {
    Route(ref, map, false);
}

void DMRadio3ServiceController::Route(DMSIF_MethodRef* ref, DMSOAPResultMap& map, bool finished) {
    DMSOAPElementType* requestEnvelope = DMResultMapElement(map, "RequestEnvelope");
    DMSOAPElementType* responseEnvelope = DMResultMapElement(map, "ResponseEnvelope");
    DMSOAPElementType* fault = DMResultMapElement(map, "ResponseFault");
    bool handled = false;
    DMSOAPElementType* requestBody = requestEnvelope ? requestEnvelope->FindChild("Body", 1) : nullptr;
    DMSOAPElementType* responseBody = responseEnvelope ? responseEnvelope->FindChild("Body", 1) : nullptr;
    if (finished) {
        if (!requestEnvelope || !responseEnvelope) requestBody = nullptr;
        if (requestBody) ProcessServiceInstanceUpdate(responseEnvelope);
        if (!responseBody) requestBody = nullptr;
    }
    if (ref && requestBody) {
        // Copied: a handler may replace what the envelopes hold.
        const std::list<DMSOAPElementType*> children = requestBody->children;
        for (DMSOAPElementType* child : children) {
            const std::string expected = ResponseElementName(MethodNameFromElementName(child->name));
            DMSOAPElementType* response = responseBody ? responseBody->FindChild(expected, 1) : nullptr;
            if (!response && finished) {
                LogMessage(kLogError,
                           "DMRadio3ServiceController - Response element from request (%s) not found in message "
                           "response\n",
                           ref->GetMethodName().c_str());
                continue;
            }
            if (!GetListener(ref)) continue;
            Handler handler = FindHandler(ref->GetMethodName());
            if (handler) {
                (this->*handler)(ref, child, response, fault);
                handled = true;
            } else {
                handled = false;
            }
        }
    }
    if (!handled) DispatchDidFail(ref);
}

template <typename Input, typename Output>
void DMRadio3ServiceController::Handle(DMSIF_MethodRef* ref, DMSOAPElementType* request, DMSOAPElementType* response,
                                       DMSOAPElementType* fault, bool acceptsNoPresets) {
    auto input = std::make_unique<Input>(request);
    std::unique_ptr<Output> output;
    if (response || fault) {
        output = std::make_unique<Output>(response);
        if (fault) output->fault = DMSIF_FaultType(fault);
    }
    bool success = false;
    if (output && output->fault.GetFaultCode().empty()) {
        const std::string& code = output->status.GetCode();
        success = DMStringEqual(code, "OK", false) || DMStringEqual(code, "Partial", false) ||
                  (acceptsNoPresets && DMStringEqual(code, "NO_PRESETS_STORED", false));
    }
    AttachResults(ref, std::move(input), std::move(output), request->GetRoot(),
                  response ? response->GetRoot() : nullptr);
    if (success)
        DispatchDidFinish(ref);
    else
        DispatchDidFail(ref);
}

void DMRadio3ServiceController::HandleListCategoriesResponse(DMSIF_MethodRef* ref, DMSOAPElementType* request,
                                                             DMSOAPElementType* response, DMSOAPElementType* fault) {
    Handle<DMRadio3_ListCategories_InputType, DMRadio3_ListCategories_OutputType>(ref, request, response, fault, false);
}

void DMRadio3ServiceController::HandleListStationsResponse(DMSIF_MethodRef* ref, DMSOAPElementType* request,
                                                           DMSOAPElementType* response, DMSOAPElementType* fault) {
    Handle<DMRadio3_ListStations_InputType, DMRadio3_ListStations_OutputType>(ref, request, response, fault, false);
}

void DMRadio3ServiceController::HandleGetStationInfoResponse(DMSIF_MethodRef* ref, DMSOAPElementType* request,
                                                             DMSOAPElementType* response, DMSOAPElementType* fault) {
    Handle<DMRadio3_GetStationInfo_InputType, DMRadio3_GetStationInfo_OutputType>(ref, request, response, fault, false);
}

void DMRadio3ServiceController::HandleGetStationURLResponse(DMSIF_MethodRef* ref, DMSOAPElementType* request,
                                                            DMSOAPElementType* response, DMSOAPElementType* fault) {
    Handle<DMRadio3_GetStationURL_InputType, DMRadio3_GetStationURL_OutputType>(ref, request, response, fault, false);
}

void DMRadio3ServiceController::HandleGetStationStateResponse(DMSIF_MethodRef* ref, DMSOAPElementType* request,
                                                              DMSOAPElementType* response, DMSOAPElementType* fault) {
    Handle<DMRadio3_GetStationState_InputType, DMRadio3_GetStationState_OutputType>(ref, request, response, fault,
                                                                                    false);
}

void DMRadio3ServiceController::HandleGetMediaFormatInfoResponse(DMSIF_MethodRef* ref, DMSOAPElementType* request,
                                                                 DMSOAPElementType* response,
                                                                 DMSOAPElementType* fault) {
    Handle<DMRadio3_GetMediaFormatInfo_InputType, DMRadio3_GetMediaFormatInfo_OutputType>(ref, request, response, fault,
                                                                                          false);
}

void DMRadio3ServiceController::HandleGetMaxPresetsResponse(DMSIF_MethodRef* ref, DMSOAPElementType* request,
                                                            DMSOAPElementType* response, DMSOAPElementType* fault) {
    Handle<DMRadio3_GetMaxPresets_InputType, DMRadio3_GetMaxPresets_OutputType>(ref, request, response, fault, false);
}

void DMRadio3ServiceController::HandleGetPresetsResponse(DMSIF_MethodRef* ref, DMSOAPElementType* request,
                                                         DMSOAPElementType* response, DMSOAPElementType* fault) {
    Handle<DMRadio3_GetPresets_InputType, DMRadio3_GetPresets_OutputType>(ref, request, response, fault, true);
}

void DMRadio3ServiceController::HandleSetPresetsResponse(DMSIF_MethodRef* ref, DMSOAPElementType* request,
                                                         DMSOAPElementType* response, DMSOAPElementType* fault) {
    Handle<DMRadio3_SetPresets_InputType, DMRadio3_SetPresets_OutputType>(ref, request, response, fault, false);
}

void DMRadio3ServiceController::HandleGetRatingsRangeResponse(DMSIF_MethodRef* ref, DMSOAPElementType* request,
                                                              DMSOAPElementType* response, DMSOAPElementType* fault) {
    Handle<DMRadio3_GetRatingsRange_InputType, DMRadio3_GetRatingsRange_OutputType>(ref, request, response, fault,
                                                                                    false);
}

void DMRadio3ServiceController::HandleRateTrackResponse(DMSIF_MethodRef* ref, DMSOAPElementType* request,
                                                        DMSOAPElementType* response, DMSOAPElementType* fault) {
    Handle<DMRadio3_RateTrack_InputType, DMRadio3_RateTrack_OutputType>(ref, request, response, fault, false);
}
