// The element decoder behind the public handle: PCM against ffmpeg, a stream that changes
// its configuration, refused coupling channel elements, data stream elements.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "AacTestUtil.h"
#include "CoreHarness.h"
#include "support/Pcm.h"

namespace {

using HandleRun = aactest::Pcm16Run;

HandleRun decodeWithHandle(const std::vector<uint8_t>& data, int channels, int concealment = 0) {
    aacPlusConfig c = aactest::configWithChannels(channels, 1);
    c.concealment = concealment;
    return aactest::decodeToInt16(data, c);
}

TEST(HandleDecodeTest, StereoStreamMatchesFfmpeg) {
    if (!aactest::haveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    const std::string path = aactest::fixturePath("lc_ms_44k.adts");
    const HandleRun run = decodeWithHandle(aactest::readFile(path), 2);
    EXPECT_EQ(run.errors, 0);
    ASSERT_FALSE(run.infos.empty());
    const aacPlusProgramInfo& p = run.infos.back().programs[run.infos.back().currentProgram];
    EXPECT_EQ(p.sampleRate, 44100);
    EXPECT_EQ(p.outputChannels, 2);
    zymtest::Pcm ref;
    ASSERT_TRUE(zymtest::DecodeWithFfmpeg(path, ref));
    const long offset = zymtest::FindOffset(run.pcm, ref.samples, 2, 2048, 8192);
    const zymtest::PcmDiff d = zymtest::Compare(run.pcm, ref.samples, 2, offset);
    EXPECT_EQ(offset, 0);
    EXPECT_GT(d.compared, size_t(100000));
    EXPECT_LE(d.rms, 0.5);
    EXPECT_LE(d.maxAbs, 2);
}

struct Switch {
    size_t firstFrames = 0;
    size_t secondFrames = 0;
    HandleRun run;
};

Switch decodeSwitch(const char* first, const char* second, int channels) {
    Switch sw;
    std::vector<uint8_t> data = aactest::readFile(aactest::fixturePath(first));
    const std::vector<uint8_t> tail = aactest::readFile(aactest::fixturePath(second));
    EXPECT_FALSE(data.empty());
    EXPECT_FALSE(tail.empty());
    sw.firstFrames = aactest::adtsFrames(data).size();
    sw.secondFrames = aactest::adtsFrames(tail).size();
    data.insert(data.end(), tail.begin(), tail.end());
    sw.run = decodeWithHandle(data, channels);
    return sw;
}

// 44.1 kHz stereo followed by 48 kHz stereo: every frame carries its rate, so the new
// frames decode at once with the new band tables.
TEST(HandleDecodeTest, RateChangeWithinAStreamDecodesAtTheNewRate) {
    const Switch sw = decodeSwitch("lc_ms_44k.adts", "lc_stereo_48k.adts", 2);
    EXPECT_EQ(sw.run.errors, 0);
    EXPECT_EQ(sw.run.infos.size(), sw.firstFrames + sw.secondFrames);
    size_t at48k = 0;
    for (const aacPlusStreamInfo& info : sw.run.infos)
        at48k += info.programs[info.currentProgram].sampleRate == 48000 && info.state != 3;
    EXPECT_EQ(at48k, sw.secondFrames);
}

// Stereo followed by 5.1: the first frames of the new layout are concealed (faded to
// silence), then the decoder starts over with the new layout instead of muting for the
// rest of the stream.
TEST(HandleDecodeTest, ChannelChangeIsConcealedThenDecodedAfresh) {
    const Switch sw = decodeSwitch("lc_ms_44k.adts", "lc_51_48k.adts", 6);
    EXPECT_EQ(sw.run.errors, 0);
    size_t concealed = 0, surround = 0;
    for (const aacPlusStreamInfo& info : sw.run.infos) {
        const aacPlusProgramInfo& p = info.programs[info.currentProgram];
        concealed += info.state == 3;
        surround += p.outputChannels == 6 && info.state != 3;
    }
    EXPECT_EQ(concealed, 5u);
    // One frame is spent on starting over.
    EXPECT_EQ(surround, sw.secondFrames - 5 - 1);
    EXPECT_EQ(sw.run.infos.size(), sw.firstFrames + sw.secondFrames - 1);
}

// Coupling channel elements are refused (not skipped): an ISO stream that carries them
// decodes no frame, the rest of the frames' elements are never played wrongly mixed.
TEST(HandleDecodeTest, CouplingChannelElementIsRefusedConformance) {
    if (aactest::vectors().empty()) GTEST_SKIP() << "ZYM_SHARED_DIR not set: no conformance vectors";
    const std::vector<uint8_t> file = aactest::readFile(aactest::vectors() + "iso14496-4/al15_44.adts.aac");
    if (file.empty()) GTEST_SKIP() << "al15_44 missing";
    const aactest::CoreRun run = aactest::decodeCore(file);
    ASSERT_FALSE(run.statuses.empty());
    for (int s : run.statuses)
        EXPECT_EQ(s, 0x1004);
}

}  // namespace
