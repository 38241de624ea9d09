// The application's start-up and quit, offscreen.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/services/AuthenticationController.h"
#include "app/services/PasswordStore.h"
#include "app/services/UserDefaults.h"
#include "app/ui/RadioAppController.h"
#include "engine/base/LogMessage.h"
#include "platform/RunLoop.h"
#include "support/Env.h"

namespace {

bool RunUntil(const std::function<bool()>& done) {
    return platform::RunLoop::Current().RunUntil(done, zymtest::Scaled(std::chrono::seconds(20)));
}

class AppStart : public ::testing::Test {
protected:
    void SetUp() override {
        defaults_ = std::make_unique<UserDefaults>(dir_.filePath("defaults.conf"));
        // No sign-on at launch: the listener has a name but no stored password.
        defaults_->setBool(QStringLiteral("play_at_launch"), false);
        defaults_->setString(QStringLiteral("screenname"), QStringLiteral("someone"));
        env_.defaults = defaults_.get();
        env_.instanceName = QStringLiteral("zymradio-test-") + QString::number(QCoreApplication::applicationPid()) +
                            QStringLiteral("-") +
                            QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name());
        env_.logFolder = dir_.filePath("logs");
        env_.askConnectionSpeed = [this] {
            asked_++;
            windowShownWhenAsked_ = app_ && app_->mainWindowController();
            return answer_;
        };
        env_.alertAlreadyRunning = [this] { alerts_++; };
        env_.terminate = [this] { terminated_++; };
        env_.window.panels = &panels_;
        env_.window.passwords = &passwords_;
        env_.window.reachable = [](const QString&) { return false; };
        env_.window.presenter = &dialogs_;
    }
    void TearDown() override {
        app_.reset();
        InitLogFile(nullptr, kLogError, 0);
    }

    RadioAppController& Make() {
        app_ = std::make_unique<RadioAppController>(env_);
        return *app_;
    }

    QTemporaryDir dir_;
    std::unique_ptr<UserDefaults> defaults_;
    AppEnvironment env_;
    FakeAuthPanelsView panels_;
    MemoryPasswordStore passwords_;
    RecordingDialogPresenter dialogs_;
    std::unique_ptr<RadioAppController> app_;
    int asked_ = 0, alerts_ = 0, terminated_ = 0;
    int answer_ = ConnectionSpeedDialog::Broadband;
    bool windowShownWhenAsked_ = false;
};

TEST_F(AppStart, TheFirstLaunchAsksTheSpeedBeforeTheWindowAndNeverAgain) {
    struct Row {
        int answer;
        qint64 limit;
    };
    for (const Row row :
         {Row{ConnectionSpeedDialog::Broadband, 15000000}, Row{ConnectionSpeedDialog::Narrowband, 32768}}) {
        defaults_->removeObject(QStringLiteral("network_bandwidth_user_prompted"));
        asked_ = 0;
        answer_ = row.answer;
        ASSERT_TRUE(Make().start());
        EXPECT_FALSE(app_->mainWindowController()) << "the question comes first";
        ASSERT_TRUE(RunUntil([&] { return app_->mainWindowController() != nullptr; }));
        EXPECT_EQ(asked_, 1);
        EXPECT_FALSE(windowShownWhenAsked_);
        EXPECT_EQ(defaults_->integer(QStringLiteral("network_bandwidth_limit")), row.limit);
        EXPECT_EQ(app_->steps(),
                  (QStringList{"defaults", "log", "instance", "connection", "prompt", "setup", "window"}));

        app_.reset();
        ASSERT_TRUE(Make().start());
        EXPECT_TRUE(app_->mainWindowController()) << "answered once, the window comes at once";
        EXPECT_EQ(asked_, 1);
        app_.reset();
    }
}

TEST_F(AppStart, ReturnChoosesNeitherSpeed) {
    ConnectionSpeedDialog dialog;
    dialog.show();
    for (QPushButton* b : dialog.findChildren<QPushButton*>()) {
        EXPECT_FALSE(b->isDefault()) << b->text().toStdString();
        EXPECT_FALSE(b->autoDefault()) << b->text().toStdString();
    }
    QTest::keyClick(&dialog, Qt::Key_Return);
    QTest::keyClick(&dialog, Qt::Key_Enter);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("narrowband")), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), ConnectionSpeedDialog::Narrowband);
}

TEST_F(AppStart, TheLogLevelIsClamped) {
    struct Row {
        QVariant verbosity;
        int level;
    };
    for (const Row& row : {Row{7, 2}, Row{-1, 0}, Row{1, 1}, Row{QVariant(), 2}}) {
        defaults_->setObject(QStringLiteral("log_verbosity"), row.verbosity);
        RadioAppController& app = Make();
        app.registerPreferenceDefaults();
        EXPECT_EQ(app.logLevel(), row.level) << row.verbosity.toString().toStdString();
    }
    EXPECT_TRUE(Make().initLogging().startsWith(dir_.filePath("logs")));
}

TEST_F(AppStart, ASecondCopyAlertsQuitsAndShowsTheFirstWindow) {
    defaults_->setBool(QStringLiteral("network_bandwidth_user_prompted"), true);
    RadioAppController first(env_);
    ASSERT_TRUE(first.start());
    first.mainWindowController()->window()->hide();
    int reopened = 0;
    QObject::connect(&first, &RadioAppController::reopened, [&] { ++reopened; });

    RadioAppController second(env_);
    EXPECT_FALSE(second.start());
    EXPECT_EQ(alerts_, 1);
    EXPECT_EQ(terminated_, 1);
    EXPECT_FALSE(second.mainWindowController());
    ASSERT_TRUE(RunUntil([&] { return reopened == 1; }));
    EXPECT_TRUE(first.mainWindowController()->window()->isVisible());
}

TEST_F(AppStart, QuitWaitsForTheWindowAndAReopenCancelsIt) {
    defaults_->setBool(QStringLiteral("network_bandwidth_user_prompted"), true);
    ASSERT_TRUE(Make().start());
    // A hidden window: at once.
    app_->mainWindowController()->window()->hide();
    app_->quit();
    EXPECT_EQ(terminated_, 1);

    // A visible window: after it is gone, unless a reopen comes first.
    app_.reset();
    ASSERT_TRUE(Make().start());
    app_->quit();
    EXPECT_EQ(terminated_, 1);
    EXPECT_TRUE(app_->quitAfterWindowFadeOut());
    app_->applicationShouldHandleReopen();
    platform::RunLoop::Current().RunFor(zymtest::Scaled(std::chrono::milliseconds(300)));
    EXPECT_EQ(terminated_, 1);
    EXPECT_TRUE(app_->mainWindowController()->window()->isVisible());

    app_->quit();
    ASSERT_TRUE(RunUntil([&] { return terminated_ == 2; }));
    EXPECT_FALSE(app_->mainWindowController()->window()->isVisible());
}

TEST_F(AppStart, AWindowRefusingToCloseStopsTheQuitUnsaved) {
    defaults_->setBool(QStringLiteral("network_bandwidth_user_prompted"), true);
    ASSERT_TRUE(Make().start());
    app_->windowShouldClose = [] { return false; };
    defaults_->removeObject(QStringLiteral("playing_station"));
    defaults_->removeObject(QStringLiteral("volume"));
    app_->quit();
    platform::RunLoop::Current().RunFor(zymtest::Scaled(std::chrono::milliseconds(200)));
    EXPECT_EQ(terminated_, 0);
    EXPECT_FALSE(app_->quitAfterWindowFadeOut());
    EXPECT_FALSE(defaults_->object(QStringLiteral("playing_station")).isValid());
    EXPECT_FALSE(defaults_->object(QStringLiteral("volume")).isValid());
    EXPECT_TRUE(app_->mainWindowController()->window()->isVisible());
}

}  // namespace
