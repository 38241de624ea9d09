#pragma once

// The application's face of the playback engine: owns one engine player and its two
// listeners, keeps every engine failure out of the application (one line logged, a
// neutral answer), and turns the engine's callbacks into RadioPlayerDelegate messages.

#include "app/foundation/ErrorDescription.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <string>

namespace Amp {
class PlayStateListener;
class MetaDataListener;
}  // namespace Amp

// What the wrapper uses of Amp::RadioPlayer, so tests can stand in for the engine.
class RadioPlayerEngine {
public:
    virtual ~RadioPlayerEngine() = default;
    virtual void Play(const std::string& url) = 0;
    virtual void Stop() = 0;
    virtual bool IsPlaying() = 0;
    virtual int GetPlayState() = 0;
    virtual void SetVolume(float volume) = 0;
    virtual float GetVolume() = 0;
    virtual void SetBufferingLevels(float minSeconds, float maxSeconds) = 0;
    virtual void GetBufferingLevels(float& minSeconds, float& maxSeconds) = 0;
    virtual void SetStreamConnectionStartTimeout(float seconds) = 0;
    virtual void SetStreamConnectionStaleTimeout(float seconds) = 0;
    virtual float GetStreamConnectionStartTimeout() = 0;
    virtual float GetStreamConnectionStaleTimeout() = 0;
    virtual void AddPlayStateListener(Amp::PlayStateListener* listener) = 0;
    virtual void AddMetaDataListener(Amp::MetaDataListener* listener) = 0;
};

// Makes the engine for a user agent (core string, UTF-8); may throw.
using RadioPlayerEngineFactory = std::function<std::unique_ptr<RadioPlayerEngine>(const std::string& userAgent)>;
// The real engine, Amp::RadioPlayer.
RadioPlayerEngineFactory AmpRadioPlayerEngineFactory();

// Every message is optional: the defaults do nothing. The stream URL is the one the
// callback belongs to, so a delegate can drop callbacks of an older stream.
class RadioPlayerDelegate {
public:
    virtual ~RadioPlayerDelegate() = default;
    virtual void playingStopped(const QString& streamURL) { (void)streamURL; }
    virtual void connecting(const QString& streamURL) { (void)streamURL; }
    virtual void bufferingStarted(const QString& streamURL) { (void)streamURL; }
    virtual void playingWillStart(const QString& streamURL) { (void)streamURL; }
    virtual void playingStarted(const QString& streamURL) { (void)streamURL; }
    virtual void trackProgressAt(float position, float trackTotal, float bufferedTime, const QString& streamURL) {
        (void)position, (void)trackTotal, (void)bufferedTime, (void)streamURL;
    }
    // The track-metadata document exactly as the stream carried it (UTF-8 XML bytes, for
    // the XML parser), and the moment the track will be heard.
    virtual void receivedMetaData(const QByteArray& metaData, const QDateTime& trackStart, const QString& streamURL) {
        (void)metaData, (void)trackStart, (void)streamURL;
    }
    virtual void playingError(const ErrorDescription& error, const QString& streamURL) { (void)error, (void)streamURL; }
};

class RadioPlayer {
public:
    // Player states as playerState() answers them.
    enum State : int { Stopped = 0, Connecting = 1, Buffering = 2, Prebuffered = 3, Playing = 4, EngineStateZero = 5 };

    // The player for a user agent; null (and "Error creating player" logged) when the
    // user agent is null or the engine cannot be made.
    static std::unique_ptr<RadioPlayer> create(
        const QString& userAgent, const RadioPlayerEngineFactory& engineFactory = AmpRadioPlayerEngineFactory());
    ~RadioPlayer();
    RadioPlayer(const RadioPlayer&) = delete;
    RadioPlayer& operator=(const RadioPlayer&) = delete;

    void setDelegate(RadioPlayerDelegate* delegate) { delegate_ = delegate; }  // not owned
    RadioPlayerDelegate* delegate() const { return delegate_; }

    void play(const QString& url);  // a null URL plays nothing
    void stop();
    bool isActive();
    int playerState();
    void setVolume(float volume);
    float volume();
    void setBufferingLevels(float minSeconds, float maxSeconds);
    // Nothing happens unless both pointers are given.
    void getBufferingLevels(float* minSeconds, float* maxSeconds);
    // A negative value is ignored.
    void setStreamConnectionStartTimeout(float seconds);
    void setStreamConnectionStaleTimeout(float seconds);
    float streamConnectionStartTimeout();
    float streamConnectionStaleTimeout();

    // From the engine's listeners, on the main thread.
    void playStateChanged(int fromState, int toState, const QString& streamURL);
    void playPositionAt(float position, float trackLength, float bufferedTime, const QString& streamURL);
    void receivedMetaData(const QByteArray& metaData, const QDateTime& trackStart, const QString& streamURL);
    void playingErrorDomain(int domain, int code, const QString& streamURL);

    struct Internals;

private:
    RadioPlayer();
    std::unique_ptr<Internals> internals_;
    RadioPlayerDelegate* delegate_ = nullptr;
};
