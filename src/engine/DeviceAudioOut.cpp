#include "engine/DeviceAudioOut.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>

#include "runtime/LogMessage.h"
#include "engine/player_exception.h"

namespace Amp {

namespace {

constexpr uint32_t kStageFrames = 1024;
constexpr float kMaxLevelSeconds = 60.0f;  // levels beyond this only waste memory

class Lock {
public:
    explicit Lock(LThreadMutex& m) : m_(m) { m_.Lock(); }
    ~Lock() { m_.Unlock(); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    LThreadMutex& m_;
};

float SaneSeconds(float s) {
    if (!(s >= 0.0f)) return 0.0f;  // NaN, negative
    return std::min(s, kMaxLevelSeconds);
}

}  // namespace

DeviceAudioOut::DeviceAudioOut(AudioOutOwner* owner, platform::AudioOutputUnitFactory unitFactory)
    : owner_(owner), unitFactory_(std::move(unitFactory)), carry_(kChunkSize), stage_(size_t(kStageFrames) * 2) {
    sem_init(&wakeSem_, 0, 0);
    sem_init(&restSem_, 0, 0);
}

DeviceAudioOut::~DeviceAudioOut() {
    {
        Lock lock(ctlMutex_);
        stop_.store(true, std::memory_order_release);
        if (state_.load() == kAudioOutPlaying) ChangeState(kAudioOutStopped);
        if (unit_) unit_->Stop();
    }
    // The device thread is gone: only now may the ring and the converters go.
    unit_.reset();
    ring_.store(nullptr);
    ringOwner_.reset();
    slots_.clear();
    sem_destroy(&wakeSem_);
    sem_destroy(&restSem_);
}

// ---- main-thread operations ----

void DeviceAudioOut::Stop() {
    {
        Lock lock(ctlMutex_);
        stop_.store(true, std::memory_order_release);
        ChangeState(kAudioOutStopped);
        if (unit_) unit_->Stop();
    }
    sem_post(&wakeSem_);
    sem_post(&restSem_);
}

void DeviceAudioOut::SetBufferingLevels(float lowSeconds, float highSeconds) {
    Lock lock(ctlMutex_);
    lowLevel_ = SaneSeconds(lowSeconds);
    highLevel_ = SaneSeconds(highSeconds);
    ComputeBufferLevels();
}

void DeviceAudioOut::GetBufferingLevels(float* lowSeconds, float* highSeconds) {
    Lock lock(ctlMutex_);
    if (lowSeconds) *lowSeconds = lowLevel_;
    if (highSeconds) *highSeconds = highLevel_;
}

float DeviceAudioOut::GetSecondsBuffered() {
    double rate, bytesPerPacket;
    {
        Lock lock(ctlMutex_);
        rate = inputFormat_.mSampleRate;
        bytesPerPacket = inputFormat_.mBytesPerPacket;
    }
    ChunkRingBuffer* ring = ring_.load(std::memory_order_acquire);
    if (rate <= 0 || bytesPerPacket <= 0 || !ring) return 0.0f;
    return static_cast<float>(ring->BytesAvailable() / (rate * bytesPerPacket));
}

void DeviceAudioOut::SetVolume(float volume) {
    volume_.store(volume, std::memory_order_relaxed);
    Lock lock(ctlMutex_);
    if (unit_) unit_->SetVolume(volume);
}

float DeviceAudioOut::GetVolume() {
    Lock lock(ctlMutex_);
    return unit_ ? unit_->GetVolume() : volume_.load(std::memory_order_relaxed);
}

int DeviceAudioOut::GetOutputFormat(AudioStreamBasicDescription* format) {
    Lock lock(ctlMutex_);
    if (outputFormat_.mFormatID == 0) return platform::kAudioStatusParamErr;
    if (format) *format = outputFormat_;
    return 0;
}

unsigned DeviceAudioOut::GetRingChunkCount() const {
    ChunkRingBuffer* ring = ring_.load(std::memory_order_acquire);
    return ring ? ring->Count() : 0;
}

unsigned DeviceAudioOut::GetBytesBuffered() const {
    ChunkRingBuffer* ring = ring_.load(std::memory_order_acquire);
    return ring ? ring->BytesAvailable() : 0;
}

unsigned DeviceAudioOut::GetBytesReadable() const {
    ChunkRingBuffer* ring = ring_.load(std::memory_order_acquire);
    return ring ? ring->BytesReadable() : 0;
}

void DeviceAudioOut::ChangeState(int to) {
    const int from = state_.load(std::memory_order_acquire);
    if (from == to) return;
    state_.store(to, std::memory_order_release);
    if (owner_) owner_->PlayStateChanged(from, to);
}

void DeviceAudioOut::ComputeBufferLevels() {
    const double rate = inputFormat_.mSampleRate;
    const double bytesPerPacket = inputFormat_.mBytesPerPacket;
    if (rate <= 0 || bytesPerPacket <= 0) {
        highBytes_.store(0);
        lowBytes_.store(0);
        return;
    }
    constexpr double kMax = double(UINT_MAX - 2 * kChunkSize);
    auto level = [&](float seconds) {
        const double b = std::clamp(double(seconds) * rate * bytesPerPacket, 0.0, kMax);
        const unsigned bytes = static_cast<unsigned>(b);
        return bytes / kChunkSize * kChunkSize;
    };
    // A low level under one chunk would round to 0 and the fill loop would never be woken;
    // the high level must lie above the low one or nothing is refilled.
    const unsigned low = std::max(level(lowLevel_), kChunkSize);
    const unsigned high = std::max(level(highLevel_), low + kChunkSize);
    lowBytes_.store(low, std::memory_order_release);
    highBytes_.store(high, std::memory_order_release);
}

// ---- stream thread ----

int DeviceAudioOut::SetupOutputUnit(double preferredRate) {
    int status = 0;
    std::unique_ptr<platform::AudioOutputUnit> unit =
        unitFactory_ ? unitFactory_(&status) : platform::OpenDefaultAudioOutputUnit(&status);
    if (!unit) return status != 0 ? status : platform::kAudioStatusNoDefaultOutput;
    status = unit->Initialize(preferredRate);
    if (status != 0) return status;
    unit->SetVolume(volume_.load(std::memory_order_relaxed));
    outputFormat_ = unit->StreamFormat();
    unit->SetRenderCallback(&DeviceAudioOut::DeviceFillBufferCallback, this);
    LogMessage(kLogInfo, "audio output: %s, %d Hz\n", unit->Name(), static_cast<int>(outputFormat_.mSampleRate));
    unit_ = std::move(unit);
    return 0;
}

int DeviceAudioOut::SetInputFormat(const AudioStreamBasicDescription& format) {
    if (!platform::IsSupportedInputFormat(format)) {
        LogMessage(kLogError, "audio output: unsupported PCM format (%u channels, %u bits, flags %u, %d Hz)\n",
                   format.mChannelsPerFrame, format.mBitsPerChannel, format.mFormatFlags,
                   static_cast<int>(format.mSampleRate));
        return platform::kAudioStatusFormatNotSupported;
    }
    double outputRate;
    float highSeconds;
    {
        Lock lock(ctlMutex_);
        if (!unit_) {
            const int status = SetupOutputUnit(format.mSampleRate);
            if (status != 0) {
                LogMessage(kLogError, "audio output: no output unit (%d)\n", status);
                return status;
            }
        }
        outputRate = outputFormat_.mSampleRate;
        highSeconds = highLevel_;
    }

    if (!writeSlot_ || !platform::FormatsEqual(writeSlot_->format, format)) {
        auto slot = std::make_unique<FormatSlot>();
        slot->generation = nextGeneration_++;
        slot->format = format;
        slot->bytesPerFrame = format.mBytesPerFrame;
        if (format.mSampleRate != outputRate) {
            slot->resampler = std::make_unique<platform::StereoResampler>(format.mSampleRate, outputRate);
            if (!slot->resampler->Valid()) return platform::kAudioStatusFormatNotSupported;
        }
        if (!ring_.load(std::memory_order_acquire)) {
            // Room for the high level of this format, and never less than the classic ring
            // (44.1 kHz at 8 bytes per frame), so a later switch to a common format fits.
            const double high = std::min(highSeconds, kMaxLevelSeconds);
            const unsigned classic = static_cast<unsigned>(high * 44100.0 * 8.0) / kChunkSize + 1;
            const unsigned actual =
                static_cast<unsigned>(std::ceil(high * format.mSampleRate * format.mBytesPerFrame / kChunkSize)) + 1;
            ringOwner_ = std::make_unique<ChunkRingBuffer>(std::max({classic, actual, 3u}), kChunkSize);
            ring_.store(ringOwner_.get(), std::memory_order_release);
        } else if (writeSlot_) {
            formatChangedInRead_ = true;
        }
        writeSlot_ = slot.get();
        ringOwner_->SetWriteTag(writeSlot_);
        slots_.push_back(std::move(slot));
    }
    {
        Lock lock(ctlMutex_);
        inputFormat_ = format;
        ComputeBufferLevels();
    }
    formatReady_ = true;
    CollectSlots();
    return 0;
}

void DeviceAudioOut::Run() {
    {
        Lock lock(ctlMutex_);
        if (stop_.load()) return;
        ComputeBufferLevels();
        ChangeState(kAudioOutBuffering);
    }

    // Prebuffer one chunk at a time up to the low level.
    unsigned target = 0;
    for (;;) {
        target += kChunkSize;
        const bool more = FillBuffer(target);
        if (stop_.load()) {
            Lock lock(ctlMutex_);
            ChangeState(kAudioOutStopped);
            return;
        }
        if (!more) {
            PlayOut();
            return;
        }
        if (formatReady_ && target >= lowBytes_.load()) break;
    }
    {
        Lock lock(ctlMutex_);
        if (stop_.load()) return;
        ChangeState(kAudioOutPrebuffered);
    }
    StartOutputUnit();

    // Refill up to the high level whenever the render side calls.
    for (;;) {
        WaitForWake(-1);
        if (stop_.load()) return;
        wakeFlag_.store(false, std::memory_order_release);
        LogUnderruns();
        CollectSlots();
        if (!FillBuffer(highBytes_.load())) {
            PlayOut();
            return;
        }
    }
}

void DeviceAudioOut::StartOutputUnit() {
    int status = 0;
    {
        Lock lock(ctlMutex_);
        if (stop_.load()) return;
        if (state_.load() == kAudioOutPlaying) return;
        status = unit_ ? unit_->Start() : platform::kAudioStatusParamErr;
        if (status == 0) ChangeState(kAudioOutPlaying);
    }
    if (status != 0) {
        // Left at state 4 the stream would sit silent for ever: report it.
        LogMessage(kLogError, "audio output: the device did not start (%d)\n", status);
        throw player_exception(EngineError::kFormatRefused);
    }
}

bool DeviceAudioOut::FillBuffer(unsigned target) {
    if (!source_) return false;
    while (!stop_.load(std::memory_order_acquire)) {
        ChunkRingBuffer* ring = ring_.load(std::memory_order_acquire);
        if (!ring) {
            // Until the decoder announces its format there is no ring: its first PCM goes to
            // the carry (the announcement comes inside this read).
            const int r = source_->Read(carry_.data(), kChunkSize);
            if (r < 0) return false;
            if (r == 0) continue;
            if (!ring_.load(std::memory_order_acquire)) {
                LogMessage(kLogError, "audio output: %d bytes of PCM without a format dropped\n", r);
                continue;
            }
            carryLength_ = std::min<unsigned>(static_cast<unsigned>(r), kChunkSize);
            formatChangedInRead_ = false;
            continue;
        }
        if (carryLength_ > 0 && !FlushCarry()) return true;
        const unsigned stored = ring->BytesAvailable();
        const unsigned frameBytes = writeSlot_->bytesPerFrame;
        unsigned shortfall;
        if (stored >= target) {
            // Finish a part-written chunk (after a format boundary, say): the render side
            // sees only whole chunks, and PCM it cannot see would run it dry.
            const unsigned fill = ring->WriteChunkFill();
            if (fill == 0) return true;
            shortfall = ring->ChunkSize() - fill;
        } else {
            // Ask in large steps, but close the last gap too: the prebuffering and the wake-up
            // of this loop rely on the level being reached.
            shortfall = (target - stored) / kFillGranule * kFillGranule;
            if (shortfall == 0) shortfall = target - stored;
        }
        shortfall -= shortfall % frameBytes;
        if (shortfall == 0) return true;
        void* p = nullptr;
        unsigned room = ring->GetWritePointer(&p, shortfall);
        if (!p) return true;  // the ring is full
        room -= room % frameBytes;
        if (room == 0) {
            ring->Seal();  // the chunk's tail cannot hold a whole frame
            continue;
        }
        const unsigned before = ring->WriteChunkFill();
        formatChangedInRead_ = false;
        const int r = source_->Read(p, room);
        if (r < 0) return false;
        if (r == 0) {
            RestWhileWellFed();
            continue;
        }
        const unsigned n = std::min<unsigned>(static_cast<unsigned>(r), room);
        if (formatChangedInRead_ && before > 0) {
            // The decoder switched formats inside this read: these bytes are in the new format
            // and must not share a chunk with the old PCM before them.
            std::memcpy(carry_.data(), p, n);
            carryLength_ = n;
            ring->Seal();
            formatChangedInRead_ = false;
        } else {
            ring->Commit(n);
            SealIfNoRoomForAFrame();
        }
    }
    return true;
}

// A live stream arrives at the rate it plays, so while playing the fill loop rarely
// reaches the high level and would wake for every piece the network brings. With half the
// low level or more in the ring nothing is urgent: the loop rests for up to kIdlePauseMs,
// and the network's bytes gather in the socket meanwhile. The render side ends the rest
// once the ring falls below half the low level, whatever the device's pace; so does a stop.
void DeviceAudioOut::RestWhileWellFed() {
    if (state_.load() != kAudioOutPlaying || stop_.load()) return;
    ChunkRingBuffer* ring = ring_.load(std::memory_order_acquire);
    if (!ring) return;
    // A post left from an earlier rest (it had ended on its own) must not cut this one short.
    while (sem_trywait(&restSem_) == 0) {}
    resting_.store(true, std::memory_order_seq_cst);
    // Checked after the flag is up, so a render call that sees the flag down has already
    // left the ring where this check finds it.
    if (ring->BytesAvailable() >= lowBytes_.load() / 2 && !stop_.load()) TimedWait(restSem_, idlePauseMs_.load());
    resting_.store(false, std::memory_order_seq_cst);
}

// A chunk whose rest cannot take a whole frame is handed over at once, so the render side
// never waits for bytes that will not come.
void DeviceAudioOut::SealIfNoRoomForAFrame() {
    ChunkRingBuffer* ring = ring_.load(std::memory_order_acquire);
    const unsigned fill = ring->WriteChunkFill();
    if (fill > 0 && ring->ChunkSize() - fill < writeSlot_->bytesPerFrame) ring->Seal();
}

bool DeviceAudioOut::FlushCarry() {
    ChunkRingBuffer* ring = ring_.load(std::memory_order_acquire);
    unsigned offset = 0;
    bool flushed = true;
    while (offset < carryLength_) {
        void* p = nullptr;
        unsigned room = ring->GetWritePointer(&p, carryLength_ - offset);
        if (!p) {
            flushed = false;
            break;
        }
        room -= room % writeSlot_->bytesPerFrame;
        if (room == 0) {
            if (ring->WriteChunkFill() == 0) {  // a frame larger than a chunk cannot happen
                offset = carryLength_;
                break;
            }
            ring->Seal();
            continue;
        }
        std::memcpy(p, carry_.data() + offset, room);
        ring->Commit(room);
        SealIfNoRoomForAFrame();
        offset += room;
    }
    if (offset > 0) {
        std::memmove(carry_.data(), carry_.data() + offset, carryLength_ - offset);
        carryLength_ -= offset;
    }
    return flushed;
}

// The data has ended: play what is buffered, then stop. Bounded by the buffered time plus
// a margin, so a device that stopped pulling cannot hold the stream thread.
void DeviceAudioOut::PlayOut() {
    endOfData_ = true;
    draining_.store(true, std::memory_order_release);
    ChunkRingBuffer* ring = ring_.load(std::memory_order_acquire);
    const bool anything = formatReady_ && ring && (ring->BytesAvailable() > 0 || carryLength_ > 0);
    if (anything && !stop_.load()) {
        QueueToEnd(ring);  // before a start, so the device's first pull finds the data
        if (state_.load() != kAudioOutPlaying) {
            {
                Lock lock(ctlMutex_);
                if (stop_.load()) return;
                ChangeState(kAudioOutPrebuffered);
            }
            StartOutputUnit();
        }
        using Clock = std::chrono::steady_clock;
        const double seconds = GetSecondsBuffered() + 2.0;
        const auto deadline = Clock::now() + std::chrono::milliseconds(static_cast<long>(seconds * 1000.0));
        while (!stop_.load()) {
            if (QueueToEnd(ring) && ring->BytesAvailable() == 0) break;
            if (Clock::now() > deadline) {
                LogMessage(kLogError, "audio output: the device stopped taking data; %u bytes not played\n",
                           ring->BytesAvailable() + carryLength_);
                break;
            }
            WaitForWake(20);
        }
        // Let the render side hand out what it still holds (the resampler's stage and tail).
        renderDry_.store(false, std::memory_order_release);
        const auto last = Clock::now() + std::chrono::milliseconds(1000);
        while (!stop_.load() && !renderDry_.load(std::memory_order_acquire) && Clock::now() < last)
            WaitForWake(10);
    }
    LogUnderruns();
    Lock lock(ctlMutex_);
    stop_.store(true, std::memory_order_release);
    ChangeState(kAudioOutStopped);
    if (unit_) unit_->Stop();
}

bool DeviceAudioOut::QueueToEnd(ChunkRingBuffer* ring) {
    if (carryLength_ > 0) FlushCarry();
    if (carryLength_ > 0) return false;
    ring->Seal();
    queuedToEnd_.store(true, std::memory_order_release);
    return true;
}

void DeviceAudioOut::CollectSlots() {
    const uint64_t passed = renderGeneration_.load(std::memory_order_acquire);
    slots_.remove_if(
        [&](const std::unique_ptr<FormatSlot>& s) { return s.get() != writeSlot_ && s->generation < passed; });
}

void DeviceAudioOut::LogUnderruns() {
    const uint64_t n = loggableUnderruns_.load(std::memory_order_acquire);
    if (n == loggedUnderruns_) return;
    LogMessage(kLogDebug, "CoreAudioOut::SupplyBuffersForPCMConverter need %lu, only have %lu packets available\n",
               static_cast<unsigned long>(lastNeed_.load()), static_cast<unsigned long>(lastHave_.load()));
    LogMessage(kLogDebug, "CoreAudioOut::CoreAudioFillBufferCallback Lacking Data Error!\n");
    loggedUnderruns_ = n;
}

bool DeviceAudioOut::WaitForWake(int milliseconds) {
    if (milliseconds < 0) {
        while (sem_wait(&wakeSem_) != 0 && errno == EINTR) {}
        return true;
    }
    return TimedWait(wakeSem_, milliseconds);
}

bool DeviceAudioOut::TimedWait(sem_t& semaphore, int milliseconds) {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    ts.tv_nsec += long(milliseconds) * 1000000L;
    ts.tv_sec += ts.tv_nsec / 1000000000L;
    ts.tv_nsec %= 1000000000L;
    for (;;) {
        if (sem_timedwait(&semaphore, &ts) == 0) return true;
        if (errno != EINTR) return false;
    }
}

// ---- render thread ----

int DeviceAudioOut::DeviceFillBufferCallback(void* refCon, float* out, uint32_t frames) {
    return static_cast<DeviceAudioOut*>(refCon)->Render(out, frames);
}

void DeviceAudioOut::WakeFillThread() {
    if (!wakeFlag_.exchange(true, std::memory_order_acq_rel)) sem_post(&wakeSem_);
}

uint32_t DeviceAudioOut::PullFrames(float* out, uint32_t maxFrames, bool* switched) {
    ChunkRingBuffer* ring = ring_.load(std::memory_order_acquire);
    *switched = false;
    for (;;) {
        const void* p = nullptr;
        const unsigned n = ring->GetReadPointer(&p, UINT_MAX);
        if (n == 0) return 0;
        auto* slot = static_cast<FormatSlot*>(const_cast<void*>(ring->ReadTag()));
        if (!slot) {
            ring->Consume(n);
            continue;
        }
        if (slot != renderSlot_) {
            // A format boundary: what is staged belongs to the old format and is complete.
            renderSlot_ = slot;
            stagePos_ = stageFrames_ = 0;
            renderGeneration_.store(slot->generation, std::memory_order_release);
            *switched = true;
            return 0;
        }
        const unsigned frameBytes = slot->bytesPerFrame;
        const uint32_t frames = std::min<uint32_t>(maxFrames, n / frameBytes);
        if (frames == 0) {
            if (n < frameBytes) {
                ring->Consume(n);  // a torn frame at a chunk's end: never played
                continue;
            }
            return 0;
        }
        platform::ConvertToStereoFloat(slot->format, p, frames, out);
        ring->Consume(frames * frameBytes);
        return frames;
    }
}

int DeviceAudioOut::Render(float* out, uint32_t frames) {
    renderCalls_.fetch_add(1, std::memory_order_acq_rel);
    ChunkRingBuffer* ring = ring_.load(std::memory_order_acquire);
    uint32_t produced = 0;
    while (ring && produced < frames) {
        FormatSlot* slot = renderSlot_;
        bool switched = false;
        if (slot && slot->resampler) {
            if (stageFrames_ == 0) {
                const uint32_t n = PullFrames(stage_.data(), kStageFrames, &switched);
                if (switched) continue;
                if (n == 0) {
                    // At the end of the data, let the resampler give out its last frames.
                    if (!draining_.load(std::memory_order_acquire) || ring->BytesAvailable() > 0) break;
                    long generated = 0;
                    slot->resampler->Flush(out + 2 * size_t(produced), frames - produced, &generated);
                    produced += static_cast<uint32_t>(generated);
                    break;
                }
                stagePos_ = 0;
                stageFrames_ = n;
            }
            long used = 0, generated = 0;
            if (!slot->resampler->Process(stage_.data() + 2 * size_t(stagePos_), stageFrames_, &used,
                                          out + 2 * size_t(produced), frames - produced, &generated)) {
                stageFrames_ = 0;
                break;
            }
            stagePos_ += static_cast<uint32_t>(used);
            stageFrames_ -= static_cast<uint32_t>(used);
            produced += static_cast<uint32_t>(generated);
            if (used == 0 && generated == 0) break;
        } else {
            const uint32_t n = PullFrames(out + 2 * size_t(produced), frames - produced, &switched);
            if (switched) continue;
            if (n == 0) break;
            produced += n;
        }
    }
    if (produced < frames) std::memset(out + 2 * size_t(produced), 0, sizeof(float) * 2 * (frames - produced));

    if (ring) {
        const unsigned available = ring->BytesAvailable();
        const unsigned low = lowBytes_.load(std::memory_order_acquire);
        if (available < low) {
            if (available < low / 2) {
                underrunFlag_.store(true, std::memory_order_release);
                if (resting_.exchange(false, std::memory_order_seq_cst)) sem_post(&restSem_);
            }
            WakeFillThread();
        } else {
            underrunFlag_.store(false, std::memory_order_release);
        }
    }
    renderDry_.store(produced < frames, std::memory_order_release);
    const bool stopped = stop_.load(std::memory_order_acquire);
    if (produced < frames && !stopped && !draining_.load(std::memory_order_acquire)) {
        underruns_.fetch_add(1, std::memory_order_acq_rel);
        // Worth a log line only while the ring is low, as a device cycle with nothing
        // decoded yet is not news; the fill loop writes it.
        if (underrunFlag_.load(std::memory_order_acquire)) {
            lastNeed_.store(frames, std::memory_order_relaxed);
            lastHave_.store(produced, std::memory_order_relaxed);
            loggableUnderruns_.fetch_add(1, std::memory_order_acq_rel);
        }
    }
    return (produced == 0 && !stopped) ? platform::kAudioStatusNoData : 0;
}

}  // namespace Amp
