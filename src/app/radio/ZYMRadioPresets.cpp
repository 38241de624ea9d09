// The preset slots: reading, changing, batching, writing back, and the way out of a write
// the server refused because another client stored first.

#include "app/radio/ZYMRadioPresets.h"

#include "app/foundation/ServiceLayerError.h"
#include "app/radio/ZYMRadioService.h"
#include "dms/radio3/DMRadio3Service.h"
#include "runtime/LogMessage.h"

void ZYMRadioPresets::ensureStationPresetArray() {
    const int wanted = std::max(0, stationMaxPresets_);
    while (stationPresets_.size() < wanted)
        stationPresets_.append(ZYMRadioService::kEmptyPreset);
    while (stationPresets_.size() > wanted)
        stationPresets_.removeLast();
}

void ZYMRadioPresets::setStationMaxPresets(int n) {
    stationMaxPresets_ = n;
    ensureStationPresetArray();
}

void ZYMRadioPresets::clearPresets(bool notify) {
    if (notify) service_.reports().notifyRadioPresetsWillLoad();
    ensureStationPresetArray();
    for (QString& slot : stationPresets_)
        slot = ZYMRadioService::kEmptyPreset;
    if (notify) service_.reports().notifyRadioPresetsDidLoad();
}

std::shared_ptr<ZYMRadioStation> ZYMRadioPresets::stationForPreset(int preset) const {
    ZYM_ASSERT(preset >= 1, "Presets are 1-based");
    if (preset - 1 >= stationPresets_.size()) return nullptr;
    return service_.stationWithID(stationPresets_.at(preset - 1));
}

bool ZYMRadioPresets::presetIsSet(int preset) const { return stationForPreset(preset) != nullptr; }

bool ZYMRadioPresets::stationExistsOnPresets(const ZYMRadioStation* station) const {
    return presetIndex(station) != ZYMRadioService::kPresetNotFound;
}

long ZYMRadioPresets::presetIndex(const ZYMRadioStation* station) const {
    if (!station) return ZYMRadioService::kPresetNotFound;
    const qsizetype index = stationPresets_.indexOf(station->stationID());
    return index < 0 ? ZYMRadioService::kPresetNotFound : static_cast<long>(index) + 1;
}

void ZYMRadioPresets::storeStation(const ZYMRadioStation* station, int preset) {
    ZYM_ASSERT(preset >= 1, "Presets are 1-based");
    ZYM_ASSERT(station != nullptr, "nil station for preset");
    if (!service_.radioServiceUsable()) return;
    if (preset > stationPresets_.size()) return;
    stationPresets_[preset - 1] = station->stationID();
    savePresets();
}

void ZYMRadioPresets::removePreset(int preset) {
    ZYM_ASSERT(preset >= 1, "Presets are 1-based");
    if (!service_.radioServiceUsable()) return;
    if (preset > stationPresets_.size()) return;
    stationPresets_[preset - 1] = ZYMRadioService::kEmptyPreset;
    savePresets();
}

void ZYMRadioPresets::moveStationFromPreset(int from, int to) {
    if (!service_.radioServiceUsable()) return;
    const int count = static_cast<int>(stationPresets_.size());
    if (from < 1 || from > count || to < 1 || to > count + 1 || to == from || to == from + 1) return;
    const QString entry = stationPresets_.takeAt(from - 1);
    stationPresets_.insert(from < to ? to - 2 : to - 1, entry);
    savePresets();
}

void ZYMRadioPresets::startPresetBatching() { ++presetBatchDepth_; }

void ZYMRadioPresets::endPresetBatching() {
    ZYM_ASSERT(presetBatchDepth_ >= 1, "Unmatched preset batch");
    if (--presetBatchDepth_ == 0) savePresets();
}

void ZYMRadioPresets::savePresets() {
    if (presetBatchDepth_ > 0) return;
    if (!service_.radioServiceUsable() || presetsLoadIsOnlyToForceLaterWrite_) return;
    std::vector<DMSIF_IDType> ids;
    for (int slot = 1; slot <= stationPresets_.size(); ++slot)
        ids.emplace_back(stationPresets_.at(slot - 1).toStdString(), std::to_string(slot));
    if (service_.ensureRadioService().SetPresets(ids)) service_.reports().notifyRadioPresetsWillStore();
}

void ZYMRadioPresets::loadPresetsFromService() {
    auto* slotStep = service_.infoRequestWithType(ZYMRadioInformationRequest::kMaxPresets);
    if (!service_.radioServiceUsable() || !slotStep || !slotStep->loaded()) {
        // No answer will come to end a forced write, which would hold every later one.
        presetsLoadIsOnlyToForceLaterWrite_ = false;
        return;
    }
    std::vector<DMSIF_IDType> ids;
    for (int slot = 1; slot <= stationMaxPresets_; ++slot)
        ids.emplace_back(std::string(), std::to_string(slot));
    if (!service_.loadingQueue().sent(service_.ensureRadioService().GetPresets(ids, std::string()))) {
        presetsLoadIsOnlyToForceLaterWrite_ = false;
        return;
    }
    service_.reports().notifyRadioPresetsWillLoad();
    if (auto* presets = service_.infoRequestWithType(ZYMRadioInformationRequest::kPreset)) presets->setRequested(true);
}

void ZYMRadioPresets::forcePresetsToReplaceHostPresets() {
    presetsLoadIsOnlyToForceLaterWrite_ = true;
    loadPresetsFromService();
}

void ZYMRadioPresets::requestForPresets(const std::vector<DMSIF_IDType>& presets, bool success,
                                        DMServiceRequestToken* token) {
    const bool forced = presetsLoadIsOnlyToForceLaterWrite_;
    // Whatever the answer, the forced write is over once it arrives; a flag left set
    // would silently hold back every later change.
    presetsLoadIsOnlyToForceLaterWrite_ = false;
    if (!service_.loadingQueue().answerArrived(
            ZYMRadioInformationRequest::kPreset, success, token,
            "requestForPresets failed, but info request is not required.  continuing as normal.\n"))
        return;
    if (forced) {
        // The answer only brought the server's time stamp; the local slots go over it.
        savePresets();
        service_.loadMoreInformationFromService();
        return;
    }
    for (const auto& preset : presets) {
        const int slot = QString::fromStdString(preset.GetID()).toInt();
        if (slot < 1 || slot > stationPresets_.size()) continue;
        const QString id = QString::fromStdString(preset.GetValue());
        // A station the listing does not hold (one that is not played in full, say)
        // keeps its slot: emptying it would erase it on the server with the next write.
        stationPresets_[slot - 1] = id.isEmpty() ? ZYMRadioService::kEmptyPreset : id;
    }
    service_.reports().notifyRadioPresetsDidLoad();
    service_.loadMoreInformationFromService();
}

void ZYMRadioPresets::storePresetsCompleted(bool success, DMServiceRequestToken* token) {
    if (success) {
        service_.reports().notifyRadioPresetsDidStore();
        service_.loadMoreInformationFromService();
        return;
    }
    if (token && token->status.GetCode() == "OutOfDate") {
        service_.reports().notifyRadioPresetsOutOfDate();
        return;
    }
    LogMessage(kLogInfo,
               "storePresetsCompletedWithSuccess failed, but info request is not required.  continuing as normal.\n");
}
