#include <gtest/gtest.h>

#include <type_traits>

#include "Radio3TestSupport.h"
#include "dms/radio3/DMRadio3Types.h"

namespace {

using namespace radio3test;

TEST(Radio3Values, CategoryAndStationGoldens) {
    Owned c = Golden("category");
    DMRadio3_CategoryType category(c.get());
    EXPECT_EQ(category.mCategoryId.mValue, "10");
    EXPECT_EQ(category.mCategoryId.mID, "");
    EXPECT_EQ(category.mName.mValue, "Jazz");
    EXPECT_EQ(category.mName.mLanguage, "en");
    EXPECT_EQ(category.mDesc.mValue, "Smooth and modern jazz");
    EXPECT_EQ(category.mDesc.mID, "d10");
    EXPECT_EQ(category.mDesc.mScript, "Latn");
    ExpectMatchesGolden(Encode(category, "Category").get(), "category");

    Owned s = Golden("station");
    DMRadio3_StationType station(s.get());
    EXPECT_EQ(station.mStationId.mValue, "radio:aggregate:12345");
    EXPECT_EQ(station.mPlayMode, "full");
    EXPECT_EQ(station.mName.mValue, "Jazz FM");
    EXPECT_EQ(station.mDesc.mValue, "Jazz around the clock");
    ASSERT_EQ(station.mCategories.size(), 2u);
    EXPECT_EQ(station.mCategories[0].mValue, "10");
    EXPECT_EQ(station.mCategories[0].mID, "");
    EXPECT_EQ(station.mCategories[1].mValue, "2");
    EXPECT_EQ(station.mCategories[1].mID, "c2");  // a category item keeps its "id"
    ExpectMatchesGolden(Encode(station, "Station").get(), "station");

    Owned f = Golden("stationformat");
    DMRadio3_StationFormatType format(f.get());
    EXPECT_EQ(format.mMediaFormatId.mValue, "mf128");
    EXPECT_EQ(format.mProgId.mValue, "12345,1");
    ExpectMatchesGolden(Encode(format, "Format").get(), "stationformat");
}

TEST(Radio3Values, MediaFormatAndChannelGoldens) {
    Owned c = Golden("channel");
    DMRadio3_MediaFormatChannelType channel(c.get());
    EXPECT_EQ(channel.mClass, "audio");
    EXPECT_EQ(channel.mDesc.mValue, "Stereo 128k");
    EXPECT_EQ(channel.mProto, "http:");
    EXPECT_EQ(channel.mMime, "audio/mpeg");
    EXPECT_EQ(channel.mCodec, "MP3");
    EXPECT_EQ(channel.mBitRate, 128000);
    EXPECT_EQ(channel.mAvgBitRate, 127500);
    EXPECT_EQ(channel.mVBR, 0);
    EXPECT_FLOAT_EQ(channel.mChannels, 2.0f);
    ExpectMatchesGolden(Encode(channel, "Channel").get(), "channel");

    Owned m = Golden("mediaformat");
    DMRadio3_MediaFormatType format(m.get());
    EXPECT_EQ(format.mMediaFormatId.mValue, "mf64");
    EXPECT_EQ(format.mMime, "audio/aacp");
    EXPECT_EQ(format.mDesc.mValue, "aacPlus 64k");
    ASSERT_EQ(format.mChannels.size(), 2u);
    EXPECT_EQ(format.mChannels[0].mCodec, "AACPLUS");  // service order kept
    EXPECT_EQ(format.mChannels[0].mVBR, 1);
    EXPECT_EQ(format.mChannels[1].mCodec, "VLB");
    EXPECT_EQ(format.mChannels[1].mVBR, -1);  // not stated
    EXPECT_EQ(format.mChannels[1].mAvgBitRate, 0);
    EXPECT_FLOAT_EQ(format.mChannels[1].mChannels, 1.0f);
    ExpectMatchesGolden(Encode(format, "Format").get(), "mediaformat");
}

TEST(Radio3Values, ImageAndBannerGoldens) {
    Owned i = Golden("image");
    DMRadio3_ImageType image(i.get());
    EXPECT_EQ(image.mUrl, "http://img.example/logo.png");
    EXPECT_EQ(image.mType, "logo");
    EXPECT_EQ(image.mWidth, 120);
    EXPECT_EQ(image.mHeight, 60);
    EXPECT_EQ(image.mColorDepth, 24);
    ExpectMatchesGolden(Encode(image, "Image").get(), "image");

    Owned b = Golden("banner");
    DMRadio3_BannerType banner(b.get());
    EXPECT_EQ(banner.mImage.mUrl, "http://ads.example/b.png");
    EXPECT_EQ(banner.mImage.mWidth, 300);
    EXPECT_EQ(banner.mUrl, "http://ads.example/click?id=4711&x=1");
    EXPECT_EQ(banner.mText.mValue, "Listen more");
    EXPECT_EQ(banner.mText.mLanguage, "en");
    EXPECT_EQ(banner.mWidth, 300);
    EXPECT_EQ(banner.mHeight, 250);
    EXPECT_EQ(banner.mBannerId, "9");
    EXPECT_EQ(banner.mMagicNumber, "mn-4711");
    EXPECT_EQ(banner.mFlavorId, "650");
    ExpectMatchesGolden(Encode(banner, "Banner").get(), "banner");
}

TEST(Radio3Values, TrackStateAndStationInfoGoldens) {
    Owned t = Golden("track");
    DMRadio3_TrkInfoType track(t.get());
    EXPECT_EQ(track.mType, "song");
    EXPECT_EQ(track.mTrackTitle.mValue, "So What");
    EXPECT_EQ(track.mTrackTitle.mLanguage, "en");
    EXPECT_EQ(track.mAlbumTitle.mValue, "Kind of Blue");
    EXPECT_EQ(track.mArtistName.mValue, "Miles Davis");
    EXPECT_EQ(track.mNext.mValue, "Blue in Green");
    EXPECT_EQ(track.mLyrics, "(instrumental)");
    EXPECT_EQ(track.mDuration, 545000);
    EXPECT_EQ(track.mTime, 12000);
    ASSERT_EQ(track.mTrackIds.size(), 2u);
    EXPECT_EQ(track.mTrackIds[0].mValue, "USSM15900113");
    EXPECT_EQ(track.mTrackIds[0].mID, "t1");
    EXPECT_EQ(track.mTrackIds[0].type, "isrc");
    EXPECT_EQ(track.mTrackIds[0].url, "http://tracks.example/1");
    EXPECT_EQ(track.mTrackIds[1].mValue, "local-7");
    ASSERT_EQ(track.mAlbumIdUrls.size(), 1u);
    EXPECT_EQ(track.mAlbumIdUrls[0].type, "upc");
    ASSERT_EQ(track.mArtistIdUrls.size(), 1u);
    EXPECT_EQ(track.mArtistIdUrls[0].url, "http://artists.example/9");
    ASSERT_EQ(track.mImages.size(), 1u);
    EXPECT_EQ(track.mImages[0].mType, "cover");
    ExpectMatchesGolden(Encode(track, "Track").get(), "track");

    Owned s = Golden("stationstate");
    DMRadio3_StationStateType state(s.get());
    EXPECT_EQ(state.mStationId.mValue, "12345,1");
    ASSERT_EQ(state.mTracks.size(), 2u);
    EXPECT_EQ(state.mTracks[0].mTrackTitle.mValue, "So What");
    EXPECT_EQ(state.mTracks[1].mType, "promo");
    ExpectMatchesGolden(Encode(state, "StationState").get(), "stationstate");

    Owned i = Golden("stationinfo");
    DMRadio3_StationInfoType info(i.get());
    EXPECT_EQ(info.mStationId.mValue, "radio:aggregate:12345");
    EXPECT_EQ(info.mPlayMode, "full");
    EXPECT_EQ(info.mType, "zym");
    EXPECT_EQ(info.mName.mValue, "Jazz FM");
    EXPECT_EQ(info.mDesc.mLanguage, "en");
    EXPECT_EQ(info.mLongDesc.mValue, "Jazz around the clock, from bebop to fusion");
    EXPECT_EQ(info.mImageUrlBase, "http://img.example/art/");
    EXPECT_EQ(info.mStationUrl, "http://jazz.example/");
    EXPECT_EQ(info.mShareUrl, "http://share.example/12345");
    ASSERT_EQ(info.mFormats.size(), 2u);
    EXPECT_EQ(info.mFormats[1].mProgId.mValue, "12345,2");
    ASSERT_EQ(info.mCategories.size(), 2u);
    EXPECT_EQ(info.mCategories[1].mID, "c2");
    ASSERT_EQ(info.mImages.size(), 1u);
    ASSERT_EQ(info.mRelated.size(), 2u);
    EXPECT_EQ(info.mRelated[1].mValue, "radio:aggregate:778");
    EXPECT_EQ(info.mRelated[1].mID, "r1");
    ASSERT_EQ(info.mBanners.size(), 2u);
    EXPECT_EQ(info.mBanners[0].mBannerId, "8");
    EXPECT_EQ(info.mBanners[0].mUrl, "http://ads.example/8");
    EXPECT_EQ(info.mBanners[1].mMagicNumber, "mn-4711");
    ExpectMatchesGolden(Encode(info, "Station").get(), "stationinfo");

    // A copy is deep and equal.
    DMRadio3_StationInfoType copy(info);
    info.mBanners.clear();
    EXPECT_EQ(copy.mBanners.size(), 2u);
    ExpectMatchesGolden(Encode(copy, "Station").get(), "stationinfo");
}

// Round trips lose exactly what the schema's writing rules leave out.
TEST(Radio3Values, RoundTripLosesOnlyWhatIsNotWritten) {
    auto roundTrip = [](auto& value, const char* name) {
        Owned e(value.ToElement(name, kNS));
        Owned t = ThroughText(e.get());
        std::remove_reference_t<decltype(value)> back(t.get());
        return back;
    };
    // Identifiers held in attributes lose their id; list identifiers keep theirs.
    {
        DMRadio3_StationType s;
        s.mStationId = DMSIF_IDType("radio:aggregate:1", "sid");
        s.mCategories = {DMSIF_IDType("10", "cid"), DMSIF_IDType("2", "")};
        auto back = roundTrip(s, "Station");
        EXPECT_EQ(back.mStationId.mValue, "radio:aggregate:1");
        EXPECT_EQ(back.mStationId.mID, "");
        ASSERT_EQ(back.mCategories.size(), 2u);
        EXPECT_EQ(back.mCategories[0].mID, "cid");
    }
    {
        DMRadio3_StationFormatType f;
        f.mMediaFormatId = DMSIF_IDType("mf", "x");
        f.mProgId = DMSIF_IDType("p", "y");
        auto back = roundTrip(f, "Format");
        EXPECT_EQ(back.mMediaFormatId.mID, "");
        EXPECT_EQ(back.mProgId.mID, "");
        EXPECT_EQ(back.mProgId.mValue, "p");
    }
    // Integers of 0 and below come back as 0, the float to one decimal, flags other than
    // 0 and 1 as 0; everything else as it was.
    struct ChannelRow {
        std::int32_t bitRate;
        std::int32_t vbr;
        float channels;
        std::int32_t bitRateBack;
        std::int32_t vbrBack;
        float channelsBack;
    } rows[] = {
        {128000, 1, 2.0f, 128000, 1, 2.0f},
        {0, 0, 0.0f, 0, 0, 0.0f},
        {-5, 2, -1.0f, 0, 0, 0.0f},
        {1, -1, 1.26f, 1, -1, 1.3f},
        {2147483647, -7, 5.04f, 2147483647, -1, 5.0f},
    };
    for (const ChannelRow& r : rows) {
        DMRadio3_MediaFormatChannelType c;
        c.mClass = "audio";
        c.mBitRate = r.bitRate;
        c.mAvgBitRate = r.bitRate;
        c.mVBR = r.vbr;
        c.mChannels = r.channels;
        auto back = roundTrip(c, "Channel");
        EXPECT_EQ(back.mClass, "audio");
        EXPECT_EQ(back.mBitRate, r.bitRateBack) << r.bitRate;
        EXPECT_EQ(back.mAvgBitRate, r.bitRateBack) << r.bitRate;
        EXPECT_EQ(back.mVBR, r.vbrBack) << r.vbr;
        EXPECT_FLOAT_EQ(back.mChannels, r.channelsBack) << r.channels;
    }
    {
        DMRadio3_ImageType i;
        i.mWidth = 0;
        i.mHeight = -3;
        i.mColorDepth = 8;
        Owned e(i.ToElement("Image", kNS));
        EXPECT_EQ(e->FindAttribute("width"), nullptr);
        EXPECT_EQ(e->FindAttribute("height"), nullptr);
        auto back = roundTrip(i, "Image");
        EXPECT_EQ(back.mHeight, 0);
        EXPECT_EQ(back.mColorDepth, 8);
    }
    {
        DMRadio3_TrkInfoType t;
        t.mDuration = 0;
        t.mTime = 0;
        t.mTrackIds = {DMSIF_QualIDType("v", "i", "type", "url")};
        Owned e(t.ToElement("Track", kNS));
        EXPECT_EQ(e->FindChild("Duration", 1), nullptr);
        EXPECT_EQ(e->FindChild("Time", 1), nullptr);
        auto back = roundTrip(t, "Track");
        EXPECT_EQ(back.mDuration, 0);
        ASSERT_EQ(back.mTrackIds.size(), 1u);
        EXPECT_EQ(back.mTrackIds[0].type, "type");
        EXPECT_EQ(back.mTrackIds[0].url, "url");
        EXPECT_EQ(back.mTrackIds[0].mID, "i");
    }
    {
        // A localized string is written only with a value: a language alone is lost.
        DMRadio3_CategoryType c;
        c.mName.mLanguage = "de";
        c.mDesc.mValue = "  padded  ";
        auto back = roundTrip(c, "Category");
        EXPECT_EQ(back.mName.mLanguage, "");
        EXPECT_EQ(back.mDesc.mValue, "  padded  ");  // strings exactly as received
    }
}

TEST(Radio3Values, ChannelFlagAndCountForms) {
    struct Row {
        const char* xml;
        std::int32_t vbr;
        const char* written;  // "" when no "VBR" child is written
    } rows[] = {
        {"<Channel/>", -1, ""},
        {"<Channel><VBR>false</VBR></Channel>", 0, "false"},
        {"<Channel><VBR>true</VBR></Channel>", 1, "true"},
        {"<Channel><VBR>1</VBR></Channel>", 1, "true"},
        {"<Channel><VBR>yes</VBR></Channel>", 1, "true"},
        {"<Channel><VBR>TRUE</VBR></Channel>", 0, "false"},
        {"<Channel><VBR></VBR></Channel>", 0, "false"},
        {"<Channel><VBR> true</VBR></Channel>", 0, "false"},
    };
    for (const Row& r : rows) {
        Owned e = Parse(r.xml);
        DMRadio3_MediaFormatChannelType c(e.get());
        EXPECT_EQ(c.mVBR, r.vbr) << r.xml;
        Owned out(c.ToElement("Channel", kNS));
        DMSOAPElementType* vbr = out->FindChild("VBR", 1);
        EXPECT_EQ(vbr ? vbr->text : std::string(), r.written) << r.xml;
    }
    DMRadio3_MediaFormatChannelType two;
    two.mVBR = 2;
    Owned e(two.ToElement("Channel", kNS));
    EXPECT_EQ(e->FindChild("VBR", 1)->text, "false");
    DMRadio3_MediaFormatChannelType back(e.get());
    EXPECT_EQ(back.mVBR, 0);

    DMRadio3_MediaFormatChannelType copy(two);
    EXPECT_EQ(copy.mVBR, 2);
    DMRadio3_MediaFormatChannelType fresh;
    EXPECT_EQ(fresh.mVBR, -1);
}

TEST(Radio3Values, ListsKeptWithoutChildElementsEmptiedByOthers) {
    DMRadio3_StationType station;
    station.mCategories = {DMSIF_IDType("1", "")};
    Owned bare = Parse("<Station stationId=\"s\"/>");
    station.FromElement(bare.get());
    EXPECT_EQ(station.mCategories.size(), 1u);  // no child element: kept
    Owned nameOnly = Parse("<Station><Name>N</Name></Station>");
    station.FromElement(nameOnly.get());
    EXPECT_TRUE(station.mCategories.empty());  // children, none "Category": emptied

    DMRadio3_StationStateType state;
    state.mTracks.resize(2);
    Owned noChild = Parse("<StationState stationId=\"x\"/>");
    state.FromElement(noChild.get());
    EXPECT_EQ(state.mTracks.size(), 2u);
    Owned other = Parse("<StationState><Other/></StationState>");
    state.FromElement(other.get());
    EXPECT_TRUE(state.mTracks.empty());

    DMRadio3_MediaFormatType format;
    format.mChannels.resize(1);
    Owned mimeOnly = Parse("<Format><Mime>audio/mpeg</Mime></Format>");
    format.FromElement(mimeOnly.get());
    EXPECT_TRUE(format.mChannels.empty());

    DMRadio3_StationInfoType info;
    info.mFormats.resize(1);
    info.mCategories = {DMSIF_IDType("1", "")};
    info.mImages.resize(1);
    info.mRelated = {DMSIF_IDType("r", "")};
    info.mBanners.resize(1);
    Owned infoBare = Parse("<Station stationId=\"s\"/>");
    info.FromElement(infoBare.get());
    EXPECT_EQ(info.mBanners.size(), 1u);
    Owned infoName = Parse("<Station><Name>n</Name></Station>");
    info.FromElement(infoName.get());
    EXPECT_TRUE(info.mFormats.empty());
    EXPECT_TRUE(info.mCategories.empty());
    EXPECT_TRUE(info.mImages.empty());
    EXPECT_TRUE(info.mRelated.empty());
    EXPECT_TRUE(info.mBanners.empty());

    DMRadio3_TrkInfoType track;
    track.mImages.resize(1);
    track.mTrackIds.resize(1);
    Owned typeOnly = Parse("<Track><Type>song</Type></Track>");
    track.FromElement(typeOnly.get());
    EXPECT_TRUE(track.mImages.empty());
    EXPECT_TRUE(track.mTrackIds.empty());
}

TEST(Radio3Values, NamesAndNamespacesAsTheSchemaReadsThem) {
    // Any namespace or none; case matters.
    Owned e = Parse(
        "<x:Station xmlns:x=\"urn:other\" x:stationId=\"A\" Name=\"attr\" playMode=\"full\">"
        "<x:Name>From other ns</x:Name><Category>1</Category><x:Category>2</x:Category>"
        "<category>3</category></x:Station>");
    DMRadio3_StationType s(e.get());
    EXPECT_EQ(s.mStationId.mValue, "A");
    EXPECT_EQ(s.mPlayMode, "full");
    EXPECT_EQ(s.mName.mValue, "From other ns");
    ASSERT_EQ(s.mCategories.size(), 2u);
    EXPECT_EQ(s.mCategories[1].mValue, "2");

    Owned wrongCase = Parse("<Station><name>lower</name><NAME>upper</NAME></Station>");
    DMRadio3_StationType t(wrongCase.get());
    EXPECT_EQ(t.mName.mValue, "");

    Owned term = Parse("<Term Name=\"n\" name=\"real\" relop=\"eq\">v</Term>");
    DMRadio3_SearchTermType st(term.get());
    EXPECT_EQ(st.mName, "real");

    // Values write attributes and children in the radio namespace whatever the element's.
    DMRadio3_CategoryType c;
    c.mCategoryId.mValue = "9";
    c.mName.mValue = "N";
    Owned out(c.ToElement("Category", "urn:elsewhere"));
    EXPECT_EQ(out->namespaceURI, "urn:elsewhere");
    EXPECT_EQ(out->attributes.front()->namespaceURI, kNS);
    EXPECT_EQ(out->children.front()->namespaceURI, kNS);
}

TEST(Radio3Values, BannerImageAndEmptyValues) {
    DMRadio3_BannerType banner;
    banner.mImage.mWidth = 300;
    banner.mImage.mHeight = 250;
    banner.mUrl = "http://ads.example/";
    Owned e(banner.ToElement("Banner", kNS));
    EXPECT_EQ(e->FindChild("Image", 1), nullptr);  // no URL: no image
    DMRadio3_BannerType back(e.get());
    EXPECT_EQ(back.mImage.mWidth, 0);
    EXPECT_EQ(back.mUrl, "http://ads.example/");

    DMRadio3_BannerType empty;
    Owned emptyElement(empty.ToElement("Banner", kNS));
    EXPECT_TRUE(emptyElement->attributes.empty());
    EXPECT_TRUE(emptyElement->children.empty());

    DMRadio3_StationInfoType info;
    info.mStationId = DMSIF_IDType("radio:aggregate:5", "ignored");
    Owned infoElement(info.ToElement("Station", kNS));
    ASSERT_EQ(infoElement->attributes.size(), 1u);
    EXPECT_EQ(infoElement->attributes.front()->name, "stationId");
    EXPECT_TRUE(infoElement->children.empty());

    DMRadio3_CategoryType category;
    Owned categoryElement(category.ToElement("Category", kNS));
    EXPECT_EQ(categoryElement->FindAttribute("categoryId"), nullptr);
    DMRadio3_CategoryType categoryBack(categoryElement.get());
    EXPECT_EQ(categoryBack.mCategoryId.mValue, "");
}

TEST(Radio3Values, NullElementChangesNothing) {
    DMRadio3_MediaFormatChannelType c;
    c.mBitRate = 5;
    c.FromElement(nullptr);
    EXPECT_EQ(c.mBitRate, 5);
    DMRadio3_StationInfoType info(nullptr);
    EXPECT_TRUE(info.mStationId.mValue.empty());
    DMRadio3_SearchDirectiveType d(nullptr);
    EXPECT_TRUE(d.mEntries.empty());
}

}  // namespace
