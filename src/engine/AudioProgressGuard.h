#pragma once

#include <cstdint>

#include "engine/DataSource.h"

namespace Amp {

// Ends a stream that delivers bytes but no audio. The HTTP reader's time-outs count bytes,
// so random bytes, or valid framing around random payloads, would keep a stream
// "buffering" for good while its decoder searches for frames at network speed. The guard
// wraps the decoding chain's sources: StreamInput() passes the reader's bytes on,
// AudioInput() the demultiplexer's audio bytes (on a plain stream the two are the same),
// and Output() the decoder's PCM, noting that audio came. Without PCM since the start or
// since the last PCM, the stream ends with a connection time-out (3, 14), the code of a
// stream that brings nothing to play, when
//   - more than kMaxAudioBytes of audio payload went to the decoder (noise in frames),
//   - more than kMaxStreamBytes came from the network (bytes without a packet or frame
//     a decoder takes, metadata alone), or
//   - more than kBytesBeforeTimeOut came and the start time-out (from the first byte) or
//     the stale time-out (from the last PCM) has passed: the same at a station's rate.
// A slow link that has not brought kBytesBeforeTimeOut yet is waited for. Stream thread
// only.
class AudioProgressGuard {
public:
    // A large ID3 tag with a picture ahead of the first frame stays well below these.
    static constexpr uint64_t kMaxAudioBytes = 1024 * 1024;
    // A decoder may take several audio packets before it hands out a buffer of PCM, and
    // metadata between them counts here: generous, so that a station heavy with metadata
    // plays on.
    static constexpr uint64_t kMaxStreamBytes = 16 * 1024 * 1024;
    static constexpr uint64_t kBytesBeforeTimeOut = 64 * 1024;

    AudioProgressGuard(DataSource* reader, double startTimeout, double staleTimeout);

    // The reader's bytes; on a plain stream they are the audio too.
    DataSource* StreamInput(bool isAudio);
    // The demultiplexer's audio bytes (Quintrel streams).
    DataSource* AudioInput(DataSource* demuxer);
    // The decoder's PCM.
    DataSource* Output(DataSource* decoder);

private:
    class Stage : public DataSource {
    public:
        enum Kind { kStream, kStreamAudio, kAudio, kPcm };
        Stage(AudioProgressGuard& guard, Kind kind) : kind(kind), guard_(guard) {}
        int Read(void* buffer, unsigned length) override;
        DataSource* source = nullptr;
        Kind kind;

    private:
        AudioProgressGuard& guard_;
    };

    void Check();
    static double Now();

    Stage stream_{*this, Stage::kStream};
    Stage audio_{*this, Stage::kAudio};
    Stage pcm_{*this, Stage::kPcm};
    double startTimeout_;
    double staleTimeout_;
    uint64_t streamBytes_ = 0;
    uint64_t audioBytes_ = 0;
    uint64_t streamAtLastPcm_ = 0;
    uint64_t audioAtLastPcm_ = 0;
    double firstByteTime_ = 0;
    double lastPcmTime_ = 0;
};

}  // namespace Amp
