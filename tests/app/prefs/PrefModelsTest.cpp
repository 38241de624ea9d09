// Preference models over the user defaults, the keyring and memory, and the bindings
// that tie controls to them, with real widgets driven as the user would.

#include "app/prefs/ColorWell.h"
#include "app/prefs/PrefViewBinding.h"

#include "PrefsTestSupport.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

namespace {

const QString kService = QStringLiteral("ZYM Radio");
const char* kChanged = kPrefObjectChangedNotification;

class PrefModels : public ::testing::Test, public PrefsFixture {};

TEST_F(PrefModels, AbsentCachedDefaultReadsEmptyAndFlushStoresEmptyString) {
    CachedUserDefaultPrefModel model(QStringLiteral("screenname"), stores());
    PostCounter posts(center, kChanged, &model);
    EXPECT_EQ(model.value(), QVariant(QString()));
    model.flushCache();
    EXPECT_EQ(defaults.object("screenname"), QVariant(QString()));
    EXPECT_EQ(posts.count, 1);
    model.flushCache();  // now equal: nothing
    EXPECT_EQ(posts.count, 1);
}

// setValue with what the store already holds posts nothing, on every model.
TEST_F(PrefModels, EqualValuePostsNothingOnEveryModel) {
    defaults.setString("text", "abc");
    defaults.setBool("flag", true);
    defaults.setInteger("number", 42);
    KeychainUtils::savePasswordToKeychain(passwords, "secret", "Alice", kService);

    struct Row {
        const char* what;
        std::unique_ptr<PrefModel> model;
        QVariant same;
        QVariant other;
    };
    std::vector<Row> rows;
    rows.push_back({"defaults text", std::make_unique<UserDefaultPrefModel>("text", stores()), "abc", "abd"});
    rows.push_back({"defaults bool", std::make_unique<UserDefaultPrefModel>("flag", stores()), true, false});
    rows.push_back({"defaults number", std::make_unique<UserDefaultPrefModel>("number", stores()), 42, 43});
    rows.push_back({"keychain", std::make_unique<KeychainPrefModel>("Alice", kService, stores()), "secret", "other"});
    rows.push_back({"dictionary", std::make_unique<DictionaryPrefModel>("k", stores()), QString(), "x"});
    rows.push_back({"cached defaults", std::make_unique<CachedUserDefaultPrefModel>("text", stores()), "abc", "x"});
    rows.push_back(
        {"cached keychain", std::make_unique<CachedKeychainPrefModel>(" ALICE", kService, stores()), "secret", "x"});
    for (Row& row : rows) {
        SCOPED_TRACE(row.what);
        PostCounter posts(center, kChanged, row.model.get());
        row.model->setValue(row.same);
        EXPECT_EQ(posts.count, 0);
        row.model->setValue(row.other);
        EXPECT_EQ(posts.count, 1);
        EXPECT_TRUE(prefValuesEqual(row.model->value(), row.other));
    }
    // The cached models never touched their stores.
    EXPECT_EQ(defaults.string("text"), "abd");  // the uncached one wrote
    EXPECT_EQ(KeychainUtils::passwordForScreenName(passwords, "alice", kService), "other");
}

TEST_F(PrefModels, SameKeyStillRunsKeyChanged) {
    defaults.setString("a", "stored");
    UserDefaultPrefModel plain("a", stores());
    CachedUserDefaultPrefModel cached("a", stores());
    PostCounter plainPosts(center, kChanged, &plain);
    PostCounter cachedPosts(center, kChanged, &cached);
    plain.setKey("a");
    EXPECT_EQ(plainPosts.count, 1);

    cached.setValue("typed");
    EXPECT_EQ(cachedPosts.count, 1);
    cached.setKey("a");  // the cache has the key: no reload, the typed text stays
    EXPECT_EQ(cachedPosts.count, 2);
    EXPECT_EQ(cached.value(), QVariant("typed"));
}

TEST_F(PrefModels, PasswordTypedForAccountSurvivesKeyGoingElsewhereAndBack) {
    KeychainUtils::savePasswordToKeychain(passwords, "stored-a", "a", kService);
    KeychainUtils::savePasswordToKeychain(passwords, "stored-b", "b", kService);
    CachedKeychainPrefModel model("a", kService, stores());
    EXPECT_EQ(model.value(), QVariant("stored-a"));
    model.setValue("typed-a");
    model.setKey("b");
    EXPECT_EQ(model.value(), QVariant("stored-b"));
    model.setKey("a");
    EXPECT_EQ(model.value(), QVariant("typed-a"));
    EXPECT_EQ(KeychainUtils::passwordForScreenName(passwords, "a", kService), "stored-a");
}

TEST_F(PrefModels, NotificationsOffStillReadsAndWrites) {
    UserDefaultPrefModel model("k", stores());
    model.setNotifyOnChange(false);
    PostCounter posts(center, kChanged);
    model.setValue("v");
    model.setKey("k");
    EXPECT_EQ(defaults.string("k"), "v");
    EXPECT_EQ(posts.count, 0);
}

TEST_F(PrefModels, FlushingEmptyPasswordDeletesItOrDoesNothing) {
    struct Row {
        const char* what;
        bool stored;
        int posts;
    } rows[] = {{"stored password deleted", true, 1}, {"nothing stored, nothing done", false, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MemoryPasswordStore store;
        if (row.stored) KeychainUtils::savePasswordToKeychain(store, "pw", "Bob", kService);
        CachedKeychainPrefModel model("Bob", kService, {&defaults, &center, &store});
        model.setValue("");
        PostCounter posts(center, kChanged, &model);
        model.flushCache();
        EXPECT_EQ(posts.count, row.posts);
        EXPECT_FALSE(store.contains(kService, "bob"));
    }
}

TEST_F(PrefModels, CachedDefaultTouchesStoreOnlyAtFlush) {
    CachedUserDefaultPrefModel model("screenname", stores());
    model.setValue("Carol");
    EXPECT_FALSE(defaults.object("screenname").isValid());
    model.flushCache();
    EXPECT_EQ(defaults.string("screenname"), "Carol");
}

class PrefBindings : public ::testing::Test, public PrefsFixture {};

TEST_F(PrefBindings, CheckboxShowsStoredStateAndWritesClicks) {
    struct Row {
        const char* what;
        QVariant stored;
        bool shown;
    } rows[] = {{"absent", QVariant(), false},
                {"true", true, true},
                {"false", false, false},
                {"text YES", "YES", true},
                {"text 0", "0", false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        defaults.setObject("flag", row.stored);
        QCheckBox box;
        auto binding = PrefCheckboxBinding::checkboxUserDefaultsBinding(&box, "flag", stores());
        EXPECT_EQ(box.isChecked(), row.shown);
        box.click();
        EXPECT_EQ(defaults.boolean("flag"), !row.shown);
    }
}

TEST_F(PrefBindings, PopupWithoutStoredValueStoresItsFirstItem) {
    struct Row {
        const char* what;
        QVariant stored;
        int index;
        qint64 after;
    } rows[] = {{"absent: first item stored", QVariant(), 0, 10},
                {"known tag selected", 30, 2, 30},
                {"unknown tag leaves selection and store", 99, 1, 99}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        defaults.setObject("choice", row.stored);
        QComboBox popup;
        popup.addItem("ten", 10);
        popup.addItem("twenty", 20);
        popup.addItem("thirty", 30);
        popup.setCurrentIndex(1);
        auto binding = PrefPopupBinding::popupUserDefaultsBinding(&popup, "choice", stores());
        EXPECT_EQ(popup.currentIndex(), row.index);
        EXPECT_EQ(defaults.integer("choice"), row.after);
    }
}

TEST_F(PrefBindings, ColorWellStoresPickedColour) {
    ColorWell well;
    auto binding = PrefColorWellBinding::colorwellUserDefaultsBinding(&well, "well", stores());
    EXPECT_EQ(well.color(), QColor(Qt::black));  // no value: unchanged
    well.pickColor(QColor::fromRgbF(1, 0, 0, 0.5));
    const QVariantMap stored = defaults.dictionary("well");
    EXPECT_DOUBLE_EQ(stored.value("red").toDouble(), 1.0);
    EXPECT_NEAR(stored.value("alpha").toDouble(), 0.5, 1.0 / 255);
}

TEST_F(PrefBindings, EnablingCheckboxFollowsEnablingModelButNotItsKey) {
    auto enabling = std::make_shared<UserDefaultPrefModel>("master", stores());
    defaults.setBool("own", true);
    QCheckBox box;
    auto binding = PrefEnablingKeyedCheckboxBinding::checkboxUserDefaultsBinding(&box, "own", enabling, stores());
    EXPECT_FALSE(box.isEnabled());  // no value
    EXPECT_TRUE(box.isChecked());
    enabling->setValue(true);
    EXPECT_TRUE(box.isEnabled());
    enabling->setValue(false);
    EXPECT_FALSE(box.isEnabled());
    EXPECT_EQ(static_cast<KeyedPrefModel*>(binding->prefModel())->key(), "own");
}

TEST_F(PrefBindings, PasswordFieldFollowsScreenNameField) {
    KeychainUtils::savePasswordToKeychain(passwords, "pw-a", "alice", kService);
    QLineEdit name, password;
    auto nameBinding = PrefCachedTextFieldBinding::textfieldUserDefaultsBinding(&name, "screenname", stores());
    auto passwordBinding = PrefKeyedAndCachedTextFieldBinding::textfieldKeychainBinding(
        &password, nameBinding->sharedPrefModel(), kService, stores());
    EXPECT_EQ(password.text(), "");
    QTest::keyClicks(&name, "Alice");
    EXPECT_EQ(password.text(), "pw-a");
    QTest::keyClicks(&password, "-new");
    name.selectAll();
    QTest::keyClicks(&name, "Bob");
    EXPECT_EQ(password.text(), "");
    name.selectAll();
    QTest::keyClicks(&name, "Alice");
    EXPECT_EQ(password.text(), "pw-a-new");  // what was typed for Alice, not the keyring's
}

TEST_F(PrefBindings, FlushCacheCommitsFieldWithoutAnyEdit) {
    QLineEdit field;
    auto binding = PrefCachedTextFieldBinding::textfieldUserDefaultsBinding(&field, "screenname", stores());
    field.setText("Dave");  // programmatic: no textEdited
    EXPECT_FALSE(defaults.object("screenname").isValid());
    binding->flushCache();
    EXPECT_EQ(defaults.string("screenname"), "Dave");
}

TEST_F(PrefBindings, ShowingValueNeverWritesIt) {
    auto key = std::make_shared<UserDefaultPrefModel>("account", stores());
    QLineEdit field;
    auto binding = PrefKeyedTextFieldBinding::textfieldKeychainBinding(&field, key, kService, stores());
    KeychainUtils::savePasswordToKeychain(passwords, "pw", "zed", kService);
    key->setValue("zed");
    EXPECT_EQ(field.text(), "pw");
    EXPECT_EQ(KeychainUtils::passwordForScreenName(passwords, "zed", kService), "pw");
}

TEST_F(PrefBindings, BindingDestroyedBeforeItsKeyModelPosts) {
    auto key = std::make_shared<UserDefaultPrefModel>("account", stores());
    {
        QLineEdit field;
        auto binding = PrefKeyedTextFieldBinding::textfieldKeychainBinding(&field, key, kService, stores());
    }
    key->setValue("after");  // would reach a destroyed binding if it still listened
    auto widgetGone = std::make_unique<QLineEdit>();
    auto binding = PrefKeyedTextFieldBinding::textfieldKeychainBinding(widgetGone.get(), key, kService, stores());
    widgetGone.reset();
    key->setValue("again");  // the control went first: no write through a dangling pointer
    SUCCEED();
}

TEST_F(PrefBindings, SaveInKeyringSwitchMovesPasswordBetweenStores) {
    KeychainUtils::savePasswordToKeychain(passwords, "kept", "eve", kService);
    auto key = std::make_shared<UserDefaultPrefModel>("account", stores());
    key->setValue("eve");
    QLineEdit password;
    QCheckBox remember;
    auto passwordBinding = PrefKeyedTextFieldBinding::textfieldKeychainBinding(&password, key, kService, stores());
    auto remembered = SaveInKeychainPrefKeyedCheckboxBinding::checkboxKeychainBinding(
        &remember, key, passwordBinding.get(), kService, stores());
    EXPECT_TRUE(remember.isChecked());
    remember.click();  // off: memory only
    EXPECT_EQ(password.text(), "");
    QTest::keyClicks(&password, "temp");
    EXPECT_EQ(KeychainUtils::passwordForScreenName(passwords, "eve", kService), "kept");
    remember.click();  // on: the keyring's again, and the switch never wrote "1" there
    EXPECT_EQ(password.text(), "kept");
}

}  // namespace
