#include "dms/radio/DMRadioServiceController.h"

#include <memory>

#include "dms/radio/DMRadioMethods.h"
#include "runtime/LogMessage.h"

namespace {

constexpr const char* kRadioServiceURN = "urn:zym-com:services:radio";

bool IsSuccessCode(const std::string& code) {
    return DMStringEqual(code, "OK", false) || DMStringEqual(code, "Partial", false);
}

}  // namespace

DMRadioServiceController::DMRadioServiceController(DMSOAPElementType* resourceOffering, DMSOAPElementType* credentials,
                                                   DMSIFServiceListener* listener)
    : DMSIFService(kRadioServiceURN, listener) {
    SetResourceOffering(resourceOffering, true);
    SetCredentials(credentials, true);
}

DMRadioServiceController::~DMRadioServiceController() = default;

std::string DMRadioServiceController::MethodNameFromElementName(const std::string& elementName) {
    std::size_t at = elementName.rfind("Request");
    if (at == std::string::npos) at = elementName.rfind("Response");
    return at == std::string::npos ? elementName : elementName.substr(0, at);
}

DMRadioServiceController::Handler DMRadioServiceController::HandlerFor(const std::string& methodName) {
    static const struct {
        const char* method;
        Handler handler;
    } kTable[] = {
        {"ListGenres", &DMRadioServiceController::HandleListGenresResponse},
        {"ListStations", &DMRadioServiceController::HandleListStationsResponse},
        {"GetStationInfo", &DMRadioServiceController::HandleGetStationInfoResponse},
        {"GetStationURL", &DMRadioServiceController::HandleGetStationURLResponse},
        {"GetStationState", &DMRadioServiceController::HandleGetStationStateResponse},
        {"GetMaxPresets", &DMRadioServiceController::HandleGetMaxPresetsResponse},
        {"GetPresets", &DMRadioServiceController::HandleGetPresetsResponse},
        {"SetPresets", &DMRadioServiceController::HandleSetPresetsResponse},
        {"GetRatingsRange", &DMRadioServiceController::HandleGetRatingsRangeResponse},
        {"RateTrack", &DMRadioServiceController::HandleRateTrackResponse},
    };
    for (const auto& row : kTable)
        if (methodName == row.method) return row.handler;
    return nullptr;
}

void DMRadioServiceController::SIFRequestDidFinish(DMSIF_MethodRef* ref, DMSOAPResultMap& result) {
    Dispatch(ref, result, true);
}

void DMRadioServiceController::SIFRequestDidFail(DMSIF_MethodRef* ref, DMSOAPResultMap& result) {
    Dispatch(ref, result, false);
}

// Both outcomes of an exchange: the answer alone decides how the call ends.
void DMRadioServiceController::Dispatch(DMSIF_MethodRef* ref, DMSOAPResultMap& result, bool answered) {
    // A ref this service no longer holds may be freed: it must not be read, nor dispatched.
    if (!OwnsMethodRef(ref)) return;
    DMSOAPElementType* requestEnvelope = DMResultMapElement(result, "RequestEnvelope");
    DMSOAPElementType* responseEnvelope = DMResultMapElement(result, "ResponseEnvelope");
    DMSOAPElementType* fault = DMResultMapElement(result, "ResponseFault");
    if (answered && requestEnvelope && responseEnvelope) ProcessServiceInstanceUpdate(responseEnvelope);
    DMSOAPElementType* requestBody = requestEnvelope ? requestEnvelope->FindChild("Body", 1) : nullptr;
    DMSOAPElementType* responseBody = responseEnvelope ? responseEnvelope->FindChild("Body", 1) : nullptr;
    const bool usable = answered ? requestBody && responseBody : requestBody != nullptr;
    if (usable) {
        for (DMSOAPElementType* request : requestBody->children) {
            const std::string answerName = MethodNameFromElementName(request->name) + "Response";
            DMSOAPElementType* answer = responseBody ? responseBody->FindChild(answerName, 1) : nullptr;
            if (answered && !answer) {
                LogMessage(kLogError,
                           "DMRadioServiceController - Response element from request (%s) not found in message "
                           "response\n",
                           ref->GetMethodName().c_str());
                continue;
            }
            if (!GetListener(ref)) continue;
            const Handler handler = HandlerFor(ref->GetMethodName());
            // One call ends once: the first request element that is handled decides it.
            if (handler && (this->*handler)(ref, request, answer, fault)) return;
        }
    }
    DispatchDidFail(ref);
}

template <class Input, class Output>
bool DMRadioServiceController::Handle(DMSIF_MethodRef* ref, DMSOAPElementType* requestElement,
                                      DMSOAPElementType* answerElement, DMSOAPElementType* faultElement) {
    if (!requestElement || !GetListener(ref)) return false;
    auto input = std::make_unique<Input>(requestElement);
    std::unique_ptr<Output> output;
    if (answerElement || faultElement) {
        output = std::make_unique<Output>(answerElement);
        if (faultElement) output->fault = DMSIF_FaultType(faultElement);
    }
    const bool success = output && output->fault.GetFaultCode().empty() && IsSuccessCode(output->status.GetCode());
    // A ref no longer known gets neither the messages nor a dispatch.
    if (!AttachResults(ref, std::move(input), std::move(output), requestElement->GetRoot(),
                       answerElement ? answerElement->GetRoot() : nullptr))
        return true;
    if (success)
        DispatchDidFinish(ref);
    else
        DispatchDidFail(ref);
    return true;
}

#define DMRADIO_HANDLER(Name, Method)                                                                                  \
    bool DMRadioServiceController::Name(DMSIF_MethodRef* ref, DMSOAPElementType* requestElement,                       \
                                        DMSOAPElementType* answerElement, DMSOAPElementType* faultElement) {           \
        return Handle<DMRadio_##Method##_InputType, DMRadio_##Method##_OutputType>(ref, requestElement, answerElement, \
                                                                                   faultElement);                      \
    }

DMRADIO_HANDLER(HandleListGenresResponse, ListGenres)
DMRADIO_HANDLER(HandleListStationsResponse, ListStations)
DMRADIO_HANDLER(HandleGetStationInfoResponse, GetStationInfo)
DMRADIO_HANDLER(HandleGetStationURLResponse, GetStationUrl)
DMRADIO_HANDLER(HandleGetStationStateResponse, GetStationState)
DMRADIO_HANDLER(HandleGetMaxPresetsResponse, GetMaxPresets)
DMRADIO_HANDLER(HandleGetPresetsResponse, GetPresets)
DMRADIO_HANDLER(HandleSetPresetsResponse, SetPresets)
DMRADIO_HANDLER(HandleGetRatingsRangeResponse, GetRatingsRange)
DMRADIO_HANDLER(HandleRateTrackResponse, RateTrack)
