#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/AudioOut.h"
#include "runtime/LThread.h"
#include "engine/PlayStreamFactory.h"
#include "engine/QintDemuxer.h"

class LThreadEventQueue;

namespace Amp {

class HTTPReader;
class DecoderWrapper;
class AudioProgressGuard;

// One played URL: its thread connects, picks the chain from the response's content type
// (aacPlus, MPEG audio, or Quintrel packets) and runs the output's fill loop until the
// stream is stopped or its data ends. Everything its parts report goes to the player's
// posting operations with the URL as given.
class PlayStream : public LThread, public PlayStreamInterface, public AudioOutOwner, public QintDemuxerOwner {
public:
    PlayStream(PlayStreamHost* player, const std::string& url, const std::string& userAgent);
    ~PlayStream() override;

    // Main thread.
    bool Start() override { return LThread::Start(); }
    void Stop() override;
    void SetBufferingLevels(float minSeconds, float maxSeconds) override;
    void SetVolume(float volume) override;
    void SetStreamConnectionStartTimeout(float seconds) override;
    void SetStreamConnectionStaleTimeout(float seconds) override;

    // Called by the parts (stream thread; state changes also from a stopping thread).
    void PlayStateChanged(int from, int to) override;
    void TrackProgress(float position, float trackLength, float bufferedTime) override;
    void MetaDataReceived(const char* bytes, uint32_t length, double trackStart) override;
    bool IsOutputStopped() override;
    float GetSecondsBuffered() override;

    const std::string& GetURL() const { return url_; }

protected:
    void Run() override;

private:
    static constexpr size_t kMaxHeaderLine = 2048;

    void ConnectAndPlay();
    void SetupDecoding(uint32_t codec);
    void SetupQintDecoding();
    void MakeGuard();
    std::string ReadContentType();
    bool ReadHeaderLine(std::string& line, size_t limit);

    PlayStreamHost* player_;
    std::unique_ptr<HTTPReader> reader_;
    std::unique_ptr<QintDemuxer> demuxer_;
    std::unique_ptr<DecoderWrapper> decoder_;
    std::unique_ptr<AudioProgressGuard> guard_;
    std::unique_ptr<AudioOut> output_;
    LThreadEventQueue* queue_;
    std::string url_;
    std::atomic<bool> stopRequested_{false};
};

// The factory the player uses in the program.
PlayStreamInterface* CreatePlayStream(PlayStreamHost& player, const std::string& url, const std::string& userAgent);

// Header-line helpers for servers that send their header inside the body.
std::string trim_whitespace(const std::string& text);
std::string GetHeaderLineKey(const std::string& line);
std::string GetHeaderLineValue(const std::string& line);

}  // namespace Amp
