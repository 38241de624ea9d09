#include <gtest/gtest.h>

#include "Radio3TestSupport.h"
#include "dms/radio3/DMRadio3Methods.h"

namespace {

using namespace radio3test;

template <typename Output>
void ExpectEncodesBack(Output& output, const char* elementName, const std::string& golden) {
    Owned e(output.ToElement(elementName, kNS));
    ExpectMatchesGolden(e.get(), golden);
}

TEST(Radio3Answers, ListingGoldens) {
    Owned c = Golden("listcategories_response");
    DMRadio3_ListCategories_OutputType categories(c.get());
    EXPECT_EQ(categories.status.GetCode(), "OK");
    EXPECT_EQ(categories.mTimeStamp, "2026-12-01T08:00:00Z");
    EXPECT_EQ(categories.mRemaining, 0);
    EXPECT_EQ(categories.mOffset, 0);
    ASSERT_EQ(categories.mCategories.size(), 2u);
    EXPECT_EQ(categories.mCategories[0].mCategoryId.mValue, "1");  // ids kept
    EXPECT_EQ(categories.mCategories[1].mCategoryId.mValue, "10");
    EXPECT_EQ(categories.mCategories[1].mDesc.mValue, "Smooth");
    ExpectEncodesBack(categories, "IMetadataListEnumResponse", "listcategories_response");

    Owned s = Golden("liststations_response");
    DMRadio3_ListStations_OutputType stations(s.get());
    EXPECT_EQ(stations.status.GetCode(), "Partial");
    EXPECT_EQ(stations.status.GetComment(), "more to come");
    EXPECT_EQ(stations.mRemaining, 3);
    EXPECT_EQ(stations.mOffset, 40);
    ASSERT_EQ(stations.mStations.size(), 2u);
    EXPECT_EQ(stations.mStations[1].mPlayMode, "sample");
    EXPECT_EQ(stations.mStations[1].mCategories.size(), 2u);
    ExpectEncodesBack(stations, "IMetadataBrowseResponse", "liststations_response");

    // As the cache does: built from values, written, read back whole.
    DMSIF_StatusType ok;
    ok.code = "OK";
    DMRadio3_ListStations_OutputType built(ok, "2026-12-01T08:00:00Z", 3, 40, stations.mStations);
    built.status.comment = "more to come";
    built.status.code = "Partial";
    ExpectEncodesBack(built, "IMetadataBrowseResponse", "liststations_response");
    DMRadio3_ListCategories_OutputType fromValues(ok, "t", 0, 0, categories.mCategories);
    EXPECT_EQ(fromValues.status.GetCode(), "OK");
    EXPECT_EQ(fromValues.mCategories.size(), 2u);
}

TEST(Radio3Answers, DescribeGoldens) {
    Owned i = Golden("getstationinfo_response");
    DMRadio3_GetStationInfo_OutputType info(i.get());
    EXPECT_EQ(info.mTimeStamp, "2026-12-01T09:00:00Z");
    ASSERT_EQ(info.mStations.size(), 3u);  // in document order
    EXPECT_EQ(info.mStations[0].mFormats.size(), 1u);
    EXPECT_EQ(info.mStations[1].mType, "live");
    EXPECT_EQ(info.mStations[2].mStationId.mValue, "radio:aggregate:99");
    ExpectEncodesBack(info, "IMetadataDescribeResponse", "getstationinfo_response");

    Owned s = Golden("getstationstate_response");
    DMRadio3_GetStationState_OutputType state(s.get());
    ASSERT_EQ(state.mStates.size(), 2u);
    ASSERT_EQ(state.mStates[0].mTracks.size(), 1u);
    EXPECT_EQ(state.mStates[0].mTracks[0].mTime, 12000);
    EXPECT_TRUE(state.mStates[1].mTracks.empty());
    ExpectEncodesBack(state, "IMetadataDescribeResponse", "getstationstate_response");

    Owned m = Golden("getmediaformatinfo_response");
    DMRadio3_GetMediaFormatInfo_OutputType media(m.get());
    ASSERT_EQ(media.mFormats.size(), 2u);
    ASSERT_EQ(media.mFormats[0].mChannels.size(), 1u);
    EXPECT_EQ(media.mFormats[0].mChannels[0].mBitRate, 128000);
    EXPECT_EQ(media.mFormats[1].mMime, "audio/aacp");
    ExpectEncodesBack(media, "IMetadataDescribeResponse", "getmediaformatinfo_response");

    // Formats under any other element name are not formats.
    Owned renamed = Parse("<A><Status code=\"OK\"/><MediaFormat mediaFormatId=\"x\"/></A>");
    DMRadio3_GetMediaFormatInfo_OutputType none(renamed.get());
    EXPECT_TRUE(none.mFormats.empty());
}

TEST(Radio3Answers, URLAndPresetGoldens) {
    Owned u = Golden("getstationurl_response");
    DMRadio3_GetStationURL_OutputType url(u.get());
    ASSERT_EQ(url.mURLs.size(), 2u);
    EXPECT_EQ(url.mURLs[0], "http://stream.example/12345?fmt=mp3&q=1");
    EXPECT_EQ(url.mURLs[1], "http://backup.example/12345");
    ExpectEncodesBack(url, "IFulfillmentGetAssetResponse", "getstationurl_response");

    Owned m = Golden("getmaxpresets_response");
    DMRadio3_GetMaxPresets_OutputType max(m.get());
    EXPECT_EQ(max.mMaxPresets, 8);
    ExpectEncodesBack(max, "IProfileGetResponse", "getmaxpresets_response");

    Owned p = Golden("getpresets_response");
    DMRadio3_GetPresets_OutputType presets(p.get());
    EXPECT_EQ(presets.mTimeStamp, "2026-12-01T10:00:00Z");
    ASSERT_EQ(presets.mPresets.size(), 2u);
    EXPECT_EQ(presets.mPresets[1].mValue, "radio:aggregate:777");
    EXPECT_EQ(presets.mPresets[1].mID, "7");
    ExpectEncodesBack(presets, "IProfileGetResponse", "getpresets_response");

    Owned s = Golden("setpresets_response");
    DMRadio3_SetPresets_OutputType set(s.get());
    EXPECT_EQ(set.mTimeStamp, "2026-12-01T10:05:00Z");
    EXPECT_EQ(set.status.GetCode(), "OK");
    ExpectEncodesBack(set, "IProfileSetResponse", "setpresets_response");
}

TEST(Radio3Answers, RatingGoldens) {
    Owned r = Golden("getratingsrange_response");
    DMRadio3_GetRatingsRange_OutputType range(r.get());
    EXPECT_EQ(range.mMin, -1);
    EXPECT_EQ(range.mMax, 5);
    ExpectEncodesBack(range, "IProfileGetResponse", "getratingsrange_response");

    // min and max have no omitted form.
    DMRadio3_GetRatingsRange_OutputType negative(nullptr);
    negative.mMin = -1;
    Owned e(negative.ToElement("IProfileGetResponse", kNS));
    const DMSOAPElementType* inner = e->FindChild("Property", 1)->FindChild("RatingsRange", 1);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->FindAttribute("min")->value, "-1");
    EXPECT_EQ(inner->FindAttribute("min")->namespaceURI, kNS);
    EXPECT_EQ(inner->FindAttribute("max")->value, "0");

    Owned t = Golden("ratetrack_response");
    DMRadio3_RateTrack_OutputType rate(t.get());
    EXPECT_EQ(rate.status.GetCode(), "OK");
    ExpectEncodesBack(rate, "IProfileSetResponse", "ratetrack_response");
}

TEST(Radio3Answers, TimeStampSpellings) {
    struct Row {
        const char* attributes;
        const char* listing;  // listings and GetStationInfo
        const char* presets;  // GetPresets and SetPresets: "timeStamp" only
    } rows[] = {
        {"timeStamp=\"A\"", "A", "A"},
        {"timestamp=\"B\"", "B", ""},
        {"timestamp=\"B\" timeStamp=\"A\"", "A", "A"},
        {"TIMESTAMP=\"C\"", "", ""},
        {"x:timestamp=\"D\" xmlns:x=\"urn:x\"", "D", ""},
    };
    for (const Row& r : rows) {
        const std::string xml = std::string("<A ") + r.attributes + "><Status code=\"OK\"/></A>";
        Owned e = Parse(xml);
        EXPECT_EQ(DMRadio3_ListCategories_OutputType(e.get()).mTimeStamp, r.listing) << xml;
        EXPECT_EQ(DMRadio3_ListStations_OutputType(e.get()).mTimeStamp, r.listing) << xml;
        EXPECT_EQ(DMRadio3_GetStationInfo_OutputType(e.get()).mTimeStamp, r.listing) << xml;
        EXPECT_EQ(DMRadio3_GetPresets_OutputType(e.get()).mTimeStamp, r.presets) << xml;
        EXPECT_EQ(DMRadio3_SetPresets_OutputType(e.get()).mTimeStamp, r.presets) << xml;
    }
}

TEST(Radio3Answers, PropertyReading) {
    struct Row {
        const char* body;
        std::int32_t max;
    } maxRows[] = {
        {"<Property name=\"MaxPresets\"><MaxPresets>abc</MaxPresets></Property>", 0},
        {"<Property name=\"MaxPresets\"><MaxPresets>5</MaxPresets></Property>"
         "<Property name=\"MaxPresets\"><MaxPresets>3</MaxPresets></Property>",
         3},
        {"<Property name=\"MaxPresets\"><MaxPresets>5</MaxPresets></Property>"
         "<Property name=\"MaxPresets\"><MaxPresets>x</MaxPresets></Property>",
         5},
        {"<Property><MaxPresets>5</MaxPresets></Property>", 0},
        {"<Property name=\"maxpresets\"><MaxPresets>5</MaxPresets></Property>", 0},
        {"<MaxPresets>5</MaxPresets>", 0},
        {"<x:Property xmlns:x=\"urn:x\" x:name=\"MaxPresets\"><x:MaxPresets>6</x:MaxPresets></x:Property>", 6},
    };
    for (const Row& r : maxRows) {
        const std::string xml = std::string("<A><Status code=\"OK\"/>") + r.body + "</A>";
        Owned e = Parse(xml);
        EXPECT_EQ(DMRadio3_GetMaxPresets_OutputType(e.get()).mMaxPresets, r.max) << xml;
    }
    DMRadio3_GetMaxPresets_OutputType negative(nullptr);
    negative.mMaxPresets = -1;
    Owned ne(negative.ToElement("R", kNS));
    EXPECT_EQ(ne->FindChild("Property", 1), nullptr);

    struct PresetRow {
        const char* body;
        const char* values;  // joined by ","
    } presetRows[] = {
        {"<Property name=\"Presets\"><Presets><Preset>a</Preset><Preset>b</Preset></Presets></Property>", "a,b,"},
        {"<Property name=\"Presets\"><Preset>a</Preset><Preset>c</Preset></Property>", "a,c,"},  // no wrapper
        {"<Property name=\"Presets\"><Presets/><Preset>ignored</Preset></Property>", ""},
        {"<Property name=\"Presets\"><Presets><Preset>a</Preset></Presets></Property>"
         "<Property name=\"Presets\"><Presets><Preset>z</Preset></Presets></Property>",
         "z,"},
        {"<Property name=\"Other\"><Presets><Preset>a</Preset></Presets></Property>", ""},
        {"<Preset>loose</Preset>", ""},
    };
    for (const PresetRow& r : presetRows) {
        const std::string xml = std::string("<A><Status code=\"OK\"/>") + r.body + "</A>";
        Owned e = Parse(xml);
        DMRadio3_GetPresets_OutputType out(e.get());
        std::string joined;
        for (const DMSIF_IDType& id : out.mPresets)
            joined += id.mValue + ",";
        EXPECT_EQ(joined, r.values) << xml;
    }

    struct RangeRow {
        const char* body;
        std::int32_t min;
        std::int32_t max;
    } rangeRows[] = {
        {"<Property name=\"RatingsRange\"><RatingsRange min=\"1\"/></Property>", 1, 0},
        {"<Property name=\"RatingsRange\"><RatingsRange r:min=\"-2\" r:max=\"9\"/></Property>", -2, 9},
        {"<Property name=\"RatingsRange\"><RatingsRange min=\"1\" max=\"2\"/></Property>"
         "<Property name=\"RatingsRange\"><RatingsRange max=\"4\"/></Property>",
         1, 4},
        {"<Property name=\"RatingsRange\"/>", 0, 0},
    };
    for (const RangeRow& r : rangeRows) {
        const std::string xml = std::string("<A xmlns:r=\"urn:r\"><Status code=\"OK\"/>") + r.body + "</A>";
        Owned e = Parse(xml);
        DMRadio3_GetRatingsRange_OutputType out(e.get());
        EXPECT_EQ(out.mMin, r.min) << xml;
        EXPECT_EQ(out.mMax, r.max) << xml;
    }
}

TEST(Radio3Answers, ListsAndStatusOfTheBody) {
    // A body with only "Status" empties every list; one without child elements keeps them.
    DMRadio3_ListCategories_OutputType categories(nullptr);
    categories.mCategories.resize(2);
    DMRadio3_ListStations_OutputType stations(nullptr);
    stations.mStations.resize(2);
    DMRadio3_GetStationInfo_OutputType info(nullptr);
    info.mStations.resize(1);
    DMRadio3_GetStationState_OutputType state(nullptr);
    state.mStates.resize(1);
    DMRadio3_GetMediaFormatInfo_OutputType media(nullptr);
    media.mFormats.resize(1);
    DMRadio3_GetStationURL_OutputType url(nullptr);
    url.mURLs = {"u"};

    Owned bare = Parse("<A remaining=\"4\"/>");
    categories.FromElement(bare.get());
    stations.FromElement(bare.get());
    info.FromElement(bare.get());
    state.FromElement(bare.get());
    media.FromElement(bare.get());
    url.FromElement(bare.get());
    EXPECT_EQ(categories.mCategories.size(), 2u);
    EXPECT_EQ(categories.mRemaining, 4);
    EXPECT_EQ(stations.mStations.size(), 2u);
    EXPECT_EQ(info.mStations.size(), 1u);
    EXPECT_EQ(state.mStates.size(), 1u);
    EXPECT_EQ(media.mFormats.size(), 1u);
    EXPECT_EQ(url.mURLs.size(), 1u);
    EXPECT_EQ(categories.status.GetCode(), "");

    Owned statusOnly = Parse("<A><Status code=\"x:OK\"/></A>");
    categories.FromElement(statusOnly.get());
    stations.FromElement(statusOnly.get());
    info.FromElement(statusOnly.get());
    state.FromElement(statusOnly.get());
    media.FromElement(statusOnly.get());
    url.FromElement(statusOnly.get());
    EXPECT_TRUE(categories.mCategories.empty());
    EXPECT_TRUE(stations.mStations.empty());
    EXPECT_TRUE(info.mStations.empty());
    EXPECT_TRUE(state.mStates.empty());
    EXPECT_TRUE(media.mFormats.empty());
    EXPECT_TRUE(url.mURLs.empty());
    EXPECT_EQ(categories.status.GetCode(), "OK");

    // An empty "Url" is an empty string in the list; other namespaces count.
    Owned urls = Parse("<A xmlns:o=\"urn:o\"><o:Url>a</o:Url><Url/><url>no</url></A>");
    DMRadio3_GetStationURL_OutputType u(urls.get());
    ASSERT_EQ(u.mURLs.size(), 2u);
    EXPECT_EQ(u.mURLs[0], "a");
    EXPECT_EQ(u.mURLs[1], "");
}

TEST(Radio3Answers, NumbersAndDefaultsOfListings) {
    // remaining "abc" reads 0 and is written back "0"; absent counts are written as 0.
    Owned e = Parse("<A remaining=\"abc\"><Status code=\"OK\"/></A>");
    DMRadio3_ListCategories_OutputType out(e.get());
    EXPECT_EQ(out.mRemaining, 0);
    EXPECT_EQ(out.mOffset, 0);
    Owned written(out.ToElement("A", kNS));
    ASSERT_NE(written->FindAttribute("remaining"), nullptr);
    EXPECT_EQ(written->FindAttribute("remaining")->value, "0");
    EXPECT_EQ(written->FindAttribute("offset")->value, "0");
    EXPECT_EQ(written->FindAttribute("timeStamp"), nullptr);
    EXPECT_EQ(written->children.front()->name, "Status");
    EXPECT_EQ(written->children.front()->namespaceURI, kNS);

    // A negative count, as a caller might set it, is not written.
    out.mRemaining = -1;
    Owned negative(out.ToElement("A", kNS));
    EXPECT_EQ(negative->FindAttribute("remaining"), nullptr);
}

TEST(Radio3Answers, OutputsFromANullElement) {
    DMRadio3_ListCategories_OutputType a(nullptr);
    DMRadio3_ListStations_OutputType b(nullptr);
    DMRadio3_GetStationInfo_OutputType c(nullptr);
    DMRadio3_GetStationState_OutputType d(nullptr);
    DMRadio3_GetMediaFormatInfo_OutputType e(nullptr);
    DMRadio3_GetStationURL_OutputType f(nullptr);
    DMRadio3_GetMaxPresets_OutputType g(nullptr);
    DMRadio3_GetPresets_OutputType h(nullptr);
    DMRadio3_SetPresets_OutputType i(nullptr);
    DMRadio3_GetRatingsRange_OutputType j(nullptr);
    DMRadio3_RateTrack_OutputType k(nullptr);
    EXPECT_EQ(a.status.GetCode(), "");
    EXPECT_EQ(a.fault.GetFaultCode(), "");
    EXPECT_EQ(a.mTimeStamp, "");
    EXPECT_EQ(a.mRemaining, 0);
    EXPECT_EQ(a.mOffset, 0);
    EXPECT_TRUE(a.mCategories.empty());
    EXPECT_TRUE(b.mStations.empty());
    EXPECT_TRUE(c.mStations.empty());
    EXPECT_TRUE(d.mStates.empty());
    EXPECT_TRUE(e.mFormats.empty());
    EXPECT_TRUE(f.mURLs.empty());
    EXPECT_EQ(g.mMaxPresets, 0);
    EXPECT_TRUE(h.mPresets.empty());
    EXPECT_EQ(i.mTimeStamp, "");
    EXPECT_EQ(j.mMin, 0);
    EXPECT_EQ(j.mMax, 0);
    EXPECT_EQ(k.status.GetCode(), "");
    // Outputs keep the base's validity.
    EXPECT_TRUE(a.IsValid());
    EXPECT_TRUE(k.IsValid());
    // The fault is never written.
    k.fault.faultcode = "Receiver";
    Owned written(k.ToElement("R", kNS));
    ASSERT_EQ(written->children.size(), 1u);
    EXPECT_EQ(written->children.front()->name, "Status");
}

TEST(Radio3Answers, ConcreteClassesRecoveredFromBasePointers) {
    std::unique_ptr<DMSIF_MethodOutputType> out(new DMRadio3_GetStationURL_OutputType(nullptr));
    EXPECT_NE(dynamic_cast<DMRadio3_GetStationURL_OutputType*>(out.get()), nullptr);
    std::unique_ptr<DMSIF_MethodArgumentsType> in(
        new DMRadio3_GetStationURL_InputType(DMSIF_IDType("p", ""), DMSIF_IDType("m", "")));
    auto* typed = dynamic_cast<DMRadio3_GetStationURL_InputType*>(in.get());
    ASSERT_NE(typed, nullptr);
    EXPECT_EQ(typed->mRefId.mValue, "p");
}

}  // namespace
