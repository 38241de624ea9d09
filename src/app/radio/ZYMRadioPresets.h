#pragma once

// The preset slots (numbered from 1): read from the server with the directory load,
// changed one at a time or in a batch, written back whole, and the way out of a write
// the server refused because another client stored first.

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class DMSIF_IDType;
class DMServiceRequestToken;
class ZYMRadioService;
class ZYMRadioStation;

class ZYMRadioPresets {
public:
    explicit ZYMRadioPresets(ZYMRadioService& service) : service_(service) {}

    int maxNumberOfPresets() const { return stationMaxPresets_; }
    const QStringList& stationPresets() const { return stationPresets_; }
    void setStationMaxPresets(int n);
    void ensureStationPresetArray();
    void clearPresets(bool notify);
    std::shared_ptr<ZYMRadioStation> stationForPreset(int preset) const;
    bool presetIsSet(int preset) const;
    bool stationExistsOnPresets(const ZYMRadioStation* station) const;
    long presetIndex(const ZYMRadioStation* station) const;
    void storeStation(const ZYMRadioStation* station, int preset);
    void removePreset(int preset);
    void moveStationFromPreset(int from, int to);
    void startPresetBatching();
    void endPresetBatching();
    void savePresets();
    void forcePresetsToReplaceHostPresets();
    bool forcedPresetsWriteWaiting() const { return presetsLoadIsOnlyToForceLaterWrite_; }
    // The loading queue's last step, and the way to take the server's presets.
    void loadPresetsFromService();

    // Answers, from the listener bridge.
    void requestForPresets(const std::vector<DMSIF_IDType>& presets, bool success, DMServiceRequestToken* token);
    void storePresetsCompleted(bool success, DMServiceRequestToken* token);

private:
    ZYMRadioService& service_;
    QStringList stationPresets_;
    bool presetsLoadIsOnlyToForceLaterWrite_ = false;
    int presetBatchDepth_ = 0;
    int stationMaxPresets_ = 5;
};
