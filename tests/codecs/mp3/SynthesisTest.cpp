// The polyphase synthesis against a direct evaluation of the standard's filter
// (64-value matrixing, vector shift, windowing with D), and its conversion rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "codecs/mp3/PolyphaseSynthesis.h"
#include "codecs/mp3/tables/MpegTables.h"

namespace {

using mp3::CPolyphaseSynthesis;
using mp3::MpegFrameParams;

// The filter as written in the standard, in double precision, one channel.
class DirectSynthesis {
public:
    DirectSynthesis() : v_(1024, 0.0) {}
    // 32 output values (before conversion) for 32 subband samples.
    std::vector<double> Block(const float* s) {
        for (int i = 1023; i >= 64; --i)
            v_[i] = v_[i - 64];
        for (int i = 0; i < 64; ++i) {
            double sum = 0.0;
            for (int k = 0; k < 32; ++k)
                sum += s[k] * std::cos((16 + i) * (2 * k + 1) * M_PI / 64.0);
            v_[i] = sum;
        }
        std::vector<double> u(512);
        for (int i = 0; i < 8; ++i) {
            for (int j = 0; j < 32; ++j) {
                u[i * 64 + j] = v_[i * 128 + j];
                u[i * 64 + 32 + j] = v_[i * 128 + 96 + j];
            }
        }
        std::vector<double> out(32, 0.0);
        for (int j = 0; j < 32; ++j) {
            for (int i = 0; i < 16; ++i)
                out[j] += u[j + 32 * i] * (mp3::tables::kSynthesisWindowD[j + 32 * i] / 65536.0);
        }
        return out;
    }

private:
    std::vector<double> v_;
};

std::vector<float> RandomInput(int blocks, int subbands, uint32_t seed, double scale) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> dist(-scale, scale);
    std::vector<float> in(static_cast<size_t>(blocks) * 32, 0.0f);
    for (int b = 0; b < blocks; ++b) {
        for (int k = 0; k < subbands; ++k)
            in[static_cast<size_t>(b) * 32 + k] = static_cast<float>(dist(rng));
    }
    return in;
}

// Runs `blocks` blocks (18 at a time, the layout of one channel's 576 values) through a
// one-channel synthesis and returns the samples.
std::vector<int16_t> RunOurs(const std::vector<float>& in, int blocks, unsigned shift) {
    MpegFrameParams params;
    params.channels = 1;
    CPolyphaseSynthesis synthesis(&params, shift, 0, 0);
    std::vector<int16_t> out;
    std::vector<uint8_t> bytes(18 * 32 * 2);
    for (int start = 0; start < blocks; start += 18) {
        const int n = std::min(18, blocks - start);
        float chunk[576] = {};
        std::memcpy(chunk, in.data() + static_cast<size_t>(start) * 32, sizeof(float) * 32 * static_cast<size_t>(n));
        uint8_t* end = synthesis.Synthesize(chunk, bytes.data(), n);
        const size_t count = static_cast<size_t>(end - bytes.data()) / 2;
        EXPECT_EQ(count, static_cast<size_t>(n) * (32u >> shift));
        const size_t old = out.size();
        out.resize(old + count);
        std::memcpy(out.data() + old, bytes.data(), count * 2);
    }
    return out;
}

// Full rate: every sample within 1 LSB of the direct filter (the conversion truncates, so
// only sums within rounding error of an integer can land on the other side). At shift 1
// and 2 the reduced transform keeps subbands below 16 and 8 and yields exactly the
// full-rate samples 2j and 4j of those subbands.
TEST(PolyphaseSynthesis, MatchesDirectFilterAtEveryShift) {
    for (unsigned shift : {0u, 1u, 2u}) {
        SCOPED_TRACE(shift);
        const int blocks = 54;
        const std::vector<float> in = RandomInput(blocks, 32 >> shift, 7 + shift, 4000.0);
        const std::vector<int16_t> ours = RunOurs(in, blocks, shift);
        DirectSynthesis direct;
        int worst = 0;
        for (int b = 0; b < blocks; ++b) {
            const std::vector<double> ref = direct.Block(in.data() + static_cast<size_t>(b) * 32);
            for (int j = 0; j < (32 >> shift); ++j) {
                const int expected = CPolyphaseSynthesis::ToPcm16(ref[static_cast<size_t>(j << shift)]);
                worst = std::max(worst, std::abs(expected - ours[static_cast<size_t>(b * (32 >> shift) + j)]));
            }
        }
        EXPECT_LE(worst, 1);
    }
}

TEST(PolyphaseSynthesis, ZeroInputAfterResetYieldsSilence) {
    MpegFrameParams params;
    params.channels = 2;
    CPolyphaseSynthesis synthesis(&params, 0, 0, 0);
    // Fill the memory with something, then reset: the old vectors must be gone.
    std::vector<float> loud(1152, 20000.0f);
    std::vector<uint8_t> bytes(18 * 32 * 2 * 2);
    synthesis.Synthesize(loud.data(), bytes.data(), 18);
    synthesis.Reset();
    std::vector<float> zero(1152, 0.0f);
    uint8_t* end = synthesis.Synthesize(zero.data(), bytes.data(), 16);
    ASSERT_EQ(end - bytes.data(), 16 * 32 * 2 * 2);
    for (ptrdiff_t i = 0; i < end - bytes.data(); ++i)
        ASSERT_EQ(bytes[static_cast<size_t>(i)], 0) << i;
}

TEST(PolyphaseSynthesis, ConversionTruncatesAndClamps) {
    struct Case {
        double sum;
        int16_t expected;
    } cases[] = {{32767.9, 32767}, {40000.0, 32767}, {-32768.5, -32768}, {-1e9, -32768},
                 {-0.9, 0},        {0.9, 0},         {-1.0, -1},         {1234.99, 1234}};
    for (const Case& c : cases)
        EXPECT_EQ(CPolyphaseSynthesis::ToPcm16(c.sum), c.expected) << c.sum;
}

// Bytes per block: channels x (32 >> shift) samples, halved with eight bits; the mono option
// writes one channel of a two-channel frame (channel 0, where the decoder folded both).
TEST(PolyphaseSynthesis, OutputLayoutPerOption) {
    struct Case {
        unsigned shift;
        int eightBit;
        int mono;
        int channels;
        int bytes;
    } cases[] = {{0, 0, 0, 2, 128}, {1, 0, 0, 2, 64}, {2, 0, 0, 2, 32}, {2, 0, 0, 1, 16},
                 {0, 0, 1, 2, 64},  {0, 1, 0, 2, 64}, {1, 1, 1, 2, 16}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.shift << " " << c.eightBit << " " << c.mono << " " << c.channels);
        MpegFrameParams params;
        params.channels = c.channels;
        CPolyphaseSynthesis synthesis(&params, c.shift, c.eightBit, c.mono);
        std::vector<float> in(1152, 0.0f);
        for (int b = 0; b < 3; ++b)
            in[static_cast<size_t>(b) * 32] = 1000.0f;  // channel 0
        for (int b = 0; b < 3; ++b)
            in[576 + static_cast<size_t>(b) * 32] = -1000.0f;  // channel 1
        std::vector<uint8_t> bytes(18 * 128 + 16, 0xEE);
        uint8_t* end = synthesis.Synthesize(in.data(), bytes.data(), 18);
        EXPECT_EQ(end - bytes.data(), 18 * c.bytes);
        EXPECT_EQ(synthesis.BytesPerBlock(c.channels), c.bytes);
        EXPECT_EQ(bytes[static_cast<size_t>(18 * c.bytes)], 0xEE) << "wrote past its blocks";
    }
}

// Two channels are interleaved left, right: opposite inputs give opposite samples.
TEST(PolyphaseSynthesis, ChannelsAreInterleavedLeftRight) {
    MpegFrameParams params;
    params.channels = 2;
    CPolyphaseSynthesis synthesis(&params, 0, 0, 0);
    std::vector<float> in(1152, 0.0f);
    const std::vector<float> noise = RandomInput(18, 32, 3, 300.0);
    for (size_t i = 0; i < 576; ++i) {
        in[i] = noise[i];
        in[576 + i] = -noise[i];
    }
    std::vector<int16_t> out(18 * 64);
    synthesis.Synthesize(in.data(), reinterpret_cast<uint8_t*>(out.data()), 18);
    int nonZero = 0;
    for (size_t i = 0; i < out.size(); i += 2) {
        EXPECT_EQ(out[i], -out[i + 1]) << i;
        nonZero += out[i] != 0;
    }
    EXPECT_GT(nonZero, 100);
}

}  // namespace
