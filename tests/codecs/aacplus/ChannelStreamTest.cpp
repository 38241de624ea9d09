// Individual channel stream decoding: the error codes of damaged or unsupported syntax, and
// the values of hand-made spectra.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "IcsBuilder.h"
#include "codecs/aacplus/ChannelElements.h"

namespace {

using namespace aactest;
using namespace aacplus;

const ElementContext kLc44{4, 0x402};

struct ErrorCase {
    const char* name;
    std::function<void(BitWriter&)> build;  // from element_instance_tag on
    int expected;
    bool pnsOn = true;
};

// A single channel element: tag 0, global_gain 100, then the rest.
std::function<void(BitWriter&)> sce(std::function<void(BitWriter&)> rest) {
    return [rest](BitWriter& w) {
        w.put(0, 4).put(100, 8);
        rest(w);
    };
}

int readSce(const std::vector<uint8_t>& bytes, bool pnsOn, decapl80** keep = nullptr) {
    static BitReader r;
    r.bind(bytes.data(), int32_t(bytes.size()));
    static std::unique_ptr<decapl80> e;
    e.reset(new decapl80(&r, pnsOn, false));
    const int status = e->Read(kLc44, nullptr);
    if (keep) *keep = e.get();
    return status;
}

TEST(ChannelStreamTest, DamagedOrUnsupportedSyntaxGivesItsCode) {
    const ErrorCase cases[] = {
        {"reserved codebook 12", sce([](BitWriter& w) {
             putLongIcsInfo(w, 1);
             putLongSections(w, {{12, 1}});
         }),
         0x1007},
        {"section beyond max_sfb", sce([](BitWriter& w) {
             putLongIcsInfo(w, 2);
             putLongSections(w, {{1, 3}});
         }),
         0x100B},
        {"truncated section data", sce([](BitWriter& w) { putLongIcsInfo(w, 2); }), 0x100B},
        {"noise band with PNS off", sce([](BitWriter& w) {
             putLongIcsInfo(w, 1);
             putLongSections(w, {{13, 1}});
             w.put(300, 9);
         }),
         0x101A, false},
        {"gain control", sce([](BitWriter& w) {
             putLongIcsInfo(w, 1);
             putLongSections(w, {{0, 1}});
             w.put(0, 1).put(0, 1).put(1, 1);
         }),
         0x1004},
        {"predictor reset group 0",
         sce([](BitWriter& w) { w.put(0, 1).put(0, 2).put(0, 1).put(1, 6).put(1, 1).put(1, 1).put(0, 5); }), 0x1008},
        {"predictor reset group 31",
         sce([](BitWriter& w) { w.put(0, 1).put(0, 2).put(0, 1).put(1, 6).put(1, 1).put(1, 1).put(31, 5); }), 0x1008},
        {"max_sfb 50 at 44.1 kHz", sce([](BitWriter& w) { putLongIcsInfo(w, 50); }), 0x100F},
        {"pulse beyond line 1023", sce([](BitWriter& w) {
             putLongIcsInfo(w, 1);
             putLongSections(w, {{0, 1}});
             // pulse_start_sfb 48 (line 928), then four offsets of 31: line 1052
             w.put(1, 1).put(3, 2).put(48, 6);
             for (int i = 0; i < 4; ++i)
                 w.put(31, 5).put(1, 4);
         }),
         0x1009},
        {"escape with 29 leading ones", sce([](BitWriter& w) {
             putLongIcsInfo(w, 1);
             putLongSections(w, {{11, 1}});
             putScaleFactorDelta(w, 0);
             putNoTools(w);
             putSpectral(w, 11, {16, 0});
             w.put((1u << 29) - 1, 29).put(0, 1);
         }),
         0x100C},
        {"escaped magnitude 8192", sce([](BitWriter& w) {
             putLongIcsInfo(w, 1);
             putLongSections(w, {{11, 1}});
             putScaleFactorDelta(w, 0);
             putNoTools(w);
             putSpectral(w, 11, {16, 0});
             w.put(0x3FE, 10).put(0, 13);  // 9 ones, a zero: N = 13
         }),
         0x100C},
    };
    for (const ErrorCase& c : cases) {
        BitWriter w;
        c.build(w);
        w.put(0, 32);  // room so that only the named fault can fail
        EXPECT_EQ(readSce(w.data(), c.pnsOn), c.expected) << c.name;
    }
}

TEST(ChannelStreamTest, EscapeOf8191AndPlainValuesDequantise) {
    BitWriter w;
    w.put(0, 4).put(100, 8);  // scale factor 100: gain 1
    putLongIcsInfo(w, 2);
    putLongSections(w, {{11, 1}, {1, 1}});
    putScaleFactorDelta(w, 0);
    putScaleFactorDelta(w, 8);  // band 1: scale factor 108, gain 4
    putNoTools(w);
    putSpectral(w, 11, {-16, 3});
    w.put(0xFF, 8).put(0, 1).put(0xFFF, 12);  // N = 12: 4096 + 4095
    putSpectral(w, 11, {0, 0});
    putSpectral(w, 1, {1, -1, 0, 1});
    w.put(0, 32);
    decapl80* e = nullptr;
    ASSERT_EQ(readSce(w.data(), true, &e), 0);
    const float* x = e->channel().storage.get()->GetSpectrum(0);
    EXPECT_FLOAT_EQ(x[0], -float(std::pow(8191.0, 4.0 / 3.0)));
    EXPECT_FLOAT_EQ(x[1], float(std::pow(3.0, 4.0 / 3.0)));
    EXPECT_EQ(x[2], 0.0f);
    EXPECT_FLOAT_EQ(x[4], 4.0f);
    EXPECT_FLOAT_EQ(x[5], -4.0f);
    EXPECT_FLOAT_EQ(x[7], 4.0f);
    for (int k = 8; k < 1024; ++k)
        ASSERT_EQ(x[k], 0.0f) << k;
}

// A scale factor of 0 silences its band whatever the coded values.
TEST(ChannelStreamTest, ScaleFactorZeroSilencesTheBand) {
    BitWriter w;
    w.put(0, 4).put(0, 8);
    putLongIcsInfo(w, 1);
    putLongSections(w, {{1, 1}});
    putScaleFactorDelta(w, 0);
    putNoTools(w);
    putSpectral(w, 1, {1, 1, -1, 1});
    w.put(0, 32);
    decapl80* e = nullptr;
    ASSERT_EQ(readSce(w.data(), true, &e), 0);
    const float* x = e->channel().storage.get()->GetSpectrum(0);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(x[k], 0.0f);
}

}  // namespace
