#pragma once
// The main window as scripts see it: the commands and the twelve keys of the scripting
// model over the window controller. A presets array that cannot be stored answers the
// reason instead of raising. Main thread only.

#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "app/support/ZYMScriptCommands.h"

class RadioWindowController;
class ZYMRadioStation;

// The reasons a presets array is refused or stored only in part.
inline constexpr const char* kPresetUnknownStationReason = "Preset array names a station that is not in the directory";
inline constexpr const char* kPresetNotStoredReason = "Preset %1 could not be stored";

class ScriptingModel : public ZYMScriptingTarget {
public:
    // The current track's time in seconds, from the window's track timer.
    struct TrackTime {
        double current = 0;
        double total = 0;
    };
    using TrackTimeSource = std::function<std::optional<TrackTime>()>;

    explicit ScriptingModel(RadioWindowController& window);
    ~ScriptingModel() override;

    // The window's track timer unless set; without one (no track yet) both times read 0.
    void setTrackTimeSource(TrackTimeSource source) { trackTime_ = std::move(source); }

    // Commands.
    void playStation(const ZYMScriptStation& station) override;
    void play() override;
    void playStationWithID(const QString& identifier) override;
    void playStationWithName(const QString& name) override;
    void playStationWithURL(const QString& url) override;
    void stopPlaying() override;
    void togglePlaying() override;
    void signOff() override;
    void signOnWithUserName(const QString& userName) override;
    std::optional<ZYMScriptStation> stationWithID(const QString& identifier) const override;
    std::optional<ZYMScriptStation> stationWithName(const QString& name) const override;
    void forceSignOnAndPlayStationID(const std::optional<QString>& identifier,
                                     const std::optional<QString>& name) override;

    // Keys.
    std::optional<ZYMScriptStation> playingStation() const override;
    QList<ZYMScriptStation> radioStations() const override;
    QList<ZYMScriptStation> radioGenres() const override;
    int soundVolume() const override;
    void setSoundVolume(int volume) override;
    qint64 currentTrackPlayingTime() const override;
    qint64 currentTrackTotalTime() const override;
    std::optional<ZYMScriptTrack> currentTrack() const override;
    bool isPlaying() const override;
    bool isAuthenticated() const override;
    std::optional<QString> authenticatedUsername() const override;
    QList<std::optional<ZYMScriptStation>> presetsArray() const override;
    int maxNumberOfPresets() const override;
    std::optional<QString> setPresetsArray(const QList<std::optional<ZYMScriptStation>>& presets) override;
    QString albumArtUrl() const override;

protected:
    // Stores one slot; false when the station did not land there.
    virtual bool storePreset(const ZYMRadioStation& station, int slot);

private:
    RadioWindowController& window_;
    TrackTimeSource trackTime_;
};
