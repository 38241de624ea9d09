// The version-2 radio facade end to end: a real sign-on and discovery of 'Rdio' against
// the test server's "signon" kind, then every method answered by hand-written Bodies at
// the offered endpoint (the sign-on path + "svc"), delivered through the event queue.

#include "dms/radio/DMRadioService.h"

#include <QJsonArray>
#include <QJsonObject>

#include <map>
#include <memory>

#include "dms/core/DMServiceFactory.h"
#include "dms/core/DMServicesProvider.h"
#include "dms/core/WebServiceTestSupport.h"
#include "runtime/LThreadEventQueue.h"
#include "runtime/LogMessage.h"

#include "RadioTestSupport.h"

using namespace wstest;
using radiotest::Diff;

namespace {

// The application's side of one service request: answers the password question.
struct SignOn : DMServiceRequestListener {
    DMServicesProvider* provider = nullptr;
    int passwordAsks = 0;
    int finals = 0;
    DMGenericService* service = nullptr;

    void RequiresPassword(const std::string&, DMServiceRequestToken* token) override {
        ++passwordAsks;
        provider->SetPasswordForRequest("secret-pw", token);
    }
    void RequiresSecurID(const std::string&, DMServiceRequestToken* token) override {
        provider->SetSecurIDForRequest("", token);
    }
    void AuthenticationSucceeded(const std::string&, DMServiceRequestToken*) override {}
    void AuthenticationFailed(const std::string&, DMServiceRequestToken*, std::int32_t) override { ++finals; }
    void ServiceRequestSucceeded(DMGenericService* s, EServiceType, DMServiceRequestToken*) override {
        service = s;
        ++finals;
    }
    void ServiceRequestFailed(std::int32_t, EServiceType, DMServiceRequestToken*) override { ++finals; }
};

struct MemoryCache : DMDataCacheStorageFactory {
    struct Storage : DMDataCacheStorage {
        Storage(MemoryCache& o, const std::string& name, const std::string& key)
            : DMDataCacheStorage(name, key), owner(o) {}
        void Set(const std::string& k, const std::string& v) override { owner.items[k] = v; }
        bool Get(const std::string& k, std::string& v) override {
            auto it = owner.items.find(k);
            if (it == owner.items.end()) return false;
            v = it->second;
            return true;
        }
        bool Remove(const std::string& k) override { return owner.items.erase(k) != 0; }
        void Flush() override { ++owner.flushes; }
        void Clear() override { owner.items.clear(); }
        MemoryCache& owner;
    };
    DMDataCacheStorage* Create(const std::string& name, const std::string& key) override {
        return new Storage(*this, name, key);
    }
    // The stored item as a tree (null when absent).
    radiotest::Tree Item(const std::string& key) {
        auto it = items.find(key);
        return radiotest::Tree(it == items.end() ? nullptr : DMSOAPElementType::CreateFromString(it->second, {}, true));
    }
    std::map<std::string, std::string> items;
    int flushes = 0;
};

struct Radio : DMRadioServiceListener {
    std::vector<std::string> events;
    DMServiceRequestToken* token = nullptr;  // of the last callback (deleted after it)
    std::string statusCode, faultCode;
    std::list<DMRadio_StationInfoType> infos;
    std::list<DMRadio_StationStateType> states;
    DMRadio_StationUrlType urls;
    std::list<DMRadio_PresetType> presets;
    int maxPresets = -5;

    void Note(const std::string& what, DMServiceRequestToken* t, bool ok) {
        events.push_back(what + (ok ? " ok" : " failed"));
        token = t;
        statusCode = t ? t->status.GetCode() : "-";
        faultCode = t ? t->fault.GetFaultCode() : "-";
    }
    void ServiceDidBecomeValid() override { events.push_back("valid"); }
    void ServiceWillBecomeInvalid() override { events.push_back("will-invalid"); }
    void ServiceDidBecomeInvalid() override { events.push_back("invalid"); }
    void GenresUpdated(bool updated, DMServiceRequestToken* t, bool ok) override {
        EXPECT_TRUE(updated);
        Note("genres", t, ok);
    }
    void StationsUpdated(bool updated, DMServiceRequestToken* t, bool ok) override {
        EXPECT_TRUE(updated);
        Note("stations", t, ok);
    }
    void RequestForStationsInfoCompleted(const std::list<DMRadio_StationInfoType>* l, DMServiceRequestToken* t,
                                         bool ok) override {
        infos = *l;
        Note("infos", t, ok);
    }
    void RequestForStationsStateCompleted(const std::list<DMRadio_StationStateType>* l, DMServiceRequestToken* t,
                                          bool ok) override {
        states = *l;
        Note("states", t, ok);
    }
    void RequestForURLsCompleted(const DMRadio_StationUrlType* u, DMServiceRequestToken* t, bool ok) override {
        urls = *u;
        Note("urls", t, ok);
    }
    void RequestForMaxPresetsCompleted(int n, DMServiceRequestToken* t, bool ok) override {
        maxPresets = n;
        Note("max", t, ok);
    }
    void RequestForPresetsCompleted(const std::list<DMRadio_PresetType>* l, DMServiceRequestToken* t,
                                    bool ok) override {
        presets = *l;
        Note("presets", t, ok);
    }
    void StorePresetsCompleted(DMServiceRequestToken* t, bool ok) override { Note("store", t, ok); }
};

QJsonObject File(const char* method) { return QJsonObject{{"content_file", QString("dms/radio/") + method + ".xml"}}; }

QJsonObject Content(const std::string& method, const std::string& inner) {
    return QJsonObject{{"content", QString::fromStdString("<r:" + method + "Response xmlns:r=\"" RNS "\">" + inner +
                                                          "</r:" + method + "Response>")}};
}

class RadioServiceTest : public WebServiceTest {
protected:
    void SetUp() override {
        DMRadioServiceRegister();
        queue = LThreadEventQueue::Create();
        provider = std::make_unique<DMServicesProvider>();
        provider->SetEventQueue(queue);
        provider->SetDeviceName("Radio", "ZYM", "2.0");
        provider->SetServiceURL(Url(""));
        signOn.provider = provider.get();
        Script("",
               {{"kind", "signon"}, {"users", QJsonArray{QJsonObject{{"name", "alice"}, {"password", "secret-pw"}}}}});
    }
    void TearDown() override {
        service.reset();
        provider.reset();
        queue->Release();
        DMServiceFactory::Unregister(kServiceTypeRadio);
    }

    // Answers of the service endpoint, by request element.
    void Answers(const QJsonObject& byRequest) { Script("svc", {{"kind", "soap"}, {"by_request", byRequest}}); }

    // Signs on, discovers 'Rdio' and takes the facade the factory made.
    DMRadioService& Discover() {
        provider->RequestService(kServiceTypeRadio, "alice", false, &signOn);
        EXPECT_TRUE(RunUntil([&] { return signOn.finals > 0; }));
        auto* facade = dynamic_cast<DMRadioService*>(signOn.service);
        EXPECT_NE(facade, nullptr);
        if (!facade) {
            delete signOn.service;
            throw std::runtime_error("no facade");
        }
        service.reset(facade);
        EXPECT_EQ(service->GetEndpoint(), Url("svc"));
        service->SetListener(&radio);
        service->InstallCacheFactory(&cache);
        cache.flushes = 0;
        return *service;
    }

    // Sends and waits for the call's end (its callback, or for the two unreported methods
    // the token's deletion).
    template <class Input>
    DMServiceRequestToken* Send(DMServiceRequestToken* (DMRadioService::*request)(Input&), Input input) {
        const std::size_t before = radio.events.size();
        DMServiceRequestToken* token = (service.get()->*request)(input);
        EXPECT_NE(token, nullptr);
        EXPECT_TRUE(RunUntil([&] { return service->PendingCount() == 0; }));
        if (radio.events.size() > before && radio.events.back() != "valid") {
            EXPECT_EQ(radio.token, token);
        }
        return token;
    }

    LThreadEventQueue* queue = nullptr;
    std::unique_ptr<DMServicesProvider> provider;
    std::unique_ptr<DMRadioService> service;
    SignOn signOn;
    Radio radio;
    MemoryCache cache;
};

DMRadio_GetStationInfo_InputType InfoInput() {
    DMRadio_GetStationInfo_InputType in;
    in.mStations = {DMSIF_IDType("s1", ""), DMSIF_IDType("s3", "")};
    return in;
}

}  // namespace

TEST_F(RadioServiceTest, TenMethodsAnsweredAndReportedThroughTheQueue) {
    QJsonObject answers;
    for (const char* m : {"ListGenres", "ListStations", "GetStationInfo", "GetStationURL", "GetStationState",
                          "GetMaxPresets", "GetPresets", "SetPresets", "GetRatingsRange", "RateTrack"})
        answers[QString(m) + "Request"] = File(m);
    Answers(answers);
    DMRadioService& s = Discover();
    EXPECT_EQ(s.ServiceTypeURN(), "urn:zym-com:services:radio");

    Send(&DMRadioService::RequestListGenres, DMRadio_ListGenres_InputType());
    ASSERT_EQ(radio.events, (std::vector<std::string>{"valid", "genres ok"}));
    EXPECT_EQ(radio.statusCode, "OK");
    EXPECT_EQ(s.GetGenresTimeStamp(), "2026-12-10T10:00:00Z");
    ASSERT_EQ(s.GetGenres().size(), 2u);
    EXPECT_EQ(s.GetGenres().front().GetId().GetValue(), "g20");  // the server's order
    radiotest::Tree genres = cache.Item("Genres");
    EXPECT_EQ(Diff(genres.get(),
                   "<R:ListGenres xmlns:R=\"" RNS "\" timeStamp=\"2026-12-10T10:00:00Z\"><R:Status code=\"OK\"/>"
                   "<R:Remaining>3</R:Remaining><R:Genres>"
                   "<R:Genre><R:Id>g20</R:Id><R:Name>Rock</R:Name><R:Desc>Loud guitars</R:Desc></R:Genre>"
                   "<R:Genre><R:Id id=\"legacy-7\">g10</R:Id><R:Name>Jazz &amp; Blues</R:Name></R:Genre>"
                   "</R:Genres></R:ListGenres>"),
              "");

    Send(&DMRadioService::RequestListStations, DMRadio_ListStations_InputType());
    EXPECT_EQ(radio.events.back(), "stations ok");
    EXPECT_EQ(radio.statusCode, "Partial");
    EXPECT_EQ(s.GetStationsTimeStamp(), "2026-12-10T10:05:00Z");
    radiotest::Tree stations = cache.Item("Stations");
    EXPECT_EQ(Diff(stations.get(),
                   "<R:ListStations xmlns:R=\"" RNS "\" timeStamp=\"2026-12-10T10:05:00Z\">"
                   "<R:Status code=\"Partial\" comment=\"more to come\"/><R:Remaining>0</R:Remaining><R:Stations>"
                   "<R:Station><R:Id>s3</R:Id><R:Name>Third Wave</R:Name>"
                   "<R:Genres><R:Genre>g20</R:Genre><R:Genre>g10</R:Genre></R:Genres></R:Station>"
                   "<R:Station><R:Id>s1</R:Id><R:Name>First Light</R:Name></R:Station></R:Stations></R:ListStations>"),
              "");
    EXPECT_EQ(cache.flushes, 2);

    Send(&DMRadioService::RequestGetStationInfo, InfoInput());
    EXPECT_EQ(radio.events.back(), "infos ok");
    ASSERT_EQ(radio.infos.size(), 2u);
    EXPECT_EQ(cache.flushes, 3);  // one for both infos
    EXPECT_EQ(s.GetStationInfos().count("s1"), 1u);
    radiotest::Tree s3 = cache.Item("Stations_s3");
    EXPECT_EQ(Diff(s3.get(), "<R:StationInfo xmlns:R=\"" RNS "\"><R:Id>s3</R:Id><R:Base/></R:StationInfo>"), "");
    radiotest::Tree s1 = cache.Item("Stations_s1");
    ASSERT_NE(s1, nullptr);
    EXPECT_EQ(DMRadio_StationInfoType(s1.get()).mBase.mFormats.size(), 2u);

    DMRadio_GetStationUrl_InputType url;
    url.mStation = DMSIF_IDType("s1", "");
    url.mFormat = DMSIF_IDType("f128", "");
    Send(&DMRadioService::RequestGetStationURL, url);
    EXPECT_EQ(radio.events.back(), "urls ok");
    EXPECT_EQ(radio.urls.mUrls, (std::list<std::string>{"http://stream.example/s1/128", "http://backup.example/s1"}));

    DMRadio_GetStationState_InputType state;
    state.mStations = {DMSIF_IDType("s1", "")};
    Send(&DMRadioService::RequestGetStationState, state);
    EXPECT_EQ(radio.events.back(), "states ok");
    ASSERT_EQ(radio.states.size(), 1u);
    EXPECT_EQ(radio.states.front().mTracks.front().mDetails.mTrackTitle, "Blue Hour");

    Send(&DMRadioService::RequestGetMaxPresets, DMRadio_GetMaxPresets_InputType());
    EXPECT_EQ(radio.events.back(), "max ok");
    EXPECT_EQ(radio.maxPresets, 12);

    Send(&DMRadioService::RequestGetPresets, DMRadio_GetPresets_InputType());
    EXPECT_EQ(radio.events.back(), "presets ok");
    EXPECT_EQ(radio.presets.size(), 2u);
    EXPECT_EQ(s.GetPresetsTimeStamp(), "2026-12-10T11:00:00Z");

    DMRadio_SetPresets_InputType store;
    store.mTimestamp = "2026-12-10T11:00:00Z";
    store.mPresets.resize(1);
    Send(&DMRadioService::RequestSetPresets, store);
    EXPECT_EQ(radio.events.back(), "store ok");
    EXPECT_EQ(s.GetPresetsTimeStamp(), "2026-12-10T11:30:00Z");

    const std::size_t reported = radio.events.size();
    Send(&DMRadioService::RequestGetRatingsRange, DMRadio_GetRatingsRange_InputType());
    DMRadio_RateTrack_InputType rate;
    rate.mTrackId = DMSIF_IDType("t", "");
    rate.mStationId = DMSIF_IDType("s1", "");
    rate.mGenreId = DMSIF_IDType("g10", "");
    Send(&DMRadioService::RequestRateTrack, rate);
    EXPECT_EQ(radio.events.size(), reported);  // tokens gone, nothing reported

    // What went over the wire: one request element per call, in the schema namespace.
    const auto sent = Records("svc");
    ASSERT_EQ(sent.size(), 10u);
    EXPECT_EQ(Str(sent[3].soap["body_child"]), "GetStationURLRequest");
    EXPECT_EQ(Str(sent[3].soap["body_child_ns"]), RNS);
    EXPECT_EQ(cache.items.count(kDMLoadDateCacheItemKey), 0u);
}

TEST_F(RadioServiceTest, InvalidInputSendsNothing) {
    Answers({});
    DMRadioService& s = Discover();
    DMRadio_GetStationUrl_InputType empty;
    EXPECT_EQ(s.RequestGetStationURL(empty), nullptr);
    EXPECT_EQ(s.PendingCount(), 0u);
    EXPECT_TRUE(Records("svc").empty());
}

// A fault: WillBecomeInvalid, the sign-on reset, the failure with the token's status and
// fault, then DidBecomeInvalid from the queue; the other call in flight is cancelled and
// its token freed; the next request of the service signs on again.
TEST_F(RadioServiceTest, FaultInvalidatesTheServiceAndResetsTheSignOn) {
    Answers({{"ListGenresRequest",
              QJsonObject{{"reply", "fault11"}, {"faultcode", "SOAP-ENV:Server"}, {"detail_code", "zym:Busy"}}},
             {"GetMaxPresetsRequest", QJsonObject{{"silent", true}}}});
    DMRadioService& s = Discover();
    ASSERT_NE(provider->AuthenticationCredentialsExpirationDate("alice"), "");
    ASSERT_NE(s.RequestGetMaxPresets(*std::make_unique<DMRadio_GetMaxPresets_InputType>()), nullptr);
    DMRadio_ListGenres_InputType in;
    ASSERT_NE(s.RequestListGenres(in), nullptr);
    ASSERT_TRUE(RunUntil([&] { return !radio.events.empty() && radio.events.back() == "invalid"; }));
    EXPECT_EQ(radio.events, (std::vector<std::string>{"valid", "will-invalid", "genres failed", "invalid"}));
    EXPECT_EQ(radio.faultCode, "SOAP-ENV:Server");
    EXPECT_EQ(radio.statusCode, "");
    EXPECT_EQ(provider->AuthenticationCredentialsExpirationDate("alice"), "");
    EXPECT_TRUE(RunUntil([&] { return s.PendingCount() == 0; }));
    EXPECT_EQ(s.RequestListGenres(in), nullptr);  // no credentials any more

    const int asked = signOn.passwordAsks;
    SignOn again;
    again.provider = provider.get();
    provider->RequestService(kServiceTypeRadio, "alice", false, &again);
    ASSERT_TRUE(RunUntil([&] { return again.finals > 0; }));
    EXPECT_EQ(again.passwordAsks, 1) << "signed on again";
    EXPECT_EQ(signOn.passwordAsks, asked);
    delete again.service;
}

TEST_F(RadioServiceTest, FailureWithoutFaultKeepsTheService) {
    Answers({{"ListGenresRequest", Content("ListGenres",
                                           "<r:Status code=\"Failed\"/><r:Genres><r:Genre><r:Id>g1</r:Id></r:Genre>"
                                           "</r:Genres>")},
             {"GetMaxPresetsRequest",
              Content("GetMaxPresets", "<r:Status code=\"Failed\"/><r:MaxPresets>9</r:MaxPresets>")}});
    DMRadioService& s = Discover();
    Send(&DMRadioService::RequestListGenres, DMRadio_ListGenres_InputType());
    Send(&DMRadioService::RequestGetMaxPresets, DMRadio_GetMaxPresets_InputType());
    EXPECT_EQ(radio.events, (std::vector<std::string>{"valid", "genres failed", "max failed"}));
    EXPECT_EQ(radio.maxPresets, 0);
    EXPECT_EQ(radio.statusCode, "Failed");
    EXPECT_TRUE(s.GetGenres().empty());  // a failed answer is not kept
    EXPECT_TRUE(cache.items.count("Genres") == 0);
    EXPECT_NE(provider->AuthenticationCredentialsExpirationDate("alice"), "");
    EXPECT_TRUE(s.GetController()->IsValid());
}

TEST_F(RadioServiceTest, LaterStationListsAreMergedAndSorted) {
    Answers({{"ListStationsRequest",
              QJsonArray{File("ListStations"), Content("ListStations",
                                                       "<r:Status code=\"OK\"/><r:Stations>"
                                                       "<r:Station><r:Id>s2</r:Id><r:Name>early</r:Name></r:Station>"
                                                       "<r:Station><r:Id>s1</r:Id><r:Name>renamed</r:Name></r:Station>"
                                                       "<r:Station><r:Id>s2</r:Id><r:Name>late</r:Name></r:Station>"
                                                       "</r:Stations>")}}});
    DMRadioService& s = Discover();
    Send(&DMRadioService::RequestListStations, DMRadio_ListStations_InputType());
    Send(&DMRadioService::RequestListStations, DMRadio_ListStations_InputType());
    std::vector<std::string> held;
    for (const auto& st : s.GetStations())
        held.push_back(st.mId.GetValue() + "=" + st.mName);
    EXPECT_EQ(held, (std::vector<std::string>{"s1=renamed", "s2=late", "s3=Third Wave"}));
    EXPECT_EQ(s.GetStationsTimeStamp(), "");  // the second answer carried none
    radiotest::Tree cached = cache.Item("Stations");
    ASSERT_NE(cached, nullptr);
    DMRadio_ListStations_OutputType read(cached.get());
    ASSERT_EQ(read.GetStations().size(), 3u);
    EXPECT_EQ(read.GetStations().back().mGenres.size(), 2u);  // kept from the first list
}

// The first list keeps the server's order; merges sort byte-wise, the last duplicate wins.
TEST(RadioServiceMerge, GenresByteWise) {
    DMRadioService s("bob", new DMRadioServiceController(nullptr, nullptr, nullptr), nullptr);
    auto genre = [](const char* id, const char* name) {
        DMRadio_GenreType g;
        g.mId = DMSIF_IDType(id, "");
        g.mName = name;
        return g;
    };
    auto ids = [&] {
        std::string all;
        for (const auto& g : s.GetGenres())
            all += g.GetId().GetValue() + ":" + g.mName + " ";
        return all;
    };
    s.MergeGenres({genre("b", "1"), genre("B", "2"), genre("b", "3")});
    EXPECT_EQ(ids(), "b:1 B:2 b:3 ");
    s.MergeGenres({genre("\xc3\xa9", "4"), genre("a", "5"), genre("B", "6"), genre("B", "7")});
    EXPECT_EQ(ids(), "B:7 a:5 b:3 \xc3\xa9:4 ");
    s.MergeGenres({});
    EXPECT_EQ(ids(), "B:7 a:5 b:3 \xc3\xa9:4 ");
}

// Calls still in flight when the facade goes: their tokens go with it (LSan checks).
TEST_F(RadioServiceTest, DestroyedWithCallsInFlight) {
    Answers({{"GetPresetsRequest", QJsonObject{{"silent", true}}}});
    DMRadioService& s = Discover();
    DMRadio_GetPresets_InputType in;
    ASSERT_NE(s.RequestGetPresets(in), nullptr);
    ASSERT_NE(s.RequestGetPresets(in), nullptr);
    ASSERT_TRUE(RunUntil([&] { return Records("svc").size() == 2; }));
    EXPECT_EQ(s.PendingCount(), 2u);
    service.reset();
    RunFor(50);
    EXPECT_EQ(radio.events, std::vector<std::string>{"valid"});
}

// Without an event queue the controller reports directly: DidBecomeInvalid comes before
// the failure, and the call cancelled by the invalidation frees its token meanwhile
// while the failing call's own token stays alive for its callback.
TEST_F(RadioServiceTest, FaultWithoutQueueKeepsTheFailingCallsToken) {
    Answers({{"ListGenresRequest", QJsonObject{{"reply", "fault11"}}},
             {"GetMaxPresetsRequest", QJsonObject{{"silent", true}}}});
    DMRadioService& s = Discover();
    s.GetController()->SetEventQueue(nullptr);
    DMRadio_GetMaxPresets_InputType max;
    ASSERT_NE(s.RequestGetMaxPresets(max), nullptr);
    DMRadio_ListGenres_InputType genres;
    DMServiceRequestToken* token = s.RequestListGenres(genres);
    ASSERT_NE(token, nullptr);
    ASSERT_TRUE(RunUntil([&] { return radio.events.size() >= 4; }));
    EXPECT_EQ(radio.events, (std::vector<std::string>{"valid", "will-invalid", "invalid", "genres failed"}));
    EXPECT_EQ(radio.token, token);
    EXPECT_EQ(radio.faultCode, "SOAP-ENV:Server");
    EXPECT_EQ(s.PendingCount(), 0u);
}
