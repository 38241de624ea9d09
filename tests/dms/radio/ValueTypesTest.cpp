// The value types of the version-2 radio schema: hand-written elements decode to the
// expected fields and encode back to the expected elements, whatever the process locale.

#include "dms/radio/DMRadioTypes.h"

#include "dms/radio/DMRadioCoding.h"

#include <functional>
#include <vector>

#include "RadioTestSupport.h"

using namespace radiotest;

namespace {

// Decodes `in`, checks the fields, encodes under "V" in the caller's namespace and
// compares with `out`; the encoding decodes again to the same encoding.
template <class T>
void RoundTrip(const std::string& in, const std::function<void(const T&)>& check, const std::string& out) {
    Tree tree = Parse(in);
    T value(tree.get());
    check(value);
    Tree written(value.ToElement("V", kCaller));
    EXPECT_EQ(Diff(written.get(), out), "");
    ExpectOneDeclarationAtRoot(written.get());
    T again(written.get());
    Tree rewritten(again.ToElement("V", kCaller));
    EXPECT_EQ(Diff(rewritten.get(), written.get()), "");
}

struct Row {
    const char* name;
    std::function<void()> run;
};

const std::string kEmptyFormat = V("<R:Id/><R:BitRate>0</R:BitRate><R:VBR>false</R:VBR><R:Channels>1.0</R:Channels>");

std::vector<Row> Rows() {
    return {
        {"genre without name or description writes only an empty Id",
         [] {
             RoundTrip<DMRadio_GenreType>(
                 V(""), [](const DMRadio_GenreType& g) { EXPECT_EQ(g.mId.GetValue(), ""); }, V("<R:Id/>"));
         }},
        {"genre with every field, the first of two names",
         [] {
             RoundTrip<DMRadio_GenreType>(
                 V("<Id id=\"old-3\">g1</Id><Name>Rock</Name><Name>Second</Name><Desc>Loud</Desc>"),
                 [](const DMRadio_GenreType& g) {
                     EXPECT_EQ(g.mId.GetValue(), "g1");
                     EXPECT_EQ(g.mId.GetID(), "old-3");
                     EXPECT_EQ(g.mName, "Rock");
                     EXPECT_EQ(g.mDesc, "Loud");
                 },
                 V("<R:Id id=\"old-3\">g1</R:Id><R:Name>Rock</R:Name><R:Desc>Loud</R:Desc>"));
         }},
        {"station format at its defaults",
         [] {
             RoundTrip<DMRadio_StationFormatType>(
                 V(""),
                 [](const DMRadio_StationFormatType& f) {
                     EXPECT_EQ(f.mBitRate, 0);
                     EXPECT_FALSE(f.mVBR);
                     EXPECT_FLOAT_EQ(f.mChannels, 1.0f);
                 },
                 kEmptyFormat);
         }},
        {"station format with every field; channels rounded to one decimal",
         [] {
             RoundTrip<DMRadio_StationFormatType>(
                 V("<Id>f1</Id><Proto>http</Proto><Type>audio/aacp</Type><Codec>aacp</Codec>"
                   "<BitRate> 64kbit</BitRate><VBR>true</VBR><Channels>2.04</Channels>"),
                 [](const DMRadio_StationFormatType& f) {
                     EXPECT_EQ(f.mBitRate, 64);
                     EXPECT_TRUE(f.mVBR);
                     EXPECT_FLOAT_EQ(f.mChannels, 2.04f);
                 },
                 V("<R:Id>f1</R:Id><R:Proto>http</R:Proto><R:Type>audio/aacp</R:Type><R:Codec>aacp</R:Codec>"
                   "<R:BitRate>64</R:BitRate><R:VBR>true</R:VBR><R:Channels>2.0</R:Channels>"));
         }},
        {"unreadable numbers leave the defaults",
         [] {
             RoundTrip<DMRadio_StationFormatType>(
                 V("<BitRate>abc</BitRate><Channels>stereo</Channels><BitRate>7</BitRate>"),
                 [](const DMRadio_StationFormatType& f) {
                     EXPECT_EQ(f.mBitRate, 0);
                     EXPECT_FLOAT_EQ(f.mChannels, 1.0f);
                 },
                 kEmptyFormat);
         }},
        {"a bit rate beyond 32 bits is not converted",
         [] {
             RoundTrip<DMRadio_StationFormatType>(
                 V("<BitRate>4294967424</BitRate>"),
                 [](const DMRadio_StationFormatType& f) { EXPECT_EQ(f.mBitRate, 0); }, kEmptyFormat);
         }},
        {"base info: \"Formats\" items, genres, and an empty base writes nothing",
         [] {
             RoundTrip<DMRadio_StationBaseInfoType>(
                 V("<PlayMode>live</PlayMode><Formats><Formats><Id>a</Id><BitRate>128</BitRate></Formats>"
                   "<Format><Id>b</Id><Channels>2</Channels></Format></Formats><Number>7</Number>"
                   "<Genres><Genre>g1</Genre><x>g2</x></Genres>"),
                 [](const DMRadio_StationBaseInfoType& b) {
                     ASSERT_EQ(b.mFormats.size(), 2u);
                     EXPECT_EQ(b.mFormats.front().mBitRate, 128);
                     EXPECT_FLOAT_EQ(b.mFormats.back().mChannels, 2.0f);
                     ASSERT_EQ(b.mGenres.size(), 2u);
                     EXPECT_EQ(b.mGenres.back().GetValue(), "g2");
                 },
                 V("<R:PlayMode>live</R:PlayMode><R:Formats>"
                   "<R:Formats><R:Id>a</R:Id><R:BitRate>128</R:BitRate><R:VBR>false</R:VBR>"
                   "<R:Channels>1.0</R:Channels></R:Formats>"
                   "<R:Formats><R:Id>b</R:Id><R:BitRate>0</R:BitRate><R:VBR>false</R:VBR>"
                   "<R:Channels>2.0</R:Channels></R:Formats></R:Formats><R:Number>7</R:Number>"
                   "<R:Genres><R:Genre>g1</R:Genre><R:Genre>g2</R:Genre></R:Genres>"));
         }},
        {"related stations in the identifier form keep their ids; other items are skipped",
         [] {
             RoundTrip<DMRadio_StationBaseInfoType>(
                 V("<Related><Station id=\"r9\">s3</Station><Other>s4</Other><Station>s5</Station></Related>"),
                 [](const DMRadio_StationBaseInfoType& b) {
                     ASSERT_EQ(b.mRelated.size(), 2u);
                     EXPECT_EQ(b.mRelated.front().mId.GetValue(), "s3");
                     EXPECT_EQ(b.mRelated.front().mId.GetID(), "r9");
                     EXPECT_EQ(b.mRelated.back().mId.GetValue(), "s5");
                 },
                 V("<R:Related><R:Station><R:Id id=\"r9\">s3</R:Id></R:Station>"
                   "<R:Station><R:Id>s5</R:Id></R:Station></R:Related>"));
         }},
        {"station info with an empty base still writes Base",
         [] {
             RoundTrip<DMRadio_StationInfoType>(
                 V("<Id>s1</Id><Base></Base><Rules>none</Rules>"),
                 [](const DMRadio_StationInfoType& i) { EXPECT_EQ(i.GetId().GetValue(), "s1"); },
                 V("<R:Id>s1</R:Id><R:Base/><R:Rules>none</R:Rules>"));
         }},
        {"station with genres of any item name",
         [] {
             RoundTrip<DMRadio_StationType>(
                 V("<Id>s1</Id><Name>One</Name><Genres><a>g1</a><b id=\"x\">g2</b></Genres>"),
                 [](const DMRadio_StationType& s) { ASSERT_EQ(s.mGenres.size(), 2u); },
                 V("<R:Id>s1</R:Id><R:Name>One</R:Name>"
                   "<R:Genres><R:Genre>g1</R:Genre><R:Genre id=\"x\">g2</R:Genre></R:Genres>"));
         }},
        {"preset with an empty station: StationId -1, read back as -1",
         [] {
             RoundTrip<DMRadio_PresetType>(
                 V("<Idx>-1</Idx><StationId id=\"lost\"></StationId>"),
                 [](const DMRadio_PresetType& p) {
                     EXPECT_EQ(p.mIdx, -1);
                     EXPECT_EQ(p.mStationId.GetValue(), "");
                 },
                 V("<R:Idx>-1</R:Idx><R:StationId>-1</R:StationId>"));
             DMRadio_PresetType read(Parse(V("<StationId>-1</StationId>")).get());
             EXPECT_EQ(read.mStationId.GetValue(), "-1");
         }},
        {"station URLs with an empty second URL",
         [] {
             RoundTrip<DMRadio_StationUrlType>(
                 V("<StationId>s1</StationId><Url>http://a/</Url><Url/><Other><Url>no</Url></Other>"),
                 [](const DMRadio_StationUrlType& u) {
                     ASSERT_EQ(u.mUrls.size(), 2u);
                     EXPECT_EQ(u.mUrls.back(), "");
                 },
                 V("<R:StationId>s1</R:StationId><R:Url>http://a/</R:Url><R:Url/>"));
         }},
        {"track info at its defaults; a Duration that is no number keeps -1",
         [] {
             RoundTrip<DMRadio_TrkInfoType>(
                 V("<Duration>long</Duration>"), [](const DMRadio_TrkInfoType& t) { EXPECT_EQ(t.mDuration, -1); },
                 V("<R:Details/><R:Duration>-1</R:Duration><R:Time>-1</R:Time><R:Serial>0</R:Serial>"));
         }},
        {"track with three artist ids and two images of any names",
         [] {
             RoundTrip<DMRadio_TrkInfoType>(
                 V("<Details><TrackTitle>T</TrackTitle><ArtistIds><ArtistId id=\"1\" type=\"t\" url=\"u\">A</ArtistId>"
                   "<ArtistId>B</ArtistId><x type=\"t3\">C</x></ArtistIds></Details>"
                   "<Images><i><Url>u1</Url><Type>t1</Type><Geom>g1</Geom></i><j><Url>u2</Url></j></Images>"
                   "<Duration>+200</Duration><Time>12</Time><Serial>3</Serial><Commerce>buy</Commerce>"),
                 [](const DMRadio_TrkInfoType& t) {
                     ASSERT_EQ(t.mDetails.mArtistIds.size(), 3u);
                     EXPECT_EQ(t.mDetails.mArtistIds.front().url, "u");
                     const DMRadio_TrkInfoType copy = t;
                     ASSERT_EQ(copy.mImages.size(), 2u);
                     EXPECT_EQ(copy.mImages.front().mGeom, "g1");
                     EXPECT_EQ(copy.mImages.front().mType, "t1");
                     EXPECT_EQ(copy.mDuration, 200);
                 },
                 V("<R:Details><R:TrackTitle>T</R:TrackTitle><R:ArtistIds>"
                   "<R:ArtistId id=\"1\" type=\"t\" url=\"u\">A</R:ArtistId><R:ArtistId>B</R:ArtistId>"
                   "<R:ArtistId type=\"t3\">C</R:ArtistId></R:ArtistIds></R:Details>"
                   "<R:Images><R:Image><R:Url>u1</R:Url><R:Type>t1</R:Type><R:Geom>g1</R:Geom></R:Image>"
                   "<R:Image><R:Url>u2</R:Url></R:Image></R:Images>"
                   "<R:Duration>200</R:Duration><R:Time>12</R:Time><R:Serial>3</R:Serial>"
                   "<R:Commerce>buy</R:Commerce>"));
         }},
        {"station state without tracks writes only StationId",
         [] {
             RoundTrip<DMRadio_StationStateType>(
                 V("<StationId>s1</StationId><Tracks/>"),
                 [](const DMRadio_StationStateType& s) { EXPECT_TRUE(s.mTracks.empty()); },
                 V("<R:StationId>s1</R:StationId>"));
         }},
    };
}

}  // namespace

TEST(RadioValueTypes, DecodeAndEncodeRows) {
    for (const Row& row : Rows()) {
        SCOPED_TRACE(row.name);
        row.run();
    }
}

TEST(RadioValueTypes, NumericRowsUnderGermanLocale) {
    GermanLocale german;
    GERMAN_LOCALE_OR_SKIP(german);
    for (const Row& row : Rows()) {
        SCOPED_TRACE(row.name);
        row.run();
    }
    DMRadio_StationFormatType f(Parse(V("<Channels>2.5</Channels>")).get());
    EXPECT_FLOAT_EQ(f.mChannels, 2.5f);
}

// Only "false" in any letter case and "0" are false; flags written are "true"/"false".
TEST(RadioValueTypes, VbrFlagTable) {
    const struct {
        const char* text;
        bool vbr;
    } rows[] = {{"false", false}, {"False", false}, {"FALSE", false}, {" false\n", false}, {"0", false},
                {"true", true},   {"1", true},      {"", true},       {"falsey", true},    {"00", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        DMRadio_StationFormatType f(Parse(V(std::string("<VBR>") + row.text + "</VBR>")).get());
        EXPECT_EQ(f.mVBR, row.vbr);
    }
}

TEST(RadioValueTypes, EmptyGenresWrapperEmptiesAStationButNotABaseInfo) {
    Tree element = Parse(V("<Genres/>"));
    DMRadio_StationType station(DMSIF_IDType("s1", ""), "One", {DMSIF_IDType("g1", "")});
    station.FromElement(element.get());
    EXPECT_TRUE(station.mGenres.empty());
    Tree none(station.ToElement("V", kCaller));
    EXPECT_EQ(none->FindChild("Genres", 1), nullptr);

    DMRadio_StationBaseInfoType base;
    base.mGenres = {DMSIF_IDType("g1", "")};
    base.FromElement(element.get());
    EXPECT_EQ(base.mGenres.size(), 1u);

    DMRadio_StationStateType state(Parse(V("<Tracks><Track/></Tracks>")).get());
    state.FromElement(Parse(V("<Tracks/>")).get());
    EXPECT_EQ(state.mTracks.size(), 1u);
}

// Related stations written by us come back with their ids, names and genres.
TEST(RadioValueTypes, RelatedStationsRoundTripWithTheirIds) {
    DMRadio_StationBaseInfoType base;
    base.mRelated = {DMRadio_StationType(DMSIF_IDType("s2", "x"), "Two", {DMSIF_IDType("g1", "")}),
                     DMRadio_StationType(DMSIF_IDType("s3", ""), "", {})};
    Tree written(base.ToElement("Base", RNS));
    DMRadio_StationBaseInfoType read(written.get());
    ASSERT_EQ(read.mRelated.size(), 2u);
    EXPECT_EQ(read.mRelated.front().mId.GetValue(), "s2");
    EXPECT_EQ(read.mRelated.front().mId.GetID(), "x");
    EXPECT_EQ(read.mRelated.front().mName, "Two");
    EXPECT_EQ(read.mRelated.front().mGenres.size(), 1u);
    EXPECT_EQ(read.mRelated.back().mId.GetValue(), "s3");

    // A wrapper without children leaves the list; one of other names only empties it.
    read.FromElement(Parse(V("<Related/>")).get());
    EXPECT_EQ(read.mRelated.size(), 2u);
    read.FromElement(Parse(V("<Related><Other/></Related>")).get());
    EXPECT_TRUE(read.mRelated.empty());
}

// A whole tree of values carries one declaration, at its root.
TEST(RadioValueTypes, NestedValuesDeclareTheSchemaOnceAtTheRoot) {
    DMRadio_StationInfoType info;
    info.mId = DMSIF_IDType("s1", "");
    info.mBase.mFormats.resize(3);
    info.mBase.mRelated = {DMRadio_StationType(DMSIF_IDType("s2", ""), "", {})};
    Tree written(info.ToElement("Info", kCaller));
    ExpectOneDeclarationAtRoot(written.get());
    const std::string text = Written(written.get());
    EXPECT_NE(text.find("<RADIO2:Formats>"), std::string::npos) << text;
}

TEST(RadioValueTypes, NullElementChangesNothing) {
    DMRadio_TrkInfoType track;
    track.mSerial = 9;
    track.FromElement(nullptr);
    EXPECT_EQ(track.mSerial, 9);
    DMRadio_PresetType preset(nullptr);
    EXPECT_EQ(preset.mIdx, -1);
}

// The comparison the rows rely on does see differences.
TEST(RadioValueTypes, TreeComparisonSeesDifferences) {
    Tree a = Parse(V("<R:a x=\"1\">t</R:a>"));
    EXPECT_EQ(Diff(a.get(), V("<R:a x=\"1\">t</R:a>")), "");
    EXPECT_NE(Diff(a.get(), V("<R:a x=\"2\">t</R:a>")), "");
    EXPECT_NE(Diff(a.get(), V("<R:a x=\"1\">u</R:a>")), "");
    EXPECT_NE(Diff(a.get(), V("<c:a x=\"1\">t</c:a>")), "");
    EXPECT_NE(Diff(a.get(), V("<R:a x=\"1\">t</R:a><R:b/>")), "");
}

// A whole number reads as "%d" reads it: a second sign is no number.
TEST(NumberText, WholeNumbersReadAsPercentD) {
    struct Row {
        const char* text;
        bool converts;
        std::int32_t value;
    } rows[] = {{" \t-7x", true, -7}, {"+8", true, 8},          {"+-3", false, 0},
                {"-+3", false, 0},    {"2147483648", false, 0}, {"-2147483648", true, -2147483647 - 1}};
    for (const Row& r : rows) {
        std::int32_t value = 99;
        EXPECT_EQ(DMScanInt(r.text, value), r.converts) << r.text;
        EXPECT_EQ(value, r.converts ? r.value : 99) << r.text;
    }
    EXPECT_EQ(DMFormatInt(-2147483647 - 1), "-2147483648");
}
