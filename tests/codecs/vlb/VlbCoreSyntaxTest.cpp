// Raw data block syntax of the core: element kinds, stored side data, the channel lock and
// the refusal of fields that would index past the decoder's tables.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <ostream>

#include "VlbStreamWriter.h"
#include "VlbTestSupport.h"

using namespace vlbtest;

namespace {

FrameSpec ToneFrame(bool pair = false) {
    FrameSpec f;
    f.pair = pair;
    for (IcsSpec& ics : f.ics)
        ics.quantized = Tone(false, 20, 8);
    return f;
}

Decoded DecodeFrames(const std::vector<std::vector<uint8_t>>& frames, unsigned chunk = 2048) {
    return DecodeAll(Join(frames), chunk);
}

TEST(VlbCoreSyntax, FourRawBlocksGiveFourOutputs) {
    FrameSpec f = ToneFrame(true);
    f.rawBlocks = 3;
    auto frame = MakeFrame(f);
    Decoded d = DecodeFrames({frame, frame});
    EXPECT_EQ(d.statuses[1], 0);
    EXPECT_EQ(d.statuses[2], 0);
    ASSERT_EQ(d.output.writes.size(), 8u);
    for (unsigned n : d.output.writes)
        EXPECT_EQ(n, 1024u);
}

TEST(VlbCoreSyntax, BlockWithOnlyEndDecodesToNothing) {
    FrameSpec f;
    f.rawBlock = [](BitWriter& w) { w.Put(7, 3); };
    auto frame = MakeFrame(f);
    Decoded d = DecodeFrames({frame, frame, frame});
    EXPECT_EQ(d.statuses[0], 0);
    EXPECT_EQ(d.statuses[1], 0);
    EXPECT_EQ(d.infos[1].channels, 0u);
    EXPECT_TRUE(d.output.writes.empty());
}

void WritePce(BitWriter& w) {
    w.Put(5, 3);
    w.Put(3, 4);  // element_instance_tag
    w.Put(1, 2);  // object type LC
    w.Put(4, 4);  // sampling index
    w.Put(2, 4);  // front elements
    w.Put(1, 4);  // side
    w.Put(0, 4);  // back
    w.Put(1, 2);  // lfe
    w.Put(1, 3);  // assoc data
    w.Put(1, 4);  // valid cc
    w.Put(1, 1);
    w.Put(2, 4);  // mono mixdown
    w.Put(0, 1);
    w.Put(1, 1);
    w.Put(1, 2);
    w.Put(1, 1);  // matrix mixdown
    w.Put(0, 1);
    w.Put(0, 4);  // front: single 0
    w.Put(1, 1);
    w.Put(1, 4);  // front: pair 1
    w.Put(1, 1);
    w.Put(2, 4);  // side: pair 2
    w.Put(5, 4);  // lfe tag
    w.Put(6, 4);  // assoc tag
    w.Put(0, 1);
    w.Put(7, 4);  // cc
}

TEST(VlbCoreSyntax, SideDataElementsAreConsumedExactlyAndStored) {
    // A program configuration, a data stream of 255 + 255 bytes and fill elements of count 0
    // and of another type: the tone decodes as without them.
    FrameSpec plain = ToneFrame();
    FrameSpec f = ToneFrame();
    f.extraElements = [](BitWriter& w) {
        w.Put(4, 3);  // data stream element
        w.Put(9, 4);
        w.Put(0, 1);
        w.Put(255, 8);
        w.Put(255, 8);
        for (int i = 0; i < 510; ++i)
            w.Put(i & 0xFF, 8);
        w.Put(6, 3);  // fill, count 0
        w.Put(0, 4);
        w.Put(6, 3);  // fill, count 3, extension type 1
        w.Put(3, 4);
        w.Put(1, 4);
        w.Put(0xA, 4);
        w.Put(0xBEEF, 16);
        WritePce(w);
    };
    // The program configuration aligns to the block's start before its comment field, so
    // the block is written here whole and the comment follows the alignment.
    f.rawBlock = [&](BitWriter& w) {
        w.Put(0, 3);
        w.Put(0, 4);
        WriteIcs(w, f.ics[0], f.samplingIndex, true);
        f.extraElements(w);
        while (w.Bits() % 8)
            w.Put(0, 1);
        w.Put(2, 8);  // comment bytes
        w.Put('h', 8);
        w.Put('i', 8);
        w.Put(7, 3);
    };
    Decoded a = DecodeFrames({MakeFrame(plain), MakeFrame(plain), MakeFrame(plain)});
    auto frame = MakeFrame(f);
    MemoryInput input(Join({frame, frame, frame}));
    CVlbDecoderFront front(&input);
    VlbFrameInfo info{};
    ASSERT_EQ(front.Init(&info), 0);
    CollectingOutput out;
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(front.DecodeFrame(&out, &info), 0) << i;
    EXPECT_EQ(front.Core().DataStream().length, 510u);
    EXPECT_EQ(front.Core().DataStream().bytes[300], 300 & 0xFF);
    const CProgramConfig& pce = front.Core().ProgramConfig().program[3];
    EXPECT_TRUE(pce.read);
    EXPECT_EQ(pce.totalChannels, 5u);
    EXPECT_EQ(pce.lfeTag[0], 5);
    EXPECT_EQ(pce.commentBytes, 2u);
    EXPECT_EQ(pce.comment[1], 'i');
    ASSERT_EQ(out.samples.size(), 1u);
    EXPECT_EQ(out.samples[0], a.output.samples[0]);
}

struct Refusal {
    const char* name;
    std::function<void(FrameSpec&)> corrupt;
    int32_t status;
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class VlbCoreRefusals : public ::testing::TestWithParam<Refusal> {};

// The corrupt frame sits between good ones: it is dropped with its status, nothing is
// delivered for it, and decoding goes on with the next frame.
TEST_P(VlbCoreRefusals, DropTheFrameAndResume) {
    const Refusal& r = GetParam();
    FrameSpec bad = ToneFrame();
    r.corrupt(bad);
    auto good = MakeFrame(ToneFrame());
    Decoded d = DecodeFrames({good, good, MakeFrame(bad), good, good});
    ASSERT_EQ(d.statuses.size(), 7u);
    EXPECT_EQ(d.statuses[0], 0);
    EXPECT_EQ(d.statuses[1], 0);
    EXPECT_EQ(d.statuses[2], 0);
    EXPECT_EQ(d.statuses[3], r.status);
    EXPECT_EQ(d.statuses[4], 0);
    EXPECT_EQ(d.statuses[5], 0);
    EXPECT_EQ(d.output.writes.size(), 4u);
}

void ElementThenEnd(FrameSpec& f, unsigned id, const std::function<void(BitWriter&, const FrameSpec&)>& body) {
    f.rawBlock = [id, body, f](BitWriter& w) {
        w.Put(id, 3);
        body(w, f);
        w.Put(7, 3);
    };
}

INSTANTIATE_TEST_SUITE_P(
    Core, VlbCoreRefusals,
    ::testing::Values(
        Refusal{"MaxSfbAboveTheRatesBands",
                [](FrameSpec& f) {
                    f.ics[0].maxSfb = 50;
                    f.ics[0].codebook = 0;
                },
                4},
        Refusal{"MoreSectionsThanBands",
                [](FrameSpec& f) {
                    f.ics[0].sections = [](BitWriter& w) {
                        for (int i = 0; i < 12; ++i) {
                            w.Put(1, 4);
                            w.Put(0, 5);
                        }
                    };
                },
                4},
        Refusal{"SectionPastMaxSfb",
                [](FrameSpec& f) {
                    f.ics[0].sections = [](BitWriter& w) {
                        w.Put(1, 4);
                        w.Put(31, 5);
                        w.Put(31, 5);
                        w.Put(3, 5);
                    };
                },
                4},
        Refusal{"ReservedCodebook12",
                [](FrameSpec& f) {
                    f.ics[0].sections = [](BitWriter& w) {
                        w.Put(12, 4);
                        w.Put(8, 5);
                    };
                },
                4},
        Refusal{"EscapePrefixOfNineOnes",
                [](FrameSpec& f) {
                    f.ics[0].maxSfb = 1;
                    f.ics[0].spectral = [](BitWriter& w) {
                        const int v[2] = {16, 0};
                        WriteSpectralValues(w, 11, v);
                        for (int i = 0; i < 9; ++i)
                            w.Put(1, 1);
                        w.Put(0, 1);
                        w.Put(0, 13);
                    };
                },
                4},
        Refusal{"PulseBeyondTheBlock",
                [](FrameSpec& f) {
                    f.ics[0].pulse = [](BitWriter& w) {
                        w.Put(3, 2);
                        w.Put(48, 6);
                        for (int i = 0; i < 4; ++i) {
                            w.Put(31, 5);
                            w.Put(1, 4);
                        }
                    };
                },
                4},
        Refusal{"PulseStartAboveTheBands",
                [](FrameSpec& f) {
                    f.ics[0].pulse = [](BitWriter& w) {
                        w.Put(0, 2);
                        w.Put(60, 6);
                        w.Put(0, 5);
                        w.Put(1, 4);
                    };
                },
                4},
        Refusal{"TnsOrderAboveTwelve",
                [](FrameSpec& f) {
                    f.ics[0].tns = [](BitWriter& w) {
                        w.Put(1, 2);
                        w.Put(1, 1);
                        w.Put(10, 6);
                        w.Put(13, 5);
                        w.Put(0, 1);
                        w.Put(0, 1);
                        for (int i = 0; i < 13; ++i)
                            w.Put(1, 4);
                    };
                },
                4},
        Refusal{"MainProfilePrediction", [](FrameSpec& f) { f.ics[0].predictor = 1; }, 9},
        Refusal{"MainProfileHeader", [](FrameSpec& f) { f.profile = 0; }, 9},
        Refusal{"CouplingChannelElement",
                [](FrameSpec& f) { ElementThenEnd(f, 2, [](BitWriter& w, const FrameSpec&) { w.Put(0, 16); }); }, 4},
        Refusal{"SecondSingleChannelElement",
                [](FrameSpec& f) {
                    f.extraElements = [f](BitWriter& w) {
                        w.Put(0, 3);
                        w.Put(0, 4);
                        WriteIcs(w, f.ics[0], f.samplingIndex, true);
                    };
                },
                4},
        Refusal{"LowFrequencyElementTheLockAccepts",
                [](FrameSpec& f) {
                    // Same tag and type as the locked single channel element.
                    ElementThenEnd(f, 3, [](BitWriter& w, const FrameSpec& s) {
                        w.Put(0, 4);
                        WriteIcs(w, s.ics[0], s.samplingIndex, true);
                    });
                },
                4},
        Refusal{"SamplingIndexWithoutBands", [](FrameSpec& f) { f.samplingIndex = 13; }, 4}),
    [](const auto& info) { return std::string(info.param.name); });

// The element tag changes while the channel count stays: the first frame with the new tag
// delivers nothing and the lock follows the stream (it would otherwise stay silent for good).
TEST(VlbCoreSyntax, TagChangeRelocksAfterOneFrame) {
    FrameSpec a = ToneFrame(true), b = ToneFrame(true);
    a.tag = 5;
    b.tag = 3;
    Decoded d = DecodeFrames({MakeFrame(a), MakeFrame(a), MakeFrame(b), MakeFrame(b), MakeFrame(b)});
    ASSERT_EQ(d.statuses.size(), 7u);
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(d.statuses[i], 0);
    EXPECT_EQ(d.output.writes.size(), 4u);
}

struct StereoCase {
    const char* name;
    uint32_t commonWindow;
    uint32_t msMaskPresent;
    unsigned codebook;
    float sign;
};

void PrintTo(const StereoCase& c, std::ostream* os) { *os << c.name; }

class VlbIntensity : public ::testing::TestWithParam<StereoCase> {};

// Intensity bands of the second channel copy the first with sign and scale 1 (position 0).
TEST_P(VlbIntensity, SecondChannelFollowsTheFirst) {
    const StereoCase& c = GetParam();
    FrameSpec f = ToneFrame(true);
    f.commonWindow = c.commonWindow;
    f.msMaskPresent = c.msMaskPresent;
    f.ics[1].codebook = c.codebook;
    auto frame = MakeFrame(f);
    Decoded d = DecodeFrames({frame, frame, frame, frame});
    ASSERT_EQ(d.output.samples.size(), 2u);
    const auto& l = d.output.samples[0];
    const auto& r = d.output.samples[1];
    ASSERT_EQ(l.size(), r.size());
    double peak = 0;
    for (size_t i = 0; i < l.size(); ++i) {
        peak = std::max(peak, std::fabs(double(l[i])));
        // Both carry the output stage's 0.5 offset away from zero.
        float lv = l[i] - std::copysign(0.5f, l[i]), rv = r[i] - std::copysign(0.5f, r[i]);
        ASSERT_NEAR(rv, c.sign * lv, 0.01f) << i;
    }
    EXPECT_GT(peak, 1000);
}

INSTANTIATE_TEST_SUITE_P(Core, VlbIntensity,
                         ::testing::Values(StereoCase{"Codebook15", 1, 0, 15, 1.0f},
                                           StereoCase{"Codebook14Negated", 1, 0, 14, -1.0f},
                                           StereoCase{"Codebook15WithMsUsed", 1, 2, 15, -1.0f},
                                           StereoCase{"WithoutCommonWindow", 0, 0, 15, 1.0f}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(VlbCoreSyntax, ScaleFactorGroupingFormsTheWindowGroups) {
    struct Case {
        uint32_t grouping;
        unsigned groups;
        std::vector<unsigned> lengths;
    };
    for (const Case& c : {Case{0x7F, 1, {8}}, Case{0x00, 8, {1, 1, 1, 1, 1, 1, 1, 1}}, Case{0x5B, 3, {2, 3, 3}},
                          Case{0x2A, 5, {1, 2, 2, 2, 1}}}) {
        BitWriter w;
        IcsSpec ics;
        ics.windowSequence = 2;
        ics.maxSfb = 10;
        ics.grouping = c.grouping;
        WriteIcsInfo(w, ics);
        std::vector<uint8_t> bytes = w.Bytes();
        bytes.resize(8, 0);
        CBitBuffer bb;
        uint32_t left = static_cast<uint32_t>(bytes.size());
        bb.Feed(bytes.data(), left, left);
        CChannelInfo info;
        AacStreamInfo si;
        si.samplingIndex = 4;
        si.profile = 1;
        info.Reset(si);
        info.Read(bb);
        ASSERT_EQ(info.numGroups, c.groups);
        for (unsigned g = 0; g < c.groups; ++g)
            EXPECT_EQ(info.groupLength[g], c.lengths[g]);
        EXPECT_EQ(info.maxSfb.Value(), 10u);
    }
}

}  // namespace
