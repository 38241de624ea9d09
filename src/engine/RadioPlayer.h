#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "engine/MetaDataListener.h"
#include "engine/PlayStateListener.h"
#include "engine/PlayStreamFactory.h"
#include "engine/player_exception.h"

class LThreadEventQueue;

namespace Amp {

// The engine's front object. Made on the main thread (the thread whose run loop delivers
// its events); everything except the Post operations runs on that thread. Each Play
// starts one stream (made by the PlayStreamFactory) whose reports come back through the
// player's event queue and reach the listeners on the main thread. Do not delete the
// player from inside one of its own listener callbacks: the events still queued behind
// that callback would fire on it.
class RadioPlayer : public PlayStreamHost {
public:
    explicit RadioPlayer(const std::string& userAgent);
    virtual ~RadioPlayer();
    RadioPlayer(const RadioPlayer&) = delete;
    RadioPlayer& operator=(const RadioPlayer&) = delete;

    // Plays `url`; playing the URL that is already current does nothing. A stream that
    // cannot be set up is logged and leaves the player idle; listeners hear nothing.
    void Play(const std::string& url);
    void Stop();
    bool IsPlaying() const;
    int GetPlayState() const;
    const std::string& GetUserAgent() const { return userAgent_; }

    // Setters store the value and forward it to the current stream.
    void SetBufferingLevels(float minSeconds, float maxSeconds);
    void GetBufferingLevels(float& minSeconds, float& maxSeconds) const;
    void SetVolume(float volume);
    float GetVolume() const override;
    void SetStreamConnectionStartTimeout(float seconds);
    float GetStreamConnectionStartTimeout() const;
    void SetStreamConnectionStaleTimeout(float seconds);
    float GetStreamConnectionStaleTimeout() const;

    // Adding a listener twice has no effect; listeners are never removed and must outlive
    // the player.
    void AddPlayStateListener(PlayStateListener* listener);
    void AddMetaDataListener(MetaDataListener* listener);

    // Any thread: post the matching event to the player's queue.
    void PostPlayStateChange(const std::string& url, int from, int to) override;
    void PostTrackProgress(const std::string& url, float position, float trackLength, float bufferedTime) override;
    void PostMetaData(const std::string& url, const void* bytes, uint32_t length, double trackStart) override;
    void PostPlayerError(const std::string& url, int domain, int code) override;

    // Main thread, from the events.
    void NotifyPlayStateChanged(const std::string& url, int from, int to);
    void NotifyPlayPosition(const std::string& url, float position, float trackLength, float bufferedTime);
    void NotifyPlayingError(const std::string& url, int domain, int code);
    void NotifyMetaData(const std::string& url, const uint8_t* bytes, uint32_t length, double trackStart);

    // Main thread, when a stream's end event fires: the stream is deleted here.
    void PlayStreamEnded(PlayStreamInterface* stream) override;

private:
    void StartStream(const std::string& url);

    std::set<PlayStateListener*> playStateListeners_;
    std::set<MetaDataListener*> metaDataListeners_;
    PlayStreamInterface* stream_ = nullptr;
    // Stopped streams whose end event has not fired yet; deleted with the player so that
    // no end event can reach a deleted player.
    std::set<PlayStreamInterface*> endingStreams_;
    int playState_ = kPlayStateStopped;
    std::string url_;
    std::string userAgent_;
    float minBuffering_ = 2.0f;
    float maxBuffering_ = 4.0f;
    float volume_ = 0.5f;
    float startTimeout_ = 5.0f;
    float staleTimeout_ = 5.0f;
    LThreadEventQueue* queue_;  // set once in the constructor, read by any thread
};

}  // namespace Amp
