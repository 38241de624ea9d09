#pragma once

// The scripting model on the media-player interface of the desktops (MPRIS 2): the name
// org.mpris.MediaPlayer2.zymradio, object /org/mpris/MediaPlayer2, beside org.zym.Radio and
// over the same ZYMScriptingTarget. A live stream neither pauses nor seeks: Pause stops, as
// the window's button does, and Seek and SetPosition are refused. Next and Previous step
// through the filled presets. Main thread only.

#include "app/support/ZYMScriptCommands.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QVariantMap>

#include <functional>
#include <optional>

inline constexpr const char* kZYMMprisService = "org.mpris.MediaPlayer2.zymradio";
inline constexpr const char* kZYMMprisPath = "/org/mpris/MediaPlayer2";
inline constexpr const char* kZYMMprisRoot = "org.mpris.MediaPlayer2";
inline constexpr const char* kZYMMprisPlayer = "org.mpris.MediaPlayer2.Player";

class QDBusVirtualObject;

class ZYMMprisBus : public QObject {
    Q_OBJECT
public:
    // What the interface needs of the application beside the scripting model.
    struct Shell {
        std::function<void()> raise;
        std::function<void()> quit;
        // The album-art store's file of the current song; empty when there is none.
        std::function<QString()> albumArtFile;
    };

    // The presets before and after the playing station's; a station on no preset (or
    // none playing) steps to the first and the last.
    struct PresetSteps {
        std::optional<ZYMScriptStation> previous;
        std::optional<ZYMScriptStation> next;
    };

    ZYMMprisBus(ZYMScriptingTarget& target, Shell shell, QObject* parent = nullptr);
    ~ZYMMprisBus() override;

    // Exports the object and takes the name; false when the name has another owner.
    bool registerOn(QDBusConnection bus);

    // Announces with PropertiesChanged every property that differs from what was last
    // announced. Called on the model's own signals, after every call of the bus, and once
    // a second for what changes unannounced (a song's art landing in the store, its length)
    // while a song that began less than kAwaitMs ago lacks either.
    void refresh();
    static constexpr qint64 kAwaitMs = 60000;
    // Whether the once-a-second look for a song's length and art runs.
    bool polling() const { return poll_.isActive(); }

    QVariantMap rootProperties() const;
    QVariantMap playerProperties() const;
    QVariantMap metadata() const;
    PresetSteps presetSteps() const;

    // The methods of the player; false when refused.
    void play();
    void pause();
    void playPause();
    void stop();
    void next();
    void previous();
    bool openUri(const QString& uri);
    // False for a value that is no number.
    bool setVolume(double volume);
    void raise();
    void quit();

private:
    // A track's object path: a new number whenever what plays changes.
    QString trackId(const QString& identity) const;
    void pollWhileAwaited(const QVariantMap& metadata);

    ZYMScriptingTarget& target_;
    Shell shell_;
    QDBusVirtualObject* exported_ = nullptr;
    QDBusConnection bus_{QString()};
    QTimer poll_;
    QVariantMap announced_;
    mutable QString trackIdentity_;
    mutable quint64 trackNumber_ = 0;
    mutable QElapsedTimer trackStarted_;  // since the track's identity last changed
};
