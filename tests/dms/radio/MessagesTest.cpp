// The method messages of the version-2 radio schema: the hand-written answers in
// tests/data/dms/radio and hand-written requests decode to the expected members and
// encode back to the expected elements (children in the caller's namespace), also under
// a German process locale; IsValid over the ten inputs.

#include "dms/radio/DMRadioMethods.h"

#include <functional>
#include <vector>

#include "RadioTestSupport.h"

using namespace radiotest;

namespace {

// stable: the encoding decodes to a message that encodes the same way again.
template <class T>
void Check(const std::string& in, const std::function<void(T&)>& check, const std::string& out, bool stable = true) {
    Tree tree = in.empty() ? nullptr : Parse(in);
    T message(tree.get());
    check(message);
    Tree written(message.ToElement("V", kCaller));
    EXPECT_EQ(Diff(written.get(), out), "");
    EXPECT_LE(Count(Written(written.get()), "xmlns:RADIO2"), 1);
    if (!stable) return;
    T again(written.get());
    Tree rewritten(again.ToElement("V", kCaller));
    EXPECT_EQ(Diff(rewritten.get(), written.get()), "");
}

struct Row {
    const char* name;
    std::function<void()> run;
};

std::vector<Row> OutputRows() {
    return {
        {"ListGenres",
         [] {
             Check<DMRadio_ListGenres_OutputType>(
                 Answer("ListGenres"),
                 [](DMRadio_ListGenres_OutputType& m) {
                     EXPECT_EQ(m.status.GetCode(), "OK");
                     EXPECT_EQ(m.GetTimeStamp(), "2026-12-10T10:00:00Z");
                     EXPECT_EQ(m.GetRemaining(), 3);
                     ASSERT_EQ(m.GetGenres().size(), 2u);
                     EXPECT_EQ(m.GetGenres().back().mName, "Jazz & Blues");
                 },
                 V("<c:Status code=\"OK\"/><c:Remaining>3</c:Remaining><c:Genres>"
                   "<c:Genre><R:Id>g20</R:Id><R:Name>Rock</R:Name><R:Desc>Loud guitars</R:Desc></c:Genre>"
                   "<c:Genre><R:Id id=\"legacy-7\">g10</R:Id><R:Name>Jazz &amp; Blues</R:Name></c:Genre>"
                   "</c:Genres>",
                   " timeStamp=\"2026-12-10T10:00:00Z\""));
         }},
        {"ListStations: lower-case timestamp, no Remaining",
         [] {
             Check<DMRadio_ListStations_OutputType>(
                 Answer("ListStations"),
                 [](DMRadio_ListStations_OutputType& m) {
                     EXPECT_EQ(m.status.GetCode(), "Partial");
                     EXPECT_EQ(m.GetTimeStamp(), "2026-12-10T10:05:00Z");
                     EXPECT_EQ(m.GetRemaining(), 0);
                     ASSERT_EQ(m.GetStations().size(), 2u);
                     EXPECT_EQ(m.GetStations().front().mGenres.size(), 2u);
                 },
                 V("<c:Status code=\"Partial\" comment=\"more to come\"/><c:Remaining>0</c:Remaining>"
                   "<c:Stations><c:Station><R:Id>s3</R:Id><R:Name>Third Wave</R:Name>"
                   "<R:Genres><R:Genre>g20</R:Genre><R:Genre>g10</R:Genre></R:Genres></c:Station>"
                   "<c:Station><R:Id>s1</R:Id><R:Name>First Light</R:Name></c:Station></c:Stations>",
                   " timeStamp=\"2026-12-10T10:05:00Z\""));
         }},
        {"ListGenres with both spellings takes timeStamp",
         [] {
             Check<DMRadio_ListGenres_OutputType>(
                 V("", " timestamp=\"low\" timeStamp=\"high\""),
                 [](DMRadio_ListGenres_OutputType& m) { EXPECT_EQ(m.GetTimeStamp(), "high"); },
                 V("<c:Status/><c:Remaining>0</c:Remaining>", " timeStamp=\"high\""));
         }},
        {"GetStationInfo",
         [] {
             Check<DMRadio_GetStationInfo_OutputType>(
                 Answer("GetStationInfo"),
                 [](DMRadio_GetStationInfo_OutputType& m) {
                     ASSERT_EQ(m.GetStationInfo().size(), 2u);
                     const DMRadio_StationInfoType& first = m.GetStationInfo().front();
                     ASSERT_EQ(first.mBase.mFormats.size(), 2u);
                     EXPECT_FALSE(first.mBase.mFormats.back().mVBR);
                     ASSERT_EQ(first.mBase.mRelated.size(), 1u);
                     EXPECT_EQ(first.mBase.mRelated.front().mId.GetID(), "r-9");
                 },
                 V("<c:Status code=\"OK\"/><c:StationInfo><c:Info><R:Id>s1</R:Id><R:Base>"
                   "<R:PlayMode>stream</R:PlayMode><R:Formats>"
                   "<R:Formats><R:Id>f128</R:Id><R:Proto>http</R:Proto><R:Type>audio/mpeg</R:Type>"
                   "<R:Codec>mp3</R:Codec><R:BitRate>128</R:BitRate><R:VBR>false</R:VBR>"
                   "<R:Channels>2.0</R:Channels></R:Formats>"
                   "<R:Formats><R:Id>f48</R:Id><R:Codec>aacp</R:Codec><R:BitRate>48</R:BitRate>"
                   "<R:VBR>false</R:VBR><R:Channels>1.0</R:Channels></R:Formats></R:Formats>"
                   "<R:Name>First Light</R:Name><R:Number>101</R:Number>"
                   "<R:Genres><R:Genre>g10</R:Genre></R:Genres><R:ImgUrlBase>http://img.example/s1/</R:ImgUrlBase>"
                   "<R:Related><R:Station><R:Id id=\"r-9\">s3</R:Id></R:Station></R:Related></R:Base>"
                   "<R:ShareUrl>http://share.example/s1</R:ShareUrl></c:Info>"
                   "<c:Info><R:Id>s3</R:Id><R:Base/></c:Info></c:StationInfo>"));
         }},
        {"GetStationURL",
         [] {
             Check<DMRadio_GetStationUrl_OutputType>(
                 Answer("GetStationURL"),
                 [](DMRadio_GetStationUrl_OutputType& m) { EXPECT_EQ(m.GetUrl().mUrls.size(), 2u); },
                 V("<c:Status code=\"OK\"/><c:Url><R:StationId>s1</R:StationId>"
                   "<R:Url>http://stream.example/s1/128</R:Url><R:Url>http://backup.example/s1</R:Url></c:Url>"));
         }},
        {"GetStationUrl without Url still writes one",
         [] {
             Check<DMRadio_GetStationUrl_OutputType>(
                 V("<Status code=\"x:OK\"/>"), [](DMRadio_GetStationUrl_OutputType&) {},
                 V("<c:Status code=\"OK\"/><c:Url><R:StationId/></c:Url>"));
         }},
        {"GetStationState",
         [] {
             Check<DMRadio_GetStationState_OutputType>(
                 Answer("GetStationState"),
                 [](DMRadio_GetStationState_OutputType& m) {
                     ASSERT_EQ(m.GetStationState().size(), 1u);
                     ASSERT_EQ(m.GetStationState().front().mTracks.size(), 1u);
                     EXPECT_EQ(m.GetStationState().front().mTracks.front().mDuration, 241);
                 },
                 V("<c:Status code=\"OK\"/><c:StationState><c:State><R:StationId>s1</R:StationId><R:Tracks>"
                   "<R:Track><R:Details><R:Type>song</R:Type><R:TrackTitle>Blue Hour</R:TrackTitle>"
                   "<R:ArtistName>The Quiet</R:ArtistName><R:ArtistIds>"
                   "<R:ArtistId id=\"a1\" type=\"mbid\" url=\"http://db.example/a1\">The Quiet</R:ArtistId>"
                   "</R:ArtistIds></R:Details><R:Images><R:Image><R:Url>http://img.example/c.jpg</R:Url>"
                   "<R:Type>cover</R:Type><R:Geom>200x200</R:Geom></R:Image></R:Images>"
                   "<R:Duration>241</R:Duration><R:Time>17</R:Time><R:Serial>4</R:Serial></R:Track>"
                   "</R:Tracks></c:State></c:StationState>"));
         }},
        {"GetMaxPresets",
         [] {
             Check<DMRadio_GetMaxPresets_OutputType>(
                 Answer("GetMaxPresets"), [](DMRadio_GetMaxPresets_OutputType& m) { EXPECT_EQ(m.GetMaxPresets(), 12); },
                 V("<c:Status code=\"OK\"/><c:MaxPresets>12</c:MaxPresets>"));
         }},
        {"MaxPresets -1 is read and not written",
         [] {
             Check<DMRadio_GetMaxPresets_OutputType>(
                 V("<Status code=\"OK\"/><MaxPresets>-1</MaxPresets>"),
                 [](DMRadio_GetMaxPresets_OutputType& m) { EXPECT_EQ(m.GetMaxPresets(), -1); },
                 V("<c:Status code=\"OK\"/>"), false);
         }},
        {"GetPresets",
         [] {
             Check<DMRadio_GetPresets_OutputType>(
                 Answer("GetPresets"),
                 [](DMRadio_GetPresets_OutputType& m) {
                     ASSERT_EQ(m.GetPresets().size(), 2u);
                     EXPECT_EQ(m.GetPresets().back().mStationId.GetValue(), "-1");
                 },
                 V("<c:Status code=\"OK\"/><c:Presets>"
                   "<c:Preset><R:Idx>0</R:Idx><R:StationId>s3</R:StationId></c:Preset>"
                   "<c:Preset><R:Idx>1</R:Idx><R:StationId>-1</R:StationId></c:Preset></c:Presets>",
                   " timeStamp=\"2026-12-10T11:00:00Z\""));
         }},
        {"GetPresets and SetPresets read no lower-case timestamp",
         [] {
             Check<DMRadio_GetPresets_OutputType>(
                 V("", " timestamp=\"t\""), [](DMRadio_GetPresets_OutputType& m) { EXPECT_EQ(m.GetTimeStamp(), ""); },
                 V("<c:Status/>"));
             Check<DMRadio_SetPresets_OutputType>(
                 V("", " timestamp=\"t\""), [](DMRadio_SetPresets_OutputType& m) { EXPECT_EQ(m.GetTimeStamp(), ""); },
                 V("<c:Status/>"));
         }},
        {"SetPresets",
         [] {
             Check<DMRadio_SetPresets_OutputType>(
                 Answer("SetPresets"),
                 [](DMRadio_SetPresets_OutputType& m) { EXPECT_EQ(m.GetTimeStamp(), "2026-12-10T11:30:00Z"); },
                 V("<c:Status code=\"OK\"/>", " timeStamp=\"2026-12-10T11:30:00Z\""));
         }},
        {"GetRatingsRange",
         [] {
             Check<DMRadio_GetRatingsRange_OutputType>(
                 Answer("GetRatingsRange"),
                 [](DMRadio_GetRatingsRange_OutputType& m) {
                     EXPECT_EQ(m.mMin, 1);
                     EXPECT_EQ(m.mMax, 5);
                 },
                 V("<c:Status code=\"OK\"/><c:Min>1</c:Min><c:Max>5</c:Max>"));
             Check<DMRadio_GetRatingsRange_OutputType>(
                 "", [](DMRadio_GetRatingsRange_OutputType&) {}, V("<c:Status/><c:Min>0</c:Min><c:Max>0</c:Max>"));
         }},
        {"RateTrack; the fault is never written",
         [] {
             Check<DMRadio_RateTrack_OutputType>(
                 Answer("RateTrack"),
                 [](DMRadio_RateTrack_OutputType& m) {
                     EXPECT_EQ(m.status.GetCode(), "OK");
                     m.fault.faultcode = "SOAP-ENV:Server";
                 },
                 V("<c:Status code=\"OK\"/>"));
         }},
    };
}

std::vector<Row> InputRows() {
    return {
        {"ListGenres: Offset 0 written, Count -1 not",
         [] {
             Check<DMRadio_ListGenres_InputType>(
                 V("<c:Offset>0</c:Offset><c:Count>-1</c:Count>", " changedSince=\"2026-01-01\""),
                 [](DMRadio_ListGenres_InputType& m) {
                     EXPECT_EQ(m.mOffset, 0);
                     EXPECT_EQ(m.mCount, -1);
                 },
                 V("<c:Offset>0</c:Offset>", " changedSince=\"2026-01-01\""));
         }},
        {"ListGenres from no element writes the bare element",
         [] {
             Check<DMRadio_ListGenres_InputType>(
                 "", [](DMRadio_ListGenres_InputType&) {}, V(""));
         }},
        {"ListGenres: Offset 12abc is 12, abc leaves -1",
         [] {
             Check<DMRadio_ListGenres_InputType>(
                 V("<Offset>12abc</Offset><Count>abc</Count>"),
                 [](DMRadio_ListGenres_InputType& m) {
                     EXPECT_EQ(m.mOffset, 12);
                     EXPECT_EQ(m.mCount, -1);
                 },
                 V("<c:Offset>12</c:Offset>"));
         }},
        {"ListStations: onlyPlayable False is false; genres of any names",
         [] {
             Check<DMRadio_ListStations_InputType>(
                 V("<Count>5</Count><Genres><a>g1</a><b id=\"7\">g2</b></Genres>", " onlyPlayable=\"False\""),
                 [](DMRadio_ListStations_InputType& m) {
                     EXPECT_EQ(m.mOnlyPlayable, 0);
                     EXPECT_EQ(m.mGenres.size(), 2u);
                 },
                 V("<c:Count>5</c:Count><c:Genres><c:Genre>g1</c:Genre><c:Genre id=\"7\">g2</c:Genre></c:Genres>",
                   " onlyPlayable=\"false\""));
         }},
        {"ListStations: onlyPlayable yes is true; absent stays absent; empty Genres",
         [] {
             Check<DMRadio_ListStations_InputType>(
                 V("", " onlyPlayable=\"yes\""),
                 [](DMRadio_ListStations_InputType& m) { EXPECT_EQ(m.mOnlyPlayable, 1); },
                 V("", " onlyPlayable=\"true\""));
             Check<DMRadio_ListStations_InputType>(
                 V("<Genres/>"), [](DMRadio_ListStations_InputType& m) { EXPECT_EQ(m.mOnlyPlayable, -1); }, V(""));
         }},
        {"GetStationInfo",
         [] {
             Check<DMRadio_GetStationInfo_InputType>(
                 V("<Stations><Station>s1</Station><Station>s2</Station></Stations><Fields><Field>Base</Field></"
                   "Fields>",
                   " strictVersion=\"2.0\""),
                 [](DMRadio_GetStationInfo_InputType& m) { EXPECT_TRUE(m.IsValid()); },
                 V("<c:Stations><c:Station>s1</c:Station><c:Station>s2</c:Station></c:Stations>"
                   "<c:Fields><c:Field>Base</c:Field></c:Fields>",
                   " strictVersion=\"2.0\""));
         }},
        {"GetStationState",
         [] {
             Check<DMRadio_GetStationState_InputType>(
                 V("<Stations><x>s1</x></Stations>", " maxFutureTrks=\" 3\""),
                 [](DMRadio_GetStationState_InputType& m) { EXPECT_EQ(m.mMaxFutureTrks, 3); },
                 V("<c:Stations><c:Station>s1</c:Station></c:Stations>", " maxFutureTrks=\"3\""));
         }},
        {"GetStationUrl with empty ids still writes both",
         [] {
             Check<DMRadio_GetStationUrl_InputType>(
                 V("<Station/><Format id=\"\"/>"),
                 [](DMRadio_GetStationUrl_InputType& m) { EXPECT_FALSE(m.IsValid()); }, V("<c:Station/><c:Format/>"));
         }},
        {"GetMaxPresets and GetRatingsRange write the bare element",
         [] {
             const std::string busy = V("<Offset>1</Offset><Stations><s>1</s></Stations>", " changedSince=\"x\"");
             Check<DMRadio_GetMaxPresets_InputType>(
                 busy, [](DMRadio_GetMaxPresets_InputType&) {}, V(""));
             Check<DMRadio_GetRatingsRange_InputType>(
                 busy, [](DMRadio_GetRatingsRange_InputType&) {}, V(""));
         }},
        {"GetPresets",
         [] {
             Check<DMRadio_GetPresets_InputType>(
                 V("", " changedSince=\"t1\""), [](DMRadio_GetPresets_InputType&) {}, V("", " changedSince=\"t1\""));
         }},
        {"SetPresets without a time stamp writes no Timestamp",
         [] {
             Check<DMRadio_SetPresets_InputType>(
                 V("<Presets><Preset><Idx>2</Idx><StationId/></Preset></Presets>"),
                 [](DMRadio_SetPresets_InputType& m) { EXPECT_FALSE(m.IsValid()); },
                 V("<c:Presets><c:Preset><R:Idx>2</R:Idx><R:StationId>-1</R:StationId></c:Preset></c:Presets>"));
         }},
        {"RateTrack",
         [] {
             Check<DMRadio_RateTrack_InputType>(
                 V("<TrackId>t</TrackId><StationId id=\"i\">s</StationId><GenreId>g</GenreId><Rating>-2</Rating>"),
                 [](DMRadio_RateTrack_InputType& m) { EXPECT_EQ(m.mRating, -2); },
                 V("<c:TrackId>t</c:TrackId><c:StationId id=\"i\">s</c:StationId><c:GenreId>g</c:GenreId>"
                   "<c:Rating>-2</c:Rating>"));
         }},
    };
}

void RunRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.run();
    }
}

}  // namespace

TEST(RadioMessages, OutputsDecodeAndEncode) { RunRows(OutputRows()); }

TEST(RadioMessages, InputsDecodeAndEncode) { RunRows(InputRows()); }

TEST(RadioMessages, NumericRowsUnderGermanLocale) {
    GermanLocale german;
    GERMAN_LOCALE_OR_SKIP(german);
    RunRows(OutputRows());
    RunRows(InputRows());
}

TEST(RadioMessages, IsValidOfTheTenInputs) {
    const struct {
        const char* name;
        std::function<bool()> valid;
        bool expected;
    } rows[] = {
        {"ListGenres", [] { return DMRadio_ListGenres_InputType().IsValid(); }, true},
        {"ListStations", [] { return DMRadio_ListStations_InputType().IsValid(); }, true},
        {"GetMaxPresets", [] { return DMRadio_GetMaxPresets_InputType().IsValid(); }, true},
        {"GetPresets", [] { return DMRadio_GetPresets_InputType().IsValid(); }, true},
        {"GetRatingsRange", [] { return DMRadio_GetRatingsRange_InputType().IsValid(); }, true},
        {"GetStationInfo one station",
         [] { return DMRadio_GetStationInfo_InputType(Parse(V("<Stations><s>1</s></Stations>")).get()).IsValid(); },
         true},
        {"GetStationInfo 2.0",
         [] {
             return DMRadio_GetStationInfo_InputType(
                        Parse(V("<Stations><s>1</s></Stations>", " strictVersion=\"2.0\"")).get())
                 .IsValid();
         },
         true},
        {"GetStationInfo 2.00",
         [] {
             return DMRadio_GetStationInfo_InputType(
                        Parse(V("<Stations><s>1</s></Stations>", " strictVersion=\"2.00\"")).get())
                 .IsValid();
         },
         false},
        {"GetStationInfo 2",
         [] {
             return DMRadio_GetStationInfo_InputType(
                        Parse(V("<Stations><s>1</s></Stations>", " strictVersion=\"2\"")).get())
                 .IsValid();
         },
         false},
        {"GetStationInfo no station",
         [] { return DMRadio_GetStationInfo_InputType(Parse(V("<Stations/>")).get()).IsValid(); }, false},
        {"GetStationState one station",
         [] { return DMRadio_GetStationState_InputType(Parse(V("<Stations><s>1</s></Stations>")).get()).IsValid(); },
         true},
        {"GetStationState 2.1",
         [] {
             return DMRadio_GetStationState_InputType(
                        Parse(V("<Stations><s>1</s></Stations>", " strictVersion=\"2.1\"")).get())
                 .IsValid();
         },
         false},
        {"GetStationState no station", [] { return DMRadio_GetStationState_InputType().IsValid(); }, false},
        {"GetStationUrl both",
         [] {
             return DMRadio_GetStationUrl_InputType(Parse(V("<Station>s</Station><Format>f</Format>")).get()).IsValid();
         },
         true},
        {"GetStationUrl id only",
         [] {
             return DMRadio_GetStationUrl_InputType(Parse(V("<Station id=\"i\"/><Format>f</Format>")).get()).IsValid();
         },
         false},
        {"SetPresets both",
         [] {
             return DMRadio_SetPresets_InputType(Parse(V("<Timestamp>t</Timestamp><Presets><p/></Presets>")).get())
                 .IsValid();
         },
         true},
        {"SetPresets no presets",
         [] { return DMRadio_SetPresets_InputType(Parse(V("<Timestamp>t</Timestamp>")).get()).IsValid(); }, false},
        {"RateTrack all",
         [] {
             return DMRadio_RateTrack_InputType(
                        Parse(V("<TrackId>t</TrackId><StationId>s</StationId><GenreId>g</GenreId>")).get())
                 .IsValid();
         },
         true},
        {"RateTrack no genre",
         [] {
             return DMRadio_RateTrack_InputType(
                        Parse(V("<TrackId>t</TrackId><StationId>s</StationId><GenreId id=\"g\"/>")).get())
                 .IsValid();
         },
         false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.valid(), row.expected) << row.name;
}

// The value constructors that the facade re-encodes its merged lists with.
TEST(RadioMessages, ValueConstructorsCopyStatusAndEntries) {
    DMSIF_StatusType status;
    status.code = "OK";
    DMRadio_GenreType genre;
    genre.mId = DMSIF_IDType("g1", "");
    DMRadio_ListGenres_OutputType genres(status, "ts", -1, {genre});
    Tree written(genres.ToElement("ListGenres", RNS));
    EXPECT_EQ(Diff(written.get(), "<R:ListGenres xmlns:R=\"" RNS "\" timeStamp=\"ts\"><R:Status code=\"OK\"/>"
                                  "<R:Genres><R:Genre><R:Id>g1</R:Id></R:Genre></R:Genres></R:ListGenres>"),
              "");
    DMRadio_ListStations_OutputType stations(status, "", 4, {});
    EXPECT_EQ(stations.GetRemaining(), 4);
    EXPECT_TRUE(stations.fault.GetFaultCode().empty());
}
