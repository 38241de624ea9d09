// Sign-on through the panels' logic over loopback: the keyring's password, the panel, the
// SecurID panel, failures and their alerts, cancelling, the certificate fault, alerts
// without a visible parent, and the cache file a signed-on service writes.

#include "SignOnTestSupport.h"

#include <QDir>
#include <QFile>
#include <QWidget>

#include "app/foundation/Localizer.h"
#include "app/foundation/ServiceLayerError.h"
#include "platform/HttpReadStream.h"

namespace signontest {
namespace {

using Panel = AuthPanelsView::Panel;

class SignOnTest : public SignOnFixture {};

TEST_F(SignOnTest, StoredPasswordSignsOnWithoutPanelAndDeliversTheRadioService) {
    SignOn();
    EXPECT_TRUE(view_.shows.empty());
    ASSERT_NE(service_->radio(), nullptr);
    EXPECT_FALSE(service_->servicePending());
    EXPECT_TRUE(service_->requestToken().isNull());
    EXPECT_FALSE(auth_->isBusy());
    MakeValid();
    EXPECT_EQ(notes_, (QStringList{"ServiceRequestNotification", "AuthenticationDidStartNotificationName",
                                   "ServiceEstablishedNotification"}));
    EXPECT_EQ(service_->authenticatedUsername(false), QString::fromLatin1(kUser));
    EXPECT_EQ(service_->authenticatedUsername(true), QStringLiteral("dorasignon"));
    EXPECT_TRUE(service_->usernameIsAuthenticatedUsername(QStringLiteral("DORA SIGNON")));
    EXPECT_TRUE(service_->usernameIsAuthenticatedUsername(QStringLiteral("dorasignon")));
    EXPECT_FALSE(service_->usernameIsAuthenticatedUsername(QString()));
    EXPECT_FALSE(service_->usernameIsAuthenticatedUsername(QStringLiteral("Dora")));
    EXPECT_EQ(sifCanonicalizedString(QStringLiteral(" Dora\tSIGN\u00e9on ")), QStringLiteral("dorasignon"));
    // The screen name is remembered as typed.
    EXPECT_EQ(defaults_->string(QLatin1String(kScreenNameDefaultsKey)), QString::fromLatin1(kUser));
    EXPECT_TRUE(presenter_.shown.empty());
    EXPECT_TRUE(stats_.numbers.empty());
}

TEST_F(SignOnTest, WrongPasswordShowsItsAlertThenThePanelWithAnEmptyPasswordField) {
    service_->requestServiceWithUsername(QLatin1String(kUser), nullptr);
    ASSERT_EQ(view_.shows, std::vector<Panel>{Panel::SignOn});
    EXPECT_EQ(view_.focused, AuthPanelsView::Field::Password);
    view_.model->setPassword(QLatin1String(kWrongPassword));
    view_.actions->authOK();
    EXPECT_FALSE(view_.signOnVisible);
    ASSERT_TRUE(RunUntil([&] { return !presenter_.shown.empty(); }));
    EXPECT_EQ(presenter_.shown[0].request.informativeText,
              Localizer::shared().text(QStringLiteral("AuthenticationFailureInvalidUsernameOrPassword")));
    EXPECT_EQ(presenter_.shown[0].request.style, DialogRequest::Style::Critical);
    EXPECT_EQ(LastStatistic(), std::make_pair(quint8(32), quint16(4096)));
    EXPECT_TRUE(auth_->password().isEmpty());
    EXPECT_FALSE(service_->servicePending());
    EXPECT_FALSE(auth_->isBusy());
    // The panel comes back once the alert is dismissed.
    EXPECT_FALSE(view_.signOnVisible);
    ASSERT_TRUE(presenter_.answer(0));
    ASSERT_TRUE(RunUntil([&] { return view_.signOnVisible; }));
    EXPECT_TRUE(auth_->password().isEmpty());
    EXPECT_FALSE(view_.model->signOnEnabled());
    // A rejected password is not kept.
    EXPECT_FALSE(passwords_.contains(QLatin1String(kKeychain), QStringLiteral("dorasignon")));

    // The right one typed now signs on, and the ticked checkbox keeps it.
    view_.model->setPassword(QLatin1String(kPassword));
    view_.model->setKeepInKeychain(true);
    view_.actions->authOK();
    ASSERT_TRUE(RunUntil([&] { return service_->serviceAvailable(); }));
    EXPECT_EQ(passwords_.read(QLatin1String(kKeychain), QStringLiteral("dorasignon")), QString::fromLatin1(kPassword));
}

TEST_F(SignOnTest, PasscodeUserGetsTheSecurIDPanelAndSignsOn) {
    StorePassword(kSecurUser, kSecurPassword);
    service_->requestServiceWithUsername(QLatin1String(kSecurUser), nullptr);
    ASSERT_TRUE(RunUntil([&] { return view_.securIDVisible; }));
    EXPECT_EQ(view_.shows, std::vector<Panel>{Panel::SecurID});
    EXPECT_EQ(view_.focused, AuthPanelsView::Field::SecurID);
    EXPECT_FALSE(auth_->isBusy());
    EXPECT_FALSE(service_->requestToken().isNull());
    view_.model->setSecurID(QLatin1String(kPasscode));
    view_.actions->securIDOK();
    EXPECT_TRUE(auth_->isBusy());
    ASSERT_TRUE(RunUntil([&] { return service_->serviceAvailable(); }));
    EXPECT_NE(service_->radio(), nullptr);
    EXPECT_TRUE(presenter_.shown.empty());
}

TEST_F(SignOnTest, WrongPasscodeShowsItsAlert) {
    StorePassword(kSecurUser, kSecurPassword);
    service_->requestServiceWithUsername(QLatin1String(kSecurUser), nullptr);
    ASSERT_TRUE(RunUntil([&] { return view_.securIDVisible; }));
    view_.model->setSecurID(QLatin1String(kWrongPasscode));
    view_.actions->securIDOK();
    ASSERT_TRUE(RunUntil([&] { return !presenter_.shown.empty(); }));
    EXPECT_EQ(presenter_.shown[0].request.informativeText,
              Localizer::shared().text(QStringLiteral("AuthenticationFailureWrongSecurID")));
    EXPECT_EQ(LastStatistic(), std::make_pair(quint8(32), quint16(4097)));
    EXPECT_FALSE(service_->serviceAvailable());
    EXPECT_FALSE(service_->servicePending());
}

// Cancel on either panel, while the core waits for its answer: the request is cancelled
// and nothing is shown.
TEST_F(SignOnTest, CancelOnEitherPanelCancelsAndShowsNothing) {
    struct Row {
        const char* what;
        const char* user;
        Panel panel;
    };
    for (const Row& row :
         {Row{"sign-on panel", kUser, Panel::SignOn}, Row{"SecurID panel", kSecurUser, Panel::SecurID}}) {
        SCOPED_TRACE(row.what);
        MakeService();
        stats_.numbers.clear();
        view_.shows.clear();
        if (row.panel == Panel::SecurID) StorePassword(kSecurUser, kSecurPassword);
        service_->requestServiceWithUsername(QLatin1String(row.user), nullptr);
        if (row.panel == Panel::SignOn) {
            // The panel first, then OK with an empty password: the core's question shows it again.
            ASSERT_TRUE(view_.signOnVisible);
            view_.actions->authOK();
            ASSERT_TRUE(RunUntil([&] { return view_.signOnVisible; }));
        } else {
            ASSERT_TRUE(RunUntil([&] { return view_.securIDVisible; }));
        }
        ASSERT_FALSE(service_->requestToken().isNull());
        if (row.panel == Panel::SignOn)
            view_.actions->authCancel();
        else
            view_.actions->securIDCancel();
        ASSERT_TRUE(RunUntil([&] { return !service_->servicePending(); }));
        platform::RunLoop::Current().RunFor(20ms);
        EXPECT_TRUE(presenter_.shown.empty());
        EXPECT_FALSE(view_.signOnVisible);
        EXPECT_FALSE(view_.securIDVisible);
        EXPECT_TRUE(auth_->password().isEmpty());
        EXPECT_TRUE(service_->requestToken().isNull());
        EXPECT_EQ(LastStatistic(), std::make_pair(quint8(32), quint16(1)));
        provider_->resetUsername(QLatin1String(row.user));
    }
    // Without a request in flight a cancel only ends the attempt.
    MakeService();
    service_->requestServiceWithUsername(QStringLiteral("Nobody Yet"), nullptr);
    ASSERT_TRUE(view_.signOnVisible);
    view_.actions->authCancel();
    EXPECT_FALSE(service_->servicePending());
    EXPECT_TRUE(presenter_.shown.empty());
}

TEST_F(SignOnTest, OkWhileTheServiceIsAvailableAndNoRequestIsHeldDoesNothing) {
    SignOn();
    const int before = CountSignOnBodies("SASLRequest");
    service_->authenticationControllerOKButtonClicked(*auth_);
    platform::RunLoop::Current().RunFor(50ms);
    EXPECT_EQ(CountSignOnBodies("SASLRequest"), before);
    EXPECT_TRUE(service_->serviceAvailable());
}

TEST_F(SignOnTest, MissingPanelsControllerOrServiceNameIsAnImplementationError) {
    service_->setAuthenticationController(nullptr);
    try {
        service_->requestServiceWithUsername(QLatin1String(kUser), nullptr);
        FAIL() << "no exception";
    } catch (const ServiceLayerError& e) {
        EXPECT_EQ(e.name(), kImplementationError);
        EXPECT_STREQ(e.what(), "ZYMGenericService must have an auth controller");
    }
    ZYMGenericService bare(ZYMServiceEnvironment{provider_.get(), defaults_.get(), &center_});
    bare.setAuthenticationController(auth_.get());
    StorePassword(kUser, kPassword);
    try {
        bare.requestServiceWithUsername(QLatin1String(kUser), nullptr);
        FAIL() << "no exception";
    } catch (const ServiceLayerError& e) {
        EXPECT_STREQ(e.what(), "Subclasses of ZYMGenericService should override |serviceName|");
    }
}

// The failure reasons and the texts they show.
TEST(SignOnTexts, EveryFailureReasonHasItsKeyAndAnEnglishText) {
    struct Row {
        int reason;
        const char* key;
    };
    const Row authentication[] = {{1, "AuthenticationFailureInvalidUsernameOrPassword"},
                                  {2, "AuthenticationFailureWrongSecurID"},
                                  {3, ""},
                                  {4, "AuthenticationFailureCertNotValidYet"},
                                  {5, "AuthenticationFailureSecurIDLocked"},
                                  {6, "AuthenticationFailureEmptyPassword"},
                                  {7, "AuthenticationFailureEmptySecurID"},
                                  {8, "AuthenticationFailureUnknown"},
                                  {0, "AuthenticationFailureUnknown"},
                                  {99, "AuthenticationFailureUnknown"}};
    for (const Row& row : authentication) {
        SCOPED_TRACE(row.reason);
        EXPECT_EQ(ZYMGenericService::authenticationFailureKey(row.reason), QLatin1String(row.key));
    }
    const Row discovery[] = {{2, "ServiceRequestFailureHostNotAvailable"},
                             {3, "ServiceRequestFailureNoAccessWithThisScreenname"},
                             {4, ""},
                             {6, "ServiceRequestFailureDiscoveryFailed"},
                             {1, ""},
                             {5, ""}};
    for (const Row& row : discovery) {
        SCOPED_TRACE(row.reason);
        EXPECT_EQ(ZYMGenericService::serviceRequestFailureKey(row.reason), QLatin1String(row.key));
    }
    for (const char* key : {"AuthenticationFailureInvalidUsernameOrPassword", "AuthenticationFailureWrongSecurID",
                            "AuthenticationFailureCertNotValidYet", "AuthenticationFailureSecurIDLocked",
                            "AuthenticationFailureEmptyPassword", "AuthenticationFailureEmptySecurID",
                            "AuthenticationFailureUnknown", "ServiceRequestFailureHostNotAvailable",
                            "ServiceRequestFailureNoAccessWithThisScreenname", "ServiceRequestFailureDiscoveryFailed",
                            "AuthenticationFailureTitle", "DiscoveryFailureTitle", "RadioKeychainService"}) {
        const QString text = Localizer::shared().text(QLatin1String(key), QStringLiteral("<missing>"));
        EXPECT_NE(text, QStringLiteral("<missing>")) << key;
        EXPECT_FALSE(text.isEmpty()) << key;
    }
}

// Every failure the core reports shows the text of its reason and records its statistic.
TEST_F(SignOnTest, FailuresFromTheServerShowTheirAlertAndRecordTheirStatistic) {
    struct Row {
        const char* what;
        QJsonObject signon;
        bool refusedPort;
        const char* key;
        std::pair<quint8, quint16> statistic;
    };
    const Row rows[] = {
        {"locked SecurID",
         QJsonObject{{"first_abort", "If you see this message, your token is locked"}},
         false,
         "AuthenticationFailureSecurIDLocked",
         {32, 65535}},
        {"no password before the passcode",
         QJsonObject{{"first_abort", "no password supplied before securid"}},
         false,
         "AuthenticationFailureEmptyPassword",
         {32, 65535}},
        {"misconfigured server",
         QJsonObject{{"first_abort", "server misconfigured"}},
         false,
         "AuthenticationFailureUnknown",
         {32, 65535}},
        {"fault at the first step",
         QJsonObject{{"first_fault", "SOAP-ENV:Server"}},
         false,
         "AuthenticationFailureUnknown",
         {32, 65535}},
        {"refused port", QJsonObject{}, true, "AuthenticationFailureUnknown", {2, 61}},
        {"discovery refused",
         QJsonObject{{"disco_status", "Failed"}},
         false,
         "ServiceRequestFailureDiscoveryFailed",
         {33, 4099}},
    };
    const QString url = provider_->serviceURL();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MakeService();
        presenter_.shown.clear();
        stats_.numbers.clear();
        SignOnScript(row.signon);
        provider_->setServiceURL(
            row.refusedPort ? QStringLiteral("http://127.0.0.1:%1/").arg(zymtest::TestServer::ClosedPort()) : url);
        // The endpoint reaches only users the provider has not met yet.
        const char* user = row.refusedPort ? "Ray Refused" : kUser;
        StorePassword(user, kPassword);
        service_->requestServiceWithUsername(QLatin1String(user), nullptr);
        ASSERT_TRUE(RunUntil([&] { return !service_->servicePending(); }));
        ASSERT_TRUE(RunUntil([&] { return !presenter_.shown.empty(); }));
        EXPECT_EQ(presenter_.shown.back().request.informativeText, Localizer::shared().text(QLatin1String(row.key)));
        EXPECT_EQ(LastStatistic(), row.statistic);
        EXPECT_FALSE(service_->serviceAvailable());
        provider_->resetUsername(QLatin1String(user));
    }
}

// A server that no longer knows the held sign-on refuses its discovery; the next request
// signs on afresh, not with the refused sign-on again and again.
TEST_F(SignOnTest, AfterDiscoveryRefusedTheNextRequestSignsOnAfresh) {
    StorePassword(kUser, kPassword);
    SignOnScript(QJsonObject{{"disco_status", "Failed"}});
    service_->requestServiceWithUsername(QLatin1String(kUser), nullptr);
    ASSERT_TRUE(RunUntil([&] { return !presenter_.shown.empty(); }));
    EXPECT_FALSE(service_->serviceAvailable());
    const int signOns = CountSignOnBodies("SASLRequest");

    SignOnScript(QJsonObject{});
    ASSERT_TRUE(presenter_.answer(0));
    service_->requestServiceWithUsername(QLatin1String(kUser), nullptr);
    ASSERT_TRUE(RunUntil([&] { return service_->serviceAvailable(); }));
    EXPECT_GT(CountSignOnBodies("SASLRequest"), signOns);
    // Once signed on again, a request presents the fresh sign-on.
    const int fresh = CountSignOnBodies("SASLRequest");
    service_->requestServiceWithUsername(QLatin1String(kUser), nullptr);
    ASSERT_TRUE(RunUntil([&] { return service_->serviceAvailable(); }));
    EXPECT_EQ(CountSignOnBodies("SASLRequest"), fresh);
}

// A sign-on that meets a server certificate not valid yet tells the user so.
TEST_F(SignOnTest, CertificateNotYetValidShowsItsAlertAndRecordsIt) {
    auto [port, ca] = server_->StartTls("notyetvalid");
    platform::SetTestCaFile(ca);
    provider_->setServiceURL(QStringLiteral("https://127.0.0.1:%1%2").arg(port).arg(QString::fromStdString(prefix_)));
    StorePassword(kUser, kPassword);
    service_->requestServiceWithUsername(QLatin1String(kUser), nullptr);
    ASSERT_TRUE(RunUntil([&] { return !presenter_.shown.empty(); }));
    platform::SetTestCaFile("");
    EXPECT_EQ(presenter_.shown[0].request.informativeText,
              Localizer::shared().text(QStringLiteral("AuthenticationFailureCertNotValidYet")));
    EXPECT_EQ(LastStatistic(), std::make_pair(quint8(32), quint16(4098)));
    EXPECT_FALSE(service_->servicePending());
}

// A failure alert and the panels go on the parent window when it is visible, else they
// stand alone; either way the panel comes back after the alert.
TEST_F(SignOnTest, FailureAlertWithoutAVisibleParentStandsAloneThenThePanelReturns) {
    QWidget window;
    window.resize(400, 300);
    struct Row {
        const char* what;
        bool visible;
    };
    for (const Row& row : {Row{"hidden parent", false}, Row{"visible parent", true}}) {
        SCOPED_TRACE(row.what);
        MakeService();
        presenter_.shown.clear();
        view_.shows.clear();
        window.setVisible(row.visible);
        service_->requestServiceWithUsername(QLatin1String(kUser), &window);
        ASSERT_EQ(view_.shows.size(), 1u);
        EXPECT_EQ(view_.lastParent, row.visible ? &window : nullptr);
        view_.model->setPassword(QLatin1String(kWrongPassword));
        view_.actions->authOK();
        ASSERT_TRUE(RunUntil([&] { return !presenter_.shown.empty(); }));
        EXPECT_EQ(presenter_.shown[0].parent, row.visible ? &window : nullptr);
        ASSERT_TRUE(presenter_.answer(0));
        ASSERT_TRUE(RunUntil([&] { return view_.signOnVisible; }));
        EXPECT_EQ(view_.lastParent, row.visible ? &window : nullptr);
        view_.actions->authCancel();
    }
}

TEST_F(SignOnTest, SignedOnServiceWritesItsCacheFileWhichANewStorageReads) {
    SignOn();
    MakeValid();
    service_->radio()->FlushCache();
    const QString file = dir_.filePath(QStringLiteral("cache/dorasignon/urn_zym-com_services_radio_3.0.cache"));
    ASSERT_TRUE(QFile::exists(file));
    ZYMCacheStorage again(kDMRadio3ServiceTypeURN, "dorasignon", dir_.filePath(QStringLiteral("cache")));
    std::string endpoint;
    EXPECT_TRUE(again.Get(kDMServiceURLCacheItemKey, endpoint));
    EXPECT_EQ(endpoint, service_->radio()->GetEndpoint());

    service_->signOff();
    EXPECT_EQ(service_->genericService(), nullptr);
    EXPECT_FALSE(service_->serviceAvailable());
    EXPECT_EQ(notes_.last(), QStringLiteral("ServiceNoLongerValidNotification"));
}

TEST_F(SignOnTest, SignOffTellsUserLoggedOffAndStopsRenewal) {
    SignOn();
    MakeValid();
    ASSERT_TRUE(service_->credentialsTimerActive());
    QString reason;
    auto sub =
        center_.observe(QLatin1String(kServiceNoLongerValidNotification), service_.get(), [&](const Notification& n) {
            reason = std::any_cast<QString>(n.userInfo.at(QLatin1String(kInvalidityReasonKey)));
        });
    service_->signOff();
    EXPECT_EQ(reason, QLatin1String(kInvalidityUserLoggedOff));
    EXPECT_FALSE(service_->credentialsTimerActive());
    EXPECT_FALSE(service_->authenticatedUsername(false).has_value());
}

}  // namespace
}  // namespace signontest
