#pragma once

// The value types of the version-2 radio directory schema: genres, stations, their
// formats and descriptions, presets, stream URLs, and the track and state types of a
// station state. Plain copyable values; each writes itself into an element tree and
// reads itself back by the schema's one set of rules (DMRadioCoding.h):
//
// - ToElement declares the prefix "RADIO2" for the schema namespace on the value's
//   element (AddChild moves it to the root, so a whole tree carries one declaration);
//   every child lies in the schema namespace, whatever namespace the caller gave.
// - Strings are written when non-empty, integers, flags, identifiers and nested values
//   always, lists only when non-empty (a wrapper holding one item per entry).
// - FromElement finds children by local name (first occurrence, any namespace) and
//   leaves the fields of absent children as they were; a null element changes nothing.
//   Numbers are read and written independently of the process locale.
//
// Each class lists its fields once, in child order, in Fields(); the coders visit it.

#include <cstdint>
#include <list>
#include <string>

#include "dms/core/DMFieldCoding.h"
#include "dms/core/DMSIFTypes.h"

// The schema namespace: the one URI of values, messages and cached elements.
inline constexpr const char* kDMRadioSchemaURI = "http://radio.zym-com.invalid/xsd/2.0/ns/";
inline constexpr const char* kDMRadioSchemaPrefix = "RADIO2";

class DMRadio_GenreType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_GenreType);
    DMSIF_IDType& GetId() { return mId; }
    const DMSIF_IDType& GetId() const { return mId; }

    DMSIF_IDType mId;
    std::string mName;
    std::string mDesc;
};

class DMRadio_StationType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_StationType);
    DMRadio_StationType(const DMSIF_IDType& id, const std::string& name, const std::list<DMSIF_IDType>& genres)
        : mId(id), mName(name), mGenres(genres) {}
    DMSIF_IDType& GetId() { return mId; }
    const DMSIF_IDType& GetId() const { return mId; }

    DMSIF_IDType mId;
    std::string mName;
    // A "Genres" wrapper replaces the list whenever present, an empty one too.
    std::list<DMSIF_IDType> mGenres;
};

class DMRadio_StationFormatType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_StationFormatType);

    DMSIF_IDType mId;
    std::string mProto;
    std::string mType;
    std::string mCodec;
    std::int32_t mBitRate = 0;
    // Read false from "false" in any letter case and from "0"; anything else is true.
    bool mVBR = false;
    float mChannels = 1.0f;  // written with one decimal
};

class DMRadio_StationBaseInfoType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_StationBaseInfoType);

    std::string mPlayMode;
    std::string mType;
    std::list<DMRadio_StationFormatType> mFormats;  // wrapper "Formats", items "Formats"
    std::string mName;
    std::string mDesc;
    std::string mLongDesc;
    std::string mNumber;
    std::list<DMSIF_IDType> mGenres;
    std::string mImgUrlBase;
    // Written as full stations; read back as full stations when an item has an "Id"
    // child, else as an identifier item (its text and "id" attribute).
    std::list<DMRadio_StationType> mRelated;
};

class DMRadio_StationInfoType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_StationInfoType);
    DMSIF_IDType& GetId() { return mId; }
    const DMSIF_IDType& GetId() const { return mId; }

    DMSIF_IDType mId;
    DMRadio_StationBaseInfoType mBase;  // "Base" is always written
    std::string mShareUrl;
    std::string mRules;
    std::string mBanners;
    std::string mPartners;
};

class DMRadio_PresetType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_PresetType);

    std::int32_t mIdx = -1;
    // An empty value is written as "-1" (an empty slot); read back as it comes.
    DMSIF_IDType mStationId;
};

class DMRadio_StationUrlType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_StationUrlType);

    DMSIF_IDType mStationId;
    // One "Url" child per entry, no wrapper; reading rebuilds the list from every "Url".
    std::list<std::string> mUrls;
};

class DMRadio_ImageType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_ImageType);

    std::string mUrl;
    std::string mType;
    std::string mGeom;
};

class DMRadio_TrkDetailsType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_TrkDetailsType);

    std::string mType;
    std::string mTrackTitle;
    std::list<DMSIF_QualIDType> mTrackIds;
    std::string mAlbumTitle;
    std::list<DMSIF_QualIDType> mAlbumIds;
    std::string mArtistName;
    std::list<DMSIF_QualIDType> mArtistIds;
};

class DMRadio_TrkInfoType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_TrkInfoType);

    DMRadio_TrkDetailsType mDetails;  // "Details" is always written
    std::string mLyrics;
    std::list<DMRadio_ImageType> mImages;
    std::string mNext;
    std::int32_t mDuration = -1;
    std::int32_t mTime = -1;
    std::int32_t mSerial = 0;
    std::string mCommerce;
};

class DMRadio_StationStateType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DM_FIELD_CODING_MEMBERS(DMRadio_StationStateType);

    DMSIF_IDType mStationId;
    std::list<DMRadio_TrkInfoType> mTracks;
};
