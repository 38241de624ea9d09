#include "platform/audio/AudioOutputUnit.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/audio/AudioSinks.h"

namespace platform {

void AudioOutputUnit::SetVolume(float volume) {
    if (!(volume >= 0.0f)) volume = 0.0f;  // NaN too
    volume_.store(std::min(volume, 1.0f), std::memory_order_relaxed);
}

void AudioOutputUnit::Render(float* out, uint32_t frames) {
    if (proc_) {
        proc_(refCon_, out, frames);
    } else {
        std::memset(out, 0, sizeof(float) * 2 * frames);
    }
    const float target = volume_.load(std::memory_order_relaxed);
    if (gain_ == target) {
        if (target != 1.0f) {
            for (uint32_t i = 0; i < 2 * frames; ++i)
                out[i] *= target;
        }
        return;
    }
    // Ramp from the gain of the last buffer to the new volume across this one.
    const float start = gain_;
    const float step = frames ? (target - start) / float(frames) : 0.0f;
    for (uint32_t i = 0; i < frames; ++i) {
        const float g = start + step * float(i + 1);
        out[2 * i] *= g;
        out[2 * i + 1] *= g;
    }
    if (frames) gain_ = target;
}

// Whether any sound system could be there: a sound card, or a PulseAudio/PipeWire server.
// Without one, probing PortAudio only fills the terminal with the sound libraries' errors.
static bool SoundSystemVisible() {
    std::error_code ec;
    if (std::filesystem::exists("/dev/snd", ec) || std::getenv("PULSE_SERVER")) return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) return false;
    const std::filesystem::path dir(runtime);
    return std::filesystem::exists(dir / "pulse" / "native", ec) || std::filesystem::exists(dir / "pipewire-0", ec);
}

// What the null and WAV sinks pull per wake-up: about 93 ms at 44.1 kHz, the period of a
// sound server's output at high latency. Nobody hears them live, so a shorter period would
// only cost wake-ups (and, for the WAV file, one write each).
constexpr uint32_t kSinkBlockFrames = 4096;

std::unique_ptr<AudioOutputUnit> OpenAudioOutputUnit(const std::string& spec, double pace, int* status) {
    *status = 0;
    const PacedOutputUnit::Options sinkOptions{pace, false, 0, kSinkBlockFrames};
    if (spec == "null") return std::make_unique<NullOutputUnit>(sinkOptions);
    if (spec.rfind("wav:", 0) == 0 && spec.size() > 4) {
        return std::make_unique<WavOutputUnit>(spec.substr(4), sinkOptions);
    }
    if (spec == "portaudio") {
        if (!PortAudioOutputUnit::HasDefaultDevice()) {
            *status = kAudioStatusNoDefaultOutput;
            return nullptr;
        }
        return std::make_unique<PortAudioOutputUnit>();
    }
    if (spec.empty()) {
        if (SoundSystemVisible() && PortAudioOutputUnit::HasDefaultDevice())
            return std::make_unique<PortAudioOutputUnit>();
        return std::make_unique<NullOutputUnit>(sinkOptions);
    }
    *status = kAudioStatusNoDefaultOutput;  // an output nobody knows: there is none
    return nullptr;
}

std::unique_ptr<AudioOutputUnit> OpenDefaultAudioOutputUnit(int* status) {
    const char* spec = std::getenv("ZYM_AUDIO_OUTPUT");
    double pace = 1.0;
    if (const char* p = std::getenv("ZYM_AUDIO_PACE")) {
        double v = 0;
        const char* end = p + std::strlen(p);
        const auto r = std::from_chars(p, end, v);  // not the locale's decimal point
        if (r.ec == std::errc() && r.ptr == end && v > 0.0 && v <= 1000.0) pace = v;
    }
    return OpenAudioOutputUnit(spec ? spec : "", pace, status);
}

}  // namespace platform
