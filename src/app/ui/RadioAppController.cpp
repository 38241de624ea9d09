#include "app/ui/RadioAppController.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QImageReader>
#include <QMenu>
#include <QMenuBar>
#include <QUrl>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "app/foundation/ZYMFileManager.h"
#include "app/foundation/ZYMInstanceSocket.h"
#include "app/foundation/Clock.h"
#include "app/signon/DialogPresenter.h"
#include "app/foundation/Localizer.h"
#include "app/foundation/Resources.h"
#include "app/foundation/ServiceLayerError.h"
#include "app/foundation/UserDefaults.h"
#include "app/services/ZYMServicesProvider.h"
#include "app/support/ZYMMprisBus.h"
#include "app/support/ZYMScriptingBus.h"
#include "app/ui/AlbumArtStore.h"
#include "app/radio/RadioMetadataParser.h"
#include "app/ui/RemoteControlledSlider.h"
#include "app/ui/MenuValidation.h"
#include "runtime/LogMessage.h"

namespace {
QString localizedText(const char* key) { return Localizer::shared().text(QString::fromLatin1(key)); }

}  // namespace

ConnectionSpeedDialog::ConnectionSpeedDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(localizedText("ConnectionSpeedTitle"));
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(localizedText("ConnectionSpeedTitle"));
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    layout->addWidget(title);
    auto* message = new QLabel(localizedText("ConnectionSpeedMsg"));
    message->setWordWrap(true);
    layout->addWidget(message);
    auto* buttons = new QDialogButtonBox;
    auto* narrow = buttons->addButton(localizedText("ConnectionNarrowband"), QDialogButtonBox::ActionRole);
    auto* broad = buttons->addButton(localizedText("ConnectionBroadband"), QDialogButtonBox::ActionRole);
    for (QPushButton* b : {narrow, broad}) {
        b->setAutoDefault(false);
        b->setDefault(false);
        b->setObjectName(b == broad ? QStringLiteral("broadband") : QStringLiteral("narrowband"));
    }
    connect(broad, &QPushButton::clicked, this, [this] { done(Broadband); });
    connect(narrow, &QPushButton::clicked, this, [this] { done(Narrowband); });
    layout->addWidget(buttons);
}

RadioAppController::RadioAppController(AppEnvironment environment)
    : env_(std::move(environment)), defaults_(env_.defaults ? *env_.defaults : UserDefaults::standardUserDefaults()) {
    if (!env_.window.defaults) env_.window.defaults = &defaults_;
}

RadioAppController::~RadioAppController() {
    // The bus objects go before the model and the window they act on.
    mprisBus_.reset();
    scriptingBus_.reset();
    scripting_.reset();
}

bool RadioAppController::start() {
    if (env_.setupStatistics) env_.setupStatistics();
    steps_ << QStringLiteral("statistics");
    registerPreferenceDefaults();
    initLogging();
    if (!checkAlreadyRunning()) return false;
    if (checkConnectionSetting()) finishSetup();
    return true;
}

void RadioAppController::registerPreferenceDefaults() {
    defaults_.registerDefaults({{QStringLiteral("show_nowplaying_overlay"), true},
                                {QStringLiteral("set_ichat_status"), true},
                                {QStringLiteral("play_at_launch"), true},
                                {QStringLiteral("update_notice_all"), true},
                                {QStringLiteral("log_verbosity"), 2}});
    steps_ << QStringLiteral("defaults");
}

int RadioAppController::logLevel() const {
    return int(std::clamp<qint64>(defaults_.integer(QStringLiteral("log_verbosity")), kLogError, kLogTrace));
}

QString RadioAppController::initLogging() {
    QString folder = env_.logFolder;
    if (folder.isEmpty()) {
        QString state = qEnvironmentVariable("XDG_STATE_HOME");
        if (state.isEmpty()) state = QDir::homePath() + QStringLiteral("/.local/state");
        folder = state + QStringLiteral("/zymradio");
    }
    ZYMFileManager::ensureDirectoriesInPath(folder);
    const QString path = folder + QStringLiteral("/zymradio.log");
    InitLogFile(path.toUtf8().constData(), logLevel(), int(kMaxLogBytes));
    steps_ << QStringLiteral("log");
    return path;
}

bool RadioAppController::checkAlreadyRunning() {
    steps_ << QStringLiteral("instance");
    const QString name = env_.instanceName.isEmpty() ? ZYMInstanceSocket::path() : env_.instanceName;
    if (name.isEmpty()) {
        LogMessage(kLogError, "No private folder for the single-instance socket: running unguarded\n");
        return true;
    }
    {
        QLocalSocket probe;
        probe.connectToServer(name);
        // Only a copy run by this user counts; anyone else's socket is taken over.
        if (probe.waitForConnected(1000) && ZYMInstanceSocket::peerIsThisUser(int(probe.socketDescriptor()))) {
            // The first copy shows its window; this one says so and quits.
            probe.write("reopen\n");
            probe.waitForBytesWritten(1000);
            probe.disconnectFromServer();
            if (env_.alertAlreadyRunning)
                env_.alertAlreadyRunning();
            else
                QMessageBox::critical(nullptr, localizedText("AlreadyRunningTitle"), localizedText("AlreadyRunningMsg"),
                                      localizedText("Quit"));
            if (env_.terminate) env_.terminate();
            return false;
        }
    }
    QLocalServer::removeServer(name);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    server_->listen(name);
    connect(server_.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* s = server_->nextPendingConnection()) {
            connect(s, &QLocalSocket::readyRead, this, [this, s] {
                if (s->readAll().contains("reopen")) applicationShouldHandleReopen();
            });
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        }
    });
    return true;
}

bool RadioAppController::checkConnectionSetting() {
    steps_ << QStringLiteral("connection");
    if (defaults_.boolean(QStringLiteral("network_bandwidth_user_prompted"))) return true;
    QTimer::singleShot(0, this, [this] { promptForConnectionSetting(); });
    return false;
}

void RadioAppController::promptForConnectionSetting() {
    int answer = 0;
    if (env_.askConnectionSpeed) {
        answer = env_.askConnectionSpeed();
    } else {
        ConnectionSpeedDialog dialog;
        answer = dialog.exec();
    }
    steps_ << QStringLiteral("prompt");
    if (answer == ConnectionSpeedDialog::Broadband || answer == ConnectionSpeedDialog::Narrowband) {
        defaults_.setInteger(QStringLiteral("network_bandwidth_limit"),
                             answer == ConnectionSpeedDialog::Broadband ? kBroadbandLimit : kNarrowbandLimit);
        defaults_.setBool(QStringLiteral("network_bandwidth_user_prompted"), true);
    }
    finishSetup();
}

void RadioAppController::finishSetup() {
    steps_ << QStringLiteral("setup");
    if (env_.installSleepWakeNotifier) env_.installSleepWakeNotifier();
    NotificationCenter& center =
        env_.window.service.notifications ? *env_.window.service.notifications : NotificationCenter::defaultCenter();
    observations_.push_back(center.observe(QStringLiteral("MachineIsSleepingNotification"), nullptr,
                                           [this](const Notification&) { machineIsSleeping(); }));
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            applicationDidBecomeActive();
        else
            applicationDidResignActive();
    });
    ZYMServicesProvider& provider =
        env_.window.service.provider ? *env_.window.service.provider : ZYMServicesProvider::sharedProvider();
    provider.setDeviceName(QStringLiteral("ZYMRadio"), QStringLiteral("ZYM"),
                           QStringLiteral("%1.%2").arg(4250).arg(2318));
    provider.setUserAgentFormat(QStringLiteral("%M_%N_%V/CTID (quintrel/2.0)"));
    showRadioWindow();
}

void RadioAppController::showRadioWindow() {
    activateAfterWindowFadeIn_ = true;
    if (!window_) {
        window_ = std::make_unique<RadioWindowController>(env_.window);
        steps_ << QStringLiteral("window");
        window_->window()->installEventFilter(this);
        connect(window_.get(), &RadioWindowController::signOnComplete, this, [this] { radioSignOnComplete(); });
        connect(window_.get(), &RadioWindowController::windowFadedIn, this, [this] { windowDidFadeIn(); });
        connect(window_.get(), &RadioWindowController::windowFadedOut, this, [this] { windowDidFadeOut(); });
        setupMenus();
        emit windowCreated(window_.get());
        startScripting();
    }
    // The sign-on at launch starts when the fade-in ends.
    if (!window_->fadeInWindow()) windowDidFadeIn();
}

void RadioAppController::windowDidFadeIn() {
    updateWindowMenu();
    if (!activateAfterWindowFadeIn_ || !window_) return;
    activateAfterWindowFadeIn_ = false;
    window_->window()->raise();
    window_->window()->activateWindow();
}

bool RadioAppController::applicationShouldTerminate() {
    if (windowShouldClose && !windowShouldClose()) return false;
    if (window_) window_->prepareForApplicationTermination();
    if (env_.shutdownPreferences) env_.shutdownPreferences();
    if (!window_ || !window_->window()->isVisible()) return true;
    // The window goes first; the quit follows once it has faded out unless a reopen
    // cancels it.
    quitAfterWindowFadeOut_ = true;
    window_->fadeOutWindow();
    return false;
}

void RadioAppController::quit() {
    if (!applicationShouldTerminate()) return;
    applicationWillTerminate();
    if (env_.terminate)
        env_.terminate();
    else
        QCoreApplication::quit();
}

void RadioAppController::windowDidFadeOut() {
    updateWindowMenu();
    if (!quitAfterWindowFadeOut_ || terminated_) return;
    quitAfterWindowFadeOut_ = false;
    applicationWillTerminate();
    if (env_.terminate)
        env_.terminate();
    else
        QCoreApplication::quit();
}

void RadioAppController::applicationWillTerminate() {
    terminated_ = true;
    if (env_.removeSleepWakeNotifier) env_.removeSleepWakeNotifier();
    if (window_) window_->saveSettings();
    statistics().saveSessionStats();
    defaults_.synchronize();
}

void RadioAppController::applicationShouldHandleReopen() {
    quitAfterWindowFadeOut_ = false;
    showRadioWindow();
    emit reopened();
}

// ---- menus ----------------------------------------------------------------------------

void RadioAppController::setupMenus() {
    QMenuBar* bar = window_->menuBar();
    if (!bar) return;
    // The application's own menu comes first, as on a desktop with a global menu bar.
    auto* application = new QMenu(localizedText("ApplicationMenuTitle"), bar);
    bar->insertMenu(bar->actions().value(0), application);
    application->addAction(localizedText("AboutMenuItem"), this, [this] {
        if (env_.showAbout) env_.showAbout();
    });
    QAction* preferences =
        application->addAction(localizedText("PreferencesMenuItem"), this, [this] { showPreferences(); });
    // A desktop with no binding of its own for it (plain X11) still gets the usual Ctrl+,.
    const QList<QKeySequence> bound = QKeySequence::keyBindings(QKeySequence::Preferences);
    preferences->setShortcuts(bound.isEmpty() ? QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Comma)} : bound);
    signOnMenuItem_ = application->addAction(localizedText("SignOnString"), this, [this] { toggleSignedIn(); });
    application->addSeparator();
    QAction* quitItem = application->addAction(localizedText("Quit"), this, [this] { quit(); });
    quitItem->setShortcut(QKeySequence::Quit);
    connect(application, &QMenu::aboutToShow, this, [this] { updateSignOnItem(); });

    QMenu* windows = bar->addMenu(localizedText("WindowMenuTitle"));
    windowMenuItem_ = windows->addAction(localizedText("RadioWindowMenuItem"), this, [this] { showRadioWindow(); });
    windowMenuItem_->setCheckable(true);
    connect(windows, &QMenu::aboutToShow, this, [this] { updateWindowMenu(); });

    QMenu* help = bar->addMenu(localizedText("HelpMenuTitle"));
    help->addAction(localizedText("HelpMenuItem"), this, [this] { showHelp(); });
    help->addAction(localizedText("AcknowledgementsMenuItem"), this, [this] { showAcknowledgements(); });
    updateWindowMenu();
    updateSignOnItem();
}

void RadioAppController::updateWindowMenu() {
    if (!windowMenuItem_) return;
    MenuState state;
    state.windowVisible = window_ && window_->window()->isVisible();
    windowMenuItem_->setChecked(state.windowVisible);
    windowMenuItem_->setEnabled(validate({MenuAction::ShowRadioWindow}, state).enabled);
}

void RadioAppController::updateSignOnItem() {
    if (!signOnMenuItem_) return;
    MenuState state;
    state.signOnInProgressOrValid = window_ && window_->authenticationInProgressOrValid();
    const MenuValidation v = validate({MenuAction::ToggleSignedIn}, state);
    if (v.title) signOnMenuItem_->setText(*v.title);
    signOnMenuItem_->setEnabled(v.enabled);
}

void RadioAppController::toggleSignedIn() {
    showRadioWindow();
    if (window_->authenticationInProgressOrValid())
        window_->signOff();
    else
        window_->signOn();
    updateSignOnItem();
}

void RadioAppController::showPreferences() {
    if (env_.showPreferences) env_.showPreferences();
}

bool RadioAppController::openURL(const QUrl& url) {
    return env_.openURL ? env_.openURL(url) : QDesktopServices::openUrl(url);
}

void RadioAppController::showHelp() { openURL(QUrl(localizedText("HelpURL"))); }

void RadioAppController::showAcknowledgements() {
    // A browser cannot read the program's built-in resources, so it gets a copy.
    const QString source = Resources::find(QStringLiteral("Acknowledgements"), QStringLiteral("html"));
    if (source.isEmpty()) return;
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QDir().mkpath(folder);
    const QString copy = folder + QStringLiteral("/Acknowledgements.html");
    QFile::remove(copy);
    if (!QFile::copy(source, copy)) return;
    QFile::setPermissions(copy, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    openURL(QUrl::fromLocalFile(copy));
}

bool RadioAppController::eventFilter(QObject* watched, QEvent* event) {
    if (window_ && watched == window_->window() && (event->type() == QEvent::Show || event->type() == QEvent::Hide))
        updateWindowMenu();
    return QObject::eventFilter(watched, event);
}

// ---- activity, power, screen saver ------------------------------------------------------

WindowStatistics& RadioAppController::statistics() {
    static WindowStatistics none;
    return env_.window.statistics ? *env_.window.statistics : none;
}

Scheduler& RadioAppController::scheduler() {
    return env_.window.scheduler ? *env_.window.scheduler : Scheduler::main();
}

void RadioAppController::applicationDidBecomeActive() {
    statistics().startTimer(kStatActiveTime);
    if (window_ && window_->isPlaying()) statistics().startTimer(RadioWindowController::kStatActivePlayingTime);
}

void RadioAppController::applicationDidResignActive() {
    statistics().stopTimer(kStatActiveTime);
    statistics().stopTimer(RadioWindowController::kStatActivePlayingTime);
}

void RadioAppController::machineIsSleeping() {
    if (window_) window_->stopPlaying();
}

void RadioAppController::radioSignOnComplete() {
    screenSaverTimer_ = scheduler().singleShot(std::chrono::seconds(5), [this] { checkOptionalScreenSaverInstall(); });
}

void RadioAppController::checkOptionalScreenSaverInstall() {
    ScreenSaverInstaller* saver = env_.screenSaver;
    if (!saver || !saver->isSupported()) return;
    if (defaults_.boolean(QStringLiteral("screensaver_asked")) || saver->isInstalled()) return;
    QString folder = env_.albumArtFolder;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/albumArt");
    QStringList imageTypes;
    for (const QByteArray& type : QImageReader::supportedImageFormats())
        imageTypes << QString::fromLatin1(type).toLower();
    int images = 0;
    for (const QFileInfo& entry : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden))
        if (imageTypes.contains(entry.suffix().toLower())) ++images;
    if (images < kScreenSaverMinimumImages) return;
    DialogPresenter& presenter = env_.window.presenter ? *env_.window.presenter : DialogPresenter::main();
    const DialogRequest offer =
        RadioWindowController::localizedAlert(DialogRequest::Style::Informational, "ScreenSaverPromptTitle",
                                              "ScreenSaverPromptMessage", {"Install", "Cancel"});
    // Asked once, whatever the answer.
    defaults_.setBool(QStringLiteral("screensaver_asked"), true);
    presenter.present(offer, nullptr, [saver](int button) {
        if (button == 0) saver->install();
    });
}

// ---- scripting on the session bus ---------------------------------------------------------

void RadioAppController::startScripting() {
    scripting_ = std::make_unique<ScriptingModel>(*window_);
    scriptingBus_ = std::make_unique<ZYMScriptingBus>(*scripting_);
    if (!scriptingBus_->registerOn(QDBusConnection::sessionBus()))
        LogMessage(kLogInfo, "scripting is not available on the session bus\n");
    // The same model for the desktop's media keys, sound menu and player tools.
    mprisBus_ = std::make_unique<ZYMMprisBus>(
        *scripting_, ZYMMprisBus::Shell{[this] { applicationShouldHandleReopen(); }, [this] { quit(); },
                                        [this] { return currentAlbumArtFile(); }});
    if (!mprisBus_->registerOn(QDBusConnection::sessionBus()))
        LogMessage(kLogInfo, "the media-player interface is not available on the session bus\n");
    ZYMMprisBus* mpris = mprisBus_.get();
    const auto refresh = [mpris] { Guarded("media-player refresh", [mpris] { mpris->refresh(); }); };
    connect(window_.get(), &RadioWindowController::playingStateChanged, mpris, refresh);
    connect(window_.get(), &RadioWindowController::trackStarted, mpris, refresh);
    connect(window_.get(), &RadioWindowController::signOnComplete, mpris, refresh);
    connect(&window_->volumeSlider(), &QSlider::valueChanged, mpris, refresh);
    for (const QString& url : std::exchange(pendingURLs_, {}))
        ZYMScriptCommands::getURL(*scripting_, url);
}

QString RadioAppController::currentAlbumArtFile() const {
    const RadioMetadataParser* track = window_ ? window_->currentTrackMetadata() : nullptr;
    if (!track || !track->isSong()) return QString();
    const QString name = AlbumArtStore::fileName(track->songArtist(), track->songAlbum(), track->albumArtUrlString());
    if (name.isEmpty()) return QString();
    const QString folder = env_.albumArtFolder.isEmpty() ? AlbumArtStore::defaultFolder() : env_.albumArtFolder;
    return QDir(folder).filePath(name);
}

void RadioAppController::handleURL(const QString& url) {
    if (scripting_)
        ZYMScriptCommands::getURL(*scripting_, url);
    else
        pendingURLs_.append(url);
}
