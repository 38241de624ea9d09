#pragma once

// Station URLs and station state. A URL request for a station that cannot play yet is
// parked (one at a time, the latest wins) while its information is fetched, and sent or
// given up by the loading pump.

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class DMRadio3_StationStateType;
class DMServiceRequestToken;
class ZYMRadioService;
class ZYMRadioStationFormat;

class ZYMRadioStationURLs {
public:
    explicit ZYMRadioStationURLs(ZYMRadioService& service) : service_(service) {}

    void requestURLForStation(const QString& stationID, const std::shared_ptr<ZYMRadioStationFormat>& format);
    void requestURLForStation(const QString& stationID, int bandwidthLimit);
    void ensureStationInfo(const QString& stationID);
    void requestStateForStations(const QStringList& stationIDs, int bandwidthLimit);
    bool stationReadyToPlay(const QString& stationID) const;
    void addToPendingURLRequests(const QString& stationID, int bandwidthLimit);
    void addToPendingURLRequests(const QString& stationID, const std::shared_ptr<ZYMRadioStationFormat>& format);
    void addToPendingURLRequests(const QString& stationID);
    void checkForPendingURLRequest();
    const QString& pendingStationURLRequest() const { return pendingStationURLRequest_; }
    bool loadStationInfoFromCache(const QString& stationID, bool notify);
    void loadStationInfoFromService(const QString& stationID);

    // Answers, from the listener bridge.
    void requestForURLs(const QStringList& urls, const QString& progId, bool success, DMServiceRequestToken* token);
    void requestForStationsState(const std::vector<DMRadio3_StationStateType>& states, bool success,
                                 DMServiceRequestToken* token);

private:
    ZYMRadioService& service_;
    QString pendingStationURLRequest_;
    int pendingStationURLRequestBandwidthLimit_ = 0;
    std::shared_ptr<ZYMRadioStationFormat> pendingStationURLRequestStationFormat_;
};
