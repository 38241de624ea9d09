// The sign-on panels: the controller's keyring and panel rules over a fake view, then the
// real dialogs driven by QTest under the offscreen platform.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "../foundation/AppTestSupport.h"
#include "SlowKeyring.h"
#include "app/signon/AuthPanelDialogs.h"
#include "app/signon/AuthenticationController.h"
#include "app/signon/DialogPresenter.h"
#include "app/signon/PasswordStore.h"
#include "app/foundation/ServiceLayerError.h"
#include "app/foundation/UserDefaults.h"
#include "platform/RunLoop.h"
#include "support/Env.h"

namespace {

using namespace std::chrono_literals;
using Panel = AuthPanelsView::Panel;
using Field = AuthPanelsView::Field;

constexpr const char* kService = "ZYM Radio Tests";

// Counts the buttons the controller passes on.
class Buttons : public AuthenticationControllerDelegate {
public:
    void authenticationControllerOKButtonClicked(AuthenticationController&) override { clicks.push_back("ok"); }
    void authenticationControllerCancelButtonClicked(AuthenticationController&) override { clicks.push_back("cancel"); }
    void authenticationControllerSecurIDOKButtonClicked(AuthenticationController&) override {
        clicks.push_back("securid ok");
    }
    void authenticationControllerSecurIDCancelButtonClicked(AuthenticationController&) override {
        clicks.push_back("securid cancel");
    }
    std::vector<std::string> clicks;
};

template <class View>
class PanelsFixture : public ::testing::Test {
protected:
    void SetUp() override { defaults_ = std::make_unique<UserDefaults>(dir_.filePath(QStringLiteral("d.conf"))); }
    AuthenticationController& Make() {
        controller_ = std::make_unique<AuthenticationController>(
            QLatin1String(kService), view_,
            AuthenticationEnvironment{&passwords_, defaults_.get(), &presenter_, nullptr});
        controller_->setDelegate(&buttons_);
        return *controller_;
    }
    void Store(const QString& account, const QString& password) {
        passwords_.write(QLatin1String(kService), account, password);
    }
    std::optional<QString> Stored(const QString& account) {
        if (!passwords_.contains(QLatin1String(kService), account)) return std::nullopt;
        return passwords_.read(QLatin1String(kService), account);
    }

    QTemporaryDir dir_;
    std::unique_ptr<UserDefaults> defaults_;
    MemoryPasswordStore passwords_;
    RecordingDialogPresenter presenter_;
    View view_;
    Buttons buttons_;
    std::unique_ptr<AuthenticationController> controller_;
};

using PanelsTest = PanelsFixture<FakeAuthPanelsView>;

TEST_F(PanelsTest, StartsWithTheLastScreenNameAndItsKeyringPassword) {
    defaults_->setString(QStringLiteral("screenname"), QStringLiteral("Jane  Doe"));
    Store(QStringLiteral("janedoe"), QStringLiteral("pw"));
    auto& c = Make();
    EXPECT_EQ(c.username(), QStringLiteral("Jane  Doe"));
    EXPECT_EQ(c.password(), QStringLiteral("pw"));
    EXPECT_TRUE(c.model().keepInKeychain());
    EXPECT_TRUE(c.model().signOnEnabled());
    EXPECT_FALSE(c.isBusy());
    EXPECT_FALSE(c.authPanelNeedsToBeDisplayed());
    EXPECT_FALSE(c.willPromptUserWithPanel());
    c.setAuthPanelSticky(true);
    EXPECT_TRUE(c.authPanelNeedsToBeDisplayed());
    EXPECT_TRUE(c.willPromptUserWithPanel());
}

// The keyring may take seconds to answer: the controller starts the read as it is made and
// waits for the answer only where the password is first needed.
TEST_F(PanelsTest, TheKeyringIsReadWhenThePasswordIsFirstNeededNotWhenMade) {
    class Recording : public MemoryPasswordStore {
    public:
        std::optional<QString> read(const QString& service, const QString& account) override {
            calls.push_back("read " + account.toStdString());
            return MemoryPasswordStore::read(service, account);
        }
        void prefetch(const QString&, const QString& account) override {
            calls.push_back("prefetch " + account.toStdString());
        }
        std::vector<std::string> calls;
    } recording;
    recording.write(QLatin1String(kService), QStringLiteral("janedoe"), QStringLiteral("pw"));
    defaults_->setString(QStringLiteral("screenname"), QStringLiteral("Jane Doe"));
    AuthenticationController c(QLatin1String(kService), view_,
                               AuthenticationEnvironment{&recording, defaults_.get(), &presenter_, nullptr});
    EXPECT_EQ(recording.calls, std::vector<std::string>{"prefetch janedoe"});
    EXPECT_FALSE(c.willPromptUserWithPanel());
    EXPECT_EQ(c.password(), QStringLiteral("pw"));
    EXPECT_EQ(recording.calls, (std::vector<std::string>{"prefetch janedoe", "read janedoe"}));

    // A password typed before the answer is taken stays.
    c.setScreenName(QStringLiteral("janedoe"));
    view_.model->setPassword(QStringLiteral("typed"));
    EXPECT_EQ(c.password(), QStringLiteral("typed"));
}

// The sign-on asks whether the panel is needed and then for the password: one answer of
// the keyring serves both, and a caller can wait for it without blocking.
TEST_F(PanelsTest, OneKeyringAnswerServesTheSignOnAndCanBeWaitedFor) {
    class Slow : public SlowKeyring {
    public:
        std::optional<QString> read(const QString& service, const QString& account) override {
            ++readCount;
            return MemoryPasswordStore::read(service, account);
        }
        int readCount = 0;
    } slow;
    slow.write(QLatin1String(kService), QStringLiteral("janedoe"), QStringLiteral("pw"));
    defaults_->setString(QStringLiteral("screenname"), QStringLiteral("Jane Doe"));
    AuthenticationController c(QLatin1String(kService), view_,
                               AuthenticationEnvironment{&slow, defaults_.get(), &presenter_, nullptr});
    int answered = 0;
    c.whenKeychainAnswered([&] { ++answered; });
    QCoreApplication::processEvents();
    EXPECT_EQ(answered, 0);
    slow.answer();
    ASSERT_TRUE(platform::RunLoop::Current().RunUntil([&] { return answered > 0; }, zymtest::Scaled(5000ms)));
    EXPECT_EQ(answered, 1);
    EXPECT_EQ(slow.readCount, 0);

    EXPECT_FALSE(c.authPanelNeedsToBeDisplayed());
    EXPECT_EQ(c.password(), QStringLiteral("pw"));
    EXPECT_EQ(slow.readCount, 1);

    // Nothing under way: at once.
    c.whenKeychainAnswered([&] { ++answered; });
    EXPECT_EQ(answered, 2);
}

TEST_F(PanelsTest, KeyringAccountIsTheCanonicalNameWhileTheDefaultsKeepItAsTyped) {
    auto& c = Make();
    c.setScreenName(QStringLiteral(" Jane\tDOE x "));
    c.model().setPassword(QStringLiteral("secret"));
    c.model().setKeepInKeychain(true);
    c.storeAuthCredentials();
    EXPECT_EQ(Stored(QStringLiteral("janedoex")), QStringLiteral("secret"));
    EXPECT_EQ(defaults_->string(QStringLiteral("screenname")), QStringLiteral(" Jane\tDOE x "));
    EXPECT_EQ(KeychainUtils::canonicalScreenName(QStringLiteral("A b\u00A0C")), QStringLiteral("abc"));
}

TEST_F(PanelsTest, KeyringRulesOfStoringAndReading) {
    struct Row {
        const char* what;
        std::function<void(AuthenticationController&)> act;
        std::optional<QString> stored;  // the keyring item of "jane" afterwards
    };
    const Row rows[] = {
        {"checkbox off keeps nothing",
         [](AuthenticationController& c) {
             c.model().setPassword(QStringLiteral("new"));
             c.model().setKeepInKeychain(false);
             c.storeAuthCredentials();
         },
         QStringLiteral("old")},
        {"checkbox on replaces",
         [](AuthenticationController& c) {
             c.model().setPassword(QStringLiteral("new"));
             c.model().setKeepInKeychain(true);
             c.storeAuthCredentials();
         },
         QStringLiteral("new")},
        {"an empty field never removes the item",
         [](AuthenticationController& c) {
             c.model().setPassword(QString());
             c.model().setKeepInKeychain(true);
             c.storeAuthCredentials();
         },
         QStringLiteral("old")},
        {"saving an empty password directly deletes it",
         [this](AuthenticationController&) {
             KeychainUtils::savePasswordToKeychain(passwords_, QString(), QStringLiteral("Jane"),
                                                   QLatin1String(kService));
         },
         std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Store(QStringLiteral("jane"), QStringLiteral("old"));
        auto& c = Make();
        c.setScreenName(QStringLiteral("Jane"));
        row.act(c);
        EXPECT_EQ(Stored(QStringLiteral("jane")), row.stored);
    }
    // Deleting what is not there, or saving an empty password for nobody, adds nothing.
    KeychainUtils::savePasswordToKeychain(passwords_, QString(), QStringLiteral("Nobody"), QLatin1String(kService));
    EXPECT_FALSE(passwords_.contains(QLatin1String(kService), QStringLiteral("nobody")));
    EXPECT_EQ(KeychainUtils::passwordForScreenName(passwords_, QString(), QLatin1String(kService)), QString());
}

TEST_F(PanelsTest, WhenTheSignOnPanelMustBeShown) {
    struct Row {
        const char* what;
        const char* name;
        std::optional<QByteArray> item;  // raw keyring bytes of "jane"
        bool failing;
        bool needed;
    };
    const Row rows[] = {
        {"stored password", "Jane", QByteArray("pw"), false, false},
        {"no screen name", "", QByteArray("pw"), false, true},
        {"no item", "Jane", std::nullopt, false, true},
        {"an empty password stored", "Jane", QByteArray(), false, true},
        {"bytes that are not UTF-8", "Jane", QByteArray("\xC3\x28\xFF", 3), false, true},
        {"the keyring fails", "Jane", QByteArray("pw"), true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        passwords_ = MemoryPasswordStore();
        if (row.item) passwords_.setRaw(QLatin1String(kService), QStringLiteral("jane"), *row.item);
        passwords_.failing = row.failing;
        auto& c = Make();
        c.setScreenName(QLatin1String(row.name));
        EXPECT_EQ(c.authPanelNeedsToBeDisplayed(), row.needed);
        EXPECT_EQ(c.password().isEmpty(), row.needed || QLatin1String(row.name).isEmpty());
    }
    passwords_ = MemoryPasswordStore();
    passwords_.setRaw(QLatin1String(kService), QStringLiteral("jane"), QByteArray("\xC3\x28", 2));
    EXPECT_EQ(KeychainUtils::passwordForScreenName(passwords_, QStringLiteral("Jane"), QLatin1String(kService)),
              std::nullopt);
}

TEST_F(PanelsTest, PanelsShowFocusAndDismiss) {
    Store(QStringLiteral("jane"), QStringLiteral("pw"));
    auto& c = Make();
    c.displayAuthPanel();
    EXPECT_EQ(view_.focused, Field::Username);
    EXPECT_FALSE(c.model().keepInKeychain());
    c.setScreenName(QStringLiteral("Jane"));
    // A visible panel is not shown twice; it is refilled and refocused.
    c.displayAuthPanel();
    EXPECT_EQ(view_.shows, std::vector<Panel>{Panel::SignOn});
    EXPECT_EQ(view_.focused, Field::Password);
    EXPECT_EQ(c.password(), QStringLiteral("pw"));
    c.model().setSecurID(QStringLiteral("old"));
    c.displaySecurIDPanel();
    c.displaySecurIDPanel();
    EXPECT_EQ(view_.shows, (std::vector<Panel>{Panel::SignOn, Panel::SecurID}));
    EXPECT_TRUE(c.securID().isEmpty());
    EXPECT_EQ(view_.focused, Field::SecurID);
    c.dismissAuthPanel();
    c.dismissSecurIDPanel();
    EXPECT_FALSE(c.isAuthPanelVisible());
    EXPECT_FALSE(c.isSecurIDPanelVisible());
}

TEST_F(PanelsTest, ButtonsDismissTheirPanelThenTellTheDelegate) {
    Store(QStringLiteral("jane"), QStringLiteral("pw"));
    auto& c = Make();
    c.setScreenName(QStringLiteral("Jane"));
    c.displayAuthPanel();
    view_.actions->authOK();
    EXPECT_FALSE(view_.signOnVisible);
    EXPECT_EQ(c.password(), QStringLiteral("pw"));
    c.displayAuthPanel();
    view_.actions->authCancel();
    EXPECT_TRUE(c.password().isEmpty());
    c.setScreenName(QStringLiteral("Jane"));
    c.displaySecurIDPanel();
    view_.actions->securIDOK();
    EXPECT_FALSE(view_.securIDVisible);
    EXPECT_EQ(c.password(), QStringLiteral("pw"));
    // The SecurID panel's cancel empties the password field too.
    c.displaySecurIDPanel();
    view_.actions->securIDCancel();
    EXPECT_TRUE(c.password().isEmpty());
    EXPECT_EQ(buttons_.clicks, (std::vector<std::string>{"ok", "cancel", "securid ok", "securid cancel"}));

    c.setDelegate(nullptr);
    c.displayAuthPanel();
    try {
        view_.actions->authOK();
        FAIL() << "no exception";
    } catch (const ServiceLayerError& e) {
        EXPECT_EQ(e.name(), "Auth Controller missing delegate");
        EXPECT_STREQ(e.what(), "Auth controller must have a delegate");
    }
    EXPECT_FALSE(view_.signOnVisible);
}

TEST_F(PanelsTest, ClearedPasswordIsRefilledFromTheKeyringAtTheNextDisplay) {
    Store(QStringLiteral("jane"), QStringLiteral("pw"));
    auto& c = Make();
    c.setScreenName(QStringLiteral("Jane"));
    c.clearAuthCredentials();
    EXPECT_TRUE(c.password().isEmpty());
    EXPECT_FALSE(c.model().signOnEnabled());
    EXPECT_TRUE(passwords_.contains(QLatin1String(kService), QStringLiteral("jane")));
    c.displayAuthPanel();
    EXPECT_EQ(c.password(), QStringLiteral("pw"));
    // Editing the name refills from the keyring when the field's action comes.
    c.model().setUsername(QStringLiteral("Other"));
    view_.actions->usernameChanged();
    EXPECT_TRUE(c.password().isEmpty());
    c.model().setUsername(QStringLiteral("JANE"));
    view_.actions->usernameChanged();
    EXPECT_EQ(c.password(), QStringLiteral("pw"));
}

TEST_F(PanelsTest, SignOnButtonIsEnabledExactlyWithBothFields) {
    auto& c = Make();
    struct Row {
        const char* name;
        const char* password;
        bool enabled;
    };
    for (const Row& row : {Row{"", "", false}, Row{"a", "", false}, Row{"", "b", false}, Row{"a", "b", true}}) {
        c.model().setUsername(QLatin1String(row.name));
        c.model().setPassword(QLatin1String(row.password));
        EXPECT_EQ(c.model().signOnEnabled(), row.enabled) << row.name << "/" << row.password;
    }
}

TEST_F(PanelsTest, FailureAlertsAndThePanelAfterThem) {
    auto& c = Make();
    QWidget window;
    window.show();
    c.setParentWindow(&window);
    c.displayAuthFailedPanel(QStringLiteral("wrong"));
    c.displayDiscoveryFailedPanel(QStringLiteral("gone"));
    ASSERT_EQ(presenter_.shown.size(), 2u);
    EXPECT_EQ(presenter_.shown[0].parent, &window);
    EXPECT_EQ(presenter_.shown[0].request.informativeText, QStringLiteral("wrong"));
    EXPECT_EQ(presenter_.shown[0].request.title, QStringLiteral("Sign-on failed"));
    EXPECT_EQ(presenter_.shown[1].request.title, QStringLiteral("The radio service is not available"));
    EXPECT_EQ(presenter_.shown[0].request.buttons, QStringList{QStringLiteral("OK")});
    presenter_.answer(0);
    ASSERT_TRUE(platform::RunLoop::Current().RunUntil([&] { return view_.signOnVisible; }, zymtest::Scaled(5000ms)));
    EXPECT_EQ(view_.lastParent, &window);
    // Without display-after-failure the panel stays away.
    view_.hidePanel(Panel::SignOn);
    c.setDisplayAuthPanelOnFailure(false);
    presenter_.answer(0);
    platform::RunLoop::Current().RunFor(20ms);
    EXPECT_FALSE(view_.signOnVisible);
}

// ---- the real dialogs ----

class DialogsTest : public PanelsFixture<AuthPanelDialogs> {
protected:
    static bool Settle(const std::function<bool()>& done) {
        return platform::RunLoop::Current().RunUntil(done, zymtest::Scaled(5000ms));
    }
    // The panel's picture, saved for a look and checked on regions.
    QImage Shot(QDialog* dialog, const char* name) {
        const QImage image = dialog->grab().toImage();
        const QString path =
            QString::fromStdString(::testing::TempDir()) + QLatin1String(name) + QStringLiteral(".png");
        image.save(path);
        return image;
    }
    // Some pixel in the widget's area differs from its first one: something is drawn.
    static bool Drawn(const QImage& image, QWidget* dialog, QWidget* w) {
        const QRect r(w->mapTo(dialog, QPoint(0, 0)), w->size());
        if (!QRect(QPoint(0, 0), image.size() / image.devicePixelRatio()).contains(r)) return false;
        const QRgb first = image.pixel(r.topLeft());
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (image.pixel(x, y) != first) return true;
        return false;
    }
    static void ExpectLabelsNotClipped(QDialog* dialog) {
        for (QLabel* label : dialog->findChildren<QLabel*>()) {
            if (!label->isVisible()) continue;
            SCOPED_TRACE(label->text().toStdString());
            if (label->wordWrap())
                EXPECT_GE(label->height(), label->heightForWidth(label->width()));
            else
                EXPECT_GE(label->width(), label->sizeHint().width());
            EXPECT_GE(label->height(), label->fontMetrics().height());
        }
    }
};

TEST_F(DialogsTest, SignOnButtonFollowsTypingAndFocusStartsInTheEmptyField) {
    auto& c = Make();
    c.displayAuthPanel();
    QDialog* panel = view_.signOnPanel();
    ASSERT_TRUE(Settle([&] { return panel->isVisible(); }));
    EXPECT_EQ(panel->focusWidget(), view_.usernameField());
    EXPECT_FALSE(view_.signOnButton()->isEnabled());
    QTest::keyClicks(view_.usernameField(), QStringLiteral("Jane"));
    EXPECT_EQ(c.username(), QStringLiteral("Jane"));
    EXPECT_FALSE(view_.signOnButton()->isEnabled());
    QTest::keyClicks(view_.passwordField(), QStringLiteral("pw"));
    EXPECT_TRUE(view_.signOnButton()->isEnabled());
    QTest::keyClick(view_.passwordField(), Qt::Key_Backspace);
    QTest::keyClick(view_.passwordField(), Qt::Key_Backspace);
    EXPECT_FALSE(view_.signOnButton()->isEnabled());
    EXPECT_EQ(view_.passwordField()->echoMode(), QLineEdit::Password);
    c.dismissAuthPanel();

    // With a known name and its password, focus goes to the password field.
    Store(QStringLiteral("jane"), QStringLiteral("pw"));
    c.setScreenName(QStringLiteral("Jane"));
    c.displayAuthPanel();
    ASSERT_TRUE(Settle([&] { return panel->isVisible(); }));
    EXPECT_EQ(panel->focusWidget(), view_.passwordField());
    EXPECT_EQ(view_.passwordField()->text(), QStringLiteral("pw"));
    EXPECT_TRUE(view_.signOnButton()->isEnabled());
    EXPECT_FALSE(view_.keychainCheckbox()->isChecked());
    QTest::mouseClick(view_.keychainCheckbox(), Qt::LeftButton);
    EXPECT_TRUE(c.model().keepInKeychain());
    QTest::mouseClick(view_.signOnButton(), Qt::LeftButton);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(buttons_.clicks, std::vector<std::string>{"ok"});
}

TEST_F(DialogsTest, PanelsAreWindowModalOnAParentOrFreeStandingAndNotShownTwice) {
    auto& c = Make();
    QWidget window;
    window.resize(500, 400);
    window.show();
    c.setParentWindow(&window);
    c.displayAuthPanel();
    QDialog* panel = view_.signOnPanel();
    ASSERT_TRUE(Settle([&] { return panel->isVisible(); }));
    EXPECT_EQ(panel->parentWidget(), &window);
    EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
    c.displayAuthPanel();
    int visible = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        visible += w->isVisible() && qobject_cast<QDialog*>(w) != nullptr;
    EXPECT_EQ(visible, 1);
    EXPECT_EQ(window.findChildren<QDialog*>().size(), 1);
    // Escape is Cancel.
    QTest::keyClick(panel, Qt::Key_Escape);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(buttons_.clicks, std::vector<std::string>{"cancel"});
    EXPECT_EQ(panel->parentWidget(), nullptr);

    c.setParentWindow(nullptr);
    c.displaySecurIDPanel();
    QDialog* securID = view_.securIDPanel();
    ASSERT_TRUE(Settle([&] { return securID->isVisible(); }));
    EXPECT_EQ(securID->parentWidget(), nullptr);
    EXPECT_EQ(securID->focusWidget(), view_.securIDField());
    QTest::keyClicks(view_.securIDField(), QStringLiteral("123456"));
    EXPECT_EQ(c.securID(), QStringLiteral("123456"));
    QTest::mouseClick(view_.securIDOKButton(), Qt::LeftButton);
    EXPECT_FALSE(securID->isVisible());
    EXPECT_EQ(buttons_.clicks, (std::vector<std::string>{"cancel", "securid ok"}));
}

TEST_F(DialogsTest, ParentWindowGoneWhileThePanelIsUp) {
    auto& c = Make();
    {
        QWidget window;
        window.show();
        c.setParentWindow(&window);
        c.displayAuthPanel();
        ASSERT_TRUE(Settle([&] { return view_.signOnPanel()->isVisible(); }));
    }
    EXPECT_FALSE(c.isAuthPanelVisible());
    c.setParentWindow(nullptr);
    c.displayAuthPanel();
    ASSERT_TRUE(Settle([&] { return view_.signOnPanel() && view_.signOnPanel()->isVisible(); }));
    EXPECT_EQ(view_.signOnPanel()->parentWidget(), nullptr);
}

TEST_F(DialogsTest, ScreenshotsShowEveryControlAndUnclippedLabels) {
    auto& c = Make();
    c.setScreenName(QStringLiteral("Jane"));
    c.displayAuthPanel();
    QDialog* panel = view_.signOnPanel();
    ASSERT_TRUE(Settle([&] { return panel->isVisible(); }));
    const QImage signOn = Shot(panel, "zym-signon-panel");
    for (QWidget* w :
         std::initializer_list<QWidget*>{view_.usernameField(), view_.passwordField(), view_.keychainCheckbox(),
                                         view_.signOnButton(), view_.signOnCancelButton()}) {
        SCOPED_TRACE(w->objectName().toStdString());
        EXPECT_TRUE(w->isVisible());
        EXPECT_TRUE(Drawn(signOn, panel, w));
    }
    ExpectLabelsNotClipped(panel);
    EXPECT_EQ(view_.usernameField()->text(), QStringLiteral("Jane"));

    c.displaySecurIDPanel();
    QDialog* securID = view_.securIDPanel();
    ASSERT_TRUE(Settle([&] { return securID->isVisible(); }));
    const QImage passcode = Shot(securID, "zym-securid-panel");
    for (QWidget* w :
         std::initializer_list<QWidget*>{view_.securIDField(), view_.securIDOKButton(), view_.securIDCancelButton()}) {
        SCOPED_TRACE(w->objectName().toStdString());
        EXPECT_TRUE(w->isVisible());
        EXPECT_TRUE(Drawn(passcode, securID, w));
    }
    ExpectLabelsNotClipped(securID);
}

// With the real alert: no visible parent, so the alert is a window of its own; once it
// is answered the sign-on panel comes back, a window of its own too.
TEST_F(DialogsTest, FailureAlertWithoutAVisibleParentIsAWindowOfItsOwn) {
    MessageBoxPresenter boxes;
    controller_ = std::make_unique<AuthenticationController>(
        QLatin1String(kService), view_, AuthenticationEnvironment{&passwords_, defaults_.get(), &boxes, nullptr});
    controller_->setDelegate(&buttons_);
    QWidget hidden;
    controller_->setParentWindow(&hidden);
    controller_->displayAuthFailedPanel(QStringLiteral("The screen name or password is not correct."));
    QMessageBox* box = nullptr;
    ASSERT_TRUE(Settle([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) box = b;
        return box != nullptr;
    }));
    EXPECT_EQ(box->parentWidget(), nullptr);
    EXPECT_EQ(box->informativeText(), QStringLiteral("The screen name or password is not correct."));
    EXPECT_FALSE(controller_->isAuthPanelVisible());
    box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->buttons().first()->click();
    ASSERT_TRUE(Settle([&] { return controller_->isAuthPanelVisible(); }));
    EXPECT_EQ(view_.signOnPanel()->parentWidget(), nullptr);
    controller_->dismissAuthPanel();
}

}  // namespace
