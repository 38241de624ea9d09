#include "dms/radio3/DMRadio3Types.h"

#include <utility>

#include "dms/core/DMElementCoding.h"

namespace {

const std::string kRadioNS = kDMRadio3NamespaceURI;

// An identifier held in an attribute is written as its value alone.
void AddIDAttribute(DMSOAPElementType* element, const char* name, const DMSIF_IDType& id) {
    DMAddAttributeIfSet(element, name, kRadioNS, id.mValue);
}

void AddPositiveAttribute(DMSOAPElementType* element, const char* name, std::int32_t value) {
    if (value > 0) {
        DMAddAttribute(element, name, kRadioNS, DMFormatInt(value));
    }
}

void AddPositiveChild(DMSOAPElementType* element, const char* name, std::int32_t value) {
    if (value > 0) {
        DMAddChild(element, name, kRadioNS, DMFormatInt(value));
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
    DMAddAttribute(element, "name", kRadioNS, mName);
    DMAddAttribute(element, "relop", kRadioNS, mRelOp);
    DMAddAttributeIfSet(element, "boolop", kRadioNS, mBoolOp);
    return element;
}

void DMRadio3_SearchTermType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadAttribute(element, "boolop", mBoolOp);
    DMReadAttribute(element, "name", mName);
    DMReadAttribute(element, "relop", mRelOp);
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
    DMAddAttributeIfSet(element, "boolop", kRadioNS, mBoolOp);
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
    DMReadAttribute(element, "boolop", mBoolOp);
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
    DMAddLocStringIfSet(element, "Name", kRadioNS, mName);
    DMAddLocStringIfSet(element, "Desc", kRadioNS, mDesc);
    return element;
}

void DMRadio3_CategoryType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadIDAttribute(element, "categoryId", mCategoryId);
    DMReadLocString(element, "Name", mName);
    DMReadLocString(element, "Desc", mDesc);
}

// --- DMRadio3_StationType ---

DMRadio3_StationType::DMRadio3_StationType(DMSOAPElementType* element) { DMRadio3_StationType::FromElement(element); }

DMSOAPElementType* DMRadio3_StationType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    AddIDAttribute(element, "stationId", mStationId);
    DMAddAttributeIfSet(element, "playMode", kRadioNS, mPlayMode);
    DMAddLocStringIfSet(element, "Name", kRadioNS, mName);
    DMAddLocStringIfSet(element, "Desc", kRadioNS, mDesc);
    DMAddItems(element, "Category", kRadioNS, mCategories);
    return element;
}

void DMRadio3_StationType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadIDAttribute(element, "stationId", mStationId);
    DMReadAttribute(element, "playMode", mPlayMode);
    DMReadLocString(element, "Name", mName);
    DMReadLocString(element, "Desc", mDesc);
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
    DMReadIDAttribute(element, "mediaFormatId", mMediaFormatId);
    DMReadIDAttribute(element, "progId", mProgId);
}

// --- DMRadio3_MediaFormatChannelType ---

DMRadio3_MediaFormatChannelType::DMRadio3_MediaFormatChannelType(DMSOAPElementType* element) {
    DMRadio3_MediaFormatChannelType::FromElement(element);
}

DMSOAPElementType* DMRadio3_MediaFormatChannelType::ToElement(const std::string& name,
                                                              const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMAddAttributeIfSet(element, "class", kRadioNS, mClass);
    DMAddLocStringIfSet(element, "Desc", kRadioNS, mDesc);
    DMAddChildIfSet(element, "Proto", kRadioNS, mProto);
    DMAddChildIfSet(element, "Mime", kRadioNS, mMime);
    DMAddChildIfSet(element, "Codec", kRadioNS, mCodec);
    AddPositiveChild(element, "BitRate", mBitRate);
    AddPositiveChild(element, "AvgBitRate", mAvgBitRate);
    if (mVBR >= 0) {
        DMAddChild(element, "VBR", kRadioNS, mVBR == 1 ? "true" : "false");
    }
    if (mChannels > 0.0f) {
        DMAddChild(element, "Channels", kRadioNS, DMFormatFloat(mChannels));
    }
    return element;
}

void DMRadio3_MediaFormatChannelType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadAttribute(element, "class", mClass);
    DMReadLocString(element, "Desc", mDesc);
    DMReadChildText(element, "Proto", mProto);
    DMReadChildText(element, "Mime", mMime);
    DMReadChildText(element, "Codec", mCodec);
    DMReadIntChild(element, "BitRate", mBitRate);
    DMReadIntChild(element, "AvgBitRate", mAvgBitRate);
    if (const DMSOAPElementType* vbr = element->FindChild("VBR", 1)) {
        const std::string& t = vbr->text;
        mVBR = (t == "true" || t == "1" || t == "yes") ? 1 : 0;
    }
    if (const DMSOAPElementType* channels = element->FindChild("Channels", 1)) {
        DMScanFloat(channels->text, mChannels);
    }
}

// --- DMRadio3_MediaFormatType ---

DMRadio3_MediaFormatType::DMRadio3_MediaFormatType(DMSOAPElementType* element) {
    DMRadio3_MediaFormatType::FromElement(element);
}

DMSOAPElementType* DMRadio3_MediaFormatType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    AddIDAttribute(element, "mediaFormatId", mMediaFormatId);
    DMAddChildIfSet(element, "Mime", kRadioNS, mMime);
    DMAddLocStringIfSet(element, "Desc", kRadioNS, mDesc);
    DMAddItems(element, "Channel", kRadioNS, mChannels);
    return element;
}

void DMRadio3_MediaFormatType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadIDAttribute(element, "mediaFormatId", mMediaFormatId);
    DMReadChildText(element, "Mime", mMime);
    DMReadLocString(element, "Desc", mDesc);
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
    DMAddAttributeIfSet(element, "url", kRadioNS, mUrl);
    DMAddAttributeIfSet(element, "type", kRadioNS, mType);
    AddPositiveAttribute(element, "width", mWidth);
    AddPositiveAttribute(element, "height", mHeight);
    AddPositiveAttribute(element, "colorDepth", mColorDepth);
    return element;
}

void DMRadio3_ImageType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadAttribute(element, "url", mUrl);
    DMReadAttribute(element, "type", mType);
    DMReadIntAttribute(element, "width", mWidth);
    DMReadIntAttribute(element, "height", mHeight);
    DMReadIntAttribute(element, "colorDepth", mColorDepth);
}

// --- DMRadio3_BannerType ---

DMRadio3_BannerType::DMRadio3_BannerType(DMSOAPElementType* element) { DMRadio3_BannerType::FromElement(element); }

DMSOAPElementType* DMRadio3_BannerType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    if (!mImage.mUrl.empty()) {
        element->AddChild(mImage.ToElement("Image", kRadioNS), false);
    }
    DMAddChildIfSet(element, "Url", kRadioNS, mUrl);
    DMAddLocStringIfSet(element, "Text", kRadioNS, mText);
    AddPositiveAttribute(element, "width", mWidth);
    AddPositiveAttribute(element, "height", mHeight);
    DMAddAttributeIfSet(element, "bannerId", kRadioNS, mBannerId);
    DMAddAttributeIfSet(element, "magicNumber", kRadioNS, mMagicNumber);
    DMAddAttributeIfSet(element, "flavorId", kRadioNS, mFlavorId);
    return element;
}

void DMRadio3_BannerType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    if (DMSOAPElementType* image = element->FindChild("Image", 1)) {
        mImage = DMRadio3_ImageType(image);
    }
    DMReadChildText(element, "Url", mUrl);
    DMReadLocString(element, "Text", mText);
    DMReadIntAttribute(element, "width", mWidth);
    DMReadIntAttribute(element, "height", mHeight);
    DMReadAttribute(element, "bannerId", mBannerId);
    DMReadAttribute(element, "magicNumber", mMagicNumber);
    DMReadAttribute(element, "flavorId", mFlavorId);
}

// --- DMRadio3_TrkInfoType ---

DMRadio3_TrkInfoType::DMRadio3_TrkInfoType(DMSOAPElementType* element) { DMRadio3_TrkInfoType::FromElement(element); }

DMSOAPElementType* DMRadio3_TrkInfoType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMAddChildIfSet(element, "Type", kRadioNS, mType);
    DMAddLocStringIfSet(element, "TrackTitle", kRadioNS, mTrackTitle);
    DMAddLocStringIfSet(element, "AlbumTitle", kRadioNS, mAlbumTitle);
    DMAddLocStringIfSet(element, "ArtistName", kRadioNS, mArtistName);
    DMAddLocStringIfSet(element, "Next", kRadioNS, mNext);
    DMAddChildIfSet(element, "Lyrics", kRadioNS, mLyrics);
    AddPositiveChild(element, "Duration", mDuration);
    AddPositiveChild(element, "Time", mTime);
    DMAddItems(element, "TrackId", kRadioNS, mTrackIds);
    DMAddItems(element, "AlbumIdUrl", kRadioNS, mAlbumIdUrls);
    DMAddItems(element, "ArtistIdUrl", kRadioNS, mArtistIdUrls);
    DMAddItems(element, "Image", kRadioNS, mImages);
    return element;
}

void DMRadio3_TrkInfoType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadChildText(element, "Type", mType);
    DMReadLocString(element, "TrackTitle", mTrackTitle);
    DMReadLocString(element, "AlbumTitle", mAlbumTitle);
    DMReadLocString(element, "ArtistName", mArtistName);
    DMReadLocString(element, "Next", mNext);
    DMReadChildText(element, "Lyrics", mLyrics);
    DMReadIntChild(element, "Duration", mDuration);
    DMReadIntChild(element, "Time", mTime);
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
    DMAddItems(element, "Track", kRadioNS, mTracks);
    return element;
}

void DMRadio3_StationStateType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadIDAttribute(element, "stationId", mStationId);
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
    DMAddAttributeIfSet(element, "playMode", kRadioNS, mPlayMode);
    DMAddAttributeIfSet(element, "type", kRadioNS, mType);
    DMAddLocStringIfSet(element, "Name", kRadioNS, mName);
    DMAddLocStringIfSet(element, "Desc", kRadioNS, mDesc);
    DMAddLocStringIfSet(element, "LongDesc", kRadioNS, mLongDesc);
    DMAddChildIfSet(element, "ImageUrlBase", kRadioNS, mImageUrlBase);
    DMAddChildIfSet(element, "StationUrl", kRadioNS, mStationUrl);
    DMAddChildIfSet(element, "ShareUrl", kRadioNS, mShareUrl);
    DMAddItems(element, "Format", kRadioNS, mFormats);
    DMAddItems(element, "Category", kRadioNS, mCategories);
    DMAddItems(element, "Image", kRadioNS, mImages);
    DMAddItems(element, "Related", kRadioNS, mRelated);
    DMAddItems(element, "Banner", kRadioNS, mBanners);
    return element;
}

void DMRadio3_StationInfoType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadIDAttribute(element, "stationId", mStationId);
    DMReadAttribute(element, "playMode", mPlayMode);
    DMReadAttribute(element, "type", mType);
    DMReadLocString(element, "Name", mName);
    DMReadLocString(element, "Desc", mDesc);
    DMReadLocString(element, "LongDesc", mLongDesc);
    DMReadChildText(element, "ImageUrlBase", mImageUrlBase);
    DMReadChildText(element, "StationUrl", mStationUrl);
    DMReadChildText(element, "ShareUrl", mShareUrl);
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
