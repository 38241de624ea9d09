#pragma once
// What the main window is given from outside: its collaborators, which tests replace by
// fakes, and the statistics and ads it reports to.

#include <QString>

#include <functional>

#include "app/radio/PlaySession.h"
#include "app/foundation/Clock.h"
#include "app/signon/DialogPresenter.h"
#include "app/foundation/NotificationCenter.h"
#include "app/radio/RadioPlayer.h"
#include "app/radio/ZYMRadioService.h"

class AdController;
class AdView;
class AuthPanelsView;
class ChatBusClient;
class PasswordStore;
class QWidget;
class UserDefaults;

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

    // The presenter and the notification centre of the service, the shared ones when unset.
    DialogPresenter& dialogs() const { return presenter ? *presenter : DialogPresenter::main(); }
    NotificationCenter& serviceNotifications() const {
        return service.notifications ? *service.notifications : NotificationCenter::defaultCenter();
    }
};
