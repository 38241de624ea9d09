// What the main window does with the radio service's reports: sign-on progress and its
// statistics, one silent sign-on after a lost service, the directory's loading with its
// sheet, the station lists, the state of the station under the pointer and presets that
// changed on the server.

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/signon/AuthPanelDialogs.h"
#include "app/signon/AuthenticationController.h"
#include "app/services/ZYMServicesProvider.h"
#include "app/foundation/ErrorDescription.h"
#include "app/foundation/UserDefaults.h"
#include "app/radio/ZYMRadioStation.h"
#include "app/radio/ZYMRadioStationState.h"
#include "app/ui/DisplayTexts.h"
#include "app/ui/ListViews.h"
#include "app/ui/RadioStationsDataSource.h"
#include "app/ui/RadioWindowController.h"
#include "app/ui/RadioWindowControls.h"
#include "app/ui/RadioWindowLists.h"
#include "app/ui/RadioWindowServiceCallbacks.h"
#include "app/ui/RadioWindowVolume.h"
#include "engine/SysNetworkConnectivity.h"
#include "runtime/LogMessage.h"

namespace {
constexpr int kSignedOff = 1;
constexpr int kAuthenticating = 2;
constexpr int kAuthenticated = 3;
const QString kDiscoveryFailed = QStringLiteral("DiscoveryFailed");
constexpr auto kSheetDelay = std::chrono::seconds(2);

QByteArray utf8(const std::optional<QString>& s) { return s.value_or(QString()).toUtf8(); }
QByteArray utf8(const QString& s) { return s.toUtf8(); }
}  // namespace

RadioWindowServiceCallbacks::RadioWindowServiceCallbacks(RadioWindowController& window) : window_(window) {}

RadioWindowServiceCallbacks::~RadioWindowServiceCallbacks() = default;

void RadioWindowServiceCallbacks::setup() {
    progressPanel_ = new QDialog(window_.window());
    progressPanel_->setObjectName(QStringLiteral("radioProgressPanel"));
    progressPanel_->setWindowModality(Qt::WindowModal);
    auto* sheet = new QVBoxLayout(progressPanel_);
    progressTitle_ = new QLabel;
    progressIndicator_ = new QProgressBar;
    auto* button = new QPushButton(localized(DisplayKeys::ProgressPanelButton));
    button->setObjectName(QStringLiteral("radioProgressButton"));
    button->setAutoDefault(false);
    sheet->addWidget(progressTitle_);
    sheet->addWidget(progressIndicator_);
    sheet->addWidget(button, 0, Qt::AlignRight);
    connect(button, &QPushButton::clicked, progressPanel_, [this] { progressPanel_->done(0); });
    connect(progressPanel_, &QDialog::finished, this, [this](int code) { radioProgressPanelDidEnd(code); });
}

void RadioWindowServiceCallbacks::setProgressText(const QString& text) { window_.setProgressText(text); }

// ---- sign-on -------------------------------------------------------------------------

void RadioWindowServiceCallbacks::ensureAuthController() {
    if (authController_) return;
    AuthPanelsView* view = window_.environment().panels;
    if (!view) {
        ownPanels_ = std::make_unique<AuthPanelDialogs>();
        view = ownPanels_.get();
    }
    AuthenticationEnvironment auth;
    auth.passwords = window_.environment().passwords;
    auth.defaults = &window_.defaults();
    auth.presenter = window_.environment().presenter;
    authController_ =
        std::make_unique<AuthenticationController>(RadioWindowController::text("RadioKeychainService"), *view, auth);
    authController_->setAuthPanelSticky(false);
    if (!window_.radioService().authenticationController())
        window_.radioService().setAuthenticationController(authController_.get());
}

// ---- sign-on -------------------------------------------------------------------------

void RadioWindowServiceCallbacks::requestRadioService(const QString& userName) {
    if (window_.environment().applicationHidden && window_.environment().applicationHidden()) return;
    if (window_.radioService().serviceAvailable()) {
        LogMessage(kLogDebug, "requestRadioService - Radio service is already available...\n");
        return;
    }
    if (window_.radioService().servicePending()) {
        LogMessage(kLogDebug, "requestRadioService - Radio service request is already pending...\n");
        return;
    }
    QString host = window_.environment().reachabilityHost;
    if (host.isEmpty()) {
        ZYMServicesProvider& provider = window_.environment().service.provider ? *window_.environment().service.provider
                                                                               : ZYMServicesProvider::sharedProvider();
        host = QUrl(provider.serviceURL()).host();
    }
    const bool reachable = window_.environment().reachable ? window_.environment().reachable(host)
                                                           : IsNetworkAddressReachable(utf8(host).constData());
    if (!reachable) {
        LogMessage(kLogError, "requestRadioService - ZYM Services are not reachable...\n");
        DialogPresenter& presenter = window_.environment().dialogs();
        const DialogRequest alert =
            RadioWindowController::localizedAlert(DialogRequest::Style::Critical, "RadioConnectivityFailureTitle",
                                                  "RadioConnectivityFailureMessage", {"RadioConnectivityFailureOK"});
        presenter.present(alert, window_.window(), [](int) {});
        return;
    }
    ensureAuthController();
    const QString name = userName.isNull() ? authController_->username() : userName;
    window_.radioService().requestServiceWithUsername(name, window_.window());
}

void RadioWindowServiceCallbacks::signOff() {
    window_.saveSettings();
    window_.stopPlaying();
    const auto name = window_.radioService().authenticatedUsername(true);
    if (name && !name->isEmpty()) {
        window_.radioService().signOff();
        ZYMServicesProvider& provider = window_.environment().service.provider ? *window_.environment().service.provider
                                                                               : ZYMServicesProvider::sharedProvider();
        provider.resetUsername(*name);
    }
    window_.environment().statistics->setSignOnState(1);
    if (authController_) authController_->setAuthPanelSticky(true);
    window_.updateDisplay();
}

bool RadioWindowServiceCallbacks::authenticationInProgressOrValid() const {
    return window_.radioService().serviceAvailable() || window_.radioService().servicePending();
}

void RadioWindowServiceCallbacks::signOnAtStartupIfAppropriate() {
    ensureAuthController();
    // The keyring answers on its own thread; a slow one delays the sign-on, not the window.
    authController_->whenKeychainAnswered([this] {
        if (!window_.shouldPlayLastStationAtStartup() && authController_->willPromptUserWithPanel()) {
            if (!authController_->username().isEmpty()) return;
            authController_->setAuthPanelSticky(true);
        }
        requestRadioService(QString());
    });
}

void RadioWindowServiceCallbacks::resetWithUsername(const QString& userName) {
    if (userName.isNull()) return;
    signOff();
    if (authController_ && !authController_->isBusy()) authController_->refresh();
    requestRadioService(userName);
}

Delegated RadioWindowServiceCallbacks::authenticationStartedForUsername(const QString& name) {
    setProgressText(localizedFormat(DisplayKeys::AuthenticatingProgressString, {name}));
    window_.environment().statistics->setSignOnState(kAuthenticating);
    return Delegated::Handled;
}

void RadioWindowServiceCallbacks::authenticationDone(bool ok) {
    if (!ok) {
        setProgressText(localized(DisplayKeys::AuthenticationFailedStatusString));
        window_.environment().statistics->endSession(2, 12294);
        return;
    }
    window_.environment().statistics->setSignOnState(kAuthenticated);
    setProgressText(localized(DisplayKeys::DiscoveringProgressString));
}

void RadioWindowServiceCallbacks::authenticationCancelled() {
    // The cancel stays readable until the next status replaces it.
    setProgressText(localized(DisplayKeys::AuthenticationCancelledStatusString));
    window_.environment().statistics->setSignOnState(kSignedOff);
}

void RadioWindowServiceCallbacks::serviceRequestDone(bool ok) {
    if (!ok) {
        serviceDidBecomeInvalidWithReason(window_.radioService(), kDiscoveryFailed);
        return;
    }
    setProgressText(QString());
    window_.updateWindowUI();
    if (requestServiceRetryCount_ > 0) window_.playSession().resumePlaying();
    requestServiceRetryCount_ = 0;
}

void RadioWindowServiceCallbacks::serviceWillBecomeInvalid(ZYMGenericService&) { window_.saveSettings(); }

void RadioWindowServiceCallbacks::serviceDidBecomeInvalidWithReason(ZYMGenericService&, const QString& reason) {
    const bool loggedOff = reason == QLatin1String(kInvalidityUserLoggedOff);
    // A deliberate sign-off is no outage; the display says "not signed on" by itself.
    setProgressText(loggedOff ? QString() : localized(DisplayKeys::RadioUnavailableStatusString));
    hideRadioProgressPanel();
    window_.windowVolume().cancelVolumeFade();
    if (!loggedOff)
        resumeOrGiveUpAfterLoss(reason);
    else
        directoryLoaded_ = false;
    window_.environment().statistics->setSignOnState(kSignedOff);
    window_.updateWindowUI();
}

void RadioWindowServiceCallbacks::resumeOrGiveUpAfterLoss(const QString& reason) {
    if (directoryLoaded_ && requestServiceRetryCount_ < 1) {
        ++requestServiceRetryCount_;
        LogMessage(kLogInfo, "serviceDidBecomeInvalid - %s - signing on again silently\n", reason.toUtf8().constData());
        if (authController_) authController_->setAuthPanelSticky(false);
        retryTimer_ = window_.environment().scheduler->singleShot(std::chrono::milliseconds(0), [this] {
            auto self = std::move(retryTimer_);
            window_.requestRadioService(QString());
        });
        return;
    }
    window_.environment().statistics->endSession(reason == kDiscoveryFailed ? 2 : 3,
                                                 reason == kDiscoveryFailed ? 12294 : 9);
    requestServiceRetryCount_ = 0;
    directoryLoaded_ = false;
    if (authController_) authController_->setAuthPanelSticky(true);
    const bool playing = window_.isPreparingOrBufferingOrPlaying();
    if (playing) {
        window_.stopPlaying();
    } else {
        window_.playSession().clearPlayingStation();
    }
    if (playing) window_.playSession().notePlayEndedByFault();
}

void RadioWindowServiceCallbacks::serviceEncounteredError(const ZYMServiceErrorDescription& error) {
    LogMessage(kLogInfo, "serviceEncounteredError: %s\n", error.description().toUtf8().constData());
    // The fault stays shown until the next status replaces it.
    if (!error.sifFaultString().isEmpty())
        setProgressText(localizedFormat(DisplayKeys::RadioServiceErrorFaultFormatString, {error.sifFaultString()}));
}

// ---- loading the directory -----------------------------------------------------------

Delegated RadioWindowServiceCallbacks::radioServiceInformationWillLoad() {
    setProgressText(localized(DisplayKeys::UpdatingStationsProgressString));
    return Delegated::Handled;
}

Delegated RadioWindowServiceCallbacks::radioServiceServerInformationWillLoad() {
    // A listener already hearing a station never gets the sheet.
    if (!window_.radioService().haveAllStationInfo() && !window_.streamPlaying()) {
        showRadioProgressPanel(window_.radioService().countOfTotalInfoRequests());
        updateRadioProgressWithInfoRequestStatus();
    }
    return Delegated::Handled;
}

Delegated RadioWindowServiceCallbacks::radioServiceStationsDidLoad() {
    progressIndicator_->setMaximum(window_.radioService().countOfTotalInfoRequests());
    updateRadioProgressWithInfoRequestStatus();
    return Delegated::Handled;
}

Delegated RadioWindowServiceCallbacks::radioServiceGenresDidLoad() {
    updateRadioProgressWithInfoRequestStatus();
    return Delegated::Handled;
}

Delegated RadioWindowServiceCallbacks::radioServiceMediaFormatsDidLoad() {
    updateRadioProgressWithInfoRequestStatus();
    return Delegated::Handled;
}

Delegated RadioWindowServiceCallbacks::radioServiceMaxPresetsDidLoad() {
    updateRadioProgressWithInfoRequestStatus();
    return Delegated::Handled;
}

Delegated RadioWindowServiceCallbacks::radioServicePresetsDidLoad() {
    NotificationCenter& center = window_.environment().serviceNotifications();
    center.post(QStringLiteral("kRadioServicePresetsChangedNotification"));
    updateRadioProgressWithInfoRequestStatus();
    return Delegated::Handled;
}

Delegated RadioWindowServiceCallbacks::radioServiceStationDetailsWillLoad(const std::optional<QString>& stationID) {
    if (stationID && !stationID->isEmpty() && stationID == window_.playingStationID() && !window_.streamPlaying())
        setProgressText(localized(DisplayKeys::FetchingStationInfoProgressString));
    return Delegated::Handled;
}

Delegated RadioWindowServiceCallbacks::radioServiceStationDetailsDidLoad(const std::optional<QString>& stationID) {
    if (stationID && !stationID->isEmpty()) {
        if (!radioProgressPanelVisible()) {
            if (auto item = window_.dataSource().stationItemWithID(*stationID)) {
                const int row = window_.dataSource().indexOfStationItem(item.get());
                window_.dataSource().stationsModel().reloadRows(row, row);
            }
        } else {
            updateRadioProgressWithInfoRequestStatus();
        }
        return Delegated::Handled;
    }
    updateRadioProgressWithInfoRequestStatus();
    window_.dataSource().stationsModel().reloadRows(-1, -1);
    window_.updateWindowUI();
    return Delegated::Handled;
}

Delegated RadioWindowServiceCallbacks::radioServiceInformationDidLoad() {
    updateRadioProgressWithInfoRequestStatus();
    hideRadioProgressPanel();
    directoryLoaded_ = true;
    window_.finishSetup();
    setProgressText(window_.radioService().filteredStations().empty() ? localized(DisplayKeys::NoRadioStationsFit)
                                                                      : QString());
    window_.updateWindowUI();
    return Delegated::Handled;
}

Delegated RadioWindowServiceCallbacks::radioServiceCachedInformationDidLoad() {
    if (window_.radioService().haveAllStationInfo()) {
        directoryLoaded_ = true;
        window_.finishSetup();
    } else {
        LogMessage(kLogDebug,
                   "RadioServiceDelegate - radioServiceCachedInformationDidLoad - waiting for information "
                   "from the service to call finishSetup\n");
    }
    setProgressText(QString());
    window_.updateWindowUI();
    return Delegated::Handled;
}

Delegated RadioWindowServiceCallbacks::radioServiceServerInformationDidFail() {
    setProgressText(localized(DisplayKeys::RadioUnavailableStatusString));
    hideRadioProgressPanel();
    signOffTimer_ = window_.environment().scheduler->singleShot(std::chrono::milliseconds(100), [this] {
        auto self = std::move(signOffTimer_);
        const bool playing = window_.isPreparingOrBufferingOrPlaying();
        window_.signOff();
        if (playing) window_.playSession().notePlayEndedByFault();
        // The reason stays shown after the sign-off.
        setProgressText(localized(DisplayKeys::RadioUnavailableStatusString));
    });
    return Delegated::Handled;
}

Delegated RadioWindowServiceCallbacks::radioServiceFilteredInformationDidChange() {
    const auto& filtered = window_.radioService().filteredStations();
    const auto listed = [&](const QString& id) {
        return !id.isEmpty() &&
               std::any_of(filtered.begin(), filtered.end(), [&](const auto& s) { return s && s->stationID() == id; });
    };
    // Only a station of the directory that no longer fits stops (a stream played by its
    // address is none); with nothing playing, the listener's station stays chosen as long
    // as it is listed.
    if (window_.playingStation() && !PlaySession::isPlayedByAddress(*window_.playingStation()) &&
        !listed(window_.playingStationID()))
        window_.stopPlaying();
    const QString sourceID = window_.lists().selectedSourceIdentifier();
    QString stationID = window_.windowLists().listedStationID();
    if (!listed(stationID)) {
        window_.setActiveStation(nullptr);
        stationID = window_.windowLists().listedStationID();
    }
    window_.dataSource().rebuild();
    // Every rebuild makes new rows: find the listener's again by identifier.
    window_.lists().selectAgain(sourceID, stationID);
    window_.updateWindowUI();
    return Delegated::Handled;
}

void RadioWindowServiceCallbacks::updateRadioProgressWithInfoRequestStatus() {
    if (!window_.radioServiceIfMade()) return;
    const int total = window_.radioService().countOfTotalInfoRequests();
    const int pending = window_.radioService().countOfPendingInfoRequests();
    updateRadioProgressPanel(localized(DisplayKeys::RadioInfoRequestProgressTitle),
                             pending > 0 ? total - pending : total);
}

// ---- the station under the pointer ---------------------------------------------------

Delegated RadioWindowServiceCallbacks::radioServiceStationStateDidLoad(
    const std::shared_ptr<ZYMRadioStationState>& state) {
    if (!state) {
        window_.windowControls().updateNowPlayingTextLabel(nullptr, nullptr);
        return Delegated::Handled;
    }
    if (!window_.radioServiceIfMade()) return Delegated::Handled;
    const auto id = state->stationID();
    // A state of a station the service does not know only logs.
    auto station = id ? window_.radioService().stationWithProgId(*id) : nullptr;
    if (!station && id) station = window_.radioService().stationWithID(*id);
    if (!station) {
        LogMessage(kLogDebug, "radioServiceStationStateDidLoad - no station for state [%s]\n", utf8(id).constData());
        return Delegated::Handled;
    }
    LogMessage(kLogDebug, "Got state for station [%s]: now playing title=\"%s\", album=\"%s\", artist=\"%s\"\n",
               station->name().toUtf8().constData(), utf8(state->currentTrackTitle()).constData(),
               utf8(state->currentTrackAlbumTitle()).constData(), utf8(state->currentTrackArtistName()).constData());
    if (window_.windowControls().lastStationWithHoverFocus() == station->stationID()) {
        window_.windowControls().updateNowPlayingTextLabel(station.get(), state.get());
    } else if (!window_.windowControls().lastStationWithHoverFocus().isEmpty()) {
        const auto focus = window_.radioService().stationWithID(window_.windowControls().lastStationWithHoverFocus());
        LogMessage(kLogDebug, "radioServiceStationStateDidLoad - station [%s] is not the current focus station [%s]\n",
                   station->name().toUtf8().constData(), (focus ? focus->name() : QString()).toUtf8().constData());
    }
    return Delegated::Handled;
}

// ---- presets changed on the server ---------------------------------------------------

Delegated RadioWindowServiceCallbacks::radioServicePresetsOutOfDate() {
    DialogPresenter& presenter = window_.environment().dialogs();
    const DialogRequest alert = RadioWindowController::localizedAlert(
        DialogRequest::Style::Critical, DisplayKeys::PresetsOutOfDateTitle.key, DisplayKeys::PresetsOutOfDateMsg.key,
        {DisplayKeys::PresetsOutOfDateReload.key, DisplayKeys::PresetsOutOfDateForce.key});
    presenter.present(alert, window_.window(), [this](int code) { presetsOutOfDateSheetDidEnd(code); });
    return Delegated::Handled;
}

void RadioWindowServiceCallbacks::presetsOutOfDateSheetDidEnd(int button) {
    // A sheet closed without a choice overwrites nothing on either side.
    if (button == 0)
        window_.radioService().loadStationPresets();
    else if (button == 1)
        window_.radioService().forcePresetsToReplaceHostPresets();
}

// ---- the loading sheet ---------------------------------------------------------------

void RadioWindowServiceCallbacks::showRadioProgressPanel(int maximum) {
    progressTitle_->setText(localized(DisplayKeys::ProgressPanelTitle));
    progressIndicator_->setRange(0, std::max(0, maximum));
    progressIndicator_->setValue(0);
    if (progressPanel_->isVisible()) return;
    // Shown only when loading lasts; a quick load never flashes it.
    progressTimer_ = window_.environment().scheduler->singleShot(kSheetDelay, [this] {
        auto self = std::move(progressTimer_);
        progressPanel_->open();
    });
}

void RadioWindowServiceCallbacks::updateRadioProgressPanel(const QString& text, int value) {
    if (!text.isNull()) progressTitle_->setText(text);
    progressIndicator_->setValue(value);
    progressPanel_->update();
}

void RadioWindowServiceCallbacks::hideRadioProgressPanel() {
    progressTimer_.reset();
    if (progressPanel_ && progressPanel_->isVisible()) progressPanel_->done(1);
}

bool RadioWindowServiceCallbacks::radioProgressPanelVisible() const {
    return progressPanel_ && progressPanel_->isVisible();
}

void RadioWindowServiceCallbacks::radioProgressPanelDidEnd(int code) {
    progressPanel_->hide();
    if (code == 0) window_.signOff();
}

// ---- the stream URLs, for the play session -----------------------------------------

Delegated RadioWindowServiceCallbacks::radioServiceStationURLWillLoad(const QString&) {
    window_.playSession().stationURLWillLoad();
    return Delegated::Handled;
}

Delegated RadioWindowServiceCallbacks::radioServiceStationURLDidLoad(const QString& progId, const QStringList& urls) {
    window_.playSession().stationURLDidLoad(progId, urls);
    return Delegated::Handled;
}

Delegated RadioWindowServiceCallbacks::radioServiceStationURLDidFail(const QString& progId) {
    window_.playSession().stationURLDidFail(progId);
    return Delegated::Handled;
}
