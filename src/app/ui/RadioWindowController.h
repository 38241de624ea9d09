#pragma once
// The main window: the play session, radio service, lists and sign-on wired together; it
// shows what the play session reports (progress, the track that starts, the playing
// station) and hands it the listener's choices. What the listener sees is in parts of its
// own, which it makes and wires: the display, the controls and presets bar, the lists, the
// layout with the ad panel, the volume, and the service callbacks.

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

#include "app/radio/PlaySession.h"
#include "app/signon/DialogPresenter.h"
#include "app/foundation/NotificationCenter.h"
#include "app/radio/RadioPlayer.h"
#include "app/radio/ZYMRadioService.h"
#include "app/ui/ChatStatus.h"
#include "app/ui/Fades.h"
#include "app/ui/LineLayoutView.h"
#include "app/ui/NowPlayingDisplay.h"
#include "app/ui/RadioWindowControls.h"
#include "app/ui/RadioWindowDisplay.h"
#include "app/ui/RadioWindowLayout.h"
#include "app/ui/RadioWindowLists.h"
#include "app/ui/RadioWindowServiceCallbacks.h"
#include "app/ui/RadioWindowVolume.h"
#include "app/ui/SleepWakeTimer.h"
#include "app/ui/WindowEnvironment.h"

class AuthenticationController;
class ExtendedOutlineView;
class ExtendedTableView;
class QLineEdit;
class QMenuBar;
class RadioMetadataParser;
class RadioServiceDirectory;
class RadioStationsDataSource;
class SoftwareUpdateTimer;
class UserDefaults;
struct Notification;

class RadioWindowController : public QObject, public WindowFadeDelegate {
    Q_OBJECT
public:
    static constexpr int kStatClientID = PlaySession::kStatClientID;
    static constexpr int kStatStationPlays = PlaySession::kStatStationPlays;
    static constexpr int kStatPresetPlays = RadioWindowControls::kStatPresetPlays;
    static constexpr int kStatPlayingTime = PlaySession::kStatPlayingTime;
    static constexpr int kStatActivePlayingTime = PlaySession::kStatActivePlayingTime;
    static constexpr int kNetworkUnreachable = PlaySession::kNetworkUnreachable;
    static constexpr int kPresetButtons = RadioWindowControls::kPresetButtons;
    static constexpr QSize kAdSize = RadioWindowLayout::kAdSize;
    static constexpr QSize kAdViewSize = RadioWindowLayout::kAdViewSize;
    static inline const QString kFrameAutosaveName = RadioWindowLayout::kFrameAutosaveName;

    explicit RadioWindowController(WindowEnvironment environment = {});
    ~RadioWindowController() override;

    QWidget* window() const { return window_.get(); }
    WindowEnvironment& environment() { return env_; }
    AdPresenter& defaultAds() { return defaultAds_; }
    UserDefaults& defaults() const { return defaults_; }
    ZYMRadioService& radioService() { return *radioService_; }
    ZYMRadioService* radioServiceIfMade() const { return radioService_.get(); }
    RadioPlayer* player() const { return session_ ? session_->player() : nullptr; }
    PlaySession& playSession() const { return *session_; }
    RadioStationsDataSource& dataSource() { return *dataSource_; }
    AuthenticationController* authenticationController() { return callbacks_->authenticationController(); }
    QMenuBar* menuBar() const { return menuBar_; }
    bool isTerminating() const { return isTerminating_; }
    // An item of the strings table.
    static QString text(const char* key);

    // The parts of the window.
    RadioWindowDisplay& windowDisplay() const { return *display_; }
    RadioWindowControls& windowControls() const { return *controls_; }
    RadioWindowLists& windowLists() const { return *lists_; }
    RadioWindowLayout& windowLayout() const { return *layout_; }
    RadioWindowVolume& windowVolume() const { return *volume_; }
    RadioWindowServiceCallbacks& serviceCallbacks() const { return *callbacks_; }
    RadioStationLists& lists() { return lists_->lists(); }
    RadioStationLists* listsIfMade() { return lists_ ? &lists_->lists() : nullptr; }
    ExtendedTableView& stationTable() { return lists_->stationTable(); }
    ExtendedOutlineView& sourceList() { return lists_->sourceList(); }
    QLineEdit* searchField() const { return lists_->searchField(); }

    // Sign-on.
    void signOn() { requestRadioService(QString()); }
    void requestRadioService(const QString& userName) { callbacks_->requestRadioService(userName); }
    void signOff() { callbacks_->signOff(); }
    void signOnAtStartupIfAppropriate() { callbacks_->signOnAtStartupIfAppropriate(); }
    // The window shows by fading in (20 steps over 0.2 s) and hides by fading out (10 over
    // 0.1 s); until the first directory load, the end of a fade-in signs on. False when
    // the window was shown already (no fade, nothing ends).
    bool fadeInWindow();
    void fadeOutWindow();
    void fadeInCompletedForWindow() override;
    void fadeOutCompletedForWindow() override;
    WindowFadeController* windowFadeController() const { return fadeController_.get(); }
    // Sign off, then on again under another name.
    void resetWithUsername(const QString& userName) { callbacks_->resetWithUsername(userName); }
    // Preferences changed these user-defaults keys (all of them when null).
    void checkDefaultsForChange(const std::optional<QStringList>& keys);
    void prefChangedNotification(const Notification& notification);
    // What the update timer does at each firing.
    void checkForSoftwareUpdates();
    // An alert whose title, message and buttons are keys of the strings table.
    static DialogRequest localizedAlert(DialogRequest::Style style, const char* title, const char* message,
                                        std::initializer_list<const char*> buttons);
    bool shouldPlayLastStationAtStartup() const;
    bool authenticationInProgressOrValid() const { return callbacks_->authenticationInProgressOrValid(); }
    void finishSetup();
    void saveSettings();
    void prepareForApplicationTermination();
    static int networkBandwidthLimitPreference(UserDefaults& defaults);
    int networkBandwidthLimitPreference() const;

    // The listener's choices for the play session.
    void startPlaying(const std::shared_ptr<ZYMRadioStation>& station, bool makeActive) {
        session_->startPlaying(station, makeActive);
    }
    void playStationWithID(const QString& stationID);
    void play() { playActiveStation(); }
    void playActiveStation() { lists_->playActiveStation(); }
    void stopPlaying();
    void togglePlaying();
    void setActiveStation(const std::shared_ptr<ZYMRadioStation>& station) { lists_->setActiveStation(station); }
    std::shared_ptr<ZYMRadioStation> activeStation() const { return session_->activeStation(); }
    std::shared_ptr<ZYMRadioStation> playingStation() const { return session_->playingStation(); }
    QString playingStationID() const { return lists_->playingStationID(); }
    bool isPreparingOrBufferingOrPlaying() const { return session_->isPlaying(); }
    bool isPlaying() const { return isPreparingOrBufferingOrPlaying(); }
    // The player reported that the current URL plays.
    bool streamPlaying() const { return session_->streamPlaying(); }
    bool canPlay() const;
    QString playingStationURL() const { return session_->playingStationURL(); }
    RadioMetadataParser* currentTrackMetadata() const { return session_->currentTrackMetadata(); }
    RadioMetadataParser* nextTrackMetadata() const { return session_->nextTrackMetadata(); }
    bool isMuting() const { return session_->isMuting(); }
    int mutingOptions() const { return session_->mutingOptions(); }
    void setMutingOptions(int options) { session_->setMutingOptions(options); }
    bool mutingShouldContinue() const { return session_->mutingShouldContinue(); }

    // Scripting, chat and timers.
    // A stream played by its address: a station named by the URL, identifier "-1". Its URL
    // is the current one, so the player's reports for it count.
    void playStationWithURL(const QString& url);
    // Signs on; after the next completed load plays the station by identifier, else by name.
    void forceSignOnAndPlayStationID(const std::optional<QString>& stationID, const std::optional<QString>& name);
    bool forcePlayAtSignOn() const { return forcePlayAtSignOn_; }
    void setChatScriptRunner(ScriptRunner& runner) { display_->setChatScriptRunner(runner); }
    ChatStatus& chatStatus() { return display_->chatStatus(); }
    void updateIChatNowPlaying() { display_->updateIChatNowPlaying(); }
    void clearIChatNowPlaying(bool force) { display_->clearIChatNowPlaying(force); }
    // The chat-status preference was switched.
    void chatStatusPreferenceChanged() { display_->chatStatusPreferenceChanged(); }
    void setupSleepTimer() { sleepTimer_->setup(); }
    void setupWakeTimer() { wakeTimer_->setup(); }
    void timersSettingsChanged();
    SleepWakeTimer& sleepTimer() { return *sleepTimer_; }
    SleepWakeTimer& wakeTimer() { return *wakeTimer_; }

    // The parts' methods that scripts, the application and the tests call on the window.
    // Display.
    NowPlayingDisplay& display() const { return display_->display(); }
    void setProgressText(const QString& text) { display_->setProgressText(text); }
    void stopProgress() { display_->stopProgress(); }
    QString progressText() const { return display_->progressText(); }
    QString displayText() const { return display_->displayText(); }
    QString lineText(int line) const { return display_->lineText(line); }
    void updateDisplay() {
        if (display_) display_->updateDisplay();
    }
    void setColorSchemeController(ColorSchemeController* colors) { display_->setColorSchemeController(colors); }
    ColorSchemeController& colors() const { return display_->colors(); }
    void setChatStatusRefresher(std::function<void()> refresh) { display_->setChatStatusRefresher(std::move(refresh)); }
    void setNowPlayingOverlayShower(std::function<void()> show) {
        display_->setNowPlayingOverlayShower(std::move(show));
    }
    LineString nowPlayingAttributedStringWithFormat(const QString& format) const {
        return display_->nowPlayingAttributedStringWithFormat(format);
    }
    QMenu* linkMenu(int tag) const { return display_->linkMenu(tag); }
    void prepareLinkMenu(int tag) { display_->prepareLinkMenu(tag); }
    void copySongInfo() { display_->copySongInfo(); }
    void interfaceColorsChanged() { display_->interfaceColorsChanged(); }
    void resetToDefaultAdArt() { env_.ads->resetToStaticAd(); }
    void setAlbumArtFolder(const QString& folder) { display_->setAlbumArtFolder(folder); }
    RadioTrackTimeController* trackTimer() const { return display_->trackTimer(); }
    void toggleSongTimeLabelState() { display_->toggleSongTimeLabelState(); }
    int songTimeLabelState() const { return display_->songTimeLabelState(); }
    QString songTimeLabelText() const { return display_->songTimeLabelText(); }
    // Controls and presets.
    void updateWindowUI() { controls_->updateWindowUI(); }
    QPushButton* playStopButton() const { return controls_->playStopButton(); }
    const std::vector<QPushButton*>& presetButtons() const { return controls_->presetButtons(); }
    QLabel* presetsTextLabel() const { return controls_->presetsTextLabel(); }
    QLabel* nowPlayingTextLabel() const { return controls_->nowPlayingTextLabel(); }
    int numActivePresets() const { return controls_->numActivePresets(); }
    void makeBackupOfPresets() { controls_->makeBackupOfPresets(); }
    void playPreset(int preset) { controls_->playPreset(preset); }
    void storePlayingOnPreset(int preset) { controls_->storePlayingOnPreset(preset); }
    void storeSelectionOnPreset(int preset) { controls_->storeSelectionOnPreset(preset); }
    void storeStationIDOnPreset(const QString& stationID, int preset) {
        controls_->storeStationIDOnPreset(stationID, preset);
    }
    QString stationIDOnPreset(int preset) const { return controls_->stationIDOnPreset(preset); }
    QString lastStationWithHoverFocus() const { return controls_->lastStationWithHoverFocus(); }
    void setLastStationWithHoverFocus(const QString& id) { controls_->setLastStationWithHoverFocus(id); }
    void updateNowPlayingTextLabel(const ZYMRadioStation* station, const ZYMRadioStationState* state) {
        controls_->updateNowPlayingTextLabel(station, state);
    }
    void copySelectedStationLocation() { controls_->copySelectedStationLocation(); }
    void copyPlayingStationLocation() { controls_->copyPlayingStationLocation(); }
    void validateMenu(QMenu* menu) { controls_->validateMenu(menu); }
    QMenu* controlsMenu() const { return controls_->controlsMenu(); }
    QMenu* trayMenu() const { return controls_->trayMenu(); }
    // Layout, ads and the overlay.
    int uiState() const { return layout_->uiState(); }
    const WindowLayoutPolicy& layoutPolicy() const { return layout_->layoutPolicy(); }
    void zoom() { layout_->zoom(); }
    QSplitter& listSplitter() { return layout_->listSplitter(); }
    QWidget* adPanel() const { return layout_->adPanel(); }
    void updateAdDrawer() { layout_->updateAdDrawer(); }
    bool shouldAdDisplay() const { return layout_->shouldAdDisplay(); }
    void setAdHeight(int height) { layout_->setAdHeight(height); }
    void displayAdWithBanners(const std::vector<std::shared_ptr<const ZYMRadioStationBanner>>& banners,
                              const QString& flavorId) {
        layout_->displayAdWithBanners(banners, flavorId);
    }
    NowPlayingOverlayController* nowPlayingOverlay() const { return layout_->nowPlayingOverlay(); }
    // Volume.
    static float volumeForSliderValue(float value) { return RadioWindowVolume::volumeForSliderValue(value); }
    RemoteControlledSlider& volumeSlider() { return volume_->slider(); }
    void setVolumeFromSlider(bool fromUser) { volume_->setVolumeFromSlider(fromUser); }
    void setVolumeToMin(Qt::KeyboardModifiers modifiers) { volume_->setVolumeToMin(modifiers); }
    int soundVolume() const { return volume_->soundVolume(); }
    void setSoundVolume(int volume) { volume_->setSoundVolume(volume); }
    void fadeVolumeIn(double seconds) { volume_->fadeVolumeIn(seconds); }
    bool volumeFading() const { return volume_->volumeFading(); }
    // Service callbacks.
    int serviceRetryCount() const { return callbacks_->serviceRetryCount(); }
    bool radioProgressPanelVisible() const { return callbacks_->radioProgressPanelVisible(); }
    QDialog* radioProgressPanel() const { return callbacks_->radioProgressPanel(); }
    QProgressBar* radioProgressIndicator() const { return callbacks_->radioProgressIndicator(); }

signals:
    // After each completed directory load.
    void signOnComplete();
    // A track began; its metadata is the current one.
    void trackStarted();
    void playingStateChanged();
    void windowFadedIn();
    void windowFadedOut();

private:
    void buildWindow();
    void setupPlayer();
    // Shows what the play session reports.
    void wirePlaySession();
    void onTrackStart();
    void registerForNotifications();
    void scheduleSoftwareUpdates();
    void setupScriptingChatAndTimers();
    void playForcedStationAtSignOn();

    WindowEnvironment env_;
    UserDefaults& defaults_;
    WindowStatistics defaultStatistics_;
    AdPresenter defaultAds_;
    std::unique_ptr<QWidget> window_;
    QMenuBar* menuBar_ = nullptr;

    std::unique_ptr<ZYMRadioService> radioService_;
    std::unique_ptr<PlaySession> session_;
    std::unique_ptr<RadioServiceDirectory> directory_;
    std::unique_ptr<RadioStationsDataSource> dataSource_;

    std::unique_ptr<RadioWindowDisplay> display_;
    std::unique_ptr<RadioWindowControls> controls_;
    std::unique_ptr<RadioWindowLists> lists_;
    std::unique_ptr<RadioWindowLayout> layout_;
    std::unique_ptr<RadioWindowVolume> volume_;
    std::unique_ptr<RadioWindowServiceCallbacks> callbacks_;

    bool launchSetupFinished_ = false;
    bool isTerminating_ = false;
    std::unique_ptr<WindowFadeController> fadeController_;
    std::unique_ptr<SoftwareUpdateTimer> updateTimer_;

    bool forcePlayAtSignOn_ = false;
    // A URL chose the station before the launch's first load: the last one does not play.
    bool playChosenAtLaunch_ = false;
    std::optional<QString> forcePlayStationID_;
    std::optional<QString> forcePlayStationName_;
    std::unique_ptr<SleepWakeTimer> sleepTimer_;
    std::unique_ptr<SleepWakeTimer> wakeTimer_;
    NotificationCenter::Subscription timersSettingsObserver_;
    std::vector<NotificationCenter::Subscription> subscriptions_;
};
