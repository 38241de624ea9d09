// Channel mode, speaker order and downmix.
#include <gtest/gtest.h>

#include <vector>

#include "AacTestUtil.h"
#include "codecs/aacplus/ChannelMapping.h"

using namespace aacplus;

TEST(AacPlusChannelMapping, LayoutTable) {
    struct Case {
        int channels, singles, pairs;
        bool ps;
        int mode;
        uint32_t mask;
        std::vector<uint8_t> map;
        int front, back, lfe;
    } cases[] = {
        {1, 1, 0, false, 1, 0x4, {0}, 1, 0, 0},
        {2, 0, 1, false, 2, 0x3, {0, 1}, 2, 0, 0},
        {2, 2, 0, false, 4, 0x3, {0, 1}, 2, 0, 0},
        {2, 1, 0, true, 3, 0x3, {0, 1}, 2, 0, 0},
        {2, 1, 0, false, 1, 0x3, {0, 1}, 2, 0, 0},
        {2, 0, 0, false, 0, 0x3, {0, 1}, 2, 0, 0},
        {3, 1, 1, false, 0, 0x7, {2, 0, 1}, 3, 0, 0},
        {4, 0, 2, false, 5, 0x33, {0, 1, 2, 3}, 2, 2, 0},
        {4, 2, 1, false, 6, 0x107, {2, 0, 1, 3}, 3, 1, 0},
        {5, 1, 2, false, 7, 0x37, {2, 0, 1, 3, 4}, 3, 2, 0},
        {6, 1, 2, false, 8, 0x3F, {2, 0, 1, 4, 5, 3}, 3, 2, 1},
        {7, 2, 2, false, 9, 0x13F, {2, 0, 1, 4, 5, 6, 3}, 3, 3, 1},
        {8, 1, 3, false, 10, 0xFF, {2, 0, 1, 6, 7, 4, 5, 3}, 5, 2, 1},
    };
    for (const Case& c : cases) {
        const ChannelLayout l = channelLayout(c.channels, c.singles, c.pairs, c.ps);
        EXPECT_EQ(l.mode, c.mode) << c.channels;
        EXPECT_EQ(l.mask, c.mask) << c.channels;
        EXPECT_TRUE(l.reorder);
        EXPECT_EQ(std::vector<uint8_t>(l.map, l.map + c.channels), c.map) << c.channels;
        EXPECT_EQ(l.front, c.front);
        EXPECT_EQ(l.back, c.back);
        EXPECT_EQ(l.lfe, c.lfe);
    }
    for (int channels : {0, 9}) {
        const ChannelLayout l = channelLayout(channels, 0, 0, false);
        EXPECT_EQ(l.mode, 0);
        EXPECT_FALSE(l.reorder);
        EXPECT_FALSE(l.maskChanged);
        EXPECT_FALSE(l.countsChanged);
    }
}

TEST(AacPlusChannelMapping, DownmixDecision) {
    struct Case {
        int mode, channels;
        int kind, outputs;
    } cases[] = {
        {0, 6, kDownmixNone, 6},        {1, 6, kDownmixSixToMono, 1},    {1, 5, kDownmixFiveToMono, 1},
        {2, 6, kDownmixSixToStereo, 2}, {2, 5, kDownmixFiveToStereo, 2}, {2, 4, kDownmixNone, 4},
        {1, 2, kDownmixNone, 2},
    };
    for (const Case& c : cases) {
        DecoderStreamInfo info;
        aacPlusProgramInfo& p = info.current();
        p.numChannels = c.channels;
        decideDownmix(info, p, c.mode);
        EXPECT_EQ(info.downmixKind, c.kind) << c.mode << "/" << c.channels;
        EXPECT_EQ(p.outputChannels, c.outputs);
        // Decided once: a later program does not change it.
        p.numChannels = 1;
        decideDownmix(info, p, c.mode);
        EXPECT_EQ(p.outputChannels, c.outputs);
    }
}

// Every downmix kind and variant against the formula, one sample frame of distinct values
// in decoded order C, L, R, Ls, Rs, LFE.
TEST(AacPlusChannelMapping, DownmixFormulas) {
    const float c = 1000, l = 2000, r = -3000, ls = 400, rs = -500, lfe = 7000;
    const float centre[4] = {0.292893f, 0.320377f, 0.343146f, 0.414214f};
    const float front[4] = {0.414214f, 0.453082f, 0.485281f, 0.585786f};
    const float surround[4] = {0.292893f, 0.226541f, 0.171573f, 0.0f};
    const float monoFront[4] = {0.226541f, 0.25f, 0.269752f, 0.333333f};
    const float monoSurround[4] = {0.160189f, 0.125f, 0.095372f, 0.0f};
    for (int v = 0; v < 4; ++v) {
        for (int channels : {5, 6}) {
            float frame[12] = {c, l, r, ls, rs, lfe, c, l, r, ls, rs, lfe};
            if (channels == 5) std::copy(frame + 6, frame + 11, frame + 5);
            reorderOrDownmix(frame, 2, channels, 2, channels == 6 ? kDownmixSixToStereo : kDownmixFiveToStereo, v,
                             nullptr);
            const float wantL = centre[v] * c + front[v] * l + surround[v] * ls;
            const float wantR = centre[v] * c + front[v] * r + surround[v] * rs;
            for (int f = 0; f < 2; ++f) {
                EXPECT_NEAR(frame[2 * f], wantL, 1e-2) << v << "/" << channels;
                EXPECT_NEAR(frame[2 * f + 1], wantR, 1e-2) << v << "/" << channels;
            }

            float mono[12] = {c, l, r, ls, rs, lfe, c, l, r, ls, rs, lfe};
            if (channels == 5) std::copy(mono + 6, mono + 11, mono + 5);
            reorderOrDownmix(mono, 2, channels, 1, channels == 6 ? kDownmixSixToMono : kDownmixFiveToMono, v, nullptr);
            const float want = monoFront[v] * (c + l + r) + monoSurround[v] * (ls + rs);
            EXPECT_NEAR(mono[0], want, 1e-2) << v << "/" << channels;
            EXPECT_NEAR(mono[1], want, 1e-2) << v << "/" << channels;
        }
    }
}

TEST(AacPlusChannelMapping, ReorderPutsLeftRightCentreFirst) {
    float six[6] = {1, 2, 3, 4, 5, 6};  // C L R Ls Rs LFE
    const ChannelLayout l6 = channelLayout(6, 1, 2, false);
    reorderOrDownmix(six, 1, 6, 6, kDownmixNone, 0, l6.map);
    const float want6[6] = {2, 3, 1, 6, 4, 5};  // L R C LFE Ls Rs
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(six[i], want6[i]) << i;

    float three[6] = {1, 2, 3, 1, 2, 3};  // two frames of C L R
    const ChannelLayout l3 = channelLayout(3, 1, 1, false);
    reorderOrDownmix(three, 2, 3, 3, kDownmixNone, 0, l3.map);
    const float want3[6] = {2, 3, 1, 2, 3, 1};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(three[i], want3[i]) << i;
}

// Through the interface: the output channel count follows the downmix from the first frame.
TEST(AacPlusChannelMapping, DownmixFixesTheOutputChannels) {
    struct Case {
        const char* file;
        int downmixMode;
        int numChannels, outputChannels, mode;
    } cases[] = {
        {"surround51_48k.adts", 0, 6, 6, 8}, {"surround51_48k.adts", 2, 6, 2, 8}, {"surround51_48k.adts", 1, 6, 1, 8},
        {"surround50_48k.adts", 2, 5, 2, 7}, {"surround51_48k.loas", 2, 6, 2, 8}, {"pce51_48k.adts", 0, 6, 6, 8},
        {"pce_quad_48k.adts", 0, 4, 4, 5},   {"mono_44k.adts", 2, 1, 1, 1},       {"stereo_44k.adts", 1, 2, 2, 2},
    };
    for (const Case& c : cases) {
        aacPlusHandle h = nullptr;
        ASSERT_EQ(
            aacPlusDecoderOpenWithConfig(&h, kAacPlusFormatInt16, 0, 0, 0, 0, 0, 0, 0, 6, 6, 6, 1, c.downmixMode, 0),
            0);
        const aactest::DecodeRun run = aactest::decodeAll(h, aactest::readFile(aactest::fixturePath(c.file)));
        EXPECT_EQ(run.frames, 16 - (c.numChannels < 4 ? 2 : 0)) << c.file;
        ASSERT_FALSE(run.infos.empty()) << c.file;
        const aacPlusProgramInfo& p = run.infos.back().programs[run.infos.back().currentProgram];
        EXPECT_EQ(p.numChannels, c.numChannels) << c.file;
        EXPECT_EQ(p.outputChannels, c.outputChannels) << c.file;
        EXPECT_EQ(p.channelMode, c.mode) << c.file;
        for (uint32_t w : run.written)
            EXPECT_EQ(w, 1024u * c.outputChannels * 2) << c.file;
        aacPlusDecoderClose(&h);
    }
}
