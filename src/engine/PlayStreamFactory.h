#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace Amp {

class PlayStreamInterface;

// What a stream needs of its player (Amp::RadioPlayer implements it), so that the stream
// never sees the player's class.
class PlayStreamHost {
public:
    // Any thread: post the matching event to the player's queue.
    virtual void PostPlayStateChange(const std::string& url, int from, int to) = 0;
    virtual void PostTrackProgress(const std::string& url, float position, float trackLength, float bufferedTime) = 0;
    virtual void PostMetaData(const std::string& url, const void* bytes, uint32_t length, double trackStart) = 0;
    virtual void PostPlayerError(const std::string& url, int domain, int code) = 0;
    // Main thread: the volume a new stream starts at.
    virtual float GetVolume() const = 0;
    // Main thread, when a stream's end event fires: the host deletes the stream.
    virtual void PlayStreamEnded(PlayStreamInterface* stream) = 0;

protected:
    ~PlayStreamHost() = default;
};

// What the player needs of a stream (Amp::PlayStream implements it). Main thread only.
class PlayStreamInterface {
public:
    virtual ~PlayStreamInterface() = default;
    // Starts the stream's thread; false when it could not be created.
    [[nodiscard]] virtual bool Start() = 0;
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
    std::function<PlayStreamInterface*(PlayStreamHost& player, const std::string& url, const std::string& userAgent)>;

// Replaces the process-wide factory and returns the previous one. Main thread only.
PlayStreamFactory SetPlayStreamFactory(PlayStreamFactory factory);
const PlayStreamFactory& GetPlayStreamFactory();

}  // namespace Amp
