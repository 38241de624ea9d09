#include "dms/radio/DMRadioService.h"

#include <memory>

#include "dms/core/DMServiceFactory.h"
#include "dms/core/DMServicesProvider.h"
#include "runtime/LogMessage.h"

namespace {

constexpr const char* kRadioServiceURN = "urn:zym-com:services:radio";

template <class T>
void MergeById(std::list<T>& held, const std::list<T>& received) {
    if (held.empty()) {
        held = received;
        return;
    }
    std::map<std::string, T> byId;
    for (const T& item : held)
        byId.insert_or_assign(item.GetId().GetValue(), item);
    for (const T& item : received)
        byId.insert_or_assign(item.GetId().GetValue(), item);
    held.clear();
    for (auto& entry : byId)
        held.push_back(std::move(entry.second));
}

}  // namespace

DMRadioService::DMRadioService(const std::string& userName, DMRadioServiceController* controller,
                               DMServicesProvider* provider)
    : DMGenericService(userName, controller ? controller->GetEndpoint() : std::string(), provider),
      mController(controller) {
    if (mController) mController->SetListener(this, nullptr);
}

DMRadioService::~DMRadioService() {
    delete mController;
    for (auto& entry : mPending)
        delete entry.second;
}

std::string DMRadioService::ServiceTypeURN() { return kRadioServiceURN; }

void DMRadioService::InvalidateService() {
    if (!mController) return;
    ServiceWillBecomeInvalid();
    mController->Invalidate();
}

void DMRadioService::ServiceWillBecomeInvalid() {
    if (mListener) mListener->ServiceWillBecomeInvalid();
}

void DMRadioService::DidBecomeValid(DMSIFService*) {
    if (mListener) mListener->ServiceDidBecomeValid();
}

void DMRadioService::DidBecomeInvalid(DMSIFService*) {
    if (mListener) mListener->ServiceDidBecomeInvalid();
}

// ---- requests ------------------------------------------------------------------------------

DMServiceRequestToken* DMRadioService::Request(const std::string& methodName, DMSIF_MethodArgumentsType& input) {
    if (!mController || !input.IsValid()) return nullptr;
    DMSOAPElementType* body = input.ToElement(mController->RequestElementName(methodName), kDMRadioSchemaURI);
    DMSIF_MethodRef* ref = mController->Invoke(methodName, body, nullptr, "", nullptr);
    if (!ref) return nullptr;
    auto* token = new DMServiceRequestToken(kServiceTypeRadio, mUserName, false, nullptr);
    token->methodRef = ref;
    mPending[ref->GetMessageID()] = token;
    return token;
}

DMServiceRequestToken* DMRadioService::RequestListGenres(DMRadio_ListGenres_InputType& input) {
    return Request("ListGenres", input);
}
DMServiceRequestToken* DMRadioService::RequestListStations(DMRadio_ListStations_InputType& input) {
    return Request("ListStations", input);
}
DMServiceRequestToken* DMRadioService::RequestGetStationInfo(DMRadio_GetStationInfo_InputType& input) {
    return Request("GetStationInfo", input);
}
DMServiceRequestToken* DMRadioService::RequestGetStationURL(DMRadio_GetStationUrl_InputType& input) {
    return Request("GetStationURL", input);
}
DMServiceRequestToken* DMRadioService::RequestGetStationState(DMRadio_GetStationState_InputType& input) {
    return Request("GetStationState", input);
}
DMServiceRequestToken* DMRadioService::RequestGetMaxPresets(DMRadio_GetMaxPresets_InputType& input) {
    return Request("GetMaxPresets", input);
}
DMServiceRequestToken* DMRadioService::RequestGetPresets(DMRadio_GetPresets_InputType& input) {
    return Request("GetPresets", input);
}
DMServiceRequestToken* DMRadioService::RequestSetPresets(DMRadio_SetPresets_InputType& input) {
    return Request("SetPresets", input);
}
DMServiceRequestToken* DMRadioService::RequestGetRatingsRange(DMRadio_GetRatingsRange_InputType& input) {
    return Request("GetRatingsRange", input);
}
DMServiceRequestToken* DMRadioService::RequestRateTrack(DMRadio_RateTrack_InputType& input) {
    return Request("RateTrack", input);
}

// ---- outcomes ------------------------------------------------------------------------------

void DMRadioService::DidFinish(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input, DMSIF_MethodOutputType* output) {
    Ended(ref, input, output, true);
}

void DMRadioService::DidFail(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input, DMSIF_MethodOutputType* output) {
    Ended(ref, input, output, false);
}

void DMRadioService::DidCancel(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType*) {
    // Not reported, but over: its token would otherwise live as long as the facade.
    if (!ref) return;
    const auto found = mPending.find(ref->GetMessageID());
    if (found == mPending.end()) return;
    delete found->second;
    mPending.erase(found);
}

void DMRadioService::Ended(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input, DMSIF_MethodOutputType* output,
                           bool success) {
    if (!ref) return;
    // Out of the pending map before anything else runs: invalidation cancels calls, and
    // this token must live until its own callback has returned.
    std::unique_ptr<DMServiceRequestToken> token;
    if (const auto found = mPending.find(ref->GetMessageID()); found != mPending.end()) {
        token.reset(found->second);
        mPending.erase(found);
    }
    const std::string methodName = ref->GetMethodName();
    // Reached from the run loop: nothing may escape.
    try {
        if (output) {
            if (token) {
                token->status = output->status;
                if (!success) token->fault = output->fault;
            }
            if (!output->fault.GetFaultCode().empty()) {
                InvalidateService();
                if (mProvider) mProvider->ResetUsername(mUserName);
            }
        }
        HandleResponse(methodName, token.get(), input, output, success);
    } catch (const std::exception& e) {
        LogMessage(kLogError, "DMRadioService: %s ended with an exception: %s\n", methodName.c_str(), e.what());
    }
}

void DMRadioService::HandleResponse(const std::string& methodName, DMServiceRequestToken* token,
                                    DMSIF_MethodArgumentsType*, DMSIF_MethodArgumentsType* output, bool success) {
    using HandlerFn = void (DMRadioService::*)(DMServiceRequestToken*, DMSIF_MethodArgumentsType*, bool);
    static const std::map<std::string, HandlerFn> kHandlers = {
        {"ListGenres", &DMRadioService::HandleListGenres},
        {"ListStations", &DMRadioService::HandleListStations},
        {"GetStationInfo", &DMRadioService::HandleGetStationInfo},
        {"GetStationState", &DMRadioService::HandleGetStationState},
        {"GetStationURL", &DMRadioService::HandleGetStationURL},
        {"GetPresets", &DMRadioService::HandleGetPresets},
        {"SetPresets", &DMRadioService::HandleSetPresets},
        {"GetMaxPresets", &DMRadioService::HandleGetMaxPresets},
    };
    const auto found = kHandlers.find(methodName);
    if (found != kHandlers.end()) (this->*found->second)(token, output, success);
}

void DMRadioService::MergeGenres(const std::list<DMRadio_GenreType>& received) { MergeById(mGenres, received); }

void DMRadioService::MergeStations(const std::list<DMRadio_StationType>& received) { MergeById(mStations, received); }

// A failed answer never changes what is kept: only a success is merged and cached.
void DMRadioService::HandleListGenres(DMServiceRequestToken* token, DMSIF_MethodArgumentsType* output, bool success) {
    auto* out = dynamic_cast<DMRadio_ListGenres_OutputType*>(output);
    if (success && out) {
        mGenresTimeStamp = out->GetTimeStamp();
        if (!out->GetGenres().empty()) {
            MergeGenres(out->GetGenres());
            DMRadio_ListGenres_OutputType cached(out->status, out->GetTimeStamp(), out->GetRemaining(), mGenres);
            std::unique_ptr<DMSOAPElementType> element(cached.ToElement("ListGenres", kDMRadioSchemaURI));
            SetCachedElement("Genres", element.get());
            FlushCache();
        }
    }
    if (mListener) mListener->GenresUpdated(true, token, success);
}

void DMRadioService::HandleListStations(DMServiceRequestToken* token, DMSIF_MethodArgumentsType* output, bool success) {
    auto* out = dynamic_cast<DMRadio_ListStations_OutputType*>(output);
    if (success && out) {
        mStationsTimeStamp = out->GetTimeStamp();
        if (!out->GetStations().empty()) {
            MergeStations(out->GetStations());
            DMRadio_ListStations_OutputType cached(out->status, out->GetTimeStamp(), out->GetRemaining(), mStations);
            std::unique_ptr<DMSOAPElementType> element(cached.ToElement("ListStations", kDMRadioSchemaURI));
            SetCachedElement("Stations", element.get());
            FlushCache();
        }
    }
    if (mListener) mListener->StationsUpdated(true, token, success);
}

void DMRadioService::HandleGetStationInfo(DMServiceRequestToken* token, DMSIF_MethodArgumentsType* output,
                                          bool success) {
    auto* out = dynamic_cast<DMRadio_GetStationInfo_OutputType*>(output);
    if (!success || !out) {
        const std::list<DMRadio_StationInfoType> none;
        if (mListener) mListener->RequestForStationsInfoCompleted(&none, token, false);
        return;
    }
    for (const DMRadio_StationInfoType& info : out->GetStationInfo()) {
        const std::string& id = info.GetId().GetValue();
        DMRadio_StationInfoType& kept = mStationInfos.insert_or_assign(id, info).first->second;
        std::unique_ptr<DMSOAPElementType> element(kept.ToElement("StationInfo", kDMRadioSchemaURI));
        SetCachedElement("Stations_" + id, element.get());
    }
    FlushCache();
    if (mListener) mListener->RequestForStationsInfoCompleted(&out->GetStationInfo(), token, true);
}

void DMRadioService::HandleGetStationState(DMServiceRequestToken* token, DMSIF_MethodArgumentsType* output,
                                           bool success) {
    auto* out = dynamic_cast<DMRadio_GetStationState_OutputType*>(output);
    const std::list<DMRadio_StationStateType> none;
    if (mListener)
        mListener->RequestForStationsStateCompleted(success && out ? &out->GetStationState() : &none, token,
                                                    success && out);
}

void DMRadioService::HandleGetStationURL(DMServiceRequestToken* token, DMSIF_MethodArgumentsType* output,
                                         bool success) {
    auto* out = dynamic_cast<DMRadio_GetStationUrl_OutputType*>(output);
    const DMRadio_StationUrlType none;
    if (mListener) mListener->RequestForURLsCompleted(success && out ? &out->GetUrl() : &none, token, success && out);
}

void DMRadioService::HandleGetMaxPresets(DMServiceRequestToken* token, DMSIF_MethodArgumentsType* output,
                                         bool success) {
    auto* out = dynamic_cast<DMRadio_GetMaxPresets_OutputType*>(output);
    if (mListener)
        mListener->RequestForMaxPresetsCompleted(success && out ? out->GetMaxPresets() : 0, token, success && out);
}

void DMRadioService::HandleGetPresets(DMServiceRequestToken* token, DMSIF_MethodArgumentsType* output, bool success) {
    auto* out = dynamic_cast<DMRadio_GetPresets_OutputType*>(output);
    const std::list<DMRadio_PresetType> none;
    if (success && out) mPresetsTimeStamp = out->GetTimeStamp();
    if (mListener)
        mListener->RequestForPresetsCompleted(success && out ? &out->GetPresets() : &none, token, success && out);
}

void DMRadioService::HandleSetPresets(DMServiceRequestToken* token, DMSIF_MethodArgumentsType* output, bool success) {
    auto* out = dynamic_cast<DMRadio_SetPresets_OutputType*>(output);
    if (success && out) mPresetsTimeStamp = out->GetTimeStamp();
    if (mListener) mListener->StorePresetsCompleted(token, success);
}

// ---- registration --------------------------------------------------------------------------

void DMRadioServiceRegister() {
    DMServiceFactory::Register(
        kServiceTypeRadio,
        [](DMSOAPElementType* offering, DMSOAPElementType* credentials, DMSIFServiceListener* listener)
            -> DMSIFService* { return new DMRadioServiceController(offering, credentials, listener); },
        [](const std::string& userName, DMSIFService* controller, DMServicesProvider* provider) -> DMGenericService* {
            auto* own = dynamic_cast<DMRadioServiceController*>(controller);
            return own ? new DMRadioService(userName, own, provider) : nullptr;
        });
}
