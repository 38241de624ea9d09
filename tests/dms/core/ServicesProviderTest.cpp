// Sign-on, discovery and the services provider end to end, over loopback against the
// "signon" kind of the test server. Every request made here is checked to end with
// exactly one final callback, and the log is checked to hold no secret. Passcodes are
// long so that a random message id or time stamp cannot contain one by chance.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "dms/core/DMAuthenticationServiceController.h"
#include "dms/core/DMDiscoveryServiceController.h"
#include "dms/core/DMGenericService.h"
#include "dms/core/DMPlatformUtils.h"
#include "dms/core/DMServiceFactory.h"
#include "dms/core/DMServicesProvider.h"
#include "dms/core/DMServicesUserInfo.h"
#include "dms/core/DMSOAPNamespaces.h"
#include "dms/core/DMUserDiscoveryInfo.h"
#include "runtime/LThreadEventQueue.h"
#include "runtime/LogMessage.h"
#include "platform/RunLoop.h"
#include "support/Env.h"
#include "support/TestServer.h"

using zymtest::TestServer;

namespace {

constexpr auto kWait = std::chrono::milliseconds(10000);

// --- a test service type, registered as a service subsystem would register its own ---

class TestServiceController : public DMSIFService {
public:
    TestServiceController(const std::string& urn, DMSOAPElementType* offering, DMSOAPElementType* credentials,
                          DMSIFServiceListener* listener)
        : DMSIFService(urn, listener) {
        SetResourceOffering(offering, true);
        SetCredentials(credentials, true);
    }
};

class TestService : public DMGenericService, public DMSIFServiceListener {
public:
    TestService(const std::string& user, TestServiceController* controller, DMServicesProvider* provider)
        : DMGenericService(user, controller->GetEndpoint(), provider), controller_(controller) {
        controller_->SetListener(this, nullptr);
    }
    ~TestService() override { delete controller_; }
    void InvalidateService() override { controller_->Invalidate(); }
    std::string ServiceTypeURN() override { return controller_->GetServiceType(); }

    // One SIF call; true when it was sent.
    bool Ping() {
        auto* body = new DMSOAPElementType("PingRequest", kDMSIFURI, "");
        return controller_->Invoke("Ping", body, nullptr, "", nullptr) != nullptr;
    }
    void DidFinish(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType*, DMSIF_MethodOutputType*) override {
        finished = true;
        // The answer's own Status, read from the response envelope.
        DMSOAPElementType* envelope = ref->GetResponseEnvelope();
        DMSOAPElementType* body = envelope ? envelope->FindChild("Body", 1) : nullptr;
        DMSOAPElementType* response = body ? body->FindChild("PingResponse", 1) : nullptr;
        DMSOAPElementType* element = response ? response->FindChild("Status", 1) : nullptr;
        status = element ? DMSIF_StatusType(element).GetCode() : "";
    }
    void DidFail(DMSIF_MethodRef*, DMSIF_MethodArgumentsType*, DMSIF_MethodOutputType* output) override {
        failed = true;
        status = output ? output->status.GetCode() : "";
    }

    TestServiceController* controller_;
    bool finished = false;
    bool failed = false;
    std::string status;
};

void RegisterTestType(EServiceType type) {
    DMServiceFactory::Register(
        type,
        [type](DMSOAPElementType* offering, DMSOAPElementType* credentials,
               DMSIFServiceListener* listener) -> DMSIFService* {
            return new TestServiceController(ServiceTypeURN(type), offering, credentials, listener);
        },
        [type](const std::string& user, DMSIFService* controller, DMServicesProvider* provider) -> DMGenericService* {
            // Stands in for each facade needing a controller of its own class.
            auto* own = dynamic_cast<TestServiceController*>(controller);
            if (!own || own->GetServiceType() != ServiceTypeURN(type)) return nullptr;
            return new TestService(user, own, provider);
        });
}

// --- a listener that checks the callback protocol of one request ---

class Request final : public DMServiceRequestListener {
public:
    explicit Request(std::string name) : name_(std::move(name)) {}
    ~Request() { delete service; }

    void RequiresPassword(const std::string& user, DMServiceRequestToken* token) override {
        Note(token, "password");
        EXPECT_EQ(user, userName) << name_;
        if (onPassword) onPassword(token);
    }
    void RequiresSecurID(const std::string& user, DMServiceRequestToken* token) override {
        Note(token, "securid");
        EXPECT_EQ(user, userName) << name_;
        if (onSecurID) onSecurID(token);
    }
    void AuthenticationSucceeded(const std::string& user, DMServiceRequestToken* token) override {
        Note(token, "signed-on");
        EXPECT_EQ(user, userName) << name_;
        if (onSignedOn) onSignedOn(token);
    }
    void AuthenticationFailed(const std::string& user, DMServiceRequestToken* token, std::int32_t reason) override {
        Note(token, "auth-failed " + std::to_string(reason));
        EXPECT_EQ(user, userName) << name_;
        Keep(token);
        Final(reason);
    }
    void ServiceRequestSucceeded(DMGenericService* facade, EServiceType type, DMServiceRequestToken* token) override {
        Note(token, "service");
        EXPECT_EQ(type, serviceType) << name_;
        service = facade;
        Final(0);
    }
    void ServiceRequestFailed(std::int32_t reason, EServiceType type, DMServiceRequestToken* token) override {
        Note(token, "service-failed " + std::to_string(reason));
        EXPECT_EQ(type, serviceType) << name_;
        Keep(token);
        Final(reason);
    }

    bool Done() const { return finals > 0; }
    TestService* Service() const { return dynamic_cast<TestService*>(service); }
    std::string Log() const {
        std::string all;
        for (const auto& e : events)
            all += (all.empty() ? "" : ", ") + e;
        return all;
    }

    // What the token held at its final failure.
    void Keep(DMServiceRequestToken* t) {
        statusCode = t->status.GetCode();
        comment = t->status.GetComment();
        faultCode = t->fault.GetFaultCode();
        cancelled = t->cancelled;
    }

    std::string statusCode, comment, faultCode;
    bool cancelled = false;
    std::string userName;
    EServiceType serviceType = kServiceTypeRadio3;
    DMServiceRequestToken* token = nullptr;
    std::vector<std::string> events;
    int finals = 0;
    std::int32_t reason = -1;
    DMGenericService* service = nullptr;
    std::function<void(DMServiceRequestToken*)> onPassword, onSecurID, onSignedOn, onFinal;

private:
    void Note(DMServiceRequestToken* t, const std::string& what) {
        EXPECT_EQ(finals, 0) << name_ << ": " << what << " after the final callback";
        if (token) {
            EXPECT_EQ(t, token) << name_;
        } else {
            token = t;  // a callback from inside RequestService
        }
        events.push_back(what);
    }
    void Final(std::int32_t r) {
        ++finals;
        reason = r;
        if (onFinal) onFinal(nullptr);
    }
    std::string name_;
};

QJsonObject User(const char* name, const char* password, const char* securid = nullptr) {
    QJsonObject user{{"name", name}, {"password", password}};
    if (securid) user["securid"] = securid;
    return user;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class ServicesProviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterTestType(kServiceTypeRadio3);
        RegisterTestType(kServiceTypeRadio);
        RegisterTestType(kServiceTypePictures);
        logPath_ = zymtest::TestLogPath("services");
        InitLogFile(logPath_.c_str(), kLogDebug, 0);
        queue_ = LThreadEventQueue::Create();
        server_ = &TestServer::Get();
        prefix_ = server_->NewPrefix();
        provider_ = std::make_unique<DMServicesProvider>();
        provider_->SetEventQueue(queue_);
        provider_->SetDeviceName("Radio", "ZYM", "1.0");
        provider_->SetUserAgentFormat("%M_%N_%V/test");
        provider_->SetServiceURL(server_->Url(prefix_));
    }

    void TearDown() override {
        // Every request ends, each with exactly one final callback; what is still queued
        // then is delivered too, and none of it may reach a finished request.
        const bool allEnded = RunUntil([&] {
            for (const auto& request : requests_)
                if (!request->Done()) return false;
            return true;
        });
        EXPECT_TRUE(allEnded) << "a request never ended";
        platform::RunLoop::Current().RunFor(std::chrono::milliseconds(50));
        for (const auto& request : requests_) {
            EXPECT_EQ(request->finals, 1) << "request " << request->userName << ": " << request->Log();
        }
        provider_.reset();
        requests_.clear();
        queue_->Release();
        InitLogFile(nullptr, kLogError, 0);
        std::ifstream in(logPath_);
        std::stringstream log;
        log << in.rdbuf();
        for (const auto& secret : secrets_) {
            EXPECT_FALSE(Contains(log.str(), secret)) << "the log holds a secret: " << secret;
        }
        if (HasFailure() || std::getenv("ZYM_KEEP_LOG")) {
            std::fprintf(stderr, "log kept: %s\n", logPath_.c_str());
        } else {
            std::remove(logPath_.c_str());
        }
        for (EServiceType type : {kServiceTypeRadio3, kServiceTypeRadio, kServiceTypePictures}) {
            DMServiceFactory::Unregister(type);
        }
    }

    void Script(QJsonObject script) {
        script["path"] = QString::fromStdString(prefix_);
        script["kind"] = "signon";
        server_->Script(script);
    }

    // A secret that must never reach the log (also in its SASL encodings).
    void Secret(const std::string& user, const std::string& secret) {
        if (secret.empty()) return;
        secrets_.push_back(secret);
        secrets_.push_back(DMSASLPlainData(user, secret));
        secrets_.push_back(DMSASLSecurIDData(secret));
    }

    Request& Make(const std::string& user, EServiceType type = kServiceTypeRadio3) {
        requests_.push_back(std::make_unique<Request>(user));
        Request& r = *requests_.back();
        r.userName = user;
        r.serviceType = type;
        return r;
    }

    // Makes a request whose questions are answered with password/passcode.
    Request& Ask(const std::string& user, EServiceType type, const std::string& password,
                 const std::string& passcode = "", bool renewal = false) {
        Request& r = Make(user, type);
        r.onPassword = [this, password](DMServiceRequestToken* t) { provider_->SetPasswordForRequest(password, t); };
        r.onSecurID = [this, passcode](DMServiceRequestToken* t) { provider_->SetSecurIDForRequest(passcode, t); };
        Send(r, renewal);
        return r;
    }

    void Send(Request& r, bool renewal = false) {
        DMServiceRequestToken* token = provider_->RequestService(r.serviceType, r.userName, renewal, &r);
        if (!r.Done()) {
            r.token = token;
        }
    }

    bool RunUntil(const std::function<bool()>& done) {
        return platform::RunLoop::Current().RunUntil(done, zymtest::Scaled(kWait));
    }

    std::vector<zymtest::RecordedRequest> Sent() { return server_->Requests(prefix_); }

    // The Body's first child of every request the server got, in order.
    std::vector<std::string> Kinds() {
        std::vector<std::string> kinds;
        for (const auto& r : Sent()) {
            for (const char* kind : {"SASLRequest", "Query", "PingRequest"}) {
                if (Contains(r.body, std::string(":") + kind + " ") ||
                    Contains(r.body, std::string(":") + kind + ">") ||
                    Contains(r.body, std::string(":") + kind + "/")) {
                    kinds.push_back(kind);
                    break;
                }
            }
        }
        return kinds;
    }

    int Count(const std::string& kind) {
        int n = 0;
        for (const auto& k : Kinds())
            n += k == kind;
        return n;
    }

    TestServer* server_ = nullptr;
    std::string prefix_;
    LThreadEventQueue* queue_ = nullptr;
    std::unique_ptr<DMServicesProvider> provider_;
    std::vector<std::unique_ptr<Request>> requests_;
    std::vector<std::string> secrets_;
    std::string logPath_;
};

QJsonArray Users(std::initializer_list<QJsonObject> users) {
    QJsonArray array;
    for (const auto& u : users)
        array.append(u);
    return array;
}

}  // namespace

TEST_F(ServicesProviderTest, SignOnDiscoveryAndACallOfTheService) {
    QJsonArray transforms{QJsonObject{{"name", "urn:liberty:sa:pm:lowercase"}}};
    Script({{"users", Users({User("Alice Smith", "Secret-1")})},
            {"transforms", transforms},
            {"expires", "2031-02-03T04:05:06Z"}});
    Secret("Alice Smith", "Secret-1");
    Secret("Alice Smith", "secret-1");

    EXPECT_EQ(provider_->AuthenticationCredentialsExpirationDate("alice smith"), "");
    Request& r = Ask("Alice Smith", kServiceTypeRadio3, "Secret-1");
    ASSERT_TRUE(RunUntil([&] { return r.Done(); })) << r.Log();
    EXPECT_EQ(r.Log(), "password, signed-on, service");
    ASSERT_NE(r.Service(), nullptr);
    EXPECT_EQ(r.Service()->GetUserName(), "Alice Smith");
    EXPECT_EQ(r.Service()->GetEndpoint(), server_->Url(prefix_) + "svc");
    EXPECT_EQ(provider_->AuthenticationCredentialsExpirationDate("alicesmith"), "2031-02-03T04:05:06Z");

    ASSERT_TRUE(r.Service()->Ping());
    ASSERT_TRUE(RunUntil([&] { return r.Service()->finished || r.Service()->failed; }));
    EXPECT_TRUE(r.Service()->finished);
    EXPECT_EQ(r.Service()->status, "OK");  // the server knew the discovered assertion

    const auto sent = Sent();
    ASSERT_EQ(Kinds(), (std::vector<std::string>{"SASLRequest", "SASLRequest", "Query", "PingRequest"}));
    // The password went out transformed, for the canonical user name.
    EXPECT_TRUE(Contains(sent[1].body, DMSASLPlainData("Alice Smith", "secret-1"))) << sent[1].body;
    EXPECT_TRUE(Contains(sent[0].body, "mechanism=\"PLAIN SECURID\""));
    EXPECT_FALSE(Contains(sent[0].body, "authzID"));
    EXPECT_EQ(sent[0].Header("User-Agent"), "ZYM_Radio_1.0/test");
    // The Query: RequestedServiceType first, then ResourceID; the envelope declares the
    // discovery prefixes; the Security header carries the sign-on assertion.
    const std::string& query = sent[2].body;
    const auto requested = query.find("RequestedServiceType");
    const auto resource = query.find("ResourceID>RID-alicesmith<");
    ASSERT_NE(requested, std::string::npos);
    ASSERT_NE(resource, std::string::npos) << query;
    EXPECT_LT(requested, resource);
    EXPECT_TRUE(Contains(query, ">urn:zym-com:services:radio:3.0<"));
    for (const char* prefix :
         {"disco", "zym", "lib", "S", "samlp", "saml", "sb", "sb-ext", "sec", "wsse", "ds", "idff"}) {
        EXPECT_TRUE(Contains(query.substr(0, query.find("<SOAP-ENV:Header")), std::string("xmlns:") + prefix + "="))
            << prefix;
    }
    EXPECT_TRUE(Contains(query, "AssertionID=\"A-"));
    // The service call presents the discovered credentials, not the sign-on ones.
    EXPECT_TRUE(Contains(sent[3].body, "AssertionID=\"S-"));
    EXPECT_FALSE(Contains(sent[3].body, "AssertionID=\"A-"));

    // Signed on and discovered: both callbacks come before RequestService returns.
    Request& again = Make("alice smith");
    Send(again);
    EXPECT_TRUE(again.Done());
    EXPECT_EQ(again.Log(), "signed-on, service");
    EXPECT_NE(again.Service(), nullptr);
    EXPECT_NE(again.Service(), r.Service());
    EXPECT_EQ(Sent().size(), 4u);
}

TEST_F(ServicesProviderTest, SecurIDStepAfterThePassword) {
    // Status codes in another letter case ("Continue", "Ok") are judged the same.
    Script({{"users", Users({User("carol", "pw-carol", "31415926535")})}, {"status_case", "title"}});
    Secret("carol", "pw-carol");
    Secret("carol", "31415926535");
    Request& r = Make("carol");
    // Answers given twice, or to a question not asked, are not sent.
    r.onPassword = [this](DMServiceRequestToken* t) {
        provider_->SetSecurIDForRequest("31415926535", t);
        provider_->SetPasswordForRequest("pw-carol", t);
        provider_->SetPasswordForRequest("pw-carol", t);
    };
    r.onSecurID = [this](DMServiceRequestToken* t) {
        provider_->SetSecurIDForRequest("31415926535", t);
        provider_->SetSecurIDForRequest("31415926535", t);
    };
    Send(r);
    ASSERT_TRUE(RunUntil([&] { return r.Done(); })) << r.Log();
    EXPECT_EQ(r.Log(), "password, securid, signed-on, service");
    const auto sent = Sent();
    ASSERT_EQ(Count("SASLRequest"), 3);
    EXPECT_TRUE(Contains(sent[2].body, "mechanism=\"SECURID\""));
    EXPECT_TRUE(Contains(sent[2].body, DMSASLSecurIDData("31415926535")));
}

TEST_F(ServicesProviderTest, EveryAuthenticationReason) {
    struct Case {
        const char* what;
        QJsonObject script;
        const char* password;
        const char* passcode;
        std::int32_t reason;
    };
    const QJsonArray dave = Users({User("dave", "right")});
    const QJsonArray erin = Users({User("erin", "right", "86420135791")});
    const Case cases[] = {
        {"wrong password", {{"users", dave}}, "wrong", "", 1},
        {"other wording", {{"users", dave}, {"plain_abort", "User Authentication Failed"}}, "wrong", "", 1},
        {"wrong passcode", {{"users", erin}}, "right", "97531086420", 2},
        {"message for the user",
         {{"users", dave}, {"plain_abort_always", "If you see this message, call us"}},
         "right",
         "",
         5},
        {"empty comment", {{"users", dave}, {"plain_abort_always", ""}}, "right", "", 5},
        {"passcode first", {{"users", erin}, {"mechanism", "SECURID"}}, "", "86420135791", 6},
        {"empty passcode", {{"users", erin}}, "right", "", 7},
        {"invalid credentials on the first step",
         {{"users", dave}, {"first_abort", "Invalid Credentials"}},
         "right",
         "",
         8},
        {"other comment", {{"users", dave}, {"first_abort", "server misconfigured"}}, "right", "", 8},
        {"SOAP fault", {{"users", dave}, {"first_fault", "Server"}}, "right", "", 8},
        {"mechanism in lower case", {{"users", dave}, {"mechanism", "plain"}}, "right", "", 8},
        {"CRAM-MD5 ends the call", {{"users", dave}, {"mechanism", "CRAM-MD5"}}, "right", "", 8},
    };
    int n = 0;
    for (const Case& c : cases) {
        prefix_ = server_->NewPrefix();
        provider_ = std::make_unique<DMServicesProvider>();
        provider_->SetEventQueue(queue_);
        provider_->SetServiceURL(server_->Url(prefix_));
        Script(c.script);
        const std::string user = (c.script["users"] == dave) ? "dave" : "erin";
        Secret(user, c.password);
        if (*c.passcode) Secret(user, c.passcode);
        Request& r = Ask(user, kServiceTypeRadio3, c.password, c.passcode);
        ASSERT_TRUE(RunUntil([&] { return r.Done(); })) << c.what << ": " << r.Log();
        EXPECT_EQ(r.reason, c.reason) << c.what << ": " << r.Log();
        EXPECT_EQ(r.events.back(), "auth-failed " + std::to_string(c.reason)) << c.what;
        EXPECT_EQ(r.cancelled, false) << c.what;
        ++n;
    }
    EXPECT_EQ(n, 12);
    // The token carries the server's status and comment for the caller's report.
    EXPECT_EQ(requests_.back()->statusCode, "continue");
    EXPECT_EQ(requests_[0]->statusCode, "abort");
    EXPECT_EQ(requests_[0]->comment, "Invalid Credentials");
    EXPECT_EQ(requests_[9]->faultCode.empty(), false) << "the SOAP fault is kept";

    // A transport failure: nothing listens at the sign-on URL.
    provider_ = std::make_unique<DMServicesProvider>();
    provider_->SetEventQueue(queue_);
    provider_->SetServiceURL("http://127.0.0.1:" + std::to_string(TestServer::ClosedPort()) + "/");
    Request& refused = Ask("dave", kServiceTypeRadio3, "right");
    ASSERT_TRUE(RunUntil([&] { return refused.Done(); }));
    EXPECT_EQ(refused.Log(), "auth-failed 8");
}

TEST_F(ServicesProviderTest, CancelWhileTheServerWaitsForThePassword) {
    Script({{"users", Users({User("frank", "pw")})}});
    Request& r = Make("frank");
    r.onPassword = [this](DMServiceRequestToken* t) { provider_->CancelServiceRequest(t); };
    Send(r);
    ASSERT_TRUE(RunUntil([&] { return r.Done(); }));
    EXPECT_EQ(r.Log(), "password, auth-failed 3");
    EXPECT_TRUE(r.cancelled);

    // The user is not stuck "signing on": the next request signs on afresh.
    Request& next = Ask("frank", kServiceTypeRadio3, "pw");
    ASSERT_TRUE(RunUntil([&] { return next.Done(); }));
    EXPECT_EQ(next.Log(), "password, signed-on, service");
}

TEST_F(ServicesProviderTest, CancellingTheDrivingRequestHandsTheExchangeOver) {
    Script({{"users", Users({User("gina", "pw")})}});
    Secret("gina", "pw");
    Request& first = Make("gina");
    Request& second = Make("gina", kServiceTypePictures);
    first.onPassword = [&](DMServiceRequestToken* t) { provider_->CancelServiceRequest(t); };
    second.onPassword = [&](DMServiceRequestToken* t) { provider_->SetPasswordForRequest("pw", t); };
    Send(first);
    Send(second);
    ASSERT_TRUE(RunUntil([&] { return first.Done() && second.Done(); }));
    EXPECT_EQ(first.Log(), "password, auth-failed 3");
    // The question the server waits on is asked again of the request that took over.
    EXPECT_EQ(second.Log(), "password, signed-on, service");
    EXPECT_EQ(Count("SASLRequest"), 2);
}

TEST_F(ServicesProviderTest, ThreeTypesShareOneSignOnAndTwoRequestsShareOneQuery) {
    Script({{"users", Users({User("Hank", "pw")})}, {"delay_ms", 200}});
    Secret("Hank", "pw");
    Request& a = Ask("Hank", kServiceTypeRadio3, "pw");
    Request& b = Ask("hank", kServiceTypeRadio, "pw");
    Request& c = Ask(" HANK", kServiceTypePictures, "pw");
    Request& d = Ask("Hank", kServiceTypeRadio3, "pw");
    ASSERT_TRUE(RunUntil([&] { return a.Done() && b.Done() && c.Done() && d.Done(); }));
    EXPECT_EQ(a.Log(), "password, signed-on, service");
    for (Request* r : {&b, &c, &d}) {
        EXPECT_EQ(r->Log(), "signed-on, service") << r->userName;
    }
    EXPECT_EQ(Count("SASLRequest"), 2);
    EXPECT_EQ(Count("Query"), 3);
    ASSERT_TRUE(a.Service() && b.Service() && c.Service() && d.Service());
    EXPECT_EQ(b.Service()->ServiceTypeURN(), "urn:zym-com:services:radio");
    EXPECT_EQ(c.Service()->ServiceTypeURN(), "urn:zym-com:services:photo");
    // One Query, two facades with their own controllers.
    EXPECT_NE(a.Service()->controller_, d.Service()->controller_);

    // A request that arrives while its type's Query is on its way joins it.
    provider_->ClearServiceForUsername("hank", kServiceTypeRadio3);
    Request& e = Make("hank");
    Send(e);
    ASSERT_TRUE(RunUntil([&] { return Count("Query") == 4; }));
    Request& f = Make("hank");
    Send(f);
    ASSERT_TRUE(RunUntil([&] { return e.Done() && f.Done(); }));
    EXPECT_EQ(e.Log(), "signed-on, service");
    EXPECT_EQ(f.Log(), "signed-on, service");
    EXPECT_EQ(Count("Query"), 4);
}

TEST_F(ServicesProviderTest, DiscoveryFailuresAndCancellation) {
    Script({{"users", Users({User("ivan", "pw")})}, {"disco_status", "Failed"}});
    Request& failed = Ask("ivan", kServiceTypeRadio3, "pw");
    ASSERT_TRUE(RunUntil([&] { return failed.Done(); }));
    EXPECT_EQ(failed.Log(), "password, signed-on, service-failed 6");
    EXPECT_EQ(failed.statusCode, "Failed");

    // The record stays: the next request (signed on) queries again at once.
    Script({{"users", Users({User("ivan", "pw")})}, {"disco_fault", "Server"}});
    Request& fault = Make("ivan");
    Send(fault);
    EXPECT_EQ(fault.Log(), "signed-on");
    ASSERT_TRUE(RunUntil([&] { return fault.Done(); }));
    EXPECT_EQ(fault.Log(), "signed-on, service-failed 6");
    EXPECT_FALSE(fault.faultCode.empty()) << "the decoded fault reaches the request";

    // A status OK in lower case counts as success.
    Script({{"users", Users({User("ivan", "pw")})}, {"disco_status", "ok"}});
    Request& lower = Make("ivan");
    Send(lower);
    ASSERT_TRUE(RunUntil([&] { return lower.Done(); }));
    EXPECT_EQ(lower.Log(), "signed-on, service");
    provider_->ClearServiceForUsername("ivan", kServiceTypeRadio3);

    // An offered type that is not exactly a known URN makes no controller.
    Script({{"users", Users({User("ivan", "pw")})}, {"offer_type", " urn:zym-com:services:radio:3.0 "}});
    Request& blank = Make("ivan");
    Send(blank);
    ASSERT_TRUE(RunUntil([&] { return blank.Done(); }));
    EXPECT_EQ(blank.Log(), "signed-on, service-failed 6");

    // An offering of another type than asked for: its controller does not fit the facade.
    Script({{"users", Users({User("ivan", "pw")})}, {"offer_type", "urn:zym-com:services:photo"}});
    Request& other = Make("ivan");
    Send(other);
    ASSERT_TRUE(RunUntil([&] { return other.Done(); }));
    EXPECT_EQ(other.Log(), "signed-on, service-failed 6");

    // Cancelled Queries: a request withdrawn while another waits, then the last one.
    QJsonArray hold{"Query"};
    Script({{"users", Users({User("ivan", "pw")})}, {"hold", hold}});
    Request& x = Make("ivan");
    Request& y = Make("ivan");
    Send(x);
    Send(y);
    const int queries = Count("Query");
    ASSERT_TRUE(RunUntil([&] { return Count("Query") == queries + 1; })) << x.Log();
    provider_->CancelServiceRequest(x.token);
    EXPECT_EQ(x.Log(), "signed-on, service-failed 4");
    EXPECT_TRUE(x.cancelled);
    EXPECT_FALSE(y.Done());
    provider_->CancelServiceRequest(y.token);
    EXPECT_EQ(y.Log(), "signed-on, service-failed 4");
    // A finished token is ignored.
    provider_->CancelServiceRequest(y.token);
    provider_->SetPasswordForRequest("pw", y.token);
}

TEST_F(ServicesProviderTest, RenewalSignsOnAndDiscoversAgain) {
    Script({{"users", Users({User("judy", "pw")})}});
    Secret("judy", "pw");
    Request& r = Ask("judy", kServiceTypeRadio3, "pw");
    ASSERT_TRUE(RunUntil([&] { return r.Done(); }));
    ASSERT_NE(r.Service(), nullptr);

    Request& renewal = Ask("judy", kServiceTypeRadio3, "pw", "", true);
    ASSERT_TRUE(RunUntil([&] { return renewal.Done(); }));
    EXPECT_EQ(renewal.Log(), "signed-on, service");
    EXPECT_NE(renewal.Service(), nullptr);
    EXPECT_EQ(Kinds(), (std::vector<std::string>{"SASLRequest", "SASLRequest", "Query", "SASLRequest", "Query"}));
    const auto sent = Sent();
    // The renewal names the user and presents the sign-on assertion; it goes where the
    // sign-on's offering pointed (here the same URL).
    EXPECT_TRUE(Contains(sent[3].body, "authzID=\"judy\""));
    EXPECT_TRUE(Contains(sent[3].body, "AssertionID=\"A-"));
    EXPECT_TRUE(Contains(sent[3].body, "Security"));
    EXPECT_EQ(sent[3].path, prefix_);
}

TEST_F(ServicesProviderTest, ResetUsernameEndsEverythingPending) {
    Script({{"users", Users({User("kate", "pw")})}, {"hold", QJsonArray{"Query"}}});
    Secret("kate", "pw");
    EXPECT_EQ(provider_->GetUserInfo("nobody", false), nullptr);
    provider_->ResetUsername("nobody");
    provider_->ClearServiceForUsername("nobody", kServiceTypeRadio3);
    EXPECT_EQ(provider_->GetUserInfo("nobody", false), nullptr);

    // One request past the sign-on waiting for its Query, one waiting for the password.
    Request& querying = Ask("kate", kServiceTypeRadio3, "pw");
    ASSERT_TRUE(RunUntil([&] { return Count("Query") == 1; }));
    ASSERT_EQ(querying.Log(), "password, signed-on");
    EXPECT_NE(provider_->AuthenticationCredentialsExpirationDate("kate"), "");

    provider_->ResetUsername("Kate");
    EXPECT_EQ(querying.Log(), "password, signed-on, service-failed 4");
    EXPECT_EQ(provider_->AuthenticationCredentialsExpirationDate("kate"), "");

    Request& asking = Make("kate");
    asking.onPassword = [this](DMServiceRequestToken*) { provider_->ResetUsername("kate"); };
    Send(asking);
    ASSERT_TRUE(RunUntil([&] { return asking.Done(); }));
    EXPECT_EQ(asking.Log(), "password, auth-failed 3");

    // Signed off: the next request asks for the password again.
    Script({{"users", Users({User("kate", "pw")})}});
    Request& again = Ask("kate", kServiceTypeRadio3, "pw");
    ASSERT_TRUE(RunUntil([&] { return again.Done(); }));
    EXPECT_EQ(again.Log(), "password, signed-on, service");
}

TEST_F(ServicesProviderTest, ClearServiceDiscoversAgainAndKeepsWaitingRequests) {
    Script({{"users", Users({User("liam", "pw")})}, {"delay_ms", 150}});
    Request& r = Ask("liam", kServiceTypeRadio3, "pw");
    ASSERT_TRUE(RunUntil([&] { return r.Done(); }));
    EXPECT_EQ(Count("Query"), 1);

    // Cleared while its Query runs: the waiting request gets the fresh Query's answer.
    provider_->ClearServiceForUsername("liam", kServiceTypeRadio3);
    Request& waiting = Make("liam");
    Send(waiting);
    ASSERT_TRUE(RunUntil([&] { return Count("Query") == 2; }));
    provider_->ClearServiceForUsername("liam", kServiceTypeRadio3);
    ASSERT_TRUE(RunUntil([&] { return waiting.Done(); }));
    EXPECT_EQ(waiting.Log(), "signed-on, service");
    EXPECT_EQ(Count("Query"), 3);
    EXPECT_EQ(Count("SASLRequest"), 2);
}

TEST_F(ServicesProviderTest, RequestsFromInsideCallbacksAreNotLost) {
    Script({{"users", Users({User("mia", "pw")})}});
    Request& outer = Ask("mia", kServiceTypeRadio3, "pw");
    Request& inner = Make("mia", kServiceTypePictures);
    Request& late = Make("mia", kServiceTypeRadio);
    outer.onSignedOn = [&](DMServiceRequestToken*) { Send(inner); };
    inner.onFinal = [&](DMServiceRequestToken*) {
        if (!late.token && !late.Done()) Send(late);
    };
    ASSERT_TRUE(RunUntil([&] { return outer.Done() && inner.Done() && late.Done(); }));
    EXPECT_EQ(outer.Log(), "password, signed-on, service");
    EXPECT_EQ(inner.Log(), "signed-on, service");
    EXPECT_EQ(late.Log(), "signed-on, service");
    EXPECT_EQ(Count("Query"), 3);

    // A request cancelled from inside its own AuthenticationSucceeded, signed on already.
    Request& withdrawn = Make("mia", kServiceTypeRadio3);
    withdrawn.onSignedOn = [&](DMServiceRequestToken* t) { provider_->CancelServiceRequest(t); };
    Send(withdrawn);
    EXPECT_EQ(withdrawn.Log(), "signed-on, service-failed 4");
    EXPECT_TRUE(withdrawn.cancelled);
}

TEST_F(ServicesProviderTest, AliceAndAliceShareOneRecord) {
    Script({{"users", Users({User("alice", "pw")})}});
    Request& a = Ask("Alice", kServiceTypeRadio3, "pw");
    Request& b = Ask("alice ", kServiceTypeRadio, "pw");
    EXPECT_EQ(provider_->GetUserInfo("ALICE", false), provider_->GetUserInfo("alice", false));
    ASSERT_TRUE(RunUntil([&] { return a.Done() && b.Done(); }));
    EXPECT_EQ(a.Log(), "password, signed-on, service");
    EXPECT_EQ(b.Log(), "signed-on, service");
    ASSERT_NE(b.Service(), nullptr);
    EXPECT_EQ(b.Service()->GetUserName(), "Alice");  // the record's spelling
    EXPECT_EQ(Count("SASLRequest"), 2);
}

TEST_F(ServicesProviderTest, RequestsWaitingOnlyForADiscoveryStillEnd) {
    // Signed on without credentials: no Query can be sent, and the request ends.
    Script({{"users", Users({User("nora", "pw")})}, {"no_credentials", true}});
    Request& r = Ask("nora", kServiceTypeRadio3, "pw");
    ASSERT_TRUE(RunUntil([&] { return r.Done(); }));
    EXPECT_EQ(r.Log(), "password, signed-on, service-failed 6");

    // A failed renewal forgets every discovery; a request past the sign-on that waited
    // for one of them is told, not dropped.
    provider_->ResetUsername("nora");
    Script({{"users", Users({User("nora", "pw")})}, {"hold", QJsonArray{"Query"}}, {"renew_ok", false}});
    Request& pictures = Ask("nora", kServiceTypePictures, "pw");
    ASSERT_TRUE(RunUntil([&] { return Count("Query") == 1; }));
    Request& renewal = Ask("nora", kServiceTypeRadio3, "wrong", "", true);
    ASSERT_TRUE(RunUntil([&] { return renewal.Done() && pictures.Done(); }));
    EXPECT_EQ(renewal.Log(), "password, auth-failed 1");
    EXPECT_EQ(pictures.Log(), "password, signed-on, service-failed 6");
    // The renewal went out with the old credentials and the user as authorization id.
    EXPECT_TRUE(Contains(Sent()[5].body, "authzID=\"nora\""));
}

TEST_F(ServicesProviderTest, RetryFromInsideTheFailureCallback) {
    Script({{"users", Users({User("olga", "right")})}});
    Secret("olga", "right");
    Secret("olga", "wrong");
    Request& first = Ask("olga", kServiceTypeRadio3, "wrong");
    Request& retry = Make("olga");
    retry.onPassword = [this](DMServiceRequestToken* t) { provider_->SetPasswordForRequest("right", t); };
    first.onFinal = [&](DMServiceRequestToken*) { Send(retry); };
    ASSERT_TRUE(RunUntil([&] { return first.Done() && retry.Done(); }));
    EXPECT_EQ(first.Log(), "password, auth-failed 1");
    EXPECT_EQ(retry.Log(), "password, signed-on, service");
    EXPECT_EQ(Count("SASLRequest"), 4);
}
