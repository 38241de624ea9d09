// The window's answers to changed preferences, signing on again under another name, and
// the software-update timer.

#include <cmath>

#include "app/services/AuthenticationController.h"
#include "app/services/UserDefaults.h"
#include "app/services/ZYMGenericService.h"
#include "app/ui/ListViews.h"
#include "app/ui/RadioWindowController.h"
#include "engine/base/LogMessage.h"

namespace {
constexpr std::chrono::milliseconds kFirstUpdateCheck{30000};
constexpr std::chrono::milliseconds kDay{86400000};
const QString kUpdateInterval = QStringLiteral("update_check_interval");
}  // namespace

void RadioWindowController::resetWithUsername(const QString& userName) {
    if (userName.isNull()) return;
    signOff();
    if (authController_ && !authController_->isBusy()) authController_->refresh();
    requestRadioService(userName);
}

void RadioWindowController::checkDefaultsForChange(const std::optional<QStringList>& keys) {
    auto changed = [&](const char* key) { return !keys || keys->contains(QLatin1String(key)); };
    if (changed("screenname")) {
        if (authController_ && !authController_->isBusy()) authController_->refresh();
        const auto plain = radioService_->authenticatedUsername(false);
        const auto canonical = radioService_->authenticatedUsername(true);
        const QString wanted = defaults_.string(QStringLiteral("screenname"));
        // The same name in another case or spacing is the same account.
        if (plain && canonical && wanted != *plain && sifCanonicalizedString(wanted) != *canonical) {
            LogMessage(kLogDebug, "Screenname in the Account Preferences changed from [%s] to [%s]...Resetting!\n",
                       plain->toUtf8().constData(), wanted.toUtf8().constData());
            resetWithUsername(wanted);
        }
    }
    if (changed("set_ichat_status")) chatStatusPreferenceChanged();
    if (changed("network_bandwidth_limit") && radioService_->serviceAvailable() && radioService_->haveAllStationInfo())
        radioService_->rebuildFilteredArraysWithBandwidth(networkBandwidthLimitPreference());
    if (changed("use_now_playing"))
        stationTable_->enableRowMouseTracking(defaults_.boolean(QStringLiteral("use_now_playing")));
}

void RadioWindowController::scheduleSoftwareUpdates() {
    const double seconds = defaults_.doubleValue(kUpdateInterval);
    // A value below one second counts as none: once a day.
    const double interval = std::isfinite(seconds) && std::trunc(seconds) != 0 ? seconds : 86400.0;
    updateTimerRepeats_ = interval > 0;
    updateTimerInterval_ = std::chrono::milliseconds(std::llround(std::min(interval, 1e12) * 1000));
    updateTimer_ = env_.scheduler->singleShot(kFirstUpdateCheck, [this] { checkForSoftwareUpdates(); });
}

void RadioWindowController::checkForSoftwareUpdates() {
    const double seconds = defaults_.doubleValue(kUpdateInterval);
    const double whole = std::isfinite(seconds) ? std::trunc(seconds) : 0;
    // The next check follows the interval as it is now; a negative one keeps the launch's.
    std::optional<std::chrono::milliseconds> next;
    if (whole == 0)
        next = kDay;
    else if (whole > 0)
        next = std::chrono::milliseconds(std::llround(std::min(seconds, 1e12) * 1000));
    else if (updateTimerRepeats_)
        next = updateTimerInterval_;
    updateTimer_ = next ? env_.scheduler->singleShot(*next, [this] { checkForSoftwareUpdates(); }) : nullptr;
    if (env_.checkForUpdates) env_.checkForUpdates();
}

DialogRequest RadioWindowController::localizedAlert(DialogRequest::Style style, const char* title, const char* message,
                                                    std::initializer_list<const char*> buttons) {
    DialogRequest alert;
    alert.style = style;
    alert.title = text(title);
    alert.messageText = alert.title;
    alert.informativeText = text(message);
    for (const char* key : buttons)
        alert.buttons << text(key);
    return alert;
}
