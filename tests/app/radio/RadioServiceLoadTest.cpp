// The directory load end to end: a real sign-on and discovery over loopback, the radio
// directory of the test server, and the requests checked in the server's record.

#include "RadioServiceSupport.h"

#include <algorithm>
#include <set>

#include <QDirIterator>

#include "app/foundation/PropertyList.h"
#include "app/foundation/ServiceLayerError.h"

using namespace radiotest;

namespace {

std::vector<std::string> Refids(const QJsonObject& call) {
    std::vector<std::string> out;
    for (const auto& pair : call["refids"].toArray())
        out.push_back(pair.toArray()[0].toString().toStdString() + "=" + pair.toArray()[1].toString().toStdString());
    return out;
}

std::vector<std::string> Ids(const QJsonObject& call) {
    std::vector<std::string> out;
    for (const auto& pair : call["refids"].toArray())
        out.push_back(pair.toArray()[1].toString().toStdString());
    return out;
}

std::vector<std::string> Numbered(int n) {
    std::vector<std::string> out;
    for (int i = 1; i <= n; ++i)
        out.push_back("ID" + std::to_string(i));
    return out;
}

const std::vector<std::string> kFullLoad = {"ListCategories", "ListStations",       "GetStationInfo", "GetStationInfo",
                                            "GetStationInfo", "GetMediaFormatInfo", "GetMaxPresets",  "GetPresets"};

}  // namespace

TEST_F(RadioServiceFixture, FreshLoadAsksForEverythingInChunksAndReportsTheLoadOnce) {
    Start();
    HandOver();
    WaitLoaded();

    const auto calls = Calls();
    ASSERT_EQ(Methods(), kFullLoad);
    EXPECT_EQ(Ids(calls[2]), Numbered(20));
    EXPECT_EQ(Ids(calls[3]), Numbered(20));
    EXPECT_EQ(Ids(calls[4]), Numbered(5));
    // The chunks together name every listed station once.
    std::set<std::string> asked;
    for (int i = 2; i <= 4; ++i)
        for (const auto& pair : calls[i]["refids"].toArray())
            asked.insert(pair.toArray()[0].toString().toStdString());
    EXPECT_EQ(asked.size(), 45u);
    EXPECT_EQ(calls[7]["refids"].toArray().size(), 0);
    EXPECT_EQ(reports_.chunksAtDetailsRequest, (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(radio_->infoRequestWithType(ZYMRadioInformationRequest::kStationInfo)->pendingChunks(), 0);
    EXPECT_EQ(radio_->countOfPendingInfoRequests(), 0);

    ASSERT_NE(radio_->stations(), nullptr);
    EXPECT_EQ(radio_->stations()->size(), 45u);
    EXPECT_EQ(radio_->genres()->size(), 3u);
    EXPECT_TRUE(radio_->haveAllStationInfo());
    EXPECT_EQ(radio_->maxNumberOfPresets(), 5);
    // The presets answer: slot 1 a listed station, slot 2 one the directory lacks (kept,
    // so that a later write does not erase it on the server), slot 7 beyond the row.
    EXPECT_EQ(radio_->stationPresets(),
              (QStringList{"radio:aggregate:12345", "radio:aggregate:4242", ZYMRadioService::kEmptyPreset,
                           ZYMRadioService::kEmptyPreset, ZYMRadioService::kEmptyPreset}));

    // Each chunk covers fewer than half of the 45 stations: every station is reported
    // by itself, never with nil.
    EXPECT_EQ(reports_.Count("DetailsDidLoad nil"), 0);
    EXPECT_TRUE(reports_.Has("DetailsDidLoad radio:aggregate:12345"));
    EXPECT_TRUE(reports_.Has("DetailsDidLoad radio:aggregate:41"));

    EXPECT_EQ(reports_.informationDidLoad, 1);
    radio_->loadMoreInformationFromService();
    radio_->serviceInformationLoaded();
    EXPECT_EQ(reports_.informationDidLoad, 1);
    ASSERT_GE(reports_.events.size(), 2u);
    EXPECT_EQ(reports_.events[0], "authenticated");
    EXPECT_EQ(reports_.events[1], "requestDone YES");
    EXPECT_EQ(reports_.events.back(), "InformationDidLoad");
}

// A flush rewrites the whole cache file: once per answer, a directory of many chunks
// costs the square of its size. The load writes the file once, when it ends.
TEST_F(RadioServiceFixture, ALoadWritesTheCacheFileOnceWhenItEnds) {
    Start();
    HandOver();
    const auto flushes = [&] {
        return std::count_if(cache_.events.begin(), cache_.events.end(),
                             [](const std::string& e) { return e.rfind("flush", 0) == 0; });
    };
    const auto atHandOver = flushes();
    WaitLoaded();
    EXPECT_EQ(flushes(), atHandOver + 1);

    // What the load received is in the file already, before the service object goes.
    ZYMCacheStorage file(radio_->genericService()->ServiceTypeURN(), radio_->genericService()->GetCanonicalUserName(),
                         folder_.filePath("cache"));
    std::string value;
    EXPECT_TRUE(file.Get("StationInfo_radio:aggregate:41", value));
    EXPECT_TRUE(file.Get(kDMLoadDateCacheItemKey, value));
    EXPECT_FALSE(value.empty());
}

TEST_F(RadioServiceFixture, AnAnswerForHalfTheStationsOrMoreIsReportedOnceWithNil) {
    Directory({});  // the default modes: 27 stations play in full
    Start();
    HandOver();
    WaitLoaded();
    ASSERT_EQ(radio_->stations()->size(), 27u);
    EXPECT_EQ(Methods(), (std::vector<std::string>{"ListCategories", "ListStations", "GetStationInfo", "GetStationInfo",
                                                   "GetMediaFormatInfo", "GetMaxPresets", "GetPresets"}));
    // 20 of 27 is at least half: once with nil; the 7 that follow one by one.
    EXPECT_EQ(reports_.Count("DetailsDidLoad nil"), 1);
    EXPECT_FALSE(reports_.Has("DetailsDidLoad radio:aggregate:12345"));
    int single = 0;
    for (const auto& e : reports_.events)
        single += e.rfind("DetailsDidLoad radio:", 0) == 0;
    EXPECT_EQ(single, 7);
}

TEST_F(RadioServiceFixture, SameDayRestartAsksOnlyForPresetsAndTheFormatTheCacheLacks) {
    Start();
    HandOver();
    WaitLoaded();
    const std::size_t before = Calls().size();
    const QDateTime day = LoadDate();
    ASSERT_TRUE(day.isValid());

    Start();
    clock_.set(day);
    reports_ = Reports(&radioPtr_);
    HandOver();
    WaitLoaded();
    // Station 4 names "mf999", which the server never had: the cache lacks it, so the
    // load still asks for it rather than leaving the station unplayable all day.
    const auto calls = Calls();
    ASSERT_EQ(Methods(before), (std::vector<std::string>{"GetMediaFormatInfo", "GetMaxPresets", "GetPresets"}));
    EXPECT_EQ(Refids(calls[before]), (std::vector<std::string>{"mf999=ID1"}));
    EXPECT_TRUE(reports_.Has("CachedInformationDidLoad"));
    EXPECT_EQ(radio_->stations()->size(), 45u);
    EXPECT_TRUE(radio_->haveAllStationInfo());
    EXPECT_EQ(reports_.informationDidLoad, 1);
    EXPECT_FALSE(radio_->stationFormats(QStringLiteral("12345"), 1000000).empty());
}

TEST_F(RadioServiceFixture, TheNextGMTDayReloadsFullyAtRestartAndAtTheHourlyTick) {
    Start();
    HandOver();
    WaitLoaded();
    const QDateTime day = LoadDate();

    // Restart on the next day, one second after midnight.
    std::size_t before = Calls().size();
    Start();
    clock_.set(QDateTime(day.date().addDays(1), QTime(0, 0, 1), Qt::UTC));
    HandOver();
    WaitLoaded();
    EXPECT_EQ(Methods(before), kFullLoad);

    // Same day: the tick does nothing.
    before = Calls().size();
    clock_.set(QDateTime(LoadDate().date(), QTime(0, 0), Qt::UTC));
    scheduler_.advance(std::chrono::hours(1));
    EXPECT_TRUE(radio_->informationLoaded());  // a reload would have reset it at once
    platform::RunLoop::Current().RunFor(std::chrono::milliseconds(50));
    EXPECT_EQ(Calls().size(), before);

    // The tick after midnight reloads from the server.
    clock_.set(QDateTime(LoadDate().date(), QTime(23, 30), Qt::UTC));
    reports_.informationDidLoad = 0;
    scheduler_.advance(std::chrono::hours(1));
    EXPECT_FALSE(radio_->informationLoaded());
    WaitLoaded();
    EXPECT_EQ(Methods(before), kFullLoad);
    EXPECT_EQ(reports_.informationDidLoad, 1);
    EXPECT_NE(Log().find("Refreshing Radio service information...\n"), std::string::npos);
}

TEST_F(RadioServiceFixture, ARenewalReloadsFullyTheSameDay) {
    defaults_->setInteger(QStringLiteral("lfs_auth_renewal_interval"), 600);
    Start();
    HandOver();
    WaitLoaded();
    clock_.set(LoadDate());
    const std::size_t before = Calls().size();
    const DMGenericService* first = radio_->genericService();
    scheduler_.advance(std::chrono::seconds(601));
    ASSERT_TRUE(RunUntil([&] { return reports_.Count("requestDone YES") == 2; })) << reports_.Joined();
    EXPECT_NE(radio_->genericService(), first);
    WaitLoaded();
    EXPECT_EQ(Methods(before), kFullLoad);
}

TEST(RadioServiceDay, TheCacheIsGoodForTheRestOfItsGMTCalendarDay) {
    struct Row {
        const char* load;
        const char* now;
        bool good;
    } rows[] = {
        {"2026-03-01T23:59:59Z", "2026-03-02T00:00:01Z", false},
        {"2026-03-01T00:00:00Z", "2026-03-01T23:59:59Z", true},
        {"2026-12-31T10:00:00Z", "2027-12-31T10:00:00Z", false},  // same day of the year (2027 is no leap year)
        {"2026-07-04T12:00:00Z", "2026-07-04T12:00:00Z", true},
        {"2026-07-04T12:00:00Z", "2026-07-03T23:00:00Z", false},
        {"not a date", "2026-07-04T12:00:00Z", false},
    };
    for (const auto& row : rows) {
        QDateTime load = QDateTime::fromString(row.load, Qt::ISODate);
        const QDateTime now = QDateTime::fromString(row.now, Qt::ISODate);
        EXPECT_EQ(ZYMRadioService::sameGMTDay(load, now), row.good) << row.load << " / " << row.now;
    }
}

TEST_F(RadioServiceFixture, WithoutALoadDateTheCacheIsNotGood) {
    Start();
    HandOver();
    WaitLoaded();
    radio_->genericService()->ResetCache();
    EXPECT_FALSE(radio_->cacheIsGood());
    EXPECT_NE(Log().find("cacheIsGood? There is no cache\n"), std::string::npos);
}

// --- failures ---

TEST_F(RadioServiceFixture, ARequiredStepFailingReportsTheErrorThenTheFailureAndResetsTheQueue) {
    struct Row {
        const char* name;
        const char* method;
        QJsonValue answer;
        const char* status;  // status code the error carries
    } rows[] = {
        {"status", "ListCategories", QJsonObject{{"status_code", "Failure"}}, "Failure"},
        {"fault", "ListStations", QJsonObject{{"fault", QJsonObject{{"code", "SOAP-ENV:Server"}}}}, ""},
        {"http 500 formats", "GetMediaFormatInfo", QJsonObject{{"http_status", 500}}, ""},
        {"http 500 second chunk", "GetStationInfo", QJsonArray{QJsonObject{}, QJsonObject{{"http_status", 500}}}, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SignOnAt(server_->NewPrefix());
        Directory({{"play_modes", QJsonArray{"full"}}, {"methods", QJsonObject{{row.method, row.answer}}}});
        reports_ = Reports(&radioPtr_);
        reports_.verdict = 0;  // keep the service
        Start();
        HandOver();
        WaitFailed();
        ASSERT_EQ(reports_.errors.size(), 1u) << reports_.Joined();
        EXPECT_EQ(reports_.errors[0], std::string(row.method) + " " + row.status);
        const auto error =
            std::find(reports_.events.begin(), reports_.events.end(), "error " + std::string(row.method));
        ASSERT_NE(error, reports_.events.end());
        EXPECT_EQ(*(error + 1), "ServerInformationDidFail");
        EXPECT_FALSE(radio_->informationLoaded());
        EXPECT_EQ(radio_->countOfPendingInfoRequests(), 6);
        for (int type : {1, 2, 3, 6, 7, 8})
            EXPECT_FALSE(radio_->infoRequestWithType(type)->requested()) << type;
        EXPECT_EQ(reports_.informationDidLoad, 0);
        EXPECT_NE(Log().find("requestFailed! " + std::string(row.method) + "\n"), std::string::npos);
    }
}

TEST_F(RadioServiceFixture, AFailureAfterTheLoadOnlyReportsTheError) {
    Start();
    HandOver();
    WaitLoaded();
    reports_.verdict = 0;
    Directory({{"play_modes", QJsonArray{"full"}},
               {"methods", QJsonObject{{"GetStationInfo", QJsonObject{{"http_status", 500}}}}}});
    radio_->radioService()->GetStationInfo({DMSIF_IDType("radio:aggregate:1", "ID1")});
    ASSERT_TRUE(RunUntil([&] { return !reports_.errors.empty(); }));
    platform::RunLoop::Current().RunFor(std::chrono::milliseconds(20));
    EXPECT_EQ(reports_.errors[0], "GetStationInfo ");
    EXPECT_FALSE(reports_.failed);
    EXPECT_TRUE(radio_->informationLoaded());
    EXPECT_EQ(radio_->stations()->size(), 45u);
}

TEST_F(RadioServiceFixture, MaxPresetsFailingStillFinishesTheLoadWithFiveSlots) {
    Directory({{"play_modes", QJsonArray{"full"}},
               {"methods", QJsonObject{{"GetMaxPresets", QJsonObject{{"status_code", "Failure"}}}}}});
    reports_.verdict = 0;
    Start();
    HandOver();
    WaitLoaded();
    const auto calls = Calls();
    ASSERT_EQ(calls.back()["method"].toString(), "GetPresets");
    std::vector<std::string> slotIds;
    for (const auto& pair : calls.back()["presets"].toArray())
        slotIds.push_back(pair.toArray()[1].toString().toStdString());
    EXPECT_EQ(slotIds, (std::vector<std::string>{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(radio_->maxNumberOfPresets(), 5);
    EXPECT_TRUE(reports_.errors.empty());
    EXPECT_NE(Log().find("requestForMaxPresets failed, but info request is not required.  continuing as normal.\n"),
              std::string::npos);
}

// --- faults of the directory's answers and cache ---

TEST_F(RadioServiceFixture, ACallResentToAMovedEndpointStillEndsTheLoad) {
    const QString endpoint = QString::fromStdString(server_->Url(prefix_ + "svc"));
    Directory(
        {{"play_modes", QJsonArray{"full"}},
         {"methods", QJsonObject{{"GetStationInfo", QJsonArray{QJsonObject{{"moved_to", endpoint}}, QJsonObject{}}}}}});
    Start();
    HandOver();
    WaitLoaded();
    EXPECT_EQ(reports_.informationDidLoad, 1);
    EXPECT_TRUE(reports_.errors.empty());
    EXPECT_TRUE(radio_->haveAllStationInfo());
    const auto methods = Methods();
    EXPECT_EQ(std::count(methods.begin(), methods.end(), "GetStationInfo"), 4);  // one re-sent
}

TEST_F(RadioServiceFixture, AMalformedCacheItemIsFetchedFromTheServer) {
    Start();
    HandOver();
    WaitLoaded();
    const QDateTime day = LoadDate();
    const std::size_t before = Calls().size();

    Start();  // the old object flushed its cache as it went
    QDirIterator files(folder_.filePath("cache"), {"*.cache"}, QDir::Files, QDirIterator::Subdirectories);
    ASSERT_TRUE(files.hasNext());
    const QString path = files.next();
    QVariantMap items = PropertyList::readFile(path).value_or(QVariant()).toMap();
    ASSERT_TRUE(items.contains("StationInfo_radio:aggregate:777"));
    items["StationInfo_radio:aggregate:777"] = "<Station stationId=";
    ASSERT_TRUE(PropertyList::writeFile(path, items));
    clock_.set(day);
    HandOver();
    WaitLoaded();
    const auto calls = Calls();
    std::vector<std::string> infos;
    for (std::size_t i = before; i < calls.size(); ++i)
        if (calls[i]["method"] == "GetStationInfo") infos.push_back(Refids(calls[i]).front());
    EXPECT_EQ(infos, (std::vector<std::string>{"radio:aggregate:777=ID1"}));
    EXPECT_TRUE(radio_->haveAllStationInfo());
}

TEST_F(RadioServiceFixture, StationsAnAnswerLeftOutDoNotStayPendingOnceTheStepEnds) {
    Directory({{"play_modes", QJsonArray{"full"}},
               {"methods", QJsonObject{{"GetStationInfo", QJsonObject{{"omit", QJsonArray{"radio:aggregate:99",
                                                                                          "radio:aggregate:41"}}}}}}});
    Start();
    HandOver();
    WaitLoaded();
    const auto methods = Methods();
    EXPECT_EQ(std::count(methods.begin(), methods.end(), "GetStationInfo"), 3);  // not asked again this load
    for (const char* id : {"99", "41"}) {
        auto station = radio_->stationWithID(id);
        ASSERT_TRUE(station);
        EXPECT_FALSE(station->haveStationInfo()) << id;
        EXPECT_FALSE(station->stationInfoPending()) << id;
    }
    EXPECT_FALSE(radio_->haveAllStationInfo());
}

TEST_F(RadioServiceFixture, GenresFollowAStationsNewGenres) {
    // Station 777 is listed under 2 and 10; its description names 1 alone.
    Directory({{"play_modes", QJsonArray{"full"}}, {"info_categories", QJsonObject{{"777", QJsonArray{"1"}}}}});
    Start();
    HandOver();
    WaitLoaded();
    auto station = radio_->stationWithID("777");
    ASSERT_TRUE(station);
    EXPECT_EQ(station->genreIDs(), QStringList{"1"});
    EXPECT_EQ(station->unfilteredGenreIDs(), QStringList{"1"});
    auto lists = [&](const char* genre) {
        const auto& all = radio_->genreWithID(genre)->unfilteredRadioStations();
        return std::find(all.begin(), all.end(), station) != all.end();
    };
    EXPECT_TRUE(lists("1"));
    EXPECT_FALSE(lists("2"));
    EXPECT_FALSE(lists("10"));
    radio_->rebuildFilteredArraysWithBandwidth(1000000);
    for (const auto& genre : radio_->filteredGenres())
        for (const auto& s : genre->radioStations())
            EXPECT_TRUE(s->genreIDs().contains(genre->genreID())) << s->stationID().toStdString();
}

// --- loss of the service ---

TEST_F(RadioServiceFixture, LossDropsStationsAndGenresButKeepsTheFilteredOnesThroughRenewalAndSignOff) {
    Start();
    HandOver();
    WaitLoaded();
    radio_->rebuildFilteredArraysWithBandwidth(1000000);
    const auto filtered = radio_->filteredStations();
    ASSERT_FALSE(filtered.empty());

    // A failed call whose verdict drops the service: the core reports its loss.
    reports_.verdict = 1;
    Directory({{"play_modes", QJsonArray{"full"}},
               {"methods",
                QJsonObject{{"GetStationInfo", QJsonObject{{"fault", QJsonObject{{"code", "SOAP-ENV:Server"}}}}}}}});
    DMGenericService* lost = radio_->genericService();
    radio_->radioService()->GetStationInfo({DMSIF_IDType("radio:aggregate:1", "ID1")});
    ASSERT_TRUE(RunUntil([&] { return reports_.Has("invalid ServiceError"); })) << reports_.Joined();
    ASSERT_TRUE(RunUntil([&] { return !reports_.errors.empty(); })) << reports_.Joined();
    EXPECT_EQ(radio_->stations(), nullptr);
    EXPECT_EQ(radio_->genres(), nullptr);
    EXPECT_FALSE(radio_->serviceAvailable());
    EXPECT_FALSE(radio_->informationLoaded());
    EXPECT_EQ(radio_->filteredStations(), filtered);
    EXPECT_EQ(radio_->radioService(), nullptr);
    EXPECT_EQ(radio_->genericService(), lost);  // still owned
    EXPECT_EQ(radio_->stationWithID("12345"), nullptr);
    EXPECT_TRUE(radio_->stations(128000).empty());
    EXPECT_THROW(radio_->loadInformationFromService(), ServiceLayerError);
    scheduler_.advance(std::chrono::hours(1));  // the tick finds nothing loaded
    EXPECT_NE(Log().find("Could not refresh Radio service information at this time."), std::string::npos);

    // A new sign-on hands over a new object; the lost one goes then, and its cache is
    // written out before the new object opens the same file.
    Directory({{"play_modes", QJsonArray{"full"}}});
    reports_.failed = false;
    cache_.events.clear();
    const std::string lostStorage = std::to_string(cache_.made);
    HandOver();
    WaitLoaded();
    EXPECT_NE(radio_->genericService(), lost);
    const auto& events = cache_.events;
    const auto flushed = std::find(events.begin(), events.end(), "flush " + lostStorage);
    const auto created = std::find(events.begin(), events.end(), "create " + std::to_string(cache_.made));
    ASSERT_NE(flushed, events.end());
    ASSERT_NE(created, events.end());
    EXPECT_LT(flushed, created);
    EXPECT_NE(std::find(events.begin(), created, "delete " + lostStorage), created);
    EXPECT_EQ(radio_->stations()->size(), 45u);

    radio_->signOff();
    EXPECT_TRUE(reports_.Has("invalid UserLoggedOff"));
    EXPECT_EQ(radio_->genericService(), nullptr);
    EXPECT_EQ(radio_->stations(), nullptr);
    radio_.reset();
}
