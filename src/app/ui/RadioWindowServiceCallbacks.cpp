// What the main window does with the radio service's reports: sign-on progress and its
// statistics, one silent sign-on after a lost service, the directory's loading with its
// sheet, the station lists, the state of the station under the pointer and presets that
// changed on the server.

#include <QProgressBar>

#include "app/signon/AuthenticationController.h"
#include "app/foundation/ErrorDescription.h"
#include "app/foundation/UserDefaults.h"
#include "app/radio/ZYMRadioStation.h"
#include "app/radio/ZYMRadioStationState.h"
#include "app/ui/DisplayTexts.h"
#include "app/ui/ListViews.h"
#include "app/ui/RadioStationsDataSource.h"
#include "app/ui/RadioWindowController.h"
#include "runtime/LogMessage.h"

namespace {
constexpr int kSignedOff = 1;
constexpr int kAuthenticating = 2;
constexpr int kAuthenticated = 3;
const QString kDiscoveryFailed = QStringLiteral("DiscoveryFailed");

QByteArray utf8(const std::optional<QString>& s) { return s.value_or(QString()).toUtf8(); }
}  // namespace

// ---- sign-on -------------------------------------------------------------------------

Delegated RadioWindowController::authenticationStartedForUsername(const QString& name) {
    setProgressText(localizedFormat(DisplayKeys::AuthenticatingProgressString, {name}));
    env_.statistics->setSignOnState(kAuthenticating);
    return Delegated::Handled;
}

void RadioWindowController::authenticationDone(bool ok) {
    if (!ok) {
        setProgressText(localized(DisplayKeys::AuthenticationFailedStatusString));
        env_.statistics->endSession(2, 12294);
        return;
    }
    env_.statistics->setSignOnState(kAuthenticated);
    setProgressText(localized(DisplayKeys::DiscoveringProgressString));
}

void RadioWindowController::authenticationCancelled() {
    // The cancel stays readable until the next status replaces it.
    setProgressText(localized(DisplayKeys::AuthenticationCancelledStatusString));
    env_.statistics->setSignOnState(kSignedOff);
}

void RadioWindowController::serviceRequestDone(bool ok) {
    signedOn_ = ok;
    if (!ok) {
        serviceDidBecomeInvalidWithReason(*radioService_, kDiscoveryFailed);
        return;
    }
    setProgressText(QString());
    updateWindowUI();
    if (requestServiceRetryCount_ > 0) session_->resumePlaying();
    requestServiceRetryCount_ = 0;
}

void RadioWindowController::serviceWillBecomeInvalid(ZYMGenericService&) { saveSettings(); }

void RadioWindowController::serviceDidBecomeInvalidWithReason(ZYMGenericService&, const QString& reason) {
    const bool loggedOff = reason == QLatin1String(kInvalidityUserLoggedOff);
    // A deliberate sign-off is no outage; the display says "not signed on" by itself.
    setProgressText(loggedOff ? QString() : localized(DisplayKeys::RadioUnavailableStatusString));
    hideRadioProgressPanel();
    cancelVolumeFade();
    if (!loggedOff)
        resumeOrGiveUpAfterLoss(reason);
    else
        directoryLoaded_ = false;
    env_.statistics->setSignOnState(kSignedOff);
    updateWindowUI();
}

void RadioWindowController::resumeOrGiveUpAfterLoss(const QString& reason) {
    if (directoryLoaded_ && requestServiceRetryCount_ < 1) {
        ++requestServiceRetryCount_;
        LogMessage(kLogInfo, "serviceDidBecomeInvalid - %s - signing on again silently\n", reason.toUtf8().constData());
        if (authController_) authController_->setAuthPanelSticky(false);
        retryTimer_ = env_.scheduler->singleShot(std::chrono::milliseconds(0), [this] {
            auto self = std::move(retryTimer_);
            requestRadioService(QString());
        });
        return;
    }
    env_.statistics->endSession(reason == kDiscoveryFailed ? 2 : 3, reason == kDiscoveryFailed ? 12294 : 9);
    requestServiceRetryCount_ = 0;
    directoryLoaded_ = false;
    if (authController_) authController_->setAuthPanelSticky(true);
    const bool playing = isPreparingOrBufferingOrPlaying();
    if (playing) {
        stopPlaying();
    } else {
        session_->clearPlayingStation();
    }
    if (playing) session_->notePlayEndedByFault();
}

void RadioWindowController::serviceEncounteredError(const ZYMServiceErrorDescription& error) {
    LogMessage(kLogInfo, "serviceEncounteredError: %s\n", error.description().toUtf8().constData());
    // The fault stays shown until the next status replaces it.
    if (!error.sifFaultString().isEmpty())
        setProgressText(localizedFormat(DisplayKeys::RadioServiceErrorFaultFormatString, {error.sifFaultString()}));
}

// ---- loading the directory -----------------------------------------------------------

Delegated RadioWindowController::radioServiceInformationWillLoad() {
    setProgressText(localized(DisplayKeys::UpdatingStationsProgressString));
    return Delegated::Handled;
}

Delegated RadioWindowController::radioServiceServerInformationWillLoad() {
    // A listener already hearing a station never gets the sheet.
    if (!radioService_->haveAllStationInfo() && !streamPlaying()) {
        showRadioProgressPanel(radioService_->countOfTotalInfoRequests());
        updateRadioProgressWithInfoRequestStatus();
    }
    return Delegated::Handled;
}

Delegated RadioWindowController::radioServiceStationsDidLoad() {
    progressIndicator_->setMaximum(radioService_->countOfTotalInfoRequests());
    updateRadioProgressWithInfoRequestStatus();
    return Delegated::Handled;
}

Delegated RadioWindowController::radioServiceGenresDidLoad() {
    updateRadioProgressWithInfoRequestStatus();
    return Delegated::Handled;
}

Delegated RadioWindowController::radioServiceMediaFormatsDidLoad() {
    updateRadioProgressWithInfoRequestStatus();
    return Delegated::Handled;
}

Delegated RadioWindowController::radioServiceMaxPresetsDidLoad() {
    updateRadioProgressWithInfoRequestStatus();
    return Delegated::Handled;
}

Delegated RadioWindowController::radioServicePresetsDidLoad() {
    NotificationCenter& center =
        env_.service.notifications ? *env_.service.notifications : NotificationCenter::defaultCenter();
    center.post(QStringLiteral("kRadioServicePresetsChangedNotification"));
    updateRadioProgressWithInfoRequestStatus();
    return Delegated::Handled;
}

Delegated RadioWindowController::radioServiceStationDetailsWillLoad(const std::optional<QString>& stationID) {
    if (stationID && !stationID->isEmpty() && stationID == playingStationID() && !streamPlaying())
        setProgressText(localized(DisplayKeys::FetchingStationInfoProgressString));
    return Delegated::Handled;
}

Delegated RadioWindowController::radioServiceStationDetailsDidLoad(const std::optional<QString>& stationID) {
    if (stationID && !stationID->isEmpty()) {
        if (!radioProgressPanelVisible()) {
            if (auto item = dataSource_->stationItemWithID(*stationID)) {
                const int row = dataSource_->indexOfStationItem(item.get());
                dataSource_->stationsModel().reloadRows(row, row);
            }
        } else {
            updateRadioProgressWithInfoRequestStatus();
        }
        return Delegated::Handled;
    }
    updateRadioProgressWithInfoRequestStatus();
    dataSource_->stationsModel().reloadRows(-1, -1);
    updateWindowUI();
    return Delegated::Handled;
}

Delegated RadioWindowController::radioServiceInformationDidLoad() {
    updateRadioProgressWithInfoRequestStatus();
    hideRadioProgressPanel();
    directoryLoaded_ = true;
    finishSetup();
    setProgressText(radioService_->filteredStations().empty() ? localized(DisplayKeys::NoRadioStationsFit) : QString());
    updateWindowUI();
    return Delegated::Handled;
}

Delegated RadioWindowController::radioServiceCachedInformationDidLoad() {
    if (radioService_->haveAllStationInfo()) {
        directoryLoaded_ = true;
        finishSetup();
    } else {
        LogMessage(kLogDebug,
                   "RadioServiceDelegate - radioServiceCachedInformationDidLoad - waiting for information "
                   "from the service to call finishSetup\n");
    }
    setProgressText(QString());
    updateWindowUI();
    return Delegated::Handled;
}

Delegated RadioWindowController::radioServiceServerInformationDidFail() {
    setProgressText(localized(DisplayKeys::RadioUnavailableStatusString));
    hideRadioProgressPanel();
    signOffTimer_ = env_.scheduler->singleShot(std::chrono::milliseconds(100), [this] {
        auto self = std::move(signOffTimer_);
        const bool playing = isPreparingOrBufferingOrPlaying();
        signOff();
        if (playing) session_->notePlayEndedByFault();
        // The reason stays shown after the sign-off.
        setProgressText(localized(DisplayKeys::RadioUnavailableStatusString));
    });
    return Delegated::Handled;
}

Delegated RadioWindowController::radioServiceFilteredInformationDidChange() {
    const auto& filtered = radioService_->filteredStations();
    const auto listed = [&](const QString& id) {
        return !id.isEmpty() &&
               std::any_of(filtered.begin(), filtered.end(), [&](const auto& s) { return s && s->stationID() == id; });
    };
    // Only a station of the directory that no longer fits stops (a stream played by its
    // address is none); with nothing playing, the listener's station stays chosen as long
    // as it is listed.
    if (playingStation() && !PlaySession::isPlayedByAddress(*playingStation()) && !listed(playingStationID()))
        stopPlaying();
    const QString sourceID = lists_->selectedSourceIdentifier();
    QString stationID = listedStationID();
    if (!listed(stationID)) {
        setActiveStation(nullptr);
        stationID = listedStationID();
    }
    dataSource_->rebuild();
    // Every rebuild makes new rows: find the listener's again by identifier.
    lists_->selectAgain(sourceID, stationID);
    updateWindowUI();
    return Delegated::Handled;
}

QString RadioWindowController::listedStationID() const {
    if (const auto item = lists_->selectedRadioStationItem()) return item->stationID();
    if (const auto active = activeStation(); active && !PlaySession::isPlayedByAddress(*active))
        return active->stationID();
    return QString("");
}

void RadioWindowController::updateRadioProgressWithInfoRequestStatus() {
    if (!radioService_) return;
    const int total = radioService_->countOfTotalInfoRequests();
    const int pending = radioService_->countOfPendingInfoRequests();
    updateRadioProgressPanel(localized(DisplayKeys::RadioInfoRequestProgressTitle),
                             pending > 0 ? total - pending : total);
}

// ---- the station under the pointer ---------------------------------------------------

void RadioWindowController::requestStationState(const QString& stationID) {
    if (!defaults_.boolean(QStringLiteral("use_now_playing"))) return;
    if (!radioService_ || !radioService_->serviceAvailable() || stationID != lastStationWithHoverFocus_) return;
    radioService_->requestStateForStations({stationID}, networkBandwidthLimitPreference());
}

Delegated RadioWindowController::radioServiceStationStateDidLoad(const std::shared_ptr<ZYMRadioStationState>& state) {
    if (!state) {
        updateNowPlayingTextLabel(nullptr, nullptr);
        return Delegated::Handled;
    }
    if (!radioService_) return Delegated::Handled;
    const auto id = state->stationID();
    // A state of a station the service does not know only logs.
    auto station = id ? radioService_->stationWithProgId(*id) : nullptr;
    if (!station && id) station = radioService_->stationWithID(*id);
    if (!station) {
        LogMessage(kLogDebug, "radioServiceStationStateDidLoad - no station for state [%s]\n", utf8(id).constData());
        return Delegated::Handled;
    }
    LogMessage(kLogDebug, "Got state for station [%s]: now playing title=\"%s\", album=\"%s\", artist=\"%s\"\n",
               station->name().toUtf8().constData(), utf8(state->currentTrackTitle()).constData(),
               utf8(state->currentTrackAlbumTitle()).constData(), utf8(state->currentTrackArtistName()).constData());
    if (lastStationWithHoverFocus_ == station->stationID()) {
        updateNowPlayingTextLabel(station.get(), state.get());
    } else if (!lastStationWithHoverFocus_.isEmpty()) {
        const auto focus = radioService_->stationWithID(lastStationWithHoverFocus_);
        LogMessage(kLogDebug, "radioServiceStationStateDidLoad - station [%s] is not the current focus station [%s]\n",
                   station->name().toUtf8().constData(), (focus ? focus->name() : QString()).toUtf8().constData());
    }
    return Delegated::Handled;
}

// ---- presets changed on the server ---------------------------------------------------

Delegated RadioWindowController::radioServicePresetsOutOfDate() {
    DialogPresenter& presenter = env_.presenter ? *env_.presenter : DialogPresenter::main();
    const DialogRequest alert = localizedAlert(
        DialogRequest::Style::Critical, DisplayKeys::PresetsOutOfDateTitle.key, DisplayKeys::PresetsOutOfDateMsg.key,
        {DisplayKeys::PresetsOutOfDateReload.key, DisplayKeys::PresetsOutOfDateForce.key});
    presenter.present(alert, window_.get(), [this](int code) { presetsOutOfDateSheetDidEnd(code); });
    return Delegated::Handled;
}

void RadioWindowController::presetsOutOfDateSheetDidEnd(int button) {
    // A sheet closed without a choice overwrites nothing on either side.
    if (button == 0)
        radioService_->loadStationPresets();
    else if (button == 1)
        radioService_->forcePresetsToReplaceHostPresets();
}
