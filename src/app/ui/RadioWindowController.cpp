#include "app/ui/RadioWindowController.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QUrl>
#include <QUrlQuery>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "app/services/AuthPanelDialogs.h"
#include "app/services/AuthenticationController.h"
#include "app/services/Localizer.h"
#include "app/services/NotificationCenter.h"
#include "app/services/PropertyList.h"
#include "app/services/Resources.h"
#include "app/services/ServiceLayerError.h"
#include "app/services/UserDefaults.h"
#include "app/services/ZYMRadioStation.h"
#include "app/services/ZYMRadioStationState.h"
#include "app/services/ZYMServicesProvider.h"
#include "app/ui/Buttons.h"
#include "app/ui/ColorSchemeController.h"
#include "app/ui/ListViews.h"
#include "app/ui/LocalizedText.h"
#include "app/ui/NowPlayingDisplay.h"
#include "app/ui/RadioMetadataParser.h"
#include "app/ui/RadioStationsDataSource.h"
#include "app/ui/RemoteControlledSlider.h"
#include "app/ui/TextFields.h"
#include "dms/radio3/DMRadio3Service.h"
#include "engine/SysNetworkConnectivity.h"
#include "engine/base/LogMessage.h"

namespace {
constexpr int kNarrowband = 32768;
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
    trackChangeTimer_.reset();
    updateTimer_.reset();
    if (player_) player_->setDelegate(nullptr);
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
    const QString agent = QStringLiteral("ZYM_MacClient_%1.%2/CTID (quintrel/2.0)").arg(4250).arg(2318);
    if (!player_) {
        player_ = env_.playerEngines ? RadioPlayer::create(agent, env_.playerEngines) : RadioPlayer::create(agent);
        if (player_) player_->setDelegate(this);
    }
    configurePlayerConnectionTimeouts();
    double v = 0.5;
    if (defaults_.object(QStringLiteral("volume")).isValid())
        v = std::clamp(double(defaults_.floatValue(QStringLiteral("volume"))), 0.0, 1.0);
    if (std::isnan(v)) v = 0.5;
    volume_->setValue(int(std::lround(v * RemoteControlledSlider::kScale)));
    setVolumeFromSlider(false);
    if (!radioService_) {
        radioService_ = std::make_unique<ZYMRadioService>(env_.service, env_.radio);
        radioService_->setDelegate(this);
    }
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
    if (!shouldPlayLastStationAtStartup() && authController_->willPromptUserWithPanel()) {
        if (!authController_->username().isEmpty()) return;
        authController_->setAuthPanelSticky(true);
    }
    requestRadioService(QString());
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
    if (restoring) stationID = defaults_.string(QStringLiteral("active_station"));
    // Rebuilds the lists (the filtered directory changed).
    radioService_->rebuildFilteredArraysWithBandwidth(networkBandwidthLimitPreference());
    lists_->selectAgain(sourceID, stationID, restoring);
    if (launch) {
        // A station the launch asked for (a URL) is the one to play, alone and at once.
        if (shouldPlayLastStationAtStartup() && !forcePlayAtSignOn_ && !playChosenAtLaunch_ &&
            defaults_.object(QStringLiteral("playing_station")).isValid()) {
            playStationWithID(defaults_.string(QStringLiteral("playing_station")));
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
    // A stream played by its address is no station of the directory; with none chosen (a
    // fault or a sign-off emptied the lists) the last one chosen stays remembered.
    if (activeStation_ && !isPlayedByAddress(*activeStation_))
        defaults_.setString(QStringLiteral("active_station"), activeStation_->stationID());
}

void RadioWindowController::prepareForApplicationTermination() {
    if (isTerminating_) return;
    isTerminating_ = true;
    // After a fault ended the play, the station the listener left playing stays the one
    // to play at the next launch.
    if (playingStation_ || !playEndedByFault_) savePlayingStationToDefaults();
    stopPlaying();
}

int RadioWindowController::networkBandwidthLimitPreference(UserDefaults& defaults) {
    const qint64 limit = defaults.integer(QStringLiteral("network_bandwidth_limit"));
    return limit > 0 ? int(std::min<qint64>(limit, INT32_MAX)) : kDefaultBandwidth;
}

int RadioWindowController::networkBandwidthLimitPreference() const {
    return networkBandwidthLimitPreference(defaults_);
}

// ---- the play road -------------------------------------------------------------------

void RadioWindowController::playStationWithID(const QString& stationID) {
    if (stationID.isEmpty()) return;
    if (auto station = radioService_->stationWithID(stationID)) startPlaying(station, true);
}

void RadioWindowController::playActiveStation() { startPlaying(activeStation_, true); }

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

bool RadioWindowController::canPlay() const { return radioService_->serviceAvailable() && activeStation_; }

void RadioWindowController::startPlaying(const std::shared_ptr<ZYMRadioStation>& station, bool makeActive) {
    if (station == playingStation_) return;
    if (station && !(radioService_->serviceAvailable() && radioService_->stationWithID(station->stationID()))) {
        LogMessage(kLogInfo,
                   "The station [%s] could not be played, since it does not exist in the current valid station list.\n",
                   utf8(station->stationID()).constData());
        return;
    }
    env_.statistics->increment(kStatStationPlays);
    if (player_) player_->stop();
    const QString current = playingStationURL();
    if (!current.isEmpty()) playingStopped(current);
    if (display_) resetToDefaultAlbumArt();
    env_.ads->resetToStaticAd();
    if (makeActive) setActiveStation(station);
    setPlayingStation(station);
    if (station)
        setPlayingStationFormats(
            radioService_->stationFormats(station->stationID(), networkBandwidthLimitPreference()));
    songChangedDueToUserAction_ = true;
    displayElapsedTime_ = false;
    setProgressText(text("FetchingStationURLProgressString"));
    tryPlayingStation(false);
    updateWindowUI();
}

void RadioWindowController::setPlayingStation(const std::shared_ptr<ZYMRadioStation>& station) {
    // The track documents belong to the station that sent them: a stream without
    // metadata must not show the last station's song, nor its waiting one come in later.
    if (station != playingStation_) {
        trackChangeTimer_.reset();
        nextTrack_.reset();
        onTrackEnd();
    }
    playingStation_ = station;
    streamPlaying_ = false;
    haveFormats_ = false;
    formats_.clear();
    formatIndex_ = 0;
    setPlayingStationURLs({});
    if (!station) {
        emit playingStateChanged();
        return;
    }
    setActiveStation(station);
    playEndedByFault_ = false;
    // A stream played by its address is no station to play again from the list.
    if (isPlayedByAddress(*station)) {
        emit playingStateChanged();
        return;
    }
    const bool recentShown = lists_->selectedSourceItem() == dataSource_->recentlyPlayedItem();
    std::shared_ptr<RadioStationItem> remembered = recentShown ? lists_->selectedRadioStationItem() : nullptr;
    dataSource_->noteStationPlayed(station->stationID(), recentShown);
    if (recentShown && remembered && dataSource_->indexOfStationItem(remembered.get()) >= 0)
        setActiveStation(remembered->zymRadioStation());
    emit playingStateChanged();
}

void RadioWindowController::setActiveStation(const std::shared_ptr<ZYMRadioStation>& station) {
    activeStation_ = station ? station : playingStation_;
    if (!lists_) return;
    auto item = activeStation_ ? dataSource_->stationItemWithID(activeStation_->stationID()) : nullptr;
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

void RadioWindowController::setPlayingStationFormats(ZYMRadioStationFormat::List formats) {
    formats_ = std::move(formats);
    haveFormats_ = true;
    formatIndex_ = 0;
}

void RadioWindowController::setPlayingStationURLs(const QStringList& urls) {
    const qint64 number = env_.statistics->number(kStatClientID);
    const QString uid = QStringLiteral("macclient-%1").arg(number);
    QStringList list;
    for (const QString& u : urls) {
        // The listener's number goes in as a query item, whatever query the URL has.
        QUrl url(u);
        QUrlQuery query(url);
        query.removeAllQueryItems(QStringLiteral("uid"));
        query.addQueryItem(QStringLiteral("uid"), uid);
        url.setQuery(query);
        const QString formed = url.toString(QUrl::FullyEncoded);
        if (list.contains(formed)) {
            LogMessage(kLogDebug, "setPlayingStationURLs - url is a duplicate. DROPPED. [%s]\n",
                       utf8(formed).constData());
            continue;
        }
        list.push_back(formed);
    }
    urls_ = list;
    urlIndex_ = 0;
}

bool RadioWindowController::playingStationFormatsAvailable() const {
    return playingStation_ && haveFormats_ && formatIndex_ >= 0 && formatIndex_ < int(formats_.size());
}

bool RadioWindowController::playingStationURLsAvailable() const { return urlIndex_ >= 0 && urlIndex_ < urls_.size(); }

std::shared_ptr<ZYMRadioStationFormat> RadioWindowController::currentFormat() const {
    if (formatIndex_ < 0 || formatIndex_ >= int(formats_.size())) return nullptr;
    return formats_[std::size_t(formatIndex_)];
}

QString RadioWindowController::formatDescription() const {
    auto f = currentFormat();
    return f && f->mediaFormat() ? f->mediaFormat()->theDescription() : QString();
}

QString RadioWindowController::streamName() const {
    // A format the directory does not describe, or a stream played by its address, is
    // named by its station rather than by nothing.
    const QString description = formatDescription();
    if (!description.isEmpty() || !playingStation_) return description;
    return playingStation_->name();
}

QString RadioWindowController::playingStationURL() const {
    if (playingStation_ && playingStationFormatsAvailable() && playingStationURLsAvailable()) return urls_[urlIndex_];
    return QString("");
}

bool RadioWindowController::isStationURLPlaying(const QString& url) const {
    const QString current = playingStationURL();
    const QUrl playing(current), check(url);
    if (!current.isEmpty() && playing.adjusted(QUrl::RemoveScheme) == check.adjusted(QUrl::RemoveScheme)) return true;
    LogMessage(kLogDebug, "isStationURLActive - playing[%s] vs check[%s] - result = %d\n",
               utf8(playing.adjusted(QUrl::RemoveScheme).toString(QUrl::FullyEncoded)).constData(),
               utf8(check.adjusted(QUrl::RemoveScheme).toString(QUrl::FullyEncoded)).constData(), 0);
    return false;
}

void RadioWindowController::tryPlayingStation(bool moveOn) {
    if (!radioService_->serviceAvailable()) {
        // Signed off, nothing can be asked for; a failed stream (one played by its
        // address) must still end, or it would stay "playing" with no sound.
        if (moveOn && playingStation_) givePlayUp();
        return;
    }
    if (moveOn) {
        ++urlIndex_;
        if (!playingStationURLsAvailable()) {
            setPlayingStationURLs({});
            urlIndex_ = 0;
            ++formatIndex_;
        }
    }
    const QString name = playingStation_ ? playingStation_->name() : QString();
    const QString id = playingStation_ ? playingStation_->stationID() : QString();
    if (playingStationURLsAvailable() && playingStationFormatsAvailable()) {
        const QString url = urls_[urlIndex_];
        auto f = currentFormat();
        LogMessage(kLogInfo,
                   "tryPlayingStation - trying station '%s' (%s) with format %d of %d (%s) and url %d of %d (%s)\n",
                   utf8(name).constData(), utf8(id).constData(), formatIndex_ + 1, int(formats_.size()),
                   utf8(formatDescription()).constData(), urlIndex_ + 1, int(urls_.size()), utf8(url).constData());
        configurePlayerBufferingLevelsForBitRate(f->bitRate());
        if (player_) player_->play(url);
        return;
    }
    if (playingStationFormatsAvailable()) {
        LogMessage(kLogInfo, "tryPlayingStation - requesting URLs for station '%s' (%s) with format %d of %d (%s)\n",
                   utf8(name).constData(), utf8(id).constData(), formatIndex_ + 1, int(formats_.size()),
                   utf8(formatDescription()).constData());
        radioService_->requestURLForStation(id, currentFormat());
        return;
    }
    givePlayUp();
}

void RadioWindowController::givePlayUp() {
    const QString name = playingStation_ ? playingStation_->name() : QString();
    LogMessage(kLogInfo, "tryPlayingStation - no more station formats/urls\n");
    setPlayingStation(nullptr);
    playEndedByFault_ = true;
    // The failure stays shown until the next status replaces it.
    setProgressText(format("FetchingStationURLFailedFormatString", {name}));
    updateWindowUI();
}

Delegated RadioWindowController::radioServiceStationURLWillLoad(const QString&) {
    setProgressText(text("FetchingStationURLProgressString"));
    updateWindowUI();
    return Delegated::Handled;
}

Delegated RadioWindowController::radioServiceStationURLDidLoad(const QString& progId, const QStringList& urls) {
    auto f = currentFormat();
    if (!playingStation_ || !f || f->progID() != progId) return Delegated::Handled;
    if (!urls.isEmpty()) {
        setPlayingStationURLs(urls);
        tryPlayingStation(false);
    } else {
        // Nothing to try in this format: go on with the next rather than wait forever.
        tryPlayingStation(true);
    }
    updateWindowUI();
    return Delegated::Handled;
}

Delegated RadioWindowController::radioServiceStationURLDidFail(const QString& progId) {
    LogMessage(kLogError, "RadioServiceDelegate - radioServiceStationURLDidFail - %s\n", utf8(progId).constData());
    // A late failure of a format no longer tried must not skip the current one.
    auto f = currentFormat();
    if (!playingStation_ || !f || f->progID() != progId) return Delegated::Handled;
    tryPlayingStation(true);
    return Delegated::Handled;
}

float RadioWindowController::playerConfigValue(const QString& key, float fallback) const {
    float value = fallback;
    const QString path = env_.playerConfigPath.isEmpty()
                             ? Resources::find(QStringLiteral("playerConfig"), QStringLiteral("plist"))
                             : env_.playerConfigPath;
    if (!path.isEmpty() && QFile::exists(path)) {
        const auto plist = PropertyList::readFile(path);
        if (plist && plist->typeId() == QMetaType::QVariantMap) {
            const QVariant v = plist->toMap().value(key);
            bool ok = false;
            const float f = v.toString().toFloat(&ok);
            if (v.isValid() && ok) value = f;
        }
    }
    if (defaults_.object(key).isValid()) value = defaults_.floatValue(key);
    return value;
}

void RadioWindowController::configurePlayerBufferingLevelsForBitRate(int bitRate) {
    if (!player_) return;
    if (bitRate < kNarrowband)
        player_->setBufferingLevels(playerConfigValue(QStringLiteral("nb_low_watermark"), 5.0f),
                                    playerConfigValue(QStringLiteral("nb_high_watermark"), 7.0f));
    else
        player_->setBufferingLevels(playerConfigValue(QStringLiteral("bb_low_watermark"), 2.0f),
                                    playerConfigValue(QStringLiteral("bb_high_watermark"), 4.0f));
}

void RadioWindowController::configurePlayerConnectionTimeouts() {
    if (!player_) return;
    const float start = playerConfigValue(QStringLiteral("stream_start_timeout"), -1.0f);
    const float stale = playerConfigValue(QStringLiteral("stream_stale_timeout"), -1.0f);
    if (start >= 0 && start <= 1000) player_->setStreamConnectionStartTimeout(start);
    if (stale >= 0 && stale <= 1000) player_->setStreamConnectionStaleTimeout(stale);
}

void RadioWindowController::savePlayingStationToDefaults() {
    if (playingStation_ && isPlayedByAddress(*playingStation_)) return;
    defaults_.setString(QStringLiteral("playing_station"),
                        playingStation_ ? playingStation_->stationID() : QString(""));
}

void RadioWindowController::stopPlaying() {
    playEndedByFault_ = false;
    if (player_) player_->stop();
    cancelVolumeFade();
    trackChangeTimer_.reset();
    const QString current = playingStationURL();
    if (!current.isEmpty())
        playingStopped(current);
    else
        setPlayingStation(nullptr);
    stopProgress();
    updateWindowUI();
}

QString RadioWindowController::playingStationID() const {
    return playingStation_ ? playingStation_->stationID() : QString();
}

void RadioWindowController::ensureStationInfo(const QString& stationID) { radioService_->ensureStationInfo(stationID); }

// ---- player reports ------------------------------------------------------------------

void RadioWindowController::connecting(const QString& url) {
    if (!isStationURLPlaying(url)) return LogMessage(kLogDebug, "connecting: ignored.  old url.\n");
    setProgressText(format("ConnectingProgressString", {streamName()}));
}

void RadioWindowController::bufferingStarted(const QString& url) {
    if (!isStationURLPlaying(url)) return LogMessage(kLogDebug, "bufferingStarted: ignored.  old url.\n");
    setProgressText(format("BufferingProgressString", {streamName()}));
    updateWindowUI();
    if (fadeInVolumeOnPlay_) fadeVolumeIn(5.0);
    fadeInVolumeOnPlay_ = false;
}

void RadioWindowController::playingWillStart(const QString& url) {
    if (!isStationURLPlaying(url)) return LogMessage(kLogDebug, "playingWillStart: ignored.  old url.\n");
    // A document already waiting for its swap is the first track's own; an empty one in its
    // place would lose it.
    if (!currentTrack_ && !nextTrack_) receivedMetaData("<metadata></metadata>", env_.clock->now(), url);
}

void RadioWindowController::playingStarted(const QString& url) {
    if (!isStationURLPlaying(url)) return LogMessage(kLogDebug, "playingStarted: ignored.  old url.\n");
    env_.statistics->startTimer(kStatPlayingTime);
    if (QApplication::applicationState() == Qt::ApplicationActive) env_.statistics->startTimer(kStatActivePlayingTime);
    setProgressText(QString());
    streamPlaying_ = true;
    savePlayingStationToDefaults();
    updateWindowUI();
    emit playingStateChanged();
}

void RadioWindowController::playingStopped(const QString& url) {
    if (!isStationURLPlaying(url)) return LogMessage(kLogDebug, "playingStopped: ignored.  old url.\n");
    LogMessage(kLogDebug, "playingStopped: [%s]\n", utf8(url).constData());
    env_.statistics->stopTimer(kStatPlayingTime);
    env_.statistics->stopTimer(kStatActivePlayingTime);
    // A stream that ends before it ever played (a payload the decoder refuses) failed:
    // that stays shown, not the buffering text, nor nothing.
    const QString failed = streamPlaying_ || !playingStation_
                               ? QString()
                               : format("FetchingStationURLFailedFormatString", {playingStation_->name()});
    onTrackEnd();
    setPlayingStation(nullptr);
    setProgressText(failed);
    updateWindowUI();
}

void RadioWindowController::playingError(const ErrorDescription& error, const QString& url) {
    if (!isStationURLPlaying(url)) return LogMessage(kLogDebug, "playingError: ignored.  old url.\n");
    LogMessage(kLogDebug, "playingError: [%s]\n", utf8(url).constData());
    LogMessage(kLogError, "Got playing error (domain %s, error %d)\n", utf8(error.domain()).constData(), error.code());
    if (error.code() == kNetworkUnreachable) {
        LogMessage(kLogInfo, "playingError: network disconnect. playing aborted.\n");
        setPlayingStation(nullptr);
        playEndedByFault_ = true;
    } else if (!playingStation_) {
        LogMessage(kLogInfo, "playingError: mPlayingStation is nil. playing aborted.\n");
    } else {
        LogMessage(kLogInfo, "playingError: mPlayingStation is [%s]. try playing again.\n",
                   utf8(playingStation_->name()).constData());
        tryPlayingStation(true);
    }
    updateWindowUI();
}

void RadioWindowController::trackProgressAt(float position, float total, float buffered, const QString& url) {
    if (!isStationURLPlaying(url)) return LogMessage(kLogDebug, "trackProgressAt: ignored.  old url.\n");
    if (position > 1.0f) displayElapsedTime_ = true;
    // The position is where the stream has been read to; what is heard lags by the buffer.
    updateTrackTimer(std::max(0.0f, position - buffered), total);
}

void RadioWindowController::receivedMetaData(const QByteArray& text, const QDateTime& trackStart, const QString& url) {
    if (!isStationURLPlaying(url)) return LogMessage(kLogDebug, "receivedMetaData: ignored.  old url.\n");
    // A stream may repeat the waiting document by the thousand: read it and fetch its art once.
    const bool repeated = nextTrack_ && text == nextTrackText_;
    if (!repeated) {
        nextTrack_ = std::make_unique<RadioMetadataParser>(QString::fromUtf8(text));
        nextTrackText_ = text;
    }
    if (playingStation_ && !repeated) {
        const auto partial = nextTrack_->songAlbumArtPartialURL();
        if (partial && !partial->isEmpty()) {
            nextTrack_->fetchAlbumArtWithBaseURL(playingStation_->albumArtBaseURL().value_or(QString()));
        } else if (const auto& images = playingStation_->images(); images && !images->empty() && images->front()) {
            nextTrack_->fetchAlbumArtWithArtURL(images->front()->url());
        }
    }
    trackChangeTimer_.reset();
    const qint64 ms = std::max<qint64>(0, env_.clock->now().msecsTo(trackStart));
    trackChangeTimer_ =
        env_.scheduler->singleShot(std::chrono::milliseconds(ms), [this, url] { trackChangeUpdate(url); });
}

void RadioWindowController::trackChangeUpdate(const QString& url) {
    // One line per track change: a stream may send metadata packets by the thousand.
    LogMessage(kLogDebug, "trackChangeUpdate: the next track starts\n");
    onTrackEnd();
    currentTrack_ = std::move(nextTrack_);
    onTrackStart(url);
    trackChangeTimer_.reset();
}

void RadioWindowController::onTrackStart(const QString& url) {
    updateDisplay();
    const QImage& image = currentTrack_ ? currentTrack_->albumArtImage() : QImage();
    if (!image.isNull())
        display_->albumArtView()->setPixmap(QPixmap::fromImage(image));
    else
        display_->albumArtView()->setPixmap(logo());
    if (currentTrack_ && currentTrack_->isPromo())
        displayAdForTrackMetadata();
    else
        displayAdForPlayingStation();
    // Art still on its way: its arrival announces the track, with the art, once.
    if (!currentTrack_ || !currentTrack_->albumArtPending()) {
        if (showNowPlayingOverlay_) showNowPlayingOverlay_();
        if (refreshChatStatus_) refreshChatStatus_();
    }
    updateSongTimeLabel(QString(""));
    trackProgressAt(0, currentTrack_ ? currentTrack_->songLengthSeconds() : 0, 0, url);
    emit trackStarted();
}

void RadioWindowController::onTrackEnd() {
    currentTrack_.reset();
    // Gone with its track: nothing reads a time that runs on after the end.
    trackTimer_.reset();
    if (display_) updateSongTimeLabel(QString(""));
}

void RadioWindowController::displayAdForPlayingStation() {
    if (!playingStation_ || !playingStation_->banners()) return;
    displayAdWithBanners(*playingStation_->banners(),
                         networkBandwidthLimitPreference() < 128001 ? QStringLiteral("600") : QStringLiteral("650"));
}

void RadioWindowController::displayAdForTrackMetadata() {
    if (!currentTrack_) return;
    const auto banners = currentTrack_->banners();
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
