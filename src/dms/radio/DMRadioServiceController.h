#pragma once

// The SIF controller of the version-2 radio directory service. It sends nothing of its
// own (callers use Invoke with an input's element named after the method + "Request");
// it decodes each call's request and answer into the method's input and output, stores
// them on the call's ref and judges the call: it finishes when the answer's status code
// is "OK" or "Partial" (any letter case) and no SOAP fault came, and fails otherwise,
// whichever way the HTTP exchange ended. Main thread only.

#include <string>

#include "dms/core/DMSIFService.h"

class DMRadioServiceController : public DMSIFService {
public:
    // Keeps copies of both elements; the caller keeps its own.
    DMRadioServiceController(DMSOAPElementType* resourceOffering, DMSOAPElementType* credentials,
                             DMSIFServiceListener* listener);
    ~DMRadioServiceController() override;

    void SIFRequestDidFinish(DMSIF_MethodRef* ref, DMSOAPResultMap& result) override;
    void SIFRequestDidFail(DMSIF_MethodRef* ref, DMSOAPResultMap& result) override;

    // The name cut before the last "Request", else before the last "Response", else whole.
    static std::string MethodNameFromElementName(const std::string& elementName);

    // One per method; answerElement and faultElement may be null. True when the call was
    // decoded and judged (it then has had its one dispatch, unless the ref was unknown).
    bool HandleListGenresResponse(DMSIF_MethodRef* ref, DMSOAPElementType* requestElement,
                                  DMSOAPElementType* answerElement, DMSOAPElementType* faultElement);
    bool HandleListStationsResponse(DMSIF_MethodRef* ref, DMSOAPElementType* requestElement,
                                    DMSOAPElementType* answerElement, DMSOAPElementType* faultElement);
    bool HandleGetStationInfoResponse(DMSIF_MethodRef* ref, DMSOAPElementType* requestElement,
                                      DMSOAPElementType* answerElement, DMSOAPElementType* faultElement);
    bool HandleGetStationURLResponse(DMSIF_MethodRef* ref, DMSOAPElementType* requestElement,
                                     DMSOAPElementType* answerElement, DMSOAPElementType* faultElement);
    bool HandleGetStationStateResponse(DMSIF_MethodRef* ref, DMSOAPElementType* requestElement,
                                       DMSOAPElementType* answerElement, DMSOAPElementType* faultElement);
    bool HandleGetMaxPresetsResponse(DMSIF_MethodRef* ref, DMSOAPElementType* requestElement,
                                     DMSOAPElementType* answerElement, DMSOAPElementType* faultElement);
    bool HandleGetPresetsResponse(DMSIF_MethodRef* ref, DMSOAPElementType* requestElement,
                                  DMSOAPElementType* answerElement, DMSOAPElementType* faultElement);
    bool HandleSetPresetsResponse(DMSIF_MethodRef* ref, DMSOAPElementType* requestElement,
                                  DMSOAPElementType* answerElement, DMSOAPElementType* faultElement);
    bool HandleGetRatingsRangeResponse(DMSIF_MethodRef* ref, DMSOAPElementType* requestElement,
                                       DMSOAPElementType* answerElement, DMSOAPElementType* faultElement);
    bool HandleRateTrackResponse(DMSIF_MethodRef* ref, DMSOAPElementType* requestElement,
                                 DMSOAPElementType* answerElement, DMSOAPElementType* faultElement);

private:
    using Handler = bool (DMRadioServiceController::*)(DMSIF_MethodRef*, DMSOAPElementType*, DMSOAPElementType*,
                                                       DMSOAPElementType*);
    // The handler of the method name (exact comparison), null outside the ten methods.
    static Handler HandlerFor(const std::string& methodName);
    void Dispatch(DMSIF_MethodRef* ref, DMSOAPResultMap& result, bool answered);
    template <class Input, class Output>
    bool Handle(DMSIF_MethodRef* ref, DMSOAPElementType* requestElement, DMSOAPElementType* answerElement,
                DMSOAPElementType* faultElement);
};
