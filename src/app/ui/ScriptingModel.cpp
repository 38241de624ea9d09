#include "app/ui/ScriptingModel.h"

#include <exception>

#include "app/foundation/ServiceLayerError.h"
#include "app/radio/ZYMRadioService.h"
#include "app/radio/ZYMRadioStation.h"
#include "app/radio/RadioMetadataParser.h"
#include "app/ui/RadioWindowController.h"

namespace {

ZYMScriptStation ScriptStation(const ZYMRadioStation& station) { return {station.stationID(), station.name()}; }

std::optional<ZYMScriptStation> ScriptStation(const std::shared_ptr<ZYMRadioStation>& station) {
    if (!station) return std::nullopt;
    return ScriptStation(*station);
}

}  // namespace

ScriptingModel::ScriptingModel(RadioWindowController& window)
    : window_(window), trackTime_([&window]() -> std::optional<TrackTime> {
          const RadioTrackTimeController* timer = window.trackTimer();
          if (!timer) return std::nullopt;
          return TrackTime{double(timer->currentTime()), double(timer->totalTime())};
      }) {}

ScriptingModel::~ScriptingModel() = default;

void ScriptingModel::playStation(const ZYMScriptStation& station) { playStationWithID(station.identifier); }

void ScriptingModel::play() { window_.play(); }

void ScriptingModel::playStationWithID(const QString& identifier) {
    if (identifier.isEmpty()) return;
    if (auto station = window_.radioService().stationWithID(identifier)) window_.startPlaying(station, true);
}

void ScriptingModel::playStationWithName(const QString& name) {
    if (auto station = window_.radioService().stationWithName(name)) window_.startPlaying(station, true);
}

void ScriptingModel::playStationWithURL(const QString& url) { window_.playStationWithURL(url); }

void ScriptingModel::stopPlaying() { window_.stopPlaying(); }

void ScriptingModel::togglePlaying() { window_.togglePlaying(); }

void ScriptingModel::signOff() { window_.signOff(); }

void ScriptingModel::signOnWithUserName(const QString& userName) {
    window_.requestRadioService(userName.isEmpty() ? QString() : userName);
}

std::optional<ZYMScriptStation> ScriptingModel::stationWithID(const QString& identifier) const {
    return ScriptStation(window_.radioService().stationWithID(identifier));
}

std::optional<ZYMScriptStation> ScriptingModel::stationWithName(const QString& name) const {
    return ScriptStation(window_.radioService().stationWithName(name));
}

void ScriptingModel::forceSignOnAndPlayStationID(const std::optional<QString>& identifier,
                                                 const std::optional<QString>& name) {
    window_.forceSignOnAndPlayStationID(identifier, name);
}

std::optional<ZYMScriptStation> ScriptingModel::playingStation() const {
    return ScriptStation(window_.playingStation());
}

QList<ZYMScriptStation> ScriptingModel::radioStations() const {
    QList<ZYMScriptStation> out;
    for (const auto& station : window_.radioService().filteredStations())
        if (station) out.append(ScriptStation(*station));
    return out;
}

QList<ZYMScriptStation> ScriptingModel::radioGenres() const {
    QList<ZYMScriptStation> out;
    for (const auto& genre : window_.radioService().filteredGenres())
        if (genre) out.append({genre->genreID(), genre->name()});
    return out;
}

int ScriptingModel::soundVolume() const { return window_.soundVolume(); }

void ScriptingModel::setSoundVolume(int volume) { window_.setSoundVolume(volume); }

qint64 ScriptingModel::currentTrackPlayingTime() const {
    const auto time = trackTime_ ? trackTime_() : std::nullopt;
    return time ? qint64(time->current * 1000.0) : 0;
}

qint64 ScriptingModel::currentTrackTotalTime() const {
    const auto time = trackTime_ ? trackTime_() : std::nullopt;
    return time ? qint64(time->total * 1000.0) : 0;
}

std::optional<ZYMScriptTrack> ScriptingModel::currentTrack() const {
    const RadioMetadataParser* track = window_.currentTrackMetadata();
    if (!track || !track->isSong()) return std::nullopt;
    // A field the document leaves out reads as empty text.
    return ZYMScriptTrack{track->songName().value_or(QString()), track->songArtist().value_or(QString()),
                          track->songAlbum().value_or(QString())};
}

bool ScriptingModel::isPlaying() const { return window_.isPreparingOrBufferingOrPlaying(); }

bool ScriptingModel::isAuthenticated() const { return window_.radioService().serviceAvailable(); }

std::optional<QString> ScriptingModel::authenticatedUsername() const {
    return window_.radioService().authenticatedUsername(false);
}

int ScriptingModel::maxNumberOfPresets() const { return window_.radioService().maxNumberOfPresets(); }

QList<std::optional<ZYMScriptStation>> ScriptingModel::presetsArray() const {
    QList<std::optional<ZYMScriptStation>> out;
    if (!window_.radioService().serviceAvailable()) return out;
    for (int slot = 1; slot <= maxNumberOfPresets(); ++slot)
        out.append(ScriptStation(window_.radioService().stationForPreset(slot)));
    return out;
}

std::optional<QString> ScriptingModel::setPresetsArray(const QList<std::optional<ZYMScriptStation>>& presets) {
    if (presets.size() != maxNumberOfPresets()) return QString::fromLatin1(kPresetArraySizeReason);
    // Every station is looked up first, so an unknown one stores nothing.
    std::vector<std::shared_ptr<ZYMRadioStation>> stations;
    for (const auto& entry : presets) {
        std::shared_ptr<ZYMRadioStation> station;
        if (entry && !entry->identifier.isEmpty()) {
            station = window_.radioService().stationWithID(entry->identifier);
            if (!station) return QString::fromLatin1(kPresetUnknownStationReason);
        }
        stations.push_back(std::move(station));
    }
    ZYMRadioService& service = window_.radioService();
    std::optional<QString> failure;
    service.startPresetBatching();
    for (int slot = 1; slot <= int(stations.size()) && !failure; ++slot) {
        const auto& station = stations[std::size_t(slot - 1)];
        if (!station) continue;
        bool stored = false;
        try {
            stored = storePreset(*station, slot);
        } catch (...) {
            LogCaughtException("setPresetsArray", std::current_exception());
        }
        // The slots before stay stored, but the caller learns that the rest was not.
        if (!stored) failure = QString::fromLatin1(kPresetNotStoredReason).arg(slot);
    }
    service.endPresetBatching();
    return failure;
}

bool ScriptingModel::storePreset(const ZYMRadioStation& station, int slot) {
    ZYMRadioService& service = window_.radioService();
    service.storeStation(&station, slot);
    const auto held = service.stationForPreset(slot);
    return held && held->stationID() == station.stationID();
}

QString ScriptingModel::albumArtUrl() const {
    const RadioMetadataParser* track = window_.currentTrackMetadata();
    return track ? track->albumArtUrlString() : QString("");
}
