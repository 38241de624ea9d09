#pragma once

// The application's face of the version-3 radio directory. It takes over the core's
// DMRadio3Service at each hand-over, loads the directory through a queue of steps (from
// the day's cache or the server) into genres, stations and formats, filters them by
// bandwidth and codec, and reports to its delegate or as notifications. Main thread
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

class DMGenericService;
class DMRadio3Service;
class DMRadio3_StationFormatType;
class DMRadio3_StationInfoType;
class DMRadio3_StationStateType;
class DMRadio3_MediaFormatType;
class DMSIF_IDType;
class DMServiceRequestToken;
class RadioServiceListener;
class ScheduledTimer;
class ZYMRadioService;

using ZYMRadioGenreList = std::vector<std::shared_ptr<ZYMRadioGenre>>;

// One step of a directory load.
class ZYMRadioInformationRequest {
public:
    enum Type : int {
        kStation = 1,
        kGenre = 2,
        kStationInfo = 3,
        kStationState = 4,
        kStationURL = 5,
        kPreset = 6,
        kMaxPresets = 7,
        kMediaFormat = 8
    };
    using Loader = void (ZYMRadioService::*)();

    ZYMRadioInformationRequest(int infoType, Loader loader) : infoType_(infoType), loader_(loader) {}

    int infoType() const { return infoType_; }
    Loader requestSelector() const { return loader_; }
    bool loaded() const { return loaded_; }
    bool requested() const { return requested_; }
    bool required() const { return required_; }
    int totalChunks() const { return totalChunks_; }
    int pendingChunks() const { return pendingChunks_; }
    void setLoaded(bool loaded) { loaded_ = loaded; }
    void setRequested(bool requested) { requested_ = requested; }
    void setRequired(bool required) { required_ = required; }
    void setTotalChunks(int n) { totalChunks_ = n; }
    // Below 1: nothing pending, loaded.
    void setPendingChunks(int n);
    void chunkLoaded();
    // Total and pending become n; loaded exactly when n is below 1.
    void resetChunksTo(int n);
    // The localized text of the type's key ("InfoRequestType_Station" ...); "" outside 1..8.
    QString description() const;

private:
    int infoType_;
    Loader loader_;
    bool loaded_ = false;
    bool requested_ = false;
    bool required_ = true;
    int totalChunks_ = 1;
    int pendingChunks_ = 1;
};

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

    static constexpr int kStationInfoChunk = 20;
    static constexpr std::chrono::seconds kRefreshInterval{3600};
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

    // --- model, look-ups and filter ---
    // Null while absent (before the first load, after the loss of the service).
    const ZYMRadioStationList* stations() const { return stations_ ? &*stations_ : nullptr; }
    const ZYMRadioGenreList* genres() const { return genres_ ? &*genres_ : nullptr; }
    const ZYMRadioStationList& filteredStations() const { return filteredStations_; }
    const ZYMRadioGenreList& filteredGenres() const { return filteredGenres_; }
    bool filteredArraysAreStale() const { return filteredArraysAreStale_; }
    std::shared_ptr<ZYMRadioStation> stationWithID(const QString& stationID) const;
    std::shared_ptr<ZYMRadioStation> stationWithName(const QString& name) const;
    std::shared_ptr<ZYMRadioStation> stationWithProgId(const QString& progId) const;
    std::shared_ptr<ZYMRadioGenre> genreWithID(const QString& genreID) const;
    bool haveAllStationInfo() const;
    void rebuildFilteredArraysWithBandwidth(int bitsPerSecond);
    // The station's usable formats at the limit, best first.
    ZYMRadioStationFormat::List stationFormats(const QString& stationID, int bitsPerSecond) const;
    std::shared_ptr<ZYMRadioStationFormat> chooseBestFormat(const QString& stationID, int bandwidthLimit) const;
    ZYMRadioStationList stations(int bitsPerSecond) const;
    ZYMRadioGenreList genresOfStations(const ZYMRadioStationList& stations) const;
    // Read on every call; an unreadable resource gives the built-in list (logged).
    static QStringList supportedRadioMediaFormatClasses();
    static QStringList supportedRadioMediaFormatProtocols();
    static QStringList supportedRadioMediaFormatCodecs();
    const QHash<QString, std::shared_ptr<ZYMRadioMediaFormat>>& mediaFormats() const { return mediaFormats_; }
    std::size_t stationFormatCount() const { return stationFormats_.size(); }

    // --- loading queue ---
    void preloadInformation(bool clear, bool useCache);
    void resetInformationLoading();
    void loadInformationFromService();
    // The pump.
    void loadMoreInformationFromService();
    void serviceInformationLoaded();
    bool informationLoaded() const { return informationLoaded_; }
    void addInfoRequest(int type, ZYMRadioInformationRequest::Loader loader, bool sync = true);
    ZYMRadioInformationRequest* infoRequestWithType(int type) const;
    void cancelCacheableInfoRequests();
    int countOfPendingInfoRequests() const;
    int countOfTotalInfoRequests() const;
    void loadStationsFromService();
    void loadGenresFromService();
    void loadStationInfosFromService();
    void loadMediaFormatsFromService();
    void loadMaxPresetsFromService();
    void loadPresetsFromService();
    // A required step failed (the sign-on request's own failure keeps its overload).
    using ZYMGenericService::requestFailed;
    void requestFailed(DMServiceRequestToken* token);
    void startInformationRefreshTimer();
    void refreshInformation();

    // Answers, from the listener bridge.
    void genresUpdated(bool updated, bool success, DMServiceRequestToken* token);
    void stationsUpdated(bool updated, bool success, DMServiceRequestToken* token);
    void requestForStationsInfo(const std::vector<DMRadio3_StationInfoType>& infos, bool success,
                                DMServiceRequestToken* token);
    void requestForMediaFormats(const std::vector<DMRadio3_MediaFormatType>& formats, bool success,
                                DMServiceRequestToken* token);
    void requestForMaxPresets(int maxPresets, bool success, DMServiceRequestToken* token);
    void requestForPresets(const std::vector<DMSIF_IDType>& presets, bool success, DMServiceRequestToken* token);
    void requestForStationsState(const std::vector<DMRadio3_StationStateType>& states, bool success,
                                 DMServiceRequestToken* token);
    void requestForURLs(const QStringList& urls, const QString& progId, bool success, DMServiceRequestToken* token);
    void storePresetsCompleted(bool success, DMServiceRequestToken* token);

    // --- station URLs and station state ---
    // The answer comes as radioServiceStationURLDidLoad or radioServiceStationURLDidFail
    // (named by the format's prog id). A station that cannot play yet has its request
    // parked (one at a time, the latest wins) and its information fetched.
    void requestURLForStation(const QString& stationID, const std::shared_ptr<ZYMRadioStationFormat>& format);
    void requestURLForStation(const QString& stationID, int bandwidthLimit);
    void ensureStationInfo(const QString& stationID);
    void requestStateForStations(const QStringList& stationIDs, int bandwidthLimit);
    bool stationReadyToPlay(const QString& stationID) const;
    void addToPendingURLRequests(const QString& stationID, int bandwidthLimit);
    void addToPendingURLRequests(const QString& stationID, const std::shared_ptr<ZYMRadioStationFormat>& format);
    void addToPendingURLRequests(const QString& stationID);
    // Sends a parked request once its station can play, and gives it up (reported as
    // failed) once the station can no longer become ready.
    void checkForPendingURLRequest();
    const QString& pendingStationURLRequest() const { return pendingStationURLRequest_; }
    bool loadStationInfoFromCache(const QString& stationID, bool notify);
    void loadStationInfoFromService(const QString& stationID);

    // --- model and the day's cache ---
    bool cacheIsGood();
    void loadInformationFromCache();
    void cachedInformationLoaded();
    void loadGenresFromCache(bool notify);
    void loadStationsFromCache(bool notify);
    void loadStationInfosFromCache(bool notify);
    void loadMediaFormatsFromCache(bool notify);
    void clearStations(bool notify);
    void clearGenres(bool notify);
    void clearMediaFormats(bool notify);
    void clearCacheableInformation();
    void clearNonCacheableInformation();
    void updateInfoForStation(const DMRadio3_StationInfoType& info);
    std::shared_ptr<ZYMRadioStationFormat> ensureRadioFormat(const DMRadio3_StationFormatType& format);
    // Whether some station with its information names a media format not held.
    bool mediaFormatsMissing() const;

    // --- presets (slots numbered from 1) ---
    int maxNumberOfPresets() const { return stationMaxPresets_; }
    const QStringList& stationPresets() const { return stationPresets_; }
    void setStationMaxPresets(int n);
    void ensureStationPresetArray();
    void clearPresets(bool notify);
    std::shared_ptr<ZYMRadioStation> stationForPreset(int preset) const;
    bool presetIsSet(int preset) const;
    bool stationExistsOnPresets(const ZYMRadioStation* station) const;
    // The first slot holding the station, or kPresetNotFound.
    long presetIndex(const ZYMRadioStation* station) const;
    void storeStation(const ZYMRadioStation* station, int preset);
    void removePreset(int preset);
    // A drag: `to` names the slot in front of which the entry lands (one past the last
    // slot: the end).
    void moveStationFromPreset(int from, int to);
    void startPresetBatching();
    void endPresetBatching();
    void savePresets();
    // The two ways out of a write the server refused as out of date: take the server's
    // presets, or write the local ones over them.
    void loadStationPresets() { loadPresetsFromService(); }
    void forcePresetsToReplaceHostPresets();
    bool forcedPresetsWriteWaiting() const { return presetsLoadIsOnlyToForceLaterWrite_; }
    static constexpr long kPresetNotFound = -1;

    // Pure day rule of cacheIsGood: true when both are valid and fall on the same GMT
    // calendar day.
    static bool sameGMTDay(const QDateTime& loadDate, const QDateTime& now);

protected:
    // Throws ServiceLayerError ("Implementation Error", "Radio service not available")
    // when no core service is held.
    DMRadio3Service& ensureRadioService() const;
    bool radioServiceUsable() const { return radioService_ != nullptr && serviceAvailable(); }
    void rebuildFilteredInternalReferences();

    // Delegate or notification.
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

    void retireGenericService(std::unique_ptr<DMGenericService> service) override;

private:
    void applyStationGenres(const std::shared_ptr<ZYMRadioStation>& station, const QStringList& genreIDs);
    void releasePendingStationInfo();
    // Those named by the station-information request of the token that still lack it.
    void releaseRequestedStationInfo(DMServiceRequestToken* token);
    // Whether a loader's request went out; when not, the load is reset and has failed.
    bool sent(DMServiceRequestToken* token);
    // The core's cache writes wait while a load runs (see the loading queue).
    void holdCacheWrites(bool hold);
    // The answer rule shared by every handler: whether the answer is to be applied.
    bool answerArrived(int type, bool success, DMServiceRequestToken* token, const char* notRequiredLine);
    // The supported classes, protocols and codecs, read from their resources once per use.
    struct SupportedFormats {
        QStringList classes, protocols, codecs;
    };
    static SupportedFormats supportedFormats();
    ZYMRadioStationFormat::List stationFormats(const ZYMRadioStation& station, int bitsPerSecond,
                                               const SupportedFormats& supported) const;

    RadioEnvironment radioEnv_;
    RadioServiceDelegate* radioDelegate_ = nullptr;
    DMRadio3Service* radioService_ = nullptr;  // typed alias of genericService(), or null
    std::unique_ptr<RadioServiceListener> serviceListener_;

    std::optional<ZYMRadioGenreList> genres_;
    std::optional<QHash<QString, std::shared_ptr<ZYMRadioGenre>>> genresDict_;
    std::optional<ZYMRadioStationList> stations_;
    std::optional<QHash<QString, std::shared_ptr<ZYMRadioStation>>> stationsDict_;
    ZYMRadioStationList filteredStations_;
    ZYMRadioGenreList filteredGenres_;
    bool filteredArraysAreStale_ = true;
    QHash<QString, std::shared_ptr<ZYMRadioStationFormat>> stationFormats_;
    QHash<QString, std::shared_ptr<ZYMRadioMediaFormat>> mediaFormats_;
    QStringList stationPresets_;
    bool presetsLoadIsOnlyToForceLaterWrite_ = false;
    int presetBatchDepth_ = 0;
    QString pendingStationURLRequest_;
    int pendingStationURLRequestBandwidthLimit_ = 0;
    std::shared_ptr<ZYMRadioStationFormat> pendingStationURLRequestStationFormat_;
    std::vector<std::unique_ptr<ZYMRadioInformationRequest>> synchronousInfoRequests_;
    bool informationLoaded_ = false;
    std::unique_ptr<ScheduledTimer> informationRefreshTimer_;
    int stationMaxPresets_ = 5;
};
