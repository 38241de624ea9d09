// The window's answers to changed preferences, signing on again under another name, and
// the software-update timer.

#include "app/signon/AuthenticationController.h"
#include "app/foundation/UserDefaults.h"
#include "app/services/ZYMGenericService.h"
#include "app/support/SoftwareUpdateController.h"
#include "app/ui/ListViews.h"
#include "app/ui/RadioWindowController.h"
#include "runtime/LogMessage.h"

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
    updateTimer_ =
        std::make_unique<SoftwareUpdateTimer>(defaults_, *env_.scheduler, [this] { checkForSoftwareUpdates(); });
    updateTimer_->start();
}

void RadioWindowController::checkForSoftwareUpdates() {
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
