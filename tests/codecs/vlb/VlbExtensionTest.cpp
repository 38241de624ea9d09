// The spectral extension with payloads from the test writer: output lengths, the untouched
// core band, the rate hysteresis and its -2, payload errors and out-of-range values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <ostream>
#include <iterator>

#include "VlbStreamWriter.h"
#include "VlbTestSupport.h"
#include "codecs/vlb/FilterBank.h"
#include "codecs/vlb/VlbExtension.h"
#include "codecs/vlb/VlbExtensionTables.h"

using namespace vlbtest;

namespace {

// Makes the decoders made afterwards start in `mode`: 0 single rate, 1 double.
void ForceMode(uint32_t mode) { VlbExtensionInitialHysteresis() = VlbExtensionGlobals{mode, 0}; }

FrameSpec ExtensionFrame(bool pair, uint32_t windowSequence, uint32_t mode, uint32_t rateFlag) {
    FrameSpec f;
    f.samplingIndex = 6;  // 24000 Hz
    f.pair = pair;
    for (IcsSpec& ics : f.ics) {
        ics.windowSequence = windowSequence;
        ics.maxSfb = windowSequence == 2 ? 8 : 30;
        ics.grouping = 0x5B;
        ics.quantized = Tone(windowSequence == 2, windowSequence == 2 ? 20 : 150, 6);
    }
    f.withExtension = true;
    f.extension.doubleRate = mode;
    f.extension.rateFlag = rateFlag;
    return f;
}

struct ModeCase {
    bool pair;
    uint32_t sequence;
    uint32_t mode;
};

void PrintTo(const ModeCase& c, std::ostream* os) {
    *os << (c.pair ? "pair" : "single") << " sequence " << c.sequence << " mode " << c.mode;
}
void PrintTo(const struct ErrorCase& c, std::ostream* os);

class VlbExtensionModes : public ::testing::TestWithParam<ModeCase> {};

TEST_P(VlbExtensionModes, DeliversBlocksOfTheModesLength) {
    const ModeCase c = GetParam();
    ForceMode(c.mode);
    // Rate flag 0 asks for double rate; hold the current mode so no switch happens.
    const uint32_t flag = c.mode ? 0 : 1;
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < 6; ++i) {
        FrameSpec f = ExtensionFrame(c.pair, i == 0 ? 0 : i == 1 ? 1 : i == 5 ? 3 : c.sequence, c.mode, flag);
        if (c.sequence != 2 && i > 0) f.ics[0].windowSequence = f.ics[1].windowSequence = c.sequence;
        frames.push_back(MakeFrame(f));
    }
    Decoded d = DecodeAll(Join(frames));
    ASSERT_EQ(d.statuses.front(), 0);
    for (size_t i = 1; i + 1 < d.statuses.size(); ++i)
        EXPECT_EQ(d.statuses[i], 0) << "call " << i;
    EXPECT_EQ(d.statuses.back(), 5);
    for (size_t i = 0; i + 1 < d.extensionErrors.size(); ++i)
        EXPECT_EQ(d.extensionErrors[i], 0u) << "frame " << i;
    ASSERT_EQ(d.output.writes.size(), 6u);
    for (unsigned n : d.output.writes)
        EXPECT_EQ(n, c.mode ? 2048u : 1024u);
    EXPECT_EQ(d.sampleRate, c.mode ? 48000u : 24000u);
    EXPECT_EQ(d.channels, c.pair ? 2u : 1u);
    for (const auto& ch : d.output.samples)
        for (float v : ch)
            ASSERT_TRUE(std::isfinite(v) && std::fabs(v) <= 32768.5f);
}

INSTANTIATE_TEST_SUITE_P(Extension, VlbExtensionModes,
                         ::testing::Values(ModeCase{false, 0, 0}, ModeCase{false, 0, 1}, ModeCase{false, 2, 0},
                                           ModeCase{false, 2, 1}, ModeCase{true, 0, 0}, ModeCase{true, 0, 1},
                                           ModeCase{true, 2, 0}, ModeCase{true, 2, 1}),
                         [](const auto& info) {
                             return std::string(info.param.pair ? "Pair" : "Single") +
                                    (info.param.sequence == 2 ? "Short" : "Long") +
                                    (info.param.mode ? "Double" : "Normal");
                         });

// Every core line carries a value, so hole filling has nothing to fill, and band values at
// the bottom of the gain table make the extension bands vanish: the normal-rate extension
// path must then reproduce the core path's samples.
std::vector<int> DenseSpectrum(unsigned upper) {
    std::vector<int> q(1024, 0);
    for (unsigned k = 0; k < upper; ++k)
        q[k] = (k % 7 == 3) ? 9 : ((k & 1) ? 1 : -1);
    return q;
}

std::vector<float> DecodeFirstChannel(const std::vector<std::vector<uint8_t>>& frames, Decoded* out = nullptr) {
    Decoded d = DecodeAll(Join(frames));
    std::vector<float> s = d.output.samples.empty() ? std::vector<float>{} : d.output.samples[0];
    if (out) *out = std::move(d);
    return s;
}

TEST(VlbExtension, LeavesTheCoreBandUnchanged) {
    std::vector<std::vector<uint8_t>> plain, extended, doubled;
    for (int i = 0; i < 8; ++i) {
        FrameSpec f = ExtensionFrame(false, 0, 0, 1);
        f.ics[0].maxSfb = 30;
        f.ics[0].quantized = DenseSpectrum(UpperBin(f.ics[0], f.samplingIndex));
        f.extension.firstValue = 0;  // gain 10^(-64/3.75)
        f.extension.delta = -1;
        f.withExtension = false;
        plain.push_back(MakeFrame(f));
        f.withExtension = true;
        extended.push_back(MakeFrame(f));
        f.extension.doubleRate = 1;
        f.extension.rateFlag = 0;
        doubled.push_back(MakeFrame(f));
    }
    ForceMode(0);
    Decoded e;
    auto core = DecodeFirstChannel(plain);
    auto ext = DecodeFirstChannel(extended, &e);
    for (size_t i = 0; i + 1 < e.extensionErrors.size(); ++i)
        ASSERT_EQ(e.extensionErrors[i], 0u);
    ASSERT_EQ(core.size(), ext.size());
    float worst = 0;
    for (size_t i = 0; i < core.size(); ++i)
        worst = std::max(worst, std::fabs(core[i] - ext[i]));
    EXPECT_LE(worst, 1.0f);

    // At double rate the core band is the same signal at twice the sampling rate: the same
    // level over twice the samples.
    ForceMode(1);
    auto twice = DecodeFirstChannel(doubled);
    ASSERT_EQ(twice.size(), 2 * core.size());
    auto rms = [](const std::vector<float>& v, size_t from) {
        double sum = 0;
        for (size_t i = from; i < v.size(); ++i)
            sum += double(v[i]) * v[i];
        return std::sqrt(sum / double(v.size() - from));
    };
    EXPECT_NEAR(rms(twice, 4096) / rms(core, 2048), 1.0, 0.02);
}

TEST(VlbExtension, RateHysteresisSwitchesAfterTwoPayloadsAndReportsOnce) {
    ForceMode(0);
    std::vector<std::vector<uint8_t>> frames;
    // Modes the decoder goes through: three single-rate payloads, then double-rate requests;
    // the first request keeps single rate, the second switches.
    const uint32_t flags[] = {1, 1, 1, 0, 0, 0, 0};
    const uint32_t modes[] = {0, 0, 0, 0, 1, 1, 1};
    for (int i = 0; i < 7; ++i) {
        FrameSpec f = ExtensionFrame(false, 0, modes[i], flags[i]);
        frames.push_back(MakeFrame(f));
    }
    Decoded d;
    DecodeFirstChannel(frames, &d);
    ASSERT_EQ(d.output.writes.size(), 7u);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(d.output.writes[i], modes[i] ? 2048u : 1024u) << "block " << i;
    // statuses[0] is Init's; DecodeFrame i is statuses[i + 1].
    const int32_t expected[] = {0, 0, 0, 0, -2, 0, 0};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(d.statuses[i + 1], expected[i]) << "frame " << i;
    EXPECT_EQ(d.infos[5].sampleRate, 48000u);
    EXPECT_EQ(d.infos[4].sampleRate, 24000u);

    // The next stream has a decoder of its own: it starts from the initial mode, not from
    // the double rate this one ended in.
    std::vector<std::vector<uint8_t>> next;
    for (int i = 0; i < 4; ++i)
        next.push_back(MakeFrame(ExtensionFrame(false, 0, 0, 1)));
    Decoded d2;
    DecodeFirstChannel(next, &d2);
    ASSERT_EQ(d2.output.writes.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(d2.output.writes[i], 1024u) << "block " << i;
        EXPECT_EQ(d2.statuses[i + 1], 0) << "frame " << i;
    }
}

TEST(VlbExtension, HysteresisTable) {
    struct Step {
        uint32_t flag, mode;
    };
    // From the process start (no previous mode) the first payload decides at once.
    const Step steps[] = {{0, 1}, {1, 1}, {0, 1}, {1, 1}, {1, 0}, {1, 0}, {0, 0}, {0, 1}, {1, 1}, {1, 0}};
    VlbExtensionGlobals g;
    for (size_t i = 0; i < std::size(steps); ++i)
        EXPECT_EQ(VlbHysteresisStep(g, steps[i].flag), steps[i].mode) << i;
}

struct ErrorCase {
    const char* name;
    std::function<void(FrameSpec&)> change;
    uint32_t error;
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class VlbExtensionErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(VlbExtensionErrors, PlayTheCoreAtTheCurrentRateAndConsumeTheElement) {
    const ErrorCase& c = GetParam();
    for (uint32_t mode : {0u, 1u}) {
        ForceMode(mode);
        std::vector<std::vector<uint8_t>> frames;
        for (int i = 0; i < 3; ++i) {
            FrameSpec f = ExtensionFrame(false, 0, mode, mode ? 0 : 1);
            if (i == 1) c.change(f);
            frames.push_back(MakeFrame(f));
        }
        Decoded d;
        DecodeFirstChannel(frames, &d);
        ASSERT_EQ(d.statuses.size(), 5u);
        for (int i = 1; i <= 3; ++i)
            EXPECT_EQ(d.statuses[i], 0) << "frame " << i - 1;
        EXPECT_EQ(d.extensionErrors[0], 0u);
        EXPECT_EQ(d.extensionErrors[1], c.error);
        EXPECT_EQ(d.extensionErrors[2], 0u);
        ASSERT_EQ(d.output.writes.size(), 3u);
        for (unsigned n : d.output.writes)
            EXPECT_EQ(n, mode ? 2048u : 1024u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Extension, VlbExtensionErrors,
    ::testing::Values(ErrorCase{"Version4", [](FrameSpec& f) { f.extension.version = 4; }, kVlbErrorVersion},
                      ErrorCase{"Truncated", [](FrameSpec& f) { f.extension.truncate = true; }, kVlbErrorTruncated},
                      ErrorCase{"NonZeroPadding", [](FrameSpec& f) { f.extension.badPadding = true; },
                                kVlbErrorPadding},
                      ErrorCase{"ZeroBytesAfterPayload", [](FrameSpec& f) { f.extension.extraZeroBytes = 20; }, 0u}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VlbExtension, ChannelCountOtherThanOneOrTwoIsRefused) {
    // A payload read for an element state with three channels: error 146, rest left unread.
    BitWriter w;
    w.Put(0, 3);
    w.Put(0, 2);
    w.Put(0, 1);
    w.Put(1, 1);
    for (int i = 0; i < 7; ++i)
        w.Put(0xA5, 8);
    CBitBuffer bb;
    std::vector<uint8_t> bytes = w.Bytes();
    uint32_t left = static_cast<uint32_t>(bytes.size());
    bb.Feed(bytes.data(), left, left);
    VlbExtensionState state;
    state.channels = 3;
    unsigned unread = ReadExtensionPayload(8, state, bb, false);
    EXPECT_EQ(state.errorCode, kVlbErrorChannels);
    EXPECT_EQ(unread, 8u * 8 - 4 - 7);
}

TEST(VlbExtension, OutOfRangeBandValuesAndLayoutsStayInBounds) {
    // Band values running far above and below the gain table, every top-band reduction,
    // a core reaching the top of the spectrum and an empty core.
    struct Variant {
        uint32_t first;
        int delta;
        uint32_t reduction;
        uint32_t maxSfb;
    };
    const Variant variants[] = {{255, 15, 0, 30}, {0, -15, 0, 30}, {128, 15, 7, 30},
                                {60, 0, 3, 47},   {60, 0, 0, 0},   {60, 1, 0, 1}};
    for (uint32_t mode : {0u, 1u}) {
        for (uint32_t seq : {0u, 2u}) {
            for (const Variant& v : variants) {
                ForceMode(mode);
                std::vector<std::vector<uint8_t>> frames;
                for (int i = 0; i < 3; ++i) {
                    FrameSpec f = ExtensionFrame(true, seq, mode, mode ? 0 : 1);
                    f.extension.firstValue = v.first;
                    f.extension.delta = v.delta;
                    f.extension.topBandReduction = v.reduction;
                    f.extension.tableSet = i & 1;
                    f.extension.delta = std::clamp(v.delta, -15, 13);
                    uint32_t maxSfb = seq == 2 ? std::min<uint32_t>(v.maxSfb, 14) : v.maxSfb;
                    f.ics[0].maxSfb = f.ics[1].maxSfb = maxSfb;
                    frames.push_back(MakeFrame(f));
                }
                Decoded d;
                DecodeFirstChannel(frames, &d);
                SCOPED_TRACE(testing::Message() << "mode " << mode << " seq " << seq << " first " << v.first);
                ASSERT_EQ(d.output.writes.size(), 3u);
                for (size_t i = 0; i < 3; ++i)
                    EXPECT_EQ(d.extensionErrors[i], 0u);
                for (const auto& ch : d.output.samples)
                    for (float s : ch)
                        ASSERT_TRUE(std::isfinite(s) && std::fabs(s) <= 32768.5f);
            }
        }
    }
}

TEST(VlbExtension, BandLayoutIsTrimmedToStartAtTheCoreUpperBin) {
    for (bool isShort : {false, true}) {
        for (uint32_t mode : {0u, 1u}) {
            for (uint32_t rate : {8000u, 11025u, 16000u, 22050u, 24000u, 32000u, 44100u, 48000u}) {
                const unsigned length = (isShort ? 128u : 1024u) << mode;
                unsigned count = 0;
                const uint16_t* layout = vlbext::BandLayout(mode ? rate * 2 : rate, isShort, mode, &count);
                if (layout == nullptr) layout = vlbext::BandLayout(rate, isShort, mode, &count);
                ASSERT_NE(layout, nullptr) << rate;
                for (unsigned e = 0; e <= (isShort ? 128u : 1024u); e += isShort ? 4 : 28) {
                    uint16_t widths[kVlbMaxExtensionBands];
                    unsigned n = VlbExtensionBands(rate, isShort, mode, e, widths);
                    unsigned sum = 0;
                    for (unsigned b = 0; b < n; ++b) {
                        EXPECT_GE(widths[b], 1u);
                        sum += widths[b];
                    }
                    // The bands end at the output length, except after a tie (as many bins
                    // below as above), where the dropped band's bins are also trimmed off
                    // the top and the gap stays silent.
                    EXPECT_LE(sum, length - e) << "rate " << rate << " e " << e;
                    EXPECT_GE(sum + 64, n ? length - e : 0u) << "rate " << rate << " e " << e;
                    EXPECT_LE(n, count);
                }
            }
        }
    }
    // A straddling band mostly above the upper bin is kept whole from there; one mostly
    // below is dropped and the rest widened.
    unsigned count = 0;
    const uint16_t* layout = vlbext::BandLayout(48000, false, 0, &count);
    unsigned start = 0, i = 0;
    while (layout[i] < 8)
        start += layout[i++];
    const unsigned w = layout[i];
    uint16_t widths[kVlbMaxExtensionBands];
    auto total = [&](unsigned n) {
        unsigned sum = 0;
        for (unsigned b = 0; b < n; ++b)
            sum += widths[b];
        return sum;
    };
    unsigned kept = VlbExtensionBands(48000, false, 0, start + 1, widths);
    EXPECT_EQ(kept, count - i);
    EXPECT_EQ(total(kept), 1024 - (start + 1));
    unsigned dropped = VlbExtensionBands(48000, false, 0, start + w - 1, widths);
    EXPECT_EQ(dropped, count - i - 1);
    EXPECT_EQ(total(dropped), 1024 - (start + w - 1));
}

TEST(VlbExtension, TablesFollowTheFormat) {
    EXPECT_EQ(vlbext::NoiseLevel(0), 0.0f);
    EXPECT_NEAR(vlbext::NoiseLevel(1), 0.03f, 1e-6);
    EXPECT_NEAR(vlbext::NoiseLevel(2), 0.0358f, 1e-4);
    EXPECT_NEAR(vlbext::NoiseLevel(3), 0.0426f, 1e-4);
    EXPECT_NEAR(vlbext::NoiseLevel(14), 0.2937f, 1e-4);
    EXPECT_NEAR(vlbext::NoiseLevel(15), 0.35f, 1e-6);
    const float chirps[] = {1.0f, 0.98f, 0.96f, 0.9f, 0.84f, 0.6f, 0.3f, 0.0f};
    for (unsigned i = 0; i < 8; ++i)
        EXPECT_EQ(vlbext::ChirpFactor(i), chirps[i]);
    EXPECT_FLOAT_EQ(vlbext::BandGain(0, 32), 1.0f);
    EXPECT_FLOAT_EQ(vlbext::BandGain(1, 32 + 15), std::pow(10.0f, 2.0f));

    struct ListCase {
        unsigned set;
        bool isShort;
        unsigned count;
        int lo, hi;
    };
    for (const ListCase& c : {ListCase{0, false, 31, -15, 15}, ListCase{1, false, 71, -36, 34},
                              ListCase{0, true, 29, -15, 13}, ListCase{1, true, 64, -34, 29}}) {
        const auto& list = vlbext::DeltaCodes(c.set, c.isShort);
        ASSERT_EQ(list.count, c.count);
        int lo = 1000, hi = -1000;
        double kraft = 0;
        for (unsigned i = 0; i < list.count; ++i) {
            const auto& a = list.entries[i];
            lo = std::min<int>(lo, a.delta);
            hi = std::max<int>(hi, a.delta);
            EXPECT_GE(a.length, 2);
            EXPECT_LE(a.length, 16);
            kraft += std::ldexp(1.0, -a.length);
            for (unsigned j = 0; j < list.count; ++j) {
                const auto& b = list.entries[j];
                if (i == j || b.length < a.length) continue;
                EXPECT_NE(b.code >> (b.length - a.length), a.code) << "prefix " << a.delta << " of " << b.delta;
                if (std::abs(b.delta) > std::abs(a.delta) + 1) {
                    EXPECT_GE(b.length, a.length);
                }
            }
        }
        EXPECT_EQ(lo, c.lo);
        EXPECT_EQ(hi, c.hi);
        EXPECT_LE(kraft, 1.0);
    }
    const auto& set0 = vlbext::DeltaCodes(0, false);
    for (unsigned i = 0; i < set0.count; ++i)
        if (set0.entries[i].delta == 0 || set0.entries[i].delta == -1) {
            EXPECT_EQ(set0.entries[i].length, 2);
        }

    // Band counts per kind and mode.
    for (uint32_t rate : {48000u, 44100u, 32000u, 24000u, 22050u, 16000u, 12000u, 11025u, 8000u}) {
        const unsigned ranges[2][2][2] = {{{54, 72}, {55, 77}}, {{16, 19}, {16, 22}}};
        for (int kind = 0; kind < 2; ++kind)
            for (uint32_t mode = 0; mode < 2; ++mode) {
                unsigned count = 0;
                const uint16_t* widths = vlbext::BandLayout(rate, kind == 1, mode, &count);
                ASSERT_NE(widths, nullptr);
                EXPECT_GE(count, ranges[kind][mode][0]);
                EXPECT_LE(count, ranges[kind][mode][1]);
                unsigned sum = 0;
                for (unsigned b = 0; b < count; ++b)
                    sum += widths[b];
                EXPECT_EQ(sum, (kind ? 128u : 1024u) << mode);
            }
    }
    unsigned count = 0;
    EXPECT_EQ(vlbext::BandLayout(96000, false, 0, &count), nullptr);
}

// Energy of a Hann-windowed stretch of samples between two fractions of the Nyquist rate.
double BandEnergy(const std::vector<float>& x, size_t from, size_t n, double lo, double hi) {
    double total = 0;
    for (size_t k = static_cast<size_t>(lo * n / 2); k < static_cast<size_t>(hi * n / 2); ++k) {
        double re = 0, im = 0;
        for (size_t i = 0; i < n; ++i) {
            double w = 0.5 - 0.5 * std::cos(2 * 3.14159265358979 * i / n);
            double v = w * x[from + i];
            re += v * std::cos(2 * 3.14159265358979 * k * i / n);
            im -= v * std::sin(2 * 3.14159265358979 * k * i / n);
        }
        total += re * re + im * im;
    }
    return total;
}

TEST(VlbExtension, BandValuesSetTheLevelAboveTheCore) {
    auto decode = [](uint32_t firstValue, uint32_t mode) {
        ForceMode(mode);
        std::vector<std::vector<uint8_t>> frames;
        for (int i = 0; i < 6; ++i) {
            FrameSpec f = ExtensionFrame(false, 0, mode, mode ? 0 : 1);
            f.ics[0].maxSfb = 30;  // core up to bin 396 of 1024 at 24000 Hz
            // No zero lines in the core: hole filling, whose noise generator runs on across
            // decodes, leaves it alone.
            f.ics[0].quantized = DenseSpectrum(396);
            f.ics[0].globalGain = 150;
            f.extension.firstValue = firstValue;
            f.extension.blendStart = 100;
            frames.push_back(MakeFrame(f));
        }
        return DecodeFirstChannel(frames);
    };
    for (uint32_t mode : {0u, 1u}) {
        auto quiet = decode(0, mode), loud = decode(60, mode);
        const size_t n = 1024, from = quiet.size() - 2 * n;
        const double edge = 396.0 / 1024 / (mode ? 2 : 1);  // core top as a fraction of Nyquist
        const double coreQuiet = BandEnergy(quiet, from, n, 0.0, edge * 0.9);
        const double coreLoud = BandEnergy(loud, from, n, 0.0, edge * 0.9);
        const double highQuiet = BandEnergy(quiet, from, n, edge * 1.1, 0.95);
        const double highLoud = BandEnergy(loud, from, n, edge * 1.1, 0.95);
        EXPECT_NEAR(coreLoud / coreQuiet, 1.0, 0.05) << "mode " << mode;
        EXPECT_GT(highLoud, 100 * highQuiet) << "mode " << mode;
        EXPECT_GT(highLoud, 1e-3 * coreLoud) << "mode " << mode;
    }
}

}  // namespace
