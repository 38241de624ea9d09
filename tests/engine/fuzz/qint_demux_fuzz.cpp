// libFuzzer target: any bytes as a Quintrel packet stream through the demultiplexer and the
// decoder wrapper, with pass-through "codecs" behind it, as the output reads it. The first
// byte picks the source's piece size, the read size, the message size limit and whether
// track timing is on. Nothing may read or write outside a buffer, hang, hand out more audio
// than came in, or deliver a metadata text larger than a set may grow.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/DecoderWrapper.h"
#include "engine/QintDemuxer.h"
#include "engine/QintPacket.h"
#include "engine/player_exception.h"

using namespace Amp;

namespace {

class FuzzSource : public DataSource {
public:
    FuzzSource(const uint8_t* data, size_t size, size_t piece) : data_(data), size_(size), piece_(piece) {}
    int Read(void* buffer, unsigned length) override {
        // "Nothing yet" between pieces, as a network reader answers.
        if ((calls_++ % 3) == 2) return 0;
        if (pos_ >= size_) return -1;
        const size_t n = std::min<size_t>({piece_, length, size_ - pos_});
        std::memcpy(buffer, data_ + pos_, n);
        pos_ += n;
        return int(n);
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    size_t piece_;
    unsigned calls_ = 0;
};

class Owner : public QintDemuxerOwner {
public:
    bool IsOutputStopped() override { return false; }
    float GetSecondsBuffered() override { return 0.5f; }
    void MetaDataReceived(const char* bytes, uint32_t length, double) override {
        if (length > Qint::kMaxMetadataSetBytes + 65535) __builtin_trap();
        volatile char sink = 0;
        for (uint32_t i = 0; i < length; ++i)
            sink = sink ^ bytes[i];
        (void)sink;
    }
    void TrackProgress(float, float, float) override {}
};

size_t g_audioBytes = 0;

class PassThrough : public AudioDecoder {
public:
    int Read(void* buffer, unsigned length) override {
        const int n = source_->Read(buffer, length);
        if (n > int(length)) __builtin_trap();
        if (n > 0) g_audioBytes += size_t(n);
        return n;
    }
    void SetAudioOut(AudioOut*) override {}
    void SetSource(DataSource* source) override { source_ = source; }
    DataSource* GetSource() override { return source_; }

private:
    DataSource* source_ = nullptr;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;
    static const size_t kPieces[] = {1, 7, 64, 4096};
    static const unsigned kReads[] = {1, 13, 512, 8192};
    static const uint32_t kMaxMessage[] = {0, 64, 5000, 0xFFFFFFFFu};

    DecoderWrapper::SetFactoryForTesting(
        [](uint32_t code) -> AudioDecoder* { return code == 0 ? nullptr : new PassThrough; });
    g_audioBytes = 0;
    FuzzSource source(data, size, kPieces[mode & 3]);
    Owner owner;
    {
        QintDemuxer demuxer(&owner);
        demuxer.SetSource(&source);
        if (kMaxMessage[(mode >> 2) & 3]) demuxer.SetMaxMessageSize(kMaxMessage[(mode >> 2) & 3]);
        if (mode & 0x40) demuxer.SetAverageBitrate(128000);
        DecoderWrapper wrapper(kCodecVLB);
        demuxer.SetDecoder(&wrapper);
        wrapper.SetSource(&demuxer);
        const unsigned readSize = kReads[(mode >> 4) & 3];
        std::vector<uint8_t> buffer(readSize);
        try {
            // Every call either consumes input or ends; the guard only catches a loop that doesn't.
            int ends = 0;
            for (size_t guard = 0; guard < 8 * size + 64; ++guard) {
                const int n = wrapper.Read(buffer.data(), readSize);
                if (n > int(readSize)) __builtin_trap();
                // A codec switch ends the old decoder's input once; two ends in a row is the end.
                if (n < 0 && ++ends > 1) break;
                if (n >= 0) ends = 0;
            }
        } catch (const player_exception&) {}
    }
    DecoderWrapper::SetFactoryForTesting(nullptr);
    if (g_audioBytes > size) __builtin_trap();
    return 0;
}
