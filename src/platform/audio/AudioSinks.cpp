#include "platform/audio/AudioSinks.h"

#include <chrono>
#include <cstring>

#include <portaudio.h>

namespace platform {

namespace {

constexpr int kStatusIOError = -36;  // the WAV file could not be written

double ClampRate(double r) { return (r >= 8000.0 && r <= 192000.0) ? r : 44100.0; }

void PutLE32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

void PutLE16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

// PortAudio's library-wide set-up is reference counted but not thread-safe.
std::mutex& PaMutex() {
    static std::mutex m;
    return m;
}

}  // namespace

// ---- paced units ----

PacedOutputUnit::PacedOutputUnit(Options options) : options_(options) {
    if (!(options_.pace > 0.0)) options_.pace = 1.0;
    if (options_.blockFrames == 0) options_.blockFrames = 512;
}

PacedOutputUnit::~PacedOutputUnit() { PacedOutputUnit::Stop(); }

int PacedOutputUnit::Initialize(double preferredRate) {
    rate_ = options_.fixedRate > 0 ? options_.fixedRate : ClampRate(preferredRate);
    buffer_.assign(size_t(options_.blockFrames) * 2, 0.0f);
    return 0;
}

int PacedOutputUnit::Start() {
    if (rate_ <= 0) return kAudioStatusParamErr;
    if (running_.load()) return 0;
    ResetGain();
    quit_.store(false);
    running_.store(true, std::memory_order_release);
    if (!options_.manual) thread_ = std::thread(&PacedOutputUnit::ThreadMain, this);
    return 0;
}

int PacedOutputUnit::Stop() {
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(quitMutex_);
            quit_.store(true);
        }
        quitWake_.notify_all();
        thread_.join();
    }
    std::lock_guard<std::mutex> lock(stepMutex_);
    running_.store(false, std::memory_order_release);
    return 0;
}

uint32_t PacedOutputUnit::Step(uint32_t frames) {
    std::lock_guard<std::mutex> lock(stepMutex_);
    if (!running_.load(std::memory_order_acquire) || !options_.manual) return 0;
    uint32_t done = 0;
    while (done < frames) {
        const uint32_t n = std::min(frames - done, options_.blockFrames);
        Pull(n);
        done += n;
    }
    return done;
}

void PacedOutputUnit::Pull(uint32_t frames) {
    Render(buffer_.data(), frames);
    Deliver(buffer_.data(), frames);
    rendered_.fetch_add(frames, std::memory_order_acq_rel);
}

void PacedOutputUnit::ThreadMain() {
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(options_.blockFrames / (rate_ * options_.pace)));
    auto next = Clock::now();
    std::unique_lock<std::mutex> lock(quitMutex_);
    while (!quit_.load()) {
        lock.unlock();
        Pull(options_.blockFrames);
        lock.lock();
        next += period;
        const auto now = Clock::now();
        // Fell far behind (a stalled machine): carry on from now instead of bursting.
        if (now - next > std::chrono::milliseconds(500)) next = now;
        // A stop ends the wait at once, however long the block.
        quitWake_.wait_until(lock, next, [this] { return quit_.load(); });
    }
}

// ---- WAV ----

WavOutputUnit::WavOutputUnit(std::string path, Options options) : PacedOutputUnit(options), path_(std::move(path)) {}

WavOutputUnit::~WavOutputUnit() {
    PacedOutputUnit::Stop();
    if (file_) {
        UpdateHeader();
        std::fclose(file_);
    }
}

int WavOutputUnit::Initialize(double preferredRate) {
    const int status = PacedOutputUnit::Initialize(preferredRate);
    if (status != 0) return status;
    if (file_) return 0;  // the file keeps its first rate
    file_ = std::fopen(path_.c_str(), "wb");
    if (!file_) return kStatusIOError;
    dataBytes_ = 0;
    UpdateHeader();
    return 0;
}

int WavOutputUnit::Stop() {
    PacedOutputUnit::Stop();
    if (file_) UpdateHeader();
    return 0;
}

void WavOutputUnit::Deliver(const float* frames, uint32_t count) {
    if (!file_) return;
    const size_t bytes = size_t(count) * 8;
    if (std::fwrite(frames, 1, bytes, file_) == bytes) dataBytes_ += bytes;
}

// IEEE-float WAV: RIFF, fmt (format 3, 2 channels, 32 bits), data. Rewritten in place so
// that the file is readable whenever the unit is stopped.
void WavOutputUnit::UpdateHeader() {
    unsigned char h[44];
    const uint32_t rate = static_cast<uint32_t>(rate_);
    const uint32_t data = dataBytes_ > 0xFFFFFFF0ull - 36 ? 0xFFFFFFF0u - 36 : uint32_t(dataBytes_);
    std::memcpy(h, "RIFF", 4);
    PutLE32(h + 4, 36 + data);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    PutLE32(h + 16, 16);
    PutLE16(h + 20, 3);
    PutLE16(h + 22, 2);
    PutLE32(h + 24, rate);
    PutLE32(h + 28, rate * 8);
    PutLE16(h + 32, 8);
    PutLE16(h + 34, 32);
    std::memcpy(h + 36, "data", 4);
    PutLE32(h + 40, data);
    const long pos = std::ftell(file_);
    std::fseek(file_, 0, SEEK_SET);
    std::fwrite(h, 1, sizeof h, file_);
    std::fseek(file_, pos > 44 ? pos : 44, SEEK_SET);
    std::fflush(file_);
}

// ---- PortAudio ----

PortAudioOutputUnit::PortAudioOutputUnit() = default;

PortAudioOutputUnit::~PortAudioOutputUnit() {
    Stop();
    std::lock_guard<std::mutex> lock(PaMutex());
    if (stream_) Pa_CloseStream(stream_);
    if (initialized_) Pa_Terminate();
}

bool PortAudioOutputUnit::HasDefaultDevice() {
    std::lock_guard<std::mutex> lock(PaMutex());
    if (Pa_Initialize() != paNoError) return false;
    const bool found = Pa_GetDefaultOutputDevice() != paNoDevice;
    Pa_Terminate();
    return found;
}

int PortAudioOutputUnit::Initialize(double preferredRate) {
    std::lock_guard<std::mutex> lock(PaMutex());
    if (stream_) return 0;
    if (!initialized_) {
        const PaError err = Pa_Initialize();
        if (err != paNoError) return kAudioStatusNoDefaultOutput;
        initialized_ = true;
    }
    const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
    if (device == paNoDevice) return kAudioStatusNoDefaultOutput;
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    if (!info) return kAudioStatusNoDefaultOutput;
    PaStreamParameters params{};
    params.device = device;
    params.channelCount = 2;
    params.sampleFormat = paFloat32;
    params.suggestedLatency = info->defaultHighOutputLatency;
    double rate = ClampRate(preferredRate);
    if (Pa_IsFormatSupported(nullptr, &params, rate) != paFormatIsSupported) rate = info->defaultSampleRate;
    PaStream* stream = nullptr;
    const PaError err = Pa_OpenStream(&stream, nullptr, &params, rate, paFramesPerBufferUnspecified, paClipOff,
                                      &PortAudioOutputUnit::Callback, this);
    if (err != paNoError) return err;
    stream_ = stream;
    rate_ = rate;
    return 0;
}

int PortAudioOutputUnit::Start() {
    if (!stream_) return kAudioStatusParamErr;
    if (running_) return 0;
    ResetGain();
    const PaError err = Pa_StartStream(stream_);
    if (err != paNoError) return err;
    running_ = true;
    return 0;
}

int PortAudioOutputUnit::Stop() {
    if (!stream_ || !running_) return 0;
    // Abort rather than drain: a stopped stream goes quiet at once.
    const PaError err = Pa_AbortStream(stream_);
    running_ = false;
    return err == paNoError ? 0 : err;
}

int PortAudioOutputUnit::Callback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                                  unsigned long, void* userData) {
    auto* self = static_cast<PortAudioOutputUnit*>(userData);
    self->Render(static_cast<float*>(output), static_cast<uint32_t>(frames));
    return paContinue;
}

}  // namespace platform
