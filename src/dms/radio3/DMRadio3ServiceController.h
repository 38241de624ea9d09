#pragma once

// The SIF controller of the version-3 radio directory: writes each method's input as the
// request body and sends it; when the exchange ends, pairs every request body element
// with its response element, decodes input and output by the method name recorded in the
// call (three methods share "IMetadataDescribe", two "IProfileGet", so element names
// cannot tell them apart), judges the call by its status and fault and dispatches it as
// finished or failed. Main thread only.

#include <string>

#include "dms/core/DMSIFService.h"
#include "dms/radio3/DMRadio3Methods.h"

inline constexpr const char* kDMRadio3ServiceTypeURN = "urn:zym-com:services:radio:3.0";

class DMRadio3ServiceController : public DMSIFService {
public:
    // Keeps its own deep copies of the offering and the credentials.
    DMRadio3ServiceController(DMSOAPElementType* resourceOffering, DMSOAPElementType* credentials,
                              DMSIFServiceListener* listener);
    ~DMRadio3ServiceController() override;

    // Each returns the new call, or null when the input is not valid or the service is
    // not (then nothing is sent).
    DMSIF_MethodRef* ListCategories(DMSIFServiceListener* listener, DMRadio3_ListCategories_InputType& input);
    DMSIF_MethodRef* ListStations(DMSIFServiceListener* listener, DMRadio3_ListStations_InputType& input);
    DMSIF_MethodRef* GetStationInfo(DMSIFServiceListener* listener, DMRadio3_GetStationInfo_InputType& input);
    DMSIF_MethodRef* GetStationURL(DMSIFServiceListener* listener, DMRadio3_GetStationURL_InputType& input);
    DMSIF_MethodRef* GetStationState(DMSIFServiceListener* listener, DMRadio3_GetStationState_InputType& input);
    DMSIF_MethodRef* GetMediaFormatInfo(DMSIFServiceListener* listener, DMRadio3_GetMediaFormatInfo_InputType& input);
    DMSIF_MethodRef* GetMaxPresets(DMSIFServiceListener* listener, DMRadio3_GetMaxPresets_InputType& input);
    DMSIF_MethodRef* GetPresets(DMSIFServiceListener* listener, DMRadio3_GetPresets_InputType& input);
    DMSIF_MethodRef* SetPresets(DMSIFServiceListener* listener, DMRadio3_SetPresets_InputType& input);

    void SIFRequestDidFinish(DMSIF_MethodRef* ref, DMSOAPResultMap& map) override;
    void SIFRequestDidFail(DMSIF_MethodRef* ref, DMSOAPResultMap& map) override;

    // The name cut in front of its last "Request", else its last "Response", else whole.
    static std::string MethodNameFromElementName(const std::string& elementName);

    // (call, request body element, response element or null, fault element or null)
    void HandleListCategoriesResponse(DMSIF_MethodRef* ref, DMSOAPElementType* request, DMSOAPElementType* response,
                                      DMSOAPElementType* fault);
    void HandleListStationsResponse(DMSIF_MethodRef* ref, DMSOAPElementType* request, DMSOAPElementType* response,
                                    DMSOAPElementType* fault);
    void HandleGetStationInfoResponse(DMSIF_MethodRef* ref, DMSOAPElementType* request, DMSOAPElementType* response,
                                      DMSOAPElementType* fault);
    void HandleGetStationURLResponse(DMSIF_MethodRef* ref, DMSOAPElementType* request, DMSOAPElementType* response,
                                     DMSOAPElementType* fault);
    void HandleGetStationStateResponse(DMSIF_MethodRef* ref, DMSOAPElementType* request, DMSOAPElementType* response,
                                       DMSOAPElementType* fault);
    void HandleGetMediaFormatInfoResponse(DMSIF_MethodRef* ref, DMSOAPElementType* request, DMSOAPElementType* response,
                                          DMSOAPElementType* fault);
    void HandleGetMaxPresetsResponse(DMSIF_MethodRef* ref, DMSOAPElementType* request, DMSOAPElementType* response,
                                     DMSOAPElementType* fault);
    void HandleGetPresetsResponse(DMSIF_MethodRef* ref, DMSOAPElementType* request, DMSOAPElementType* response,
                                  DMSOAPElementType* fault);
    void HandleSetPresetsResponse(DMSIF_MethodRef* ref, DMSOAPElementType* request, DMSOAPElementType* response,
                                  DMSOAPElementType* fault);
    void HandleGetRatingsRangeResponse(DMSIF_MethodRef* ref, DMSOAPElementType* request, DMSOAPElementType* response,
                                       DMSOAPElementType* fault);
    void HandleRateTrackResponse(DMSIF_MethodRef* ref, DMSOAPElementType* request, DMSOAPElementType* response,
                                 DMSOAPElementType* fault);

private:
    DMSIF_MethodRef* Send(const char* methodName, const char* interfaceName, DMSIFServiceListener* listener,
                          DMSIF_MethodArgumentsType& input);
    // Pairs request and response elements; `finished` says which road the exchange took.
    void Route(DMSIF_MethodRef* ref, DMSOAPResultMap& map, bool finished);
    template <typename Input, typename Output>
    void Handle(DMSIF_MethodRef* ref, DMSOAPElementType* request, DMSOAPElementType* response, DMSOAPElementType* fault,
                bool acceptsNoPresets);
};
