// The SOAP request and the plain SOAP service over the local test server's SOAP endpoint.

#include "dms/core/DMSOAPRequest.h"
#include "dms/core/DMSOAPService.h"

#include "dms/core/DMSOAPNamespaces.h"
#include "dms/core/DMURLRequestLinux.h"

#include "WebServiceTestSupport.h"

#include <memory>

using namespace wstest;

namespace {

struct Report {
    std::string kind;                            // "finish", "fail", "progress"
    std::map<std::string, std::string> present;  // key -> element name ("" for null)
    std::string faultcode, faultstring, faultactor;
    std::string errorDomain, errorCode;
    std::string requestMessageID;
};

Report Capture(const std::string& kind, DMSOAPResultMap& map) {
    Report r;
    r.kind = kind;
    for (const auto& [key, element] : map)
        r.present[key] = element ? element->name : "";
    if (DMSOAPElementType* fault = DMResultMapElement(map, "ResponseFault")) {
        auto text = [&](const char* n) {
            DMSOAPElementType* c = fault->FindChild(n, 1);
            return c ? c->text : std::string();
        };
        r.faultcode = text("faultcode");
        r.faultstring = text("faultstring");
        r.faultactor = text("faultactor");
    }
    if (auto* e = DMResultMapElement(map, "ErrorDomain")) r.errorDomain = e->text;
    if (auto* e = DMResultMapElement(map, "ErrorCode")) r.errorCode = e->text;
    if (auto* e = DMResultMapElement(map, "RequestMessageID")) r.requestMessageID = e->text;
    return r;
}

struct Listener : DMSOAPRequestListener {
    std::vector<Report> reports;
    void SOAPRequestDidFinish(DMSOAPResultMap& m) override { reports.push_back(Capture("finish", m)); }
    void SOAPRequestDidFail(DMSOAPResultMap& m) override { reports.push_back(Capture("fail", m)); }
    void SOAPRequestProgress(DMSOAPResultMap& m) override { reports.push_back(Capture("progress", m)); }
    int Finals() const {
        int n = 0;
        for (const auto& r : reports)
            n += r.kind != "progress";
        return n;
    }
};

DMSOAPElementType* Body(const char* name = "PingRequest") { return new DMSOAPElementType(name, kDMSIFURI, ""); }

class SOAPRequestTest : public WebServiceTest {};

TEST_F(SOAPRequestTest, SendsExactlyTheHeadersAndEnvelope) {
    Soap("soap/Service", QJsonObject{});
    Listener l;
    DMSOAPRequest request(Body(), &l);
    request.SetUserAgent("Maker_Player_1.0");
    ASSERT_EQ(request.Send(Url("soap/Service")), 1);
    EXPECT_TRUE(l.reports.empty()) << "no report inside Send";
    ASSERT_TRUE(RunUntil([&] { return l.Finals() > 0; }));
    ASSERT_EQ(l.reports.back().kind, "finish");

    const auto records = Records();
    ASSERT_EQ(records.size(), 1u);
    const auto& q = records[0].http;
    EXPECT_EQ(q.method, "POST");
    EXPECT_EQ(q.version, "HTTP/1.1");
    std::vector<std::string> names;
    for (const auto& [name, value] : q.headers)
        names.push_back(name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Accept-Encoding", "Connection", "Content-Length", "Content-Type",
                                               "Host", "SOAPAction", "User-Agent"}));
    EXPECT_EQ(q.Header("User-Agent"), "Maker_Player_1.0");
    EXPECT_EQ(q.Header("Host"), "127.0.0.1:" + std::to_string(server.Port()));
    EXPECT_EQ(q.Header("Connection"), "close");
    EXPECT_EQ(q.Header("Content-Type"), "text/xml; charset=\"utf-8\"");
    EXPECT_EQ(q.Header("SOAPAction"), "/Service");  // no action set: the last path segment
    EXPECT_EQ(q.Header("Content-Length"), std::to_string(q.body.size()));
    EXPECT_EQ(q.Header("Accept-Encoding"), "gzip");
    const QJsonObject& soap = records[0].soap;
    EXPECT_TRUE(soap["parsed"].toBool());
    EXPECT_EQ(Str(soap["root"]), "Envelope");
    EXPECT_EQ(Str(soap["root_ns"]), kDMSOAP11EnvelopeURI);
    EXPECT_EQ(Str(soap["body_child"]), "PingRequest");
    EXPECT_EQ(Str(soap["body_child_ns"]), kDMSIFURI);
    EXPECT_NE(q.body.find("SOAP-ENV:Envelope"), std::string::npos);
}

TEST_F(SOAPRequestTest, EmptyActionAndNoUserAgent) {
    Soap("soap/", QJsonObject{});
    Listener l;
    DMSOAPRequest request(Body(), &l);
    ASSERT_EQ(request.Send(Url("soap/")), 1);
    ASSERT_TRUE(RunUntil([&] { return l.Finals() > 0; }));
    const auto records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].http.HasHeader("SOAPAction"));
    EXPECT_EQ(records[0].http.Header("SOAPAction"), "");
    EXPECT_FALSE(records[0].http.HasHeader("User-Agent"));
}

TEST_F(SOAPRequestTest, OutcomesAndTheirResultMaps) {
    DMURLRequestLinux::SetTestTimeout(zymtest::Scaled(2.0));  // the stalled answer ends soon
    Soap("ok", QJsonObject{});
    Soap("gz", QJsonObject{{"gzip", "GZIP"}});
    Soap("gzname", QJsonObject{{"gzip", "fname"}});
    Soap("gzcorrupt", QJsonObject{{"gzip", "corrupt"}});
    Soap("gzcut", QJsonObject{{"gzip", "truncated"}});
    Soap("nobody", QJsonObject{{"reply", "nobody"}});
    Soap("f11", QJsonObject{{"reply", "fault11"}, {"faultcode", "SOAP-ENV:Client"}, {"faultstring", "Bad"}});
    Soap("f12", QJsonObject{{"reply", "fault12"}, {"faultstring", "Boom"}});
    Soap("nonxml", QJsonObject{{"reply", "nonxml"}});
    Soap("s500", QJsonObject{{"reply", "fault11"}, {"status", 500}});
    Soap("stall", QJsonObject{{"stall_after_headers", true}});
    Soap("close", QJsonObject{{"reset_after", -1}});

    using Keys = std::vector<std::string>;
    const Keys transport{"ErrorCode", "ErrorDomain", "RequestEnvelope", "RequestMessageID", "ResponseFault"};
    struct Case {
        const char* what;
        std::string url;
        const char* kind;
        Keys keys;
        const char* faultcode;
        const char* faultactor;
    } cases[] = {
        {"success", Url("ok"), "finish", {"RequestEnvelope", "RequestMessageID", "ResponseEnvelope"}, "", ""},
        {"gzip success", Url("gz"), "finish", {"RequestEnvelope", "RequestMessageID", "ResponseEnvelope"}, "", ""},
        {"gzip with a file name",
         Url("gzname"),
         "finish",
         {"RequestEnvelope", "RequestMessageID", "ResponseEnvelope"},
         "",
         ""},
        // A failed inflation hands the raw bytes on, which then do not parse.
        {"corrupt gzip", Url("gzcorrupt"), "fail", {"RequestEnvelope", "RequestMessageID"}, "", ""},
        {"truncated gzip", Url("gzcut"), "fail", {"RequestEnvelope", "RequestMessageID"}, "", ""},
        {"no Body", Url("nobody"), "fail", {"RequestEnvelope", "RequestMessageID", "ResponseEnvelope"}, "", ""},
        {"SOAP 1.1 fault",
         Url("f11"),
         "fail",
         {"RequestEnvelope", "RequestMessageID", "ResponseEnvelope", "ResponseFault"},
         "SOAP-ENV:Client",
         ""},
        {"SOAP 1.2 fault",
         Url("f12"),
         "fail",
         {"RequestEnvelope", "RequestMessageID", "ResponseEnvelope", "ResponseFault"},
         "",
         ""},
        {"not XML", Url("nonxml"), "fail", {"RequestEnvelope", "RequestMessageID"}, "", ""},
        {"HTTP 500", Url("s500"), "fail", transport, "Receiver", "100, 500"},
        {"stall", Url("stall"), "fail", transport, "Receiver", "101, 1"},
        {"refused", RefusedUrl(), "fail", transport, "Receiver", "1, 61"},
        {"unknown host", "http://nonexistent.invalid/soap", "fail", transport, "Receiver", "12, 8"},
        {"closed without reply", Url("close"), "fail", transport, "Receiver", "1, 54"},
    };
    for (const Case& c : cases) {
        Listener l;
        DMSOAPRequest request(Body(), &l);
        ASSERT_EQ(request.Send(c.url), 1);
        ASSERT_TRUE(RunUntil([&] { return l.Finals() > 0; })) << c.what;
        RunFor(10);
        ASSERT_EQ(l.Finals(), 1) << c.what;
        const Report& r = l.reports.back();
        EXPECT_EQ(r.kind, c.kind) << c.what;
        Keys keys;
        for (const auto& [k, v] : r.present)
            keys.push_back(k);
        EXPECT_EQ(keys, c.keys) << c.what;
        EXPECT_EQ(r.faultcode, c.faultcode) << c.what;
        EXPECT_EQ(r.faultactor, c.faultactor) << c.what;
        EXPECT_EQ(r.requestMessageID, request.GetMessageID()) << c.what;
        if (std::string(c.faultcode) == "Receiver") {
            EXPECT_EQ(r.faultstring, "ClientError") << c.what;
            EXPECT_EQ(r.errorDomain + ", " + r.errorCode, c.faultactor) << c.what;
        }
    }
    DMURLRequestLinux::SetTestTimeout(0);
}

TEST_F(SOAPRequestTest, EachSendDrawsANewIdButKeepsTheTimestamp) {
    Soap("ok", QJsonObject{});
    Listener l;
    DMSOAPRequest request(Body(), &l);
    ASSERT_EQ(request.Send(Url("ok")), 1);
    const std::string first = request.GetMessageID();
    const std::string stamp = request.GetTimestamp();
    ASSERT_TRUE(RunUntil([&] { return l.Finals() == 1; }));
    ASSERT_EQ(request.Send(""), 1);  // keeps the URL
    const std::string second = request.GetMessageID();
    ASSERT_TRUE(RunUntil([&] { return l.Finals() == 2; }));
    EXPECT_NE(first, second);
    EXPECT_EQ(stamp, request.GetTimestamp());
    EXPECT_EQ(l.reports[0].requestMessageID, first);
    EXPECT_EQ(l.reports[1].requestMessageID, second);
    EXPECT_EQ(Records().size(), 2u);
}

TEST_F(SOAPRequestTest, WithoutListenerTheResponseIsStillParsed) {
    Soap("ok", QJsonObject{});
    DMSOAPRequest request(Body(), nullptr);
    ASSERT_EQ(request.Send(Url("ok")), 1);
    ASSERT_TRUE(RunUntil([&] { return request.GetResponseMessage() != nullptr; }));
    EXPECT_NE(request.GetResponseMessage()->GetBody(), nullptr);
}

TEST_F(SOAPRequestTest, ElementFromXMLRefusesNullArguments) {
    DMSOAPRequest request(Body(), nullptr);
    EXPECT_THROW(request.ElementFromXML(nullptr, nullptr), DMSOAPInvalidArgumentException);
    EXPECT_STREQ(DMSOAPInvalidArgumentException().what(), "Invalid argument");
}

struct ServiceListener : DMSOAPServiceListener {
    std::vector<std::pair<std::string, std::string>> calls;  // kind, method
    void SOAPMethodDidFinish(const std::string& m, DMSOAPResultMap&) override { calls.emplace_back("finish", m); }
    void SOAPMethodDidFail(const std::string& m, DMSOAPResultMap&) override { calls.emplace_back("fail", m); }
    void SOAPMethodProgress(const std::string& m, DMSOAPResultMap&) override { calls.emplace_back("progress", m); }
};

TEST_F(SOAPRequestTest, ServiceReportsByMethodNameAndForgetsFinishedRequests) {
    Soap("svc", QJsonObject{});
    Soap("bad", QJsonObject{{"reply", "fault11"}});
    ServiceListener l;
    DMSOAPService service(Url("svc"), &l);
    service.SetUserAgent("UA");
    const std::string a = service.SendRequest(Body("EchoRequest"));
    EXPECT_NE(service.FindRequest(a), nullptr);
    ASSERT_TRUE(RunUntil([&] { return l.calls.size() == 1; }));
    EXPECT_EQ(l.calls[0], (std::pair<std::string, std::string>{"finish", "EchoRequest"}));
    EXPECT_EQ(service.FindRequest(a), nullptr);

    service.SetEndpoint(Url("bad"));
    const std::string b = service.SendRequest(Body("OtherRequest"));
    ASSERT_TRUE(RunUntil([&] { return l.calls.size() == 2; }));
    EXPECT_EQ(l.calls[1], (std::pair<std::string, std::string>{"fail", "OtherRequest"}));
    EXPECT_EQ(service.FindRequest(b), nullptr);

    const auto records = Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].http.Header("SOAPAction"), "\"\"");  // the service's default
    EXPECT_EQ(records[0].http.Header("User-Agent"), "UA");

    // A cancelled request is forgotten and reports nothing.
    service.SetEndpoint(Url("svc"));
    const std::string c = service.SendRequest(Body("EchoRequest"));
    service.CancelRequest(c);
    EXPECT_EQ(service.FindRequest(c), nullptr);
    RunFor(300);
    EXPECT_EQ(l.calls.size(), 2u);
}

}  // namespace
