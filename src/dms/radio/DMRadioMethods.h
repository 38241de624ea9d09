#pragma once

// The input and output messages of the ten methods of the version-2 radio directory
// service. A message is the method element of a request (input) or of a response
// (output); its children lie in the namespace the caller passes (the schema namespace in
// the program), attributes are unqualified, and the method element declares no prefix
// (the values inside declare theirs). Reading follows the schema's rules (DMRadioTypes.h);
// inputs state with IsValid whether they are complete enough to be sent.

#include <cstdint>
#include <list>
#include <string>

#include "dms/core/DMSIFMethod.h"
#include "dms/radio/DMRadioTypes.h"

// ---- inputs ------------------------------------------------------------------------------

class DMRadio_ListGenres_InputType : public DMSIF_MethodArgumentsType {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_ListGenres_InputType);
    std::string mChangedSince;
    std::int32_t mOffset = -1;  // -1: not given
    std::int32_t mCount = -1;
};

class DMRadio_ListStations_InputType : public DMSIF_MethodArgumentsType {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_ListStations_InputType);
    std::string mChangedSince;
    std::int32_t mOnlyPlayable = -1;  // -1 not given, 0 false, other true
    std::int32_t mOffset = -1;
    std::int32_t mCount = -1;
    std::list<DMSIF_IDType> mGenres;
};

class DMRadio_GetStationInfo_InputType : public DMSIF_MethodArgumentsType {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_GetStationInfo_InputType);
    // Empty or "2.0", and at least one station.
    bool IsValid() override;
    std::string mStrictVersion;
    std::list<DMSIF_IDType> mStations;
    std::list<DMSIF_IDType> mFields;
};

class DMRadio_GetStationState_InputType : public DMSIF_MethodArgumentsType {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_GetStationState_InputType);
    bool IsValid() override;
    std::string mStrictVersion;
    std::int32_t mMaxFutureTrks = -1;
    std::list<DMSIF_IDType> mStations;
    std::list<DMSIF_IDType> mFields;
};

class DMRadio_GetStationUrl_InputType : public DMSIF_MethodArgumentsType {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_GetStationUrl_InputType);
    // Both values non-empty.
    bool IsValid() override;
    DMSIF_IDType mStation;
    DMSIF_IDType mFormat;
};

class DMRadio_GetMaxPresets_InputType : public DMSIF_MethodArgumentsType {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_GetMaxPresets_InputType);
};

class DMRadio_GetPresets_InputType : public DMSIF_MethodArgumentsType {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_GetPresets_InputType);
    std::string mChangedSince;
};

class DMRadio_SetPresets_InputType : public DMSIF_MethodArgumentsType {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_SetPresets_InputType);
    // A time stamp and at least one preset.
    bool IsValid() override;
    std::string mTimestamp;
    std::list<DMRadio_PresetType> mPresets;
};

class DMRadio_GetRatingsRange_InputType : public DMSIF_MethodArgumentsType {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_GetRatingsRange_InputType);
};

class DMRadio_RateTrack_InputType : public DMSIF_MethodArgumentsType {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_RateTrack_InputType);
    // The three identifier values non-empty.
    bool IsValid() override;
    DMSIF_IDType mTrackId;
    DMSIF_IDType mStationId;
    DMSIF_IDType mGenreId;
    std::int32_t mRating = 0;
};

// ---- outputs (status and fault from the base; the fault is never coded here) ------------

class DMRadio_ListGenres_OutputType : public DMSIF_MethodOutputType {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_ListGenres_OutputType);
    DMRadio_ListGenres_OutputType(const DMSIF_StatusType& status, const std::string& timeStamp, int remaining,
                                  const std::list<DMRadio_GenreType>& genres)
        : DMSIF_MethodOutputType(status), mTimeStamp(timeStamp), mRemaining(remaining), mGenres(genres) {}
    const std::string& GetTimeStamp() const { return mTimeStamp; }
    std::int32_t GetRemaining() const { return mRemaining; }
    const std::list<DMRadio_GenreType>& GetGenres() const { return mGenres; }
    std::string mTimeStamp;
    std::int32_t mRemaining = 0;
    std::list<DMRadio_GenreType> mGenres;
};

class DMRadio_ListStations_OutputType : public DMSIF_MethodOutputType {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_ListStations_OutputType);
    DMRadio_ListStations_OutputType(const DMSIF_StatusType& status, const std::string& timeStamp, int remaining,
                                    const std::list<DMRadio_StationType>& stations)
        : DMSIF_MethodOutputType(status), mTimeStamp(timeStamp), mRemaining(remaining), mStations(stations) {}
    const std::string& GetTimeStamp() const { return mTimeStamp; }
    std::int32_t GetRemaining() const { return mRemaining; }
    const std::list<DMRadio_StationType>& GetStations() const { return mStations; }
    std::string mTimeStamp;
    std::int32_t mRemaining = 0;
    std::list<DMRadio_StationType> mStations;
};

class DMRadio_GetStationInfo_OutputType : public DMSIF_MethodOutputType {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_GetStationInfo_OutputType);
    const std::list<DMRadio_StationInfoType>& GetStationInfo() const { return mStationInfo; }
    std::list<DMRadio_StationInfoType> mStationInfo;
};

class DMRadio_GetStationState_OutputType : public DMSIF_MethodOutputType {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_GetStationState_OutputType);
    const std::list<DMRadio_StationStateType>& GetStationState() const { return mStationState; }
    std::list<DMRadio_StationStateType> mStationState;
};

class DMRadio_GetStationUrl_OutputType : public DMSIF_MethodOutputType {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_GetStationUrl_OutputType);
    const DMRadio_StationUrlType& GetUrl() const { return mUrl; }
    DMRadio_StationUrlType mUrl;
};

class DMRadio_GetMaxPresets_OutputType : public DMSIF_MethodOutputType {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_GetMaxPresets_OutputType);
    std::int32_t GetMaxPresets() const { return mMaxPresets; }
    std::int32_t mMaxPresets = 0;
};

class DMRadio_GetPresets_OutputType : public DMSIF_MethodOutputType {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_GetPresets_OutputType);
    const std::string& GetTimeStamp() const { return mTimeStamp; }
    const std::list<DMRadio_PresetType>& GetPresets() const { return mPresets; }
    std::string mTimeStamp;
    std::list<DMRadio_PresetType> mPresets;
};

class DMRadio_SetPresets_OutputType : public DMSIF_MethodOutputType {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_SetPresets_OutputType);
    const std::string& GetTimeStamp() const { return mTimeStamp; }
    std::string mTimeStamp;
};

class DMRadio_GetRatingsRange_OutputType : public DMSIF_MethodOutputType {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_GetRatingsRange_OutputType);
    std::int32_t mMin = 0;
    std::int32_t mMax = 0;
};

class DMRadio_RateTrack_OutputType : public DMSIF_MethodOutputType {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_RateTrack_OutputType);
};
