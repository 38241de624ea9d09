// The services provider and its request listeners over loopback: whose client hears
// what, when, and what happens to a client that goes away.

#include "SignOnTestSupport.h"

#include "app/foundation/ServiceLayerError.h"

namespace signontest {
namespace {

class Client : public ZYMServiceRequestClient {
public:
    Client(ZYMServicesProvider& provider, const char* password) : provider_(provider), password_(password) {}

    void requestRequiresPassword(const ZYMRequestToken& t, const QString&) override {
        Note("password", t);
        provider_.setPassword(QLatin1String(password_), t);
    }
    void requestRequiresSecurID(const ZYMRequestToken& t, const QString&) override { Note("securid", t); }
    void requestAuthenticationSucceeded(const ZYMRequestToken& t, const QString&) override { Note("authenticated", t); }
    void requestAuthenticationFailed(const ZYMRequestToken& t, const QString&, int reason) override {
        Note("authentication failed " + std::to_string(reason), t);
        done = true;
    }
    void requestSucceeded(const ZYMRequestToken& t, const QString& name, DMGenericService* s) override {
        Note("succeeded " + name.toStdString(), t);
        service.reset(s);
        done = true;
    }
    void requestFailed(const ZYMRequestToken& t, const QString&, int reason) override {
        Note("failed " + std::to_string(reason), t);
        done = true;
    }

    ZYMRequestToken Request(const QString& user) {
        inside_ = true;
        token = provider_.requestService(QStringLiteral("RadioService"), user, false, this);
        inside_ = false;
        return token;
    }

    ZYMRequestToken token;
    std::vector<std::string> events;
    std::vector<ZYMRequestToken> tokens;
    bool calledInside = false;
    bool done = false;
    std::unique_ptr<DMGenericService> service;

private:
    void Note(const std::string& what, const ZYMRequestToken& t) {
        calledInside |= inside_;
        events.push_back(what);
        tokens.push_back(t);
    }
    ZYMServicesProvider& provider_;
    const char* password_;
    bool inside_ = false;
};

class ServicesProviderTest : public SignOnFixture {
protected:
    bool AllFreed() {
        return RunUntil([&] { return provider_->listenerCount() == 0; });
    }
};

TEST(ServicesProviderNames, ServiceNamesAndTypeCodes) {
    struct Row {
        const char* name;
        EServiceType type;
    };
    for (const Row& row : {Row{"RadioService", kServiceTypeRadio3}, Row{"PicturesService", kServiceTypePictures}}) {
        EXPECT_EQ(ZYMServicesProvider::serviceTypeFromName(QLatin1String(row.name)), row.type);
        EXPECT_EQ(ZYMServicesProvider::serviceNameFromType(row.type), QLatin1String(row.name));
    }
    for (const char* other : {"radioservice", "RADIOSERVICE", "Radio", ""})
        EXPECT_EQ(ZYMServicesProvider::serviceTypeFromName(QLatin1String(other)), 0u) << other;
    EXPECT_TRUE(ZYMServicesProvider::serviceNameFromType(kServiceTypeRadio).isNull());
    EXPECT_TRUE(ZYMServicesProvider::serviceNameFromType(0).isNull());
}

TEST_F(ServicesProviderTest, TwoRequestsOfOneUserReachOnlyTheirOwnClients) {
    Client a(*provider_, kPassword), b(*provider_, kPassword);
    const ZYMRequestToken ta = a.Request(QLatin1String(kUser));
    const ZYMRequestToken tb = b.Request(QLatin1String(kUser));
    EXPECT_NE(ta, tb);
    ASSERT_TRUE(RunUntil([&] { return a.done && b.done; }));
    for (Client* c : {&a, &b}) {
        EXPECT_EQ(c->events.back(), "succeeded RadioService");
        ASSERT_NE(c->service, nullptr);
        for (const ZYMRequestToken& t : c->tokens)
            EXPECT_EQ(t, c->token);
    }
    EXPECT_NE(a.service.get(), b.service.get());
    EXPECT_TRUE(AllFreed());
}

TEST_F(ServicesProviderTest, NoCallbackArrivesInsideRequestService) {
    Client first(*provider_, kPassword);
    first.Request(QLatin1String(kUser));
    ASSERT_TRUE(RunUntil([&] { return first.done; }));
    // Signed on, and the service discovered: the core answers at once, but the client
    // hears it from the loop, with the token it was given.
    Client second(*provider_, kPassword);
    const ZYMRequestToken token = second.Request(QLatin1String(kUser));
    EXPECT_TRUE(second.events.empty());
    ASSERT_TRUE(RunUntil([&] { return second.done; }));
    EXPECT_FALSE(second.calledInside);
    EXPECT_EQ(second.events, (std::vector<std::string>{"authenticated", "succeeded RadioService"}));
    for (const ZYMRequestToken& t : second.tokens)
        EXPECT_EQ(t, token);
    // The ended request's token is still a name; calls with it do nothing.
    provider_->setPassword(QLatin1String(kPassword), token);
    provider_->cancelServiceRequest(token);
    EXPECT_TRUE(AllFreed());
}

TEST_F(ServicesProviderTest, ClientDestroyedMidRequestHearsNothingAndTheServiceObjectIsFreed) {
    Client first(*provider_, kPassword);
    first.Request(QLatin1String(kUser));
    ASSERT_TRUE(RunUntil([&] { return first.done; }));
    {
        Client gone(*provider_, kPassword);
        gone.Request(QLatin1String(kUser));
    }
    // A request still on the wire when its client goes.
    {
        Client gone(*provider_, kSecurPassword);
        gone.Request(QLatin1String(kSecurUser));
        platform::RunLoop::Current().RunFor(5ms);
    }
    // Both end without a client (the second waits for a passcode until cancelled) and
    // their listeners are freed; LeakSanitizer checks the service object.
    ASSERT_TRUE(RunUntil([&] { return provider_->listenerCount() <= 1; }));
    provider_->resetUsername(QLatin1String(kSecurUser));
    EXPECT_TRUE(AllFreed());
}

TEST_F(ServicesProviderTest, CancelledRequestEndsWithItsFinalCallback) {
    Client c(*provider_, kSecurPassword);
    c.Request(QLatin1String(kSecurUser));
    ASSERT_TRUE(RunUntil([&] { return !c.events.empty() && c.events.back() == "securid"; }));
    provider_->cancelServiceRequest(c.token);
    ASSERT_TRUE(RunUntil([&] { return c.done; }));
    EXPECT_EQ(c.events.back(), "authentication failed 3");
    EXPECT_TRUE(AllFreed());
}

TEST_F(ServicesProviderTest, CredentialsExpiryIsTheServersOrNoneWithoutCredentials) {
    EXPECT_EQ(provider_->authenticationCredentialsExpirationDateForUsername(QLatin1String(kUser)), std::nullopt);
    SignOnScript(QJsonObject{{"expires", "2031-02-03T04:05:06Z"}});
    Client c(*provider_, kPassword);
    c.Request(QLatin1String(kUser));
    ASSERT_TRUE(RunUntil([&] { return c.done; }));
    const std::optional<QDateTime> expiry =
        provider_->authenticationCredentialsExpirationDateForUsername(QLatin1String(kUser));
    ASSERT_TRUE(expiry.has_value());
    EXPECT_EQ(*expiry, QDateTime(QDate(2031, 2, 3), QTime(4, 5, 6), Qt::UTC));
    provider_->resetUsername(QLatin1String(kUser));
    EXPECT_EQ(provider_->authenticationCredentialsExpirationDateForUsername(QLatin1String(kUser)), std::nullopt);
}

TEST_F(ServicesProviderTest, RequestWithoutAClientIsAProtocolError) {
    try {
        provider_->requestService(QStringLiteral("RadioService"), QLatin1String(kUser), false, nullptr);
        FAIL() << "no exception";
    } catch (const ServiceLayerError& e) {
        EXPECT_EQ(e.name(), kProtocolError);
        EXPECT_STREQ(e.what(), "Client does not implement ZYMServiceRequestClient protocol");
    }
    EXPECT_EQ(provider_->listenerCount(), 0);
}

TEST_F(ServicesProviderTest, ServiceURLComesFromTheDefaults) {
    defaults_->setString(QStringLiteral("service_url"), QStringLiteral("https://example.invalid/sso/"));
    ZYMServicesProvider other(defaults_.get());
    EXPECT_EQ(other.serviceURL(), QStringLiteral("https://example.invalid/sso/"));
    defaults_->removeObject(QStringLiteral("service_url"));
    ZYMServicesProvider builtIn(defaults_.get());
    EXPECT_TRUE(builtIn.serviceURL().startsWith(QStringLiteral("https://")));
}

}  // namespace
}  // namespace signontest
