#include "dms/radio3/DMRadio3Types.h"

#include <utility>

#include "dms/radio3/DMRadio3Coding.h"

namespace {

const std::string kRadioNS = kDMRadio3NamespaceURI;

// An identifier held in an attribute is written as its value alone.
void AddIDAttribute(DMSOAPElementType* element, const char* name, const DMSIF_IDType& id) {
    DMRadio3AddAttributeIfSet(element, name, kRadioNS, id.mValue);
}

void AddPositiveAttribute(DMSOAPElementType* element, const char* name, std::int32_t value) {
    if (value > 0) {
        DMRadio3AddAttribute(element, name, kRadioNS, DMRadio3FormatInt(value));
    }
}

void AddPositiveChild(DMSOAPElementType* element, const char* name, std::int32_t value) {
    if (value > 0) {
        DMRadio3AddChild(element, name, kRadioNS, DMRadio3FormatInt(value));
    }
}

template <typename T>
void AddItems(DMSOAPElementType* element, const char* name, std::vector<T>& items) {
    for (T& item : items) {
        element->AddChild(item.ToElement(name, kRadioNS), false);
    }
}

bool Named(const DMSOAPElementType* element, const char* name) { return element->name == name; }

}  // namespace

// --- DMRadio3_SearchTermType ---

DMRadio3_SearchTermType::DMRadio3_SearchTermType(const std::string& boolOp, const std::string& name,
                                                 const std::string& relOp, const std::string& value)
    : mBoolOp(boolOp), mName(name), mRelOp(relOp), mValue(value) {}

DMRadio3_SearchTermType::DMRadio3_SearchTermType(DMSOAPElementType* element) {
    DMRadio3_SearchTermType::FromElement(element);
}

DMSOAPElementType* DMRadio3_SearchTermType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, mValue);
    DMRadio3AddAttribute(element, "name", kRadioNS, mName);
    DMRadio3AddAttribute(element, "relop", kRadioNS, mRelOp);
    DMRadio3AddAttributeIfSet(element, "boolop", kRadioNS, mBoolOp);
    return element;
}

void DMRadio3_SearchTermType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMRadio3ReadAttribute(element, "boolop", mBoolOp);
    DMRadio3ReadAttribute(element, "name", mName);
    DMRadio3ReadAttribute(element, "relop", mRelOp);
    mValue = element->text;
}

// --- DMRadio3_SearchEntry ---

DMRadio3_SearchEntry::DMRadio3_SearchEntry(const DMRadio3_SearchTermType& term)
    : mTerm(std::make_unique<DMRadio3_SearchTermType>(term)) {}

DMRadio3_SearchEntry::DMRadio3_SearchEntry(const DMRadio3_SearchDirectiveType& directive)
    : mDirective(std::make_unique<DMRadio3_SearchDirectiveType>(directive)) {}

DMRadio3_SearchEntry::DMRadio3_SearchEntry(std::unique_ptr<DMRadio3_SearchTermType> term) : mTerm(std::move(term)) {}

DMRadio3_SearchEntry::DMRadio3_SearchEntry(std::unique_ptr<DMRadio3_SearchDirectiveType> directive)
    : mDirective(std::move(directive)) {}

DMRadio3_SearchEntry::DMRadio3_SearchEntry(const DMRadio3_SearchEntry& other) {
    if (other.mTerm) {
        mTerm = std::make_unique<DMRadio3_SearchTermType>(*other.mTerm);
    }
    if (other.mDirective) {
        mDirective = std::make_unique<DMRadio3_SearchDirectiveType>(*other.mDirective);
    }
}

DMRadio3_SearchEntry& DMRadio3_SearchEntry::operator=(const DMRadio3_SearchEntry& other) {
    if (this != &other) {
        DMRadio3_SearchEntry copy(other);
        *this = std::move(copy);
    }
    return *this;
}

DMRadio3_SearchEntry::DMRadio3_SearchEntry(DMRadio3_SearchEntry&&) noexcept = default;
DMRadio3_SearchEntry& DMRadio3_SearchEntry::operator=(DMRadio3_SearchEntry&&) noexcept = default;
DMRadio3_SearchEntry::~DMRadio3_SearchEntry() = default;

const char* DMRadio3_SearchEntry::GetTag() const {
    if (mTerm) {
        return kDMRadio3TermTag;
    }
    if (mDirective) {
        return kDMRadio3SearchDirectiveTag;
    }
    return "";
}

// --- DMRadio3_SearchDirectiveType ---

DMRadio3_SearchDirectiveType::DMRadio3_SearchDirectiveType(DMSOAPElementType* element) {
    DMRadio3_SearchDirectiveType::FromElement(element);
}

DMSOAPElementType* DMRadio3_SearchDirectiveType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    for (DMRadio3_SearchEntry& entry : mEntries) {
        if (DMRadio3_SearchDirectiveType* nested = entry.GetDirective()) {
            element->AddChild(nested->ToElement("SearchDirective", namespaceURI), false);
        } else if (DMRadio3_SearchTermType* term = entry.GetTerm()) {
            element->AddChild(term->ToElement("Term", namespaceURI), false);
        }
    }
    DMRadio3AddAttributeIfSet(element, "boolop", kRadioNS, mBoolOp);
    return element;
}

void DMRadio3_SearchDirectiveType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    if (!element->children.empty()) {
        DMRadio3_SearchEntries entries;
        for (DMSOAPElementType* child : element->children) {
            if (Named(child, "SearchDirective")) {
                entries.emplace_back(std::make_unique<DMRadio3_SearchDirectiveType>(child));
            } else if (Named(child, "Term")) {
                entries.emplace_back(std::make_unique<DMRadio3_SearchTermType>(child));
            }
        }
        mEntries = std::move(entries);
    }
    DMRadio3ReadAttribute(element, "boolop", mBoolOp);
}

void DMRadio3_SearchDirectiveType::SetEntries(const DMRadio3_SearchEntries& entries) {
    if (&entries != &mEntries) {
        mEntries = entries;
    }
}

void DMRadio3_SearchDirectiveType::ClearEntries() { mEntries.clear(); }

bool DMRadio3_SearchDirectiveType::HasEntries() const {
    for (const DMRadio3_SearchEntry& entry : mEntries) {
        if (entry.GetTerm() || entry.GetDirective()) {
            return true;
        }
    }
    return false;
}

// --- DMRadio3_CategoryType ---

DMRadio3_CategoryType::DMRadio3_CategoryType(DMSOAPElementType* element) {
    DMRadio3_CategoryType::FromElement(element);
}

DMSOAPElementType* DMRadio3_CategoryType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    AddIDAttribute(element, "categoryId", mCategoryId);
    DMRadio3AddLocStringIfSet(element, "Name", kRadioNS, mName);
    DMRadio3AddLocStringIfSet(element, "Desc", kRadioNS, mDesc);
    return element;
}

void DMRadio3_CategoryType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMRadio3ReadIDAttribute(element, "categoryId", mCategoryId);
    DMRadio3ReadLocString(element, "Name", mName);
    DMRadio3ReadLocString(element, "Desc", mDesc);
}

// --- DMRadio3_StationType ---

DMRadio3_StationType::DMRadio3_StationType(DMSOAPElementType* element) { DMRadio3_StationType::FromElement(element); }

DMSOAPElementType* DMRadio3_StationType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    AddIDAttribute(element, "stationId", mStationId);
    DMRadio3AddAttributeIfSet(element, "playMode", kRadioNS, mPlayMode);
    DMRadio3AddLocStringIfSet(element, "Name", kRadioNS, mName);
    DMRadio3AddLocStringIfSet(element, "Desc", kRadioNS, mDesc);
    AddItems(element, "Category", mCategories);
    return element;
}

void DMRadio3_StationType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMRadio3ReadIDAttribute(element, "stationId", mStationId);
    DMRadio3ReadAttribute(element, "playMode", mPlayMode);
    DMRadio3ReadLocString(element, "Name", mName);
    DMRadio3ReadLocString(element, "Desc", mDesc);
    if (!element->children.empty()) {
        std::vector<DMSIF_IDType> categories;
        for (DMSOAPElementType* child : element->children) {
            if (Named(child, "Category")) {
                categories.emplace_back(child);
            }
        }
        mCategories = std::move(categories);
    }
}

// --- DMRadio3_StationFormatType ---

DMRadio3_StationFormatType::DMRadio3_StationFormatType(DMSOAPElementType* element) {
    DMRadio3_StationFormatType::FromElement(element);
}

DMSOAPElementType* DMRadio3_StationFormatType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    AddIDAttribute(element, "mediaFormatId", mMediaFormatId);
    AddIDAttribute(element, "progId", mProgId);
    return element;
}

void DMRadio3_StationFormatType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMRadio3ReadIDAttribute(element, "mediaFormatId", mMediaFormatId);
    DMRadio3ReadIDAttribute(element, "progId", mProgId);
}

// --- DMRadio3_MediaFormatChannelType ---

DMRadio3_MediaFormatChannelType::DMRadio3_MediaFormatChannelType(DMSOAPElementType* element) {
    DMRadio3_MediaFormatChannelType::FromElement(element);
}

DMSOAPElementType* DMRadio3_MediaFormatChannelType::ToElement(const std::string& name,
                                                              const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMRadio3AddAttributeIfSet(element, "class", kRadioNS, mClass);
    DMRadio3AddLocStringIfSet(element, "Desc", kRadioNS, mDesc);
    DMRadio3AddChildIfSet(element, "Proto", kRadioNS, mProto);
    DMRadio3AddChildIfSet(element, "Mime", kRadioNS, mMime);
    DMRadio3AddChildIfSet(element, "Codec", kRadioNS, mCodec);
    AddPositiveChild(element, "BitRate", mBitRate);
    AddPositiveChild(element, "AvgBitRate", mAvgBitRate);
    if (mVBR >= 0) {
        DMRadio3AddChild(element, "VBR", kRadioNS, mVBR == 1 ? "true" : "false");
    }
    if (mChannels > 0.0f) {
        DMRadio3AddChild(element, "Channels", kRadioNS, DMRadio3FormatFloat(mChannels));
    }
    return element;
}

void DMRadio3_MediaFormatChannelType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMRadio3ReadAttribute(element, "class", mClass);
    DMRadio3ReadLocString(element, "Desc", mDesc);
    DMRadio3ReadChildText(element, "Proto", mProto);
    DMRadio3ReadChildText(element, "Mime", mMime);
    DMRadio3ReadChildText(element, "Codec", mCodec);
    DMRadio3ReadIntChild(element, "BitRate", mBitRate);
    DMRadio3ReadIntChild(element, "AvgBitRate", mAvgBitRate);
    if (const DMSOAPElementType* vbr = element->FindChild("VBR", 1)) {
        const std::string& t = vbr->text;
        mVBR = (t == "true" || t == "1" || t == "yes") ? 1 : 0;
    }
    if (const DMSOAPElementType* channels = element->FindChild("Channels", 1)) {
        DMRadio3ScanFloat(channels->text, mChannels);
    }
}

// --- DMRadio3_MediaFormatType ---

DMRadio3_MediaFormatType::DMRadio3_MediaFormatType(DMSOAPElementType* element) {
    DMRadio3_MediaFormatType::FromElement(element);
}

DMSOAPElementType* DMRadio3_MediaFormatType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    AddIDAttribute(element, "mediaFormatId", mMediaFormatId);
    DMRadio3AddChildIfSet(element, "Mime", kRadioNS, mMime);
    DMRadio3AddLocStringIfSet(element, "Desc", kRadioNS, mDesc);
    AddItems(element, "Channel", mChannels);
    return element;
}

void DMRadio3_MediaFormatType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMRadio3ReadIDAttribute(element, "mediaFormatId", mMediaFormatId);
    DMRadio3ReadChildText(element, "Mime", mMime);
    DMRadio3ReadLocString(element, "Desc", mDesc);
    if (!element->children.empty()) {
        std::vector<DMRadio3_MediaFormatChannelType> channels;
        for (DMSOAPElementType* child : element->children) {
            if (Named(child, "Channel")) {
                channels.emplace_back(child);
            }
        }
        mChannels = std::move(channels);
    }
}

// --- DMRadio3_ImageType ---

DMRadio3_ImageType::DMRadio3_ImageType(DMSOAPElementType* element) { DMRadio3_ImageType::FromElement(element); }

DMSOAPElementType* DMRadio3_ImageType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMRadio3AddAttributeIfSet(element, "url", kRadioNS, mUrl);
    DMRadio3AddAttributeIfSet(element, "type", kRadioNS, mType);
    AddPositiveAttribute(element, "width", mWidth);
    AddPositiveAttribute(element, "height", mHeight);
    AddPositiveAttribute(element, "colorDepth", mColorDepth);
    return element;
}

void DMRadio3_ImageType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMRadio3ReadAttribute(element, "url", mUrl);
    DMRadio3ReadAttribute(element, "type", mType);
    DMRadio3ReadIntAttribute(element, "width", mWidth);
    DMRadio3ReadIntAttribute(element, "height", mHeight);
    DMRadio3ReadIntAttribute(element, "colorDepth", mColorDepth);
}

// --- DMRadio3_BannerType ---

DMRadio3_BannerType::DMRadio3_BannerType(DMSOAPElementType* element) { DMRadio3_BannerType::FromElement(element); }

DMSOAPElementType* DMRadio3_BannerType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    if (!mImage.mUrl.empty()) {
        element->AddChild(mImage.ToElement("Image", kRadioNS), false);
    }
    DMRadio3AddChildIfSet(element, "Url", kRadioNS, mUrl);
    DMRadio3AddLocStringIfSet(element, "Text", kRadioNS, mText);
    AddPositiveAttribute(element, "width", mWidth);
    AddPositiveAttribute(element, "height", mHeight);
    DMRadio3AddAttributeIfSet(element, "bannerId", kRadioNS, mBannerId);
    DMRadio3AddAttributeIfSet(element, "magicNumber", kRadioNS, mMagicNumber);
    DMRadio3AddAttributeIfSet(element, "flavorId", kRadioNS, mFlavorId);
    return element;
}

void DMRadio3_BannerType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    if (DMSOAPElementType* image = element->FindChild("Image", 1)) {
        mImage = DMRadio3_ImageType(image);
    }
    DMRadio3ReadChildText(element, "Url", mUrl);
    DMRadio3ReadLocString(element, "Text", mText);
    DMRadio3ReadIntAttribute(element, "width", mWidth);
    DMRadio3ReadIntAttribute(element, "height", mHeight);
    DMRadio3ReadAttribute(element, "bannerId", mBannerId);
    DMRadio3ReadAttribute(element, "magicNumber", mMagicNumber);
    DMRadio3ReadAttribute(element, "flavorId", mFlavorId);
}

// --- DMRadio3_TrkInfoType ---

DMRadio3_TrkInfoType::DMRadio3_TrkInfoType(DMSOAPElementType* element) { DMRadio3_TrkInfoType::FromElement(element); }

DMSOAPElementType* DMRadio3_TrkInfoType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMRadio3AddChildIfSet(element, "Type", kRadioNS, mType);
    DMRadio3AddLocStringIfSet(element, "TrackTitle", kRadioNS, mTrackTitle);
    DMRadio3AddLocStringIfSet(element, "AlbumTitle", kRadioNS, mAlbumTitle);
    DMRadio3AddLocStringIfSet(element, "ArtistName", kRadioNS, mArtistName);
    DMRadio3AddLocStringIfSet(element, "Next", kRadioNS, mNext);
    DMRadio3AddChildIfSet(element, "Lyrics", kRadioNS, mLyrics);
    AddPositiveChild(element, "Duration", mDuration);
    AddPositiveChild(element, "Time", mTime);
    AddItems(element, "TrackId", mTrackIds);
    AddItems(element, "AlbumIdUrl", mAlbumIdUrls);
    AddItems(element, "ArtistIdUrl", mArtistIdUrls);
    AddItems(element, "Image", mImages);
    return element;
}

void DMRadio3_TrkInfoType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMRadio3ReadChildText(element, "Type", mType);
    DMRadio3ReadLocString(element, "TrackTitle", mTrackTitle);
    DMRadio3ReadLocString(element, "AlbumTitle", mAlbumTitle);
    DMRadio3ReadLocString(element, "ArtistName", mArtistName);
    DMRadio3ReadLocString(element, "Next", mNext);
    DMRadio3ReadChildText(element, "Lyrics", mLyrics);
    DMRadio3ReadIntChild(element, "Duration", mDuration);
    DMRadio3ReadIntChild(element, "Time", mTime);
    if (!element->children.empty()) {
        std::vector<DMSIF_QualIDType> trackIds;
        std::vector<DMSIF_QualIDType> albumIdUrls;
        std::vector<DMSIF_QualIDType> artistIdUrls;
        std::vector<DMRadio3_ImageType> images;
        for (DMSOAPElementType* child : element->children) {
            if (Named(child, "TrackId")) {
                trackIds.emplace_back(child);
            } else if (Named(child, "AlbumIdUrl")) {
                albumIdUrls.emplace_back(child);
            } else if (Named(child, "ArtistIdUrl")) {
                artistIdUrls.emplace_back(child);
            } else if (Named(child, "Image")) {
                images.emplace_back(child);
            }
        }
        mTrackIds = std::move(trackIds);
        mAlbumIdUrls = std::move(albumIdUrls);
        mArtistIdUrls = std::move(artistIdUrls);
        mImages = std::move(images);
    }
}

// --- DMRadio3_StationStateType ---

DMRadio3_StationStateType::DMRadio3_StationStateType(DMSOAPElementType* element) {
    DMRadio3_StationStateType::FromElement(element);
}

DMSOAPElementType* DMRadio3_StationStateType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    AddIDAttribute(element, "stationId", mStationId);
    AddItems(element, "Track", mTracks);
    return element;
}

void DMRadio3_StationStateType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMRadio3ReadIDAttribute(element, "stationId", mStationId);
    if (!element->children.empty()) {
        std::vector<DMRadio3_TrkInfoType> tracks;
        for (DMSOAPElementType* child : element->children) {
            if (Named(child, "Track")) {
                tracks.emplace_back(child);
            }
        }
        mTracks = std::move(tracks);
    }
}

// --- DMRadio3_StationInfoType ---

DMRadio3_StationInfoType::DMRadio3_StationInfoType(DMSOAPElementType* element) {
    DMRadio3_StationInfoType::FromElement(element);
}

DMSOAPElementType* DMRadio3_StationInfoType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    AddIDAttribute(element, "stationId", mStationId);
    DMRadio3AddAttributeIfSet(element, "playMode", kRadioNS, mPlayMode);
    DMRadio3AddAttributeIfSet(element, "type", kRadioNS, mType);
    DMRadio3AddLocStringIfSet(element, "Name", kRadioNS, mName);
    DMRadio3AddLocStringIfSet(element, "Desc", kRadioNS, mDesc);
    DMRadio3AddLocStringIfSet(element, "LongDesc", kRadioNS, mLongDesc);
    DMRadio3AddChildIfSet(element, "ImageUrlBase", kRadioNS, mImageUrlBase);
    DMRadio3AddChildIfSet(element, "StationUrl", kRadioNS, mStationUrl);
    DMRadio3AddChildIfSet(element, "ShareUrl", kRadioNS, mShareUrl);
    AddItems(element, "Format", mFormats);
    AddItems(element, "Category", mCategories);
    AddItems(element, "Image", mImages);
    AddItems(element, "Related", mRelated);
    AddItems(element, "Banner", mBanners);
    return element;
}

void DMRadio3_StationInfoType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMRadio3ReadIDAttribute(element, "stationId", mStationId);
    DMRadio3ReadAttribute(element, "playMode", mPlayMode);
    DMRadio3ReadAttribute(element, "type", mType);
    DMRadio3ReadLocString(element, "Name", mName);
    DMRadio3ReadLocString(element, "Desc", mDesc);
    DMRadio3ReadLocString(element, "LongDesc", mLongDesc);
    DMRadio3ReadChildText(element, "ImageUrlBase", mImageUrlBase);
    DMRadio3ReadChildText(element, "StationUrl", mStationUrl);
    DMRadio3ReadChildText(element, "ShareUrl", mShareUrl);
    if (!element->children.empty()) {
        std::vector<DMRadio3_StationFormatType> formats;
        std::vector<DMSIF_IDType> categories;
        std::vector<DMRadio3_ImageType> images;
        std::vector<DMSIF_IDType> related;
        std::vector<DMRadio3_BannerType> banners;
        for (DMSOAPElementType* child : element->children) {
            if (Named(child, "Format")) {
                formats.emplace_back(child);
            } else if (Named(child, "Category")) {
                categories.emplace_back(child);
            } else if (Named(child, "Image")) {
                images.emplace_back(child);
            } else if (Named(child, "Related")) {
                related.emplace_back(child);
            } else if (Named(child, "Banner")) {
                banners.emplace_back(child);
            }
        }
        mFormats = std::move(formats);
        mCategories = std::move(categories);
        mImages = std::move(images);
        mRelated = std::move(related);
        mBanners = std::move(banners);
    }
}
