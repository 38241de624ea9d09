#include "app/radio/ZYMRadioServiceReports.h"

#include "app/foundation/NotificationCenter.h"
#include "app/radio/ZYMRadioService.h"

RadioServiceDelegate* ZYMRadioServiceReports::delegate() const { return service_.delegate(); }

NotificationCenter& ZYMRadioServiceReports::notifications() const { return service_.notifications(); }

void ZYMRadioServiceReports::notify(const QString& name, Delegated (RadioServiceDelegate::*message)()) {
    if (delegate() && (delegate()->*message)() == Delegated::Handled) return;
    notifications().post(name, &service_);
}

void ZYMRadioServiceReports::notifyDetails(const QString& name,
                                           Delegated (RadioServiceDelegate::*message)(const std::optional<QString>&),
                                           const std::optional<QString>& stationID) {
    if (delegate() && (delegate()->*message)(stationID) == Delegated::Handled) return;
    NotificationCenter::UserInfo info;
    if (stationID) info[QStringLiteral("object1")] = *stationID;
    notifications().post(name, &service_, std::move(info));
}

void ZYMRadioServiceReports::notifyAuthenticationStartedForUsername(const QString& userName) {
    if (delegate() && delegate()->authenticationStartedForUsername(userName) == Delegated::Handled) return;
    notifications().post(RadioServiceNotification::kAuthenticationForUsernameDidStart, &service_,
                         {{QStringLiteral("object1"), userName}});
}

namespace N = RadioServiceNotification;
using D = RadioServiceDelegate;

void ZYMRadioServiceReports::notifyRadioInformationWillLoad() {
    notify(N::kInformationWillLoad, &D::radioServiceInformationWillLoad);
}
void ZYMRadioServiceReports::notifyRadioServerInformationWillLoad() {
    notify(N::kServerInformationWillLoad, &D::radioServiceServerInformationWillLoad);
}
void ZYMRadioServiceReports::notifyRadioInformationDidLoad() {
    notify(N::kInformationDidLoad, &D::radioServiceInformationDidLoad);
}
void ZYMRadioServiceReports::notifyRadioServerInformationDidFail() {
    notify(N::kServerInformationDidFail, &D::radioServiceServerInformationDidFail);
}
void ZYMRadioServiceReports::notifyRadioCachedInformationDidLoad() {
    notify(N::kCachedInformationDidLoad, &D::radioServiceCachedInformationDidLoad);
}
void ZYMRadioServiceReports::notifyRadioFilteredInformationDidChange() {
    notify(N::kFilteredInformationDidChange, &D::radioServiceFilteredInformationDidChange);
}
void ZYMRadioServiceReports::notifyRadioStationsWillLoad() {
    notify(N::kStationsWillLoad, &D::radioServiceStationsWillLoad);
}
void ZYMRadioServiceReports::notifyRadioStationsDidLoad() {
    notify(N::kStationsDidLoad, &D::radioServiceStationsDidLoad);
}
void ZYMRadioServiceReports::notifyRadioStationDetailsWillLoad(const std::optional<QString>& stationID) {
    notifyDetails(N::kStationDetailsWillLoad, &D::radioServiceStationDetailsWillLoad, stationID);
}
void ZYMRadioServiceReports::notifyRadioStationDetailsDidLoad(const std::optional<QString>& stationID) {
    notifyDetails(N::kStationDetailsDidLoad, &D::radioServiceStationDetailsDidLoad, stationID);
}
void ZYMRadioServiceReports::notifyRadioGenresWillLoad() { notify(N::kGenresWillLoad, &D::radioServiceGenresWillLoad); }
void ZYMRadioServiceReports::notifyRadioGenresDidLoad() { notify(N::kGenresDidLoad, &D::radioServiceGenresDidLoad); }
void ZYMRadioServiceReports::notifyRadioMediaFormatsWillLoad() {
    notify(N::kMediaFormatsWillLoad, &D::radioServiceMediaFormatsWillLoad);
}
void ZYMRadioServiceReports::notifyRadioMediaFormatsDidLoad() {
    notify(N::kMediaFormatsDidLoad, &D::radioServiceMediaFormatsDidLoad);
}
void ZYMRadioServiceReports::notifyRadioMaxPresetsWillLoad() {
    notify(N::kMaxPresetsWillLoad, &D::radioServiceMaxPresetsWillLoad);
}
void ZYMRadioServiceReports::notifyRadioMaxPresetsDidLoad() {
    notify(N::kMaxPresetsDidLoad, &D::radioServiceMaxPresetsDidLoad);
}
void ZYMRadioServiceReports::notifyRadioPresetsWillLoad() {
    notify(N::kPresetsWillLoad, &D::radioServicePresetsWillLoad);
}
void ZYMRadioServiceReports::notifyRadioPresetsDidLoad() { notify(N::kPresetsDidLoad, &D::radioServicePresetsDidLoad); }
void ZYMRadioServiceReports::notifyRadioPresetsWillStore() {
    notify(N::kPresetsWillStore, &D::radioServicePresetsWillStore);
}
void ZYMRadioServiceReports::notifyRadioPresetsDidStore() {
    notify(N::kPresetsDidStore, &D::radioServicePresetsDidStore);
}
void ZYMRadioServiceReports::notifyRadioPresetsOutOfDate() {
    notify(N::kPresetsOutOfDate, &D::radioServicePresetsOutOfDate);
}

void ZYMRadioServiceReports::notifyRadioStationURLWillLoad(const QString& stationID) {
    if (delegate() && delegate()->radioServiceStationURLWillLoad(stationID) == Delegated::Handled) return;
    NotificationCenter::UserInfo info;
    if (!stationID.isEmpty()) info[QStringLiteral("object1")] = stationID;
    notifications().post(N::kStationURLWillLoad, &service_, std::move(info));
}

void ZYMRadioServiceReports::notifyRadioStationURLDidLoad(const QString& progId, const QStringList& urls) {
    if (delegate() && delegate()->radioServiceStationURLDidLoad(progId, urls) == Delegated::Handled) return;
    NotificationCenter::UserInfo info;
    info[QStringLiteral("object1")] = progId;
    info[QStringLiteral("object2")] = urls;
    notifications().post(N::kStationURLDidLoad, &service_, std::move(info));
}

void ZYMRadioServiceReports::notifyRadioStationURLDidFail(const QString& progId) {
    if (delegate() && delegate()->radioServiceStationURLDidFail(progId) == Delegated::Handled) return;
    NotificationCenter::UserInfo info;
    info[QStringLiteral("object1")] = progId;
    notifications().post(N::kStationURLDidFail, &service_, std::move(info));
}

void ZYMRadioServiceReports::notifyRadioStationStateWillLoad(const QString& progId) {
    if (delegate() && delegate()->radioServiceStationStateWillLoad(progId) == Delegated::Handled) return;
    NotificationCenter::UserInfo info;
    info[QStringLiteral("object1")] = progId;
    notifications().post(N::kStationStateWillLoad, &service_, std::move(info));
}

void ZYMRadioServiceReports::notifyRadioStationStateDidLoad(const std::shared_ptr<ZYMRadioStationState>& state) {
    if (delegate() && delegate()->radioServiceStationStateDidLoad(state) == Delegated::Handled) return;
    NotificationCenter::UserInfo info;
    info[QStringLiteral("object1")] = state;
    notifications().post(N::kStationStateDidLoad, &service_, std::move(info));
}
