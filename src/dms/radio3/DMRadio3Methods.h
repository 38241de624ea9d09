#pragma once

// The input and output messages of the radio directory's eleven methods. An input is
// written with ToElement as the body of the request (the caller names the element and
// its namespace); the controller rebuilds it from that element with the answer, and
// decodes the answer's body into the output.
//
// Writing: children in the namespace given to ToElement, the messages' own attributes
// unqualified (except "rating", "min" and "max", which carry that namespace), optional
// integers only when 0 or more. An output writes its timeStamp first, then "Status",
// never its fault. Reading: by local name in any namespace; absent parts and numbers
// that do not convert leave fields unchanged; lists are rebuilt only from an element that
// has child elements; a "Property" whose "name" matches is used each time it occurs, so
// the last one wins. Reading an identifier from an attribute drops its id.

#include <cstdint>
#include <string>
#include <vector>

#include "dms/core/DMSIFMethod.h"
#include "dms/radio3/DMRadio3Types.h"

// --- ListCategories (interface "IMetadataListEnum") ---

class DMRadio3_ListCategories_InputType : public DMSIF_MethodArgumentsType {
public:
    DMRadio3_ListCategories_InputType(const std::string& changedSince, std::int32_t offset, std::int32_t count,
                                      const std::string& domain);
    explicit DMRadio3_ListCategories_InputType(DMSOAPElementType* element);

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;
    // Only the domain "Categories", exactly.
    bool IsValid() override;

    std::string mDomain = "Categories";
    std::string mChangedSince;
    std::int32_t mOffset = -1;  // -1: not given
    std::int32_t mCount = -1;
};

class DMRadio3_ListCategories_OutputType : public DMSIF_MethodOutputType {
public:
    DMRadio3_ListCategories_OutputType(const DMSIF_StatusType& status, const std::string& timeStamp,
                                       std::int32_t remaining, std::int32_t offset,
                                       const std::vector<DMRadio3_CategoryType>& categories);
    explicit DMRadio3_ListCategories_OutputType(DMSOAPElementType* element);

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    // timeStamp from "timeStamp", or from "timestamp" when that is absent.
    void FromElement(DMSOAPElementType* element) override;

    std::string mTimeStamp;
    std::int32_t mRemaining = 0;
    std::int32_t mOffset = 0;
    std::vector<DMRadio3_CategoryType> mCategories;  // children "Category"
};

// --- ListStations (interface "IMetadataBrowse") ---

class DMRadio3_ListStations_InputType : public DMSIF_MethodArgumentsType {
public:
    DMRadio3_ListStations_InputType(const std::string& changedSince, std::int32_t offset, std::int32_t count,
                                    const DMRadio3_SearchDirectiveType& searchDirective, const std::string& domain);
    explicit DMRadio3_ListStations_InputType(DMSOAPElementType* element);

    // "SearchDirective" only when the directive holds an entry.
    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;
    // Only the domain "Stations", exactly.
    bool IsValid() override;

    // The input keeps its own deep copy.
    void SetSearchDirective(const DMRadio3_SearchDirectiveType& searchDirective);

    std::string mDomain = "Stations";
    std::string mChangedSince;
    std::int32_t mOffset = -1;
    std::int32_t mCount = -1;
    DMRadio3_SearchDirectiveType mSearchDirective;
};

class DMRadio3_ListStations_OutputType : public DMSIF_MethodOutputType {
public:
    DMRadio3_ListStations_OutputType(const DMSIF_StatusType& status, const std::string& timeStamp,
                                     std::int32_t remaining, std::int32_t offset,
                                     const std::vector<DMRadio3_StationType>& stations);
    explicit DMRadio3_ListStations_OutputType(DMSOAPElementType* element);

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;

    std::string mTimeStamp;
    std::int32_t mRemaining = 0;
    std::int32_t mOffset = 0;
    std::vector<DMRadio3_StationType> mStations;  // children "Station"
};

// --- GetStationInfo, GetStationState, GetMediaFormatInfo (interface "IMetadataDescribe") ---

class DMRadio3_GetStationInfo_InputType : public DMSIF_MethodArgumentsType {
public:
    DMRadio3_GetStationInfo_InputType(const std::vector<DMSIF_IDType>& refIds, const std::string& version,
                                      const std::string& changedSince, const std::vector<DMSIF_IDType>& outputElements);
    explicit DMRadio3_GetStationInfo_InputType(DMSOAPElementType* element);

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;
    // Version empty or "3.0", and at least one RefId.
    bool IsValid() override;

    std::string mVersion;
    std::string mChangedSince;
    std::vector<DMSIF_IDType> mRefIds;          // children "RefId"
    std::vector<DMSIF_IDType> mOutputElements;  // children "OutputElement"
};

class DMRadio3_GetStationState_InputType : public DMSIF_MethodArgumentsType {
public:
    DMRadio3_GetStationState_InputType(const std::vector<DMSIF_IDType>& refIds, std::int32_t maxTracks,
                                       const std::vector<DMSIF_IDType>& outputElements, const std::string& version);
    explicit DMRadio3_GetStationState_InputType(DMSOAPElementType* element);

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    // maxTracks from a "Restriction" named exactly "maxTracks" (the last such wins).
    void FromElement(DMSOAPElementType* element) override;
    bool IsValid() override;

    std::vector<DMSIF_IDType> mRefIds;
    std::int32_t mMaxTracks = -1;  // -1: no restriction
    std::vector<DMSIF_IDType> mOutputElements;
    std::string mVersion;
};

class DMRadio3_GetMediaFormatInfo_InputType : public DMSIF_MethodArgumentsType {
public:
    DMRadio3_GetMediaFormatInfo_InputType(const std::vector<DMSIF_IDType>& refIds,
                                          const std::vector<DMSIF_IDType>& outputElements, const std::string& version);
    explicit DMRadio3_GetMediaFormatInfo_InputType(DMSOAPElementType* element);

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;
    bool IsValid() override;

    std::vector<DMSIF_IDType> mRefIds;
    std::vector<DMSIF_IDType> mOutputElements;
    std::string mVersion;
};

class DMRadio3_GetStationInfo_OutputType : public DMSIF_MethodOutputType {
public:
    explicit DMRadio3_GetStationInfo_OutputType(DMSOAPElementType* element);

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    // timeStamp from "timeStamp", or from "timestamp" when that is absent.
    void FromElement(DMSOAPElementType* element) override;

    std::string mTimeStamp;
    std::vector<DMRadio3_StationInfoType> mStations;  // children "Station"
};

class DMRadio3_GetStationState_OutputType : public DMSIF_MethodOutputType {
public:
    explicit DMRadio3_GetStationState_OutputType(DMSOAPElementType* element);

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;

    std::vector<DMRadio3_StationStateType> mStates;  // children "StationState"
};

class DMRadio3_GetMediaFormatInfo_OutputType : public DMSIF_MethodOutputType {
public:
    explicit DMRadio3_GetMediaFormatInfo_OutputType(DMSOAPElementType* element);

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;

    std::vector<DMRadio3_MediaFormatType> mFormats;  // children "Format"
};

// --- GetStationURL (interface "IFulfillmentGetAsset") ---

class DMRadio3_GetStationURL_InputType : public DMSIF_MethodArgumentsType {
public:
    DMRadio3_GetStationURL_InputType(const DMSIF_IDType& refId, const DMSIF_IDType& mediaFormatId);
    explicit DMRadio3_GetStationURL_InputType(DMSOAPElementType* element);

    // Both attributes always, even when empty.
    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;
    // Both values non-empty.
    bool IsValid() override;

    DMSIF_IDType mRefId;          // attribute "refId": the station format's program id
    DMSIF_IDType mMediaFormatId;  // attribute "mediaFormatId"
};

class DMRadio3_GetStationURL_OutputType : public DMSIF_MethodOutputType {
public:
    explicit DMRadio3_GetStationURL_OutputType(DMSOAPElementType* element);

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;

    std::vector<std::string> mURLs;  // children "Url"
};

// --- GetMaxPresets, GetPresets (interface "IProfileGet"), SetPresets ("IProfileSet") ---

class DMRadio3_GetMaxPresets_InputType : public DMSIF_MethodArgumentsType {
public:
    DMRadio3_GetMaxPresets_InputType() = default;
    // The element is not read.
    explicit DMRadio3_GetMaxPresets_InputType(DMSOAPElementType* element);

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;
};

class DMRadio3_GetMaxPresets_OutputType : public DMSIF_MethodOutputType {
public:
    explicit DMRadio3_GetMaxPresets_OutputType(DMSOAPElementType* element);

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;

    std::int32_t mMaxPresets = 0;  // "Property" "MaxPresets" > "MaxPresets"
};

class DMRadio3_GetPresets_InputType : public DMSIF_MethodArgumentsType {
public:
    DMRadio3_GetPresets_InputType(const std::vector<DMSIF_IDType>& presets, const std::string& changedSince);
    explicit DMRadio3_GetPresets_InputType(DMSOAPElementType* element);

    // The "Presets" property always, holding the list only when there is one.
    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    // The list only from a "Presets" child of the property.
    void FromElement(DMSOAPElementType* element) override;

    std::string mChangedSince;
    std::vector<DMSIF_IDType> mPresets;  // "Property" "Presets" > "Presets" > "Preset"
};

class DMRadio3_GetPresets_OutputType : public DMSIF_MethodOutputType {
public:
    explicit DMRadio3_GetPresets_OutputType(DMSOAPElementType* element);

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    // timeStamp from "timeStamp" only. The list from the property's "Presets" child or,
    // without one, from "Preset" children of the property itself.
    void FromElement(DMSOAPElementType* element) override;

    std::string mTimeStamp;
    std::vector<DMSIF_IDType> mPresets;
};

class DMRadio3_SetPresets_InputType : public DMSIF_MethodArgumentsType {
public:
    DMRadio3_SetPresets_InputType(const std::vector<DMSIF_IDType>& presets, const std::string& changedSince);
    explicit DMRadio3_SetPresets_InputType(DMSOAPElementType* element);

    // No property at all for an empty list.
    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;
    // At least one preset.
    bool IsValid() override;

    std::string mChangedSince;
    std::vector<DMSIF_IDType> mPresets;
};

class DMRadio3_SetPresets_OutputType : public DMSIF_MethodOutputType {
public:
    explicit DMRadio3_SetPresets_OutputType(DMSOAPElementType* element);

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    // timeStamp from "timeStamp" only.
    void FromElement(DMSOAPElementType* element) override;

    std::string mTimeStamp;
};

// --- GetRatingsRange, RateTrack (never sent; answers are still decoded) ---

class DMRadio3_GetRatingsRange_InputType : public DMSIF_MethodArgumentsType {
public:
    // The element is not read.
    explicit DMRadio3_GetRatingsRange_InputType(DMSOAPElementType* element);

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;
};

class DMRadio3_GetRatingsRange_OutputType : public DMSIF_MethodOutputType {
public:
    explicit DMRadio3_GetRatingsRange_OutputType(DMSOAPElementType* element);

    // "min" and "max" always, whatever their values.
    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;

    std::int32_t mMin = 0;  // "Property" "RatingsRange" > "RatingsRange" @min
    std::int32_t mMax = 0;  // @max
};

class DMRadio3_RateTrack_InputType : public DMSIF_MethodArgumentsType {
public:
    explicit DMRadio3_RateTrack_InputType(DMSOAPElementType* element);

    // All four attributes always; the track id's id, type and url are not written.
    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;
    // Track, station and category ids all non-empty.
    bool IsValid() override;

    DMSIF_QualIDType mTrackId;  // "Property" "TrackRating" > "TrackRating" @trackId
    DMSIF_IDType mCategoryId;   // @categoryId
    DMSIF_IDType mStationId;    // @stationId
    std::int32_t mRating = 0;   // @rating; 0 when the element gives no usable one
};

class DMRadio3_RateTrack_OutputType : public DMSIF_MethodOutputType {
public:
    explicit DMRadio3_RateTrack_OutputType(DMSOAPElementType* element);

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;
};
