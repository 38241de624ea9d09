#include "ProgramServices.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <optional>

#include "app/about/AboutWindow.h"
#include "app/adview/panel/AdPanelView.h"
#include "app/prefs/RadioPrefsWindowController.h"
#include "app/foundation/ZYMFileManager.h"
#include "app/foundation/Localizer.h"
#include "app/foundation/Resources.h"
#include "app/radio/ZYMRadioService.h"
#include "app/radio/ZYMRadioStation.h"
#include "app/support/ChatBusClient.h"
#include "app/support/NetworkInfoManager.h"
#include "app/support/PhoneHomeController.h"
#include "app/support/PhoneHomeServices.h"
#include "app/support/PhoneHomeStatisticsRecorder.h"
#include "app/support/SleepWakeNotifier.h"
#include "app/support/SoftwareUpdateController.h"
#include "app/support/ZYMLiaison.h"
#include "app/support/ZYMWorkspace.h"
#include "app/ui/ApplicationActions.h"

namespace {

// The statistics store once set up; nothing is counted before.
class PhoneHomeStatistics : public WindowStatistics {
public:
    void increment(int key) override {
        if (auto* s = PhoneHomeController::sharedPhoneHome()) s->Increment(std::uint16_t(key));
    }
    qint64 number(int key) override {
        auto* s = PhoneHomeController::sharedPhoneHome();
        return s ? s->GetNumber(std::uint16_t(key)) : 0;
    }
    void startTimer(int key) override {
        if (auto* s = PhoneHomeController::sharedPhoneHome()) s->StartTimer(std::uint16_t(key));
    }
    void stopTimer(int key) override {
        if (auto* s = PhoneHomeController::sharedPhoneHome()) s->StopTimer(std::uint16_t(key));
    }
    void setNumber(int key, qint64 value) override {
        if (auto* s = PhoneHomeController::sharedPhoneHome()) s->SetNumber(std::uint16_t(key), std::uint32_t(value));
    }
    void setSignOnState(int state) override {
        if (auto* s = PhoneHomeController::sharedPhoneHome()) s->SetSignOnState(std::uint32_t(state));
    }
    void saveSessionStats() override {
        if (auto* s = PhoneHomeController::sharedPhoneHome()) s->SaveSessionStats();
    }
    void endSession(int category, int code) override {
        if (auto* s = PhoneHomeController::sharedPhoneHome())
            s->EndSession(std::uint8_t(category), std::uint32_t(code));
    }
};

// The presets pane's view of the main window's radio service.
class RadioServicePresets : public PresetService {
public:
    explicit RadioServicePresets(ZYMRadioService& service) : service_(service) {}
    bool serviceAvailable() const override { return service_.serviceAvailable(); }
    int maxNumberOfPresets() const override { return service_.maxNumberOfPresets(); }
    std::optional<QString> stationNameForPreset(int slot) const override {
        const auto station = service_.stationForPreset(slot);
        if (!station) return std::nullopt;
        return station->name();
    }
    void removePreset(int slot) override { service_.removePreset(slot); }
    void moveStationFromPreset(int from, int to) override { service_.moveStationFromPreset(from, to); }
    bool hasStationWithID(const QString& stationID) const override {
        return service_.stationWithID(stationID) != nullptr;
    }
    void storeStationWithIDForPreset(const QString& stationID, int slot) override {
        if (const auto station = service_.stationWithID(stationID)) service_.storeStation(station.get(), slot);
    }
    // The service posts as its generic base.
    const void* notificationSender() const override { return static_cast<const ZYMGenericService*>(&service_); }

private:
    ZYMRadioService& service_;
};

// The house banner as a file of its own beside the ad pages, which show it by its file
// URL; the compiled-in one when no such file can be written (the panel still paints it).
QString BannerFile() {
    const QString source = Resources::find(QStringLiteral("banner"), QStringLiteral("png"));
    QFile resource(source);
    if (source.isEmpty() || !resource.open(QIODevice::ReadOnly)) return source;
    const QByteArray picture = resource.readAll();
    const QString folder = ZYMWorkspace::applicationSupportCachePath();
    const QString path = folder + QStringLiteral("/banner.png");
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == picture) return path;
    QSaveFile copy(path);
    if (!ZYMFileManager::ensureDirectoriesInPath(folder) || !copy.open(QIODevice::WriteOnly) ||
        copy.write(picture) != picture.size() || !copy.commit())
        return source;
    return path;
}

}  // namespace

struct ProgramServices::State {
    PhoneHomeStatistics statistics;
    PhoneHomeStatisticsRecorder serviceStatistics;
    std::unique_ptr<RadioServicePresets> presets;
    std::unique_ptr<ActionReporter> reporter;
};

ProgramServices::ProgramServices() : state_(std::make_unique<State>()) {}

ProgramServices::~ProgramServices() { ApplicationActions::setObserver(nullptr); }

void ProgramServices::setupPhoneHome() {
    PhoneHomeController::setupPhoneHome(ZYMWorkspace::applicationSupportPath(), 2318, 0.01f);
}

void ProgramServices::wire(AppEnvironment& env, RadioAppController* const& application) {
    State& state = *state_;
    if (!env.window.statistics) env.window.statistics = &state.statistics;
    // The service layer records its sign-on and discovery failures in the same store.
    if (!env.window.service.statistics) env.window.service.statistics = &state.serviceStatistics;
    if (!env.window.checkForUpdates)
        env.window.checkForUpdates = [] { SoftwareUpdateController::sharedController().checkForUpdates(); };
    if (!env.installSleepWakeNotifier) env.installSleepWakeNotifier = [] { InstallSleepWakeNotifier(); };
    if (!env.removeSleepWakeNotifier) env.removeSleepWakeNotifier = [] { RemoveSleepWakeNotifier(); };
    if (!env.window.chatClient) env.window.chatClient = &PurpleChatClient::session();
    if (!env.showAbout) env.showAbout = [] { AboutWindowController::sharedInstance().showPanel(); };
    if (!env.showPreferences)
        env.showPreferences = [&state, &application, chat = env.window.chatClient,
                               stores =
                                   PrefStores{env.defaults, env.window.service.notifications, env.window.passwords}] {
            RadioPrefsEnvironment prefs;
            // The window's own stores, so both see the same settings and notices.
            prefs.stores = stores;
            prefs.radioService = [&state, &application]() -> PresetService* {
                RadioWindowController* window = application ? application->mainWindowController() : nullptr;
                if (!window) return nullptr;
                if (!state.presets) state.presets = std::make_unique<RadioServicePresets>(window->radioService());
                return state.presets.get();
            };
            prefs.keychainService = [] { return Localizer::shared().text(QStringLiteral("RadioKeychainService")); };
            // The setting means something only while a chat client is there to take it.
            prefs.chatStatusScriptable = chat->isRunning();
            RadioPrefsWindowController::sharedPrefsController(prefs).showWindow();
        };
    if (!env.shutdownPreferences)
        env.shutdownPreferences = [] { RadioPrefsWindowController::shutdownPrefsController(); };

    // The ad panel; the web engine behind it is loaded only when the first ad is to show
    // (the window library itself knows no web engine).
    if (!env.window.adViews) {
        if (env.window.adBannerPath.isEmpty()) env.window.adBannerPath = BannerFile();
        env.window.adViews = [banner = env.window.adBannerPath](QWidget* parent) -> AdView* {
            return new AdPanelView(banner, AdPanelView::moduleFactory(QCoreApplication::applicationDirPath()), parent);
        };
        env.window.attachAdController = [](AdView* view, AdController* controller) {
            static_cast<AdPanelView*>(view)->setController(controller);
        };
    }

    // Every button and menu item, and the actions of the lists, go to the analytics.
    state.reporter = std::make_unique<ActionReporter>(ZYMLiaison::sharedLiaison());
    ApplicationActions::setObserver(
        [reporter = state.reporter.get()](const QString&, QObject* sender) { reporter->report(sender); });
}

void ProgramServices::applicationWillTerminate() { NetworkInfoManager::defaultManager().applicationWillTerminate(); }
