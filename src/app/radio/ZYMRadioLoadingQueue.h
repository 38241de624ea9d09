#pragma once

// The directory load: a fixed queue of steps (genres, stations, station information,
// media formats, preset slots, presets), one request in flight at a time, each answer
// applied to the model and the queue moved on by the pump; and the hourly refresh.

#include <QString>

#include <chrono>
#include <memory>
#include <vector>

class DMRadio3_MediaFormatType;
class DMRadio3_StationInfoType;
class DMServiceRequestToken;
class ScheduledTimer;
class ZYMRadioService;

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

class ZYMRadioLoadingQueue {
public:
    static constexpr int kStationInfoChunk = 20;
    static constexpr std::chrono::seconds kRefreshInterval{3600};

    explicit ZYMRadioLoadingQueue(ZYMRadioService& service);
    ~ZYMRadioLoadingQueue();

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
    // A required step failed.
    void requestFailed(DMServiceRequestToken* token);
    void startInformationRefreshTimer();
    // Stops the refresh for good (the service is going).
    void stopInformationRefreshTimer();
    void refreshInformation();

    // Answers, from the listener bridge.
    void genresUpdated(bool updated, bool success, DMServiceRequestToken* token);
    void stationsUpdated(bool updated, bool success, DMServiceRequestToken* token);
    void requestForStationsInfo(const std::vector<DMRadio3_StationInfoType>& infos, bool success,
                                DMServiceRequestToken* token);
    void requestForMediaFormats(const std::vector<DMRadio3_MediaFormatType>& formats, bool success,
                                DMServiceRequestToken* token);
    void requestForMaxPresets(int maxPresets, bool success, DMServiceRequestToken* token);

    // Whether a loader's request went out; when not, the load is reset and has failed.
    bool sent(DMServiceRequestToken* token);
    // The answer rule shared by every handler: whether the answer is to be applied.
    bool answerArrived(int type, bool success, DMServiceRequestToken* token, const char* notRequiredLine);
    // The core's cache writes wait while a load runs.
    void holdCacheWrites(bool hold);

private:
    void releasePendingStationInfo();
    // Those named by the station-information request of the token that still lack it.
    void releaseRequestedStationInfo(DMServiceRequestToken* token);

    ZYMRadioService& service_;
    std::vector<std::unique_ptr<ZYMRadioInformationRequest>> synchronousInfoRequests_;
    bool informationLoaded_ = false;
    std::unique_ptr<ScheduledTimer> informationRefreshTimer_;
};
