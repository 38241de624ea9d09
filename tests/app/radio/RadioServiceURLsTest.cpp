// Station URLs and station state end to end: a real sign-on, the test server's directory,
// and the requests checked in the server's record.

#include "RadioServiceSupport.h"

using namespace radiotest;

namespace {

const QString kStation1 = QStringLiteral("radio:aggregate:1");
const QString kStation2 = QStringLiteral("radio:aggregate:2");

std::vector<QJsonObject> Named(const std::vector<QJsonObject>& calls, const char* method, std::size_t from = 0) {
    std::vector<QJsonObject> out;
    for (std::size_t i = from; i < calls.size(); ++i)
        if (calls[i]["method"].toString() == QLatin1String(method)) out.push_back(calls[i]);
    return out;
}

}  // namespace

class RadioServiceURLs : public RadioServiceFixture {
protected:
    // A full load in which the first chunk's answer leaves out the given stations, so
    // that they lack their information afterwards (and the day's cache lacks it too).
    void LoadLeavingOut(const QJsonArray& omitted, QJsonObject methods = {}) {
        methods["GetStationInfo"] = QJsonArray{QJsonObject{{"omit", omitted}}, QJsonObject{}};
        Directory({{"play_modes", QJsonArray{"full"}}, {"methods", methods}});
        Start();
        HandOver();
        WaitLoaded();
        for (const auto& v : omitted)
            ASSERT_FALSE(radio_->stationWithID(v.toString())->haveStationInfo());
    }
    std::size_t Mark() { return Calls().size(); }
};

TEST_F(RadioServiceURLs, StationWithoutInformationIsParkedFetchedAndThenAskedForByItself) {
    LoadLeavingOut({kStation1});
    const std::size_t before = Mark();

    radio_->requestURLForStation(kStation1, 0);
    EXPECT_EQ(radio_->pendingStationURLRequest(), kStation1);
    EXPECT_TRUE(reports_.Has("DetailsWillLoad radio:aggregate:1")) << reports_.Joined();
    EXPECT_FALSE(reports_.Has("URLWillLoad radio:aggregate:1"));

    ASSERT_TRUE(RunUntil([&] { return reports_.Has("URLDidLoad 1,1") || reports_.Has("URLDidFail 1,1"); }))
        << reports_.Joined();
    EXPECT_TRUE(reports_.Has("URLDidLoad 1,1")) << reports_.Joined();
    EXPECT_EQ(Methods(before), (std::vector<std::string>{"GetStationInfo", "GetStationURL"}));
    const auto url = Named(Calls(), "GetStationURL", before).at(0);
    EXPECT_EQ(url["refId"].toString(), "1,1");
    EXPECT_EQ(url["mediaFormatId"].toString(), "mf128");
    // Will-load names the station, did-load the prog id; the server's order is kept.
    EXPECT_TRUE(reports_.Has("URLWillLoad radio:aggregate:1"));
    ASSERT_EQ(reports_.lastUrls.size(), 2);
    EXPECT_TRUE(reports_.lastUrls[0].endsWith("?fmt=mf128&n=1")) << reports_.lastUrls[0].toStdString();
    EXPECT_TRUE(reports_.lastUrls[1].endsWith("?fmt=mf128&n=2")) << reports_.lastUrls[1].toStdString();
    EXPECT_TRUE(radio_->pendingStationURLRequest().isEmpty());
    EXPECT_TRUE(radio_->stationReadyToPlay(kStation1));
}

// The station list asks for every row it draws; a report for details already held would
// have the row drawn again, and asked again.
TEST_F(RadioServiceURLs, AskingForDetailsAlreadyHeldReportsNothing) {
    Directory({{"play_modes", QJsonArray{"full"}}});
    Start();
    HandOver();
    WaitLoaded();
    ASSERT_TRUE(radio_->stationWithID(kStation1)->haveStationInfo());
    const std::size_t before = Mark();
    reports_.events.clear();

    radio_->ensureStationInfo(kStation1);
    EXPECT_TRUE(radio_->loadStationInfoFromCache(kStation1, true));
    platform::RunLoop::Current().RunFor(std::chrono::milliseconds(100));
    EXPECT_EQ(reports_.Joined(), "");
    EXPECT_TRUE(Methods(before).empty());
}

TEST_F(RadioServiceURLs, OfTwoParkedRequestsOnlyTheSecondIsSent) {
    LoadLeavingOut({kStation1, kStation2});
    const std::size_t before = Mark();

    radio_->requestURLForStation(kStation1, 0);
    radio_->requestURLForStation(kStation2, 0);
    ASSERT_TRUE(RunUntil([&] {
        return reports_.Has("DetailsDidLoad radio:aggregate:1") && reports_.Has("DetailsDidLoad radio:aggregate:2") &&
               reports_.Count("URLWillLoad radio:aggregate:2") == 1 && !reports_.lastUrls.isEmpty();
    })) << reports_.Joined();
    const auto urls = Named(Calls(), "GetStationURL", before);
    ASSERT_EQ(urls.size(), 1u);
    EXPECT_TRUE(urls[0]["refId"].toString().startsWith("2,")) << urls[0]["refId"].toString().toStdString();
    EXPECT_FALSE(reports_.Has("URLWillLoad radio:aggregate:1"));
}

// The play road must never wait for an answer that cannot come.
TEST_F(RadioServiceURLs, RequestsThatCannotBeServedAreReportedAsFailed) {
    Start();
    HandOver();
    WaitLoaded();
    const auto station4 = radio_->stationWithID(QStringLiteral("radio:aggregate:4"));
    ASSERT_TRUE(station4 && station4->formats() && !station4->formats()->empty());
    struct Case {
        const char* what;
        QString station;
        std::shared_ptr<ZYMRadioStationFormat> format;
        std::string expected;
    } cases[] = {
        {"a media format the server never described", "radio:aggregate:4", nullptr, "URLDidFail radio:aggregate:4"},
        {"the same, asked by format", "radio:aggregate:4", station4->formats()->at(0), "URLDidFail 4,1"},
        {"a station the directory does not hold", "radio:aggregate:4242", nullptr, "URLDidFail radio:aggregate:4242"},
        {"a station without formats", "radio:aggregate:3", nullptr, "URLDidFail radio:aggregate:3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t before = Mark();
        reports_.events.clear();
        if (c.format)
            radio_->requestURLForStation(c.station, c.format);
        else
            radio_->requestURLForStation(c.station, 128000);
        EXPECT_TRUE(reports_.Has(c.expected)) << reports_.Joined();
        EXPECT_TRUE(radio_->pendingStationURLRequest().isEmpty());
        EXPECT_TRUE(Named(Calls(), "GetStationURL", before).empty());
    }
}

TEST_F(RadioServiceURLs, FailedURLAnswerLeavesTheParkedRequestAlone) {
    QJsonObject methods{{"GetStationURL", QJsonObject{{"fail_progs", QJsonArray{"12345,1"}}}}};
    LoadLeavingOut({kStation1}, methods);
    const std::size_t before = Mark();
    const auto ready = radio_->stationWithID(QStringLiteral("radio:aggregate:12345"));
    ASSERT_TRUE(radio_->stationReadyToPlay(ready->stationID()));

    radio_->requestURLForStation(kStation1, 0);
    radio_->requestURLForStation(ready->stationID(), ready->formats()->at(0));
    ASSERT_TRUE(RunUntil([&] { return reports_.Has("URLDidFail 12345,1") && reports_.Has("URLDidLoad 1,1"); }))
        << reports_.Joined();
    EXPECT_EQ(Named(Calls(), "GetStationURL", before).size(), 2u);
    EXPECT_TRUE(radio_->pendingStationURLRequest().isEmpty());
    EXPECT_NE(Log().find("requestForURLs failed, but info request is not required.  continuing as normal.\n"),
              std::string::npos);
}

TEST_F(RadioServiceURLs, StateIsAskedByProgIdNumberedByPositionAndMatchedExactly) {
    const QStringList asked{"radio:aggregate:12345", "radio:aggregate:3", "radio:aggregate:1"};
    struct Case {
        const char* what;
        QJsonObject answer;
        std::vector<std::string> expected;
    } cases[] = {
        // "1" is contained in "12345,1" but names the other station.
        {"states named by station", QJsonObject{}, {"StateDidLoad 12345,1", "StateDidLoad 1,1"}},
        {"no states", QJsonObject{{"empty_state", true}}, {"StateDidLoad 12345,1", "StateDidLoad 1,1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SignOnAt(server_->NewPrefix());
        Directory({{"play_modes", QJsonArray{"full"}}, {"methods", QJsonObject{{"GetStationState", c.answer}}}});
        reports_.events.clear();
        reports_.states.clear();
        Start();
        HandOver();
        WaitLoaded();
        const std::size_t before = Mark();
        reports_.events.clear();

        radio_->requestStateForStations(asked, 999999999);
        EXPECT_EQ(reports_.events, (std::vector<std::string>{"StateWillLoad 12345,1", "StateWillLoad 1,1"}));
        ASSERT_TRUE(RunUntil([&] { return reports_.states.size() >= 2; })) << reports_.Joined();
        const auto state = Named(Calls(), "GetStationState", before).at(0);
        EXPECT_EQ(state["refids"].toArray(), (QJsonArray{QJsonArray{"12345,1", "ID1"}, QJsonArray{"1,1", "ID3"}}));
        std::vector<std::string> loaded;
        for (const auto& e : reports_.events)
            if (e.rfind("StateDidLoad", 0) == 0) loaded.push_back(e);
        EXPECT_EQ(loaded, c.expected);
        EXPECT_EQ(reports_.states.front()->canGetTrackDetails(), c.answer.isEmpty());
    }
}
