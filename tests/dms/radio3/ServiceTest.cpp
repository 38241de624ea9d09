// The radio directory's service object over loopback, after a real sign-on and discovery:
// the nine requests as they travel, their typed callbacks through the event queue, the
// status rule and what a failed call does to the service and to the user's sign-on.

#include <typeinfo>

#include "Radio3TestSupport.h"
#include "ServiceSupport.h"
#include "dms/core/DMServiceFactory.h"

using namespace radio3test;

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The Body's request element of a recorded request.
Owned BodyElement(const zymtest::RecordedRequest& r) {
    Owned envelope(Element::CreateFromString(r.body, {}, false));
    if (!envelope) return nullptr;
    Element* body = envelope->FindChild("Body", 1);
    if (!body || body->children.empty()) return nullptr;
    return Owned(new Element(body->children.front()));
}

std::vector<DMSIF_IDType> Ids(std::initializer_list<const char*> values) {
    std::vector<DMSIF_IDType> ids;
    for (const char* v : values)
        ids.emplace_back(v, "");
    return ids;
}

class ServiceTest : public DirectoryFixture {
protected:
    // A service built by the factory from a hand-made offering (endpoint) and credentials
    // whose assertion discovery never handed out.
    std::unique_ptr<DMGenericService> Synthetic(const std::string& endpoint) {
        const std::string offering =
            "<disco:ResourceOffering xmlns:disco=\"urn:liberty:disco:2003-08\"><disco:ResourceID>R</disco:ResourceID>"
            "<disco:ServiceInstance><disco:ServiceType>urn:zym-com:services:radio:3.0</disco:ServiceType>"
            "<disco:ProviderID>p</disco:ProviderID><disco:Description><disco:CredentialRef>c</disco:CredentialRef>"
            "<disco:Endpoint>" +
            endpoint + "</disco:Endpoint></disco:Description></disco:ServiceInstance></disco:ResourceOffering>";
        const std::string credentials =
            "<disco:Credentials xmlns:disco=\"urn:liberty:disco:2003-08\"><saml:Assertion "
            "xmlns:saml=\"urn:oasis:names:tc:SAML:1.0:assertion\" AssertionID=\"x\"/></disco:Credentials>";
        Owned o = Parse(offering), c = Parse(credentials);
        DMSIFService* made =
            DMServiceFactory::CreateController("urn:zym-com:services:radio:3.0", o.get(), c.get(), nullptr);
        if (!made) return nullptr;
        made->SetEventQueue(queue_);
        return std::unique_ptr<DMGenericService>(
            DMServiceFactory::CreateFacade(kServiceTypeRadio3, kUser, made, nullptr));
    }
};

}  // namespace

TEST_F(ServiceTest, NineRequestsTravelAsWrittenAndComeBackTyped) {
    Recorder r;
    DMRadio3Service* service = SignOn(&r);
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->GetEndpoint(), server_->Url(prefix_) + "svc");
    EXPECT_EQ(service->ServiceTypeURN(), "urn:zym-com:services:radio:3.0");

    // Each request: sent, then its result arrives only through the queue.
    struct Step {
        std::function<DMServiceRequestToken*()> send;
        const char* golden;
        const char* event;
    };
    const std::vector<Step> steps = {
        {[&] { return service->ListCategories(); }, "listcategories_request", "ListCategories ok"},
        {[&] { return service->ListStations(false); }, "liststations_request", "ListStations ok"},
        // The first answer's timeStamp comes back as changedSince.
        {[&] { return service->ListStations(true); }, "liststations_request_full", "ListStations ok"},
        {[&] {
             return service->GetStationInfo(Ids({"radio:aggregate:12345", "radio:aggregate:777"}));
         },
         "getstationinfo_request", "GetStationInfo ok"},
        {[&] {
             return service->GetStationState(Ids({"12345,1", "777,3"}));
         },
         "getstationstate_request", "GetStationState ok"},
        {[&] {
             return service->GetMediaFormatInfo(Ids({"mf128", "mf64"}));
         },
         "getmediaformatinfo_request", "GetMediaFormatInfo ok"},
        {[&] { return service->GetStationURL(DMSIF_IDType("12345,1", ""), DMSIF_IDType("mf128", "")); },
         "getstationurl_request", "GetStationURL ok"},
        {[&] { return service->GetMaxPresets(); }, "getmaxpresets_request", "GetMaxPresets ok"},
        {[&] { return service->GetPresets({}, ""); }, "getpresets_request_empty", "GetPresets ok"},
        {[&] {
             return service->GetPresets(
                 {DMSIF_IDType("radio:aggregate:12345", "1"), DMSIF_IDType("radio:aggregate:777", "2")},
                 "2026-12-01T08:00:00Z");
         },
         "getpresets_request_full", "GetPresets ok"},
        // changedSince: the presets timeStamp of the GetPresets answer.
        {[&] {
             return service->SetPresets(Ids({"radio:aggregate:12345", "", "radio:aggregate:777"}));
         },
         "setpresets_request", "SetPresets ok"},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(steps[i].golden);
        const std::size_t before = r.Results();
        DMServiceRequestToken* token = steps[i].send();
        ASSERT_NE(token, nullptr);
        ASSERT_NE(token->methodRef, nullptr);
        EXPECT_EQ(r.Results(), before);  // never from inside the request
        WaitFor(r, before + 1);
        EXPECT_EQ(r.Last().event, steps[i].event) << r.Events();
        EXPECT_EQ(r.Last().token, token);
        EXPECT_EQ(r.Last().status, "OK");
        const auto sent = Sent();
        Owned body = BodyElement(sent.back());
        ASSERT_NE(body, nullptr);
        EXPECT_EQ(Dump(body.get()), Dump(Golden(steps[i].golden).get()));
        // Qualified attributes keep their namespace on the wire.
        if (std::string(steps[i].golden) == "liststations_request_full") {
            EXPECT_TRUE(Has(sent.back().body, ":name=\"playMode\"")) << sent.back().body;
        }
    }
    EXPECT_EQ(service->PendingCount(), 0u);
    EXPECT_EQ(r.events.front(), "valid");

    // What the callbacks and the held lists carried.
    std::vector<DMRadio3_StationType> stations;
    service->LoadStationsFromCache(stations);
    EXPECT_GE(stations.size(), 45u);
    std::vector<DMRadio3_CategoryType> categories;
    service->LoadCategoriesFromCache(categories);
    ASSERT_EQ(categories.size(), 3u);
    EXPECT_EQ(categories[2].mName.GetValue(), "Jazz");
    ASSERT_EQ(r.infos.size(), 2u);
    EXPECT_EQ(r.infos[0].mStationId.GetValue(), "radio:aggregate:12345");
    EXPECT_EQ(r.infos[0].mBanners.size(), 1u);
    ASSERT_EQ(r.states.size(), 2u);
    EXPECT_EQ(r.states[1].mStationId.GetValue(), "777");
    ASSERT_FALSE(r.states[0].mTracks.empty());
    EXPECT_EQ(r.states[0].mTracks[0].mDuration, 180000);
    ASSERT_EQ(r.formats.size(), 2u);
    EXPECT_EQ(r.formats[1].mChannels[0].mCodec, "AACPLUS");
    EXPECT_EQ(r.formats[1].mChannels[0].mVBR, 0);
    EXPECT_EQ(r.refId, "12345,1");
    ASSERT_FALSE(r.urls.empty());
    EXPECT_TRUE(Has(r.urls[0], "?fmt=mf128&n=1")) << r.urls[0];
    EXPECT_EQ(r.maxPresets, 5);
    ASSERT_EQ(r.presets.size(), 3u);
    EXPECT_EQ(r.presets[2].GetValue(), "radio:aggregate:99");
    EXPECT_EQ(r.presets[2].GetID(), "7");
    EXPECT_EQ(service->GetPresetsTimeStamp(), "2026-12-02T00:00:01Z");  // from the SetPresets answer

    // Every call presented the discovered assertion.
    for (const auto& call : Calls())
        EXPECT_TRUE(call["assertion"].toBool());

    // Invalid inputs send nothing and give no token.
    const std::size_t count = Sent().size();
    EXPECT_EQ(service->GetStationInfo({}), nullptr);
    EXPECT_EQ(service->GetStationState({}), nullptr);
    EXPECT_EQ(service->GetMediaFormatInfo({}), nullptr);
    EXPECT_EQ(service->SetPresets({}), nullptr);
    EXPECT_EQ(service->GetStationURL(DMSIF_IDType("", ""), DMSIF_IDType("mf128", "")), nullptr);
    EXPECT_EQ(service->GetStationURL(DMSIF_IDType("1,1", ""), DMSIF_IDType()), nullptr);
    platform::RunLoop::Current().RunFor(std::chrono::milliseconds(20));
    EXPECT_EQ(Sent().size(), count);
    EXPECT_EQ(service->PendingCount(), 0u);
}

TEST_F(ServiceTest, GoldenAnswersDecodeIntoTheCallbacks) {
    Directory({{"methods",
                QJsonObject{{"GetMediaFormatInfo",
                             QJsonObject{{"body", QString::fromStdString(ReadGolden("getmediaformatinfo_response"))}}},
                            {"GetPresets",
                             QJsonObject{{"body", QString::fromStdString(ReadGolden("getpresets_response"))}}}}}});
    Recorder r;
    DMRadio3Service* service = SignOn(&r);
    ASSERT_NE(service, nullptr);
    ASSERT_NE(service->GetMediaFormatInfo(Ids({"mf64"})), nullptr);
    WaitFor(r, 1);
    ASSERT_NE(service->GetPresets({}, ""), nullptr);
    WaitFor(r, 2);
    EXPECT_EQ(r.Events(), "valid, GetMediaFormatInfo ok, GetPresets ok");
    ASSERT_FALSE(r.formats.empty());
    DMRadio3_MediaFormatType expected(Golden("getmediaformatinfo_response")->FindChild("Format", 1));
    EXPECT_EQ(Dump(Owned(r.formats[0].ToElement("Format", kNS)).get()),
              Dump(Owned(expected.ToElement("Format", kNS)).get()));
    ASSERT_EQ(r.presets.size(), 2u);
    EXPECT_EQ(r.presets[1].GetID(), "7");
    EXPECT_EQ(service->GetPresetsTimeStamp(), "2026-12-01T10:00:00Z");
}

// ---- the status rule -------------------------------------------------------------------------

namespace {

struct Method {
    const char* name;
    std::function<DMServiceRequestToken*(DMRadio3Service&)> send;
};

const std::vector<Method>& Methods() {
    static const std::vector<Method> methods = {
        {"ListCategories", [](DMRadio3Service& s) { return s.ListCategories(); }},
        {"ListStations", [](DMRadio3Service& s) { return s.ListStations(true); }},
        {"GetStationInfo", [](DMRadio3Service& s) { return s.GetStationInfo(Ids({"radio:aggregate:99"})); }},
        {"GetStationState", [](DMRadio3Service& s) { return s.GetStationState(Ids({"99,1"})); }},
        {"GetMediaFormatInfo", [](DMRadio3Service& s) { return s.GetMediaFormatInfo(Ids({"mf128"})); }},
        {"GetStationURL",
         [](DMRadio3Service& s) { return s.GetStationURL(DMSIF_IDType("99,1", ""), DMSIF_IDType("mf128", "")); }},
        {"GetMaxPresets", [](DMRadio3Service& s) { return s.GetMaxPresets(); }},
        {"GetPresets", [](DMRadio3Service& s) { return s.GetPresets({}, ""); }},
        {"SetPresets", [](DMRadio3Service& s) { return s.SetPresets(Ids({"radio:aggregate:99"})); }},
    };
    return methods;
}

}  // namespace

TEST_F(ServiceTest, StatusMatrixOverEveryMethod) {
    struct Case {
        QJsonObject answer;
        const char* label;
        bool ok;            // for every method but GetPresets
        bool okGetPresets;  // for GetPresets
    };
    const QJsonObject fault{{"code", "SOAP-ENV:Server"}, {"string", "boom"}, {"with_response", true}};
    const std::vector<Case> cases = {
        {{{"status_code", "OK"}}, "OK", true, true},
        {{{"status_code", "ok"}}, "ok", true, true},
        {{{"status_code", "r:OK"}}, "r:OK", true, true},
        {{{"status_code", "PARTIAL"}}, "PARTIAL", true, true},
        {{{"status_code", "NO_PRESETS_STORED"}}, "NO_PRESETS_STORED", false, true},
        {{{"status_code", "OutOfDate"}}, "OutOfDate", false, false},
        {{{"status_code", "OKAY"}}, "OKAY", false, false},
        {{{"status_code", QJsonValue::Null}}, "no status", false, false},
        {{{"status_code", "OK"}, {"fault", fault}}, "OK with a fault", false, false},
        {{{"no_response_element", true}}, "no response element", false, false},
    };
    QJsonObject methods;
    for (const Method& m : Methods()) {
        QJsonArray answers;
        for (const Case& c : cases)
            answers.append(c.answer);
        methods[m.name] = answers;
    }
    Directory({{"methods", methods}, {"presets_timestamp", ""}});
    Recorder r;
    r.verdict = 0;  // keep the service through every failure
    DMRadio3Service* service = SignOn(&r);
    ASSERT_NE(service, nullptr);

    for (const Case& c : cases) {
        for (const Method& m : Methods()) {
            SCOPED_TRACE(std::string(m.name) + " answering " + c.label);
            const std::size_t before = r.Results();
            const std::size_t logged = Log().size();
            DMServiceRequestToken* token = m.send(*service);
            ASSERT_NE(token, nullptr);
            WaitFor(r, before + 1);
            const bool ok = std::string(m.name) == "GetPresets" ? c.okGetPresets : c.ok;
            EXPECT_EQ(r.Last().event, std::string(m.name) + (ok ? " ok" : " failed"));
            EXPECT_EQ(r.Last().token, token);
            const std::string log = Log().substr(logged);
            if (std::string(c.label) == "no response element") {
                // One error line naming the method, and nothing decoded.
                const std::string line = std::string("Response element from request (") + m.name + ") not found";
                EXPECT_TRUE(Has(log, line)) << log;
                EXPECT_EQ(log.find(line), log.rfind(line));
                EXPECT_EQ(r.Last().outputType, "");
            } else {
                EXPECT_FALSE(Has(log, "not found in message response")) << log;
                EXPECT_NE(r.Last().outputType, "");
            }
        }
    }
    EXPECT_EQ(service->PendingCount(), 0u);
}

TEST_F(ServiceTest, FailedDescribeCallsDecodeWithTheirOwnTypes) {
    const QJsonObject fault{{"fault", QJsonObject{{"code", "Sender"}, {"string", "no"}, {"with_response", true}}}};
    Directory({{"methods", QJsonObject{{"GetStationState", fault},
                                       {"GetMediaFormatInfo", fault},
                                       {"GetStationURL", QJsonObject{{"status_code", "NoSuchAsset"}}}}}});
    Recorder r;
    DMRadio3Service* service = SignOn(&r);
    ASSERT_NE(service, nullptr);
    ASSERT_NE(service->GetStationState(Ids({"99,1"})), nullptr);
    WaitFor(r, 1);
    EXPECT_EQ(r.Last().event, "GetStationState failed");
    EXPECT_EQ(r.Last().inputType, typeid(DMRadio3_GetStationState_InputType).name());
    EXPECT_EQ(r.Last().outputType, typeid(DMRadio3_GetStationState_OutputType).name());
    EXPECT_EQ(r.Last().faultCode, "Sender");
    ASSERT_NE(service->GetMediaFormatInfo(Ids({"mf128"})), nullptr);
    WaitFor(r, 2);
    EXPECT_EQ(r.Last().event, "GetMediaFormatInfo failed");
    EXPECT_EQ(r.Last().inputType, typeid(DMRadio3_GetMediaFormatInfo_InputType).name());
    EXPECT_EQ(r.Last().outputType, typeid(DMRadio3_GetMediaFormatInfo_OutputType).name());
    EXPECT_TRUE(r.formats.empty());
    // A failed URL answer still names the program it was asked for.
    ASSERT_NE(service->GetStationURL(DMSIF_IDType("99,1", ""), DMSIF_IDType("mf128", "")), nullptr);
    WaitFor(r, 3);
    EXPECT_EQ(r.Last().event, "GetStationURL failed");
    EXPECT_EQ(r.Last().status, "NoSuchAsset");
    EXPECT_EQ(r.refId, "99,1");
    EXPECT_TRUE(r.urls.empty());
}

// ---- what a failure does ---------------------------------------------------------------------

TEST_F(ServiceTest, FailureOrderPerVerdict) {
    struct Case {
        int verdict;  // -1: no listener
        const char* order;
        int signOns, discoveries;  // further SASL exchanges and Queries of the next request
    };
    const std::vector<Case> cases = {
        {0, "valid, verdict, GetMaxPresets failed", 0, 0},
        {1, "valid, verdict, will-invalid, GetMaxPresets failed, did-invalid", 0, 1},
        {2, "valid, verdict, will-invalid, GetMaxPresets failed, did-invalid", 2, 1},
        {3, "valid, verdict, will-invalid, GetMaxPresets failed, did-invalid", 2, 1},
        {-1, "", 2, 1},
    };
    Directory({{"methods", QJsonObject{{"GetMaxPresets", QJsonObject{{"status_code", "Failed"}}}}}});
    for (const Case& c : cases) {
        SCOPED_TRACE("verdict " + std::to_string(c.verdict));
        Recorder r;
        r.verdict = c.verdict;
        DMRadio3Service* service = SignOn(c.verdict < 0 ? nullptr : &r);
        ASSERT_NE(service, nullptr);
        bool expiryAtCallback = true;
        std::string logAtCallback;
        r.onResult = [&](const Seen&) {
            expiryAtCallback = !provider_->AuthenticationCredentialsExpirationDate("doraradio").empty();
            logAtCallback = Log();
        };
        const std::size_t logged = Log().size();
        r.events.clear();
        ASSERT_NE(service->GetMaxPresets(), nullptr);
        if (c.verdict >= 0) {
            WaitFor(r, 1);
            if (c.verdict != 0) {
                ASSERT_TRUE(RunUntil([&] { return r.events.back() == "did-invalid"; }));
            }
            platform::RunLoop::Current().RunFor(std::chrono::milliseconds(20));
            EXPECT_EQ(r.Events(), c.order);
            EXPECT_EQ(r.Last().status, "Failed");
            const std::string log = logAtCallback.substr(logged);
            EXPECT_EQ(Has(log, "ClearServiceForUsername Dora Radio"), c.verdict == 1) << log;
            EXPECT_EQ(Has(log, "ResetUsername Dora Radio"), c.verdict >= 2) << log;
            EXPECT_EQ(expiryAtCallback, c.verdict < 2);
        } else {
            ASSERT_TRUE(RunUntil([&] { return Has(Log().substr(logged), "ResetUsername Dora Radio"); }));
            EXPECT_TRUE(provider_->AuthenticationCredentialsExpirationDate("doraradio").empty());
        }
        // What the next request of the service needs.
        const int sasl = CountBodies("SASLRequest"), queries = CountBodies(":Query");
        ASSERT_NE(SignOn(), nullptr);
        EXPECT_EQ(CountBodies("SASLRequest") - sasl, c.signOns);
        EXPECT_EQ(CountBodies(":Query") - queries, c.discoveries);
        services_.clear();
    }
}

TEST_F(ServiceTest, TransportFailuresCarryTheClientErrorFault) {
    Directory(
        {{"methods", QJsonObject{{"GetMaxPresets", QJsonArray{QJsonObject{{"http_status", 500}, {"http_text", "down"}},
                                                              QJsonObject{{"drop", true}}}}}}});
    Recorder r;
    DMRadio3Service* service = SignOn(&r);
    ASSERT_NE(service, nullptr);
    for (int i = 0; i < 2; ++i) {
        ASSERT_NE(service->GetMaxPresets(), nullptr);
        WaitFor(r, static_cast<std::size_t>(i + 1));
        EXPECT_EQ(r.Last().event, "GetMaxPresets failed");
        EXPECT_TRUE(r.Last().hasToken);
        EXPECT_EQ(r.Last().faultString, "ClientError") << i;
        EXPECT_EQ(r.maxPresets, 0);
    }

    // A refused port: a controller built from an offering that points nowhere.
    std::unique_ptr<DMGenericService> facade =
        Synthetic("http://127.0.0.1:" + std::to_string(zymtest::TestServer::ClosedPort()) + "/svc");
    ASSERT_NE(facade, nullptr);
    auto* lone = static_cast<DMRadio3Service*>(facade.get());
    Recorder lr;
    lone->SetListener(&lr);
    ASSERT_NE(lone->GetStationURL(DMSIF_IDType("99,1", ""), DMSIF_IDType("mf128", "")), nullptr);
    ASSERT_TRUE(RunUntil([&] { return lr.Results() >= 1; }));
    EXPECT_EQ(lr.Last().event, "GetStationURL failed");
    EXPECT_EQ(lr.Last().faultString, "ClientError");
    EXPECT_EQ(lr.refId, "99,1");
}

TEST_F(ServiceTest, TheFacadeMakerRefusesAnotherController) {
    // A plain SIF controller of the same URN is not the radio's: it stays the caller's.
    DMSIFService other("urn:zym-com:services:radio:3.0", nullptr);
    EXPECT_EQ(DMServiceFactory::CreateFacade(kServiceTypeRadio3, kUser, &other, provider_.get()), nullptr);
    EXPECT_EQ(DMRadio3ServiceController::MethodNameFromElementName("IMetadataDescribeRequest"), "IMetadataDescribe");
    EXPECT_EQ(DMRadio3ServiceController::MethodNameFromElementName("IMetadataDescribeResponse"), "IMetadataDescribe");
    EXPECT_EQ(DMRadio3ServiceController::MethodNameFromElementName("IProfileGet"), "IProfileGet");
    EXPECT_EQ(DMRadio3ServiceController::MethodNameFromElementName("ARequestBRequestC"), "ARequestB");
}

TEST_F(ServiceTest, CancelledAndAbandonedCallsFreeTheirTokens) {
    Directory({{"methods", QJsonObject{{"GetMaxPresets", QJsonObject{{"delay_ms", 300}}}}}});
    Recorder r;
    DMRadio3Service* service = SignOn(&r);
    ASSERT_NE(service, nullptr);
    DMServiceRequestToken* token = service->GetMaxPresets();
    ASSERT_NE(token, nullptr);
    service->GetController()->CancelMethod(token->methodRef);
    ASSERT_TRUE(RunUntil([&] { return service->PendingCount() == 0; }));
    platform::RunLoop::Current().RunFor(std::chrono::milliseconds(400));
    EXPECT_EQ(r.Results(), 0u) << r.Events();
    // Calls still pending when the object goes: freed with it (the leak checker would
    // tell), and nobody is called afterwards.
    ASSERT_NE(service->GetMaxPresets(), nullptr);
    ASSERT_NE(service->ListCategories(), nullptr);
    EXPECT_EQ(service->PendingCount(), 2u);
    services_.clear();
    platform::RunLoop::Current().RunFor(std::chrono::milliseconds(400));
    EXPECT_EQ(r.Results(), 0u) << r.Events();
}

TEST_F(ServiceTest, AResultFindsItsTokenAfterTheCallWasSentAgain) {
    Directory({{"methods", QJsonObject{{"GetMaxPresets", QJsonObject{{"max_presets", 8}}}}}});
    Recorder r;
    DMRadio3Service* service = SignOn(&r);
    ASSERT_NE(service, nullptr);
    DMServiceRequestToken* token = service->GetMaxPresets();
    ASSERT_NE(token, nullptr);
    DMSIF_MethodRef* ref = token->methodRef;
    const std::string first = ref->GetMessageID();
    // The same call continued under a new message id, as the core re-sends a call.
    DMRadio3_GetMaxPresets_InputType input;
    ASSERT_EQ(
        service->GetController()->Invoke("GetMaxPresets", input.ToElement("IProfileGetRequest", kNS), service, "", ref),
        ref);
    EXPECT_NE(ref->GetMessageID(), first);
    WaitFor(r, 1);
    platform::RunLoop::Current().RunFor(std::chrono::milliseconds(50));
    ASSERT_EQ(r.Results(), 1u) << r.Events();
    EXPECT_EQ(r.Last().event, "GetMaxPresets ok");
    EXPECT_EQ(r.Last().token, token);
    EXPECT_EQ(r.maxPresets, 8);
    EXPECT_EQ(service->PendingCount(), 0u);
}

TEST_F(ServiceTest, ACallWithoutTheDiscoveredAssertionIsRefused) {
    std::unique_ptr<DMGenericService> facade = Synthetic(server_->Url(prefix_) + "svc");
    ASSERT_NE(facade, nullptr);
    auto* service = static_cast<DMRadio3Service*>(facade.get());
    Recorder r;
    r.verdict = 0;
    service->SetListener(&r);
    ASSERT_NE(service->GetMaxPresets(), nullptr);
    WaitFor(r, 1);
    EXPECT_EQ(r.Last().event, "GetMaxPresets failed");
    EXPECT_EQ(r.Last().faultCode, "SOAP-ENV:Client");
    const auto calls = Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_FALSE(calls[0]["assertion"].toBool());
    EXPECT_EQ(calls[0]["method"].toString(), "GetMaxPresets");
}
