// Layer I and II streams against reference PCM: the ISO compliance streams with their
// own reference output, and the shared generated LSF streams against mpg123.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "Mp3TestUtil.h"
#include "support/Env.h"
#include "support/Pcm.h"

namespace {

std::string VectorPath(const std::string& rel) { return zymtest::SharedDir() + "/vectors/mpeg-audio/" + rel; }

bool HaveVectors() {
    std::vector<uint8_t> probe;
    return !zymtest::SharedDir().empty() && zymtest::ReadFile(VectorPath("iso11172-4/l1-fl1.bit"), probe);
}

struct IsoCase {
    const char* name;
};

class Mp3Layer12Conformance : public ::testing::TestWithParam<IsoCase> {};

// Bound: RMS error <= 1 LSB and max error <= 2 LSB over the decoded length (the
// references are padded past the end of the audio).
TEST_P(Mp3Layer12Conformance, MatchesIsoReference) {
    if (!HaveVectors()) GTEST_SKIP() << "ZYM_SHARED_DIR has no vectors/mpeg-audio (conformance material absent)";
    const std::string base = VectorPath(std::string("iso11172-4/") + GetParam().name);
    std::vector<uint8_t> bits;
    ASSERT_TRUE(zymtest::ReadFile(base + ".bit", bits));
    std::vector<int16_t> reference;
    ASSERT_TRUE(zymtest::ReadRaw16(base + ".pcm", reference));

    const mp3test::DecodeResult r = mp3test::DecodeAll(bits);
    ASSERT_TRUE(r.sawInfo);
    const int channels = r.info.channels;
    ASSERT_GT(r.pcm.size(), 0u);
    ASSERT_LE(r.pcm.size(), reference.size()) << "decoded more than the reference holds";
    const zymtest::PcmDiff d = zymtest::Compare(r.pcm, reference, channels, 0);
    RecordProperty("rms", std::to_string(d.rms));
    RecordProperty("max", std::to_string(d.maxAbs));
    std::printf("%s: %d frames, %zu samples, rms %.4f max %d\n", GetParam().name, r.frames, d.compared, d.rms,
                d.maxAbs);
    EXPECT_EQ(d.compared, r.pcm.size());
    EXPECT_LE(d.rms, 1.0);
    EXPECT_LE(d.maxAbs, 2);
}

INSTANTIATE_TEST_SUITE_P(Iso, Mp3Layer12Conformance,
                         ::testing::Values(IsoCase{"l1-fl1"}, IsoCase{"l1-fl2"}, IsoCase{"l1-fl3"}, IsoCase{"l1-fl4"},
                                           IsoCase{"l1-fl5"}, IsoCase{"l1-fl6"}, IsoCase{"l1-fl7"}, IsoCase{"l1-fl8"},
                                           IsoCase{"l2-fl10"}, IsoCase{"l2-fl11"}, IsoCase{"l2-fl12"},
                                           IsoCase{"l2-fl13"}, IsoCase{"l2-fl14"}, IsoCase{"l2-fl15"},
                                           IsoCase{"l2-fl16"}, IsoCase{"l2-test32"}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });

// The shared generated Layer I and II streams (LSF Layer I from a bitstream generator,
// twolame and ffmpeg Layer II with CRC, padding, dual channel, joint stereo) against
// mpg123. Bound: RMS <= 1 LSB, max <= 2 LSB, same length, sample-aligned.
class Mp3GeneratedLayer12Conformance : public ::testing::TestWithParam<IsoCase> {};

TEST_P(Mp3GeneratedLayer12Conformance, MatchesMpg123) {
    if (!HaveVectors()) GTEST_SKIP() << "ZYM_SHARED_DIR has no vectors/mpeg-audio (conformance material absent)";
    const std::string path = VectorPath(std::string("generated/") + GetParam().name);
    zymtest::Pcm ref;
    if (!zymtest::DecodeWithMpg123(path, ref)) GTEST_SKIP() << "mpg123 not available";
    std::vector<uint8_t> bits;
    ASSERT_TRUE(zymtest::ReadFile(path, bits));
    const mp3test::DecodeResult r = mp3test::DecodeAll(bits);
    ASSERT_TRUE(r.sawInfo);
    ASSERT_EQ(r.info.channels, ref.channels);
    EXPECT_EQ(r.info.sampleRate, ref.sampleRate);
    EXPECT_EQ(r.pcm.size(), ref.samples.size());
    const zymtest::PcmDiff d = zymtest::Compare(r.pcm, ref.samples, ref.channels, 0);
    std::printf("%s: %d frames, rms %.4f max %d\n", GetParam().name, r.frames, d.rms, d.maxAbs);
    EXPECT_LE(d.rms, 1.0);
    EXPECT_LE(d.maxAbs, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Generated, Mp3GeneratedLayer12Conformance,
    ::testing::Values(IsoCase{"lsf_l1_16k_mono_32k_synthetic.mp1"},
                      IsoCase{"lsf_l1_22k_stereo_64k_padding_synthetic.mp1"},
                      IsoCase{"lsf_l1_24k_dual_256k_synthetic.mp1"},
                      IsoCase{"lsf_l1_24k_joint_bound8_96k_crc_synthetic.mp1"},
                      IsoCase{"mpeg1_l1_44k_joint_bound4_384k_crc_synthetic.mp1"},
                      IsoCase{"lsf_l2_16k_mono_32k_ffmpeg.mp2"}, IsoCase{"lsf_l2_16k_mono_8k_twolame.mp2"},
                      IsoCase{"lsf_l2_22k_stereo_48k_padding_twolame.mp2"}, IsoCase{"lsf_l2_22k_stereo_64k_ffmpeg.mp2"},
                      IsoCase{"lsf_l2_24k_dual_160k_twolame.mp2"}, IsoCase{"lsf_l2_24k_joint_64k_crc_twolame.mp2"},
                      IsoCase{"lsf_l2_24k_stereo_96k_ffmpeg.mp2"}, IsoCase{"mpeg1_l2_44k_joint_192k_crc_twolame.mp2"}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& c : n) {
            if (!isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return n;
    });

// The mono option on a two-channel Layer I stream: the output is the mean of the
// channels within the truncation of both decodes.
TEST(Mp3Layer12Conformance, LayerOneMonoOptionYieldsMeanOfChannels) {
    if (!HaveVectors()) GTEST_SKIP() << "ZYM_SHARED_DIR has no vectors/mpeg-audio (conformance material absent)";
    std::vector<uint8_t> bits;
    ASSERT_TRUE(zymtest::ReadFile(VectorPath("iso11172-4/l1-fl1.bit"), bits));
    const mp3test::DecodeResult stereo = mp3test::DecodeAll(bits);
    const mp3test::DecodeResult mono = mp3test::DecodeAll(bits, 4096, 0, 0, 1);
    ASSERT_EQ(stereo.info.channels, 2);
    ASSERT_EQ(mono.pcm.size() * 2, stereo.pcm.size());
    EXPECT_EQ(mono.pcm.size(), static_cast<size_t>(mono.frames) * 384);
    int worst = 0;
    for (size_t i = 0; i < mono.pcm.size(); ++i) {
        const double mean = (stereo.pcm[2 * i] + stereo.pcm[2 * i + 1]) / 2.0;
        worst = std::max(worst, static_cast<int>(std::abs(mono.pcm[i] - mean) + 0.5));
    }
    EXPECT_LE(worst, 2);
}

// Free-format streams are refused: the decoder finds no frame and says the stream ended.
TEST(Mp3Layer12Conformance, FreeFormatStreamsAreRefused) {
    if (!HaveVectors()) GTEST_SKIP() << "ZYM_SHARED_DIR has no vectors/mpeg-audio (conformance material absent)";
    for (const char* name :
         {"generated/lsf_l2_24k_freeformat_twolame.mp2", "generated/mpeg1_l2_44k_freeformat_twolame.mp2",
          "illegal-and-nonstandard/l2-nonstandard-free_format.bit"}) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> bits;
        ASSERT_TRUE(zymtest::ReadFile(VectorPath(name), bits));
        const mp3test::DecodeResult r = mp3test::DecodeAll(bits);
        EXPECT_EQ(r.frames, 0);
        EXPECT_EQ(r.statuses.back(), 0x81010004u);
    }
}

// Illegal and odd streams: every one decodes to its end, fed whole or a few bytes at a
// time, without reading or writing outside a buffer (the sanitizers watch).
TEST(Mp3Layer12Conformance, IllegalStreamsAreSurvived) {
    if (!HaveVectors()) GTEST_SKIP() << "ZYM_SHARED_DIR has no vectors/mpeg-audio (conformance material absent)";
    const char* names[] = {"ILL2_center2",
                           "ILL2_dual",
                           "ILL2_dynx22",
                           "ILL2_dynx31",
                           "ILL2_dynx32",
                           "ILL2_ext_switching",
                           "ILL2_layer1",
                           "ILL2_layer3",
                           "ILL2_mono",
                           "ILL2_multilingual",
                           "ILL2_overalloc1",
                           "ILL2_overalloc2",
                           "ILL2_prediction",
                           "ILL2_samples",
                           "ILL2_scf63",
                           "ILL2_tca21",
                           "ILL2_tca30",
                           "ILL2_tca30_PC",
                           "ILL2_tca31_PC",
                           "ILL2_tca31_mtx0",
                           "ILL2_tca31_mtx2",
                           "ILL2_tca32_PC",
                           "ILL2_wrongcrc",
                           "ILL4_ext_id1",
                           "ILL4_sync",
                           "ILL4_wrong_length1",
                           "ILL4_wrong_length2",
                           "ILL4_wrongcrc",
                           "l2-nonstandard-fl1_fl2_ff",
                           "l2-nonstandard-test32-size",
                           "l3-nonstandard-small",
                           "l3-nonstandard-sideinfo-size",
                           "l3-nonstandard-id3v2-only"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> bits;
        ASSERT_TRUE(zymtest::ReadFile(VectorPath(std::string("illegal-and-nonstandard/") + name + ".bit"), bits));
        for (size_t chunk : {size_t{4096}, size_t{7}}) {
            const mp3test::DecodeResult r = mp3test::DecodeAll(bits, chunk);
            EXPECT_EQ(r.statuses.back(), 0x81010004u);
            if (r.sawInfo) {
                EXPECT_EQ(r.pcm.size() % static_cast<size_t>(r.info.outputChannels), 0u);
            }
        }
    }
}

// The reserved scale factor 63 silences its samples rather than scaling them by an
// undefined factor: the stream's output stays far below full scale.
TEST(Mp3Layer12Conformance, ScaleFactor63IsSilent) {
    if (!HaveVectors()) GTEST_SKIP() << "ZYM_SHARED_DIR has no vectors/mpeg-audio (conformance material absent)";
    std::vector<uint8_t> bits;
    ASSERT_TRUE(zymtest::ReadFile(VectorPath("illegal-and-nonstandard/ILL2_scf63.bit"), bits));
    const mp3test::DecodeResult r = mp3test::DecodeAll(bits);
    ASSERT_GT(r.frames, 0);
    int peak = 0;
    for (int16_t s : r.pcm)
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_LT(peak, 32767);
}

}  // namespace
