#pragma once

// The radio directory service object the application holds: makes the nine requests,
// turns each call's end into the listener's typed callback (acting first on the verdict
// of a failure), and keeps the categories, stations, station descriptions and media
// formats it received, merged, in memory and in the user's data cache. Main thread only.
//
// A request returns a token naming the call in its callback; the token is deleted right
// after that callback. Tokens are filed by the call's fixed id, so a call re-sent under
// a new message id still finds its token; the tokens of cancelled calls, and of calls
// still pending when the object goes, are freed without a callback.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dms/core/DMGenericService.h"
#include "dms/core/DMSIFServiceListener.h"
#include "dms/radio3/DMRadio3Methods.h"
#include "dms/radio3/DMRadio3ServiceController.h"
#include "dms/radio3/DMRadio3ServiceListener.h"

// Cache item keys.
inline constexpr const char* kDMRadio3CategoriesItem = "Categories";
inline constexpr const char* kDMRadio3StationsItem = "Stations";
inline constexpr const char* kDMRadio3StationInfoItemPrefix = "StationInfo_";
inline constexpr const char* kDMRadio3MediaFormatItemPrefix = "MediaFormat_";

class DMRadio3Service : public DMGenericService, public DMSIFServiceListener {
public:
    // Takes the controller over and becomes its default listener.
    DMRadio3Service(const std::string& userName, DMRadio3ServiceController* controller, DMServicesProvider* provider);
    ~DMRadio3Service() override;

    // Not owned; null clears it.
    void SetListener(DMRadio3ServiceListener* listener) { mListener = listener; }
    DMRadio3ServiceListener* GetListener() const { return mListener; }
    DMRadio3ServiceController* GetController() const { return mController; }

    void InvalidateService() override;
    std::string ServiceTypeURN() override;
    virtual void ServiceWillBecomeInvalid();
    // The listener's verdict; 2 without a listener.
    virtual int ShouldMethodFailureInvalidateService(DMServiceRequestToken* token);

    void DidBecomeValid(DMSIFService* service) override;
    void DidBecomeInvalid(DMSIFService* service) override;
    void DidFinish(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input, DMSIF_MethodOutputType* output) override;
    void DidFail(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input, DMSIF_MethodOutputType* output) override;
    void DidCancel(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input) override;

    // Requests: the token of the new call, or null when nothing was sent.
    DMServiceRequestToken* ListCategories();
    // full: only the stations whose playMode is "full".
    DMServiceRequestToken* ListStations(bool full);
    DMServiceRequestToken* GetStationInfo(const std::vector<DMSIF_IDType>& stationIds);
    DMServiceRequestToken* GetStationState(const std::vector<DMSIF_IDType>& stationIds);
    DMServiceRequestToken* GetMediaFormatInfo(const std::vector<DMSIF_IDType>& mediaFormatIds);
    DMServiceRequestToken* GetStationURL(const DMSIF_IDType& progId, const DMSIF_IDType& mediaFormatId);
    DMServiceRequestToken* GetMaxPresets();
    DMServiceRequestToken* GetPresets(const std::vector<DMSIF_IDType>& presets, const std::string& changedSince);
    DMServiceRequestToken* SetPresets(const std::vector<DMSIF_IDType>& stationIds);

    // What is held, restored from the cache first when the held list is empty.
    void LoadCategoriesFromCache(std::vector<DMRadio3_CategoryType>& categories);
    void LoadStationsFromCache(std::vector<DMRadio3_StationType>& stations);
    // False (out value untouched) when the id is neither held nor cached.
    bool GetStationInfoFromCache(const std::string& stationId, DMRadio3_StationInfoType& info);
    bool GetMediaFormatFromCache(const std::string& mediaFormatId, DMRadio3_MediaFormatType& format);

    const std::string& GetCategoriesTimeStamp() const { return mCategoriesTimeStamp; }
    const std::string& GetStationsTimeStamp() const { return mStationsTimeStamp; }
    const std::string& GetPresetsTimeStamp() const { return mPresetsTimeStamp; }
    std::size_t PendingCount() const { return mPending.size(); }

protected:
    void RestoreCategoriesFromCache();
    void RestoreStationsFromCache();
    void LoadStationInfoFromCache(const std::string& stationId);
    void LoadMediaFormatFromCache(const std::string& mediaFormatId);
    void MergeCategories(const std::vector<DMRadio3_CategoryType>& received);
    void MergeStations(const std::vector<DMRadio3_StationType>& received);
    void ClearStationInfoCache();
    void ClearMediaFormatCache();

    void HandleResponse(DMSIF_MethodRef* ref, DMServiceRequestToken* token, DMSIF_MethodArgumentsType* input,
                        DMSIF_MethodOutputType* output, bool success);
    void HandleListCategories(DMServiceRequestToken* token, DMSIF_MethodOutputType* output, bool success);
    void HandleListStations(DMServiceRequestToken* token, DMSIF_MethodOutputType* output, bool success);
    void HandleGetStationInfo(DMServiceRequestToken* token, DMSIF_MethodOutputType* output, bool success);
    void HandleGetStationState(DMServiceRequestToken* token, DMSIF_MethodOutputType* output, bool success);
    void HandleGetMediaFormatInfo(DMServiceRequestToken* token, DMSIF_MethodOutputType* output, bool success);
    void HandleGetStationURL(DMServiceRequestToken* token, DMSIF_MethodArgumentsType* input,
                             DMSIF_MethodOutputType* output, bool success);
    void HandleGetMaxPresets(DMServiceRequestToken* token, DMSIF_MethodOutputType* output, bool success);
    void HandleGetPresets(DMServiceRequestToken* token, DMSIF_MethodOutputType* output, bool success);
    void HandleSetPresets(DMServiceRequestToken* token, DMSIF_MethodOutputType* output, bool success);

private:
    DMServiceRequestToken* Remember(DMSIF_MethodRef* ref);
    DMServiceRequestToken* FindToken(DMSIF_MethodRef* ref) const;
    void Forget(DMSIF_MethodRef* ref);
    // The cached element of key (owned by the caller), or null. An item that no longer
    // parses is removed, as if it had never been there.
    std::unique_ptr<DMSOAPElementType> ReadCachedElement(const std::string& key);
    void WriteCachedElement(const std::string& key, DMSOAPElementCoding& value, const char* elementName);
    void StampLoadDate();

    DMRadio3ServiceController* mController = nullptr;                        // owned
    DMRadio3ServiceListener* mListener = nullptr;                            // not owned
    std::map<std::string, std::unique_ptr<DMServiceRequestToken>> mPending;  // by the call's id
    std::string mCategoriesTimeStamp;
    std::string mStationsTimeStamp;
    std::vector<DMRadio3_CategoryType> mCategories;
    std::vector<DMRadio3_StationType> mStations;
    std::map<std::string, DMRadio3_StationInfoType> mStationInfos;
    std::map<std::string, DMRadio3_MediaFormatType> mMediaFormats;
    std::string mPresetsTimeStamp;
};

// Registers 'Rdo3' with the service factory; called once at start-up, before the first
// service request.
void DMRadio3RegisterService();
