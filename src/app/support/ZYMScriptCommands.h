#pragma once

// The script commands and the URL handler of the "zymradio" and "qint" schemes. Each
// command acts on the main window controller, reached through ZYMScriptingTarget (the
// controller and its scripting model, which live in the shell). Nothing is reported to
// the caller: a URL that cannot be used, or a station that cannot be found, is ignored.
// Main thread only.

#include <QList>
#include <QStringList>
#include <QString>

#include <optional>

// A station as scripts see it: its identifier and name; an empty identifier is none.
struct ZYMScriptStation {
    QString identifier;
    QString name;
    friend bool operator==(const ZYMScriptStation&, const ZYMScriptStation&) = default;
};

struct ZYMScriptTrack {
    QString name;
    QString artist;
    QString album;
    friend bool operator==(const ZYMScriptTrack&, const ZYMScriptTrack&) = default;
};

// What the commands and the scripting model need of the main window controller.
class ZYMScriptingTarget {
public:
    virtual ~ZYMScriptingTarget() = default;

    // Commands.
    virtual void playStation(const ZYMScriptStation& station) = 0;
    virtual void play() = 0;  // the active station
    virtual void playStationWithID(const QString& identifier) = 0;
    virtual void playStationWithName(const QString& name) = 0;
    virtual void playStationWithURL(const QString& url) = 0;
    virtual void stopPlaying() = 0;
    virtual void togglePlaying() = 0;
    virtual void signOff() = 0;
    virtual void signOnWithUserName(const QString& userName) = 0;
    virtual std::optional<ZYMScriptStation> stationWithID(const QString& identifier) const = 0;
    virtual std::optional<ZYMScriptStation> stationWithName(const QString& name) const = 0;
    virtual void forceSignOnAndPlayStationID(const std::optional<QString>& identifier,
                                             const std::optional<QString>& name) = 0;

    // The scripting model's keys.
    virtual std::optional<ZYMScriptStation> playingStation() const = 0;
    virtual QList<ZYMScriptStation> radioStations() const = 0;
    virtual QList<ZYMScriptStation> radioGenres() const = 0;
    virtual int soundVolume() const = 0;  // 0..100
    virtual void setSoundVolume(int volume) = 0;
    virtual qint64 currentTrackPlayingTime() const = 0;  // milliseconds
    virtual qint64 currentTrackTotalTime() const = 0;
    virtual std::optional<ZYMScriptTrack> currentTrack() const = 0;
    virtual bool isPlaying() const = 0;
    virtual bool isAuthenticated() const = 0;
    virtual std::optional<QString> authenticatedUsername() const = 0;
    // One entry per preset slot; none for an empty slot. Empty without a service.
    virtual QList<std::optional<ZYMScriptStation>> presetsArray() const = 0;
    virtual int maxNumberOfPresets() const = 0;
    // Same size as maxNumberOfPresets(); a none entry leaves its slot unchanged. Answers
    // the reason when the presets were not all stored.
    virtual std::optional<QString> setPresetsArray(const QList<std::optional<ZYMScriptStation>>& presets) = 0;
    virtual QString albumArtUrl() const = 0;
};

// The reason given when a presets array has the wrong size.
inline constexpr const char* kPresetArraySizeReason = "Size of preset array does not match allowed size";

namespace ZYMScriptCommands {

// The URL-open event. "qint" URLs go to the player whole; "zymradio:playstation?..." plays
// a station of the directory; http, https and mailto URLs go to the desktop's opener; any
// other scheme is logged and ignored. False when the URL was refused (not a URL, another
// scheme, no station command, or the opener refused), so a caller can say so.
bool getURL(ZYMScriptingTarget& target, const QString& url);

// The URL of a start by the desktop's URL handler: the first argument after the program's
// name that is not an option (Qt has taken its own options out by then). A running
// instance gets it through the bus and the new process exits; otherwise the first
// instance acts on it once its window exists.
std::optional<QString> launchURL(const QStringList& arguments);

}  // namespace ZYMScriptCommands
