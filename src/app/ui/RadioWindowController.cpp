#include "app/ui/RadioWindowController.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "app/radio/RadioMetadataParser.h"
#include "app/services/AuthPanelDialogs.h"
#include "app/services/AuthenticationController.h"
#include "app/services/Localizer.h"
#include "app/services/NotificationCenter.h"
#include "app/services/Resources.h"
#include "app/services/ServiceLayerError.h"
#include "app/services/UserDefaults.h"
#include "app/services/ZYMRadioStation.h"
#include "app/services/ZYMRadioStationState.h"
#include "app/services/ZYMServicesProvider.h"
#include "app/support/SoftwareUpdateController.h"
#include "app/ui/Buttons.h"
#include "app/ui/ColorSchemeController.h"
#include "app/ui/ListViews.h"
#include "app/ui/LocalizedText.h"
#include "app/ui/NowPlayingDisplay.h"
#include "app/ui/RadioStationsDataSource.h"
#include "app/ui/RemoteControlledSlider.h"
#include "app/ui/TextFields.h"
#include "dms/radio3/DMRadio3Service.h"
#include "engine/SysNetworkConnectivity.h"
#include "engine/base/LogMessage.h"

namespace {
// Without a speed of its own, the fall-back of the platform that had one.
constexpr int kDefaultBandwidth = 384000;
const QString kSearchResultsItem = QStringLiteral("search_results_item");

QByteArray utf8(const QString& s) { return s.toUtf8(); }
}  // namespace

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
    ensureAuthController();
    lists_ = std::make_unique<RadioStationLists>(*sourceList_, *stationTable_, *search_, *dataSource_, *this);
    lists_->setupTableViews();
    setupLayout();
    setupVolume();
    stationTable_->setDoubleAction([this] { stationsTableViewDoubleClick(); });
    connect(stationTable_, &QAbstractItemView::doubleClicked, this,
            [this] { Guarded("double click", [this] { stationsTableViewDoubleClick(); }); });
    stationTable_->setSpaceAction([this] { togglePlaying(); });
    sourceList_->setSpaceAction([this] { togglePlaying(); });
    stationTable_->enableRowMouseTracking(defaults_.boolean(QStringLiteral("use_now_playing")));
    setupScriptingChatAndTimers();
    setupDisplayAndControls();
    setupFrameAutosaveAndCommands();
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

QString RadioWindowController::format(const char* key, const QStringList& args) const {
    return formatOnePass(text(key), args);
}

void RadioWindowController::buildWindow() {
    window_ = makeWindowWidget(*this);
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
    contents_ = new QWidget;
    playControls_ = new QWidget(contents_);
    gapBelowTopPanel_ = new QWidget(contents_);
    presetControls_ = new QWidget(contents_);
    stationsList_ = new QWidget(contents_);
    auto* top = new QVBoxLayout(playControls_);
    auto* presetsPanel = new QVBoxLayout(presetControls_);
    auto* stationsPanel = new QVBoxLayout(stationsList_);

    display_ = new NowPlayingDisplay(
        [this] { return colors().colorForKey(QString::fromLatin1(kDisplayBackgroundColorKey)); }, *env_.scheduler);
    top->addWidget(display_);

    auto* controlsRow = new QHBoxLayout;
    playButton_ = new QPushButton;
    connect(playButton_, &QPushButton::clicked, this, [this] { Guarded("play button", [this] { togglePlaying(); }); });
    volume_ = new RemoteControlledSlider;
    controlsRow->addWidget(playButton_);
    controlsRow->addWidget(volume_, 1);
    top->addLayout(controlsRow);

    auto* presetsRow = new QHBoxLayout;
    presetsLabel_ = new QLabel(text("PresetLabel"));
    presetsLabel_->setObjectName(QStringLiteral("presetLabel"));
    presetsRow->addWidget(presetsLabel_);
    for (int i = 1; i <= kPresetButtons; ++i) {
        auto* b = new PresetButton(i);
        b->setText(QString::number(i));
        b->setObjectName(QStringLiteral("preset%1").arg(i));
        connect(b, &QPushButton::clicked, this, [this, b] { Guarded("preset", [this, b] { playPreset(b->tag()); }); });
        presetButtons_.push_back(b);
        presetsRow->addWidget(b);
    }
    presetsPanel->addLayout(presetsRow);

    search_ = new SearchTextField;
    search_->setObjectName(QStringLiteral("searchField"));
    search_->setPlaceholderText(localized(StringKeys::SearchPlaceholder));
    stationsPanel->addWidget(search_);
    auto* split = splitter_ = new QSplitter;
    sourceList_ = new ExtendedOutlineView;
    stationTable_ = new ExtendedTableView;
    sourceList_->setMinimumWidth(RadioStationLists::kMinSourceListWidth);
    // Names too long for the list are elided, so it never scrolls sideways.
    sourceList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    split->addWidget(sourceList_);
    split->addWidget(stationTable_);
    split->setStretchFactor(1, 1);
    split->setSizes({170, 470});
    stationsPanel->addWidget(split, 1);
    outer->addWidget(contents_, 1);
}

void RadioWindowController::setupPlayer() {
    if (!radioService_) {
        radioService_ = std::make_unique<ZYMRadioService>(env_.service, env_.radio);
        radioService_->setDelegate(this);
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
    double v = 0.5;
    if (defaults_.object(QStringLiteral("volume")).isValid())
        v = std::clamp(double(defaults_.floatValue(QStringLiteral("volume"))), 0.0, 1.0);
    if (std::isnan(v)) v = 0.5;
    volume_->setValue(int(std::lround(v * RemoteControlledSlider::kScale)));
    setVolumeFromSlider(false);
    if (!dataSource_) {
        directory_ = std::make_unique<RadioServiceDirectory>(*radioService_);
        NotificationCenter& center =
            env_.service.notifications ? *env_.service.notifications : NotificationCenter::defaultCenter();
        dataSource_ = std::make_unique<RadioStationsDataSource>(*directory_, center, defaults_);
    }
}

void RadioWindowController::ensureAuthController() {
    if (authController_) return;
    AuthPanelsView* view = env_.panels;
    if (!view) {
        ownPanels_ = std::make_unique<AuthPanelDialogs>();
        view = ownPanels_.get();
    }
    AuthenticationEnvironment auth;
    auth.passwords = env_.passwords;
    auth.defaults = &defaults_;
    auth.presenter = env_.presenter;
    authController_ = std::make_unique<AuthenticationController>(text("RadioKeychainService"), *view, auth);
    authController_->setAuthPanelSticky(false);
    if (!radioService_->authenticationController()) radioService_->setAuthenticationController(authController_.get());
}

// ---- sign-on -------------------------------------------------------------------------

void RadioWindowController::requestRadioService(const QString& userName) {
    if (env_.applicationHidden && env_.applicationHidden()) return;
    if (radioService_->serviceAvailable()) {
        LogMessage(kLogDebug, "requestRadioService - Radio service is already available...\n");
        return;
    }
    if (radioService_->servicePending()) {
        LogMessage(kLogDebug, "requestRadioService - Radio service request is already pending...\n");
        return;
    }
    QString host = env_.reachabilityHost;
    if (host.isEmpty()) {
        ZYMServicesProvider& provider =
            env_.service.provider ? *env_.service.provider : ZYMServicesProvider::sharedProvider();
        host = QUrl(provider.serviceURL()).host();
    }
    const bool reachable = env_.reachable ? env_.reachable(host) : IsNetworkAddressReachable(utf8(host).constData());
    if (!reachable) {
        LogMessage(kLogError, "requestRadioService - ZYM Services are not reachable...\n");
        DialogPresenter& presenter = env_.presenter ? *env_.presenter : DialogPresenter::main();
        const DialogRequest alert = localizedAlert(DialogRequest::Style::Critical, "RadioConnectivityFailureTitle",
                                                   "RadioConnectivityFailureMessage", {"RadioConnectivityFailureOK"});
        presenter.present(alert, window_.get(), [](int) {});
        return;
    }
    ensureAuthController();
    const QString name = userName.isNull() ? authController_->username() : userName;
    radioService_->requestServiceWithUsername(name, window_.get());
}

void RadioWindowController::signOff() {
    saveSettings();
    stopPlaying();
    const auto name = radioService_->authenticatedUsername(true);
    if (name && !name->isEmpty()) {
        radioService_->signOff();
        ZYMServicesProvider& provider =
            env_.service.provider ? *env_.service.provider : ZYMServicesProvider::sharedProvider();
        provider.resetUsername(*name);
    }
    signedOn_ = false;
    env_.statistics->setSignOnState(1);
    if (authController_) authController_->setAuthPanelSticky(true);
    updateDisplay();
}

bool RadioWindowController::shouldPlayLastStationAtStartup() const {
    return defaults_.boolean(QStringLiteral("play_at_launch"));
}

bool RadioWindowController::authenticationInProgressOrValid() const {
    return radioService_->serviceAvailable() || radioService_->servicePending();
}

void RadioWindowController::signOnAtStartupIfAppropriate() {
    ensureAuthController();
    // The keyring answers on its own thread; a slow one delays the sign-on, not the window.
    authController_->whenKeychainAnswered([this] {
        if (!shouldPlayLastStationAtStartup() && authController_->willPromptUserWithPanel()) {
            if (!authController_->username().isEmpty()) return;
            authController_->setAuthPanelSticky(true);
        }
        requestRadioService(QString());
    });
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
    QString sourceID = lists_->selectedSourceIdentifier();
    QString stationID = listedStationID();
    if (launch || sourceID.isEmpty()) {
        const QString saved = defaults_.string(QStringLiteral("selected_source"));
        sourceID = saved.isNull() || saved == kSearchResultsItem ? QString("") : saved;
    }
    const bool restoring = launch || stationID.isEmpty();
    if (restoring) stationID = session_->savedActiveStationID();
    // Rebuilds the lists (the filtered directory changed).
    radioService_->rebuildFilteredArraysWithBandwidth(networkBandwidthLimitPreference());
    lists_->selectAgain(sourceID, stationID, restoring);
    if (launch) {
        // A station the launch asked for (a URL) is the one to play, alone and at once.
        const std::optional<QString> lastPlayed = session_->savedPlayingStationID();
        if (shouldPlayLastStationAtStartup() && !forcePlayAtSignOn_ && !playChosenAtLaunch_ && lastPlayed) {
            playStationWithID(*lastPlayed);
            fadeInVolumeOnPlay_ = true;
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
    cancelVolumeFade();
    dataSource_->saveSettings();
    defaults_.setDouble(QStringLiteral("volume"), double(volume_->value()) / RemoteControlledSlider::kScale);
    if (auto source = lists_->selectedSourceItem(); source && source->identifier() != kSearchResultsItem)
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
        if (display_) resetToDefaultAlbumArt();
        env_.ads->resetToStaticAd();
    });
    connect(play, &PlaySession::activeStationChanged, this, [this] { selectActiveStationRow(); });
    connect(play, &PlaySession::stationPlayed, this,
            [this](const std::shared_ptr<ZYMRadioStation>& station) { notePlayedStation(station); });
    connect(play, &PlaySession::playingStateChanged, this, &RadioWindowController::playingStateChanged);
    connect(play, &PlaySession::streamBuffering, this, [this] {
        if (fadeInVolumeOnPlay_) fadeVolumeIn(5.0);
        fadeInVolumeOnPlay_ = false;
    });
    connect(play, &PlaySession::trackProgress, this,
            [this](float position, float total) { updateTrackTimer(position, total); });
    connect(play, &PlaySession::trackStarted, this, [this] { onTrackStart(); });
    connect(play, &PlaySession::trackEnded, this, [this] { onTrackEnd(); });
}

void RadioWindowController::playStationWithID(const QString& stationID) {
    if (stationID.isEmpty()) return;
    if (auto station = radioService_->stationWithID(stationID)) startPlaying(station, true);
}

void RadioWindowController::playActiveStation() { startPlaying(activeStation(), true); }

void RadioWindowController::togglePlaying() {
    if (isPreparingOrBufferingOrPlaying())
        stopPlaying();
    else
        play();
}

void RadioWindowController::stationsTableViewDoubleClick() {
    const QModelIndex clicked = stationTable_->currentIndex();
    if (clicked.isValid() && stationTable_->selectionModel()->isRowSelected(clicked.row(), QModelIndex()))
        playActiveStation();
}

bool RadioWindowController::canPlay() const { return radioService_->serviceAvailable() && activeStation(); }

void RadioWindowController::notePlayedStation(const std::shared_ptr<ZYMRadioStation>& station) {
    const bool recentShown = lists_->selectedSourceItem() == dataSource_->recentlyPlayedItem();
    std::shared_ptr<RadioStationItem> remembered = recentShown ? lists_->selectedRadioStationItem() : nullptr;
    dataSource_->noteStationPlayed(station->stationID(), recentShown);
    if (recentShown && remembered && dataSource_->indexOfStationItem(remembered.get()) >= 0)
        setActiveStation(remembered->zymRadioStation());
}

void RadioWindowController::setActiveStation(const std::shared_ptr<ZYMRadioStation>& station) {
    session_->setActiveStation(station);
}

void RadioWindowController::selectActiveStationRow() {
    if (!lists_) return;
    const auto active = activeStation();
    auto item = active ? dataSource_->stationItemWithID(active->stationID()) : nullptr;
    const int row = item ? dataSource_->indexOfStationItem(item.get()) : -1;
    if (row != -1) {
        if (stationTable_->currentIndex().row() != row || !stationTable_->selectionModel()->isRowSelected(row, {})) {
            stationTable_->selectRow(row);
            stationTable_->scrollTo(stationTable_->model()->index(row, 0));
        }
    } else if (stationTable_->selectionModel() && stationTable_->selectionModel()->hasSelection()) {
        stationTable_->clearSelection();
    }
}

Delegated RadioWindowController::radioServiceStationURLWillLoad(const QString&) {
    session_->stationURLWillLoad();
    return Delegated::Handled;
}

Delegated RadioWindowController::radioServiceStationURLDidLoad(const QString& progId, const QStringList& urls) {
    session_->stationURLDidLoad(progId, urls);
    return Delegated::Handled;
}

Delegated RadioWindowController::radioServiceStationURLDidFail(const QString& progId) {
    session_->stationURLDidFail(progId);
    return Delegated::Handled;
}

void RadioWindowController::stopPlaying() {
    cancelVolumeFade();
    session_->stop();
    stopProgress();
    updateWindowUI();
}

QString RadioWindowController::playingStationID() const {
    const auto station = playingStation();
    return station ? station->stationID() : QString();
}

void RadioWindowController::ensureStationInfo(const QString& stationID) { radioService_->ensureStationInfo(stationID); }

// ---- what a track shows --------------------------------------------------------------

void RadioWindowController::onTrackStart() {
    const RadioMetadataParser* currentTrack = currentTrackMetadata();
    updateDisplay();
    const QImage& image = currentTrack ? currentTrack->albumArtImage() : QImage();
    if (!image.isNull())
        display_->albumArtView()->setPixmap(QPixmap::fromImage(image));
    else
        display_->albumArtView()->setPixmap(logo());
    if (currentTrack && currentTrack->isPromo())
        displayAdForTrackMetadata();
    else
        displayAdForPlayingStation();
    // Art still on its way: its arrival announces the track, with the art, once.
    if (!currentTrack || !currentTrack->albumArtPending()) {
        if (showNowPlayingOverlay_) showNowPlayingOverlay_();
        if (refreshChatStatus_) refreshChatStatus_();
    }
    updateSongTimeLabel(QString(""));
    // The session reports the new track's length next.
    emit trackStarted();
}

void RadioWindowController::onTrackEnd() {
    // Gone with its track: nothing reads a time that runs on after the end.
    trackTimer_.reset();
    if (display_) updateSongTimeLabel(QString(""));
}

void RadioWindowController::displayAdForPlayingStation() {
    const auto station = playingStation();
    if (!station || !station->banners()) return;
    displayAdWithBanners(*station->banners(),
                         networkBandwidthLimitPreference() < 128001 ? QStringLiteral("600") : QStringLiteral("650"));
}

void RadioWindowController::displayAdForTrackMetadata() {
    if (!currentTrackMetadata()) return;
    const auto banners = currentTrackMetadata()->banners();
    displayAdWithBanners(banners ? *banners : std::vector<std::shared_ptr<const ZYMRadioStationBanner>>{}, QString());
}

void RadioWindowController::displayAdWithBanners(
    const std::vector<std::shared_ptr<const ZYMRadioStationBanner>>& banners, const QString& flavorId) {
    const QString wanted = std::max(0, adHeight_) == 250 ? QStringLiteral("9") : QStringLiteral("8");
    for (const auto& b : banners) {
        if (!b || b->bannerId() != wanted) continue;
        if (!flavorId.isNull() && b->flavorId() == flavorId) {
            env_.ads->displayAdWithMagicNumber(b->magicNumber(), adHeight_);
            return;
        }
        if (!b->imageURL().isEmpty()) {
            env_.ads->displayAdWithImageURL(b->imageURL(), b->magicNumber());
            return;
        }
    }
    env_.ads->resetToStaticAd();
}

// ---- what the window shows -----------------------------------------------------------

QPixmap RadioWindowController::logo() {
    QPixmap bundled(Resources::find(QStringLiteral("zym_logo"), QStringLiteral("png")));
    if (!bundled.isNull()) return bundled;
    QPixmap drawn(80, 80);
    drawn.fill(QColor(0xf0, 0x8a, 0x24));
    QPainter painter(&drawn);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(26);
    painter.setFont(font);
    painter.drawText(drawn.rect(), Qt::AlignCenter, QStringLiteral("ZYM"));
    return drawn;
}
