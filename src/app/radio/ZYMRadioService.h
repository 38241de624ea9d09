#pragma once

// The application's face of the version-3 radio directory. It takes over the core's
// DMRadio3Service at each hand-over, loads the directory through a queue of steps (from
// the day's cache or the server) into genres, stations and formats, filters them by
// bandwidth and codec, and reports to its delegate or as notifications. The work sits in
// the parts it owns (the loading queue, the held directory, the presets, the station
// URLs, the reports); this class keeps the hand-over and loss and is the one face its
// callers use. Main thread
// only; every entry from the event loop (listener bridge, refresh timer) is guarded, so
// nothing throws into the loop.
//
// The core object belongs to the generic service. When it reports its own loss
// ("ServiceError") it may still have results on their way to the listener, so it stays
// held, listener attached, until the next hand-over retires it, before the cache goes
// onto the new one (the old object flushes first, the new one last). Sign-off retires
// it at once.

#include <QHash>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/radio/RadioServiceDelegate.h"
#include "app/services/ZYMGenericService.h"
#include "app/radio/ZYMRadioStation.h"
#include "app/radio/ZYMRadioStationFormat.h"
#include "app/radio/ZYMRadioDirectory.h"
#include "app/radio/ZYMRadioLoadingQueue.h"
#include "app/radio/ZYMRadioPresets.h"
#include "app/radio/ZYMRadioServiceReports.h"
#include "app/radio/ZYMRadioStationURLs.h"

class DMGenericService;
class DMRadio3Service;
class DMRadio3_StationInfoType;
class DMRadio3_StationStateType;
class DMRadio3_MediaFormatType;
class DMSIF_IDType;
class DMServiceRequestToken;
class RadioServiceListener;

class ZYMRadioService : public ZYMGenericService {
public:
    // What the radio service adds to the generic service's surroundings.
    struct RadioEnvironment {
        // Whether the host answers without a connection to set up first; absent: the
        // engine's check.
        std::function<bool(const std::string& host)> isNetworkAddressReachable;
        // The host whose reachability decides a failure verdict of 2; empty: the host of
        // the services URL.
        std::string reachabilityHost;
    };

    static constexpr int kStationInfoChunk = ZYMRadioLoadingQueue::kStationInfoChunk;
    static constexpr std::chrono::seconds kRefreshInterval = ZYMRadioLoadingQueue::kRefreshInterval;
    static inline const QString kEmptyPreset = QStringLiteral("radio:aggregate:-1");

    explicit ZYMRadioService(ZYMServiceEnvironment environment = {}, RadioEnvironment radio = {});
    ~ZYMRadioService() override;

    QString serviceName() const override { return QStringLiteral("RadioService"); }
    // Also the generic service's delegate.
    void setDelegate(RadioServiceDelegate* delegate) {
        radioDelegate_ = delegate;
        ZYMGenericService::setDelegate(delegate);
    }
    RadioServiceDelegate* delegate() const { return radioDelegate_; }

    // --- hand-over, loss and the generic service's flow ---
    // Takes the core object over (the generic service owns it). Throws ServiceLayerError
    // ("Implementation Error", "Can't get radio service") for another service type.
    void serviceRequestSucceeded(DMGenericService* service) override;
    void serviceRequestFailedWithReason(int reason) override;
    // "ServiceError" (the core object reported its loss) or "UserLoggedOff".
    void serviceDidBecomeInvalidWithReason(const QString& reason) override;
    void serviceDidBecomeValid() override { ZYMGenericService::serviceDidBecomeValid(); }
    void serviceWillBecomeInvalid() override { ZYMGenericService::serviceWillBecomeInvalid(); }
    // The generic verdict, or 2 whatever it was when the services' host is unreachable.
    int shouldMethodFailureInvalidateService(DMServiceRequestToken* token) override;
    // The credentials are due for renewal: the day's cache goes, so the renewed service
    // reloads the whole directory.
    void credentialsTimerTask(const QString& userName) override;
    void authenticationStartingForUsername(const QString& userName) override;
    void authenticationSucceeded() override;
    void authenticationFailedWithReason(int reason) override;
    // The typed alias of genericService(); null once the service is lost.
    DMRadio3Service* radioService() const { return radioService_; }

    // --- model, look-ups and filter (the held directory) ---
    // Null while absent (before the first load, after the loss of the service).
    const ZYMRadioStationList* stations() const { return directory_.stations(); }
    const ZYMRadioGenreList* genres() const { return directory_.genres(); }
    const ZYMRadioStationList& filteredStations() const { return directory_.filteredStations(); }
    const ZYMRadioGenreList& filteredGenres() const { return directory_.filteredGenres(); }
    bool filteredArraysAreStale() const { return directory_.filteredArraysAreStale(); }
    std::shared_ptr<ZYMRadioStation> stationWithID(const QString& id) const { return directory_.stationWithID(id); }
    std::shared_ptr<ZYMRadioStation> stationWithName(const QString& name) const {
        return directory_.stationWithName(name);
    }
    std::shared_ptr<ZYMRadioStation> stationWithProgId(const QString& progId) const {
        return directory_.stationWithProgId(progId);
    }
    std::shared_ptr<ZYMRadioGenre> genreWithID(const QString& id) const { return directory_.genreWithID(id); }
    bool haveAllStationInfo() const { return directory_.haveAllStationInfo(); }
    void rebuildFilteredArraysWithBandwidth(int bps) { directory_.rebuildFilteredArraysWithBandwidth(bps); }
    // The station's usable formats at the limit, best first.
    ZYMRadioStationFormat::List stationFormats(const QString& stationID, int bitsPerSecond) const {
        return directory_.stationFormats(stationID, bitsPerSecond);
    }
    std::shared_ptr<ZYMRadioStationFormat> chooseBestFormat(const QString& stationID, int bandwidthLimit) const {
        return directory_.chooseBestFormat(stationID, bandwidthLimit);
    }
    ZYMRadioStationList stations(int bitsPerSecond) const { return directory_.stations(bitsPerSecond); }
    ZYMRadioGenreList genresOfStations(const ZYMRadioStationList& stations) const {
        return directory_.genresOfStations(stations);
    }
    // Read on every call; an unreadable resource gives the built-in list (logged).
    static QStringList supportedRadioMediaFormatClasses() {
        return ZYMRadioDirectory::supportedRadioMediaFormatClasses();
    }
    static QStringList supportedRadioMediaFormatProtocols() {
        return ZYMRadioDirectory::supportedRadioMediaFormatProtocols();
    }
    static QStringList supportedRadioMediaFormatCodecs() {
        return ZYMRadioDirectory::supportedRadioMediaFormatCodecs();
    }
    const QHash<QString, std::shared_ptr<ZYMRadioMediaFormat>>& mediaFormats() const {
        return directory_.mediaFormats();
    }
    std::size_t stationFormatCount() const { return directory_.stationFormatCount(); }

    // --- loading queue ---
    void preloadInformation(bool clear, bool useCache) { queue_.preloadInformation(clear, useCache); }
    void resetInformationLoading() { queue_.resetInformationLoading(); }
    void loadInformationFromService() { queue_.loadInformationFromService(); }
    // The pump.
    void loadMoreInformationFromService() { queue_.loadMoreInformationFromService(); }
    void serviceInformationLoaded() { queue_.serviceInformationLoaded(); }
    bool informationLoaded() const { return queue_.informationLoaded(); }
    void addInfoRequest(int type, ZYMRadioInformationRequest::Loader loader, bool sync = true) {
        queue_.addInfoRequest(type, loader, sync);
    }
    ZYMRadioInformationRequest* infoRequestWithType(int type) const { return queue_.infoRequestWithType(type); }
    void cancelCacheableInfoRequests() { queue_.cancelCacheableInfoRequests(); }
    int countOfPendingInfoRequests() const { return queue_.countOfPendingInfoRequests(); }
    int countOfTotalInfoRequests() const { return queue_.countOfTotalInfoRequests(); }
    void loadStationsFromService() { queue_.loadStationsFromService(); }
    void loadGenresFromService() { queue_.loadGenresFromService(); }
    void loadStationInfosFromService() { queue_.loadStationInfosFromService(); }
    void loadMediaFormatsFromService() { queue_.loadMediaFormatsFromService(); }
    void loadMaxPresetsFromService() { queue_.loadMaxPresetsFromService(); }
    void loadPresetsFromService() { presets_.loadPresetsFromService(); }
    // A required step failed (the sign-on request's own failure keeps its overload).
    using ZYMGenericService::requestFailed;
    void requestFailed(DMServiceRequestToken* token) { queue_.requestFailed(token); }
    void startInformationRefreshTimer() { queue_.startInformationRefreshTimer(); }
    void refreshInformation() { queue_.refreshInformation(); }

    // Answers, from the listener bridge.
    void genresUpdated(bool updated, bool success, DMServiceRequestToken* token) {
        queue_.genresUpdated(updated, success, token);
    }
    void stationsUpdated(bool updated, bool success, DMServiceRequestToken* token) {
        queue_.stationsUpdated(updated, success, token);
    }
    void requestForStationsInfo(const std::vector<DMRadio3_StationInfoType>& infos, bool success,
                                DMServiceRequestToken* token) {
        queue_.requestForStationsInfo(infos, success, token);
    }
    void requestForMediaFormats(const std::vector<DMRadio3_MediaFormatType>& formats, bool success,
                                DMServiceRequestToken* token) {
        queue_.requestForMediaFormats(formats, success, token);
    }
    void requestForMaxPresets(int maxPresets, bool success, DMServiceRequestToken* token) {
        queue_.requestForMaxPresets(maxPresets, success, token);
    }
    void requestForPresets(const std::vector<DMSIF_IDType>& presets, bool success, DMServiceRequestToken* token) {
        presets_.requestForPresets(presets, success, token);
    }
    void requestForStationsState(const std::vector<DMRadio3_StationStateType>& states, bool success,
                                 DMServiceRequestToken* token) {
        urls_.requestForStationsState(states, success, token);
    }
    void requestForURLs(const QStringList& urls, const QString& progId, bool success, DMServiceRequestToken* token) {
        urls_.requestForURLs(urls, progId, success, token);
    }
    void storePresetsCompleted(bool success, DMServiceRequestToken* token) {
        presets_.storePresetsCompleted(success, token);
    }

    // --- station URLs and station state ---
    // The answer comes as radioServiceStationURLDidLoad or radioServiceStationURLDidFail
    // (named by the format's prog id). A station that cannot play yet has its request
    // parked (one at a time, the latest wins) and its information fetched.
    void requestURLForStation(const QString& stationID, const std::shared_ptr<ZYMRadioStationFormat>& format) {
        urls_.requestURLForStation(stationID, format);
    }
    void requestURLForStation(const QString& stationID, int bandwidthLimit) {
        urls_.requestURLForStation(stationID, bandwidthLimit);
    }
    void ensureStationInfo(const QString& stationID) { urls_.ensureStationInfo(stationID); }
    void requestStateForStations(const QStringList& stationIDs, int bandwidthLimit) {
        urls_.requestStateForStations(stationIDs, bandwidthLimit);
    }
    bool stationReadyToPlay(const QString& stationID) const { return urls_.stationReadyToPlay(stationID); }
    void addToPendingURLRequests(const QString& stationID, int bandwidthLimit) {
        urls_.addToPendingURLRequests(stationID, bandwidthLimit);
    }
    void addToPendingURLRequests(const QString& stationID, const std::shared_ptr<ZYMRadioStationFormat>& format) {
        urls_.addToPendingURLRequests(stationID, format);
    }
    void addToPendingURLRequests(const QString& stationID) { urls_.addToPendingURLRequests(stationID); }
    // Sends a parked request once its station can play, and gives it up (reported as
    // failed) once the station can no longer become ready.
    void checkForPendingURLRequest() { urls_.checkForPendingURLRequest(); }
    const QString& pendingStationURLRequest() const { return urls_.pendingStationURLRequest(); }
    bool loadStationInfoFromCache(const QString& stationID, bool notify) {
        return urls_.loadStationInfoFromCache(stationID, notify);
    }
    void loadStationInfoFromService(const QString& stationID) { urls_.loadStationInfoFromService(stationID); }

    // --- model and the day's cache ---
    bool cacheIsGood() { return directory_.cacheIsGood(); }
    void loadInformationFromCache() { directory_.loadInformationFromCache(); }
    void cachedInformationLoaded() { directory_.cachedInformationLoaded(); }
    void loadGenresFromCache(bool notify) { directory_.loadGenresFromCache(notify); }
    void loadStationsFromCache(bool notify) { directory_.loadStationsFromCache(notify); }
    void loadStationInfosFromCache(bool notify) { directory_.loadStationInfosFromCache(notify); }
    void loadMediaFormatsFromCache(bool notify) { directory_.loadMediaFormatsFromCache(notify); }
    void clearStations(bool notify) { directory_.clearStations(notify); }
    void clearGenres(bool notify) { directory_.clearGenres(notify); }
    void clearMediaFormats(bool notify) { directory_.clearMediaFormats(notify); }
    void clearCacheableInformation() { directory_.clearCacheableInformation(); }
    void clearNonCacheableInformation() { presets_.clearPresets(true); }
    void updateInfoForStation(const DMRadio3_StationInfoType& info) { directory_.updateInfoForStation(info); }
    std::shared_ptr<ZYMRadioStationFormat> ensureRadioFormat(const DMRadio3_StationFormatType& format) {
        return directory_.ensureRadioFormat(format);
    }
    // Whether some station with its information names a media format not held.
    bool mediaFormatsMissing() const { return directory_.mediaFormatsMissing(); }

    // --- presets (slots numbered from 1) ---
    int maxNumberOfPresets() const { return presets_.maxNumberOfPresets(); }
    const QStringList& stationPresets() const { return presets_.stationPresets(); }
    void setStationMaxPresets(int n) { presets_.setStationMaxPresets(n); }
    void ensureStationPresetArray() { presets_.ensureStationPresetArray(); }
    void clearPresets(bool notify) { presets_.clearPresets(notify); }
    std::shared_ptr<ZYMRadioStation> stationForPreset(int preset) const { return presets_.stationForPreset(preset); }
    bool presetIsSet(int preset) const { return presets_.presetIsSet(preset); }
    bool stationExistsOnPresets(const ZYMRadioStation* station) const {
        return presets_.stationExistsOnPresets(station);
    }
    // The first slot holding the station, or kPresetNotFound.
    long presetIndex(const ZYMRadioStation* station) const { return presets_.presetIndex(station); }
    void storeStation(const ZYMRadioStation* station, int preset) { presets_.storeStation(station, preset); }
    void removePreset(int preset) { presets_.removePreset(preset); }
    // A drag: `to` names the slot in front of which the entry lands (one past the last
    // slot: the end).
    void moveStationFromPreset(int from, int to) { presets_.moveStationFromPreset(from, to); }
    void startPresetBatching() { presets_.startPresetBatching(); }
    void endPresetBatching() { presets_.endPresetBatching(); }
    void savePresets() { presets_.savePresets(); }
    // The two ways out of a write the server refused as out of date: take the server's
    // presets, or write the local ones over them.
    void loadStationPresets() { presets_.loadPresetsFromService(); }
    void forcePresetsToReplaceHostPresets() { presets_.forcePresetsToReplaceHostPresets(); }
    bool forcedPresetsWriteWaiting() const { return presets_.forcedPresetsWriteWaiting(); }
    static constexpr long kPresetNotFound = -1;

    // Pure day rule of cacheIsGood: true when both are valid and fall on the same GMT
    // calendar day.
    static bool sameGMTDay(const QDateTime& loadDate, const QDateTime& now) {
        return ZYMRadioDirectory::sameGMTDay(loadDate, now);
    }

protected:
    // Throws ServiceLayerError ("Implementation Error", "Radio service not available")
    // when no core service is held.
    DMRadio3Service& ensureRadioService() const;
    bool radioServiceUsable() const { return radioService_ != nullptr && serviceAvailable(); }

    // The parts, which reach one another and the service's surroundings through here.
    ZYMRadioServiceReports& reports() { return reports_; }
    ZYMRadioDirectory& directory() { return directory_; }
    ZYMRadioLoadingQueue& loadingQueue() { return queue_; }

    void retireGenericService(std::unique_ptr<DMGenericService> service) override;

private:
    friend class ZYMRadioServiceReports;
    friend class ZYMRadioDirectory;
    friend class ZYMRadioLoadingQueue;
    friend class ZYMRadioPresets;
    friend class ZYMRadioStationURLs;

    RadioEnvironment radioEnv_;
    RadioServiceDelegate* radioDelegate_ = nullptr;
    DMRadio3Service* radioService_ = nullptr;  // typed alias of genericService(), or null
    std::unique_ptr<RadioServiceListener> serviceListener_;

    ZYMRadioServiceReports reports_{*this};
    ZYMRadioDirectory directory_{*this};
    ZYMRadioPresets presets_{*this};
    ZYMRadioStationURLs urls_{*this};
    ZYMRadioLoadingQueue queue_{*this};
};
