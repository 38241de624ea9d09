#pragma once
// The main window's sign-on and what it does with the radio service's reports: sign-on
// progress and its statistics, one silent sign-on after a lost service, the directory's loading with its
// sheet, the state of the station under the pointer and presets that changed on the
// server. It is the radio service's delegate.

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

#include "app/foundation/Clock.h"
#include "app/radio/RadioServiceDelegate.h"

class AuthPanelsView;
class AuthenticationController;
class QDialog;
class QLabel;
class QProgressBar;
class RadioWindowController;

class RadioWindowServiceCallbacks : public QObject, public RadioServiceDelegate {
    Q_OBJECT
public:
    explicit RadioWindowServiceCallbacks(RadioWindowController& window);
    ~RadioWindowServiceCallbacks() override;
    // The loading sheet.
    void setup();

    // Sign-on.
    void ensureAuthController();
    AuthenticationController* authenticationController() { return authController_.get(); }
    void requestRadioService(const QString& userName);
    void signOff();
    void signOnAtStartupIfAppropriate();
    bool authenticationInProgressOrValid() const;
    // Sign off, then on again under another name.
    void resetWithUsername(const QString& userName);

    int serviceRetryCount() const { return requestServiceRetryCount_; }
    void updateRadioProgressWithInfoRequestStatus();
    // The loading sheet: shown only when loading lasts 2 s; its button signs off.
    void showRadioProgressPanel(int maximum);
    void updateRadioProgressPanel(const QString& text, int value);
    void hideRadioProgressPanel();
    bool radioProgressPanelVisible() const;
    QDialog* radioProgressPanel() const { return progressPanel_; }
    QProgressBar* radioProgressIndicator() const { return progressIndicator_; }

    // Sign-on.
    Delegated authenticationStartedForUsername(const QString& name) override;
    void authenticationDone(bool ok) override;
    void authenticationCancelled() override;
    void serviceRequestDone(bool ok) override;
    void serviceEncounteredError(const ZYMServiceErrorDescription& error) override;
    void serviceWillBecomeInvalid(ZYMGenericService& service) override;
    void serviceDidBecomeInvalidWithReason(ZYMGenericService& service, const QString& reason) override;
    // The directory.
    Delegated radioServiceInformationWillLoad() override;
    Delegated radioServiceServerInformationWillLoad() override;
    Delegated radioServiceInformationDidLoad() override;
    Delegated radioServiceServerInformationDidFail() override;
    Delegated radioServiceCachedInformationDidLoad() override;
    Delegated radioServiceFilteredInformationDidChange() override;
    Delegated radioServiceStationsWillLoad() override { return Delegated::Handled; }
    Delegated radioServiceStationsDidLoad() override;
    Delegated radioServiceStationDetailsWillLoad(const std::optional<QString>& stationID) override;
    Delegated radioServiceStationDetailsDidLoad(const std::optional<QString>& stationID) override;
    Delegated radioServiceStationStateWillLoad(const QString&) override { return Delegated::Handled; }
    Delegated radioServiceStationStateDidLoad(const std::shared_ptr<ZYMRadioStationState>& state) override;
    Delegated radioServiceGenresWillLoad() override { return Delegated::Handled; }
    Delegated radioServiceGenresDidLoad() override;
    Delegated radioServiceMediaFormatsWillLoad() override { return Delegated::Handled; }
    Delegated radioServiceMediaFormatsDidLoad() override;
    Delegated radioServiceMaxPresetsWillLoad() override { return Delegated::Handled; }
    Delegated radioServiceMaxPresetsDidLoad() override;
    Delegated radioServicePresetsWillLoad() override { return Delegated::Handled; }
    Delegated radioServicePresetsDidLoad() override;
    Delegated radioServicePresetsWillStore() override { return Delegated::Handled; }
    Delegated radioServicePresetsDidStore() override { return Delegated::Handled; }
    Delegated radioServicePresetsOutOfDate() override;
    // The URL answers go to the play session.
    Delegated radioServiceStationURLWillLoad(const QString& stationID) override;
    Delegated radioServiceStationURLDidLoad(const QString& progId, const QStringList& urls) override;
    Delegated radioServiceStationURLDidFail(const QString& progId) override;

private:
    void radioProgressPanelDidEnd(int code);
    void presetsOutOfDateSheetDidEnd(int code);
    void resumeOrGiveUpAfterLoss(const QString& reason);
    void setProgressText(const QString& text);

    RadioWindowController& window_;
    std::unique_ptr<AuthPanelsView> ownPanels_;  // outlives the controller that uses it
    std::unique_ptr<AuthenticationController> authController_;
    int requestServiceRetryCount_ = 0;
    // The service forgets its directory before it reports the loss; the window remembers.
    bool directoryLoaded_ = false;
    std::unique_ptr<ScheduledTimer> retryTimer_;
    std::unique_ptr<ScheduledTimer> signOffTimer_;
    QDialog* progressPanel_ = nullptr;
    QLabel* progressTitle_ = nullptr;
    QProgressBar* progressIndicator_ = nullptr;
    std::unique_ptr<ScheduledTimer> progressTimer_;
};
