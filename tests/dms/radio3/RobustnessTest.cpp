#include <gtest/gtest.h>

#include <string>

#include "Radio3TestSupport.h"
#include "dms/core/DMXMLDocument.h"
#include "dms/radio3/DMRadio3Methods.h"

namespace {

using namespace radio3test;

TEST(Radio3Robustness, HundredThousandStations) {
    std::string xml = "<R xmlns=\"urn:zym-com:ns:service:radio:3.0\" timeStamp=\"t\"><Status code=\"OK\"/>";
    for (int i = 0; i < 100000; ++i) {
        xml += "<Station stationId=\"radio:aggregate:" + std::to_string(i) + "\"><Category>1</Category></Station>";
    }
    xml += "</R>";
    Owned e = Parse(xml);
    DMRadio3_ListStations_OutputType out(e.get());
    ASSERT_EQ(out.mStations.size(), 100000u);
    EXPECT_EQ(out.mStations.back().mStationId.mValue, "radio:aggregate:99999");
    Owned again(out.ToElement("R", kNS));
    EXPECT_EQ(again->children.size(), 100001u);
}

// As deep as the parser lets a document go, and one level deeper.
TEST(Radio3Robustness, DirectivesNestedToTheParserLimit) {
    int deepest = 0;
    for (int depth : {200, 255, 256, 1000, 5000}) {
        std::string xml;
        for (int i = 0; i < depth; ++i)
            xml += "<SearchDirective boolop=\"and\">";
        xml += "<Term name=\"n\" relop=\"eq\">v</Term>";
        for (int i = 0; i < depth; ++i)
            xml += "</SearchDirective>";
        Owned e;
        try {
            e = Parse(xml);
        } catch (const DMXMLException&) {
            continue;  // beyond the parser's depth limit: refused, not crashed
        }
        deepest = depth;
        DMRadio3_SearchDirectiveType d(e.get());
        DMRadio3_SearchDirectiveType copy(d);
        Owned out(copy.ToElement("SearchDirective", kNS));
        const DMRadio3_SearchDirectiveType* walk = &d;
        int levels = 1;
        while (!walk->mEntries.empty() && walk->mEntries[0].GetDirective()) {
            walk = walk->mEntries[0].GetDirective();
            ++levels;
        }
        EXPECT_EQ(levels, depth);
        // The same directive inside a listing request.
        Owned input(new DMSOAPElementType("B", "", ""));
        input->AddChild(e.release(), false);
        DMRadio3_ListStations_InputType stations(input.get());
        EXPECT_TRUE(stations.mSearchDirective.HasEntries());
    }
    EXPECT_GE(deepest, 200);
}

TEST(Radio3Robustness, MalformedAnswersNeverThrow) {
    const char* bodies[] = {
        "<A/>",
        "<A><Status/></A>",
        "<A remaining=\"99999999999\" offset=\"-99999999999\"><Category/><Station/></A>",
        "<A><Station><Format/><Banner><Image width=\"x\"/></Banner><Category/></Station></A>",
        "<A><StationState><Track><Duration>99999999999</Duration><TrackId/></Track></StationState></A>",
        "<A><Format><Channel><Channels>1e999</Channels><VBR/><BitRate>--1</BitRate></Channel></Format></A>",
        "<A><Property/><Property name=\"\"/><Property name=\"Presets\"/>"
        "<Property name=\"MaxPresets\"><MaxPresets/></Property>"
        "<Property name=\"RatingsRange\"><RatingsRange min=\"\" max=\"99999999999\"/></Property>"
        "<Property name=\"TrackRating\"/></A>",
        "<A><Restriction name=\"maxTracks\"/><RefId/><SearchDirective><Term/></SearchDirective></A>",
    };
    for (const char* body : bodies) {
        Owned e = Parse(body);
        EXPECT_NO_THROW({
            DMRadio3_ListCategories_OutputType a(e.get());
            DMRadio3_ListStations_OutputType b(e.get());
            DMRadio3_GetStationInfo_OutputType c(e.get());
            DMRadio3_GetStationState_OutputType d(e.get());
            DMRadio3_GetMediaFormatInfo_OutputType f(e.get());
            DMRadio3_GetStationURL_OutputType g(e.get());
            DMRadio3_GetMaxPresets_OutputType h(e.get());
            DMRadio3_GetPresets_OutputType i(e.get());
            DMRadio3_SetPresets_OutputType j(e.get());
            DMRadio3_GetRatingsRange_OutputType k(e.get());
            DMRadio3_RateTrack_OutputType l(e.get());
            DMRadio3_ListStations_InputType m(e.get());
            DMRadio3_GetStationState_InputType n(e.get());
            DMRadio3_RateTrack_InputType o(e.get());
            DMRadio3_SetPresets_InputType p(e.get());
            Owned w1(c.ToElement("A", kNS));
            Owned w2(k.ToElement("A", kNS));
            Owned w3(m.ToElement("A", kNS));
            EXPECT_EQ(a.mRemaining, 0);
            EXPECT_EQ(h.mMaxPresets, 0);
            EXPECT_EQ(o.mRating, 0);
        }) << body;
    }
}

}  // namespace
