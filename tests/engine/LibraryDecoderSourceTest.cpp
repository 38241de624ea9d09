// The library decoders behind the wrapper, fed by a source that often has nothing yet (a
// slow server, a busy machine): "nothing yet" is never taken for the end of the stream.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/AudioOut.h"
#include "engine/DecoderWrapper.h"
#include "engine/QintPacket.h"
#include "support/Env.h"
#include "support/Pcm.h"

using namespace Amp;

namespace {

// Hands out a file in pieces; with `gaps`, a read before the first byte and between every
// two pieces finds nothing yet.
class PacedFile final : public DataSource {
public:
    PacedFile(std::vector<uint8_t> bytes, unsigned piece, bool gaps)
        : bytes_(std::move(bytes)), piece_(piece), gaps_(gaps) {}
    int Read(void* buffer, unsigned length) override {
        if (pos_ >= bytes_.size()) return -1;
        if (gaps_ && (gap_ = !gap_)) return 0;
        const size_t n = std::min<size_t>({length, piece_, bytes_.size() - pos_});
        std::memcpy(buffer, bytes_.data() + pos_, n);
        pos_ += n;
        return int(n);
    }

private:
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
    unsigned piece_;
    bool gaps_;
    bool gap_ = false;
};

// Takes the announced format; nothing is played.
class FormatSink final : public AudioOut {
public:
    void Run() override {}
    void Stop() override {}
    int GetState() override { return kAudioOutStopped; }
    void SetBufferingLevels(float, float) override {}
    void GetBufferingLevels(float*, float*) override {}
    float GetSecondsBuffered() override { return 0; }
    void SetVolume(float) override {}
    float GetVolume() override { return 1; }
    bool IsPlaying() override { return false; }
    bool IsStopped() override { return true; }
    int GetOutputFormat(AudioStreamBasicDescription*) override { return -50; }
    int SetInputFormat(const AudioStreamBasicDescription& f) override {
        format = f;
        return 0;
    }
    void SetSource(DataSource*) override {}
    DataSource* GetSource() override { return nullptr; }
    AudioStreamBasicDescription format{};
};

// Every PCM byte the decoder gives until its end.
std::vector<uint8_t> DecodeAll(uint32_t codec, const std::vector<uint8_t>& input, unsigned piece, bool gaps) {
    PacedFile source(input, piece, gaps);
    FormatSink sink;
    DecoderWrapper decoder(codec);
    decoder.SetAudioOut(&sink);
    decoder.SetSource(&source);
    std::vector<uint8_t> pcm;
    std::vector<uint8_t> buffer(24576);
    for (int reads = 0; reads < 1000000; ++reads) {
        const int n = decoder.Read(buffer.data(), unsigned(buffer.size()));
        if (n < 0) break;
        pcm.insert(pcm.end(), buffer.begin(), buffer.begin() + n);
    }
    return pcm;
}

}  // namespace

TEST(LibraryDecoderSource, NothingYetIsNotTheEnd) {
    const struct {
        const char* file;
        uint32_t codec;
    } rows[] = {
        {"streams/chirp-64k.mp3", kCodecMP3},
        {"streams/chirp-64k.aac", kCodecAACPlus},
        {"vlb/stereo44k.aac", kCodecVLB},
    };
    for (const auto& r : rows) {
        std::vector<uint8_t> input;
        ASSERT_TRUE(zymtest::ReadFile(zymtest::DataPath(r.file), input)) << r.file;
        const std::vector<uint8_t> whole = DecodeAll(r.codec, input, 1u << 20, false);
        ASSERT_GT(whole.size(), 100000u) << r.file;
        for (unsigned piece : {1000u, 333u}) {
            const std::vector<uint8_t> paced = DecodeAll(r.codec, input, piece, true);
            EXPECT_EQ(paced.size(), whole.size()) << r.file << " in pieces of " << piece;
            EXPECT_TRUE(paced == whole) << r.file << " in pieces of " << piece;
        }
    }
}

namespace {

// A stream at its real rate: the reader has nothing until it waits on the socket, and each
// wait brings one more packet.
class ArrivingStream final : public DataSource {
public:
    ArrivingStream(std::vector<uint8_t> bytes, unsigned packet, std::function<void(size_t given)> onWait)
        : bytes_(std::move(bytes)), packet_(packet), onWait_(std::move(onWait)) {}
    int Read(void* buffer, unsigned length) override {
        if (pos_ >= bytes_.size()) return -1;
        onWait_(pos_);
        const size_t n = std::min<size_t>({length, packet_, bytes_.size() - pos_});
        std::memcpy(buffer, bytes_.data() + pos_, n);
        pos_ += n;
        return int(n);
    }

private:
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
    unsigned packet_;
    std::function<void(size_t)> onWait_;
};

}  // namespace

// The output's buffer levels count decoded sound only: a decoder that waited for the next
// packet while it still held whole frames would keep up to its input ring (a second of an
// MP3 station) out of that count, and the first sound would come that much later.
TEST(LibraryDecoderSource, HeldFramesAreDecodedBeforeTheNextWait) {
    const struct {
        const char* file;
        uint32_t codec;
    } rows[] = {
        {"streams/chirp-64k.mp3", kCodecMP3},
        {"streams/chirp-64k.aac", kCodecAACPlus},
    };
    constexpr unsigned kPacket = 4096;
    constexpr unsigned kRequest = 24576;  // what the output asks for at a time
    for (const auto& r : rows) {
        std::vector<uint8_t> input;
        ASSERT_TRUE(zymtest::ReadFile(zymtest::DataPath(r.file), input)) << r.file;
        const double pcmPerByte = double(DecodeAll(r.codec, input, 1u << 20, false).size()) / double(input.size());
        ASSERT_GT(pcmPerByte, 1.0) << r.file;

        size_t handedOut = 0;
        size_t waits = 0;
        size_t worstHeld = 0;
        ArrivingStream source(input, kPacket, [&](size_t given) {
            ++waits;
            // The sound of what has arrived, less what went out and what the current
            // request may hold: the rest is sitting in the decoder.
            const double held = double(given) - double(handedOut + kRequest) / pcmPerByte;
            worstHeld = std::max(worstHeld, size_t(std::max(0.0, held)));
        });
        FormatSink sink;
        DecoderWrapper decoder(r.codec);
        decoder.SetAudioOut(&sink);
        decoder.SetSource(&source);
        std::vector<uint8_t> buffer(kRequest);
        for (int reads = 0; reads < 100000; ++reads) {
            const int n = decoder.Read(buffer.data(), kRequest);
            if (n < 0) break;
            handedOut += size_t(n);
        }
        EXPECT_GE(waits, input.size() / kPacket) << r.file;
        // One packet of slack: a frame split across packets, the frames of the sync search.
        EXPECT_LE(worstHeld, kPacket) << r.file << ": bytes held in the decoder while it waited";
    }
}
