// The account pane's commit at the start of a sign-on, end to end: the screen name and
// password typed into the pane's fields are what the service layer signs on with
// against the test server.

#include "../services/SignOnTestSupport.h"

#include "app/prefs/RadioPrefsWindowController.h"

#include <QLineEdit>
#include <QTest>

namespace {

using namespace signontest;

class AccountSignOn : public SignOnFixture {
protected:
    RadioPrefsEnvironment environment() {
        RadioPrefsEnvironment env;
        env.stores = {defaults_.get(), &center_, &passwords_};
        env.keychainService = [] { return QString::fromLatin1(kKeychain); };
        env.clock = &clock_;
        env.scheduler = &scheduler_;
        return env;
    }
};

TEST_F(AccountSignOn, SignOnUsesWhatWasTypedIntoTheOpenAccountPane) {
    RadioPrefsWindowController prefs(environment());
    const auto& c = prefs.controls();
    ASSERT_TRUE(prefs.showPaneWithIdentifier(RadioPrefsWindowController::kUserPane));
    prefs.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&prefs));
    QTest::keyClicks(c.screenNameField, kUser);
    QTest::keyClicks(c.passwordField, kPassword);
    EXPECT_FALSE(passwords_.contains(kKeychain, KeychainUtils::canonicalScreenName(kUser)));

    // The sign-on reads the keyring only after announcing itself: the pane commits first,
    // so no panel is needed.
    service_->requestServiceWithUsername(QString::fromLatin1(kUser), nullptr);
    ASSERT_TRUE(RunUntil([&] { return service_->serviceAvailable(); }));
    EXPECT_TRUE(view_.shows.empty());
    EXPECT_GE(CountSignOnBodies("SASLRequest"), 1);  // the server takes only kUser's password
    EXPECT_EQ(defaults_->string(QStringLiteral("screenname")), QString::fromLatin1(kUser));
    EXPECT_EQ(KeychainUtils::passwordForScreenName(passwords_, kUser, kKeychain), QString::fromLatin1(kPassword));
    EXPECT_EQ(service_->authenticatedUsername(false), QString::fromLatin1(kUser));
}

TEST_F(AccountSignOn, WrongPasswordTypedIsTheOneTried) {
    RadioPrefsWindowController prefs(environment());
    const auto& c = prefs.controls();
    StorePassword(kUser, kPassword);
    ASSERT_TRUE(prefs.showPaneWithIdentifier(RadioPrefsWindowController::kUserPane));
    QTest::keyClicks(c.screenNameField, kUser);
    EXPECT_EQ(c.passwordField->text(), QString::fromLatin1(kPassword));
    c.passwordField->selectAll();
    QTest::keyClicks(c.passwordField, kWrongPassword);
    service_->requestServiceWithUsername(QString::fromLatin1(kUser), nullptr);
    ASSERT_TRUE(RunUntil([&] { return !presenter_.shown.empty() || !view_.shows.empty(); }));
    EXPECT_FALSE(service_->serviceAvailable());
    EXPECT_EQ(KeychainUtils::passwordForScreenName(passwords_, kUser, kKeychain), QString::fromLatin1(kWrongPassword));
}

}  // namespace
