// The account pane against a real Secret Service (run by ctest -R appprefs_keyring on a
// private bus with an unlocked gnome-keyring).

#include "app/services/ZYMGenericService.h"
#include "support/Env.h"

#include "RadioPrefsSupport.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include <unistd.h>

namespace {

using namespace std::chrono_literals;

TEST(RealKeyringPrefs, AccountPaneCommitsAndDeletesPassword) {
    if (qgetenv("ZYM_REAL_KEYRING") != "1") GTEST_SKIP() << "needs the keyring fixture (ctest -R appprefs_keyring)";
    const QString service = QStringLiteral("ZYM Radio prefs test %1").arg(getpid());
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("prefs.conf"));
    NotificationCenter center;
    KeychainPasswordStore keyring(zymtest::Scaled(10000ms));
    KeychainPasswordStore reader(zymtest::Scaled(10000ms));
    RadioPrefsEnvironment env;
    env.stores = {&defaults, &center, &keyring};
    env.keychainService = [service] { return service; };
    RadioPrefsWindowController prefs(env);
    const auto& c = prefs.controls();
    ASSERT_TRUE(prefs.showPaneWithIdentifier(RadioPrefsWindowController::kUserPane));
    QTest::keyClicks(c.screenNameField, "Ida Keyring");
    QTest::keyClicks(c.passwordField, "pw-Real-Keyring");
    int signOn = 0;
    center.post(kServiceRequestNotification, &signOn);
    EXPECT_EQ(reader.read(service, "idakeyring"), QStringLiteral("pw-Real-Keyring"));
    EXPECT_EQ(defaults.string("screenname"), "Ida Keyring");

    c.passwordField->clear();
    ASSERT_TRUE(prefs.showPaneWithIdentifier(RadioPrefsWindowController::kRadioPane));
    EXPECT_EQ(reader.read(service, "idakeyring"), QString());
}

}  // namespace
