#pragma once

// The script commands and the scripting model on the session bus: the name and interface
// org.zym.Radio at /org/zym/Radio. Methods reply empty; the model's keys are properties,
// stations and genres as (identifier, name) with empty texts for none. A second start of
// the program hands its URL to the first one through GetURL.
// Main thread only.

#include "app/support/ZYMScriptCommands.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>

inline constexpr const char* kZYMScriptingService = "org.zym.Radio";
inline constexpr const char* kZYMScriptingPath = "/org/zym/Radio";

QDBusArgument& operator<<(QDBusArgument& argument, const ZYMScriptStation& station);
const QDBusArgument& operator>>(const QDBusArgument& argument, ZYMScriptStation& station);
QDBusArgument& operator<<(QDBusArgument& argument, const ZYMScriptTrack& track);
const QDBusArgument& operator>>(const QDBusArgument& argument, ZYMScriptTrack& track);
Q_DECLARE_METATYPE(ZYMScriptStation)
Q_DECLARE_METATYPE(ZYMScriptTrack)

class QDBusVirtualObject;

// The properties and slots are the interface's; the object on the bus is a handler of our
// own, because the bus library cannot fail a property write with an error of ours.
class ZYMScriptingBus : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.zym.Radio")
    Q_PROPERTY(ZYMScriptStation playingStation READ playingStation)
    Q_PROPERTY(QList<ZYMScriptStation> radioStations READ radioStations)
    Q_PROPERTY(QList<ZYMScriptStation> radioGenres READ radioGenres)
    Q_PROPERTY(int soundVolume READ soundVolume WRITE setSoundVolume)
    Q_PROPERTY(qlonglong currentTrackPlayingTime READ currentTrackPlayingTime)
    Q_PROPERTY(qlonglong currentTrackTotalTime READ currentTrackTotalTime)
    Q_PROPERTY(ZYMScriptTrack currentTrack READ currentTrack)
    Q_PROPERTY(bool isPlaying READ isPlaying)
    Q_PROPERTY(bool isAuthenticated READ isAuthenticated)
    Q_PROPERTY(QString authenticatedUsername READ authenticatedUsername)
    Q_PROPERTY(QList<ZYMScriptStation> presets READ presets WRITE setPresets)
    Q_PROPERTY(QString albumArtUrl READ albumArtUrl)

public:
    explicit ZYMScriptingBus(ZYMScriptingTarget& target, QObject* parent = nullptr);
    ~ZYMScriptingBus() override;

    // Exports the object and takes the name; false when the name has another owner.
    bool registerOn(QDBusConnection bus);

    // Hands the URL to the instance that owns the name; false when none does or it did not
    // answer. `refused` (may be null) tells whether the instance answered that it refused
    // the URL (the call still counts as taken: that instance has heard it).
    static bool forwardURL(QDBusConnection bus, const QString& url, bool* refused = nullptr);

    static void registerTypes();

public slots:
    // False when the URL was refused (the caller gets an error answer).
    bool GetURL(const QString& url);
    void Play(const QDBusVariant& station);
    void PlayStationID(const QDBusVariant& identifier);
    void Stop();
    void TogglePlay();
    void PlayStream(const QString& url);
    void SignIn(const QString& userName);
    void SignOut();

public:
    ZYMScriptStation playingStation() const;
    QList<ZYMScriptStation> radioStations() const;
    QList<ZYMScriptStation> radioGenres() const;
    int soundVolume() const;
    void setSoundVolume(int volume);
    qlonglong currentTrackPlayingTime() const;
    qlonglong currentTrackTotalTime() const;
    ZYMScriptTrack currentTrack() const;
    bool isPlaying() const;
    bool isAuthenticated() const;
    QString authenticatedUsername() const;
    QList<ZYMScriptStation> presets() const;
    void setPresets(const QList<ZYMScriptStation>& presets);
    QString albumArtUrl() const;

    // The writes of the bus; false with the reason when the value is refused.
    bool writePresets(const QList<ZYMScriptStation>& presets, QString* reason);

private:
    ZYMScriptingTarget& target_;
    QDBusVirtualObject* exported_ = nullptr;
    QDBusConnection bus_{QString()};
};
