// The preset slots: reading, changing, batching, writing back, and the way out of a write
// the server refused because another client stored first.

#include "app/foundation/ServiceLayerError.h"
#include "app/radio/ZYMRadioService.h"
#include "dms/radio3/DMRadio3Service.h"
#include "runtime/LogMessage.h"

namespace N = RadioServiceNotification;
using D = RadioServiceDelegate;

std::shared_ptr<ZYMRadioStation> ZYMRadioService::stationForPreset(int preset) const {
    ZYM_ASSERT(preset >= 1, "Presets are 1-based");
    if (preset - 1 >= stationPresets_.size()) return nullptr;
    return stationWithID(stationPresets_.at(preset - 1));
}

bool ZYMRadioService::presetIsSet(int preset) const { return stationForPreset(preset) != nullptr; }

bool ZYMRadioService::stationExistsOnPresets(const ZYMRadioStation* station) const {
    return presetIndex(station) != kPresetNotFound;
}

long ZYMRadioService::presetIndex(const ZYMRadioStation* station) const {
    if (!station) return kPresetNotFound;
    const qsizetype index = stationPresets_.indexOf(station->stationID());
    return index < 0 ? kPresetNotFound : static_cast<long>(index) + 1;
}

void ZYMRadioService::storeStation(const ZYMRadioStation* station, int preset) {
    ZYM_ASSERT(preset >= 1, "Presets are 1-based");
    ZYM_ASSERT(station != nullptr, "nil station for preset");
    if (!radioServiceUsable()) return;
    if (preset > stationPresets_.size()) return;
    stationPresets_[preset - 1] = station->stationID();
    savePresets();
}

void ZYMRadioService::removePreset(int preset) {
    ZYM_ASSERT(preset >= 1, "Presets are 1-based");
    if (!radioServiceUsable()) return;
    if (preset > stationPresets_.size()) return;
    stationPresets_[preset - 1] = kEmptyPreset;
    savePresets();
}

void ZYMRadioService::moveStationFromPreset(int from, int to) {
    if (!radioServiceUsable()) return;
    const int count = static_cast<int>(stationPresets_.size());
    if (from < 1 || from > count || to < 1 || to > count + 1 || to == from || to == from + 1) return;
    const QString entry = stationPresets_.takeAt(from - 1);
    stationPresets_.insert(from < to ? to - 2 : to - 1, entry);
    savePresets();
}

void ZYMRadioService::startPresetBatching() { ++presetBatchDepth_; }

void ZYMRadioService::endPresetBatching() {
    ZYM_ASSERT(presetBatchDepth_ >= 1, "Unmatched preset batch");
    if (--presetBatchDepth_ == 0) savePresets();
}

void ZYMRadioService::savePresets() {
    if (presetBatchDepth_ > 0) return;
    if (!radioServiceUsable() || presetsLoadIsOnlyToForceLaterWrite_) return;
    std::vector<DMSIF_IDType> ids;
    for (int slot = 1; slot <= stationPresets_.size(); ++slot)
        ids.emplace_back(stationPresets_.at(slot - 1).toStdString(), std::to_string(slot));
    if (ensureRadioService().SetPresets(ids)) notifyRadioPresetsWillStore();
}

void ZYMRadioService::forcePresetsToReplaceHostPresets() {
    presetsLoadIsOnlyToForceLaterWrite_ = true;
    loadPresetsFromService();
}

void ZYMRadioService::requestForPresets(const std::vector<DMSIF_IDType>& presets, bool success,
                                        DMServiceRequestToken* token) {
    const bool forced = presetsLoadIsOnlyToForceLaterWrite_;
    // Whatever the answer, the forced write is over once it arrives; a flag left set
    // would silently hold back every later change.
    presetsLoadIsOnlyToForceLaterWrite_ = false;
    if (!answerArrived(ZYMRadioInformationRequest::kPreset, success, token,
                       "requestForPresets failed, but info request is not required.  continuing as normal.\n"))
        return;
    if (forced) {
        // The answer only brought the server's time stamp; the local slots go over it.
        savePresets();
        loadMoreInformationFromService();
        return;
    }
    for (const auto& preset : presets) {
        const int slot = QString::fromStdString(preset.GetID()).toInt();
        if (slot < 1 || slot > stationPresets_.size()) continue;
        const QString id = QString::fromStdString(preset.GetValue());
        // A station the listing does not hold (one that is not played in full, say)
        // keeps its slot: emptying it would erase it on the server with the next write.
        stationPresets_[slot - 1] = id.isEmpty() ? kEmptyPreset : id;
    }
    notifyRadioPresetsDidLoad();
    loadMoreInformationFromService();
}

void ZYMRadioService::storePresetsCompleted(bool success, DMServiceRequestToken* token) {
    if (success) {
        notifyRadioPresetsDidStore();
        loadMoreInformationFromService();
        return;
    }
    if (token && token->status.GetCode() == "OutOfDate") {
        notifyRadioPresetsOutOfDate();
        return;
    }
    LogMessage(kLogInfo,
               "storePresetsCompletedWithSuccess failed, but info request is not required.  continuing as normal.\n");
}

void ZYMRadioService::notifyRadioPresetsWillStore() { notify(N::kPresetsWillStore, &D::radioServicePresetsWillStore); }
void ZYMRadioService::notifyRadioPresetsDidStore() { notify(N::kPresetsDidStore, &D::radioServicePresetsDidStore); }
void ZYMRadioService::notifyRadioPresetsOutOfDate() { notify(N::kPresetsOutOfDate, &D::radioServicePresetsOutOfDate); }
