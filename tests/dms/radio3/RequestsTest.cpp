#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "Radio3TestSupport.h"
#include "dms/radio3/DMRadio3Methods.h"

namespace {

using namespace radio3test;
using IDs = std::vector<DMSIF_IDType>;

std::vector<std::pair<std::string, std::string>> Pairs(const IDs& ids) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const DMSIF_IDType& id : ids) {
        out.emplace_back(id.mValue, id.mID);
    }
    return out;
}

// Writes the input as the controller does, checks the golden text, and answers the input
// rebuilt from what was written (after a trip through text).
template <typename Input>
Input SendAndRebuild(Input& input, const char* elementName, const std::string& golden) {
    Owned e(input.ToElement(elementName, kNS));
    ExpectMatchesGolden(e.get(), golden);
    Owned t = ThroughText(e.get());
    return Input(t.get());
}

DMRadio3_SearchDirectiveType FullOnly() {
    DMRadio3_SearchDirectiveType d;
    d.mEntries.emplace_back(DMRadio3_SearchTermType("", "playMode", "eq", "full"));
    return d;
}

TEST(Radio3Requests, ListCategories) {
    DMRadio3_ListCategories_InputType plain("", -1, -1, "Categories");
    auto back = SendAndRebuild(plain, "IMetadataListEnumRequest", "listcategories_request");
    EXPECT_EQ(back.mDomain, "Categories");
    EXPECT_EQ(back.mChangedSince, "");
    EXPECT_EQ(back.mOffset, -1);
    EXPECT_EQ(back.mCount, -1);

    DMRadio3_ListCategories_InputType window("2026-12-01T08:00:00Z", 0, 25, "Categories");
    auto w = SendAndRebuild(window, "IMetadataListEnumRequest", "listcategories_request_window");
    EXPECT_EQ(w.mChangedSince, "2026-12-01T08:00:00Z");
    EXPECT_EQ(w.mOffset, 0);
    EXPECT_EQ(w.mCount, 25);

    DMRadio3_ListCategories_InputType defaults(nullptr);
    EXPECT_EQ(defaults.mDomain, "Categories");
    EXPECT_EQ(defaults.mOffset, -1);
}

TEST(Radio3Requests, ListStationsWithAndWithoutTerm) {
    DMRadio3_ListStations_InputType all("", -1, -1, DMRadio3_SearchDirectiveType(), "Stations");
    auto a = SendAndRebuild(all, "IMetadataBrowseRequest", "liststations_request");
    EXPECT_EQ(a.mDomain, "Stations");
    EXPECT_TRUE(a.mSearchDirective.mEntries.empty());

    DMRadio3_ListStations_InputType full("2026-12-01T08:00:00Z", -1, -1, FullOnly(), "Stations");
    auto f = SendAndRebuild(full, "IMetadataBrowseRequest", "liststations_request_full");
    EXPECT_EQ(f.mChangedSince, "2026-12-01T08:00:00Z");
    EXPECT_EQ(f.mOffset, -1);
    EXPECT_EQ(f.mCount, -1);
    ASSERT_EQ(f.mSearchDirective.mEntries.size(), 1u);
    const DMRadio3_SearchTermType* term = f.mSearchDirective.mEntries[0].GetTerm();
    ASSERT_NE(term, nullptr);
    EXPECT_EQ(term->mBoolOp, "");
    EXPECT_EQ(term->mName, "playMode");
    EXPECT_EQ(term->mRelOp, "eq");
    EXPECT_EQ(term->mValue, "full");
    EXPECT_EQ(f.mSearchDirective.mBoolOp, "");

    // The input holds its own copy of the directive.
    DMRadio3_SearchDirectiveType d = FullOnly();
    DMRadio3_ListStations_InputType held("", -1, -1, d, "Stations");
    d.mEntries[0].GetTerm()->mValue = "sample";
    EXPECT_EQ(held.mSearchDirective.mEntries[0].GetTerm()->mValue, "full");
}

TEST(Radio3Requests, DescribeRequests) {
    IDs stations = {DMSIF_IDType("radio:aggregate:12345", ""), DMSIF_IDType("radio:aggregate:777", "")};
    DMRadio3_GetStationInfo_InputType info(stations, "", "", {});
    auto i = SendAndRebuild(info, "IMetadataDescribeRequest", "getstationinfo_request");
    EXPECT_EQ(Pairs(i.mRefIds), Pairs(stations));
    EXPECT_TRUE(i.mOutputElements.empty());
    EXPECT_EQ(i.mVersion, "");
    EXPECT_EQ(i.mChangedSince, "");

    IDs progs = {DMSIF_IDType("12345,1", ""), DMSIF_IDType("777,3", "")};
    DMRadio3_GetStationState_InputType state(progs, 0, {}, "");
    auto s = SendAndRebuild(state, "IMetadataDescribeRequest", "getstationstate_request");
    EXPECT_EQ(Pairs(s.mRefIds), Pairs(progs));
    EXPECT_EQ(s.mMaxTracks, 0);

    IDs formats = {DMSIF_IDType("mf128", ""), DMSIF_IDType("mf64", "")};
    DMRadio3_GetMediaFormatInfo_InputType media(formats, {}, "");
    auto m = SendAndRebuild(media, "IMetadataDescribeRequest", "getmediaformatinfo_request");
    EXPECT_EQ(Pairs(m.mRefIds), Pairs(formats));

    // Every field and identifier part survives the trip, ids of list items included.
    DMRadio3_GetStationInfo_InputType rich({DMSIF_IDType("a", "1")}, "3.0", "2026-01-01T00:00:00Z",
                                           {DMSIF_IDType("Name", "o1"), DMSIF_IDType("Desc", "")});
    Owned e(rich.ToElement("IMetadataDescribeRequest", kNS));
    Owned t = ThroughText(e.get());
    DMRadio3_GetStationInfo_InputType r(t.get());
    EXPECT_EQ(r.mVersion, "3.0");
    EXPECT_EQ(r.mChangedSince, "2026-01-01T00:00:00Z");
    EXPECT_EQ(Pairs(r.mRefIds), Pairs(rich.mRefIds));
    EXPECT_EQ(Pairs(r.mOutputElements), Pairs(rich.mOutputElements));

    // No restriction: nothing written, -1 read back.
    DMRadio3_GetStationState_InputType unrestricted(progs, -1, {DMSIF_IDType("Track", "")}, "3.0");
    Owned u(unrestricted.ToElement("IMetadataDescribeRequest", kNS));
    EXPECT_EQ(u->FindChild("Restriction", 1), nullptr);
    DMRadio3_GetStationState_InputType ub(u.get());
    EXPECT_EQ(ub.mMaxTracks, -1);
    EXPECT_EQ(ub.mVersion, "3.0");
    EXPECT_EQ(Pairs(ub.mOutputElements), Pairs(unrestricted.mOutputElements));
}

TEST(Radio3Requests, StationURLAndPresets) {
    DMRadio3_GetStationURL_InputType url(DMSIF_IDType("12345,1", "dropped"), DMSIF_IDType("mf128", "x"));
    auto u = SendAndRebuild(url, "IFulfillmentGetAssetRequest", "getstationurl_request");
    EXPECT_EQ(u.mRefId.mValue, "12345,1");
    EXPECT_EQ(u.mRefId.mID, "");  // the id of an identifier in an attribute is not sent
    EXPECT_EQ(u.mMediaFormatId.mValue, "mf128");
    EXPECT_EQ(u.mMediaFormatId.mID, "");

    DMRadio3_GetMaxPresets_InputType max;
    SendAndRebuild(max, "IProfileGetRequest", "getmaxpresets_request");

    DMRadio3_GetPresets_InputType none({}, "");
    auto n = SendAndRebuild(none, "IProfileGetRequest", "getpresets_request_empty");
    EXPECT_TRUE(n.mPresets.empty());

    IDs presets = {DMSIF_IDType("radio:aggregate:12345", "1"), DMSIF_IDType("radio:aggregate:777", "2")};
    DMRadio3_GetPresets_InputType full(presets, "2026-12-01T08:00:00Z");
    auto f = SendAndRebuild(full, "IProfileGetRequest", "getpresets_request_full");
    EXPECT_EQ(Pairs(f.mPresets), Pairs(presets));
    EXPECT_EQ(f.mChangedSince, "2026-12-01T08:00:00Z");

    IDs slots = {DMSIF_IDType("radio:aggregate:12345", ""), DMSIF_IDType("", ""),
                 DMSIF_IDType("radio:aggregate:777", "")};
    DMRadio3_SetPresets_InputType set(slots, "2026-12-01T08:00:00Z");
    auto s = SendAndRebuild(set, "IProfileSetRequest", "setpresets_request");
    EXPECT_EQ(Pairs(s.mPresets), Pairs(slots));
    EXPECT_EQ(s.mChangedSince, "2026-12-01T08:00:00Z");

    DMRadio3_SetPresets_InputType emptySet({}, "t");
    Owned es(emptySet.ToElement("IProfileSetRequest", kNS));
    EXPECT_TRUE(es->children.empty());  // no property at all
}

TEST(Radio3Requests, RatingRequests) {
    DMRadio3_GetRatingsRange_InputType range(nullptr);
    Owned r(range.ToElement("IProfileGetRequest", kNS));
    ExpectMatchesGolden(r.get(), "getratingsrange_request");

    DMRadio3_RateTrack_InputType rate(nullptr);
    EXPECT_EQ(rate.mRating, 0);
    rate.mTrackId = DMSIF_QualIDType("USSM15900113", "t1", "isrc", "http://t/1");
    rate.mCategoryId = DMSIF_IDType("10", "c");
    rate.mStationId = DMSIF_IDType("radio:aggregate:12345", "s");
    rate.mRating = -1;
    auto back = SendAndRebuild(rate, "IProfileSetRequest", "ratetrack_request");
    EXPECT_EQ(back.mTrackId.mValue, "USSM15900113");
    EXPECT_EQ(back.mTrackId.mID, "");
    EXPECT_EQ(back.mTrackId.type, "");  // type and url are not written
    EXPECT_EQ(back.mTrackId.url, "");
    EXPECT_EQ(back.mCategoryId.mValue, "10");
    EXPECT_EQ(back.mCategoryId.mID, "");
    EXPECT_EQ(back.mStationId.mValue, "radio:aggregate:12345");
    EXPECT_EQ(back.mRating, -1);

    // Without a usable rating the input holds 0.
    for (const char* xml : {"<R><Property name=\"TrackRating\"><TrackRating trackId=\"t\"/></Property></R>",
                            "<R><Property name=\"TrackRating\"><TrackRating rating=\"x\"/></Property></R>", "<R/>"}) {
        Owned e = Parse(xml);
        DMRadio3_RateTrack_InputType in(e.get());
        EXPECT_EQ(in.mRating, 0) << xml;
    }
}

TEST(Radio3Requests, IsValidTable) {
    IDs one = {DMSIF_IDType("x", "")};
    struct Row {
        const char* what;
        bool valid;
        std::function<bool()> check;
    };
    const std::vector<Row> rows = {
        {"categories", true, [] { return DMRadio3_ListCategories_InputType("", -1, -1, "Categories").IsValid(); }},
        {"categories lower case", false,
         [] { return DMRadio3_ListCategories_InputType("", -1, -1, "categories").IsValid(); }},
        {"categories as Stations", false,
         [] { return DMRadio3_ListCategories_InputType("", -1, -1, "Stations").IsValid(); }},
        {"categories empty", false, [] { return DMRadio3_ListCategories_InputType("", -1, -1, "").IsValid(); }},
        {"stations", true, [] { return DMRadio3_ListStations_InputType("", -1, -1, {}, "Stations").IsValid(); }},
        {"stations upper case", false,
         [] { return DMRadio3_ListStations_InputType("", -1, -1, {}, "STATIONS").IsValid(); }},
        {"info 3.0", true, [&] { return DMRadio3_GetStationInfo_InputType(one, "3.0", "", {}).IsValid(); }},
        {"info empty version", true, [&] { return DMRadio3_GetStationInfo_InputType(one, "", "", {}).IsValid(); }},
        {"info other version", false, [&] { return DMRadio3_GetStationInfo_InputType(one, "2.0", "", {}).IsValid(); }},
        {"info 3.0 no RefId", false, [] { return DMRadio3_GetStationInfo_InputType({}, "3.0", "", {}).IsValid(); }},
        {"info empty no RefId", false, [] { return DMRadio3_GetStationInfo_InputType({}, "", "", {}).IsValid(); }},
        {"state 3.0", true, [&] { return DMRadio3_GetStationState_InputType(one, 0, {}, "3.0").IsValid(); }},
        {"state empty version", true, [&] { return DMRadio3_GetStationState_InputType(one, 0, {}, "").IsValid(); }},
        {"state 3.00", false, [&] { return DMRadio3_GetStationState_InputType(one, 0, {}, "3.00").IsValid(); }},
        {"state no RefId", false, [] { return DMRadio3_GetStationState_InputType({}, 0, {}, "").IsValid(); }},
        {"media 3.0", true, [&] { return DMRadio3_GetMediaFormatInfo_InputType(one, {}, "3.0").IsValid(); }},
        {"media empty version", true, [&] { return DMRadio3_GetMediaFormatInfo_InputType(one, {}, "").IsValid(); }},
        {"media other version", false, [&] { return DMRadio3_GetMediaFormatInfo_InputType(one, {}, "3").IsValid(); }},
        {"media 3.0 no RefId", false, [] { return DMRadio3_GetMediaFormatInfo_InputType({}, {}, "3.0").IsValid(); }},
        {"url both", true,
         [] { return DMRadio3_GetStationURL_InputType(DMSIF_IDType("p", ""), DMSIF_IDType("m", "")).IsValid(); }},
        {"url empty mediaFormatId", false,
         [] { return DMRadio3_GetStationURL_InputType(DMSIF_IDType("p", ""), DMSIF_IDType("", "id")).IsValid(); }},
        {"url empty refId", false,
         [] { return DMRadio3_GetStationURL_InputType(DMSIF_IDType("", "id"), DMSIF_IDType("m", "")).IsValid(); }},
        {"max presets", true, [] { return DMRadio3_GetMaxPresets_InputType().IsValid(); }},
        {"get presets empty", true, [] { return DMRadio3_GetPresets_InputType({}, "").IsValid(); }},
        {"set presets empty", false, [] { return DMRadio3_SetPresets_InputType({}, "t").IsValid(); }},
        {"set presets one", true, [&] { return DMRadio3_SetPresets_InputType(one, "").IsValid(); }},
        {"ratings range", true, [] { return DMRadio3_GetRatingsRange_InputType(nullptr).IsValid(); }},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.check(), r.valid) << r.what;
    }

    struct RateRow {
        const char* track;
        const char* category;
        const char* station;
        bool valid;
    } rates[] = {
        {"t", "c", "s", true},
        {"t", "", "s", false},
        {"", "c", "s", false},
        {"t", "c", "", false},
    };
    for (const RateRow& r : rates) {
        DMRadio3_RateTrack_InputType in(nullptr);
        in.mTrackId.mValue = r.track;
        in.mCategoryId.mValue = r.category;
        in.mStationId.mValue = r.station;
        EXPECT_EQ(in.IsValid(), r.valid) << r.track << "/" << r.category << "/" << r.station;
    }

    // Whatever domain the element says is taken, even one that makes the input invalid;
    // an empty mediaFormatId is still written.
    Owned e = Parse("<IMetadataListEnumRequest domain=\"CATEGORIES\"/>");
    DMRadio3_ListCategories_InputType read(e.get());
    EXPECT_EQ(read.mDomain, "CATEGORIES");
    EXPECT_FALSE(read.IsValid());
    DMRadio3_GetStationURL_InputType noFormat(DMSIF_IDType("p", ""), DMSIF_IDType());
    Owned u(noFormat.ToElement("IFulfillmentGetAssetRequest", kNS));
    ASSERT_NE(u->FindAttribute("mediaFormatId"), nullptr);
    EXPECT_EQ(u->FindAttribute("mediaFormatId")->value, "");
}

TEST(Radio3Requests, ReadQuirksOfRequestElements) {
    // "Restriction": only the exact name counts, the last matching one wins.
    struct Row {
        const char* xml;
        std::int32_t maxTracks;
    } rows[] = {
        {"<R><Restriction name=\"MaxTracks\"><MaxTracks>5</MaxTracks></Restriction></R>", -1},
        {"<R><Restriction><MaxTracks>5</MaxTracks></Restriction></R>", -1},
        {"<R><Restriction name=\"maxTracks\"/></R>", -1},
        {"<R><Restriction name=\"maxTracks\"><MaxTracks>abc</MaxTracks></Restriction></R>", -1},
        {"<R><Restriction name=\"maxTracks\"><MaxTracks>3</MaxTracks></Restriction>"
         "<Restriction name=\"maxTracks\"><MaxTracks>7</MaxTracks></Restriction></R>",
         7},
        {"<R><x:Restriction xmlns:x=\"urn:x\" name=\"maxTracks\"><MaxTracks> 4tracks</MaxTracks></x:Restriction></R>",
         4},
    };
    for (const Row& r : rows) {
        Owned e = Parse(r.xml);
        DMRadio3_GetStationState_InputType in(e.get());
        EXPECT_EQ(in.mMaxTracks, r.maxTracks) << r.xml;
    }

    // A "Preset" without its "Presets" wrapper is not read in a request.
    const char* unwrapped = "<R><Property name=\"Presets\"><Preset>a</Preset></Property></R>";
    Owned u = Parse(unwrapped);
    DMRadio3_GetPresets_InputType get({DMSIF_IDType("kept", "")}, "");
    get.FromElement(u.get());
    ASSERT_EQ(get.mPresets.size(), 1u);
    EXPECT_EQ(get.mPresets[0].mValue, "kept");
    DMRadio3_SetPresets_InputType set({DMSIF_IDType("kept", "")}, "");
    set.FromElement(u.get());
    EXPECT_EQ(set.mPresets[0].mValue, "kept");

    // Properties of another name are skipped; a later matching one wins.
    Owned two = Parse(
        "<R><Property name=\"Other\"><Presets><Preset>x</Preset></Presets></Property>"
        "<Property name=\"Presets\"><Presets><Preset>a</Preset></Presets></Property>"
        "<Property name=\"Presets\"><Presets><Preset>b</Preset><Preset>c</Preset></Presets>"
        "<Presets><Preset>ignored</Preset></Presets></Property></R>");
    DMRadio3_SetPresets_InputType last(two.get());
    ASSERT_EQ(last.mPresets.size(), 2u);
    EXPECT_EQ(last.mPresets[0].mValue, "b");

    // Children without any "RefId" leave the RefId list empty; no children keep it.
    DMRadio3_GetMediaFormatInfo_InputType media({DMSIF_IDType("m", "")}, {}, "");
    Owned bare = Parse("<R version=\"3.0\"/>");
    media.FromElement(bare.get());
    EXPECT_EQ(media.mRefIds.size(), 1u);
    EXPECT_EQ(media.mVersion, "3.0");
    Owned other = Parse("<R><OutputElement>Name</OutputElement></R>");
    media.FromElement(other.get());
    EXPECT_TRUE(media.mRefIds.empty());
    EXPECT_EQ(media.mOutputElements.size(), 1u);

    // Offsets that do not convert leave the field.
    Owned badNumbers = Parse("<R offset=\"abc\" count=\" 12x\"/>");
    DMRadio3_ListStations_InputType stations(badNumbers.get());
    EXPECT_EQ(stations.mOffset, -1);
    EXPECT_EQ(stations.mCount, 12);
}

}  // namespace
