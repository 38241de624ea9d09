// Renewal of the credentials (fake clock and scheduler, the server's expiry) and the
// verdict on failed directory calls.

#include "SignOnTestSupport.h"

#include <optional>

namespace signontest {
namespace {

class RenewalTest : public SignOnFixture {};

TEST_F(RenewalTest, TimerFollowsTheDefaultOrTheCredentialsExpiry) {
    struct Row {
        const char* what;
        qint64 configured;                  // 0: not set
        std::optional<qint64> expiresIn;    // seconds from now; nullopt: the user's sign-on forgotten
        std::optional<qint64> fires;        // seconds; nullopt: no timer
        const char* expiresText = nullptr;  // the server's text instead
    };
    const Row rows[] = {
        {"configured 600", 600, 7200, 600},
        {"configured 600, expiry close", 600, 1000, 600},
        {"configured -5", -5, 7200, std::nullopt},
        {"two hours ahead", 0, 7200, 3600},
        {"3000 s ahead", 0, 3000, 1500},
        {"expired", 0, -60, std::nullopt},
        {"no credentials held", 0, std::nullopt, std::nullopt},
        {"configured 600, no credentials held", 600, std::nullopt, 600},
        {"expiry that does not parse", 0, 7200, std::nullopt, "next tuesday"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        provider_->resetUsername(QLatin1String(kUser));
        MakeService();
        if (row.configured)
            defaults_->setInteger(QLatin1String(kRenewalIntervalDefaultsKey), row.configured);
        else
            defaults_->removeObject(QLatin1String(kRenewalIntervalDefaultsKey));
        SignOnScript(
            QJsonObject{{"expires", row.expiresText ? QString::fromLatin1(row.expiresText)
                                                    : Iso(clock_.now().addSecs(row.expiresIn.value_or(7200)))}});
        SignOn();
        if (HasFatalFailure()) return;
        if (!row.expiresIn) provider_->resetUsername(QLatin1String(kUser));
        MakeValid();
        if (!row.fires) {
            EXPECT_FALSE(service_->credentialsTimerActive());
            continue;
        }
        ASSERT_TRUE(service_->credentialsTimerActive());
        const int sent = CountSignOnBodies("SASLRequest");
        scheduler_.advance(std::chrono::seconds(*row.fires) - 1ms);
        EXPECT_TRUE(service_->credentialsTimerActive());
        EXPECT_FALSE(notes_.contains(QLatin1String(kAuthenticationWillRenewNotification)));
        scheduler_.advance(1ms);
        EXPECT_FALSE(service_->credentialsTimerActive());
        EXPECT_TRUE(notes_.contains(QLatin1String(kAuthenticationWillRenewNotification)));
        EXPECT_TRUE(service_->servicePending());
        ASSERT_TRUE(RunUntil([&] { return service_->serviceAvailable(); }));
        // Held credentials renew in one exchange; a forgotten sign-on gives the password again.
        EXPECT_EQ(CountSignOnBodies("SASLRequest"), sent + (row.expiresIn ? 1 : 2));
    }
}

TEST_F(RenewalTest, FiringRenewsOverTheWireAndTheNewServiceObjectReplacesTheOld) {
    defaults_->setInteger(QLatin1String(kRenewalIntervalDefaultsKey), 600);
    SignOn();
    MakeValid();
    const int sent = CountSignOnBodies("SASLRequest");
    notes_.clear();
    scheduler_.advance(600s);
    EXPECT_EQ(notes_, (QStringList{"AuthenticationWillRenewNotificationName", "ServiceRequestNotification",
                                   "AuthenticationDidStartNotificationName"}));
    EXPECT_FALSE(service_->serviceAvailable());
    ASSERT_TRUE(RunUntil([&] { return service_->deliveries == 2 && service_->serviceAvailable(); }));
    // One more sign-on exchange, answered from the credentials held: no panel, no password.
    EXPECT_EQ(CountSignOnBodies("SASLRequest"), sent + 1);
    EXPECT_TRUE(view_.shows.empty());
    ASSERT_NE(service_->radio(), nullptr);
    MakeValid();
    EXPECT_EQ(service_->failures, 0);
    // The new object starts the next round.
    EXPECT_TRUE(service_->credentialsTimerActive());
}

TEST_F(RenewalTest, RenewalForAnotherUserIsRefused) {
    SignOn();
    const int sent = CountSignOnBodies("SASLRequest");
    notes_.clear();
    service_->requestServiceRenewalWithUsername(QStringLiteral("Someone Else"));
    platform::RunLoop::Current().RunFor(50ms);
    EXPECT_EQ(CountSignOnBodies("SASLRequest"), sent);
    EXPECT_TRUE(service_->serviceAvailable());
    EXPECT_TRUE(notes_.isEmpty());
    EXPECT_NE(Log().find("requestServiceRenewalWithUsername - failed - username [Someone Else] is not authenticated."),
              std::string::npos);
    // And while signed off, nobody is authenticated.
    service_->signOff();
    service_->requestServiceRenewalWithUsername(QLatin1String(kUser));
    platform::RunLoop::Current().RunFor(50ms);
    EXPECT_EQ(CountSignOnBodies("SASLRequest"), sent);
}

// ---- the verdict ----

class VerdictTest : public SignOnFixture {
protected:
    // Fails one ListCategories call as the knob says and answers the verdict.
    int FailedCall(const QJsonObject& knob) {
        Directory(QJsonObject{{"methods", QJsonObject{{"ListCategories", knob}}}});
        const std::size_t before = service_->verdicts.size();
        service_->radio()->ListCategories();
        if (!RunUntil([&] { return service_->verdicts.size() > before; })) {
            ADD_FAILURE() << "no verdict asked";
            return -1;
        }
        return service_->verdicts.back();
    }
};

class OnlyHTTPResponseCode : public ZYMGenericServiceDelegate {
public:
    std::optional<int> shouldMethodFailureInvalidateServiceWithHTTPResponseCode(ZYMGenericService&,
                                                                                DMServiceRequestToken*,
                                                                                int code) override {
        codes.push_back(code);
        return 2;
    }
    std::vector<int> codes;
};

TEST_F(VerdictTest, FailedDirectoryCallsAreJudgedByFaultStatusAndTransport) {
    SignOn();
    ASSERT_NE(service_->radio(), nullptr);
    auto fault = [](const char* code, const char* text) {
        return QJsonObject{{"fault", QJsonObject{{"code", code}, {"string", text}}}};
    };
    struct Row {
        const char* what;
        QJsonObject knob;
        int verdict;
        const char* logged;
    };
    const Row rows[] = {
        {"Sender, expired assertion", fault("Sender", "Assertion expired"), 2, "withSenderFault:[Assertion expired]"},
        {"prefixed Sender, digest", fault("SOAP-ENV:Sender", "assertion DIGEST check failed"), 2,
         "withSenderFault:[assertion DIGEST check failed]"},
        {"Sender, signature", fault("Sender", "Assertion signature invalid"), 2, "withSenderFault:"},
        {"Sender, other", fault("Sender", "Bad request"), 1, "withSenderFault:[Bad request]"},
        {"Receiver, exchange", fault("Receiver", "Invalid authentication exchange"), 2, "withReceiverFault:"},
        {"prefixed Receiver, device", fault("env:Receiver", "Device authentication not supported"), 2,
         "withReceiverFault:[Device authentication not supported]"},
        {"Receiver, undefined", fault("Receiver", "undefined error"), 2, "withReceiverFault:[undefined error]"},
        {"Receiver, other", fault("Receiver", "Busy"), 1, "withReceiverFault:[Busy]"},
        {"Server", fault("Server", "Out of order"), 1, "withServerFault:[Out of order]"},
        {"prefixed Server", fault("SOAP-ENV:Server", "Out of order"), 1, "withServerFault:[Out of order]"},
        {"unknown code", fault("Client", "Nope"), 1, "withFaultCode:[Client] faultString:[Nope]"},
        {"failed status", QJsonObject{{"status_code", "Failed"}}, 0, "withStatusCode:[Failed]"},
        {"HTTP 401", QJsonObject{{"http_status", 401}}, 1, "withHTTPResponseCode:[401]"},
        {"HTTP 402", QJsonObject{{"http_status", 402}}, 0, "withHTTPResponseCode:[402]"},
        {"HTTP 404", QJsonObject{{"http_status", 404}}, 1, "withHTTPResponseCode:[404]"},
        {"HTTP 500", QJsonObject{{"http_status", 500}}, 1, "withHTTPResponseCode:[500]"},
        {"connection reset", QJsonObject{{"drop", true}}, 2, "withPOSIXError:[54] - network error"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(FailedCall(row.knob), row.verdict);
        EXPECT_NE(Log().find(row.logged), std::string::npos)
            << Log().substr(Log().size() > 3000 ? Log().size() - 3000 : 0);
    }
}

TEST_F(VerdictTest, AQuestionTheDelegateAnswersIsDecidedByItAlone) {
    SignOn();
    OnlyHTTPResponseCode delegate;
    service_->setDelegate(&delegate);
    EXPECT_EQ(FailedCall(QJsonObject{{"http_status", 404}}), 2);
    EXPECT_EQ(FailedCall(QJsonObject{{"http_status", 402}}), 2);
    EXPECT_EQ(delegate.codes, (std::vector<int>{404, 402}));
    // Its own log line is not written: the question did nothing itself.
    EXPECT_EQ(Log().find("withHTTPResponseCode:"), std::string::npos);
    // Other questions are still the service's.
    EXPECT_EQ(FailedCall(QJsonObject{{"fault", QJsonObject{{"code", "Server"}, {"string", "x"}}}}), 1);
    service_->setDelegate(nullptr);
    EXPECT_EQ(FailedCall(QJsonObject{{"http_status", 404}}), 1);
}

// Questions the server cannot reach, with tokens made by hand.
class HandMadeToken {
public:
    HandMadeToken() : token(kServiceTypeRadio3, "u", false, nullptr), ref("ListCategories", "m-1") {}
    DMServiceRequestToken* Fault(const char* code, const char* string, const char* actor) {
        auto* out = new DMSIF_GenericMethod_OutputType(nullptr);
        out->fault.faultcode = code;
        out->fault.faultstring = string;
        out->fault.faultactor = actor;
        ref.SetOutput(out);
        token.methodRef = &ref;
        return &token;
    }
    DMServiceRequestToken* Status(const char* code) {
        auto* out = new DMSIF_GenericMethod_OutputType(nullptr);
        out->status.code = code;
        ref.SetOutput(out);
        token.methodRef = &ref;
        return &token;
    }
    DMServiceRequestToken* NoOutput() {
        ref.SetOutput(nullptr);
        token.methodRef = &ref;
        return &token;
    }
    DMServiceRequestToken token;
    DMSIF_MethodRef ref;
};

TEST_F(VerdictTest, TransportDomainsAndEdgesOfTheQuestionTable) {
    struct Row {
        const char* actor;
        int verdict;
        const char* logged;
    };
    const Row rows[] = {
        {"1, 60", 2, "withPOSIXError:[60] - network error"},
        {"1, 50", 2, "withPOSIXError:[50] - network error"},
        {"1, 65", 2, "withPOSIXError:[65] - network error"},
        {"1, 61", 2, "withPOSIXError:[61] - network error"},
        {"1, 5", 2, "withPOSIXError:[5] - other error"},
        {"1, 66", 2, "withPOSIXError:[66] - other error"},
        {"2, -36", 1, "withMacOSError:[-36]"},
        {"4, 12", 1, "withHTTPError:[12]"},
        {"4, -1", 1, "withHTTPError:[-1]"},
        {"12, 8", 2, "withNetDBError:[8]"},
        {"100, 403", 1, "withHTTPResponseCode:[403]"},
        {"100, 405", 1, "withHTTPResponseCode:[405]"},
        {"100, 408", 1, "withHTTPResponseCode:[408]"},
        {"100, 503", 1, "withHTTPResponseCode:[503]"},
        {"100, 502", 0, "withHTTPResponseCode:[502]"},
        {"101, 1", 0, "withURLRequestError:[1]"},
        {"101, 2", 1, "withURLRequestError:[2]"},
        {"3, -9815", 1, "withErrorDomain:[3] errorCode:[-9815]"},
        {"not numbers", 1, "withReceiverFault:[ClientError] faultActor:[not numbers]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.actor);
        HandMadeToken t;
        EXPECT_EQ(service_->shouldMethodFailureInvalidateService(t.Fault("Receiver", "ClientError", row.actor)),
                  row.verdict);
        EXPECT_NE(Log().find(row.logged), std::string::npos);
    }
    HandMadeToken t;
    EXPECT_EQ(service_->shouldMethodFailureInvalidateService(nullptr), 0);
    EXPECT_EQ(service_->shouldMethodFailureInvalidateService(t.NoOutput()), 1);
    EXPECT_NE(Log().find("shouldMethodFailureInvalidateService - No Response!"), std::string::npos);
    EXPECT_EQ(service_->shouldMethodFailureInvalidateService(t.Status("")), 1);
    EXPECT_EQ(service_->shouldMethodFailureInvalidateService(t.Status("Partial")), 0);
    EXPECT_NE(Log().find("invalidateWhat = 0"), std::string::npos);
    // "ClientError" under the Sender code is the sender question's, which knows it not.
    EXPECT_EQ(service_->shouldMethodFailureInvalidateService(t.Fault("Sender", "ClientError", "1, 60")), 1);
}

class AnswersEverything : public ZYMGenericServiceDelegate {
public:
    std::optional<int> shouldMethodFailureInvalidateService(ZYMGenericService&, DMServiceRequestToken*) override {
        return 7;
    }
};

TEST_F(VerdictTest, TheDelegatesTopAnswerIsTheVerdict) {
    AnswersEverything delegate;
    service_->setDelegate(&delegate);
    HandMadeToken t;
    EXPECT_EQ(service_->shouldMethodFailureInvalidateService(t.Fault("Receiver", "ClientError", "1, 60")), 7);
    EXPECT_EQ(Log().find("withFaultCode"), std::string::npos);
    EXPECT_EQ(service_->shouldMethodFailureInvalidateService(nullptr), 7);
}

}  // namespace
}  // namespace signontest
