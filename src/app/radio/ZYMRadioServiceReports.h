#pragma once

// What the radio service tells: each report goes to the delegate, and when there is none
// or it does not take the message, it is posted as the notification of the same name
// (object: the service). Sent synchronously, inside the operation that causes it.

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

#include "app/radio/RadioServiceDelegate.h"

class ZYMRadioService;
class ZYMRadioStationState;

class ZYMRadioServiceReports {
public:
    explicit ZYMRadioServiceReports(ZYMRadioService& service) : service_(service) {}

    void notify(const QString& name, Delegated (RadioServiceDelegate::*message)());
    void notifyDetails(const QString& name, Delegated (RadioServiceDelegate::*message)(const std::optional<QString>&),
                       const std::optional<QString>& stationID);
    void notifyRadioInformationWillLoad();
    void notifyRadioServerInformationWillLoad();
    void notifyRadioInformationDidLoad();
    void notifyRadioServerInformationDidFail();
    void notifyRadioCachedInformationDidLoad();
    void notifyRadioFilteredInformationDidChange();
    void notifyRadioStationsWillLoad();
    void notifyRadioStationsDidLoad();
    void notifyRadioStationDetailsWillLoad(const std::optional<QString>& stationID);
    void notifyRadioStationDetailsDidLoad(const std::optional<QString>& stationID);
    void notifyRadioGenresWillLoad();
    void notifyRadioGenresDidLoad();
    void notifyRadioMediaFormatsWillLoad();
    void notifyRadioMediaFormatsDidLoad();
    void notifyRadioMaxPresetsWillLoad();
    void notifyRadioMaxPresetsDidLoad();
    void notifyRadioPresetsWillLoad();
    void notifyRadioPresetsDidLoad();
    void notifyAuthenticationStartedForUsername(const QString& userName);
    void notifyRadioPresetsWillStore();
    void notifyRadioPresetsDidStore();
    void notifyRadioPresetsOutOfDate();
    void notifyRadioStationURLWillLoad(const QString& stationID);
    void notifyRadioStationURLDidLoad(const QString& progId, const QStringList& urls);
    void notifyRadioStationURLDidFail(const QString& progId);
    void notifyRadioStationStateWillLoad(const QString& progId);
    void notifyRadioStationStateDidLoad(const std::shared_ptr<ZYMRadioStationState>& state);

private:
    RadioServiceDelegate* delegate() const;
    NotificationCenter& notifications() const;

    ZYMRadioService& service_;
};
