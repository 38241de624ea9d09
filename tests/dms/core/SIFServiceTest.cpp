// The SIF service base, its requests and its dispatch, end to end over the local test
// server's SOAP endpoint, with a test-only controller that has one method.

#include "dms/core/DMSIFService.h"

#include "dms/core/DMSOAPNamespaces.h"
#include "dms/core/DMURLRequestLinux.h"
#include "runtime/LThreadEventQueue.h"
#include "runtime/LogMessage.h"
#include "platform/HttpReadStream.h"

#include "WebServiceTestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <memory>

using namespace wstest;

namespace {

constexpr const char* kSB = "urn:liberty:sb:2003-08";
constexpr const char* kDisco = "urn:liberty:disco:2003-08";

// Stands in for a schema's controller: one method, "Ping".
class PingController : public DMSIFService {
public:
    using DMSIFService::DMSIFService;
    DMSIF_MethodRef* Ping(DMSIFServiceListener* listener = nullptr, const std::string& refTo = "",
                          DMSIF_MethodRef* ref = nullptr) {
        auto* body = new DMSOAPElementType(RequestElementName("Ping"), kDMSIFURI, "");
        return Invoke("Ping", body, listener, refTo, ref);
    }
};

struct Recorder : DMSIFServiceListener {
    std::vector<std::string> events;
    DMSIF_FaultType lastFault;
    std::string lastOutputRoot;
    std::string lastMethod;
    std::function<void(DMSIF_MethodRef*)> onFinal;

    void DidBecomeValid(DMSIFService*) override { events.push_back("valid"); }
    void DidBecomeInvalid(DMSIFService*) override { events.push_back("invalid"); }
    void DidFinish(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType*, DMSIF_MethodOutputType* out) override {
        events.push_back("finish");
        Keep(ref, out);
    }
    void DidFail(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType*, DMSIF_MethodOutputType* out) override {
        events.push_back("fail");
        Keep(ref, out);
    }
    void UploadProgress(DMSIF_MethodRef*, std::int32_t sent, std::int32_t total) override {
        uploads.emplace_back(sent, total);
    }
    void DownloadProgress(DMSIF_MethodRef*, std::int32_t received, std::int32_t total) override {
        downloads.emplace_back(received, total);
    }
    std::vector<std::pair<int, int>> uploads, downloads;
    void DidCancel(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType*) override {
        events.push_back("cancel");
        if (onFinal) onFinal(ref);
    }
    void Keep(DMSIF_MethodRef* ref, DMSIF_MethodOutputType* out) {
        lastMethod = ref->GetMethodName();
        lastFault = out ? out->fault : DMSIF_FaultType();
        auto* generic = dynamic_cast<DMSIF_GenericMethod_OutputType*>(out);
        lastOutputRoot = generic && generic->GetElement() ? generic->GetElement()->name : "";
        if (onFinal) onFinal(ref);
    }
    int Finals() const {
        int n = 0;
        for (const auto& e : events)
            n += e == "finish" || e == "fail" || e == "cancel";
        return n;
    }
};

DMSOAPElementType* Credential(const std::string& assertionID) {
    auto* credential = new DMSOAPElementType("Credential", kDisco, "");
    auto* assertion = new DMSOAPElementType("Assertion", "urn:oasis:names:tc:SAML:1.0:assertion", "");
    assertion->AddAttribute(new DMSOAPAttributeType("AssertionID", "", assertionID), false);
    credential->AddChild(assertion, false);
    return credential;
}

DMSOAPElementType* Offering(const std::string& endpoint, const std::string& action = "") {
    auto* offering = new DMSOAPElementType("ResourceOffering", kDisco, "");
    offering->AddChild(new DMSOAPElementType("ResourceID", kDisco, "RID-1"), false);
    auto* instance = new DMSOAPElementType("ServiceInstance", kDisco, "");
    instance->AddChild(new DMSOAPElementType("ServiceType", kDisco, "urn:zym-com:services:test:1.0"), false);
    instance->AddChild(new DMSOAPElementType("ProviderID", kDisco, "provider"), false);
    auto* description = new DMSOAPElementType("Description", kDisco, "");
    description->AddChild(new DMSOAPElementType("SecurityMechID", kDisco, "urn:liberty:security:2003-08:null:SAML"),
                          false);
    description->AddChild(new DMSOAPElementType("CredentialRef", kDisco, "cred-1"), false);
    description->AddChild(new DMSOAPElementType("Endpoint", kDisco, endpoint), false);
    if (!action.empty()) description->AddChild(new DMSOAPElementType("SoapAction", kDisco, action), false);
    instance->AddChild(description, false);
    offering->AddChild(instance, false);
    return offering;
}

class SIFServiceTest : public WebServiceTest {
protected:
    void SetUp() override { queue = LThreadEventQueue::Create(); }
    void TearDown() override {
        service.reset();
        queue->Release();
        DMURLRequestLinux::SetTestTimeout(0);
    }

    // A valid-to-be service on `endpoint` with credentials and the event queue.
    PingController& Make(const std::string& endpoint, bool withQueue = true) {
        service = std::make_unique<PingController>("urn:zym-com:services:test:1.0", &listener);
        std::unique_ptr<DMSOAPElementType> offering(Offering(endpoint, "urn:Ping"));
        service->SetResourceOffering(offering.get(), true);
        std::unique_ptr<DMSOAPElementType> credential(Credential("A1"));
        service->SetCredentials(credential.get(), true);
        if (withQueue) service->SetEventQueue(queue);
        return *service;
    }

    LThreadEventQueue* queue = nullptr;
    Recorder listener;
    std::unique_ptr<PingController> service;
};

TEST_F(SIFServiceTest, RefusedWithoutCredentialsOrEndpointAndValidBeforeTheFirstSend) {
    Soap("svc", QJsonObject{});
    service = std::make_unique<PingController>("urn:test", &listener);
    service->SetEventQueue(queue);
    EXPECT_EQ(service->Ping(), nullptr);  // neither
    service->SetEndpoint(Url("svc"));
    EXPECT_EQ(service->Ping(), nullptr);  // no credentials
    RunFor(100);
    EXPECT_TRUE(listener.events.empty());
    EXPECT_TRUE(Records().empty());

    std::unique_ptr<DMSOAPElementType> credential(Credential("A1"));
    service->SetCredentials(credential.get(), true);
    DMSIF_MethodRef* ref = service->Ping();
    ASSERT_NE(ref, nullptr);
    EXPECT_TRUE(listener.events.empty()) << "deliveries only on a later pass";
    ASSERT_TRUE(RunUntil([&] { return listener.Finals() == 1; }));
    EXPECT_EQ(listener.events, (std::vector<std::string>{"valid", "finish"}));
    EXPECT_EQ(listener.lastOutputRoot, "Envelope");
    EXPECT_EQ(Records().size(), 1u);
}

TEST_F(SIFServiceTest, EnvelopeCarriesCorrelationDeviceTypeAndSecurity) {
    Soap("svc", QJsonArray{QJsonObject{{"correlation_id", "SRV-77"}}});
    PingController& s = Make(Url("svc"));
    s.SetDeviceManufacturer("Maker");
    s.SetDeviceName("Player");
    s.SetDeviceVersion("1.0");
    DMSIF_MethodRef* ref = s.Ping();
    ASSERT_NE(ref, nullptr);
    ASSERT_TRUE(RunUntil([&] { return listener.Finals() == 1; }));
    EXPECT_EQ(ref->GetResponseMessageID(), "SRV-77");
    // A continued step answers the server's message.
    s.Ping(nullptr, ref->GetResponseMessageID(), ref);
    ASSERT_TRUE(RunUntil([&] { return listener.Finals() == 2; }));

    const auto records = Records();
    ASSERT_EQ(records.size(), 2u);
    const auto& http = records[0].http;
    EXPECT_EQ(http.Header("User-Agent"), "Maker_Player_1.0");
    EXPECT_EQ(http.Header("SOAPAction"), "urn:Ping");
    const QJsonObject& soap = records[0].soap;
    EXPECT_EQ(Str(soap["body_child"]), "PingRequest");
    QStringList order;
    for (const auto& v : soap["header_children"].toArray())
        order << v.toString();
    EXPECT_EQ(order, (QStringList{"Correlation", "DeviceType", "Security"}));

    const QJsonObject c = soap["correlation"].toObject();
    EXPECT_EQ(Str(soap["correlation_ns"]), kSB);
    EXPECT_EQ(Str(c["messageID"]), ref->GetID());
    EXPECT_EQ(Str(c["mustUnderstand"]), "1");
    EXPECT_FALSE(c.contains("refToMessageID"));
    EXPECT_TRUE(
        QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$").match(c["timestamp"].toString()).hasMatch());
    QStringList qualified;
    for (const auto& v : soap["correlation_qualified"].toArray())
        qualified << v.toString();
    EXPECT_TRUE(qualified.contains(QString("{%1}mustUnderstand").arg(kDMSOAP11EnvelopeURI)));
    EXPECT_TRUE(qualified.contains(QString("{%1}messageID").arg(kSB)));
    EXPECT_TRUE(qualified.contains(QString("{%1}timestamp").arg(kSB)));

    const QJsonObject d = soap["device_type"].toObject();
    EXPECT_EQ(Str(soap["device_type_ns"]), kDMSIFURI);
    EXPECT_EQ(Str(d["man"]), "Maker");
    EXPECT_EQ(Str(d["name"]), "Player");
    EXPECT_EQ(Str(d["version"]), "1.0");
    EXPECT_EQ(Str(soap["security_ns"]), kDMWSSecurityURI);
    EXPECT_EQ(soap["security"].toArray(), QJsonArray{"Assertion"});

    const QJsonObject c2 = records[1].soap["correlation"].toObject();
    EXPECT_EQ(Str(c2["refToMessageID"]), "SRV-77");
    EXPECT_NE(Str(c2["messageID"]), ref->GetID()) << "each step has its own message id";
    EXPECT_EQ(ref->GetMessageID(), Str(c2["messageID"]));
}

TEST_F(SIFServiceTest, TransportFailuresReachTheListenerAsReceiverFaults) {
    DMURLRequestLinux::SetTestTimeout(zymtest::Scaled(2.0));  // the stalled answer ends soon
    Soap("stall", QJsonObject{{"stall_after_headers", true}});
    Soap("s500", QJsonObject{{"status", 500}});
    Soap("f11", QJsonObject{{"reply", "fault11"},
                            {"faultcode", "SOAP-ENV:Client"},
                            {"faultstring", "Nope"},
                            {"detail_code", "zym:InvalidArgument"}});
    Soap("nobody", QJsonObject{{"reply", "nobody"}});
    Soap("nonxml", QJsonObject{{"reply", "nonxml"}});
    struct Case {
        const char* what;
        std::string url;
        const char* code;
        const char* string;
        const char* actor;
    } cases[] = {
        {"refused port", RefusedUrl(), "Receiver", "ClientError", "1, 61"},
        {"unknown host", "http://nonexistent.invalid/soap", "Receiver", "ClientError", "12, 8"},
        {"stall", Url("stall"), "Receiver", "ClientError", "101, 1"},
        {"HTTP 500", Url("s500"), "Receiver", "ClientError", "100, 500"},
        {"SOAP fault", Url("f11"), "SOAP-ENV:Client", "Nope", ""},
        {"no Body", Url("nobody"), "", "", ""},
        {"not XML", Url("nonxml"), "", "", ""},
    };
    for (const Case& c : cases) {
        listener = Recorder();
        Make(c.url);
        ASSERT_NE(service->Ping(), nullptr) << c.what;
        ASSERT_TRUE(RunUntil([&] { return listener.Finals() == 1; })) << c.what;
        EXPECT_EQ(listener.events.back(), "fail") << c.what;
        EXPECT_EQ(listener.lastFault.GetFaultCode(), c.code) << c.what;
        EXPECT_EQ(listener.lastFault.GetFaultString(), c.string) << c.what;
        EXPECT_EQ(listener.lastFault.GetFaultActor(), c.actor) << c.what;
    }
    EXPECT_EQ(listener.lastMethod, "Ping");
}

TEST_F(SIFServiceTest, EndpointMovedResendsOnceWithTheSameMessageID) {
    Soap("old", QJsonObject{{"reply", "moved"}, {"moved_to", QString::fromStdString(Url("new"))}});
    Soap("new", QJsonObject{});
    PingController& s = Make(Url("old"));
    DMSIF_MethodRef* ref = s.Ping();
    ASSERT_TRUE(RunUntil([&] { return listener.Finals() == 1; }));
    RunFor(100);
    EXPECT_EQ(listener.events, (std::vector<std::string>{"valid", "finish"}));
    const auto atOld = Records("old");
    const auto atNew = Records("new");
    ASSERT_EQ(atOld.size(), 1u);
    ASSERT_EQ(atNew.size(), 1u);
    const std::string first = Str(atOld[0].soap["correlation"].toObject()["messageID"]);
    EXPECT_EQ(first, ref->GetID());
    EXPECT_EQ(Str(atNew[0].soap["correlation"].toObject()["messageID"]), first);
    EXPECT_EQ(atNew[0].soap["security"].toArray(), QJsonArray{"Assertion"});
    EXPECT_EQ(s.GetEndpoint(), Url("old")) << "a move is for this call only";
}

TEST_F(SIFServiceTest, EndpointMovedIsBoundedAndOnlyForTheRightFault) {
    Soap("loop", QJsonObject{{"reply", "moved"}, {"moved_to", QString::fromStdString(Url("loop"))}});
    Soap("wrongcode", QJsonObject{{"reply", "moved"},
                                  {"moved_faultcode", "SOAP-ENV:Server"},
                                  {"moved_to", QString::fromStdString(Url("never"))}});
    Soap("noendpoint", QJsonObject{{"reply", "moved"}});
    Soap("ftp", QJsonObject{{"reply", "moved"}, {"moved_to", "ftp://127.0.0.1/x"}});
    Soap("never", QJsonObject{});
    struct Case {
        const char* name;
        std::size_t requests;
    } cases[] = {{"loop", 1 + kDMMaxEndpointMoves}, {"wrongcode", 1}, {"noendpoint", 1}, {"ftp", 1}};
    for (const Case& c : cases) {
        listener = Recorder();
        Make(Url(c.name));
        ASSERT_NE(service->Ping(), nullptr);
        ASSERT_TRUE(RunUntil([&] { return listener.Finals() == 1; })) << c.name;
        RunFor(50);
        EXPECT_EQ(listener.events.back(), "fail") << c.name;
        EXPECT_EQ(listener.Finals(), 1) << c.name;
        EXPECT_EQ(Records(c.name).size(), c.requests) << c.name;
    }
    EXPECT_TRUE(Records("never").empty());
}

TEST_F(SIFServiceTest, EndpointMovedFromHttpsToHttpIsRefused) {
    Soap("tls", QJsonObject{{"reply", "moved"}, {"moved_to", QString::fromStdString(Url("clear"))}});
    Soap("clear", QJsonObject{});
    const auto [port, ca] = server.StartTls("valid");
    platform::SetTestCaFile(ca);
    Make("https://127.0.0.1:" + std::to_string(port) + prefix + "tls");
    ASSERT_NE(service->Ping(), nullptr);
    ASSERT_TRUE(RunUntil([&] { return listener.Finals() == 1; }));
    platform::SetTestCaFile("");
    EXPECT_EQ(listener.events.back(), "fail");
    EXPECT_EQ(listener.lastFault.GetStatus().GetCode(), "EndpointMoved");
    EXPECT_EQ(Records("tls").size(), 1u);
    EXPECT_TRUE(Records("clear").empty()) << "credentials must not follow to a clear endpoint";
}

TEST_F(SIFServiceTest, ServiceInstanceUpdateMovesTheServiceAndRenewsCredentialsOnlyWithAMechanism) {
    Soap("a", QJsonObject{{"siu", QJsonObject{{"endpoint", QString::fromStdString(Url("b"))}, {"credential", "A2"}}}});
    Soap("b", QJsonObject{{"siu", QJsonObject{{"mech", "urn:mech:2"}, {"credential", "A3"}}}});
    PingController& s = Make(Url("a"));
    s.Ping();
    ASSERT_TRUE(RunUntil([&] { return listener.Finals() == 1; }));
    EXPECT_EQ(s.GetEndpoint(), Url("b"));
    EXPECT_EQ(s.GetResourceOfferingValue("Endpoint"), Url("b"));
    EXPECT_EQ(s.GetResourceOfferingValue("ResourceID"), "RID-1");
    auto assertionID = [&] {
        DMSOAPElementType* a = s.GetSecurityHeader() ? s.GetSecurityHeader()->FindChild("Assertion", 1) : nullptr;
        DMSOAPAttributeType* id = a ? a->FindAttribute("AssertionID") : nullptr;
        return id ? id->value : std::string();
    };
    EXPECT_EQ(assertionID(), "A1") << "a Credential without SecurityMechID is ignored";
    s.Ping();
    ASSERT_TRUE(RunUntil([&] { return listener.Finals() == 2; }));
    EXPECT_EQ(Records("b").size(), 1u);
    EXPECT_EQ(assertionID(), "A3");
    EXPECT_EQ(s.GetResourceOfferingValue("SecurityMechID"), "urn:mech:2");
    EXPECT_EQ(s.GetEndpoint(), Url("b"));
}

TEST_F(SIFServiceTest, CancelIsReportedLaterAndReleasesTheRef) {
    Soap("stall", QJsonObject{{"stall_after_headers", true}});
    Soap("ok", QJsonObject{});
    Recorder own;
    PingController& s = Make(Url("stall"));
    DMSIF_MethodRef* ref = s.Ping(&own);
    const std::string id = ref->GetID();
    ASSERT_TRUE(RunUntil([&] { return !Records("stall").empty(); }));
    EXPECT_EQ(s.GetListener(ref), &own);
    bool readable = false;
    own.onFinal = [&](DMSIF_MethodRef* r) { readable = r->GetID() == id && r->GetArguments() == nullptr; };
    s.CancelMethod(ref);
    s.CancelMethod(ref);  // a second cancel is not a second delivery
    EXPECT_TRUE(own.events.empty()) << "DidCancel only on a later pass";
    EXPECT_NE(s.FindActiveRequest(id), nullptr) << "released only when the event fires";
    ASSERT_TRUE(RunUntil([&] { return own.Finals() == 1; }));
    RunFor(200);
    EXPECT_EQ(own.events, (std::vector<std::string>{"cancel"}));
    EXPECT_TRUE(readable);
    EXPECT_EQ(listener.events, (std::vector<std::string>{"valid"})) << "the call's own listener only";
    EXPECT_EQ(s.FindActiveRequest(id), nullptr);
    EXPECT_EQ(s.FindMethodRef(id), ref) << "retired refs stay readable until the next Invoke";
    EXPECT_EQ(s.GetListener(ref), &listener) << "the call's listener entry is cleared";
    s.SetEndpoint(Url("ok"));
    s.Ping();
    EXPECT_EQ(s.FindMethodRef(id), nullptr);
    ASSERT_TRUE(RunUntil([&] { return listener.Finals() == 1; }));
}

TEST_F(SIFServiceTest, ProgressReachesTheListenerOnlyWithTheProgressFlag) {
    const QString padding = QString("<zym:Pad>%1</zym:Pad>").arg(QString(40000, 'p'));
    Soap("big", QJsonObject{{"extra", padding}, {"trickle", QJsonObject{{"bytes", 8000}, {"interval_ms", 20}}}});
    PingController& s = Make(Url("big"));
    s.Ping();
    ASSERT_TRUE(RunUntil([&] { return listener.Finals() == 1; }));
    EXPECT_TRUE(listener.uploads.empty());
    EXPECT_TRUE(listener.downloads.empty());

    s.SetProgress(true);
    DMSIF_MethodRef* ref = s.Ping();
    ASSERT_TRUE(RunUntil([&] { return listener.Finals() == 2; }));
    ASSERT_FALSE(listener.uploads.empty());
    EXPECT_EQ(listener.uploads.front().first, 0);
    ASSERT_FALSE(listener.downloads.empty());
    EXPECT_EQ(listener.downloads.back().first, listener.downloads.back().second);
    EXPECT_GT(listener.downloads.back().second, 40000);
    EXPECT_EQ(ref->GetDownloadBytes(), listener.downloads.back().first);
    EXPECT_GT(ref->GetUploadTotal(), 0);
}

TEST_F(SIFServiceTest, InvalidateFromOutsideKeepsTheFlagUntilTheNextInvoke) {
    Soap("svc", QJsonObject{});
    PingController& s = Make(Url("svc"));
    s.Ping();
    ASSERT_TRUE(RunUntil([&] { return listener.Finals() == 1; }));
    s.Invalidate();
    EXPECT_TRUE(s.IsValid());
    EXPECT_FALSE(s.HasCredentials());
    EXPECT_EQ(s.GetEndpoint(), Url("svc")) << "endpoint and values stay";
    EXPECT_EQ(s.Ping(), nullptr);
    EXPECT_FALSE(s.IsValid());
    RunFor(100);
    EXPECT_EQ(listener.events, (std::vector<std::string>{"valid", "finish", "invalid", "invalid"}));
    EXPECT_EQ(s.Ping(), nullptr);
    RunFor(50);
    EXPECT_EQ(listener.events.size(), 4u) << "no further invalid delivery";
}

TEST_F(SIFServiceTest, DirectDeliveryWithoutQueueAndInvokeFromInsideAListener) {
    Soap("svc", QJsonObject{});
    PingController& s = Make(Url("svc"), false);
    int nested = 0;
    listener.onFinal = [&](DMSIF_MethodRef*) {
        if (nested++ == 0) {
            EXPECT_NE(s.Ping(), nullptr);
        }
    };
    s.Ping();
    EXPECT_EQ(listener.events, (std::vector<std::string>{"valid"})) << "valid is direct, before the send";
    ASSERT_TRUE(RunUntil([&] { return listener.Finals() == 2; }));
    EXPECT_EQ(Records().size(), 2u);
}

TEST_F(SIFServiceTest, DestroyingTheServiceDropsItsQueuedEvents) {
    // The server never answers, so the only final event is the cancellation queued below.
    Soap("svc", QJsonObject{{"silent", true}});
    Make(Url("svc"));
    service->Ping();
    ASSERT_TRUE(RunUntil([&] { return !listener.events.empty(); }));  // "valid"
    service->CancelAllMethods();
    service.reset();
    RunFor(100);
    EXPECT_EQ(listener.events, (std::vector<std::string>{"valid"}));
}

TEST_F(SIFServiceTest, AppendedClientIdIsEncodedAndJoinsAnExistingQuery) {
    Soap("cid", QJsonObject{});
    for (const std::string& endpoint : {Url("cid"), Url("cid") + "?v=2"}) {
        listener = Recorder();
        PingController& s = Make(endpoint);
        s.SetUserAgentFormat("%M_%N_%V/CTID (quintrel/2.0)");
        s.SetDeviceManufacturer("Maker");
        s.SetDeviceName("Player");
        s.SetDeviceVersion("1.0");
        s.SetAppendCID(true);
        s.Ping();
        ASSERT_TRUE(RunUntil([&] { return listener.Finals() == 1; })) << endpoint;
        EXPECT_EQ(listener.events.back(), "finish") << endpoint;
    }
    const auto records = Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].http.query, "cid=Maker_Player_1.0%2FCTID%20%28quintrel%2F2.0%29");
    EXPECT_EQ(records[1].http.query, "v=2&cid=Maker_Player_1.0%2FCTID%20%28quintrel%2F2.0%29");
    EXPECT_EQ(records[0].http.Header("User-Agent"), "Maker_Player_1.0/CTID (quintrel/2.0)");
}

TEST_F(SIFServiceTest, BodyDumpAtTheTraceLevelShowsNoCredentials) {
    QTemporaryDir dir;
    const std::string log = dir.filePath("ws.log").toStdString();
    InitLogFile(log.c_str(), kLogTrace, 0);
    Soap("svc", QJsonObject{{"siu", QJsonObject{{"mech", "m"}, {"credential", "S3CRET-FROM-SERVER"}}}});
    PingController& s = Make(Url("svc"));
    std::unique_ptr<DMSOAPElementType> credential(Credential("S3CRET-ASSERTION"));
    s.SetCredentials(credential.get(), true);
    s.Ping();
    ASSERT_TRUE(RunUntil([&] { return listener.Finals() == 1; }));
    InitLogFile((dir.filePath("other.log")).toStdString().c_str(), 0, 0);
    QFile f(QString::fromStdString(log));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const std::string text = f.readAll().toStdString();
    EXPECT_NE(text.find("UNCOMPRESSED REQUEST BODY"), std::string::npos) << "the dump is there";
    EXPECT_NE(text.find("[redacted]"), std::string::npos);
    EXPECT_EQ(text.find("S3CRET"), std::string::npos) << text;
}

TEST(SIFServiceUnit, ServiceInstanceUpdateNeverMovesAProtectedServiceToClearText) {
    auto update = [](const std::string& endpoint) {
        auto* envelope = new DMSOAPElementType("Envelope", kDMSOAP11EnvelopeURI, "");
        auto* header = new DMSOAPElementType("Header", kDMSOAP11EnvelopeURI, "");
        auto* siu = new DMSOAPElementType("ServiceInstanceUpdate", kSB, "");
        siu->AddChild(new DMSOAPElementType("Endpoint", kDisco, endpoint), false);
        header->AddChild(siu, false);
        envelope->AddChild(header, false);
        return std::unique_ptr<DMSOAPElementType>(envelope);
    };
    struct Case {
        const char* from;
        const char* to;
        const char* result;
    } cases[] = {
        {"https://a.example/soap", "http://b.example/soap", "https://a.example/soap"},
        {"https://a.example/soap", "https://b.example/soap", "https://b.example/soap"},
        {"http://a.example/soap", "http://b.example/soap", "http://b.example/soap"},
    };
    for (const Case& c : cases) {
        PingController s("urn:test", nullptr);
        std::unique_ptr<DMSOAPElementType> offering(Offering(c.from));
        s.SetResourceOffering(offering.get(), true);
        s.ProcessServiceInstanceUpdate(update(c.to).get());
        EXPECT_EQ(s.GetEndpoint(), c.result) << c.from << " -> " << c.to;
        EXPECT_EQ(s.GetResourceOfferingValue("ResourceID"), "RID-1");
    }
}

TEST(SIFServiceUnit, CredentialsFromSecurityCredentialsOrCredential) {
    struct Case {
        const char* name;
        bool held;
    } cases[] = {{"Security", true}, {"Credentials", true}, {"Credential", true}, {"Assertion", false}};
    for (const Case& c : cases) {
        PingController s("urn:test", nullptr);
        auto* element = new DMSOAPElementType(c.name, kDMWSSecurityURI, "");
        element->AddChild(new DMSOAPElementType("Token", "urn:t", "T"), false);
        for (bool copy : {true, false}) {
            s.SetCredentials(element, copy);  // without copy ownership passes
            ASSERT_EQ(s.HasCredentials(), c.held) << c.name;
            if (c.held) {
                EXPECT_EQ(s.GetSecurityHeader()->name, "Security") << c.name;
                EXPECT_EQ(s.GetSecurityHeader()->namespaceURI, kDMWSSecurityURI) << c.name;
                ASSERT_NE(s.GetSecurityHeader()->FindChild("Token", 1), nullptr) << c.name;
            }
        }
        s.SetCredentials(nullptr, false);
        EXPECT_FALSE(s.HasCredentials());
    }
}

TEST(SIFServiceUnit, UserAgentFormats) {
    struct Case {
        const char* format;
        const char* man;
        const char* name;
        const char* version;
        const char* agent;
    } cases[] = {
        {"%M_%N_%V", "M", "N", "1.0", "M_N_1.0"},
        {"%M-%X-%%", "A", "", "", "A--%"},
        {"trailing %", "A", "", "", "trailing "},
        {"%V only", "A", "B", "", " only"},
        {"", "M", "N", "2", "M_N_2"},
        {"", "M", "N", "", "M_N"},
        {"", "M", "", "3", ""},
    };
    for (const Case& c : cases) {
        PingController s("urn:test", nullptr);
        s.SetUserAgentFormat(c.format);
        s.SetDeviceManufacturer(c.man);
        s.SetDeviceName(c.name);
        s.SetDeviceVersion(c.version);
        EXPECT_EQ(s.GetUserAgent(), c.agent) << c.format;
    }
    // Removing the last attribute drops the element; the User-Agent keeps its value.
    PingController s("urn:test", nullptr);
    s.SetDeviceName("N");
    ASSERT_NE(s.GetDeviceTypeHeader(), nullptr);
    EXPECT_EQ(s.GetUserAgent(), "_N_");
    s.SetDeviceName("");
    EXPECT_EQ(s.GetDeviceTypeHeader(), nullptr);
    EXPECT_EQ(s.GetUserAgent(), "_N_");
}

TEST(SIFServiceUnit, ResourceOfferingValuesAndCorrelationLookups) {
    PingController s("urn:test", nullptr);
    std::unique_ptr<DMSOAPElementType> offering(Offering("http://svc.example/soap", "urn:Act"));
    s.SetResourceOffering(offering.get(), true);
    EXPECT_EQ(s.GetEndpoint(), "http://svc.example/soap");
    EXPECT_EQ(s.GetSOAPAction(), "urn:Act");
    EXPECT_EQ(s.GetResourceOfferingValue("ProviderID"), "provider");
    EXPECT_EQ(s.GetResourceOfferingValue("CredentialRef"), "cred-1");
    EXPECT_EQ(s.GetResourceOfferingValue("Missing"), "");
    std::unique_ptr<DMSOAPElementType> bare(new DMSOAPElementType("ResourceOffering", kDisco, ""));
    s.SetResourceOffering(bare.get(), true);
    EXPECT_EQ(s.GetEndpoint(), "");
    EXPECT_EQ(s.GetSOAPAction(), "\"\"");
    EXPECT_EQ(s.RequestElementName("Get"), "GetRequest");
    EXPECT_EQ(s.ResponseElementName("Get"), "GetResponse");

    DMSOAPElementType envelope("Envelope", kDMSOAP11EnvelopeURI, "");
    EXPECT_EQ(DMSIFService::GetCorrelationMessageID(&envelope), "");
    auto* header = new DMSOAPElementType("Header", kDMSOAP11EnvelopeURI, "");
    auto* correlation = new DMSOAPElementType("Correlation", kSB, "");
    correlation->AddAttribute(new DMSOAPAttributeType("messageID", kSB, "M-9"), false);
    header->AddChild(correlation, false);
    envelope.AddChild(header, false);
    EXPECT_EQ(DMSIFService::GetCorrelationMessageID(&envelope), "M-9");
    EXPECT_EQ(DMSIFService::GetCorrelationMessageID(nullptr), "");
}

}  // namespace
