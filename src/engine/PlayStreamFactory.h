#pragma once

#include <functional>
#include <string>

namespace Amp {

class RadioPlayer;

// What the player needs of a stream (Amp::PlayStream implements it). Main thread only.
class PlayStreamInterface {
public:
    virtual ~PlayStreamInterface() = default;
    // Starts the stream's thread; false when it could not be created.
    virtual bool Start() = 0;
    // Stops the output and waits for the thread. A second call returns at once.
    virtual void Stop() = 0;
    virtual void SetBufferingLevels(float minSeconds, float maxSeconds) = 0;
    virtual void SetVolume(float volume) = 0;
    virtual void SetStreamConnectionStartTimeout(float seconds) = 0;
    virtual void SetStreamConnectionStaleTimeout(float seconds) = 0;
};

// The one place where the player makes its streams: (player, url, user agent) -> a new
// stream owned by the caller, or an exception. The player treats a missing factory, an
// exception or a null result as a failed set-up.
using PlayStreamFactory =
    std::function<PlayStreamInterface*(RadioPlayer& player, const std::string& url, const std::string& userAgent)>;

// Replaces the process-wide factory and returns the previous one. Main thread only.
PlayStreamFactory SetPlayStreamFactory(PlayStreamFactory factory);
const PlayStreamFactory& GetPlayStreamFactory();

}  // namespace Amp
