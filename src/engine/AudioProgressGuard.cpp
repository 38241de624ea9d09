#include "engine/AudioProgressGuard.h"

#include <chrono>

#include "runtime/LogMessage.h"
#include "engine/player_exception.h"

namespace Amp {

AudioProgressGuard::AudioProgressGuard(DataSource* reader, double startTimeout, double staleTimeout)
    : startTimeout_(startTimeout), staleTimeout_(staleTimeout) {
    stream_.source = reader;
}

DataSource* AudioProgressGuard::StreamInput(bool isAudio) {
    stream_.kind = isAudio ? Stage::kStreamAudio : Stage::kStream;
    return &stream_;
}

DataSource* AudioProgressGuard::AudioInput(DataSource* demuxer) {
    audio_.source = demuxer;
    return &audio_;
}

DataSource* AudioProgressGuard::Output(DataSource* decoder) {
    pcm_.source = decoder;
    return &pcm_;
}

double AudioProgressGuard::Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count() + 1.0;
}

int AudioProgressGuard::Stage::Read(void* buffer, unsigned length) {
    const int n = source->Read(buffer, length);
    if (n <= 0) return n;
    AudioProgressGuard& g = guard_;
    if (kind == kPcm) {
        g.streamAtLastPcm_ = g.streamBytes_;
        g.audioAtLastPcm_ = g.audioBytes_;
        g.lastPcmTime_ = Now();
        return n;
    }
    if (kind != kAudio) {
        if (g.firstByteTime_ == 0) g.firstByteTime_ = Now();
        g.streamBytes_ += uint64_t(n);
    }
    if (kind != kStream) g.audioBytes_ += uint64_t(n);
    g.Check();
    return n;
}

void AudioProgressGuard::Check() {
    const uint64_t stream = streamBytes_ - streamAtLastPcm_;
    const uint64_t audio = audioBytes_ - audioAtLastPcm_;
    bool fail = audio > kMaxAudioBytes || stream > kMaxStreamBytes;
    if (!fail && stream > kBytesBeforeTimeOut) {
        const double now = Now();
        fail = lastPcmTime_ == 0 ? now - firstByteTime_ >= startTimeout_ : now - lastPcmTime_ >= staleTimeout_;
    }
    if (!fail) return;
    LogMessage(kLogError, "not a playable stream: %llu bytes (%llu of audio) without a decodable frame\n",
               static_cast<unsigned long long>(stream), static_cast<unsigned long long>(audio));
    throw player_exception(EngineError::kConnectionTimeOut);
}

}  // namespace Amp
