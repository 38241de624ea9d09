// Spectral band replication through the public handle, judged against ffmpeg's decode of
// the ISO conformance streams: output rate, channel count and SNR per channel.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "AacTestUtil.h"
#include "support/Pcm.h"

namespace {

struct Decoded {
    std::vector<int16_t> pcm;
    int sampleRate = 0;
    int channels = 0;
    int errors = 0;
};

Decoded decode(const std::vector<uint8_t>& data, int sbrDownsampleRate = 0, int maxFrames = 1 << 30) {
    aacPlusConfig c = aactest::configWithChannels(6, 1);
    c.sbrDownsampleRate = sbrDownsampleRate;
    const aactest::Pcm16Run run = aactest::decodeToInt16(data, c, maxFrames);
    Decoded d;
    d.pcm = run.pcm;
    d.errors = run.errors;
    if (!run.infos.empty()) {
        const aacPlusStreamInfo& info = run.infos.back();
        const aacPlusProgramInfo& p = info.programs[info.currentProgram];
        d.sampleRate = p.sampleRate;
        d.channels = p.outputChannels;
    }
    return d;
}

// SNR in dB of `ours` channel c against reference channel rc, frames [from, to).
double snr(const std::vector<int16_t>& ours, int oc, int c, const std::vector<int16_t>& ref, int rc, int r, size_t from,
           size_t to) {
    double signal = 0, noise = 0;
    for (size_t i = from; i < to; ++i) {
        const double y = ref[i * size_t(rc) + size_t(r)];
        const double d = double(ours[i * size_t(oc) + size_t(c)]) - y;
        signal += y * y;
        noise += d * d;
    }
    return 10.0 * std::log10(std::max(signal, 1.0) / std::max(noise, 1e-9));
}

struct SbrCase {
    const char* name;
    const char* stream;     // under vectors/aac/
    const char* reference;  // what ffmpeg decodes (the same stream, or its MP4 twin)
    int sbrDownsampleRate;
    int rate;
    int channels;
    int referenceChannel[6];  // our channel c is ffmpeg's channel referenceChannel[c]
};

// ffmpeg names the 5.1 program of al_sbr_cm_48_5.1 (centre, two front pairs, LFE) FL FR FC
// LFE FLC FRC; we lay six channels out as L R C LFE Ls Rs from the element order, so its
// first front pair is our L/R and ffmpeg's FLC/FRC.
const SbrCase kCases[] = {
    {"stereo_48k", "iso14496-4/al_sbr_cm_48_2.adts.aac", "iso14496-4/al_sbr_cm_48_2.adts.aac", 0, 48000, 2, {0, 1}},
    {"surround_48k",
     "iso14496-4/al_sbr_cm_48_5.1.adts.aac",
     "iso14496-4/al_sbr_cm_48_5.1.adts.aac",
     0,
     48000,
     6,
     {4, 5, 2, 3, 0, 1}},
    {"core_48k_to_96k",
     "iso14496-4/al_sbr_sr_48_2_fsaac48.adts.aac",
     "iso14496-4/al_sbr_sr_48_2_fsaac48.adts.aac",
     0,
     96000,
     2,
     {0, 1}},
    // Downsampled SBR: the MP4 twin signals it, the ADTS copy cannot; we ask for it.
    {"downsampled_48k",
     "iso14496-4/al_sbr_sr_48_2_fsaac48.adts.aac",
     "iso14496-4/al_sbr_sr_48_2_fsaac48.mp4",
     48000,
     48000,
     2,
     {0, 1}},
    {"loas_48k", "latm-loas/latm_000000001180bc60.loas", "latm-loas/latm_000000001180bc60.loas", 0, 48000, 2, {0, 1}},
};

class SbrConformance : public ::testing::TestWithParam<SbrCase> {};

TEST_P(SbrConformance, MatchesFfmpeg) {
    const SbrCase& c = GetParam();
    if (aactest::vectors().empty()) GTEST_SKIP() << "ZYM_SHARED_DIR not set: no conformance vectors";
    if (!aactest::haveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    const Decoded ours = decode(aactest::readFile(aactest::vectors() + c.stream), c.sbrDownsampleRate);
    zymtest::Pcm ref;
    ASSERT_TRUE(zymtest::DecodeWithFfmpeg(aactest::vectors() + c.reference, ref));
    EXPECT_EQ(ours.errors, 0);
    EXPECT_EQ(ours.sampleRate, c.rate);
    ASSERT_EQ(ours.channels, c.channels);
    ASSERT_EQ(ref.channels, c.channels);
    EXPECT_EQ(ref.sampleRate, c.rate);
    const size_t frames = std::min(ours.pcm.size() / size_t(c.channels), ref.Frames());
    // Both decoders give the whole stream, sample-aligned.
    EXPECT_GE(frames, ref.Frames() - 2048);
    for (int ch = 0; ch < c.channels; ++ch)
        EXPECT_GE(snr(ours.pcm, c.channels, ch, ref.samples, c.channels, c.referenceChannel[ch], 0, frames), 70.0)
            << "channel " << ch;
}

INSTANTIATE_TEST_SUITE_P(Streams, SbrConformance, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<SbrCase>& i) { return std::string(i.param.name); });

// Before its first SBR header a parametric stereo stream plays its core through the QMF
// banks: twice the core rate, the upper half empty, the mono channel on both outputs.
TEST(SbrConformanceBeforeHeader, CoreUpsampledUntilTheFirstHeader) {
    if (aactest::vectors().empty()) GTEST_SKIP() << "ZYM_SHARED_DIR not set: no conformance vectors";
    if (!aactest::haveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    // The first header of al_sbr_ps_06_new arrives in frame 106.
    const std::string path = aactest::vectors() + "iso14496-4/al_sbr_ps_06_new.adts.aac";
    const Decoded ours = decode(aactest::readFile(path), 0, 106);
    zymtest::Pcm ref;
    ASSERT_TRUE(zymtest::DecodeWithFfmpeg(path, ref));
    EXPECT_EQ(ours.sampleRate, 32000);
    ASSERT_EQ(ours.channels, 2);
    const size_t frames = ours.pcm.size() / 2;
    ASSERT_EQ(frames, size_t(106 * 2048));
    for (size_t i = 0; i < frames; ++i)
        ASSERT_EQ(ours.pcm[2 * i], ours.pcm[2 * i + 1]) << i;
    EXPECT_GE(snr(ours.pcm, 2, 0, ref.samples, 2, 0, 0, frames), 70.0);
    EXPECT_GE(snr(ours.pcm, 2, 1, ref.samples, 2, 1, 0, frames), 70.0);
}

}  // namespace
