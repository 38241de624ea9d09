// Parametric stereo: ps_data parsing, parameter decoding and the stereo mixing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "BitWriter.h"
#include "codecs/aacplus/PsDecoder.h"
#include "codecs/aactables/tables/AacTables.h"

using namespace aacplus;

namespace {

std::unique_ptr<PsDecoder> openPs() {
    auto ps = std::make_unique<PsDecoder>();
    EXPECT_EQ(psDecoderOpen(*ps, 64, 32), nullptr);
    return ps;
}

void putCode(aactest::BitWriter& w, const aactables::HuffmanCodebook& book, int value) {
    for (int i = 0; i < book.count; ++i)
        if (book.entries[i].values[0] == value) {
            w.put(book.entries[i].codeword, book.entries[i].length);
            return;
        }
    ADD_FAILURE() << "no codeword for " << value;
}

int parse(PsDecoder& ps, const aactest::BitWriter& w) {
    const std::vector<uint8_t> d = w.data();
    SbrBitReader r;
    r.init(d.data(), int32_t(d.size()), int32_t(w.bits()));
    return psParseData(&ps, r, int32_t(w.bits()));
}

// One frame: header with IID mode `iidMode` (enabled) and ICC mode 0, one envelope of
// frequency deltas `iidDeltas` and ICC all `icc`.
aactest::BitWriter frame(int iidMode, const std::vector<int>& iidDeltas, int icc, int extBytes = 0) {
    aactest::BitWriter w;
    w.put(1, 1).put(1, 1).put(uint32_t(iidMode), 3).put(1, 1).put(0, 3).put(extBytes ? 1 : 0, 1);
    w.put(0, 1).put(1, 2);
    w.put(0, 1);
    const bool fine = iidMode >= 3;
    for (int d : iidDeltas)
        putCode(w, fine ? aactables::kPsHuffIidFineDf : aactables::kPsHuffIidDf, d);
    w.put(0, 1);
    putCode(w, aactables::kPsHuffIccDf, icc);
    for (int b = 1; b < 10; ++b)
        putCode(w, aactables::kPsHuffIccDf, 0);
    if (extBytes) {
        w.put(uint32_t(extBytes >= 15 ? 15 : extBytes), 4);
        if (extBytes >= 15) w.put(uint32_t(extBytes - 15), 8);
        for (int i = 0; i < extBytes; ++i)
            w.put(0xA5, 8);
    }
    return w;
}

std::vector<int> constant(int n, int v) {
    std::vector<int> d(static_cast<size_t>(n), 0);
    d[0] = v;
    return d;
}

}  // namespace

TEST(PsDecoder, ParsesAndDecodesParameters) {
    auto ps = openPs();
    aactest::BitWriter w = frame(0, constant(10, 3), 2);
    EXPECT_EQ(parse(*ps, w), int(w.bits()));
    EXPECT_TRUE(ps->dataPresent);
    psDecodeFrame(*ps);
    ASSERT_EQ(ps->outEnv, 1);
    EXPECT_EQ(ps->outBorders[0], 0);
    EXPECT_EQ(ps->outBorders[1], 32);
    // 10-band data widened to 20 bands.
    for (int b = 0; b < 20; ++b) {
        EXPECT_EQ(ps->outIid[0][b], 3) << b;
        EXPECT_EQ(ps->outIcc[0][b], 2) << b;
    }
    EXPECT_FALSE(ps->dataPresent);
    // A frame without PS data holds the parameters over one envelope.
    psDecodeFrame(*ps);
    ASSERT_EQ(ps->outEnv, 1);
    EXPECT_EQ(ps->outIid[0][7], 3);
}

TEST(PsDecoder, ReservedModeIsIgnoredAndExtensionSkipped) {
    auto ps = openPs();
    aactest::BitWriter first = frame(0, constant(10, 2), 1);
    parse(*ps, first);
    psDecodeFrame(*ps);
    // iid_mode 6: the frame's data is dropped, the bits are reported as consumed.
    aactest::BitWriter bad = frame(0, constant(10, -5), 4);
    bad.put(0, 32).put(0, 32);
    std::vector<uint8_t> d = bad.data();
    d[0] = uint8_t((d[0] & ~0x38) | (6 << 3));  // iid_mode field
    SbrBitReader r;
    r.init(d.data(), int32_t(d.size()), int32_t(bad.bits()));
    EXPECT_EQ(psParseData(ps.get(), r, int32_t(bad.bits())), int(bad.bits()));
    EXPECT_FALSE(ps->dataPresent);
    psDecodeFrame(*ps);
    EXPECT_EQ(ps->outIid[0][0], 2);
    EXPECT_EQ(ps->outIcc[0][0], 1);

    // enable_ext with 20 bytes: 160 bits skipped, everything consumed.
    auto ps2 = openPs();
    aactest::BitWriter ext = frame(0, constant(10, 0), 0, 20);
    EXPECT_EQ(parse(*ps2, ext), int(ext.bits()));
    EXPECT_TRUE(ps2->dataPresent);
}

TEST(PsDecoder, ThirtyFourBandsMapToTwenty) {
    auto ps = openPs();
    // Fine IID, 34 bands: -1 at 0..27, -15 at 28..33.
    std::vector<int> deltas(34, 0);
    deltas[0] = -1;
    deltas[28] = -14;
    aactest::BitWriter w = frame(5, deltas, 0);
    EXPECT_EQ(parse(*ps, w), int(w.bits()));
    psDecodeFrame(*ps);
    EXPECT_EQ(ps->outIidFine, 1);
    EXPECT_EQ(ps->outIid[0][0], -1);  // (2*(-1) + (-1)) / 3
    EXPECT_EQ(ps->outIid[0][13], -1);
    EXPECT_EQ(ps->outIid[0][18], -15);  // bands 28..31
    EXPECT_EQ(ps->outIid[0][19], -15);
    // Values decoded beyond the fine range are limited to it.
    EXPECT_EQ(ps->heldIid[33], -15);
}

namespace {

// 32 slots and the 6 analysed slots after them that the hybrid filters look ahead into.
struct Matrix {
    float re[38][64] = {}, im[38][64] = {};
    float* pr[38];
    float* pi[38];
    Matrix() {
        for (int n = 0; n < 38; ++n) {
            pr[n] = re[n];
            pi[n] = im[n];
        }
    }
    Matrix(const Matrix&) = delete;
    Matrix& operator=(const Matrix&) = delete;
    void clear() {
        std::fill(&re[0][0], &re[0][0] + 38 * 64, 0.0f);
        std::fill(&im[0][0], &im[0][0] + 38 * 64, 0.0f);
    }
};

// Runs `frames` frames of a noise-like mono signal through psApply with fixed parameters;
// returns the last frame's left and right matrices.
void mixFrames(PsDecoder& ps, int iid, int icc, Matrix& left, Matrix& right, int frames = 3) {
    for (int f = 0; f < frames; ++f) {
        left.clear();
        right.clear();
        for (int n = 0; n < 38; ++n)
            for (int k = 0; k < 64; ++k) {
                const int t = (f * 32 + n) * 64 + k;
                left.re[n][k] = float(std::sin(t * 0.7311) * 100);
                left.im[n][k] = float(std::cos(t * 1.917) * 100);
            }
        ps.outEnv = 1;
        ps.outBorders[0] = 0;
        ps.outBorders[1] = 32;
        for (int b = 0; b < 20; ++b) {
            ps.outIid[0][b] = int8_t(iid);
            ps.outIcc[0][b] = int8_t(icc);
        }
        ps.outIidFine = 0;
        psApply(ps, left.pr, left.pi, right.pr, right.pi);
    }
}

}  // namespace

TEST(PsDecoder, MixingFollowsIidAndIcc) {
    // Full coherence, no level difference: both channels equal.
    {
        auto ps = openPs();
        Matrix l, r;
        mixFrames(*ps, 0, 0, l, r);
        for (int n = 0; n < 32; ++n)
            for (int k = 0; k < 64; ++k) {
                ASSERT_FLOAT_EQ(l.re[n][k], r.re[n][k]) << n << " " << k;
                ASSERT_FLOAT_EQ(l.im[n][k], r.im[n][k]) << n << " " << k;
            }
    }
    // Largest coarse IID (+25 dB): the level ratio of left to right is 25 dB in every QMF band.
    {
        auto ps = openPs();
        Matrix l, r;
        mixFrames(*ps, 7, 0, l, r);
        double el = 0, er = 0;
        for (int n = 0; n < 32; ++n)
            for (int k = 3; k < 64; ++k) {
                el += double(l.re[n][k]) * l.re[n][k] + double(l.im[n][k]) * l.im[n][k];
                er += double(r.re[n][k]) * r.re[n][k] + double(r.im[n][k]) * r.im[n][k];
            }
        EXPECT_NEAR(10 * std::log10(el / er), 25.0, 0.01);
    }
    // Opposite phase (rho = -1) without level difference: right = -left above the hybrid bands.
    {
        auto ps = openPs();
        Matrix l, r;
        mixFrames(*ps, 0, 7, l, r);
        double e = 0;
        for (int n = 0; n < 32; ++n)
            for (int k = 3; k < 64; ++k) {
                ASSERT_NEAR(l.re[n][k], -r.re[n][k], 1e-2f) << n << " " << k;
                e += double(l.re[n][k]) * l.re[n][k];
            }
        EXPECT_GT(e, 0.0);
    }
}

namespace {

double slotRatioDb(const Matrix& l, const Matrix& r, int n) {
    double el = 0, er = 0;
    for (int k = 3; k < 64; ++k) {
        el += double(l.re[n][k]) * l.re[n][k] + double(l.im[n][k]) * l.im[n][k];
        er += double(r.re[n][k]) * r.re[n][k] + double(r.im[n][k]) * r.im[n][k];
    }
    return 10 * std::log10(el / er);
}

}  // namespace

// Before PS starts both channels carry the mono signal; the first envelope moves from there
// to its own coefficients over its slots instead of switching at once (or fading in from
// silence), so PS that starts in mid-stream gives no audible step.
TEST(PsDecoder, FirstEnvelopeMovesFromMono) {
    auto ps = openPs();
    Matrix l, r;
    mixFrames(*ps, 7, 0, l, r, 1);
    EXPECT_LT(std::abs(slotRatioDb(l, r, 0)), 1.6);
    EXPECT_GT(slotRatioDb(l, r, 15), 5.0);
    EXPECT_NEAR(slotRatioDb(l, r, 31), 25.0, 0.01);
    // Total level stays that of the mono signal on both sides throughout the ramp.
    for (int n : {0, 8, 16, 31}) {
        double e = 0, m = 0;
        for (int k = 3; k < 64; ++k) {
            e += double(l.re[n][k]) * l.re[n][k] + double(r.re[n][k]) * r.re[n][k];
            const int t = n * 64 + k;
            m += 2 * std::pow(std::sin(t * 0.7311) * 100, 2);
        }
        EXPECT_NEAR(10 * std::log10(e / m), 0.0, 1.5) << "slot " << n;
    }
}

// ps_data that runs past the bits announced: reported as over-long (the SBR frame is then
// concealed), and neither its header nor its parameters replace the good ones before it.
TEST(PsDecoder, TruncatedDataChangesNothing) {
    auto ps = openPs();
    aactest::BitWriter good = frame(0, constant(10, 2), 1);
    parse(*ps, good);
    psDecodeFrame(*ps);
    aactest::BitWriter cut = frame(4, constant(20, -9), 5);
    const std::vector<uint8_t> d = cut.data();
    const int announced = int(cut.bits()) - 12;
    SbrBitReader r;
    r.init(d.data(), int32_t(d.size()), announced);
    EXPECT_GT(psParseData(ps.get(), r, announced), announced);
    EXPECT_FALSE(ps->dataPresent);
    EXPECT_EQ(ps->iidMode, 0);
    EXPECT_EQ(ps->iidFine, 0);
    psDecodeFrame(*ps);
    ASSERT_EQ(ps->outEnv, 1);
    EXPECT_EQ(ps->outIidFine, 0);
    for (int b = 0; b < 20; ++b) {
        EXPECT_EQ(ps->outIid[0][b], 2) << b;
        EXPECT_EQ(ps->outIcc[0][b], 1) << b;
    }
}
