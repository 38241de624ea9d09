// Presets of the play road: playing one, and storing a station on one.

#include "app/signon/DialogPresenter.h"
#include "app/foundation/NotificationCenter.h"
#include "app/radio/ZYMRadioStation.h"
#include "app/ui/RadioWindowController.h"

namespace {
// The name the preferences window listens for.
const QString kPresetsChanged = QStringLiteral("kRadioServicePresetsChangedNotification");
}  // namespace

void RadioWindowController::playPreset(int preset) {
    auto station = radioService_->stationForPreset(preset);
    if (!station) return;
    // Pressing the preset of the station that plays already is no new preset play.
    if (station != playingStation()) env_.statistics->increment(kStatPresetPlays);
    startPlaying(station, true);
}

void RadioWindowController::storePlayingOnPreset(int preset) { checkStoreStation(playingStation(), preset); }

void RadioWindowController::storeSelectionOnPreset(int preset) { checkStoreStation(activeStation(), preset); }

void RadioWindowController::storeStationIDOnPreset(const QString& stationID, int preset) {
    checkStoreStation(radioService_->stationWithID(stationID), preset);
}

QString RadioWindowController::stationIDOnPreset(int preset) const {
    const auto station = radioService_->stationForPreset(preset);
    return station ? station->stationID() : QString();
}

void RadioWindowController::checkStoreStation(const std::shared_ptr<ZYMRadioStation>& station, int preset) {
    if (!station || !presetSlotAvailable(preset)) return;
    if (!radioService_->stationExistsOnPresets(station.get())) return doStoreStation(station, preset);
    DialogPresenter& presenter = env_.presenter ? *env_.presenter : DialogPresenter::main();
    const DialogRequest sheet = localizedAlert(DialogRequest::Style::Informational, "PresetExistsTitle",
                                               "PresetExistsMsg", {"PresetExistsDefault", "Cancel"});
    QPointer<RadioWindowController> self(this);
    presenter.present(sheet, window_.get(), [self, station, preset](int button) {
        if (self && button == 0) self->doStoreStation(station, preset);
    });
}

void RadioWindowController::doStoreStation(const std::shared_ptr<ZYMRadioStation>& station, int preset) {
    radioService_->storeStation(station.get(), preset);
    NotificationCenter& center =
        env_.service.notifications ? *env_.service.notifications : NotificationCenter::defaultCenter();
    center.post(kPresetsChanged, nullptr);
    updateWindowUI();
}
