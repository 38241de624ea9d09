#pragma once

// Helpers for the output tests: a decoder-like PCM source, a state recorder that reports
// through the event queue, and a reader for the WAV sink's files.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <unistd.h>

#include "engine/AudioOut.h"
#include "engine/DataSource.h"
#include "runtime/LThreadEventQueue.h"
#include "engine/player_exception.h"
#include "platform/RunLoop.h"
#include "support/Env.h"

namespace audiotest {

inline AudioStreamBasicDescription Int16Format(double rate, uint32_t channels) {
    AudioStreamBasicDescription f;
    f.mSampleRate = rate;
    f.mFormatID = kAudioFormatLinearPCM;
    f.mFormatFlags = kAudioFormatFlagIsSignedInteger;
    f.mBitsPerChannel = 16;
    f.mChannelsPerFrame = channels;
    f.mBytesPerFrame = f.mBytesPerPacket = 2 * channels;
    f.mFramesPerPacket = 1;
    return f;
}

inline AudioStreamBasicDescription FloatFormat(double rate, uint32_t channels) {
    AudioStreamBasicDescription f;
    f.mSampleRate = rate;
    f.mFormatID = kAudioFormatLinearPCM;
    f.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;
    f.mBitsPerChannel = 32;
    f.mChannelsPerFrame = channels;
    f.mBytesPerFrame = f.mBytesPerPacket = 4 * channels;
    f.mFramesPerPacket = 1;
    return f;
}

template <typename T>
std::vector<unsigned char> Bytes(const std::vector<T>& v) {
    std::vector<unsigned char> b(v.size() * sizeof(T));
    std::memcpy(b.data(), v.data(), b.size());
    return b;
}

// A decoder stand-in: segments of PCM, each announced to the output on its first read
// (before or after placing its bytes, as the real adapters do), one read of 0 between
// segments (as the decoder wrapper does at a codec switch), -1 at the end.
class PcmSource final : public Amp::DataSource {
public:
    struct Segment {
        AudioStreamBasicDescription format;
        std::vector<unsigned char> bytes;
        bool announceAfterBytes = false;
    };

    explicit PcmSource(Amp::AudioOut* out) : out_(out) {}
    void Add(const AudioStreamBasicDescription& f, std::vector<unsigned char> bytes, bool after = false) {
        segments_.push_back({f, std::move(bytes), after});
    }
    // Reads return 0 once `offset` bytes have been handed out, until Release.
    void StallAt(size_t offset) { stallAt_.store(offset); }
    void Release() { stallAt_.store(SIZE_MAX); }
    void SetMaxRead(unsigned n) { maxRead_ = n; }
    size_t Delivered() const { return delivered_.load(); }
    int StalledReads() const { return stalledReads_.load(); }
    int Reads() const { return reads_.load(); }

    int Read(void* buffer, unsigned length) override {
        reads_.fetch_add(1);
        if (seg_ >= segments_.size()) return -1;
        if (delivered_.load() >= stallAt_.load()) {
            stalledReads_.fetch_add(1);  // the caller has stored all it got before
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return 0;
        }
        if (gap_) {
            gap_ = false;
            return 0;
        }
        Segment& s = segments_[seg_];
        if (!announced_ && !s.announceAfterBytes) Announce(s);
        // Whole frames, as the decoders hand them out.
        const size_t frame = s.format.mBytesPerFrame ? s.format.mBytesPerFrame : 1;
        size_t n = std::min<size_t>({length, s.bytes.size() - offset_, maxRead_ / frame * frame});
        const size_t stall = stallAt_.load();
        if (delivered_.load() + n > stall) n = stall - delivered_.load();
        std::memcpy(buffer, s.bytes.data() + offset_, n);
        offset_ += n;
        delivered_.fetch_add(n);
        if (!announced_) Announce(s);
        if (offset_ == s.bytes.size()) {
            ++seg_;
            offset_ = 0;
            announced_ = false;
            gap_ = seg_ < segments_.size();
        }
        return static_cast<int>(n);
    }

private:
    void Announce(const Segment& s) {
        announced_ = true;
        if (out_->SetInputFormat(s.format) != 0) throw Amp::player_exception(3, 12);
    }

    Amp::AudioOut* out_;
    std::vector<Segment> segments_;
    size_t seg_ = 0, offset_ = 0;
    bool announced_ = false, gap_ = false;
    unsigned maxRead_ = 1u << 30;
    std::atomic<size_t> stallAt_{SIZE_MAX};
    std::atomic<size_t> delivered_{0};
    std::atomic<int> reads_{0};
    std::atomic<int> stalledReads_{0};
};

// Records the output's state changes as the program does: through an event queue that
// fires on the test's (main) thread.
class StateRecorder final : public Amp::AudioOutOwner {
public:
    StateRecorder() : queue_(LThreadEventQueue::Create()) {}
    ~StateRecorder() { queue_->Release(); }

    void PlayStateChanged(int from, int to) override { queue_->Post(new Event(this, from, to)); }

    // Main thread: runs the loop until `count` changes have arrived.
    const std::vector<std::pair<int, int>>& WaitForChanges(size_t count, int ms = 5000) {
        platform::RunLoop::Current().RunUntil([&] { return changes_.size() >= count; },
                                              zymtest::Scaled(std::chrono::milliseconds(ms)));
        platform::RunLoop::Current().RunFor(std::chrono::milliseconds(20));  // anything extra shows too
        return changes_;
    }
    bool FiredOnMainThread() const { return onMain_; }

private:
    struct Event : LThreadEvent {
        Event(StateRecorder* r, int f, int t) : rec(r), from(f), to(t) {}
        void Fire() override {
            rec->changes_.emplace_back(from, to);
            rec->onMain_ = rec->onMain_ && std::this_thread::get_id() == rec->mainThread_;
        }
        StateRecorder* rec;
        int from, to;
    };

    LThreadEventQueue* queue_;
    std::vector<std::pair<int, int>> changes_;
    std::thread::id mainThread_ = std::this_thread::get_id();
    bool onMain_ = true;
};

// The samples of a float32 stereo WAV file the sink wrote; empty when unreadable.
inline std::vector<float> ReadWav(const std::string& path, uint32_t* rate = nullptr) {
    std::vector<float> samples;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return samples;
    unsigned char h[44];
    if (std::fread(h, 1, 44, f) == 44 && std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 36, "data", 4) == 0) {
        uint32_t bytes = h[40] | h[41] << 8 | h[42] << 16 | uint32_t(h[43]) << 24;
        if (rate) *rate = h[24] | h[25] << 8 | h[26] << 16 | uint32_t(h[27]) << 24;
        samples.resize(bytes / 4);
        samples.resize(std::fread(samples.data(), 4, samples.size(), f));
    }
    std::fclose(f);
    return samples;
}

inline std::string TempPath(const std::string& name) {
    static const std::string dir = [] {
        std::string d = (std::filesystem::temp_directory_path() / ("zym-audio-" + std::to_string(::getpid()))).string();
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir + "/" + name;
}

// Polls `done` every millisecond for at most `ms` (scaled for a slow machine).
inline bool WaitUntil(const std::function<bool()>& done, int ms = 5000) {
    const auto end = std::chrono::steady_clock::now() + zymtest::Scaled(std::chrono::milliseconds(ms));
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace audiotest
