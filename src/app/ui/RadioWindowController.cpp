#include "app/ui/RadioWindowController.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "app/radio/RadioMetadataParser.h"
#include "app/signon/AuthenticationController.h"
#include "app/foundation/Localizer.h"
#include "app/foundation/NotificationCenter.h"
#include "app/foundation/ServiceLayerError.h"
#include "app/foundation/UserDefaults.h"
#include "app/radio/ZYMRadioStation.h"
#include "app/support/SoftwareUpdateController.h"
#include "app/ui/Buttons.h"
#include "app/ui/ColorSchemeController.h"
#include "app/ui/ListViews.h"
#include "app/ui/LocalizedText.h"
#include "app/ui/NowPlayingDisplay.h"
#include "app/ui/PreferenceNotices.h"
#include "app/ui/RadioStationsDataSource.h"
#include "app/ui/RemoteControlledSlider.h"
#include "app/ui/TextFields.h"
#include "dms/radio3/DMRadio3Service.h"
#include "runtime/LogMessage.h"

namespace {
// Without a speed of its own, the fall-back of the platform that had one.
constexpr int kDefaultBandwidth = 384000;
const QString kSearchResultsItem = QStringLiteral("search_results_item");
}  // namespace

// The window itself: its preset buttons store the stations dropped on them through it.
class RadioWindowWidget : public QWidget, public PresetHost {
public:
    explicit RadioWindowWidget(RadioWindowController& window) : window_(window) {}
    QString stationIDOnPreset(int preset) const override { return window_.stationIDOnPreset(preset); }
    void storeStationIDOnPreset(const QString& stationID, int preset) override {
        Guarded("preset drop", [&] { window_.storeStationIDOnPreset(stationID, preset); });
    }

private:
    RadioWindowController& window_;
};

RadioWindowController::RadioWindowController(WindowEnvironment environment)
    : env_(std::move(environment)), defaults_(env_.defaults ? *env_.defaults : UserDefaults::standardUserDefaults()) {
    if (!env_.clock) env_.clock = &Clock::system();
    if (!env_.scheduler) env_.scheduler = &Scheduler::main();
    if (!env_.statistics) env_.statistics = &defaultStatistics_;
    if (!env_.ads) env_.ads = &defaultAds_;
    if (!env_.service.defaults) env_.service.defaults = &defaults_;
    DMRadio3RegisterService();
    buildWindow();
    setupPlayer();
    callbacks_->ensureAuthController();
    lists_->setup(*dataSource_);
    layout_->setup();
    volume_->setup();
    setupScriptingChatAndTimers();
    display_->setup();
    controls_->setup();
    callbacks_->setup();
    display_->setChatStatusRefresher([this] { display_->updateIChatNowPlaying(); });
    display_->setNowPlayingOverlayShower([this] { layout_->showNowPlayingOverlay(); });
    registerForNotifications();
    display_->interfaceColorsChanged();
    layout_->restoreFrameAndAutosave();
    lists_->setupFindAndDelete();
    updateWindowUI();
    updateDisplay();
    scheduleSoftwareUpdates();
}

RadioWindowController::~RadioWindowController() {
    fadeController_.reset();
    updateTimer_.reset();
    if (session_) session_->disconnect(this);
    session_.reset();
    if (radioService_) radioService_->setDelegate(nullptr);
    lists_.reset();
}

QString RadioWindowController::text(const char* key) { return Localizer::shared().text(QString::fromLatin1(key)); }

void RadioWindowController::buildWindow() {
    window_ = std::make_unique<RadioWindowWidget>(*this);
    window_->setObjectName(QStringLiteral("RadioWindow"));
    window_->resize(640, 520);
    auto* outer = new QVBoxLayout(window_.get());
    menuBar_ = new QMenuBar(window_.get());
    outer->setMenuBar(menuBar_);
    QMenu* controls = menuBar_->addMenu(text("ControlsMenuTitle"));
    controls->addAction(text("PlayStopMenuItem"), this, [this] { togglePlaying(); });
    controls->addAction(text("SignOnString"), this, [this] { signOn(); });
    controls->addAction(text("SignOffString"), this, [this] { signOff(); });
    // From the top: play controls, the presets bar, the lists; the ad panel beside them.
    WindowContainers panels;
    panels.contents = new QWidget;
    panels.playControls = new QWidget(panels.contents);
    panels.gapBelowTopPanel = new QWidget(panels.contents);
    panels.presetControls = new QWidget(panels.contents);
    panels.stationsList = new QWidget(panels.contents);
    auto* top = new QVBoxLayout(panels.playControls);
    auto* presetsPanel = new QVBoxLayout(panels.presetControls);
    auto* stationsPanel = new QVBoxLayout(panels.stationsList);

    auto* display = new NowPlayingDisplay(
        [this] { return colors().colorForKey(QString::fromLatin1(kDisplayBackgroundColorKey)); }, *env_.scheduler);
    display_ = std::make_unique<RadioWindowDisplay>(*this, *display);
    top->addWidget(display);

    WindowControlWidgets parts;
    auto* controlsRow = new QHBoxLayout;
    parts.playButton = new QPushButton;
    connect(parts.playButton, &QPushButton::clicked, this,
            [this] { Guarded("play button", [this] { togglePlaying(); }); });
    auto* volume = new RemoteControlledSlider;
    volume_ = std::make_unique<RadioWindowVolume>(*this, *volume);
    controlsRow->addWidget(parts.playButton);
    controlsRow->addWidget(volume, 1);
    top->addLayout(controlsRow);

    auto* presetsRow = new QHBoxLayout;
    parts.presetsLabel = new QLabel(text("PresetLabel"));
    parts.presetsLabel->setObjectName(QStringLiteral("presetLabel"));
    presetsRow->addWidget(parts.presetsLabel);
    for (int i = 1; i <= kPresetButtons; ++i) {
        auto* b = new PresetButton(i);
        b->setText(QString::number(i));
        b->setObjectName(QStringLiteral("preset%1").arg(i));
        connect(b, &QPushButton::clicked, this, [this, b] { Guarded("preset", [this, b] { playPreset(b->tag()); }); });
        parts.presetButtons.push_back(b);
        presetsRow->addWidget(b);
    }
    presetsPanel->addLayout(presetsRow);
    controls_ = std::make_unique<RadioWindowControls>(*this, std::move(parts));

    auto* search = new SearchTextField;
    search->setObjectName(QStringLiteral("searchField"));
    search->setPlaceholderText(localized(StringKeys::SearchPlaceholder));
    stationsPanel->addWidget(search);
    auto* split = panels.splitter = new QSplitter;
    auto* sourceList = new ExtendedOutlineView;
    auto* stationTable = new ExtendedTableView;
    sourceList->setMinimumWidth(RadioStationLists::kMinSourceListWidth);
    // Names too long for the list are elided, so it never scrolls sideways.
    sourceList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    split->addWidget(sourceList);
    split->addWidget(stationTable);
    split->setStretchFactor(1, 1);
    split->setSizes({170, 470});
    stationsPanel->addWidget(split, 1);
    outer->addWidget(panels.contents, 1);
    lists_ = std::make_unique<RadioWindowLists>(*this, *sourceList, *stationTable, *search);
    layout_ = std::make_unique<RadioWindowLayout>(*this, panels);
}

void RadioWindowController::setupPlayer() {
    if (!radioService_) {
        radioService_ = std::make_unique<ZYMRadioService>(env_.service, env_.radio);
        callbacks_ = std::make_unique<RadioWindowServiceCallbacks>(*this);
        radioService_->setDelegate(callbacks_.get());
    }
    if (!session_) {
        PlaySessionEnvironment play;
        play.defaults = &defaults_;
        play.clock = env_.clock;
        play.scheduler = env_.scheduler;
        play.statistics = env_.statistics;
        play.playerEngines = env_.playerEngines;
        play.playerAgent = QStringLiteral("ZYM_MacClient_%1.%2/CTID (quintrel/2.0)").arg(4250).arg(2318);
        play.playerConfigPath = env_.playerConfigPath;
        play.bandwidthLimit = [this] { return networkBandwidthLimitPreference(); };
        play.applicationActive = [] { return QApplication::applicationState() == Qt::ApplicationActive; };
        session_ = std::make_unique<PlaySession>(*radioService_, std::move(play));
        wirePlaySession();
    }
    volume_->restoreFromDefaults();
    if (!dataSource_) {
        directory_ = std::make_unique<RadioServiceDirectory>(*radioService_);
        dataSource_ = std::make_unique<RadioStationsDataSource>(*directory_, env_.serviceNotifications(), defaults_);
    }
}

bool RadioWindowController::shouldPlayLastStationAtStartup() const {
    return defaults_.boolean(QStringLiteral("play_at_launch"));
}

bool RadioWindowController::fadeInWindow() {
    if (!fadeController_)
        fadeController_ = std::make_unique<WindowFadeController>(window_.get(), this, *env_.clock, *env_.scheduler);
    // A window fully shown has nothing to fade; its fade-in would end at once and could
    // start the launch sign-on again after the listener signed off from the menu.
    if (fadeController_->state() == WindowFadeController::Shown && !fadeController_->isFading() && window_->isVisible())
        return false;
    fadeController_->startWindowFadeIn(20, 0.2);
    return true;
}

void RadioWindowController::fadeOutWindow() {
    if (!fadeController_)
        fadeController_ = std::make_unique<WindowFadeController>(window_.get(), this, *env_.clock, *env_.scheduler);
    fadeController_->startWindowFadeOut(10, 0.1);
}

void RadioWindowController::fadeInCompletedForWindow() {
    emit windowFadedIn();
    if (!launchSetupFinished_) signOnAtStartupIfAppropriate();
}

void RadioWindowController::fadeOutCompletedForWindow() { emit windowFadedOut(); }

void RadioWindowController::finishSetup() {
    // What to select once the lists are rebuilt: at launch, and whenever a sign-off left
    // the lists empty, what the settings remember; else what the listener has chosen.
    const bool launch = !launchSetupFinished_;
    QString sourceID = lists().selectedSourceIdentifier();
    QString stationID = lists_->listedStationID();
    if (launch || sourceID.isEmpty()) {
        const QString saved = defaults_.string(QStringLiteral("selected_source"));
        sourceID = saved.isNull() || saved == kSearchResultsItem ? QString("") : saved;
    }
    const bool restoring = launch || stationID.isEmpty();
    if (restoring) stationID = session_->savedActiveStationID();
    // Rebuilds the lists (the filtered directory changed).
    radioService_->rebuildFilteredArraysWithBandwidth(networkBandwidthLimitPreference());
    lists().selectAgain(sourceID, stationID, restoring);
    if (launch) {
        // A station the launch asked for (a URL) is the one to play, alone and at once.
        const std::optional<QString> lastPlayed = session_->savedPlayingStationID();
        if (shouldPlayLastStationAtStartup() && !forcePlayAtSignOn_ && !playChosenAtLaunch_ && lastPlayed) {
            playStationWithID(*lastPlayed);
            volume_->setFadeInOnPlay(true);
        }
        if (!defaults_.object(QStringLiteral("use_now_playing")).isValid())
            defaults_.setBool(QStringLiteral("use_now_playing"), true);
        launchSetupFinished_ = true;
    }
    playForcedStationAtSignOn();
    setupSleepTimer();
    setupWakeTimer();
    updateWindowUI();
    updateDisplay();
    emit signOnComplete();
}

void RadioWindowController::saveSettings() {
    volume_->cancelVolumeFade();
    dataSource_->saveSettings();
    volume_->saveToDefaults();
    if (auto source = lists().selectedSourceItem(); source && source->identifier() != kSearchResultsItem)
        defaults_.setString(QStringLiteral("selected_source"), source->identifier());
    session_->saveActiveStationToDefaults();
}

void RadioWindowController::prepareForApplicationTermination() {
    if (isTerminating_) return;
    isTerminating_ = true;
    session_->savePlayingStationForNextLaunch();
    stopPlaying();
}

int RadioWindowController::networkBandwidthLimitPreference(UserDefaults& defaults) {
    const qint64 limit = defaults.integer(QStringLiteral("network_bandwidth_limit"));
    return limit > 0 ? int(std::min<qint64>(limit, INT32_MAX)) : kDefaultBandwidth;
}

int RadioWindowController::networkBandwidthLimitPreference() const {
    return networkBandwidthLimitPreference(defaults_);
}

// ---- the play session -----------------------------------------------------------------

void RadioWindowController::wirePlaySession() {
    PlaySession* play = session_.get();
    connect(play, &PlaySession::progressTextChanged, this, [this](const QString& t) { setProgressText(t); });
    connect(play, &PlaySession::changed, this, [this] { updateWindowUI(); });
    connect(play, &PlaySession::playStarting, this, [this] {
        display_->resetToDefaultAlbumArt();
        env_.ads->resetToStaticAd();
    });
    connect(play, &PlaySession::activeStationChanged, this, [this] { lists_->selectActiveStationRow(); });
    connect(play, &PlaySession::stationPlayed, this,
            [this](const std::shared_ptr<ZYMRadioStation>& station) { lists_->notePlayedStation(station); });
    connect(play, &PlaySession::playingStateChanged, this, &RadioWindowController::playingStateChanged);
    connect(play, &PlaySession::streamBuffering, this, [this] { volume_->streamBuffering(); });
    connect(play, &PlaySession::trackProgress, this,
            [this](float position, float total) { display_->updateTrackTimer(position, total); });
    connect(play, &PlaySession::trackStarted, this, [this] { onTrackStart(); });
    connect(play, &PlaySession::trackEnded, this, [this] { display_->trackEnded(); });
}

void RadioWindowController::playStationWithID(const QString& stationID) {
    if (stationID.isEmpty()) return;
    if (auto station = radioService_->stationWithID(stationID)) startPlaying(station, true);
}

void RadioWindowController::togglePlaying() {
    if (isPreparingOrBufferingOrPlaying())
        stopPlaying();
    else
        play();
}

bool RadioWindowController::canPlay() const { return radioService_->serviceAvailable() && activeStation(); }

void RadioWindowController::stopPlaying() {
    volume_->cancelVolumeFade();
    session_->stop();
    stopProgress();
    updateWindowUI();
}

// ---- what a track shows --------------------------------------------------------------

void RadioWindowController::onTrackStart() {
    const RadioMetadataParser* currentTrack = currentTrackMetadata();
    updateDisplay();
    display_->showTrackAlbumArt();
    if (currentTrack && currentTrack->isPromo())
        layout_->displayAdForTrackMetadata();
    else
        layout_->displayAdForPlayingStation();
    // Art still on its way: its arrival announces the track, with the art, once.
    if (!currentTrack || !currentTrack->albumArtPending()) {
        display_->showNowPlayingOverlay();
        display_->refreshChatStatus();
    }
    display_->updateSongTimeLabel(QString(""));
    // The session reports the new track's length next.
    emit trackStarted();
}

// ---- settings --------------------------------------------------------------------------

void RadioWindowController::checkDefaultsForChange(const std::optional<QStringList>& keys) {
    auto changed = [&](const char* key) { return !keys || keys->contains(QLatin1String(key)); };
    if (changed("screenname")) {
        if (AuthenticationController* auth = authenticationController(); auth && !auth->isBusy()) auth->refresh();
        const auto plain = radioService_->authenticatedUsername(false);
        const auto canonical = radioService_->authenticatedUsername(true);
        const QString wanted = defaults_.string(QStringLiteral("screenname"));
        // The same name in another case or spacing is the same account.
        if (plain && canonical && wanted != *plain && sifCanonicalizedString(wanted) != *canonical) {
            LogMessage(kLogDebug, "Screenname in the Account Preferences changed from [%s] to [%s]...Resetting!\n",
                       plain->toUtf8().constData(), wanted.toUtf8().constData());
            resetWithUsername(wanted);
        }
    }
    if (changed("set_ichat_status")) display_->chatStatusPreferenceChanged();
    if (changed("network_bandwidth_limit") && radioService_->serviceAvailable() && radioService_->haveAllStationInfo())
        radioService_->rebuildFilteredArraysWithBandwidth(networkBandwidthLimitPreference());
    if (changed("use_now_playing"))
        stationTable().enableRowMouseTracking(defaults_.boolean(QStringLiteral("use_now_playing")));
}

void RadioWindowController::scheduleSoftwareUpdates() {
    updateTimer_ =
        std::make_unique<SoftwareUpdateTimer>(defaults_, *env_.scheduler, [this] { checkForSoftwareUpdates(); });
    updateTimer_->start();
}

void RadioWindowController::checkForSoftwareUpdates() {
    if (env_.checkForUpdates) env_.checkForUpdates();
}

DialogRequest RadioWindowController::localizedAlert(DialogRequest::Style style, const char* title, const char* message,
                                                    std::initializer_list<const char*> buttons) {
    DialogRequest alert;
    alert.style = style;
    alert.title = text(title);
    alert.messageText = alert.title;
    alert.informativeText = text(message);
    for (const char* key : buttons)
        alert.buttons << text(key);
    return alert;
}

void RadioWindowController::prefChangedNotification(const Notification& notification) {
    checkDefaultsForChange(PreferenceNotices::changedKeys(notification));
}

void RadioWindowController::registerForNotifications() {
    NotificationCenter& app = NotificationCenter::defaultCenter();
    NotificationCenter& service = env_.serviceNotifications();
    std::vector<NotificationCenter*> centers{&app};
    if (&service != &app) centers.push_back(&service);
    for (NotificationCenter* center : centers) {
        subscriptions_.push_back(
            center->observe(RadioMetadataParser::kAlbumArtNotificationName, nullptr, [this](const Notification& n) {
                display_->albumArtLoadingNotification(n.object);
                display_->albumArtLoaded(n.object);
            }));
        subscriptions_.push_back(center->observe(QString::fromLatin1(kPrefObjectChangedNotification), nullptr,
                                                 [this](const Notification& n) { prefChangedNotification(n); }));
        subscriptions_.push_back(
            center->observe(QString::fromLatin1(kDisplayButtonWillPopUpNotification), nullptr,
                            [this](const Notification& n) { display_->linkButtonWillPopUp(n.object); }));
        subscriptions_.push_back(center->observe(QString::fromLatin1(kColorSchemeColorChangedNotification), nullptr,
                                                 [this](const Notification&) { display_->interfaceColorsChanged(); }));
    }
    subscriptions_.push_back(service.observe(QStringLiteral("kRadioServicePresetsChangedNotification"), nullptr,
                                             [this](const Notification&) {
                                                 controls_->updatePresetButtons();
                                                 controls_->makeBackupOfPresets();
                                             }));
}

// ---- scripting, chat and timers ----------------------------------------------------------

void RadioWindowController::setupScriptingChatAndTimers() {
    display_->setupChatStatus();
    sleepTimer_ =
        std::make_unique<SleepWakeTimer>(defaults_, *env_.clock, *env_.scheduler, QStringLiteral("sleep_date"),
                                         QStringLiteral("sleep_repeats"), [this] { stopPlaying(); });
    wakeTimer_ = std::make_unique<SleepWakeTimer>(defaults_, *env_.clock, *env_.scheduler, QStringLiteral("wake_date"),
                                                  QStringLiteral("wake_repeats"), [this] { playActiveStation(); });
    timersSettingsObserver_ =
        env_.serviceNotifications().observe(QStringLiteral("RadioTimersSettingsHaveChangedNotification"), nullptr,
                                            [this](const Notification&) { timersSettingsChanged(); });
}

// ---- scripting -----------------------------------------------------------------------

void RadioWindowController::playStationWithURL(const QString& url) {
    if (!player() || url.isEmpty()) return;
    if (!launchSetupFinished_) playChosenAtLaunch_ = true;
    session_->playStationWithURL(url);
    updateWindowUI();
}

void RadioWindowController::forceSignOnAndPlayStationID(const std::optional<QString>& stationID,
                                                        const std::optional<QString>& name) {
    forcePlayAtSignOn_ = true;
    if (!launchSetupFinished_) playChosenAtLaunch_ = true;
    forcePlayStationID_ = stationID;
    forcePlayStationName_ = name;
    signOn();
}

void RadioWindowController::playForcedStationAtSignOn() {
    if (!forcePlayAtSignOn_) return;
    forcePlayAtSignOn_ = false;
    const auto id = std::exchange(forcePlayStationID_, std::nullopt);
    const auto name = std::exchange(forcePlayStationName_, std::nullopt);
    if (id && radioService_->stationWithID(*id))
        playStationWithID(*id);
    else if (name)
        if (auto station = radioService_->stationWithName(*name)) startPlaying(station, true);
}

void RadioWindowController::timersSettingsChanged() {
    setupSleepTimer();
    setupWakeTimer();
}
