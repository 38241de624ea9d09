#include "app/radio/RadioServiceListener.h"

#include "app/foundation/ServiceLayerError.h"
#include "app/radio/ZYMRadioService.h"

void RadioServiceListener::ServiceDidBecomeValid() {
    Guarded("RadioServiceListener::ServiceDidBecomeValid", [&] { service_->serviceDidBecomeValid(); });
}

void RadioServiceListener::ServiceWillBecomeInvalid() {
    Guarded("RadioServiceListener::ServiceWillBecomeInvalid", [&] { service_->serviceWillBecomeInvalid(); });
}

void RadioServiceListener::ServiceDidBecomeInvalid() {
    Guarded("RadioServiceListener::ServiceDidBecomeInvalid",
            [&] { service_->serviceDidBecomeInvalidWithReason(QStringLiteral("ServiceError")); });
}

int RadioServiceListener::ShouldMethodFailureInvalidateService(DMServiceRequestToken* token) {
    int verdict = 2;
    Guarded("RadioServiceListener::ShouldMethodFailureInvalidateService",
            [&] { verdict = service_->shouldMethodFailureInvalidateService(token); });
    return verdict;
}

void RadioServiceListener::GenresUpdated(bool updated, DMServiceRequestToken* token, bool success) {
    Guarded("RadioServiceListener::GenresUpdated", [&] { service_->genresUpdated(updated, success, token); });
}

void RadioServiceListener::StationsUpdated(bool updated, DMServiceRequestToken* token, bool success) {
    Guarded("RadioServiceListener::StationsUpdated", [&] { service_->stationsUpdated(updated, success, token); });
}

void RadioServiceListener::RequestForStationsInfoCompleted(const std::vector<DMRadio3_StationInfoType>& stations,
                                                           DMServiceRequestToken* token, bool success) {
    Guarded("RadioServiceListener::RequestForStationsInfoCompleted",
            [&] { service_->requestForStationsInfo(stations, success, token); });
}

void RadioServiceListener::RequestForStationsStateCompleted(const std::vector<DMRadio3_StationStateType>& states,
                                                            DMServiceRequestToken* token, bool success) {
    Guarded("RadioServiceListener::RequestForStationsStateCompleted",
            [&] { service_->requestForStationsState(states, success, token); });
}

void RadioServiceListener::RequestForMediaFormatsCompleted(const std::vector<DMRadio3_MediaFormatType>& formats,
                                                           DMServiceRequestToken* token, bool success) {
    Guarded("RadioServiceListener::RequestForMediaFormatsCompleted",
            [&] { service_->requestForMediaFormats(formats, success, token); });
}

void RadioServiceListener::RequestForURLsCompleted(const std::string& refId, const std::vector<std::string>& urls,
                                                   DMServiceRequestToken* token, bool success) {
    Guarded("RadioServiceListener::RequestForURLsCompleted", [&] {
        QStringList list;
        for (const auto& url : urls)
            list.append(QString::fromStdString(url));
        service_->requestForURLs(list, QString::fromStdString(refId), success, token);
    });
}

void RadioServiceListener::RequestForMaxPresetsCompleted(int maxPresets, DMServiceRequestToken* token, bool success) {
    Guarded("RadioServiceListener::RequestForMaxPresetsCompleted",
            [&] { service_->requestForMaxPresets(maxPresets, success, token); });
}

void RadioServiceListener::RequestForPresetsCompleted(const std::vector<DMSIF_IDType>& presets,
                                                      DMServiceRequestToken* token, bool success) {
    Guarded("RadioServiceListener::RequestForPresetsCompleted",
            [&] { service_->requestForPresets(presets, success, token); });
}

void RadioServiceListener::StorePresetsCompleted(DMServiceRequestToken* token, bool success) {
    Guarded("RadioServiceListener::StorePresetsCompleted", [&] { service_->storePresetsCompleted(success, token); });
}
