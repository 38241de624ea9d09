// Fuzzes the audio output with arbitrary decoder behaviour: format announcements (any
// field values), read sizes, codec switches in the middle of a read, PCM bytes, device
// rates, volume changes and device pulls interleaved with the fill loop. The output must
// neither read nor write outside its buffers, hang, nor emit non-finite samples from
// finite input.
//
// Input bytes drive a script; the stream thread runs Run while this thread pulls from a
// hand-stepped null sink.

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "engine/DeviceAudioOut.h"
#include "engine/player_exception.h"
#include "platform/audio/AudioSinks.h"

namespace {

class Script {
public:
    Script(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Done() const { return pos_ >= size_; }
    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint32_t U32() {
        return uint32_t(Byte()) | uint32_t(Byte()) << 8 | uint32_t(Byte()) << 16 | uint32_t(Byte()) << 24;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

AudioStreamBasicDescription SomeFormat(Script& s) {
    AudioStreamBasicDescription f;
    const uint8_t kind = s.Byte();
    if (kind & 0x80) {  // anything at all
        f.mSampleRate = double(s.U32() % 200000);
        f.mFormatID = (kind & 1) ? kAudioFormatLinearPCM : s.U32();
        f.mFormatFlags = s.Byte();
        f.mBitsPerChannel = s.Byte();
        f.mChannelsPerFrame = s.Byte() % 9;
        f.mBytesPerFrame = s.Byte();
        f.mBytesPerPacket = (kind & 2) ? f.mBytesPerFrame : s.Byte();
        f.mFramesPerPacket = (kind & 4) ? 1 : s.Byte();
        return f;
    }
    static const double kRates[] = {8000, 11025, 16000, 22050, 24000, 32000, 44100, 48000};
    const bool isFloat = kind & 1;
    f.mSampleRate = kRates[(kind >> 1) & 7];
    f.mFormatID = kAudioFormatLinearPCM;
    f.mFormatFlags = isFloat ? (kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked) : kAudioFormatFlagIsSignedInteger;
    f.mBitsPerChannel = isFloat ? 32 : 16;
    f.mChannelsPerFrame = 1 + ((kind >> 4) % 6);
    f.mBytesPerFrame = f.mBytesPerPacket = f.mChannelsPerFrame * (isFloat ? 4 : 2);
    f.mFramesPerPacket = 1;
    return f;
}

// A decoder whose every move comes from the script. Finite float samples only, so the
// output can be checked for NaN and infinity.
class ScriptedSource : public Amp::DataSource {
public:
    ScriptedSource(Amp::AudioOut* out, Script& s) : out_(out), s_(s) {}
    int Read(void* buffer, unsigned length) override {
        if (s_.Done() || ++reads_ > 2000) return -1;
        const uint8_t op = s_.Byte();
        if ((op & 7) == 0) return 0;
        if ((op & 7) == 1 || !format_) {
            const auto f = SomeFormat(s_);
            if (out_->SetInputFormat(f) != 0) throw Amp::player_exception(3, 12);
            format_ = f.mBytesPerFrame;
            isFloat_ = f.mFormatFlags & kAudioFormatFlagIsFloat;
        }
        unsigned n = std::min<unsigned>(length, (s_.U32() % 40000) + 1);
        if (op & 0x40) n -= n % format_;  // decoders hand out whole frames, mostly
        auto* b = static_cast<unsigned char*>(buffer);
        if (isFloat_) {
            for (unsigned i = 0; i + 4 <= n; i += 4) {
                const float v = float(int8_t(s_.Byte())) / 128.0f;
                std::memcpy(b + i, &v, 4);
            }
            for (unsigned i = n - n % 4; i < n; ++i)
                b[i] = 0;
        } else {
            for (unsigned i = 0; i < n; ++i)
                b[i] = s_.Byte();
        }
        return static_cast<int>(n);
    }

private:
    Amp::AudioOut* out_;
    Script& s_;
    unsigned format_ = 0;
    bool isFloat_ = false;
    int reads_ = 0;
};

struct NoOwner : Amp::AudioOutOwner {
    void PlayStateChanged(int, int) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    Script script(data, size);
    const uint8_t setup = script.Byte();
    const double deviceRate = (setup & 1) ? 48000 : 0;
    NoOwner owner;
    std::atomic<platform::PacedOutputUnit*> unit{nullptr};
    Amp::DeviceAudioOut out(&owner, [&](int* status) {
        *status = 0;
        auto u =
            std::make_unique<platform::NullOutputUnit>(platform::PacedOutputUnit::Options{1.0, true, deviceRate, 256});
        unit.store(u.get());
        return std::unique_ptr<platform::AudioOutputUnit>(std::move(u));
    });
    out.SetBufferingLevels(float(setup >> 4) / 16.0f, float(setup & 0x0E) / 8.0f);
    out.SetVolume(float(script.Byte()) / 200.0f);
    ScriptedSource source(&out, script);
    out.SetSource(&source);

    std::atomic<bool> done{false};
    std::thread stream([&] {
        try {
            out.Run();
        } catch (const Amp::player_exception&) {
            out.Stop();
        }
        done.store(true);
    });
    std::vector<float> buffer(2 * 1024);
    int pulls = 0;
    while (!done.load()) {
        platform::PacedOutputUnit* u = unit.load();
        if (u && u->IsRunning() && pulls < 4000) {
            // Pull through the unit (volume ramp included) and straight through the callback.
            u->Step(1 + (pulls * 37) % 700);
            const uint32_t frames = 1 + (pulls * 53) % 1024;
            Amp::DeviceAudioOut::DeviceFillBufferCallback(&out, buffer.data(), frames);
            for (uint32_t i = 0; i < 2 * frames; ++i) {
                if (!std::isfinite(buffer[i])) __builtin_trap();
            }
            ++pulls;
            if (pulls % 500 == 0) out.SetVolume(float(pulls % 3) / 2.0f);
        } else {
            if (pulls >= 4000) out.Stop();
            std::this_thread::yield();
        }
    }
    stream.join();
    return 0;
}
