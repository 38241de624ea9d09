// Look-ups, the bandwidth and codec filter and the delegate's fall-back notifications,
// over a directory loaded from the test server.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "RadioServiceSupport.h"
#include "app/foundation/Resources.h"
#include "app/foundation/ServiceLayerError.h"
#include "dms/radio3/DMRadio3Types.h"

using namespace radiotest;

namespace {

QStringList ProgIds(const ZYMRadioStationFormat::List& formats) {
    QStringList ids;
    for (const auto& f : formats)
        ids.append(f->progID());
    return ids;
}

// A resource folder with one supported-codec list (any text).
struct CodecList {
    explicit CodecList(const QByteArray& content) {
        QFile file(dir.filePath("SupportedRadioMediaFormatCodecs.plist"));
        file.open(QIODevice::WriteOnly);
        file.write(content);
        file.close();
        root = std::make_unique<ScopedResourceRoot>(dir.path());
    }
    QTemporaryDir dir;
    std::unique_ptr<ScopedResourceRoot> root;
};

const QByteArray kWithAacPlus =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><array><string>MP3</string>"
    "<string>VLB</string><string>AACPLUS</string></array></plist>\n";

int Lines(const std::string& log, const std::string& part) {
    int n = 0;
    for (std::size_t at = log.find(part); at != std::string::npos; at = log.find(part, at + 1))
        ++n;
    return n;
}

class RadioModelTest : public RadioServiceFixture {
protected:
    void SetUp() override {
        RadioServiceFixture::SetUp();
        Start();
        HandOver();
        WaitLoaded();
    }
};

}  // namespace

TEST_F(RadioModelTest, StationWithIDFollowsTheAliasRules) {
    struct Row {
        const char* id;
        const char* found;  // station id, or "" for none
    } rows[] = {
        {"radio:aggregate:12345", "radio:aggregate:12345"},
        {"12345", "radio:aggregate:12345"},
        {"\"12345\"", "radio:aggregate:12345"},
        {"'12345'", "radio:aggregate:12345"},
        {"radio3:radio:aggregate:99", "radio:aggregate:99"},
        {"\"radio3:radio:aggregate:99\"", "radio:aggregate:99"},
        {"radio3:12345", ""},  // the prefix is dropped, nothing added
        {"\"12345'", ""},
        {"\"", ""},
        {"''", ""},
        {"", ""},
        {"\"\"12345\"\"", ""},  // one pair of marks only
        {"12a45", ""},
    };
    for (const auto& row : rows) {
        const auto station = radio_->stationWithID(QString::fromUtf8(row.id));
        EXPECT_EQ(station ? station->stationID().toStdString() : std::string(), row.found) << row.id;
    }
    EXPECT_EQ(radio_->stationWithName("STATION 777")->stationID(), "radio:aggregate:777");
    EXPECT_EQ(radio_->stationWithName("Station 778"), nullptr);
}

TEST_F(RadioModelTest, StationWithProgIdMatchesIgnoringCaseAndAfterTheStationId) {
    EXPECT_EQ(radio_->stationWithProgId("PLAIN7")->stationID(), "radio:aggregate:7");
    EXPECT_EQ(radio_->stationWithProgId("12345,1")->stationID(), "radio:aggregate:12345");
    EXPECT_EQ(radio_->stationWithProgId("nothing"), nullptr);

    DMRadio3_StationInfoType info;
    info.mStationId.mValue = "radio:aggregate:1";
    DMRadio3_StationFormatType format;
    format.mProgId.mValue = "radio:aggregate:1,Live";
    format.mMediaFormatId.mValue = "mf128";
    info.mFormats.push_back(format);
    radio_->updateInfoForStation(info);
    EXPECT_EQ(radio_->stationWithProgId("live")->stationID(), "radio:aggregate:1");

    // Shared pairs give one format object.
    const auto five = radio_->stationWithID("5");
    const auto six = radio_->stationWithID("6");
    ASSERT_TRUE(five && six && five->formats() && six->formats());
    EXPECT_EQ(five->formats()->front(), six->formats()->front());
}

TEST_F(RadioModelTest, AChannelIsUsableUpToItsBitRateWithASupportedCodec) {
    // Station 99's one format is VLB over qint: at 48000 bits per second.
    EXPECT_EQ(ProgIds(radio_->stationFormats("99", 48000)), QStringList{"99,1"});
    EXPECT_TRUE(radio_->stationFormats("99", 47999).empty());
    EXPECT_EQ(radio_->chooseBestFormat("99", 48000)->formatID(), "vlb48");
    EXPECT_EQ(radio_->chooseBestFormat("99", 47999), nullptr);

    // Station 777 offers AACPLUS (64000) and VLB: AACPLUS counts only when listed.
    EXPECT_EQ(ProgIds(radio_->stationFormats("777", 64000)), QStringList{"777,2"});
    {
        CodecList list(kWithAacPlus);
        EXPECT_EQ(ProgIds(radio_->stationFormats("777", 64000)).size(), 2);
        EXPECT_EQ(ProgIds(radio_->stationFormats("777", 63999)), QStringList{"777,2"});
    }
}

TEST_F(RadioModelTest, AnUnreadableCodecListFallsBackToTheBuiltInOneWithOneLine) {
    for (const QByteArray& content :
         {QByteArray("not a property list"), QByteArray("<?xml version=\"1.0\"?><plist><dict/></plist>")}) {
        CodecList list(content);
        const std::size_t before = Log().size();
        EXPECT_EQ(ProgIds(radio_->stationFormats("99", 48000)), QStringList{"99,1"});
        EXPECT_EQ(Lines(Log().substr(before), "Unreadable supported-format list"), 1);
        EXPECT_EQ(ZYMRadioService::supportedRadioMediaFormatCodecs(), (QStringList{"MP3", "VLB"}));
    }
}

TEST_F(RadioModelTest, StationsWithoutFormatsGiveNothingAndOneLine) {
    std::size_t before = Log().size();
    EXPECT_TRUE(radio_->stationFormats("3", 1000000).empty());
    EXPECT_EQ(Lines(Log().substr(before), "contains no Station Formats"), 1);
    before = Log().size();
    EXPECT_TRUE(radio_->stationFormats("424242", 1000000).empty());
    EXPECT_EQ(Lines(Log().substr(before), "contains no Station Formats"), 0);
    // Station 4 names a media format nobody has: no usable format either.
    EXPECT_TRUE(radio_->stationFormats("4", 1000000).empty());
}

TEST_F(RadioModelTest, OnlyFullAndSamplePlayModesQualify) {
    const auto station = radio_->stationWithID("12345");
    ASSERT_FALSE(radio_->stationFormats("12345", 1000000).empty());
    struct Row {
        std::optional<QString> mode;
        bool listed;
    } rows[] = {
        {QStringLiteral("full"), true},     {QStringLiteral("FULL"), true},
        {QStringLiteral("Sample"), true},   {std::nullopt, true},
        {QStringLiteral("preview"), false}, {QStringLiteral(""), false},
        {QStringLiteral("fully"), false},
    };
    for (const auto& row : rows) {
        station->setPlayMode(row.mode);
        const auto listed = radio_->stations(1000000);
        EXPECT_EQ(std::find(listed.begin(), listed.end(), station) != listed.end(), row.listed)
            << (row.mode ? row.mode->toStdString() : "nil");
    }
}

TEST_F(RadioModelTest, FilteredGenresAndStationsListOnlyEachOther) {
    EXPECT_TRUE(radio_->filteredArraysAreStale());
    radio_->rebuildFilteredArraysWithBandwidth(48000);
    EXPECT_FALSE(radio_->filteredArraysAreStale());
    EXPECT_TRUE(reports_.Has("FilteredInformationDidChange"));
    const auto& stations = radio_->filteredStations();
    const auto& genres = radio_->filteredGenres();
    ASSERT_FALSE(stations.empty());
    ASSERT_LT(stations.size(), radio_->stations()->size());
    QSet<QString> stationIds, genreIds;
    for (const auto& s : stations)
        stationIds.insert(s->stationID());
    for (const auto& g : genres)
        genreIds.insert(g->genreID());
    bool someTrimmed = false;
    for (const auto& g : genres) {
        someTrimmed |= g->radioStations().size() < g->unfilteredRadioStations().size();
        for (const auto& s : g->radioStations())
            EXPECT_TRUE(stationIds.contains(s->stationID())) << g->genreID().toStdString();
    }
    EXPECT_TRUE(someTrimmed);
    for (const auto& s : stations)
        for (const auto& id : s->genreIDs())
            EXPECT_TRUE(genreIds.contains(id)) << s->stationID().toStdString() << " " << id.toStdString();
    // "7" is named by stations but never listed: no filtered station keeps it.
    EXPECT_FALSE(genreIds.contains("7"));

    radio_->loadGenresFromCache(false);  // nothing new
    EXPECT_FALSE(radio_->filteredArraysAreStale());
    radio_->clearStations(false);
    EXPECT_TRUE(radio_->filteredArraysAreStale());
    EXPECT_TRUE(radio_->filteredStations().empty());
}

// --- the delegate's fall-back ---

namespace {

class Probe : public ZYMRadioService {
public:
    using ZYMRadioService::reports;
    using ZYMRadioService::ZYMRadioService;
};

struct Posted {
    explicit Posted(NotificationCenter& center)
        : sub(center.observe(QString(), nullptr, [this](const Notification& n) { seen.push_back(n); })) {}
    std::vector<Notification> seen;
    NotificationCenter::Subscription sub;
};

class OnlyGenresDidLoad : public RadioServiceDelegate {
public:
    Delegated radioServiceGenresDidLoad() override {
        ++calls;
        return Delegated::Handled;
    }
    int calls = 0;
};

}  // namespace

TEST(RadioServiceFallBack, WithoutADelegateMessagesBecomeNotificationsAndErrorsLeaveNoTrace) {
    NotificationCenter center;
    ZYMServiceEnvironment env;
    env.notifications = &center;
    Probe radio(env);
    Posted posted(center);

    radio.reports().notifyRadioStationDetailsWillLoad(std::nullopt);
    radio.reports().notifyRadioStationDetailsWillLoad(QStringLiteral("radio:aggregate:1"));
    ASSERT_EQ(posted.seen.size(), 2u);
    EXPECT_EQ(posted.seen[0].name, "kRadioServiceStationDetailsWillLoadNotificationName");
    EXPECT_EQ(posted.seen[0].object, &radio);
    EXPECT_TRUE(posted.seen[0].userInfo.empty());
    ASSERT_EQ(posted.seen[1].userInfo.size(), 1u);
    EXPECT_EQ(std::any_cast<QString>(posted.seen[1].userInfo.at("object1")), "radio:aggregate:1");

    posted.seen.clear();
    DMServiceRequestToken token(kServiceTypeRadio3, "someone", false, nullptr);
    radio.requestFailed(&token);
    ASSERT_EQ(posted.seen.size(), 1u);
    EXPECT_EQ(posted.seen[0].name, "kRadioServiceServerInformationDidFailNotificationName");

    posted.seen.clear();
    radio.authenticationSucceeded();
    radio.authenticationFailedWithReason(3);
    radio.serviceRequestFailedWithReason(4);
    EXPECT_TRUE(posted.seen.empty());
}

TEST(RadioServiceFallBack, ADelegateGetsWhatItImplementsAndTheRestIsPosted) {
    NotificationCenter center;
    ZYMServiceEnvironment env;
    env.notifications = &center;
    ZYMRadioService radio(env);
    OnlyGenresDidLoad delegate;
    radio.setDelegate(&delegate);
    Posted posted(center);

    radio.clearGenres(true);
    EXPECT_EQ(delegate.calls, 1);
    ASSERT_EQ(posted.seen.size(), 1u);
    EXPECT_EQ(posted.seen[0].name, "kRadioServiceGenresWillLoadNotificationName");
    EXPECT_TRUE(posted.seen[0].userInfo.empty());
}

TEST(RadioServiceFallBack, TheQueueStepsCountTheirChunks) {
    ZYMRadioInformationRequest step(ZYMRadioInformationRequest::kStationInfo, nullptr);
    step.resetChunksTo(3);
    EXPECT_FALSE(step.loaded());
    step.chunkLoaded();
    step.chunkLoaded();
    EXPECT_EQ(step.pendingChunks(), 1);
    step.chunkLoaded();
    EXPECT_TRUE(step.loaded());
    step.chunkLoaded();
    EXPECT_EQ(step.pendingChunks(), 0);
    step.resetChunksTo(0);
    EXPECT_TRUE(step.loaded());
    step.setPendingChunks(-4);
    EXPECT_EQ(step.pendingChunks(), 0);
    EXPECT_EQ(ZYMRadioInformationRequest(9, nullptr).description(), "");
    EXPECT_EQ(ZYMRadioInformationRequest(1, nullptr).description().isEmpty(), false);
}

TEST_F(RadioServiceFixture, AnUnreachableServicesHostTurnsEveryVerdictIntoASignOnReset) {
    std::vector<std::string> asked;
    bool reachable = true;
    radioEnv_.isNetworkAddressReachable = [&](const std::string& host) {
        asked.push_back(host);
        return reachable;
    };
    Start();
    DMServiceRequestToken token(kServiceTypeRadio3, kUser, false, nullptr);
    for (int answer : {0, 1, 2}) {
        reports_.verdict = answer;
        reachable = true;
        EXPECT_EQ(radio_->shouldMethodFailureInvalidateService(&token), answer);
        reachable = false;
        EXPECT_EQ(radio_->shouldMethodFailureInvalidateService(&token), 2);
    }
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.front(), "127.0.0.1");
}

// A radio service with no network behind it, its own notifications, timers and cache
// folder, and a delegate that writes everything down.
struct Offline {
    Offline() {
        env.notifications = &center;
        env.scheduler = &scheduler;
        env.cacheFactory = &cache;
        radio = std::make_unique<ZYMRadioService>(env);
        radio->setDelegate(&reports);
    }
    NotificationCenter center;
    FakeScheduler scheduler;
    QTemporaryDir folder;
    ZYMCacheStorageFactory cache{folder.path()};
    ZYMServiceEnvironment env;
    Reports reports;
    std::unique_ptr<ZYMRadioService> radio;
};

TEST(RadioServiceFallBack, ARequestThatDoesNotGoOutResetsTheLoadAndReportsTheFailure) {
    Offline offline;
    ZYMRadioService& radio = *offline.radio;
    Reports& reports = offline.reports;
    // A core object without a controller sends nothing.
    radio.requestSucceeded(ZYMRequestToken(), radio.serviceName(), new DMRadio3Service("nobody", nullptr, nullptr));
    EXPECT_EQ(reports.Count("ServerInformationDidFail"), 1) << reports.Joined();
    // Nothing is told as loading between the turn to the server and the failure.
    const auto server = std::find(reports.events.begin(), reports.events.end(), "ServerInformationWillLoad");
    ASSERT_NE(server, reports.events.end());
    EXPECT_EQ(*(server + 1), "ServerInformationDidFail");
    EXPECT_FALSE(radio.informationLoaded());
    EXPECT_EQ(radio.countOfPendingInfoRequests(), 6);
    for (int type : {1, 2, 3, 6, 7, 8})
        EXPECT_FALSE(radio.infoRequestWithType(type)->requested()) << type;
    EXPECT_EQ(reports.informationDidLoad, 0);
}

TEST_F(RadioModelTest, OnlyADifferentSetOfGenresIsReportedAsAGenreChange) {
    // Station 99 is listed under 10 and 7 (7 is named but never listed: a data error).
    EXPECT_NE(Log().find("DATA_ERROR - Station [radio:aggregate:99] is related to an unknown category [7]\n"),
              std::string::npos);
    const auto station = radio_->stationWithID("99");
    ASSERT_EQ(station->unfilteredGenreIDs(), (QStringList{"10", "7"}));
    auto describe = [&](const std::vector<std::string>& categories) {
        DMRadio3_StationInfoType info;
        info.mStationId.mValue = "radio:aggregate:99";
        for (const auto& c : categories)
            info.mCategories.emplace_back(c, "");
        reports_.events.clear();
        radio_->updateInfoForStation(info);
        return reports_.Count("GenresWillLoad") + reports_.Count("GenresDidLoad");
    };
    EXPECT_EQ(describe({"7", "10"}), 0);
    EXPECT_EQ(station->unfilteredGenreIDs(), (QStringList{"10", "7"}));
    EXPECT_EQ(describe({"10"}), 2);
    EXPECT_EQ(station->genreIDs(), QStringList{"10"});
    EXPECT_EQ(station->unfilteredGenreIDs(), QStringList{"10"});
    EXPECT_EQ(describe({"10", "1"}), 2);
    const auto& rock = radio_->genreWithID("1")->unfilteredRadioStations();
    EXPECT_NE(std::find(rock.begin(), rock.end(), station), rock.end());
}

namespace {

// A core service object of some other kind.
class OtherFacade : public DMGenericService {
public:
    OtherFacade() : DMGenericService("someone", "http://127.0.0.1/other", nullptr) {}
    void InvalidateService() override {}
    std::string ServiceTypeURN() override { return "urn:zym-com:services:other:1.0"; }
};

}  // namespace

TEST(RadioServiceFallBack, AnObjectOfAnotherServiceIsRefusedBeforeAnyListener) {
    Offline offline;
    ZYMRadioService& radio = *offline.radio;
    Reports& reports = offline.reports;
    try {
        radio.requestSucceeded(ZYMRequestToken(), radio.serviceName(), new OtherFacade);
        ADD_FAILURE() << "no exception";
    } catch (const ServiceLayerError& e) {
        EXPECT_EQ(e.name(), "Implementation Error");
        EXPECT_STREQ(e.what(), "Can't get radio service");
    }
    EXPECT_EQ(radio.radioService(), nullptr);
    EXPECT_TRUE(reports.events.empty()) << reports.Joined();
    EXPECT_THROW(radio.loadInformationFromService(), ServiceLayerError);
}
