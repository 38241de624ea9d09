#include "app/support/PhoneHomeController.h"

#include "app/foundation/ZYMFileManager.h"
#include "app/foundation/Clock.h"
#include "app/foundation/UserDefaults.h"
#include "app/support/PhoneHomeKeys.h"
#include "app/support/PhoneHomeServices.h"
#include "app/support/PhoneHomeUploader.h"

#include <QDir>
#include <QFileInfo>

#include <sys/time.h>

#include <cstdlib>

namespace {

constexpr char kRateKey[] = "ZYM_normal_rate";
constexpr char kUrlKey[] = "statistics_url";

struct Shared {
    std::unique_ptr<PhoneHomeUploader> uploader;
    std::unique_ptr<PhoneHomeServices> store;
    ~Shared() {
        // The store first: it drops its uploads before the uploader goes.
        store.reset();
        uploader.reset();
    }
};

Shared& TheShared() {
    static Shared shared;
    return shared;
}

long SystemRandom() {
    static const bool seeded = [] {
        timeval now{};
        gettimeofday(&now, nullptr);
        srandom(unsigned(now.tv_usec));
        return true;
    }();
    (void)seeded;
    return random();
}

}  // namespace

void PhoneHomeController::registerPreferenceDefaults(UserDefaults& defaults, float rate) {
    defaults.registerDefaults({{kRateKey, double(rate)}});
}

void PhoneHomeController::setupPhoneHome(const QString& directory, int minorVNum, float reportingRate) {
    setupPhoneHome(directory, minorVNum, reportingRate, Environment{});
}

void PhoneHomeController::setupPhoneHome(const QString& directory, int minorVNum, float reportingRate,
                                         Environment environment) {
    Shared& shared = TheShared();
    if (shared.store) return;
    UserDefaults& defaults = environment.defaults ? *environment.defaults : UserDefaults::standardUserDefaults();
    const Clock& clock = environment.clock ? *environment.clock : Clock::system();
    if (!environment.random) environment.random = SystemRandom;
    if (!environment.machineFacts) environment.machineFacts = ReadMachineFacts;
    if (!environment.uploader) environment.uploader = std::make_unique<RequestorPhoneHomeUploader>();

    registerPreferenceDefaults(defaults, reportingRate);
    const QString folder = QDir::cleanPath(directory);
    const QString statsPath = folder + "/Session Stats";
    const QString logPath = folder + "/Disconnect Log";
    const QString lockPath = folder + "/Session Lock";
    ZYMFileManager::ensureDirectoriesInPath(QFileInfo(statsPath).path());
    ZYMFileManager::ensureDirectoriesInPath(QFileInfo(logPath).path());

    shared.uploader = std::move(environment.uploader);
    shared.store = std::make_unique<PhoneHomeServices>(clock, std::move(environment.random),
                                                       std::move(environment.machineFacts), shared.uploader.get());
    PhoneHomeServices& store = *shared.store;
    store.setStatisticsUrl(defaults.string(kUrlKey));
    store.Init(statsPath, logPath, lockPath);
    store.SendStoredReports();
    store.SetNumber(kPhoneHomeKeyMajorVersion, 4250);
    store.SetNumber(kPhoneHomeKeyMinorVersion, std::uint32_t(minorVNum));
    store.SetNumber(kPhoneHomeKeyCountry, 21843);
    store.Increment(kPhoneHomeKeyLaunchCount);
    store.SaveSessionStats();
    store.SetReportingRate(defaults.floatValue(kRateKey));
    store.ScheduleReports();
}

PhoneHomeServices* PhoneHomeController::sharedPhoneHome() { return TheShared().store.get(); }

void PhoneHomeController::shutdownForTesting() {
    Shared& shared = TheShared();
    shared.store.reset();
    shared.uploader.reset();
    PhoneHomeRequestorDelegate::resetSequenceForTesting();
}
