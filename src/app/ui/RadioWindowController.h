#pragma once
// The main window: the play session, radio service, lists and sign-on wired together; it
// shows what the play session reports (progress, the track that starts, the playing
// station) and hands it the listener's choices.

#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "app/radio/PlaySession.h"
#include "app/foundation/Clock.h"
#include "app/signon/DialogPresenter.h"
#include "app/foundation/NotificationCenter.h"
#include "app/radio/RadioPlayer.h"
#include "app/radio/RadioServiceDelegate.h"
#include "app/radio/ZYMRadioService.h"
#include "app/ui/ChatStatus.h"
#include "app/ui/Fades.h"
#include "app/ui/LocalizedText.h"
#include "app/ui/RadioStationLists.h"
#include "app/ui/RadioTrackTimeController.h"
#include "app/ui/SleepWakeTimer.h"
#include "app/ui/WindowLayoutPolicy.h"

class AdController;
class AdView;
class AuthPanelsView;
class AuthenticationController;
class ExtendedOutlineView;
class ExtendedTableView;
class PasswordStore;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPushButton;
class NowPlayingOverlayController;
class QSlider;
class QSplitter;
class QWidget;
class RemoteControlledSlider;
class SoftwareUpdateTimer;
class VolumeFadeController;
class RadioMetadataParser;
class RadioServiceDirectory;
class RadioStationsDataSource;
class UserDefaults;
class ZYMRadioStationBanner;
class ColorSchemeController;
class NowPlayingDisplay;
class DisplayButton;
class QAction;
class QDialog;
class QMenu;
class QProgressBar;
struct LineString;
struct MenuState;
struct Notification;

// Usage statistics as the window counts them; the default counts nothing and reads 0.
class WindowStatistics : public PlayStatistics {
public:
    virtual void setNumber(int, qint64) {}
    virtual void setSignOnState(int) {}
    virtual void saveSessionStats() {}
    virtual void endSession(int /*category*/, int /*code*/) {}
};

// Where ads are shown. There is no web view here, so a script ad is only recorded.
class AdPresenter {
public:
    virtual ~AdPresenter() = default;
    virtual void displayAdWithMagicNumber(const QString&, int /*height*/) {}
    virtual void displayAdWithImageURL(const QString&, const QString& /*magicNumber*/) {}
    virtual void resetToStaticAd() {}
};

struct WindowEnvironment {
    UserDefaults* defaults = nullptr;  // the standard ones when null
    Clock* clock = nullptr;
    Scheduler* scheduler = nullptr;
    DialogPresenter* presenter = nullptr;
    WindowStatistics* statistics = nullptr;
    AdPresenter* ads = nullptr;
    RadioPlayerEngineFactory playerEngines;  // the real engine when empty
    ZYMServiceEnvironment service;
    ZYMRadioService::RadioEnvironment radio;
    AuthPanelsView* panels = nullptr;
    PasswordStore* passwords = nullptr;
    std::function<bool(const QString& host)> reachable;  // the platform check when empty
    QString reachabilityHost;                            // the services URL's host when empty
    QString playerConfigPath;                            // the bundled playerConfig.plist when empty
    std::function<bool()> applicationHidden;             // never hidden when empty
    std::function<void()> checkForUpdates;               // the software-update check; none when empty
    // The ad panel's web view (a widget that is also the AdView) and how it learns its
    // controller; no ad panel when empty.
    std::function<AdView*(QWidget* parent)> adViews;
    std::function<void(AdView*, AdController*)> attachAdController;
    QString adBannerPath;
    std::function<bool()> applicationActive;  // the application state when empty
    ChatBusClient* chatClient = nullptr;      // the chat client on the session bus; none when null
};

class RadioWindowController : public QObject,
                              public RadioServiceDelegate,
                              public RadioListsWindow,
                              public WindowFadeDelegate {
    Q_OBJECT
public:
    static constexpr int kStatClientID = PlaySession::kStatClientID;
    static constexpr int kStatStationPlays = PlaySession::kStatStationPlays;
    static constexpr int kStatPresetPlays = 4393;
    static constexpr int kStatPlayingTime = PlaySession::kStatPlayingTime;
    static constexpr int kStatActivePlayingTime = PlaySession::kStatActivePlayingTime;
    static constexpr int kNetworkUnreachable = PlaySession::kNetworkUnreachable;

    explicit RadioWindowController(WindowEnvironment environment = {});
    ~RadioWindowController() override;

    QWidget* window() const { return window_.get(); }
    ZYMRadioService& radioService() { return *radioService_; }
    RadioPlayer* player() const { return session_->player(); }
    PlaySession& playSession() const { return *session_; }
    RadioStationsDataSource& dataSource() { return *dataSource_; }
    ExtendedTableView& stationTable() { return *stationTable_; }
    AuthenticationController* authenticationController() { return authController_.get(); }

    // Sign-on.
    void signOn() { requestRadioService(QString()); }
    void requestRadioService(const QString& userName);
    void signOff();
    void signOnAtStartupIfAppropriate();
    // The window shows by fading in (20 steps over 0.2 s) and hides by fading out (10 over
    // 0.1 s); until the first directory load, the end of a fade-in signs on. False when
    // the window was shown already (no fade, nothing ends).
    bool fadeInWindow();
    void fadeOutWindow();
    void fadeInCompletedForWindow() override;
    void fadeOutCompletedForWindow() override;
    WindowFadeController* windowFadeController() const { return fadeController_.get(); }
    // Sign off, then on again under another name.
    void resetWithUsername(const QString& userName);
    // Preferences changed these user-defaults keys (all of them when null).
    void checkDefaultsForChange(const std::optional<QStringList>& keys);
    // What the update timer does at each firing.
    void checkForSoftwareUpdates();
    QMenuBar* menuBar() const { return menuBar_; }
    // An alert whose title, message and buttons are keys of the strings table.
    static DialogRequest localizedAlert(DialogRequest::Style style, const char* title, const char* message,
                                        std::initializer_list<const char*> buttons);
    bool shouldPlayLastStationAtStartup() const;
    bool authenticationInProgressOrValid() const;
    void finishSetup();
    void saveSettings();
    void prepareForApplicationTermination();
    void setVolumeFromSlider(bool fromUser);
    static int networkBandwidthLimitPreference(UserDefaults& defaults);
    int networkBandwidthLimitPreference() const;

    // The listener's choices for the play session.
    void startPlaying(const std::shared_ptr<ZYMRadioStation>& station, bool makeActive) {
        session_->startPlaying(station, makeActive);
    }
    void playStationWithID(const QString& stationID);
    void playPreset(int preset);
    // Storing on a preset (numbered from 1); a station already on one is stored only when
    // the listener confirms.
    void storePlayingOnPreset(int preset);
    void storeSelectionOnPreset(int preset);
    void storeStationIDOnPreset(const QString& stationID, int preset);
    QString stationIDOnPreset(int preset) const;
    void checkStoreStation(const std::shared_ptr<ZYMRadioStation>& station, int preset);
    void doStoreStation(const std::shared_ptr<ZYMRadioStation>& station, int preset);
    void play() { playActiveStation(); }
    void togglePlaying();
    void stationsTableViewDoubleClick();
    std::shared_ptr<ZYMRadioStation> activeStation() const { return session_->activeStation(); }
    std::shared_ptr<ZYMRadioStation> playingStation() const { return session_->playingStation(); }
    bool isPreparingOrBufferingOrPlaying() const { return session_->isPlaying(); }
    bool isPlaying() const { return isPreparingOrBufferingOrPlaying(); }
    // The player reported that the current URL plays.
    bool streamPlaying() const { return session_->streamPlaying(); }
    bool canPlay() const;
    QString playingStationURL() const { return session_->playingStationURL(); }

    // What the window shows.
    void setProgressText(const QString& text);
    void stopProgress();
    QString progressText() const { return progressText_; }
    QString displayText() const;
    void updateDisplay() override;
    void updateWindowUI();
    RadioMetadataParser* currentTrackMetadata() const { return session_->currentTrackMetadata(); }
    RadioMetadataParser* nextTrackMetadata() const { return session_->nextTrackMetadata(); }

    // Scripting, chat and timers.
    // A stream played by its address: a station named by the URL, identifier "-1". Its URL
    // is the current one, so the player's reports for it count.
    void playStationWithURL(const QString& url);
    // Signs on; after the next completed load plays the station by identifier, else by name.
    void forceSignOnAndPlayStationID(const std::optional<QString>& stationID, const std::optional<QString>& name);
    bool forcePlayAtSignOn() const { return forcePlayAtSignOn_; }
    // The volume slider's value times 100, truncated; a set is clamped to the slider's range
    // and interrupts neither a fade nor muting.
    int soundVolume() const;
    void setSoundVolume(int volume);
    void setChatScriptRunner(ScriptRunner& runner);
    ChatStatus& chatStatus() { return *chatStatus_; }
    void updateIChatNowPlaying();
    void clearIChatNowPlaying(bool force);
    // The chat-status preference was switched.
    void chatStatusPreferenceChanged();
    void setupSleepTimer();
    void setupWakeTimer();
    void timersSettingsChanged();
    SleepWakeTimer& sleepTimer() { return *sleepTimer_; }
    SleepWakeTimer& wakeTimer() { return *wakeTimer_; }

    // Layout, volume and overlay.
    static constexpr int kStatUIStateTimers[3] = {4397, 4398, 4399};
    static constexpr int kStatUIState = 4401;
    static constexpr QSize kAdSize{300, 250};
    static constexpr QSize kAdViewSize{320, 260};
    // Preset buttons in the window; the alternate set holds as many more.
    static constexpr int kPresetButtons = 5;
    // -1 before the first record; then WindowLayoutPolicy::uiState of the panels shown.
    int uiState() const { return uiState_; }
    WindowPanels panelsShown() const;
    const WindowLayoutPolicy& layoutPolicy() const { return layoutPolicy_; }
    void recordUIState();
    // The size that shows every source and station, the window's top-left kept.
    void zoom();
    QSplitter& listSplitter() { return *splitter_; }
    QWidget* adPanel() const { return adPanel_; }
    void updateAdDrawer();
    bool shouldAdDisplay() const;
    static float volumeForSliderValue(float value);
    RemoteControlledSlider& volumeSlider() { return *volume_; }
    void setVolumeFromFader() { setVolumeFromSlider(false); }
    void volumeUp();
    void volumeDown();
    void setVolumeToMax();
    // With Control held the song is muted instead.
    void setVolumeToMin(Qt::KeyboardModifiers modifiers);
    void muteTilEndOfCurrentSong();
    void stopMuting();
    void undoMuting();
    bool isMuting() const { return session_->isMuting(); }
    int mutingOptions() const { return session_->mutingOptions(); }
    void setMutingOptions(int options) { session_->setMutingOptions(options); }
    bool mutingShouldContinue() const { return session_->mutingShouldContinue(); }
    // The launch fade-in from silence to the slider's value.
    void fadeVolumeIn(double seconds);
    // Back to the listener's own volume.
    void cancelVolumeFade();
    bool volumeFading() const;
    NowPlayingOverlayController* nowPlayingOverlay() const { return overlay_.get(); }
    void showNowPlayingOverlay();

    // RadioListsWindow
    void setActiveStation(const std::shared_ptr<ZYMRadioStation>& station) override;
    void playActiveStation() override;
    void stopPlaying() override;
    QString playingStationID() const override;
    void updatePlayButtons() override;
    void clearHoverFocus() override;
    void ensureStationInfo(const QString& stationID) override;

    // RadioServiceDelegate
    void serviceRequestDone(bool ok) override;
    Delegated radioServiceInformationDidLoad() override;
    Delegated radioServiceCachedInformationDidLoad() override;
    Delegated radioServiceFilteredInformationDidChange() override;
    Delegated radioServiceStationURLWillLoad(const QString& stationID) override;
    Delegated radioServiceStationURLDidLoad(const QString& progId, const QStringList& urls) override;
    Delegated radioServiceStationURLDidFail(const QString& progId) override;

    void displayAdWithBanners(const std::vector<std::shared_ptr<const ZYMRadioStationBanner>>& banners,
                              const QString& flavorId);
    void setAdHeight(int height) { adHeight_ = height; }

    // Now-playing display, service callbacks and controls.
    NowPlayingDisplay& display() const { return *display_; }
    // The display's colours; the application's scheme unless set.
    void setColorSchemeController(ColorSchemeController* colors);
    ColorSchemeController& colors() const;
    // Hooks of the neighbours: the chat status and the now-playing overlay.
    void setChatStatusRefresher(std::function<void()> refresh) { refreshChatStatus_ = std::move(refresh); }
    void setNowPlayingOverlayShower(std::function<void()> show) { showNowPlayingOverlay_ = std::move(show); }
    LineString nowPlayingAttributedStringWithFormat(const QString& format) const;
    LineString notConnectedAttributedStringWithFormat(const QString& format) const;
    void showStationInDisplay(const ZYMRadioStation* station);
    QString lineText(int line) const;
    QMenu* linkMenu(int tag) const;
    void prepareLinkMenu(int tag);
    void loadMetadataLink(QAction* item);
    void copySongInfo();
    void resetToDefaultAlbumArt();
    void resetToDefaultAdArt();
    void albumArtLoadingNotification(const void* parser);
    void interfaceColorsChanged();
    // The song-time label: 0 shows the time, 2 the stream format for 5 s.
    RadioTrackTimeController* trackTimer() const { return trackTimer_.get(); }
    void updateTrackTimer(float position, float total);
    void trackTimeUpdate(RadioTrackTimeController& ticker);
    void updateSongTimeLabel(const std::optional<QString>& text);
    void toggleSongTimeLabelState();
    void setSongTimeLabelState(int state);
    int songTimeLabelState() const { return songTimeLabelState_; }
    QString songTimeLabelText() const;
    // Service and sign-on callbacks.
    Delegated authenticationStartedForUsername(const QString& name) override;
    void authenticationDone(bool ok) override;
    void authenticationCancelled() override;
    void serviceEncounteredError(const ZYMServiceErrorDescription& error) override;
    void serviceWillBecomeInvalid(ZYMGenericService& service) override;
    void serviceDidBecomeInvalidWithReason(ZYMGenericService& service, const QString& reason) override;
    Delegated radioServiceInformationWillLoad() override;
    Delegated radioServiceServerInformationWillLoad() override;
    Delegated radioServiceServerInformationDidFail() override;
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
    void updateRadioProgressWithInfoRequestStatus();
    void requestStationState(const QString& stationID);
    int serviceRetryCount() const { return requestServiceRetryCount_; }
    // The loading sheet: shown only when loading lasts 2 s; its button signs off.
    void showRadioProgressPanel(int maximum);
    void updateRadioProgressPanel(const QString& text, int value);
    void hideRadioProgressPanel();
    bool radioProgressPanelVisible() const;
    QDialog* radioProgressPanel() const { return progressPanel_; }
    QProgressBar* radioProgressIndicator() const { return progressIndicator_; }
    // Title, buttons, presets bar, hover label, menus and keys.
    QPushButton* playStopButton() const { return playButton_; }
    const std::vector<QPushButton*>& presetButtons() const { return presetButtons_; }
    QLabel* presetsTextLabel() const { return presetsLabel_; }
    QLabel* nowPlayingTextLabel() const;
    void resetPresetButtons(bool alternate);
    void updatePresetButtons();
    int numActivePresets() const;
    void makeBackupOfPresets();
    void mouseDidEnterView(QWidget* view);
    void mouseDidExitView(QWidget* view);
    void stationRowEntered(int row) override;
    void stationRowExited(int row) override;
    QString lastStationWithHoverFocus() const { return lastStationWithHoverFocus_; }
    void setLastStationWithHoverFocus(const QString& stationID) { lastStationWithHoverFocus_ = stationID; }
    void updateNowPlayingTextLabel(const ZYMRadioStation* station, const ZYMRadioStationState* state);
    void insertText(const QString& text);
    void copySelectedStationLocation();
    void copyPlayingStationLocation();
    void putStationLocationInClipboard(const ZYMRadioStation* station);
    MenuState menuState() const;
    // Validates and retitles every item of `menu` that carries a window action.
    void validateMenu(QMenu* menu);
    QMenu* controlsMenu() const { return controlsMenu_; }
    QMenu* trayMenu() const { return trayMenu_; }
    // The frame kept under the autosave name, Find, Delete in Recently Played, and store
    // commands aimed beyond the account's presets.
    static inline const QString kFrameAutosaveName = QStringLiteral("Radio Window");
    void saveWindowFrame() const;
    void performFindPanelAction();
    void stationsTableViewDelete();
    // False, once the listener is told why, for a slot the account does not have.
    bool presetSlotAvailable(int preset);
    QLineEdit* searchField() const { return search_; }
    // Preferences and the album-art store.
    void prefChangedNotification(const Notification& notification);
    void albumArtLoaded(const void* parser);
    void setAlbumArtFolder(const QString& folder) { albumArtFolder_ = folder; }

signals:
    // After each completed directory load.
    void signOnComplete();
    // A track began; its metadata is the current one.
    void trackStarted();
    void playingStateChanged();
    void windowFadedIn();
    void windowFadedOut();

private:
    static QPixmap logo();
    void buildWindow();
    void setupPlayer();
    // Shows what the play session reports.
    void wirePlaySession();
    void ensureAuthController();
    void onTrackStart();
    void onTrackEnd();
    // The playing station was noted in the recent stations.
    void notePlayedStation(const std::shared_ptr<ZYMRadioStation>& station);
    void selectActiveStationRow();
    void displayAdForPlayingStation();
    void displayAdForTrackMetadata();
    static QString text(const char* key);
    QString format(const char* key, const QStringList& args) const;

    WindowEnvironment env_;
    UserDefaults& defaults_;
    WindowStatistics defaultStatistics_;
    AdPresenter defaultAds_;
    std::unique_ptr<QWidget> window_;
    QMenuBar* menuBar_ = nullptr;
    QPushButton* playButton_ = nullptr;
    RemoteControlledSlider* volume_ = nullptr;
    std::vector<QPushButton*> presetButtons_;
    QLineEdit* search_ = nullptr;
    ExtendedOutlineView* sourceList_ = nullptr;
    ExtendedTableView* stationTable_ = nullptr;

    std::unique_ptr<ZYMRadioService> radioService_;
    std::unique_ptr<PlaySession> session_;
    std::unique_ptr<RadioServiceDirectory> directory_;
    std::unique_ptr<RadioStationsDataSource> dataSource_;
    std::unique_ptr<RadioStationLists> lists_;
    std::unique_ptr<AuthPanelsView> ownPanels_;  // outlives the controller that uses it
    std::unique_ptr<AuthenticationController> authController_;

    bool fadeInVolumeOnPlay_ = false;
    bool launchSetupFinished_ = false;
    bool isTerminating_ = false;
    bool signedOn_ = false;
    QString progressText_;
    int adHeight_ = 260;

    std::unique_ptr<WindowFadeController> fadeController_;

    // Layout, volume and overlay.
    class AdDrawer;
    void setupLayout();
    void computeDimensions();
    void windowDidResize();
    void setPanelsShown(WindowPanels panels);
    void setupAdView();
    void updateSourceListLimits();
    bool applicationActive() const;
    void setupVolume();
    void volumePlayingStateChanged();
    bool eventFilter(QObject* watched, QEvent* event) override;
    QWidget* contents_ = nullptr;
    QWidget* playControls_ = nullptr;
    QWidget* gapBelowTopPanel_ = nullptr;
    QWidget* presetControls_ = nullptr;
    QWidget* stationsList_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QWidget* adPanel_ = nullptr;
    WindowLayoutPolicy layoutPolicy_;
    int uiState_ = -1;
    bool resizing_ = false;
    std::optional<int> zoomedHeight_;
    int sourceListWantedWidth_ = 0;
    // Shared only so that this header need not complete their types.
    std::shared_ptr<AdDrawer> adDrawer_;
    std::shared_ptr<VolumeFadeController> volumeFader_;
    std::shared_ptr<NowPlayingOverlayController> overlay_;

    // Settings and the software-update timer.
    void scheduleSoftwareUpdates();
    std::unique_ptr<SoftwareUpdateTimer> updateTimer_;

    // Scripting, chat and timers.
    void setupScriptingChatAndTimers();
    void playForcedStationAtSignOn();
    bool forcePlayAtSignOn_ = false;
    // A URL chose the station before the launch's first load: the last one does not play.
    bool playChosenAtLaunch_ = false;
    // The selected station row's identifier, else the active directory station's, else "".
    QString listedStationID() const;
    std::optional<QString> forcePlayStationID_;
    std::optional<QString> forcePlayStationName_;
    std::unique_ptr<ChatStatus> chatStatus_;
    std::unique_ptr<SleepWakeTimer> sleepTimer_;
    std::unique_ptr<SleepWakeTimer> wakeTimer_;
    NotificationCenter::Subscription timersSettingsObserver_;
    // Now-playing display, service callbacks and controls.
    void setupDisplayAndControls();
    void setupFrameAutosaveAndCommands();
    static std::unique_ptr<QWidget> makeWindowWidget(RadioWindowController& window);
    void registerForNotifications();
    void buildMenus();
    void setValueOfNowPlayingView(class LineLayoutView* view, const QString& text);
    LineString plainLine(const QString& text) const;
    void radioProgressPanelDidEnd(int code);
    void presetsOutOfDateSheetDidEnd(int code);
    void resumeOrGiveUpAfterLoss(const QString& reason);
    void scheduleStationStateRequest(const QString& stationID);
    NowPlayingDisplay* display_ = nullptr;
    ColorSchemeController* colors_ = nullptr;
    std::unique_ptr<ColorSchemeController> ownColors_;
    std::function<void()> refreshChatStatus_;
    std::function<void()> showNowPlayingOverlay_;
    std::map<int, QMenu*> linkMenus_;
    std::shared_ptr<class DisplayLineDelegate> lineDelegate_;
    std::unique_ptr<RadioTrackTimeController> trackTimer_;
    int songTimeLabelState_ = 0;
    std::unique_ptr<ScheduledTimer> songTimeLabelTimer_;
    int requestServiceRetryCount_ = 0;
    // The service forgets its directory before it reports the loss; the window remembers.
    bool directoryLoaded_ = false;
    std::unique_ptr<ScheduledTimer> retryTimer_;
    std::unique_ptr<ScheduledTimer> signOffTimer_;
    QDialog* progressPanel_ = nullptr;
    QLabel* progressTitle_ = nullptr;
    QProgressBar* progressIndicator_ = nullptr;
    std::unique_ptr<ScheduledTimer> progressTimer_;
    QLabel* presetsLabel_ = nullptr;
    QString lastStationWithHoverFocus_;
    std::vector<std::unique_ptr<ScheduledTimer>> stationStateTimers_;
    std::shared_ptr<class PresetHoverTracker> presetTracker_;
    std::shared_ptr<class WindowKeyFilter> keyFilter_;
    QMenu* controlsMenu_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    QString albumArtFolder_;
    std::vector<NotificationCenter::Subscription> subscriptions_;
};
