#include "dms/radio3/DMRadio3Service.h"

#include "dms/core/DMPlatformUtils.h"
#include "dms/core/DMServiceFactory.h"
#include "dms/core/DMServicesProvider.h"
#include "dms/core/DMSOAPElementType.h"
#include "runtime/LogMessage.h"

namespace {

constexpr const char* kLoadDateFormat = "%Y-%m-%dT%H:%M:%SZ";

const std::vector<DMRadio3_StationInfoType> kNoStationInfos;
const std::vector<DMRadio3_StationStateType> kNoStationStates;
const std::vector<DMRadio3_MediaFormatType> kNoMediaFormats;
const std::vector<std::string> kNoURLs;
const std::vector<DMSIF_IDType> kNoPresets;

// The held list becomes the received one on first sight, in the server's order; later
// lists are merged by id (the received item wins) and kept in byte-wise id order.
template <typename T, typename Id>
void Merge(std::vector<T>& held, const std::vector<T>& received, Id id) {
    if (held.empty()) {
        held = received;
        return;
    }
    std::map<std::string, T> byId;
    for (const T& item : held)
        byId.insert_or_assign(id(item), item);
    for (const T& item : received)
        byId.insert_or_assign(id(item), item);
    held.clear();
    held.reserve(byId.size());
    for (auto& entry : byId)
        held.push_back(std::move(entry.second));
}

}  // namespace

DMRadio3Service::DMRadio3Service(const std::string& userName, DMRadio3ServiceController* controller,
                                 DMServicesProvider* provider)
    : DMGenericService(userName, controller ? controller->GetEndpoint() : std::string(), provider),
      mController(controller) {
    if (mController) mController->SetListener(this, nullptr);
}

DMRadio3Service::~DMRadio3Service() {
    // The controller's queued deliveries die with it, so no callback can reach this
    // object afterwards; the tokens still pending go with the map.
    delete mController;
    mController = nullptr;
}

std::string DMRadio3Service::ServiceTypeURN() { return kDMRadio3ServiceTypeURN; }

void DMRadio3Service::InvalidateService() {
    if (!mController) return;
    ServiceWillBecomeInvalid();
    mController->Invalidate();
}

void DMRadio3Service::ServiceWillBecomeInvalid() {
    if (mListener) mListener->ServiceWillBecomeInvalid();
}

int DMRadio3Service::ShouldMethodFailureInvalidateService(DMServiceRequestToken* token) {
    return mListener ? mListener->ShouldMethodFailureInvalidateService(token) : 2;
}

void DMRadio3Service::DidBecomeValid(DMSIFService*) {
    if (mListener) mListener->ServiceDidBecomeValid();
}

void DMRadio3Service::DidBecomeInvalid(DMSIFService*) {
    if (mListener) mListener->ServiceDidBecomeInvalid();
}

// ---- tokens ----------------------------------------------------------------------------------

DMServiceRequestToken* DMRadio3Service::Remember(DMSIF_MethodRef* ref) {
    if (!ref) return nullptr;
    auto token = std::make_unique<DMServiceRequestToken>(kServiceTypeRadio3, "", false, nullptr);
    token->methodRef = ref;
    DMServiceRequestToken* raw = token.get();
    // Filed by the call's fixed id: its message id changes when the call is sent again.
    mPending[ref->GetID()] = std::move(token);
    return raw;
}

DMServiceRequestToken* DMRadio3Service::FindToken(DMSIF_MethodRef* ref) const {
    if (!ref) return nullptr;
    const auto found = mPending.find(ref->GetID());
    return found == mPending.end() ? nullptr : found->second.get();
}

void DMRadio3Service::Forget(DMSIF_MethodRef* ref) {
    if (ref) mPending.erase(ref->GetID());
}

// ---- requests --------------------------------------------------------------------------------

DMServiceRequestToken* DMRadio3Service::ListCategories() {
    RestoreCategoriesFromCache();
    const std::string changedSince = mCategories.empty() ? std::string() : mCategoriesTimeStamp;
    DMRadio3_ListCategories_InputType input(changedSince, -1, -1, "Categories");
    return mController ? Remember(mController->ListCategories(this, input)) : nullptr;
}

DMServiceRequestToken* DMRadio3Service::ListStations(bool full) {
    RestoreStationsFromCache();
    const std::string changedSince = mStations.empty() ? std::string() : mStationsTimeStamp;
    DMRadio3_SearchDirectiveType directive;
    if (full) directive.mEntries.emplace_back(DMRadio3_SearchTermType("", "playMode", "eq", "full"));
    DMRadio3_ListStations_InputType input(changedSince, -1, -1, directive, "Stations");
    return mController ? Remember(mController->ListStations(this, input)) : nullptr;
}

DMServiceRequestToken* DMRadio3Service::GetStationInfo(const std::vector<DMSIF_IDType>& stationIds) {
    DMRadio3_GetStationInfo_InputType input(stationIds, "", "", {});
    return mController ? Remember(mController->GetStationInfo(this, input)) : nullptr;
}

DMServiceRequestToken* DMRadio3Service::GetStationState(const std::vector<DMSIF_IDType>& stationIds) {
    DMRadio3_GetStationState_InputType input(stationIds, 0, {}, "");
    return mController ? Remember(mController->GetStationState(this, input)) : nullptr;
}

DMServiceRequestToken* DMRadio3Service::GetMediaFormatInfo(const std::vector<DMSIF_IDType>& mediaFormatIds) {
    DMRadio3_GetMediaFormatInfo_InputType input(mediaFormatIds, {}, "");
    return mController ? Remember(mController->GetMediaFormatInfo(this, input)) : nullptr;
}

DMServiceRequestToken* DMRadio3Service::GetStationURL(const DMSIF_IDType& progId, const DMSIF_IDType& mediaFormatId) {
    DMRadio3_GetStationURL_InputType input(progId, mediaFormatId);
    return mController ? Remember(mController->GetStationURL(this, input)) : nullptr;
}

DMServiceRequestToken* DMRadio3Service::GetMaxPresets() {
    DMRadio3_GetMaxPresets_InputType input;
    return mController ? Remember(mController->GetMaxPresets(this, input)) : nullptr;
}

DMServiceRequestToken* DMRadio3Service::GetPresets(const std::vector<DMSIF_IDType>& presets,
                                                   const std::string& changedSince) {
    DMRadio3_GetPresets_InputType input(presets, changedSince);
    return mController ? Remember(mController->GetPresets(this, input)) : nullptr;
}

DMServiceRequestToken* DMRadio3Service::SetPresets(const std::vector<DMSIF_IDType>& stationIds) {
    DMRadio3_SetPresets_InputType input(stationIds, mPresetsTimeStamp);
    return mController ? Remember(mController->SetPresets(this, input)) : nullptr;
}

// ---- results ---------------------------------------------------------------------------------

void DMRadio3Service::DidFinish(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input,
                                DMSIF_MethodOutputType* output) {
    DMServiceRequestToken* token = FindToken(ref);
    if (token && output) token->status = output->status;
    HandleResponse(ref, token, input, output, true);
    Forget(ref);
}

void DMRadio3Service::DidFail(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input, DMSIF_MethodOutputType* output) {
    DMServiceRequestToken* token = FindToken(ref);
    if (token && output) {
        token->status = output->status;
        token->fault = output->fault;
    }
    const int verdict = ShouldMethodFailureInvalidateService(token);
    if (verdict != 0) {
        // The user name is copied: the provider's reset must not read through this object.
        const std::string user = GetUserName();
        InvalidateService();
        if (DMServicesProvider* provider = GetProvider()) {
            if (verdict == 1)
                provider->ClearServiceForUsername(user, kServiceTypeRadio3);
            else
                provider->ResetUsername(user);
        }
    }
    HandleResponse(ref, token, input, output, false);
    Forget(ref);
}

void DMRadio3Service::DidCancel(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType*) {
    // Nobody is told; the token just goes.
    Forget(ref);
}

void DMRadio3Service::HandleResponse(DMSIF_MethodRef* ref, DMServiceRequestToken* token,
                                     DMSIF_MethodArgumentsType* input, DMSIF_MethodOutputType* output, bool success) {
    if (!ref) return;
    const std::string& method = ref->GetMethodName();
    if (method == "ListCategories")
        HandleListCategories(token, output, success);
    else if (method == "ListStations")
        HandleListStations(token, output, success);
    else if (method == "GetStationInfo")
        HandleGetStationInfo(token, output, success);
    else if (method == "GetStationState")
        HandleGetStationState(token, output, success);
    else if (method == "GetMediaFormatInfo")
        HandleGetMediaFormatInfo(token, output, success);
    else if (method == "GetStationURL")
        HandleGetStationURL(token, input, output, success);
    else if (method == "GetMaxPresets")
        HandleGetMaxPresets(token, output, success);
    else if (method == "GetPresets")
        HandleGetPresets(token, output, success);
    else if (method == "SetPresets")
        HandleSetPresets(token, output, success);
}

void DMRadio3Service::HandleListCategories(DMServiceRequestToken* token, DMSIF_MethodOutputType* output, bool success) {
    auto* answer = dynamic_cast<DMRadio3_ListCategories_OutputType*>(output);
    if (success && answer) {
        if (!answer->mTimeStamp.empty()) mCategoriesTimeStamp = answer->mTimeStamp;
        if (!answer->mCategories.empty()) {
            MergeCategories(answer->mCategories);
            DMRadio3_ListCategories_OutputType item(answer->status, answer->mTimeStamp, answer->mRemaining,
                                                    answer->mOffset, mCategories);
            WriteCachedElement(kDMRadio3CategoriesItem, item, "ListCategoriesResponse");
            FlushCache();
            StampLoadDate();
        }
    }
    if (mListener) mListener->GenresUpdated(true, token, success);
}

void DMRadio3Service::HandleListStations(DMServiceRequestToken* token, DMSIF_MethodOutputType* output, bool success) {
    auto* answer = dynamic_cast<DMRadio3_ListStations_OutputType*>(output);
    if (success && answer) {
        if (!answer->mTimeStamp.empty()) mStationsTimeStamp = answer->mTimeStamp;
        if (!answer->mStations.empty()) {
            MergeStations(answer->mStations);
            DMRadio3_ListStations_OutputType item(answer->status, answer->mTimeStamp, answer->mRemaining,
                                                  answer->mOffset, mStations);
            WriteCachedElement(kDMRadio3StationsItem, item, "ListStationsResponse");
            FlushCache();
            StampLoadDate();
            ClearStationInfoCache();
            ClearMediaFormatCache();
        }
    }
    if (mListener) mListener->StationsUpdated(true, token, success);
}

void DMRadio3Service::HandleGetStationInfo(DMServiceRequestToken* token, DMSIF_MethodOutputType* output, bool success) {
    auto* answer = dynamic_cast<DMRadio3_GetStationInfo_OutputType*>(output);
    if (success && answer) {
        for (DMRadio3_StationInfoType& info : answer->mStations) {
            const std::string id = info.mStationId.GetValue();
            mStationInfos.insert_or_assign(id, info);
            WriteCachedElement(kDMRadio3StationInfoItemPrefix + id, info, "Station");
        }
        FlushCache();
        StampLoadDate();
    }
    if (!mListener) return;
    mListener->RequestForStationsInfoCompleted(success && answer ? answer->mStations : kNoStationInfos, token, success);
}

void DMRadio3Service::HandleGetStationState(DMServiceRequestToken* token, DMSIF_MethodOutputType* output,
                                            bool success) {
    auto* answer = dynamic_cast<DMRadio3_GetStationState_OutputType*>(output);
    if (!mListener) return;
    mListener->RequestForStationsStateCompleted(success && answer ? answer->mStates : kNoStationStates, token, success);
}

void DMRadio3Service::HandleGetMediaFormatInfo(DMServiceRequestToken* token, DMSIF_MethodOutputType* output,
                                               bool success) {
    auto* answer = dynamic_cast<DMRadio3_GetMediaFormatInfo_OutputType*>(output);
    if (success && answer) {
        for (DMRadio3_MediaFormatType& format : answer->mFormats) {
            const std::string id = format.mMediaFormatId.GetValue();
            mMediaFormats.insert_or_assign(id, format);
            WriteCachedElement(kDMRadio3MediaFormatItemPrefix + id, format, "Format");
        }
        FlushCache();
        StampLoadDate();
    }
    if (!mListener) return;
    mListener->RequestForMediaFormatsCompleted(success && answer ? answer->mFormats : kNoMediaFormats, token, success);
}

void DMRadio3Service::HandleGetStationURL(DMServiceRequestToken* token, DMSIF_MethodArgumentsType* input,
                                          DMSIF_MethodOutputType* output, bool success) {
    auto* asked = dynamic_cast<DMRadio3_GetStationURL_InputType*>(input);
    auto* answer = dynamic_cast<DMRadio3_GetStationURL_OutputType*>(output);
    if (!mListener) return;
    const std::string refId = asked ? asked->mRefId.GetValue() : std::string();
    mListener->RequestForURLsCompleted(refId, success && answer ? answer->mURLs : kNoURLs, token, success);
}

void DMRadio3Service::HandleGetMaxPresets(DMServiceRequestToken* token, DMSIF_MethodOutputType* output, bool success) {
    auto* answer = dynamic_cast<DMRadio3_GetMaxPresets_OutputType*>(output);
    if (!mListener) return;
    mListener->RequestForMaxPresetsCompleted(success && answer ? answer->mMaxPresets : 0, token, success);
}

void DMRadio3Service::HandleGetPresets(DMServiceRequestToken* token, DMSIF_MethodOutputType* output, bool success) {
    auto* answer = dynamic_cast<DMRadio3_GetPresets_OutputType*>(output);
    if (success && answer) mPresetsTimeStamp = answer->mTimeStamp;
    if (!mListener) return;
    mListener->RequestForPresetsCompleted(success && answer ? answer->mPresets : kNoPresets, token, success);
}

void DMRadio3Service::HandleSetPresets(DMServiceRequestToken* token, DMSIF_MethodOutputType* output, bool success) {
    auto* answer = dynamic_cast<DMRadio3_SetPresets_OutputType*>(output);
    if (success && answer) mPresetsTimeStamp = answer->mTimeStamp;
    if (mListener) mListener->StorePresetsCompleted(token, success);
}

// ---- held directory and cache ----------------------------------------------------------------

std::unique_ptr<DMSOAPElementType> DMRadio3Service::ReadCachedElement(const std::string& key) {
    DMSOAPElementType* element = nullptr;
    if (!GetCachedElement(key, element)) return nullptr;
    if (!element) {
        // Stored but unreadable: drop it so that the next answer can replace it.
        LogMessage(kLogError, "DMRadio3Service - cache item %s removed: not well-formed\n", key.c_str());
        RemoveCacheValue(key);
        FlushCache();
    }
    return std::unique_ptr<DMSOAPElementType>(element);
}

void DMRadio3Service::WriteCachedElement(const std::string& key, DMSOAPElementCoding& value, const char* elementName) {
    std::unique_ptr<DMSOAPElementType> element(value.ToElement(elementName, kDMRadio3NamespaceURI));
    // The cache writes with no prefixes of its own: without this declaration the schema's
    // qualified attributes would be stored unqualified.
    element->DeclareNamespace(kDMRadio3NamespaceURI, kDMRadio3NamespacePrefix);
    SetCachedElement(key, element.get());
}

void DMRadio3Service::StampLoadDate() {
    SetLoadDate(DMPlatformUtils::GetInstance()->FormatCurrentTimeUTC(kLoadDateFormat));
}

void DMRadio3Service::RestoreCategoriesFromCache() {
    if (!mCategories.empty()) return;
    std::unique_ptr<DMSOAPElementType> element = ReadCachedElement(kDMRadio3CategoriesItem);
    if (!element) return;
    DMRadio3_ListCategories_OutputType cached(element.get());
    mCategoriesTimeStamp = cached.mTimeStamp;
    mCategories = std::move(cached.mCategories);
}

void DMRadio3Service::RestoreStationsFromCache() {
    if (!mStations.empty()) return;
    std::unique_ptr<DMSOAPElementType> element = ReadCachedElement(kDMRadio3StationsItem);
    if (!element) return;
    DMRadio3_ListStations_OutputType cached(element.get());
    mStationsTimeStamp = cached.mTimeStamp;
    mStations = std::move(cached.mStations);
}

void DMRadio3Service::LoadStationInfoFromCache(const std::string& stationId) {
    if (mStationInfos.count(stationId)) return;
    std::unique_ptr<DMSOAPElementType> element = ReadCachedElement(kDMRadio3StationInfoItemPrefix + stationId);
    if (!element) return;
    DMRadio3_StationInfoType info(element.get());
    const std::string id = info.mStationId.GetValue();
    mStationInfos.insert_or_assign(id, std::move(info));
}

void DMRadio3Service::LoadMediaFormatFromCache(const std::string& mediaFormatId) {
    if (mMediaFormats.count(mediaFormatId)) return;
    std::unique_ptr<DMSOAPElementType> element = ReadCachedElement(kDMRadio3MediaFormatItemPrefix + mediaFormatId);
    if (!element) return;
    DMRadio3_MediaFormatType format(element.get());
    const std::string id = format.mMediaFormatId.GetValue();
    mMediaFormats.insert_or_assign(id, std::move(format));
}

void DMRadio3Service::LoadCategoriesFromCache(std::vector<DMRadio3_CategoryType>& categories) {
    RestoreCategoriesFromCache();
    categories = mCategories;
}

void DMRadio3Service::LoadStationsFromCache(std::vector<DMRadio3_StationType>& stations) {
    RestoreStationsFromCache();
    stations = mStations;
}

bool DMRadio3Service::GetStationInfoFromCache(const std::string& stationId, DMRadio3_StationInfoType& info) {
    LoadStationInfoFromCache(stationId);
    const auto found = mStationInfos.find(stationId);
    if (found == mStationInfos.end()) return false;
    info = found->second;
    return true;
}

bool DMRadio3Service::GetMediaFormatFromCache(const std::string& mediaFormatId, DMRadio3_MediaFormatType& format) {
    LoadMediaFormatFromCache(mediaFormatId);
    const auto found = mMediaFormats.find(mediaFormatId);
    if (found == mMediaFormats.end()) return false;
    format = found->second;
    return true;
}

void DMRadio3Service::MergeCategories(const std::vector<DMRadio3_CategoryType>& received) {
    Merge(mCategories, received, [](const DMRadio3_CategoryType& c) { return c.mCategoryId.GetValue(); });
}

void DMRadio3Service::MergeStations(const std::vector<DMRadio3_StationType>& received) {
    Merge(mStations, received, [](const DMRadio3_StationType& s) { return s.mStationId.GetValue(); });
}

void DMRadio3Service::ClearStationInfoCache() {
    for (const auto& entry : mStationInfos)
        RemoveCacheValue(kDMRadio3StationInfoItemPrefix + entry.first);
    FlushCache();
    mStationInfos.clear();
}

void DMRadio3Service::ClearMediaFormatCache() {
    for (const auto& entry : mMediaFormats)
        RemoveCacheValue(kDMRadio3MediaFormatItemPrefix + entry.first);
    mMediaFormats.clear();
}

// ---- registration ----------------------------------------------------------------------------

void DMRadio3RegisterService() {
    DMServiceFactory::Register(
        kServiceTypeRadio3,
        [](DMSOAPElementType* offering, DMSOAPElementType* credentials, DMSIFServiceListener* listener)
            -> DMSIFService* { return new DMRadio3ServiceController(offering, credentials, listener); },
        [](const std::string& userName, DMSIFService* controller, DMServicesProvider* provider) -> DMGenericService* {
            // Any other controller stays the caller's.
            auto* own = dynamic_cast<DMRadio3ServiceController*>(controller);
            if (!own) return nullptr;
            return new DMRadio3Service(userName, own, provider);
        });
}
