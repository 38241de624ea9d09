#pragma once

#include <string>

namespace Amp {

// Play states.
enum : int {
    kPlayStateStopped = 1,
    kPlayStateConnecting = 2,
    kPlayStateBuffering = 3,
    kPlayStatePrebuffered = 4,
    kPlayStatePlaying = 5,
};

// Callbacks of the player, on the thread that made the player. `url` is the URL as
// given to RadioPlayer::Play, so a listener can drop callbacks of an older stream.
class PlayStateListener {
public:
    virtual void PlayStateChanged(const std::string& url, int fromState, int toState) = 0;
    virtual void PlayPosition(const std::string& url, float position, float trackLength, float bufferedTime) = 0;
    virtual void PlayingError(const std::string& url, int domain, int code) = 0;

protected:
    ~PlayStateListener() = default;
};

}  // namespace Amp
