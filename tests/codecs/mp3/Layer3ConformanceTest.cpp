// Layer III streams of the shared test material against reference PCM: the compliance
// streams with their own reference output, everything else against mpg123.
//
// Bound everywhere: RMS error <= 1 LSB and max error <= 2 LSB. The synthesis truncates
// toward zero where the references round, so about 0.7 LSB RMS and 1 LSB max is what a
// correct decode shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <dirent.h>
#include <string>
#include <vector>

#include "Layer3TestUtil.h"
#include "Mp3TestUtil.h"
#include "support/Env.h"
#include "support/Pcm.h"

namespace {

std::string VectorPath(const std::string& rel) { return zymtest::SharedDir() + "/vectors/mpeg-audio/" + rel; }

bool HaveVectors() {
    std::vector<uint8_t> probe;
    return !zymtest::SharedDir().empty() && zymtest::ReadFile(VectorPath("iso11172-4/l3-compl.bit"), probe);
}

#define REQUIRE_VECTORS() \
    if (!HaveVectors()) GTEST_SKIP() << "ZYM_SHARED_DIR has no vectors/mpeg-audio (conformance material absent)"

void ExpectWithinBound(const char* name, const zymtest::PcmDiff& d) {
    std::printf("%s: %zu samples, rms %.4f max %d\n", name, d.compared, d.rms, d.maxAbs);
    EXPECT_GT(d.compared, 0u) << name;
    EXPECT_LE(d.rms, 1.0) << name;
    EXPECT_LE(d.maxAbs, 2) << name;
}

struct ReferenceCase {
    const char* path;   // below vectors/mpeg-audio, without extension
    long offsetFrames;  // reference frame f matches our frame f + offset
};

class Layer3Conformance : public ::testing::TestWithParam<ReferenceCase> {};

TEST_P(Layer3Conformance, MatchesOwnReferencePcm) {
    REQUIRE_VECTORS();
    const std::string base = VectorPath(GetParam().path);
    std::vector<uint8_t> bits;
    ASSERT_TRUE(zymtest::ReadFile(base + ".bit", bits));
    std::vector<int16_t> reference;
    ASSERT_TRUE(zymtest::ReadRaw16(base + ".pcm", reference));

    const mp3test::DecodeResult r = mp3test::DecodeAll(bits);
    ASSERT_TRUE(r.sawInfo);
    EXPECT_EQ(r.info.layer, 3);
    const int channels = r.info.channels;
    const long offset = GetParam().offsetFrames;
    const zymtest::PcmDiff d = zymtest::Compare(r.pcm, reference, channels, offset);
    ExpectWithinBound(GetParam().path, d);
    // Everything the reference holds is decoded (apart from the frames the offset skips).
    EXPECT_GE(d.compared + static_cast<size_t>(std::max(0L, offset) * channels), reference.size());
}

INSTANTIATE_TEST_SUITE_P(
    Streams, Layer3Conformance,
    ::testing::Values(ReferenceCase{"iso11172-4/l3-compl", 0}, ReferenceCase{"iso11172-4/l3-he_32khz", 0},
                      ReferenceCase{"iso11172-4/l3-he_44khz", 0}, ReferenceCase{"iso11172-4/l3-he_48khz", 0},
                      ReferenceCase{"iso11172-4/l3-hecommon", 0}, ReferenceCase{"iso11172-4/l3-si", 0},
                      ReferenceCase{"iso11172-4/l3-si_block", 0}, ReferenceCase{"iso11172-4/l3-si_huff", 0},
                      // The reference starts two frames (2 x 1152 samples) later.
                      ReferenceCase{"iso11172-4/l3-sin1k0db", -2 * 1152},
                      ReferenceCase{"mpeg2-lsf/M2L3_bitrate_16_all", 0},
                      ReferenceCase{"mpeg2-lsf/M2L3_bitrate_22_all", 0},
                      ReferenceCase{"mpeg2-lsf/M2L3_bitrate_24_all", 0}, ReferenceCase{"mpeg2-lsf/M2L3_compl24", 0},
                      ReferenceCase{"mpeg2-lsf/M2L3_noise", 0}),
    [](const ::testing::TestParamInfo<ReferenceCase>& info) {
        std::string name = info.param.path;
        name = name.substr(name.find('/') + 1);
        std::replace_if(
            name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
        return name;
    });

// The channel count changes from frame to frame; both outputs follow it, so the
// interleaved samples line up one for one.
TEST(Layer3ConformanceModes, ChannelCountChangingPerFrameMatchesReference) {
    REQUIRE_VECTORS();
    std::vector<uint8_t> bits;
    ASSERT_TRUE(zymtest::ReadFile(VectorPath("iso11172-4/l3-he_mode.bit"), bits));
    std::vector<int16_t> reference;
    ASSERT_TRUE(zymtest::ReadRaw16(VectorPath("iso11172-4/l3-he_mode.pcm"), reference));
    const mp3test::DecodeResult r = mp3test::DecodeAll(bits);
    ASSERT_EQ(r.pcm.size(), reference.size());
    ExpectWithinBound("l3-he_mode", zymtest::Compare(r.pcm, reference, 1, 0));
}

// Two LSF streams full of intensity stereo whose reference output is disputed (no decoder
// matches it everywhere). Frame by frame, nearly all of them must still match it: a
// decoder that mishandles LSF intensity positions or where the intensity region starts
// misses most frames. What remains are frames in which only the top band is intensity
// coded.
TEST(Layer3ConformanceIntensity, LsfIntensityStreamsMatchReferenceInNearlyAllFrames) {
    REQUIRE_VECTORS();
    for (const char* name : {"mpeg2-lsf/l3-test45", "mpeg2-lsf/l3-test46"}) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> bits;
        ASSERT_TRUE(zymtest::ReadFile(VectorPath(name) + ".bit", bits));
        std::vector<int16_t> reference;
        ASSERT_TRUE(zymtest::ReadRaw16(VectorPath(name) + ".pcm", reference));
        const mp3test::DecodeResult r = mp3test::DecodeAll(bits);
        ASSERT_EQ(r.info.channels, 2);
        ASSERT_EQ(r.pcm.size(), reference.size());
        const size_t frameSamples = 576 * 2;
        size_t good = 0;
        const size_t frames = r.pcm.size() / frameSamples;
        for (size_t f = 0; f < frames; ++f) {
            int worst = 0;
            for (size_t i = f * frameSamples; i < (f + 1) * frameSamples; ++i)
                worst = std::max(worst, std::abs(r.pcm[i] - reference[i]));
            if (worst <= 2) ++good;
        }
        std::printf("%s: %zu of %zu frames within 2 LSB\n", name, good, frames);
        EXPECT_GE(good * 100, frames * 85);
    }
}

class Layer3ConformanceMpg123 : public ::testing::TestWithParam<const char*> {};

TEST_P(Layer3ConformanceMpg123, MatchesMpg123) {
    REQUIRE_VECTORS();
    if (!zymtest::HaveProgram("mpg123")) GTEST_SKIP() << "mpg123 is not installed";
    const std::string path = VectorPath(GetParam());
    std::vector<uint8_t> bits;
    ASSERT_TRUE(zymtest::ReadFile(path, bits));
    const mp3test::DecodeResult r = mp3test::DecodeAll(bits);
    ASSERT_TRUE(r.sawInfo);
    std::vector<int16_t> reference;
    ASSERT_TRUE(l3test::DecodeWithMpg123Raw(path, reference));
    const int granule = r.info.version == 0 ? 1152 : 576;
    const zymtest::PcmDiff d = l3test::CompareAligned(r.pcm, reference, r.info.channels, granule);
    ExpectWithinBound(GetParam(), d);
    // At most the tag frame and the last frame may go unmatched.
    EXPECT_GE(d.compared + static_cast<size_t>(2 * granule * r.info.channels), reference.size());
}

INSTANTIATE_TEST_SUITE_P(
    Streams, Layer3ConformanceMpg123,
    ::testing::Values(
        "mpeg25/lazka_mono_16k_lame_3.88_preset_phone.mp3", "mpeg25/lazka_mono_16k_lame_3.93.1_preset_phone.mp3",
        "mpeg25/lazka_stereo_16k_lame_3.92_alt_preset_32.mp3", "mpeg25/lazka_stereo_16k_lame_3.93.1_b_32.mp3",
        "generated/lsf_l3_16k_mono_8k_lame.mp3", "generated/lsf_l3_22k_joint_64k_crc_lame.mp3",
        "generated/lsf_l3_24k_joint_160k_lame.mp3", "generated/mpeg25_l3_11k_joint_24k_crc_lame.mp3",
        "generated/mpeg25_l3_12k_joint_32k_cbr_noxing_lame.mp3", "generated/mpeg25_l3_12k_joint_vbr_xing_lame.mp3",
        "generated/mpeg25_l3_8k_mono_8k_cbr_lame.mp3", "generated/mpeg25_l3_8k_stereo_32k_cbr_lame.mp3",
        "mpeg2-lsf/lazka_mono_16k_helix_5.1_vbr_50.mp3", "mpeg2-lsf/lazka_stereo_16k_helix_5.1_vbr_100.mp3"),
    [](const ::testing::TestParamInfo<const char*>& info) {
        std::string name = info.param;
        name = name.substr(name.find('/') + 1);
        std::replace_if(
            name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
        return name;
    });

std::vector<std::string> ListFiles(const std::string& dir) {
    std::vector<std::string> files;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > 4 && (name.ends_with(".bit") || name.ends_with(".mp3"))) files.push_back(name);
        }
        closedir(d);
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Illegal and odd streams (wrong CRC and lengths, tags, corrupted side information, free
// format, streams every decoder disagrees on): the decoder must end each of them without
// a fault, in whole chunks and fed one byte at a time.
TEST(Layer3ConformanceSurvival, IllegalAndNonstandardStreamsEndCleanly) {
    REQUIRE_VECTORS();
    std::vector<std::string> paths;
    for (const std::string& f : ListFiles(VectorPath("illegal-and-nonstandard")))
        paths.push_back(VectorPath("illegal-and-nonstandard/" + f));
    for (const char* f : {"mpeg2-lsf/l3-test45.bit", "mpeg2-lsf/l3-test46.bit", "iso11172-4/l3-he_free.bit",
                          "mpeg25/mutagen_silence-44-s-mpeg25.mp3", "mpeg2-lsf/mutagen_silence-44-s-mpeg2.mp3"})
        paths.push_back(VectorPath(f));
    ASSERT_GT(paths.size(), 10u);
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        std::vector<uint8_t> bits;
        ASSERT_TRUE(zymtest::ReadFile(path, bits));
        for (size_t chunk : {size_t{4096}, size_t{1}}) {
            const mp3test::DecodeResult r = mp3test::DecodeAll(bits, chunk);
            ASSERT_FALSE(r.statuses.empty());
            EXPECT_EQ(r.statuses.back(), 0x81010004u) << "did not reach the end of the stream";
            // Every frame yields exactly its PCM, whatever the status.
            if (r.sawInfo && r.info.layer == 3) {
                EXPECT_EQ(r.pcm.size() % static_cast<size_t>(r.info.version == 0 ? 1152 : 576), 0u);
            }
        }
    }
}

}  // namespace
