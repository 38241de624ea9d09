// The radio preferences window: what the general, update and account panes store, and
// each pane's commit at quit.

#include "app/services/ZYMGenericService.h"

#include "RadioPrefsSupport.h"

#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QTest>

namespace {

using K = RadioPrefsWindowController;

class RadioPrefs : public ::testing::Test, public RadioPrefsFixture {};

TEST_F(RadioPrefs, BandwidthLimitByConnectionType) {
    struct Row {
        QVariant stored;
        int shownTag;
        qint64 afterBroadband;
        qint64 afterNarrowband;
    } rows[] = {
        {QVariant(), 1, 15000000, 32768},       {qint64(-5), 2, 15000000, -5},    {qint64(0), 1, 15000000, 32768},
        {qint64(32768), 2, 15000000, 32768},    {qint64(64000), 1, 64000, 32768}, {qint64(100000), 1, 100000, 32768},
        {qint64(15000000), 1, 15000000, 32768},
    };
    RadioPrefsWindowController prefs(environment());
    QButtonGroup* matrix = prefs.controls().networkAccessTypeMatrix;
    for (const Row& row : rows) {
        for (int tag : {1, 2}) {
            SCOPED_TRACE(QStringLiteral("stored %1, tag %2").arg(row.stored.toString()).arg(tag).toStdString());
            defaults.setObject("network_bandwidth_limit", row.stored);
            ASSERT_TRUE(prefs.showPaneWithIdentifier(K::kRadioPane));
            EXPECT_EQ(matrix->checkedId(), row.shownTag);
            matrix->button(tag)->click();
            QStringList keys;
            auto sub = center.observe(kPrefObjectChangedNotification, nullptr,
                                      [&](const Notification& n) { keys << *static_cast<const QString*>(n.object); });
            ASSERT_TRUE(prefs.showPaneWithIdentifier(K::kUserPane));
            EXPECT_EQ(defaults.integer("network_bandwidth_limit"), tag == 1 ? row.afterBroadband : row.afterNarrowband);
            EXPECT_EQ(keys, QStringList{"network_bandwidth_limit"});
        }
    }
}

TEST_F(RadioPrefs, UpdateNoticesShownAndWritten) {
    struct Row {
        const char* what;
        QVariant all, current;  // stored; invalid: absent (all is registered YES)
        int shown;
        int select;
        QVariant allAfter, currentAfter;  // invalid: still absent
    } rows[] = {
        {"registered all, kept", QVariant(), QVariant(), 3, 3, QVariant(), QVariant()},
        {"all stored, unchanged", true, QVariant(), 3, 3, "true", QVariant()},
        {"this product chosen", true, QVariant(), 3, 2, "false", "true"},
        {"this product kept", false, true, 2, 2, "false", "true"},
        {"all chosen again", false, true, 2, 3, "true", "true"},
        {"none chosen", false, true, 2, 1, "false", "false"},
        {"none kept", false, false, 1, 1, "false", "false"},
        {"none over registered all", QVariant(), QVariant(), 3, 1, "false", "false"},
    };
    RadioPrefsWindowController prefs(environment());
    QButtonGroup* matrix = prefs.controls().softwareUpdateMatrix;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        defaults.setObject("update_notice_all", row.all);
        defaults.setObject("update_notice_current", row.current);
        defaults.synchronize();
        ASSERT_TRUE(prefs.showPaneWithIdentifier(K::kUpdatePane));
        EXPECT_EQ(matrix->checkedId(), row.shown);
        EXPECT_EQ(matrix->button(2)->text(), "ZYM Radio only");
        matrix->button(row.select)->click();
        ASSERT_TRUE(prefs.showPaneWithIdentifier(K::kRadioPane));
        const auto stored = [&](const char* key) {
            defaults.synchronize();
            QSettings reread(dir.filePath("prefs.conf"), QSettings::IniFormat);
            const QVariant v = reread.value(QString::fromLatin1(key));
            return v.isValid() ? QVariant(v.toString()) : QVariant();
        };
        EXPECT_EQ(stored("update_notice_all"), row.allAfter);
        EXPECT_EQ(stored("update_notice_current"), row.currentAfter);
    }
}

TEST_F(RadioPrefs, QuittingCommitsEachPaneOnce) {
    for (const QString& pane :
         {K::kRadioPane, K::kUserPane, K::kPresetPane, K::kColorsPane, K::kUpdatePane, K::kTimersPane}) {
        SCOPED_TRACE(pane.toStdString());
        RadioPrefsWindowController& prefs = RadioPrefsWindowController::sharedPrefsController(environment());
        prefs.showWindow();
        ASSERT_TRUE(prefs.showPaneWithIdentifier(pane));
        QWidget* view = prefs.viewForPaneWithIdentifier(pane);
        PostCounter closes(center, kPrefPaneWillCloseNotification, view);
        PostCounter timers(center, kRadioTimersSettingsHaveChangedNotification);
        // The application asks every window first, then shuts the controller down.
        EXPECT_TRUE(prefs.windowShouldClose());
        RadioPrefsWindowController::shutdownPrefsController();
        EXPECT_FALSE(RadioPrefsWindowController::hasSharedPrefsController());
        EXPECT_EQ(closes.count, 1);
        EXPECT_EQ(timers.count, pane == K::kTimersPane ? 1 : 0);
        EXPECT_EQ(defaults.string(kLastPrefsPaneKey), pane);
    }
}

TEST_F(RadioPrefs, AccountFieldsCommittedWhenSignOnStartsOrPaneCloses) {
    KeychainUtils::savePasswordToKeychain(passwords, "old", "frank", "ZYM Radio");
    defaults.setString("screenname", "Frank");
    RadioPrefsWindowController prefs(environment());
    const auto& c = prefs.controls();
    ASSERT_TRUE(prefs.showPaneWithIdentifier(K::kUserPane));
    EXPECT_EQ(c.screenNameField->text(), "Frank");
    EXPECT_EQ(c.passwordField->text(), "old");

    c.screenNameField->selectAll();
    QTest::keyClicks(c.screenNameField, "Grace Hopper");
    QTest::keyClicks(c.passwordField, "cobol");
    EXPECT_EQ(defaults.string("screenname"), "Frank");  // nothing yet

    PostCounter changes(center, kPrefObjectChangedNotification);
    int service = 0;
    center.post(kServiceRequestNotification, &service);
    EXPECT_EQ(defaults.string("screenname"), "Grace Hopper");
    EXPECT_EQ(KeychainUtils::passwordForScreenName(passwords, "gracehopper", "ZYM Radio"), "cobol");
    EXPECT_EQ(KeychainUtils::passwordForScreenName(passwords, "frank", "ZYM Radio"), "old");
    EXPECT_GE(changes.count, 2);

    QTest::keyClicks(c.passwordField, "!");
    ASSERT_TRUE(prefs.showPaneWithIdentifier(K::kRadioPane));
    EXPECT_EQ(KeychainUtils::passwordForScreenName(passwords, "gracehopper", "ZYM Radio"), "cobol!");
}

TEST_F(RadioPrefs, SwitchesWriteAtEachClickAndChatStatusNeedsScripting) {
    for (bool scriptable : {true, false}) {
        SCOPED_TRACE(scriptable);
        RadioPrefsEnvironment env = environment();
        env.chatStatusScriptable = scriptable;
        RadioPrefsWindowController prefs(env);
        const auto& c = prefs.controls();
        EXPECT_TRUE(c.playAtLaunchCheckbox->isChecked());  // registered YES
        c.playAtLaunchCheckbox->click();
        EXPECT_FALSE(defaults.boolean("play_at_launch"));
        c.playAtLaunchCheckbox->click();
        EXPECT_TRUE(defaults.boolean("play_at_launch"));
        EXPECT_EQ(c.changeChatStatusCheckbox->isEnabled(), scriptable);
        EXPECT_EQ(prefs.prefBindings().size(), scriptable ? 5u : 4u);
    }
}

}  // namespace
