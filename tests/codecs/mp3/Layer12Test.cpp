// Layer I and II decoding against an independent decoder (mpg123) on the project's own
// Layer II fixtures, and the options and corrupt-frame rules of the Layer I/II decoder.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "FrameTestUtil.h"
#include "Mp3TestUtil.h"
#include "codecs/mp3/tables/MpegTables.h"
#include "support/Env.h"
#include "support/Pcm.h"

namespace {

std::vector<uint8_t> Fixture(const std::string& name) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(zymtest::ReadFile(mp3test::FixturePath(name), bytes)) << name;
    return bytes;
}

// Header words of every frame, walking by the decoder's own frame lengths.
template <typename Fn>
void ForEachHeader(std::vector<uint8_t>& bytes, Fn fn) {
    size_t pos = 0;
    while (pos + 4 <= bytes.size()) {
        uint32_t word = (uint32_t{bytes[pos]} << 24) | (uint32_t{bytes[pos + 1]} << 16) |
                        (uint32_t{bytes[pos + 2]} << 8) | bytes[pos + 3];
        if ((word >> 21) != 0x7FF) break;
        const int layerBits = (word >> 17) & 3;
        const int rateIndex = (word >> 12) & 15;
        const int fsIndex = (word >> 10) & 3;
        const bool mpeg1 = (word >> 19) & 1;
        static const int kFs[2][3] = {{22050, 24000, 16000}, {44100, 48000, 32000}};
        static const int kL2Mpeg1[15] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
        static const int kL2Lsf[15] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
        if (layerBits != 2) break;  // Layer II fixtures only
        const int kbps = mpeg1 ? kL2Mpeg1[rateIndex] : kL2Lsf[rateIndex];
        const size_t length = 144u * kbps * 1000 / kFs[mpeg1][fsIndex] + ((word >> 9) & 1);
        fn(&bytes[pos], word);
        pos += length;
    }
}

struct RefCase {
    const char* file;
    int channels;
    int sampleRate;
};

class Layer2AgainstMpg123 : public ::testing::TestWithParam<RefCase> {};

// Bound: RMS <= 1 LSB, max <= 2 LSB against mpg123, sample-aligned (offset 0), and the
// same number of samples.
TEST_P(Layer2AgainstMpg123, MatchesReferenceDecoder) {
    const RefCase& c = GetParam();
    const std::string path = mp3test::FixturePath(c.file);
    zymtest::Pcm ref;
    if (!zymtest::DecodeWithMpg123(path, ref)) GTEST_SKIP() << "mpg123 not available";
    const mp3test::DecodeResult r = mp3test::DecodeAll(Fixture(c.file));
    ASSERT_TRUE(r.sawInfo);
    EXPECT_EQ(r.info.layer, 2);
    EXPECT_EQ(r.info.channels, c.channels);
    EXPECT_EQ(r.info.sampleRate, c.sampleRate);
    ASSERT_EQ(ref.channels, c.channels);
    EXPECT_EQ(r.pcm.size(), ref.samples.size());
    EXPECT_EQ(zymtest::FindOffset(r.pcm, ref.samples, c.channels, 64, 4096), 0);
    const zymtest::PcmDiff d = zymtest::Compare(r.pcm, ref.samples, c.channels);
    std::printf("%s: rms %.4f max %d over %zu samples\n", c.file, d.rms, d.maxAbs, d.compared);
    EXPECT_LE(d.rms, 1.0);
    EXPECT_LE(d.maxAbs, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, Layer2AgainstMpg123,
    ::testing::Values(RefCase{"l2_44k_stereo_192k.mp2", 2, 44100},
                      RefCase{"l2_44k_joint_128k_crc_padding.mp2", 2, 44100}, RefCase{"l2_44k_joint_64k.mp2", 2, 44100},
                      RefCase{"l2_32k_stereo_96k.mp2", 2, 32000}, RefCase{"l2_32k_stereo_112k.mp2", 2, 32000},
                      RefCase{"l2_22k_stereo_64k_lsf.mp2", 2, 22050}, RefCase{"l2_48k_mono_64k_ffmpeg.mp2", 1, 48000}),
    [](const auto& info) {
        std::string n = info.param.file;
        for (char& ch : n) {
            if (ch == '.') ch = '_';
        }
        return n;
    });

// 64 kbit/s joint stereo at 44.1 kHz uses the 8-subband table; mode extension 3 asks for a
// bound of 16, which is taken as the limit 8: no shared allocations at all, so a stereo
// stream's frames marked joint stereo with extension 3 decode exactly as before.
TEST(Layer2Decoding, JointStereoBoundAboveSubbandLimitIsTakenAsLimit) {
    std::vector<uint8_t> joint = Fixture("l2_44k_stereo_64k.mp2");
    std::vector<uint8_t> stereo = joint;
    int frames = 0;
    ForEachHeader(joint, [&](uint8_t* frame, uint32_t) {
        frame[3] = static_cast<uint8_t>((frame[3] & 0x0F) | 0x40 | 0x30);  // joint, extension 3
        ++frames;
    });
    ForEachHeader(stereo, [&](uint8_t* frame, uint32_t) { frame[3] = static_cast<uint8_t>(frame[3] & 0x0F); });
    ASSERT_GT(frames, 10);
    const mp3test::DecodeResult a = mp3test::DecodeAll(joint);
    const mp3test::DecodeResult b = mp3test::DecodeAll(stereo);
    EXPECT_EQ(a.frames, frames);
    EXPECT_EQ(a.frames, b.frames);
    ASSERT_EQ(a.pcm.size(), b.pcm.size());
    size_t firstDiff = a.pcm.size();
    for (size_t i = 0; i < a.pcm.size(); ++i) {
        if (a.pcm[i] != b.pcm[i]) {
            firstDiff = i;
            break;
        }
    }
    EXPECT_EQ(firstDiff, a.pcm.size()) << "first difference at frame " << firstDiff / 2304;
}

// Layer I/II carry their CRC unchecked: a wrong CRC word changes nothing.
TEST(Layer2Decoding, WrongCrcWordDecodesNormally) {
    std::vector<uint8_t> good = Fixture("l2_44k_joint_128k_crc_padding.mp2");
    std::vector<uint8_t> bad = good;
    ForEachHeader(bad, [&](uint8_t* frame, uint32_t word) {
        ASSERT_EQ((word >> 16) & 1, 0u) << "fixture must be CRC-protected";
        frame[4] ^= 0x5A;
        frame[5] ^= 0xA5;
    });
    const mp3test::DecodeResult a = mp3test::DecodeAll(good);
    const mp3test::DecodeResult b = mp3test::DecodeAll(bad);
    ASSERT_GT(a.frames, 10);
    EXPECT_EQ(a.frames, b.frames);
    EXPECT_EQ(a.pcm, b.pcm);
}

// The mono option folds two channels into the mean before the synthesis, so its output is
// the mean of the stereo output within the truncation of both (<= 1 LSB each way).
TEST(Layer12Options, MonoOptionYieldsMeanOfChannels) {
    for (const char* file : {"l2_44k_stereo_192k.mp2", "l2_44k_joint_128k_crc_padding.mp2"}) {
        SCOPED_TRACE(file);
        const std::vector<uint8_t> bytes = Fixture(file);
        const mp3test::DecodeResult stereo = mp3test::DecodeAll(bytes);
        const mp3test::DecodeResult mono = mp3test::DecodeAll(bytes, 4096, 0, 0, 1);
        ASSERT_EQ(mono.pcm.size() * 2, stereo.pcm.size());
        EXPECT_EQ(mono.info.outputChannels, 1);
        EXPECT_EQ(mono.info.channels, 2);
        int worst = 0;
        for (size_t i = 0; i < mono.pcm.size(); ++i) {
            const double mean = (stereo.pcm[2 * i] + stereo.pcm[2 * i + 1]) / 2.0;
            worst = std::max(worst, static_cast<int>(std::abs(mono.pcm[i] - mean) + 0.5));
        }
        EXPECT_LE(worst, 2);
    }
}

// Downsampling keeps the lower subbands; a frame yields 1152 >> shift samples per channel
// and the output rate drops accordingly. The eight-bit option halves the bytes again.
TEST(Layer12Options, DownsamplingAndEightBitSizes) {
    const std::vector<uint8_t> bytes = Fixture("l2_44k_stereo_192k.mp2");
    const mp3test::DecodeResult full = mp3test::DecodeAll(bytes);
    struct Case {
        unsigned shift;
        unsigned eightBit;
        int rate;
        int bits;
    } cases[] = {{1, 0, 22050, 16}, {2, 0, 11025, 16}, {0, 1, 44100, 8}, {1, 1, 22050, 8}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "shift " << c.shift << " eightBit " << c.eightBit);
        const mp3test::DecodeResult r = mp3test::DecodeAll(bytes, 4096, c.shift, c.eightBit, 0);
        EXPECT_EQ(r.frames, full.frames);
        EXPECT_EQ(r.pcm.size(), full.pcm.size() >> c.shift);
        EXPECT_EQ(r.info.outputSampleRate, c.rate);
        EXPECT_EQ(r.info.bitsPerSample, c.bits);
    }
}

// A 4-bit signal at half rate: the shift-1 output must still carry the low-frequency
// content, close to the full-rate output taken at every second sample.
TEST(Layer12Options, HalfRateOutputFollowsFullRateSignal) {
    const std::vector<uint8_t> bytes = Fixture("l2_22k_stereo_64k_lsf.mp2");
    const mp3test::DecodeResult full = mp3test::DecodeAll(bytes);
    const mp3test::DecodeResult half = mp3test::DecodeAll(bytes, 4096, 1, 0, 0);
    ASSERT_EQ(half.pcm.size() * 2, full.pcm.size());
    double energy = 0.0;
    double error = 0.0;
    for (size_t f = 0; f < half.pcm.size() / 2; ++f) {
        for (int c = 0; c < 2; ++c) {
            const double a = full.pcm[4 * f + c];
            const double b = half.pcm[2 * f + c];
            energy += a * a;
            error += (a - b) * (a - b);
        }
    }
    // The upper half of the band is dropped; the rest matches. The fixture's energy is
    // mostly below a quarter of the rate, so the residue stays well under the signal.
    EXPECT_LT(error, 0.5 * energy);
}

}  // namespace

namespace {

class BitWriter {
public:
    void Put(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            if (used_ % 8 == 0) bytes_.push_back(0);
            if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> (used_ % 8));
            ++used_;
        }
    }
    std::vector<uint8_t> bytes_;
    int used_ = 0;
};

// One MPEG-1 Layer II frame, 44.1 kHz stereo 128 kbit/s (Table a, 27 subbands): only
// subband 0 of the left channel is allocated, with the 3-level grouped quantizer, scale
// factor 0, and every grouped code equal to `code`.
std::vector<uint8_t> GroupedFrame(uint32_t code) {
    const uint32_t word = mp3test::HeaderWord(3, 2, 8, 0);
    BitWriter w;
    w.Put(word, 32);
    const mp3::tables::L2AllocTable& table = mp3::tables::kL2AllocTables[0];
    int walk = 0;
    for (int sb = 0; sb < table.subbandLimit; ++sb) {
        const int width = table.entries[walk].first;
        if (sb == 0) {
            EXPECT_EQ(table.entries[walk + 1].second, 3) << "allocation 1 must be the 3-level quantizer";
        }
        w.Put(sb == 0 ? 1 : 0, width);  // left
        w.Put(0, width);                // right
        walk += 1 << width;
    }
    w.Put(2, 2);  // one scale factor for all three parts
    w.Put(0, 6);
    for (int granule = 0; granule < 12; ++granule)
        w.Put(code, 5);
    std::vector<uint8_t> frame = w.bytes_;
    frame.resize(417, 0);
    return frame;
}

}  // namespace

// A grouped code beyond the 27 entries of the 3-level table (possible in a 5-bit field of
// a corrupt frame) yields silence instead of a look-up past the table; code 26 is loud.
TEST(Layer2Decoding, GroupedCodeBeyondItsTableIsSilent) {
    for (uint32_t code : {26u, 27u, 31u}) {
        SCOPED_TRACE(code);
        std::vector<uint8_t> bytes;
        for (int i = 0; i < 4; ++i)
            mp3test::Append(bytes, GroupedFrame(code));
        const mp3test::DecodeResult r = mp3test::DecodeAll(bytes);
        ASSERT_EQ(r.frames, 4);
        int peak = 0;
        for (int16_t s : r.pcm)
            peak = std::max(peak, std::abs(static_cast<int>(s)));
        if (code < 27) {
            EXPECT_GT(peak, 1000);
        } else {
            EXPECT_EQ(peak, 0);
        }
    }
}
