// The application's start-up and quit, offscreen.

#include <gtest/gtest.h>

#include <QAction>
#include <QAbstractButton>
#include <QCheckBox>
#include <QMenu>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/signon/AuthenticationController.h"
#include "app/foundation/Clock.h"
#include "app/foundation/NotificationCenter.h"
#include "app/services/ZYMCacheStorage.h"
#include "app/services/ZYMServicesProvider.h"
#include "app/signon/PasswordStore.h"
#include "app/foundation/UserDefaults.h"
#include "ListsProbe.h"
#include "ProgramServices.h"
#include "app/prefs/RadioPrefsWindowController.h"
#include "app/support/ChatBusClient.h"
#include "../../support/FakeBusServices.h"
#include "../../support/PrivateBus.h"
#include "app/ui/RadioAppController.h"
#include "app/support/PhoneHomeController.h"
#include "app/support/PhoneHomeServices.h"
#include "app/support/ZYMLiaison.h"
#include "runtime/LogMessage.h"
#include "platform/RunLoop.h"
#include "support/Env.h"
#include "support/TestServer.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <map>

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

    // An account on the test server, its password stored, the window's sign-on pointed at it.
    void ServeAccount() {
        server_ = &zymtest::TestServer::Get();
        prefix_ = server_->NewPrefix();
        server_->ScriptSignOn(prefix_, "someone", "pw-someone");
        server_->ScriptDirectory(prefix_, {{"play_modes", QJsonArray{"full"}}});
        KeychainUtils::savePasswordToKeychain(passwords_, "pw-someone", "someone", QStringLiteral("ZYM Radio"));
        provider_ = std::make_unique<ZYMServicesProvider>(defaults_.get());
        provider_->setServiceURL(QString::fromStdString(server_->Url(prefix_)));
        provider_->setDeviceName("Radio", "ZYM", "1.0");
        cache_ = std::make_unique<ZYMCacheStorageFactory>(dir_.filePath("cache"));
        env_.window.service.provider = provider_.get();
        env_.window.service.notifications = &center_;
        env_.window.service.cacheFactory = cache_.get();
        env_.window.reachable = [](const QString&) { return true; };
        defaults_->setInteger(QStringLiteral("lfs_auth_renewal_interval"), -1);
        defaults_->setBool(QStringLiteral("network_bandwidth_user_prompted"), true);
    }

    // zymradio's own wiring of the support services, signed on with the directory loaded.
    RadioWindowController& StartProgramSignedOn(ProgramServices& services) {
        ServeAccount();
        services.wire(env_, application_);
        EXPECT_TRUE(Make().start());
        application_ = app_.get();
        RadioWindowController& window = *app_->mainWindowController();
        window.signOn();
        EXPECT_TRUE(RunUntil([&] { return window.radioService().informationLoaded(); }));
        return window;
    }

    QTemporaryDir dir_;
    RadioAppController* application_ = nullptr;
    std::unique_ptr<UserDefaults> defaults_;
    zymtest::TestServer* server_ = nullptr;
    std::string prefix_;
    std::unique_ptr<ZYMServicesProvider> provider_;
    NotificationCenter center_;
    std::unique_ptr<ZYMCacheStorageFactory> cache_;
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
        EXPECT_EQ(app_->steps(), (QStringList{"statistics", "defaults", "log", "instance", "connection", "prompt",
                                              "setup", "window"}));

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
    // The default is the debug level; message bodies need 3, asked for in the settings.
    for (const Row& row : {Row{7, 3}, Row{-1, 0}, Row{1, 1}, Row{3, 3}, Row{QVariant(), 2}}) {
        defaults_->setObject(QStringLiteral("log_verbosity"), row.verbosity);
        RadioAppController& app = Make();
        app.registerPreferenceDefaults();
        EXPECT_EQ(app.logLevel(), row.level) << row.verbosity.toString().toStdString();
    }
    EXPECT_TRUE(Make().initLogging().startsWith(dir_.filePath("logs")));

    // The file takes what the level lets through.
    for (const Row& row : {Row{7, 3}, Row{-1, 0}}) {
        defaults_->setObject(QStringLiteral("log_verbosity"), row.verbosity);
        RadioAppController& app = Make();
        app.registerPreferenceDefaults();
        const QString path = app.initLogging();
        QFile::remove(path);
        app.initLogging();
        LogMessage(kLogError, "an error line\n");
        LogMessage(kLogDebug, "a debug line\n");
        InitLogFile(nullptr, kLogError, 0);
        QFile log(path);
        ASSERT_TRUE(log.open(QIODevice::ReadOnly)) << row.level;
        const QByteArray text = log.readAll();
        EXPECT_TRUE(text.contains("an error line")) << row.level;
        EXPECT_EQ(text.contains("a debug line"), row.level >= kLogDebug) << row.level;
    }
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

// Another local user listening first at the name the program used to take in /tmp
// ("zymradio-$USER") does not make this start quit as "another copy"; two copies of this
// user's still find each other at the per-user name.
TEST_F(AppStart, ASquattedSocketIsNotAnotherCopy) {
    defaults_->setBool(QStringLiteral("network_bandwidth_user_prompted"), true);
    env_.instanceName.clear();  // the program's own per-user name
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    const QByteArray user = "zym-squat-" + QByteArray::number(QCoreApplication::applicationPid());
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR"), oldUser = qgetenv("USER");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    qputenv("USER", user);
    // The squatter: a listener at the old shared name, which any local user could make.
    const std::string oldName =
        QFile::encodeName(QDir::tempPath() + QStringLiteral("/zymradio-")).toStdString() + user.toStdString();
    ::unlink(oldName.c_str());
    const int squatter = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", oldName.c_str());
    ASSERT_EQ(::bind(squatter, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(squatter, 8), 0);

    RadioAppController first(env_);
    const bool started = first.start();
    RadioAppController second(env_);
    const bool secondStarted = second.start();
    qputenv("XDG_RUNTIME_DIR", oldRuntime);
    qputenv("USER", oldUser);
    EXPECT_TRUE(started) << "the squatter was taken for a running copy";
    EXPECT_FALSE(secondStarted);
    EXPECT_EQ(alerts_, 1);
    EXPECT_EQ(terminated_, 1);
    pollfd waiting{squatter, POLLIN, 0};
    EXPECT_EQ(::poll(&waiting, 1, 0), 0) << "the squatter was called";
    EXPECT_TRUE(QFileInfo::exists(runtime.filePath(QStringLiteral("zymradio.socket"))));
    ::close(squatter);
    ::unlink(oldName.c_str());
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

// The window's fades on a stepped clock: the sign-on at launch waits for the end of the
// fade-in, a quit for the end of the fade-out, and a reopen during that fade-out turns it
// back into a fade-in.
TEST_F(AppStart, TheWindowFadesInBeforeTheSignOnAndOutBeforeTheQuit) {
    FakeClock clock;
    FakeScheduler scheduler(&clock);
    env_.window.clock = &clock;
    env_.window.scheduler = &scheduler;
    int signOns = 0;
    env_.window.reachable = [&](const QString&) {
        ++signOns;
        return false;
    };
    defaults_->setBool(QStringLiteral("play_at_launch"), true);
    defaults_->setBool(QStringLiteral("network_bandwidth_user_prompted"), true);
    ASSERT_TRUE(Make().start());
    RadioWindowController& window = *app_->mainWindowController();
    QWidget& widget = *window.window();
    ASSERT_TRUE(window.windowFadeController());
    auto advance = [&](int ms) { scheduler.advance(std::chrono::milliseconds(ms)); };

    struct Step {
        int ms;  // time stepped before the look
        double opacity;
        WindowFadeController::State state;
        int signOns;
    };
    const auto look = [&](const Step& step, const char* what) {
        advance(step.ms);
        EXPECT_NEAR(widget.windowOpacity(), step.opacity, 0.06) << what;
        EXPECT_EQ(window.windowFadeController()->state(), step.state) << what;
        EXPECT_EQ(signOns, step.signOns) << what;
        EXPECT_TRUE(widget.isVisible()) << what;
        EXPECT_TRUE(app_->windowMenuItem()->isChecked()) << what;
    };
    for (const auto& [step, what] : {std::pair{Step{0, 0.0, WindowFadeController::FadingIn, 0}, "shown at alpha 0"},
                                     {Step{100, 0.5, WindowFadeController::FadingIn, 0}, "halfway in"},
                                     {Step{90, 0.95, WindowFadeController::FadingIn, 0}, "nearly in"},
                                     {Step{30, 1.0, WindowFadeController::Shown, 1}, "in, then signing on"}})
        look(step, what);

    // Signing on from the menu shows the window already shown: no fade, so no second
    // sign-on of the launch's after the listener's own.
    app_->toggleSignedIn();
    EXPECT_EQ(signOns, 2);
    advance(500);
    EXPECT_EQ(signOns, 2);
    signOns = 1;

    app_->quit();
    EXPECT_TRUE(app_->quitAfterWindowFadeOut());
    for (const auto& [step, what] : {std::pair{Step{0, 1.0, WindowFadeController::FadingOut, 1}, "quit asked"},
                                     {Step{50, 0.5, WindowFadeController::FadingOut, 1}, "halfway out"}})
        look(step, what);
    EXPECT_EQ(terminated_, 0);

    // A reopen: the fade turns round from where it is and the quit is off.
    app_->applicationShouldHandleReopen();
    EXPECT_FALSE(app_->quitAfterWindowFadeOut());
    look(Step{110, 1.0, WindowFadeController::Shown, 2}, "back in at the fade-in's pace");
    advance(1000);
    EXPECT_EQ(terminated_, 0);
    EXPECT_TRUE(widget.isVisible());

    app_->quit();
    advance(80);
    EXPECT_EQ(terminated_, 0) << "still fading out";
    EXPECT_TRUE(widget.isVisible());
    advance(40);
    EXPECT_EQ(terminated_, 1);
    EXPECT_FALSE(widget.isVisible());
    EXPECT_FALSE(app_->windowMenuItem()->isChecked());
    EXPECT_EQ(window.windowFadeController()->state(), WindowFadeController::Hidden);
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

namespace {

class RecordingStatistics : public WindowStatistics {
public:
    void startTimer(int key) override { events.push_back("start " + std::to_string(key)); }
    void stopTimer(int key) override { events.push_back("stop " + std::to_string(key)); }
    void saveSessionStats() override { events.push_back("save"); }
    std::vector<std::string> events;
};

class FakeScreenSaver : public ScreenSaverInstaller {
public:
    bool isSupported() const override { return supported; }
    bool isInstalled() const override { return installed; }
    bool install() override {
        ++installs;
        return true;
    }
    bool supported = true;
    bool installed = false;
    int installs = 0;
};

TEST_F(AppStart, TheScreenSaverIsOfferedOnceFiveSecondsAfterALoadWithEnoughAlbumArt) {
    struct Row {
        const char* name;
        bool supported;
        bool installed;
        bool asked;
        int images;
        bool offered;
    };
    const Row rows[] = {
        {"no screen saver on this system", false, false, false, 60, false},
        {"49 images and other files", true, false, false, 49, false},
        {"50 images", true, false, false, 50, true},
        {"asked before", true, false, true, 60, false},
        {"installed already", true, true, false, 60, false},
    };
    defaults_->setBool(QStringLiteral("network_bandwidth_user_prompted"), true);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir art;
        for (int i = 0; i < row.images; ++i) {
            QFile f(art.filePath(QStringLiteral("a%1.%2").arg(i).arg(i % 2 ? "png" : "JPG")));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
        for (const char* other : {"notes.txt", "cover", "x.tiff.part"}) {
            QFile f(art.filePath(QString::fromLatin1(other)));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
        FakeScreenSaver saver;
        saver.supported = row.supported;
        saver.installed = row.installed;
        FakeScheduler scheduler;
        env_.window.scheduler = &scheduler;
        env_.screenSaver = &saver;
        env_.albumArtFolder = art.path();
        defaults_->setObject(QStringLiteral("screensaver_asked"), row.asked ? QVariant(true) : QVariant());
        dialogs_.shown.clear();
        ASSERT_TRUE(Make().start());
        app_->radioSignOnComplete();
        scheduler.advance(std::chrono::milliseconds(4900));
        EXPECT_TRUE(dialogs_.shown.empty());
        scheduler.advance(std::chrono::milliseconds(100));
        ASSERT_EQ(dialogs_.shown.size(), row.offered ? 1u : 0u);
        if (row.offered) {
            EXPECT_TRUE(defaults_->boolean(QStringLiteral("screensaver_asked")));
            dialogs_.answer(0);
            EXPECT_EQ(saver.installs, 1);
            // Never again, whatever was answered.
            app_->radioSignOnComplete();
            scheduler.advance(std::chrono::seconds(5));
            EXPECT_EQ(dialogs_.shown.size(), 1u);
        }
        app_.reset();
    }
}

TEST_F(AppStart, TheActiveTimeIsCountedAndTheQuitSavesIt) {
    RecordingStatistics statistics;
    env_.window.statistics = &statistics;
    std::vector<std::string> calls;
    env_.installSleepWakeNotifier = [&] { calls.push_back("install sleep"); };
    env_.removeSleepWakeNotifier = [&] { calls.push_back("remove sleep"); };
    env_.shutdownPreferences = [&] { calls.push_back("shutdown preferences"); };
    defaults_->setBool(QStringLiteral("network_bandwidth_user_prompted"), true);
    ASSERT_TRUE(Make().start());
    EXPECT_EQ(calls, std::vector<std::string>{"install sleep"});
    app_->applicationDidBecomeActive();
    app_->applicationDidResignActive();
    // The window records its full layout once when it is made; nothing plays, so only the
    // active time runs.
    EXPECT_EQ(statistics.events,
              (std::vector<std::string>{"start 4399", "save", "start 4395", "stop 4395", "stop 4396"}));

    // A window refusing to close: nothing happens.
    statistics.events.clear();
    app_->windowShouldClose = [] { return false; };
    app_->quit();
    EXPECT_EQ(calls.size(), 1u);
    app_->windowShouldClose = nullptr;
    app_->mainWindowController()->window()->hide();
    app_->quit();
    EXPECT_EQ(terminated_, 1);
    EXPECT_EQ(calls, (std::vector<std::string>{"install sleep", "shutdown preferences", "remove sleep"}));
    EXPECT_EQ(statistics.events, std::vector<std::string>{"save"});
}

TEST_F(AppStart, TheWindowItemFollowsTheWindowAndHelpOpensItsPages) {
    std::vector<QUrl> opened;
    env_.openURL = [&](const QUrl& url) {
        opened.push_back(url);
        return true;
    };
    defaults_->setBool(QStringLiteral("network_bandwidth_user_prompted"), true);
    ASSERT_TRUE(Make().start());
    QAction* item = app_->windowMenuItem();
    ASSERT_TRUE(item);
    QWidget* window = app_->mainWindowController()->window();
    EXPECT_TRUE(item->isChecked());
    EXPECT_FALSE(item->isEnabled()) << "the window is shown already";
    window->hide();
    EXPECT_FALSE(item->isChecked());
    EXPECT_TRUE(item->isEnabled());
    item->trigger();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(item->isChecked());

    app_->showHelp();
    app_->showAcknowledgements();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].scheme(), QStringLiteral("https"));
    ASSERT_TRUE(opened[1].isLocalFile());
    QFile page(opened[1].toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    EXPECT_TRUE(page.readAll().contains("Acknowledgements"));
}

TEST_F(AppStart, TheSignOnItemSignsOnAndOffAndASleepStopsThePlay) {
    ServeAccount();
    RecordingStatistics statistics;
    env_.window.statistics = &statistics;
    ASSERT_TRUE(Make().start());
    RadioWindowController& window = *app_->mainWindowController();
    QAction* item = app_->signOnMenuItem();
    ASSERT_TRUE(item);
    EXPECT_EQ(item->text(), QStringLiteral("Sign On"));

    window.window()->hide();
    item->trigger();
    EXPECT_TRUE(window.window()->isVisible()) << "the window comes first";
    EXPECT_TRUE(window.authenticationInProgressOrValid());
    EXPECT_EQ(item->text(), QStringLiteral("Sign Off"));
    ASSERT_TRUE(RunUntil([&] { return window.radioService().informationLoaded(); }));

    // While a station plays, the time in front counts also as playing time; the machine
    // going to sleep stops it.
    server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "svcstream/")}, {"silent", true}});
    window.playStationWithID(QStringLiteral("radio:aggregate:2"));
    ASSERT_TRUE(window.isPlaying());
    statistics.events.clear();
    app_->applicationDidBecomeActive();
    EXPECT_EQ(statistics.events, (std::vector<std::string>{"start 4395", "start 4396"}));
    center_.post(QStringLiteral("MachineIsSleepingNotification"));
    EXPECT_FALSE(window.isPlaying());

    item->trigger();
    EXPECT_FALSE(window.authenticationInProgressOrValid());
    EXPECT_EQ(item->text(), QStringLiteral("Sign On"));
    app_.reset();
}

}  // namespace

namespace {

// Leaving the preferences' General pane (its end notice makes the window filter the
// stations again) leaves the main window's lists as the listener left them.
TEST_F(AppStart, LeavingTheGeneralPaneKeepsTheStationLists) {
    ProgramServices services;
    RadioWindowController& window = StartProgramSignedOn(services);
    const auto [genre, station] = windowtest::GenreAndStation(window);
    ASSERT_FALSE(genre.isEmpty());
    windowtest::ClickSource(window, genre);
    windowtest::ClickStation(window, station);
    const int rows = windowtest::StationRows(window);

    app_->showPreferences();
    RadioPrefsWindowController& prefs = RadioPrefsWindowController::sharedPrefsController();
    for (const QString& next : {RadioPrefsWindowController::kColorsPane, RadioPrefsWindowController::kPresetPane}) {
        SCOPED_TRACE(next.toStdString());
        ASSERT_TRUE(prefs.showPaneWithIdentifier(RadioPrefsWindowController::kRadioPane));
        ASSERT_TRUE(prefs.showPaneWithIdentifier(next));
        EXPECT_EQ(windowtest::SelectedSourceID(window), genre);
        EXPECT_EQ(windowtest::StationRows(window), rows);
        EXPECT_EQ(windowtest::SelectedStationID(window), station);
        ASSERT_TRUE(window.activeStation());
        EXPECT_EQ(window.activeStation()->stationID(), station);
    }

    app_->mainWindowController()->window()->hide();
    app_->quit();
}

TEST_F(AppStart, ThePreferencesShowTheRadioServicesPresets) {
    ProgramServices services;
    RadioWindowController& window = StartProgramSignedOn(services);
    ASSERT_TRUE(window.radioService().informationLoaded());

    app_->showPreferences();
    ASSERT_TRUE(RadioPrefsWindowController::hasSharedPrefsController());
    RadioPrefsWindowController& prefs = RadioPrefsWindowController::sharedPrefsController();
    ASSERT_TRUE(prefs.showPaneWithIdentifier(RadioPrefsWindowController::kPresetPane));
    auto rows = [&] {
        QStringList texts;
        PresetTableModel* model = prefs.presetModel();
        for (int r = 0; r < model->rowCount(); ++r)
            texts << model->data(model->index(r, 0), Qt::DisplayRole).toString();
        return texts;
    };
    // The server's presets: station 12345 first, then a station the directory lacks.
    ASSERT_EQ(rows().size(), 5);
    EXPECT_EQ(rows()[0], QStringLiteral("1 : Station 12345"));
    EXPECT_EQ(rows()[1], QStringLiteral("2 : <empty>"));

    // A preset stored in the window shows in the preferences.
    window.storeStationIDOnPreset(QStringLiteral("radio:aggregate:2"), 4);
    EXPECT_EQ(rows()[3], QStringLiteral("4 : Station 2"));

    app_->mainWindowController()->window()->hide();
    app_->quit();
    EXPECT_FALSE(RadioPrefsWindowController::hasSharedPrefsController()) << "closed at quit";
}

}  // namespace

namespace {

// A setting changed in the preferences window reaches the running window through the
// preference's own model: a new screen name typed in the account pane signs off and asks
// to sign on under that name once the pane is left.
TEST_F(AppStart, AScreenNameChangedInThePreferencesSignsOnAgainUnderIt) {
    ProgramServices services;
    RadioWindowController& window = StartProgramSignedOn(services);
    ASSERT_TRUE(window.radioService().informationLoaded());
    ASSERT_EQ(window.radioService().authenticatedUsername(false), QStringLiteral("someone"));

    app_->showPreferences();
    RadioPrefsWindowController& prefs = RadioPrefsWindowController::sharedPrefsController();
    ASSERT_TRUE(prefs.showPaneWithIdentifier(RadioPrefsWindowController::kUserPane));
    QLineEdit* name = prefs.controls().screenNameField;
    ASSERT_EQ(name->text(), QStringLiteral("someone"));
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("Somebody Else"));
    EXPECT_TRUE(window.radioService().serviceAvailable()) << "nothing changes while the pane is open";
    ASSERT_TRUE(prefs.showPaneWithIdentifier(RadioPrefsWindowController::kRadioPane));
    EXPECT_EQ(defaults_->string(QStringLiteral("screenname")), QStringLiteral("Somebody Else"));
    ASSERT_TRUE(RunUntil([&] { return panels_.signOnVisible; }));
    EXPECT_FALSE(window.radioService().authenticatedUsername(false));
    ASSERT_TRUE(panels_.model);
    EXPECT_EQ(panels_.model->username(), QStringLiteral("Somebody Else"));

    window.window()->hide();
    app_->quit();
    EXPECT_FALSE(RadioPrefsWindowController::hasSharedPrefsController());
}

}  // namespace

namespace {

// The entries of a statistics record: key -> value bytes.
std::map<int, QByteArray> RecordEntries(const QByteArray& record) {
    std::map<int, QByteArray> entries;
    int at = 10;
    while (at + 4 <= record.size()) {
        const auto byte = [&](int i) { return int(quint8(record[i])); };
        const bool oneByteKey = byte(at) == 0xA0 || byte(at) == 0xA1;
        const int key = oneByteKey ? byte(at) : (byte(at) << 8) | byte(at + 1);
        at += oneByteKey ? 1 : 2;
        const int length = (byte(at) << 8) | byte(at + 1);
        at += 2;
        entries[key] = record.mid(at, length);
        at += length;
    }
    return entries;
}

// zymradio's own statistics wiring: a refused password ends the session with the sign-on
// failure's record, which carries the service layer's packed error.
TEST_F(AppStart, AWrongPasswordLeavesItsSignOnFailureRecord) {
    ServeAccount();
    KeychainUtils::savePasswordToKeychain(passwords_, "wrong", "someone", QStringLiteral("ZYM Radio"));
    PhoneHomeController::Environment statistics;
    statistics.defaults = defaults_.get();
    PhoneHomeController::setupPhoneHome(dir_.filePath("support"), 2318, 0.01f, std::move(statistics));
    ASSERT_TRUE(PhoneHomeController::sharedPhoneHome());
    const QString log = PhoneHomeController::sharedPhoneHome()->disconnectLogPath();
    const auto records = [&] {
        QFile file(log);
        std::vector<QByteArray> out;
        if (!file.open(QIODevice::ReadOnly)) return out;
        const QByteArray bytes = file.readAll();
        PhoneHomeReader in(bytes);
        QByteArray record;
        while (PhoneHomeServices::ReadRecord(in, record))
            out.push_back(record);
        return out;
    };
    ASSERT_EQ(records().size(), 1u) << "the first-launch record";

    ProgramServices services;
    services.wire(env_, application_);
    ASSERT_TRUE(Make().start());
    application_ = app_.get();
    app_->mainWindowController()->signOn();
    ASSERT_TRUE(RunUntil([&] { return records().size() >= 2; }));
    const auto all = records();
    ASSERT_EQ(all.size(), 2u);
    const auto first = RecordEntries(all[0]);
    EXPECT_EQ(first.at(2), QByteArray::fromHex("000000EE")) << "end code 238";
    const auto failure = RecordEntries(all[1]);
    EXPECT_EQ(failure.at(1), QByteArray::fromHex("02")) << "category 2";
    EXPECT_EQ(failure.at(2), QByteArray::fromHex("00003006")) << "end code 12294";
    ASSERT_TRUE(failure.count(93)) << "the service error";
    // Kind 32 (authentication) with the code's bytes exchanged.
    EXPECT_EQ(failure.at(93).size(), 4);
    EXPECT_EQ(failure.at(93).left(2), QByteArray::fromHex("0020"));
    app_.reset();
    PhoneHomeController::shutdownForTesting();
}

}  // namespace

namespace {

// Every title the analytics table reports names a menu item or button of the program's
// window, as it shows them signed off, signed on and playing.
TEST_F(AppStart, EveryTitleOfTheAnalyticsTableNamesAMenuItemOrButton) {
    const auto table = ZYMLiaison::loadEventsTable();
    ASSERT_TRUE(table && !table->isEmpty());
    std::set<QString> shown;
    const auto collect = [&] {
        const auto take = [&](QString text) { shown.insert(text.remove(QLatin1Char('&'))); };
        std::function<void(QAction*)> item = [&](QAction* action) {
            take(action->text());
            if (action->menu())
                for (QAction* a : action->menu()->actions())
                    item(a);
        };
        for (QWidget* w : QApplication::allWidgets()) {
            for (QAction* a : w->actions())
                item(a);
            if (auto* button = qobject_cast<QAbstractButton*>(w)) take(button->text());
        }
    };
    ProgramServices services;
    ServeAccount();
    services.wire(env_, application_);
    ASSERT_TRUE(Make().start());
    application_ = app_.get();
    collect();
    RadioWindowController& window = *app_->mainWindowController();
    window.signOn();
    ASSERT_TRUE(RunUntil([&] { return window.radioService().informationLoaded(); }));
    collect();
    server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "svcstream/")}, {"silent", true}});
    window.playStationWithID(QStringLiteral("radio:aggregate:2"));
    ASSERT_TRUE(window.isPlaying());
    collect();
    for (auto it = table->begin(); it != table->end(); ++it) {
        bool number = false;
        it.key().toLongLong(&number);
        if (number) continue;
        EXPECT_TRUE(shown.count(it.key())) << it.key().toStdString();
    }
    window.stopPlaying();
    app_.reset();
}

// The chat client on the session bus as the program finds it: the preference can be set
// only while one is there, and what plays becomes its status message.
TEST_F(AppStart, TheChatStatusReachesTheClientOnTheBusAndItsSettingFollowsIt) {
    supporttest::PrivateBus bus;
    REQUIRE_PRIVATE_BUS(bus);
    PurpleChatClient client(bus.Connect());
    env_.window.chatClient = &client;
    const AppEnvironment unwired = env_;
    for (const bool pidginRuns : {false, true}) {
        SCOPED_TRACE(pidginRuns ? "with Pidgin" : "without");
        env_ = unwired;
        auto* purple = new supporttest::FakePurple;
        std::unique_ptr<supporttest::BusService> pidgin;
        if (pidginRuns) {
            pidgin = std::make_unique<supporttest::BusService>(bus.Connect(), PurpleChatClient::kService,
                                                               PurpleChatClient::kPath, purple);
            ASSERT_TRUE(pidgin->Registered());
        }
        ProgramServices services;
        RadioWindowController& window = StartProgramSignedOn(services);
        app_->showPreferences();
        RadioPrefsWindowController& prefs = RadioPrefsWindowController::sharedPrefsController();
        ASSERT_TRUE(prefs.showPaneWithIdentifier(RadioPrefsWindowController::kRadioPane));
        EXPECT_EQ(prefs.controls().changeChatStatusCheckbox->isEnabled(), pidginRuns);

        window.playStationWithURL(QStringLiteral("http://127.0.0.1:9/live"));
        if (pidginRuns) {
            ASSERT_EQ(purple->Messages().size(), 1);
            EXPECT_EQ(purple->Messages().first(), QStringLiteral("Listening to http://127.0.0.1:9/live on ZYM Radio"));
            EXPECT_EQ(purple->activations.load(), 1);
        }
        window.window()->hide();
        app_->quit();
        app_.reset();
        application_ = nullptr;
        if (!pidginRuns) delete purple;
    }
}

// The house banner: refused while the window was not signed on, shown in the ad panel
// once the panel opens (not a blank box).
TEST_F(AppStart, TheAdPanelOpensOnTheHouseBanner) {
    env_.window.applicationActive = [] { return true; };
    ProgramServices services;
    RadioWindowController& window = StartProgramSignedOn(services);
    QWidget* panel = window.window()->findChild<QWidget*>(QStringLiteral("adPanelView"));
    ASSERT_TRUE(panel);
    ASSERT_TRUE(RunUntil([&] { return panel->isVisible() && panel->width() > 0; }));
    EXPECT_TRUE(QFileInfo(env_.window.adBannerPath).isFile()) << env_.window.adBannerPath.toStdString();
    const QImage image = panel->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_TRUE(image.save(dir_.filePath("ad-panel.png")));
    int dusk = 0, bars = 0, white = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.blue() > c.green() + 60 && c.blue() > 100) ++dusk;
            if (c.red() > 220 && c.green() > 170 && c.blue() < 140) ++bars;
            if (c.red() > 245 && c.green() > 245 && c.blue() > 245) ++white;
        }
    EXPECT_GT(dusk, image.width() * image.height() / 2) << "the banner fills the panel";
    EXPECT_GT(bars, 200);
    EXPECT_GT(white, 500) << "the waves";
    window.window()->hide();
    app_->quit();
}

}  // namespace
