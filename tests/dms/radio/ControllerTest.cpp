// The version-2 radio controller over loopback: how each answer is judged, what is
// stored on the call's ref, and when nothing may be dispatched. The answers' Bodies are
// written by hand and served by the test server's "soap" kind.

#include "dms/radio/DMRadioServiceController.h"

#include <QJsonArray>
#include <QJsonObject>

#include <fstream>
#include <memory>
#include <sstream>

#include "dms/core/DMSOAPNamespaces.h"
#include "dms/core/WebServiceTestSupport.h"
#include "dms/radio/DMRadioMethods.h"
#include "runtime/LThreadEventQueue.h"
#include "runtime/LogMessage.h"

#include "RadioTestSupport.h"
#include "support/Env.h"

using namespace wstest;

namespace {

constexpr const char* kDisco = "urn:liberty:disco:2003-08";

DMSOAPElementType* Offering(const std::string& endpoint) {
    auto* offering = new DMSOAPElementType("ResourceOffering", kDisco, "");
    auto* instance = new DMSOAPElementType("ServiceInstance", kDisco, "");
    instance->AddChild(new DMSOAPElementType("ServiceType", kDisco, "urn:zym-com:services:radio"), false);
    auto* description = new DMSOAPElementType("Description", kDisco, "");
    description->AddChild(new DMSOAPElementType("Endpoint", kDisco, endpoint), false);
    instance->AddChild(description, false);
    offering->AddChild(instance, false);
    return offering;
}

DMSOAPElementType* Credential() {
    auto* credential = new DMSOAPElementType("Credential", kDisco, "");
    auto* assertion = new DMSOAPElementType("Assertion", "urn:oasis:names:tc:SAML:1.0:assertion", "");
    assertion->AddAttribute(new DMSOAPAttributeType("AssertionID", "", "S-1"), false);
    credential->AddChild(assertion, false);
    return credential;
}

struct Recorder : DMSIFServiceListener {
    std::vector<std::string> events;
    std::string statusCode, faultCode;
    bool hadInput = false, hadOutput = false;
    std::size_t urls = 0;

    void DidFinish(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* in, DMSIF_MethodOutputType* out) override {
        Keep("finish", ref, in, out);
    }
    void DidFail(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* in, DMSIF_MethodOutputType* out) override {
        Keep("fail", ref, in, out);
    }
    void DidCancel(DMSIF_MethodRef*, DMSIF_MethodArgumentsType*) override { events.push_back("cancel"); }
    void Keep(const char* what, DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* in, DMSIF_MethodOutputType* out) {
        events.push_back(what);
        EXPECT_EQ(in, ref->GetArguments());
        EXPECT_EQ(out, ref->GetOutput());
        hadInput = in != nullptr;
        hadOutput = out != nullptr;
        statusCode = out ? out->status.GetCode() : "";
        faultCode = out ? out->fault.GetFaultCode() : "";
        if (auto* url = dynamic_cast<DMRadio_GetStationUrl_OutputType*>(out)) urls = url->GetUrl().mUrls.size();
    }
};

std::string Answer(const std::string& method, const std::string& inner) {
    return "<r:" + method + "Response xmlns:r=\"" RNS "\">" + inner + "</r:" + method + "Response>";
}

const std::string kFault =
    "<SOAP-ENV:Fault><faultcode>SOAP-ENV:Server</faultcode><faultstring>busy</faultstring></SOAP-ENV:Fault>";

class RadioControllerTest : public WebServiceTest {
protected:
    void SetUp() override {
        queue = LThreadEventQueue::Create();
        logPath = zymtest::TestLogPath("radio-controller");
        InitLogFile(logPath.c_str(), kLogDebug, 0);
    }
    void TearDown() override {
        controller.reset();
        queue->Release();
        InitLogFile(nullptr, kLogError, 0);
        std::remove(logPath.c_str());
    }
    DMRadioServiceController& Make(const std::string& endpoint, DMSIFServiceListener* l, bool withQueue = true) {
        std::unique_ptr<DMSOAPElementType> offering(Offering(endpoint));
        std::unique_ptr<DMSOAPElementType> credential(Credential());
        controller = std::make_unique<DMRadioServiceController>(offering.get(), credential.get(), l);
        if (withQueue) controller->SetEventQueue(queue);
        return *controller;
    }
    DMSIF_MethodRef* Call(const std::string& method, const std::string& element) {
        return controller->Invoke(method, new DMSOAPElementType(element, RNS, ""), nullptr, "", nullptr);
    }
    std::string Log() {
        std::ifstream in(logPath);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    LThreadEventQueue* queue = nullptr;
    std::unique_ptr<DMRadioServiceController> controller;
    Recorder recorder;
    std::string logPath;
};

}  // namespace

TEST(RadioController, MethodNameFromElementName) {
    const std::pair<const char*, const char*> rows[] = {
        {"ListGenresRequest", "ListGenres"}, {"ListGenresResponse", "ListGenres"}, {"Ping", "Ping"},
        {"RequestRequest", "Request"},       {"ARequestXResponse", "A"},           {"", ""}};
    for (const auto& [in, out] : rows)
        EXPECT_EQ(DMRadioServiceController::MethodNameFromElementName(in), out) << in;
}

TEST_F(RadioControllerTest, AnswersAreJudgedByStatusAndFault) {
    const struct {
        const char* name;
        const char* method;  // invoked under this name, element name + "Request"
        QJsonObject answer;
        const char* outcome;
        const char* status;
        const char* fault;
        bool input, output;
    } rows[] = {
        {"ok",
         "ListGenres",
         {{"content", QString::fromStdString(Answer("ListGenres", "<r:Status code=\"ok\"/>"))}},
         "finish",
         "ok",
         "",
         true,
         true},
        {"PARTIAL",
         "ListStations",
         {{"content", QString::fromStdString(Answer("ListStations", "<r:Status code=\"PARTIAL\"/>"))}},
         "finish",
         "PARTIAL",
         "",
         true,
         true},
        {"prefixed Ok",
         "RateTrack",
         {{"content", QString::fromStdString(Answer("RateTrack", "<r:Status code=\"r:Ok\"/>"))}},
         "finish",
         "Ok",
         "",
         true,
         true},
        {"OKAY",
         "GetMaxPresets",
         {{"content", QString::fromStdString(Answer("GetMaxPresets", "<r:Status code=\"OKAY\"/>"))}},
         "fail",
         "OKAY",
         "",
         true,
         true},
        {"no status",
         "GetPresets",
         {{"content", QString::fromStdString(Answer("GetPresets", ""))}},
         "fail",
         "",
         "",
         true,
         true},
        {"OK with a fault",
         "SetPresets",
         {{"content", QString::fromStdString(Answer("SetPresets", "<r:Status code=\"OK\"/>") + kFault)}},
         "fail",
         "OK",
         "SOAP-ENV:Server",
         true,
         true},
        {"a fault alone",
         "GetStationState",
         {{"reply", "fault11"}, {"faultcode", "SOAP-ENV:Client"}},
         "fail",
         "",
         "SOAP-ENV:Client",
         true,
         true},
        {"GetStationURL routes to its handler",
         "GetStationURL",
         {{"content_file", "dms/radio/GetStationURL.xml"}},
         "finish",
         "OK",
         "",
         true,
         true},
        {"GetStationUrl matches no row",
         "GetStationUrl",
         {{"content", QString::fromStdString(Answer("GetStationUrl", "<r:Status code=\"OK\"/>"))}},
         "fail",
         "",
         "",
         false,
         false},
        {"unknown method",
         "Ping",
         {{"content", QString::fromStdString(Answer("Ping", "<r:Status code=\"OK\"/>"))}},
         "fail",
         "",
         "",
         false,
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = std::string("svc-") + row.method;
        Soap(path, row.answer);
        recorder = Recorder();
        Make(Url(path), &recorder);
        DMSIF_MethodRef* ref = Call(row.method, std::string(row.method) + "Request");
        ASSERT_NE(ref, nullptr);
        ASSERT_TRUE(RunUntil([&] { return !recorder.events.empty(); }));
        RunFor(20);
        EXPECT_EQ(recorder.events, std::vector<std::string>{row.outcome});
        EXPECT_EQ(recorder.statusCode, row.status);
        EXPECT_EQ(recorder.faultCode, row.fault);
        EXPECT_EQ(recorder.hadInput, row.input);
        EXPECT_EQ(recorder.hadOutput, row.output);
        if (std::string(row.method) == "GetStationURL") {
            EXPECT_EQ(recorder.urls, 2u);
        }
    }
}

TEST_F(RadioControllerTest, TransportFailureFailsWithTheSynthesisedFault) {
    Make(RefusedUrl(), &recorder);
    ASSERT_NE(Call("GetPresets", "GetPresetsRequest"), nullptr);
    ASSERT_TRUE(RunUntil([&] { return !recorder.events.empty(); }));
    EXPECT_EQ(recorder.events, std::vector<std::string>{"fail"});
    EXPECT_TRUE(recorder.hadOutput);
    EXPECT_EQ(recorder.statusCode, "");
    EXPECT_EQ(recorder.faultCode, "Receiver");
}

TEST_F(RadioControllerTest, MissingAnswerElementIsLoggedAndFails) {
    Soap("svc", QJsonObject{{"content", QString::fromStdString(Answer("Other", "<r:Status code=\"OK\"/>"))}});
    Make(Url("svc"), &recorder);
    ASSERT_NE(Call("ListGenres", "ListGenresRequest"), nullptr);
    ASSERT_TRUE(RunUntil([&] { return !recorder.events.empty(); }));
    EXPECT_EQ(recorder.events, std::vector<std::string>{"fail"});
    EXPECT_FALSE(recorder.hadInput);
    EXPECT_NE(Log().find("DMRadioServiceController - Response element from request (ListGenres) not found in "
                         "message response\n"),
              std::string::npos)
        << Log();
}

TEST_F(RadioControllerTest, NoListenerNoDispatch) {
    Soap("svc", QJsonObject{{"content_file", "dms/radio/ListGenres.xml"}});
    Make(Url("svc"), nullptr);
    DMSIF_MethodRef* ref = Call("ListGenres", "ListGenresRequest");
    ASSERT_NE(ref, nullptr);
    const std::string id = ref->GetID();
    // The call is over once the controller lets its request go.
    ASSERT_TRUE(RunUntil([&] { return controller->FindActiveRequest(id) == nullptr; }));
    RunFor(50);
    EXPECT_EQ(ref->GetArguments(), nullptr);
    EXPECT_EQ(ref->GetOutput(), nullptr);
}

// Driven directly (no queue): a Body with two request elements still ends the call once,
// and a ref the controller does not hold is neither read nor dispatched.
TEST_F(RadioControllerTest, OneDispatchPerCallAndNoneForAStrangeRef) {
    Soap("svc", QJsonObject{{"silent", true}});
    Make(Url("svc"), &recorder, false);
    DMSIF_MethodRef* ref = Call("ListGenres", "ListGenresRequest");
    ASSERT_NE(ref, nullptr);

    radiotest::Tree request =
        radiotest::Parse("<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\" xmlns:r=\"" RNS
                         "\"><e:Body>"
                         "<r:ListGenresRequest/><r:GetMaxPresetsRequest/><r:ListGenresRequest/></e:Body></e:Envelope>");
    radiotest::Tree response =
        radiotest::Parse("<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body>" +
                         Answer("ListGenres", "<r:Status code=\"OK\"/><r:Remaining>7</r:Remaining>") +
                         Answer("GetMaxPresets", "<r:Status code=\"Failed\"/>") + "</e:Body></e:Envelope>");
    DMSOAPResultMap result{{"RequestEnvelope", request.get()}, {"ResponseEnvelope", response.get()}};

    DMSIF_MethodRef stray("ListGenres", "stray-1");
    controller->SIFRequestDidFinish(&stray, result);
    controller->SIFRequestDidFail(&stray, result);
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_EQ(stray.GetArguments(), nullptr);

    controller->SIFRequestDidFinish(ref, result);
    EXPECT_EQ(recorder.events, std::vector<std::string>{"finish"});
    // The failure path after a delivery changes nothing either.
    controller->SIFRequestDidFail(ref, result);
    EXPECT_EQ(recorder.events, std::vector<std::string>{"finish"});
}

// The failure path decodes what there is: with no response Body, an input and no output.
TEST_F(RadioControllerTest, FailureWithoutAnswerOrFaultStoresOnlyTheInput) {
    Soap("svc", QJsonObject{{"silent", true}});
    Make(Url("svc"), &recorder, false);
    DMSIF_MethodRef* ref = Call("GetStationState", "GetStationStateRequest");
    ASSERT_NE(ref, nullptr);
    radiotest::Tree request =
        radiotest::Parse("<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\" xmlns:r=\"" RNS
                         "\"><e:Body>"
                         "<r:GetStationStateRequest maxFutureTrks=\"2\"/></e:Body></e:Envelope>");
    DMSOAPResultMap result{{"RequestEnvelope", request.get()}};
    controller->SIFRequestDidFail(ref, result);
    EXPECT_EQ(recorder.events, std::vector<std::string>{"fail"});
    EXPECT_TRUE(recorder.hadInput);
    EXPECT_FALSE(recorder.hadOutput);
}
