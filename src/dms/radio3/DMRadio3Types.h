#pragma once

// The value types of the version-3 radio directory schema. Each writes itself into the
// element tree (ToElement, the caller owns the result) and reads itself back
// (FromElement). Writing leaves out empty strings, integers of 0 or below, a float of 0
// or below and the ids of identifiers held in attributes, so a value read back from what
// it wrote keeps all else. Reading finds attributes and children by local name in any
// namespace, leaves a member unchanged when its part is absent or its number does not
// convert, and rebuilds lists only from an element that has child elements. Nothing
// here throws except on an exhausted heap.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dms/core/DMSIFTypes.h"

inline constexpr const char* kDMRadio3NamespaceURI = "urn:zym-com:ns:service:radio:3.0";
// The prefix a serializer binds to the namespace, so that the schema's qualified
// attributes stay qualified in text.
inline constexpr const char* kDMRadio3NamespacePrefix = "radio";

// --- search vocabulary ---

class DMRadio3_SearchTermType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DMRadio3_SearchTermType() = default;
    DMRadio3_SearchTermType(const std::string& boolOp, const std::string& name, const std::string& relOp,
                            const std::string& value);
    explicit DMRadio3_SearchTermType(DMSOAPElementType* element);
    DMRadio3_SearchTermType(const DMRadio3_SearchTermType&) = default;
    DMRadio3_SearchTermType& operator=(const DMRadio3_SearchTermType&) = default;
    virtual ~DMRadio3_SearchTermType() = default;

    // "name" and "relop" are written even when empty; the value is the element's text.
    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    // The value always becomes the element's text.
    void FromElement(DMSOAPElementType* element) override;

    std::string mBoolOp;  // attribute "boolop"
    std::string mName;    // attribute "name"
    std::string mRelOp;   // attribute "relop"
    std::string mValue;   // text
};

class DMRadio3_SearchDirectiveType;

// One entry of a directive, owned by it: a term or a nested directive. The tag follows
// from what the entry holds, so the two cannot disagree. Copies are deep.
class DMRadio3_SearchEntry {
public:
    explicit DMRadio3_SearchEntry(const DMRadio3_SearchTermType& term);
    explicit DMRadio3_SearchEntry(const DMRadio3_SearchDirectiveType& directive);
    explicit DMRadio3_SearchEntry(std::unique_ptr<DMRadio3_SearchTermType> term);
    explicit DMRadio3_SearchEntry(std::unique_ptr<DMRadio3_SearchDirectiveType> directive);
    DMRadio3_SearchEntry(const DMRadio3_SearchEntry& other);
    DMRadio3_SearchEntry& operator=(const DMRadio3_SearchEntry& other);
    DMRadio3_SearchEntry(DMRadio3_SearchEntry&&) noexcept;
    DMRadio3_SearchEntry& operator=(DMRadio3_SearchEntry&&) noexcept;
    ~DMRadio3_SearchEntry();

    // "term" or "searchdirective" ("" only for an entry moved from).
    const char* GetTag() const;
    // Null unless the entry is of that kind.
    DMRadio3_SearchTermType* GetTerm() const { return mTerm.get(); }
    DMRadio3_SearchDirectiveType* GetDirective() const { return mDirective.get(); }

private:
    std::unique_ptr<DMRadio3_SearchTermType> mTerm;
    std::unique_ptr<DMRadio3_SearchDirectiveType> mDirective;
};

using DMRadio3_SearchEntries = std::vector<DMRadio3_SearchEntry>;

inline constexpr const char* kDMRadio3TermTag = "term";
inline constexpr const char* kDMRadio3SearchDirectiveTag = "searchdirective";

class DMRadio3_SearchDirectiveType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DMRadio3_SearchDirectiveType() = default;
    explicit DMRadio3_SearchDirectiveType(DMSOAPElementType* element);
    DMRadio3_SearchDirectiveType(const DMRadio3_SearchDirectiveType&) = default;
    DMRadio3_SearchDirectiveType& operator=(const DMRadio3_SearchDirectiveType&) = default;
    virtual ~DMRadio3_SearchDirectiveType() = default;

    // Nested "Term" and "SearchDirective" children are written in the namespace passed
    // here, not the radio namespace; "boolop" is in the radio namespace.
    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;

    // Deep copies of the given entries replace the directive's own.
    void SetEntries(const DMRadio3_SearchEntries& entries);
    void ClearEntries();
    // Whether some entry holds a term or a nested directive.
    bool HasEntries() const;

    DMRadio3_SearchEntries mEntries;
    std::string mBoolOp;  // attribute "boolop"
};

// --- directory ---

class DMRadio3_CategoryType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DMRadio3_CategoryType() = default;
    explicit DMRadio3_CategoryType(DMSOAPElementType* element);
    DMRadio3_CategoryType(const DMRadio3_CategoryType&) = default;
    DMRadio3_CategoryType& operator=(const DMRadio3_CategoryType&) = default;
    virtual ~DMRadio3_CategoryType() = default;

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;

    DMSIF_IDType mCategoryId;   // attribute "categoryId"
    DMSIF_LocStringType mName;  // child "Name"
    DMSIF_LocStringType mDesc;  // child "Desc"
};

class DMRadio3_StationType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DMRadio3_StationType() = default;
    explicit DMRadio3_StationType(DMSOAPElementType* element);
    DMRadio3_StationType(const DMRadio3_StationType&) = default;
    DMRadio3_StationType& operator=(const DMRadio3_StationType&) = default;
    virtual ~DMRadio3_StationType() = default;

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;

    DMSIF_IDType mStationId;                // attribute "stationId"
    std::string mPlayMode;                  // attribute "playMode"
    DMSIF_LocStringType mName;              // child "Name"
    DMSIF_LocStringType mDesc;              // child "Desc"
    std::vector<DMSIF_IDType> mCategories;  // children "Category"
};

class DMRadio3_StationFormatType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DMRadio3_StationFormatType() = default;
    explicit DMRadio3_StationFormatType(DMSOAPElementType* element);
    DMRadio3_StationFormatType(const DMRadio3_StationFormatType&) = default;
    DMRadio3_StationFormatType& operator=(const DMRadio3_StationFormatType&) = default;
    virtual ~DMRadio3_StationFormatType() = default;

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;

    DMSIF_IDType mMediaFormatId;  // attribute "mediaFormatId"
    DMSIF_IDType mProgId;         // attribute "progId"
};

// --- media formats ---

class DMRadio3_MediaFormatChannelType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DMRadio3_MediaFormatChannelType() = default;
    explicit DMRadio3_MediaFormatChannelType(DMSOAPElementType* element);
    DMRadio3_MediaFormatChannelType(const DMRadio3_MediaFormatChannelType&) = default;
    DMRadio3_MediaFormatChannelType& operator=(const DMRadio3_MediaFormatChannelType&) = default;
    virtual ~DMRadio3_MediaFormatChannelType() = default;

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;

    std::string mClass;            // attribute "class"
    DMSIF_LocStringType mDesc;     // child "Desc"
    std::string mProto;            // child "Proto"
    std::string mMime;             // child "Mime"
    std::string mCodec;            // child "Codec"
    std::int32_t mBitRate = 0;     // child "BitRate", bits per second
    std::int32_t mAvgBitRate = 0;  // child "AvgBitRate"
    std::int32_t mVBR = -1;        // child "VBR": -1 not stated, 0 no, 1 yes
    float mChannels = 0.0f;        // child "Channels"
};

class DMRadio3_MediaFormatType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DMRadio3_MediaFormatType() = default;
    explicit DMRadio3_MediaFormatType(DMSOAPElementType* element);
    DMRadio3_MediaFormatType(const DMRadio3_MediaFormatType&) = default;
    DMRadio3_MediaFormatType& operator=(const DMRadio3_MediaFormatType&) = default;
    virtual ~DMRadio3_MediaFormatType() = default;

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;

    DMSIF_IDType mMediaFormatId;                             // attribute "mediaFormatId"
    std::string mMime;                                       // child "Mime"
    DMSIF_LocStringType mDesc;                               // child "Desc"
    std::vector<DMRadio3_MediaFormatChannelType> mChannels;  // children "Channel"
};

// --- images and banners ---

class DMRadio3_ImageType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DMRadio3_ImageType() = default;
    explicit DMRadio3_ImageType(DMSOAPElementType* element);
    DMRadio3_ImageType(const DMRadio3_ImageType&) = default;
    DMRadio3_ImageType& operator=(const DMRadio3_ImageType&) = default;
    virtual ~DMRadio3_ImageType() = default;

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;

    std::string mUrl;              // attribute "url"
    std::string mType;             // attribute "type"
    std::int32_t mWidth = 0;       // attribute "width"
    std::int32_t mHeight = 0;      // attribute "height"
    std::int32_t mColorDepth = 0;  // attribute "colorDepth"
};

class DMRadio3_BannerType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DMRadio3_BannerType() = default;
    explicit DMRadio3_BannerType(DMSOAPElementType* element);
    DMRadio3_BannerType(const DMRadio3_BannerType&) = default;
    DMRadio3_BannerType& operator=(const DMRadio3_BannerType&) = default;
    virtual ~DMRadio3_BannerType() = default;

    // The image is written only when it has a URL.
    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;

    DMRadio3_ImageType mImage;  // child "Image"
    std::string mUrl;           // child "Url"
    DMSIF_LocStringType mText;  // child "Text"
    std::int32_t mWidth = 0;    // attribute "width"
    std::int32_t mHeight = 0;   // attribute "height"
    std::string mBannerId;      // attribute "bannerId"
    std::string mMagicNumber;   // attribute "magicNumber"
    std::string mFlavorId;      // attribute "flavorId"
};

// --- track information, station state and station information ---

class DMRadio3_TrkInfoType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DMRadio3_TrkInfoType() = default;
    explicit DMRadio3_TrkInfoType(DMSOAPElementType* element);
    DMRadio3_TrkInfoType(const DMRadio3_TrkInfoType&) = default;
    DMRadio3_TrkInfoType& operator=(const DMRadio3_TrkInfoType&) = default;
    virtual ~DMRadio3_TrkInfoType() = default;

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;

    std::string mType;                            // child "Type"
    DMSIF_LocStringType mTrackTitle;              // child "TrackTitle"
    std::vector<DMSIF_QualIDType> mTrackIds;      // children "TrackId"
    DMSIF_LocStringType mAlbumTitle;              // child "AlbumTitle"
    std::vector<DMSIF_QualIDType> mAlbumIdUrls;   // children "AlbumIdUrl"
    DMSIF_LocStringType mArtistName;              // child "ArtistName"
    std::vector<DMSIF_QualIDType> mArtistIdUrls;  // children "ArtistIdUrl"
    std::string mLyrics;                          // child "Lyrics"
    std::vector<DMRadio3_ImageType> mImages;      // children "Image"
    DMSIF_LocStringType mNext;                    // child "Next"
    std::int32_t mDuration = 0;                   // child "Duration", milliseconds
    std::int32_t mTime = 0;                       // child "Time", milliseconds
};

class DMRadio3_StationStateType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DMRadio3_StationStateType() = default;
    explicit DMRadio3_StationStateType(DMSOAPElementType* element);
    DMRadio3_StationStateType(const DMRadio3_StationStateType&) = default;
    DMRadio3_StationStateType& operator=(const DMRadio3_StationStateType&) = default;
    virtual ~DMRadio3_StationStateType() = default;

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;

    DMSIF_IDType mStationId;                    // attribute "stationId"
    std::vector<DMRadio3_TrkInfoType> mTracks;  // children "Track"
};

class DMRadio3_StationInfoType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DMRadio3_StationInfoType() = default;
    explicit DMRadio3_StationInfoType(DMSOAPElementType* element);
    DMRadio3_StationInfoType(const DMRadio3_StationInfoType&) = default;
    DMRadio3_StationInfoType& operator=(const DMRadio3_StationInfoType&) = default;
    virtual ~DMRadio3_StationInfoType() = default;

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;

    DMSIF_IDType mStationId;                           // attribute "stationId"
    std::string mPlayMode;                             // attribute "playMode"
    std::string mType;                                 // attribute "type"
    std::vector<DMRadio3_StationFormatType> mFormats;  // children "Format"
    DMSIF_LocStringType mName;                         // child "Name"
    DMSIF_LocStringType mDesc;                         // child "Desc"
    DMSIF_LocStringType mLongDesc;                     // child "LongDesc"
    std::vector<DMSIF_IDType> mCategories;             // children "Category"
    std::string mImageUrlBase;                         // child "ImageUrlBase"
    std::vector<DMRadio3_ImageType> mImages;           // children "Image"
    std::vector<DMSIF_IDType> mRelated;                // children "Related"
    std::string mStationUrl;                           // child "StationUrl"
    std::vector<DMRadio3_BannerType> mBanners;         // children "Banner"
    std::string mShareUrl;                             // child "ShareUrl"
};
