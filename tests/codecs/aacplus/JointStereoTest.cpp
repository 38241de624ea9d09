// M/S and intensity stereo of a channel pair, and the M/S data syntax.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "IcsBuilder.h"
#include "codecs/aacplus/ChannelElements.h"

namespace {

using namespace aactest;
using namespace aacplus;

// A common-window pair over band 0: the left channel coded with book 1, the right one
// coded as intensity (book 14 or 15, position 0: scale 1).
std::vector<uint8_t> intensityPair(int msMaskPresent, int msFlag, int rightBook) {
    BitWriter w;
    w.put(0, 4).put(1, 1);  // tag, common_window
    putLongIcsInfo(w, 1);
    w.put(uint32_t(msMaskPresent), 2);
    if (msMaskPresent == 1) w.put(uint32_t(msFlag), 1);
    w.put(100, 8);
    putLongSections(w, {{1, 1}});
    putScaleFactorDelta(w, 0);
    putNoTools(w);
    putSpectral(w, 1, {1, -1, 0, 1});
    w.put(100, 8);
    putLongSections(w, {{rightBook, 1}});
    putScaleFactorDelta(w, 0);
    putNoTools(w);
    w.put(0, 32);
    return w.data();
}

// The sign of the right channel relative to the left after one decoded frame.
int intensitySign(int msMaskPresent, int msFlag, int rightBook) {
    const std::vector<uint8_t> bytes = intensityPair(msMaskPresent, msFlag, rightBook);
    BitReader r;
    r.bind(bytes.data(), int32_t(bytes.size()));
    decapl63 e(&r, true, false);
    EXPECT_EQ(e.Read(ElementContext{4, 0x402}, nullptr), 0);
    std::vector<float> out(2048, 0.0f);
    e.Decode(out.data(), 2);
    int sign = 0;
    for (int i = 0; i < 1024; ++i) {
        const float l = out[size_t(2 * i)], rr = out[size_t(2 * i + 1)];
        if (std::fabs(l) < 1e-3f) continue;
        const int s = std::fabs(rr - l) < 1e-4f * std::fabs(l) ? 1 : std::fabs(rr + l) < 1e-4f * std::fabs(l) ? -1 : 0;
        if (sign == 0) sign = s;
        if (s != sign) return 0;  // neither a copy nor an inverted copy
    }
    return sign;
}

// The standard reverses the intensity sign by the band's M/S flag only when
// ms_mask_present is 1; with 2 (M/S on every band) the codebook's sign stands.
TEST(JointStereoTest, IntensitySignFollowsTheCodebookAndTheMsFlagOnlyWithMaskOne) {
    const struct {
        int mask, flag, book, sign;
    } cases[] = {
        {0, 0, 15, 1}, {0, 0, 14, -1}, {1, 0, 15, 1}, {1, 1, 15, -1}, {1, 1, 14, 1}, {2, 0, 15, 1}, {2, 0, 14, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(intensitySign(c.mask, c.flag, c.book), c.sign)
            << "ms_mask_present " << c.mask << " flag " << c.flag << " book " << c.book;
}

TEST(JointStereoTest, MsDataSyntax) {
    IcsInfo ics;
    ics.reset(4, 0x402);
    ics.setSequence(kOnlyLong, 0);
    ics.maxSfb = 3;
    const struct {
        uint32_t bits;
        int width;
        int status;
        uint8_t flags[3];
    } cases[] = {
        {0b00, 2, 0, {0, 0, 0}},
        {0b01101, 5, 0, {1, 0, 1}},
        {0b10, 2, 0, {1, 1, 1}},
        {0b11, 2, 0x100E, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        BitWriter w;
        w.put(c.bits, c.width).put(0, 16);
        const std::vector<uint8_t> bytes = w.data();
        BitReader r;
        r.bind(bytes.data(), int32_t(bytes.size()));
        MsData ms;
        EXPECT_EQ(ReadMsData(ms, r, ics), c.status);
        if (c.status == 0) {
            for (int b = 0; b < 3; ++b)
                EXPECT_EQ(ms.flags[0][b], c.flags[b]) << b;
        }
    }
}

// M/S turns (m, s) into (m + s, m - s) on flagged bands only, per window of a group.
TEST(JointStereoTest, MsAppliesToFlaggedBandsOfEveryWindow) {
    IcsInfo ics;
    ics.reset(4, 0x402);
    ics.setSequence(kEightShort, 0);
    ics.maxSfb = 2;
    ics.numGroups = 2;
    ics.groupLength[0] = 3;
    ics.groupLength[1] = 5;
    IcsStorage ls, rs;
    decapl60* l = ls.build(&ics);
    IcsInfo ics2 = ics;
    decapl60* rr = rs.build(&ics2);
    for (int w = 0; w < 8; ++w)
        for (int k = 0; k < 128; ++k) {
            l->GetSpectrum(w)[k] = 3.0f;
            rr->GetSpectrum(w)[k] = 1.0f;
        }
    uint8_t flags[8][64] = {};
    flags[0][1] = 1;  // group 0 (windows 0-2), band 1 (lines 4-7)
    flags[1][0] = 1;  // group 1 (windows 3-7), band 0 (lines 0-3)
    ApplyMs(flags, ics, *l, *rr);
    for (int w = 0; w < 8; ++w)
        for (int k = 0; k < 12; ++k) {
            const bool ms = (w < 3 && k >= 4 && k < 8) || (w >= 3 && k < 4);
            EXPECT_EQ(l->GetSpectrum(w)[k], ms ? 4.0f : 3.0f) << w << "/" << k;
            EXPECT_EQ(rr->GetSpectrum(w)[k], ms ? 2.0f : 1.0f) << w << "/" << k;
        }
}

}  // namespace
