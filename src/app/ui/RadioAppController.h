#pragma once
// The application's start-up and quit around the main window: registered defaults, the
// log file, one copy per user, the connection-speed question on the first launch, then
// the window, which signs on by itself.

#include <QDialog>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "app/foundation/NotificationCenter.h"
#include "app/ui/RadioWindowController.h"
#include "app/ui/ScriptingModel.h"

class QAction;
class QLocalServer;
class QUrl;
class ScheduledTimer;
class UserDefaults;
class ZYMMprisBus;
class ZYMScriptingBus;

// The album-art screen saver. Linux has none, so by default the offer never shows.
class ScreenSaverInstaller {
public:
    virtual ~ScreenSaverInstaller() = default;
    virtual bool isSupported() const { return false; }
    virtual bool isInstalled() const { return false; }
    // Installs and selects it; false when that failed (logged by the installer).
    virtual bool install() { return false; }
};

// The connection-speed question. Neither button is the default, so Return takes neither.
class ConnectionSpeedDialog : public QDialog {
    Q_OBJECT
public:
    enum Answer { Broadband = 1, Narrowband = 2 };
    explicit ConnectionSpeedDialog(QWidget* parent = nullptr);
};

struct AppEnvironment {
    UserDefaults* defaults = nullptr;  // the standard ones when null
    // Makes the usage-statistics store, the start-up's first step (none when empty).
    std::function<void()> setupStatistics;
    QString instanceName;  // the per-user local server name when empty
    QString logFolder;     // $XDG_STATE_HOME/zymradio when empty
    // Asks the speed question and answers a ConnectionSpeedDialog::Answer (a modal dialog when empty).
    std::function<int()> askConnectionSpeed;
    // Tells that another copy runs (a modal alert when empty).
    std::function<void()> alertAlreadyRunning;
    // Does quit the process (QCoreApplication::quit when empty).
    std::function<void()> terminate;
    // Power notices: "MachineIsSleepingNotification" stops playing while installed.
    std::function<void()> installSleepWakeNotifier;
    std::function<void()> removeSleepWakeNotifier;
    std::function<void()> showPreferences;
    std::function<void()> shutdownPreferences;
    std::function<void()> showAbout;
    // Opens a web or file URL (QDesktopServices when empty).
    std::function<bool(const QUrl&)> openURL;
    ScreenSaverInstaller* screenSaver = nullptr;  // none: never offered
    QString albumArtFolder;                       // <application data>/albumArt when empty
    WindowEnvironment window;
};

class RadioAppController : public QObject {
    Q_OBJECT
public:
    static constexpr int kBroadbandLimit = 15000000;
    static constexpr int kNarrowbandLimit = 32768;
    static constexpr qint64 kMaxLogBytes = 1048576;
    static constexpr int kStatActiveTime = 4395;
    static constexpr int kScreenSaverMinimumImages = 50;

    explicit RadioAppController(AppEnvironment environment = {});
    ~RadioAppController() override;

    // The start-up in its order; false when this copy quits because another runs.
    bool start();
    void registerPreferenceDefaults();
    QString initLogging();
    int logLevel() const;
    bool checkAlreadyRunning();
    bool checkConnectionSetting();
    void promptForConnectionSetting();
    void finishSetup();
    void showRadioWindow();

    // Quit: false when it must wait (a window refused, or the window is still visible).
    bool applicationShouldTerminate();
    // The whole quit: asks, then terminates now or once the window is gone.
    void quit();
    void applicationWillTerminate();
    // A reopen (another copy started) cancels a waiting quit and shows the window.
    void applicationShouldHandleReopen();
    // The main window's fades: the end of a fade-in activates it after a show; the end of
    // a fade-out lets a waiting quit go on.
    void windowDidFadeIn();
    void windowDidFadeOut();

    // Menus of the application around the window.
    void updateWindowMenu();
    void updateSignOnItem();
    void toggleSignedIn();
    void showPreferences();
    void showHelp();
    void showAcknowledgements();
    QAction* windowMenuItem() const { return windowMenuItem_; }
    QAction* signOnMenuItem() const { return signOnMenuItem_; }

    // Time the application is in front, for the usage statistics.
    void applicationDidBecomeActive();
    void applicationDidResignActive();
    void machineIsSleeping();
    // After each completed directory load: the screen-saver offer, five seconds later.
    void radioSignOnComplete();
    void checkOptionalScreenSaverInstall();

    RadioWindowController* mainWindowController() const { return window_.get(); }
    bool quitAfterWindowFadeOut() const { return quitAfterWindowFadeOut_; }
    // Each step of the start-up as it ran ("defaults", "log", ...).
    const QStringList& steps() const { return steps_; }
    // Asked first at every quit; false refuses it.
    std::function<bool()> windowShouldClose;

    // Scripting on the session bus and the URL of a start by the desktop's URL handler.
    // A URL handed here before the window exists is acted on once it does.
    void handleURL(const QString& url);
    ScriptingModel* scriptingModel() const { return scripting_.get(); }
    ZYMScriptingBus* scriptingBus() const { return scriptingBus_.get(); }
    ZYMMprisBus* mprisBus() const { return mprisBus_.get(); }

signals:
    void reopened();
    void windowCreated(RadioWindowController* window);

private:
    AppEnvironment env_;
    UserDefaults& defaults_;
    std::unique_ptr<QLocalServer> server_;
    std::unique_ptr<RadioWindowController> window_;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void setupMenus();
    WindowStatistics& statistics();
    Scheduler& scheduler();
    bool openURL(const QUrl& url);

    QAction* windowMenuItem_ = nullptr;
    QAction* signOnMenuItem_ = nullptr;
    std::unique_ptr<ScheduledTimer> screenSaverTimer_;
    std::vector<NotificationCenter::Subscription> observations_;
    bool quitAfterWindowFadeOut_ = false;
    bool activateAfterWindowFadeIn_ = false;
    bool terminated_ = false;
    QStringList steps_;

    // Scripting on the session bus.
    void startScripting();
    std::unique_ptr<ScriptingModel> scripting_;
    std::unique_ptr<ZYMScriptingBus> scriptingBus_;
    std::unique_ptr<ZYMMprisBus> mprisBus_;
    // The album-art store's file of the current song; empty when there is none.
    QString currentAlbumArtFile() const;
    QStringList pendingURLs_;
};
