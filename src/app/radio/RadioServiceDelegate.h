#pragma once

// What the radio service tells its one delegate (the main window). A message with a
// notification fall-back returns Delegated: the service posts the notification (object:
// the service; arguments under "object1" and "object2", a nil argument ending the user
// info) when there is no delegate or the delegate answers NotImplemented. Messages
// without a fall-back are plain virtuals with empty bodies; nothing stands in for them.
// Every message is sent synchronously on the main thread, inside the operation that
// causes it.

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

#include "app/services/ZYMGenericService.h"

class DMServiceRequestToken;
class ZYMServiceErrorDescription;
class ZYMRadioStationState;

enum class Delegated { Handled, NotImplemented };

// Names of the fall-back notifications.
namespace RadioServiceNotification {
inline const QString kAuthenticationForUsernameDidStart =
    QStringLiteral("kAuthenticationForUsernameDidStartNotificationName");
inline const QString kInformationWillLoad = QStringLiteral("kRadioServiceInformationWillLoadNotificationName");
inline const QString kServerInformationWillLoad =
    QStringLiteral("kRadioServiceServerInformationWillLoadNotificationName");
inline const QString kInformationDidLoad = QStringLiteral("kRadioServiceInformationDidLoadNotificationName");
inline const QString kServerInformationDidFail =
    QStringLiteral("kRadioServiceServerInformationDidFailNotificationName");
inline const QString kCachedInformationDidLoad =
    QStringLiteral("kRadioServiceCachedInformationDidLoadNotificationName");
inline const QString kFilteredInformationDidChange =
    QStringLiteral("kRadioServiceFilteredInformationDidChangeNotificationName");
inline const QString kStationsWillLoad = QStringLiteral("kRadioServiceStationsWillLoadNotificationName");
inline const QString kStationsDidLoad = QStringLiteral("kRadioServiceStationsDidLoadNotificationName");
inline const QString kStationDetailsWillLoad = QStringLiteral("kRadioServiceStationDetailsWillLoadNotificationName");
inline const QString kStationDetailsDidLoad = QStringLiteral("kRadioServiceStationDetailsDidLoadNotificationName");
inline const QString kStationStateWillLoad = QStringLiteral("kRadioServiceStationStateWillLoadNotificationName");
inline const QString kStationStateDidLoad = QStringLiteral("kRadioServiceStationStateDidLoadNotificationName");
inline const QString kGenresWillLoad = QStringLiteral("kRadioServiceGenresWillLoadNotificationName");
inline const QString kGenresDidLoad = QStringLiteral("kRadioServiceGenresDidLoadNotificationName");
inline const QString kMediaFormatsWillLoad = QStringLiteral("kRadioServiceMediaFormatsWillLoadNotificationName");
inline const QString kMediaFormatsDidLoad = QStringLiteral("kRadioServiceMediaFormatsDidLoadNotificationName");
inline const QString kMaxPresetsWillLoad = QStringLiteral("kRadioServiceMaxPresetsWillLoadNotificationName");
inline const QString kMaxPresetsDidLoad = QStringLiteral("kRadioServiceMaxPresetsDidLoadNotificationName");
inline const QString kPresetsWillLoad = QStringLiteral("kRadioServicePresetsWillLoadNotificationName");
inline const QString kPresetsDidLoad = QStringLiteral("kRadioServicePresetsDidLoadNotificationName");
inline const QString kPresetsWillStore = QStringLiteral("kRadioServicePresetsWillStoreNotificationName");
inline const QString kPresetsDidStore = QStringLiteral("kRadioServicePresetsDidStoreNotificationName");
inline const QString kPresetsOutOfDate = QStringLiteral("kRadioServicePresetsOutOfDateNotificationName");
inline const QString kStationURLWillLoad = QStringLiteral("kRadioServiceStationURLWillLoadNotificationName");
inline const QString kStationURLDidLoad = QStringLiteral("kRadioServiceStationURLDidLoadNotificationName");
inline const QString kStationURLDidFail = QStringLiteral("kRadioServiceStationURLDidFailNotificationName");
}  // namespace RadioServiceNotification

// The validity messages and the verdict questions come from the generic service's
// delegate.
class RadioServiceDelegate : public ZYMGenericServiceDelegate {
public:
    virtual Delegated authenticationStartedForUsername(const QString&) { return Delegated::NotImplemented; }
    virtual void authenticationDone(bool) {}
    virtual void authenticationCancelled() {}
    virtual void serviceRequestDone(bool) {}
    virtual void serviceEncounteredError(const ZYMServiceErrorDescription&) {}

    virtual Delegated radioServiceInformationWillLoad() { return Delegated::NotImplemented; }
    virtual Delegated radioServiceServerInformationWillLoad() { return Delegated::NotImplemented; }
    virtual Delegated radioServiceInformationDidLoad() { return Delegated::NotImplemented; }
    virtual Delegated radioServiceServerInformationDidFail() { return Delegated::NotImplemented; }
    virtual Delegated radioServiceCachedInformationDidLoad() { return Delegated::NotImplemented; }
    virtual Delegated radioServiceFilteredInformationDidChange() { return Delegated::NotImplemented; }
    virtual Delegated radioServiceStationsWillLoad() { return Delegated::NotImplemented; }
    virtual Delegated radioServiceStationsDidLoad() { return Delegated::NotImplemented; }
    // nullopt: many stations.
    virtual Delegated radioServiceStationDetailsWillLoad(const std::optional<QString>&) {
        return Delegated::NotImplemented;
    }
    virtual Delegated radioServiceStationDetailsDidLoad(const std::optional<QString>&) {
        return Delegated::NotImplemented;
    }
    virtual Delegated radioServiceStationStateWillLoad(const QString&) { return Delegated::NotImplemented; }
    virtual Delegated radioServiceStationStateDidLoad(const std::shared_ptr<ZYMRadioStationState>&) {
        return Delegated::NotImplemented;
    }
    virtual Delegated radioServiceGenresWillLoad() { return Delegated::NotImplemented; }
    virtual Delegated radioServiceGenresDidLoad() { return Delegated::NotImplemented; }
    virtual Delegated radioServiceMediaFormatsWillLoad() { return Delegated::NotImplemented; }
    virtual Delegated radioServiceMediaFormatsDidLoad() { return Delegated::NotImplemented; }
    virtual Delegated radioServiceMaxPresetsWillLoad() { return Delegated::NotImplemented; }
    virtual Delegated radioServiceMaxPresetsDidLoad() { return Delegated::NotImplemented; }
    virtual Delegated radioServicePresetsWillLoad() { return Delegated::NotImplemented; }
    virtual Delegated radioServicePresetsDidLoad() { return Delegated::NotImplemented; }
    virtual Delegated radioServicePresetsWillStore() { return Delegated::NotImplemented; }
    virtual Delegated radioServicePresetsDidStore() { return Delegated::NotImplemented; }
    virtual Delegated radioServicePresetsOutOfDate() { return Delegated::NotImplemented; }
    virtual Delegated radioServiceStationURLWillLoad(const QString&) { return Delegated::NotImplemented; }
    virtual Delegated radioServiceStationURLDidLoad(const QString& /*progId*/, const QStringList& /*urls*/) {
        return Delegated::NotImplemented;
    }
    virtual Delegated radioServiceStationURLDidFail(const QString&) { return Delegated::NotImplemented; }
};
