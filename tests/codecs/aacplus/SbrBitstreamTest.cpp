// SBR payload parsing: header change detection, grids and their consistency rules, CRC,
// envelopes, extended data, and reads past the end of a payload.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "SbrTestPayload.h"
#include "codecs/aacplus/SbrDecoder.h"

using namespace aacplus;
using namespace sbrtest;

namespace {

struct DecoderDeleter {
    void operator()(SbrDecoder* h) const { sbrDecoderClose(h); }
};
using Handle = std::unique_ptr<SbrDecoder, DecoderDeleter>;

Handle openDecoder(int32_t rate = 22050) {
    SbrDecoderConfig c;
    sbrGetDefaultConfig(&c, 0);
    return Handle(sbrDecoderOpen(rate, 1024, &c));
}

SbrExtensionPayload monoFrame(const HeaderFields& f, bool withHeader, int envCode = 0, int start = 20, int noise = 10) {
    Builder b;
    if (withHeader)
        b.header(f);
    else
        b.noHeader();
    writeMonoFixFix(b, sizesFor(f), f.ampRes, envCode, 1, start, noise);
    return b.finish();
}

}  // namespace

TEST(SbrBitstream, HeaderAndSingleChannelElement) {
    Handle h = openDecoder();
    ASSERT_TRUE(h);
    HeaderFields f;
    const SbrExtensionPayload p = monoFrame(f, true, 1, 30, 7);
    EXPECT_EQ(sbrParseExtension(h.get(), &p), 0);
    EXPECT_EQ(h->active, 1);
    EXPECT_EQ(h->header.errorFlag, 0);
    EXPECT_EQ(h->header.extensionMode, kSbrModeMono);
    const SbrFrameData& fd = h->channels[0].frame;
    const Sizes s = sizesFor(f);
    EXPECT_EQ(fd.nh, s.nh);
    EXPECT_EQ(fd.numEnv, 2);
    EXPECT_EQ(fd.tE[0], 0);
    EXPECT_EQ(fd.tE[1], 8);
    EXPECT_EQ(fd.tE[2], 16);
    EXPECT_EQ(fd.numNoise, 2);
    EXPECT_EQ(fd.tQ[1], 8);
    EXPECT_EQ(fd.lA, -1);
    EXPECT_EQ(fd.ampRes, 1);
    EXPECT_EQ(fd.env[0], 30.0f);
    EXPECT_EQ(fd.env[1], 0.0f);
    EXPECT_EQ(fd.env[s.nh], 30.0f);
    EXPECT_EQ(fd.noise[0], 7.0f);
    // A single-envelope FIXFIX frame always uses 1.5 dB steps (7-bit start value).
    const SbrExtensionPayload one = monoFrame(f, false, 0, 100, 7);
    EXPECT_EQ(sbrParseExtension(h.get(), &one), 0);
    EXPECT_EQ(h->header.errorFlag, 0);
    EXPECT_EQ(fd.ampRes, 0);
    EXPECT_EQ(fd.env[0], 100.0f);
}

TEST(SbrBitstream, HeaderChangeDetection) {
    Handle h = openDecoder();
    HeaderFields f;
    SbrExtensionPayload p = monoFrame(f, true);
    (void)sbrParseExtension(h.get(), &p);
    ASSERT_EQ(h->active, 1);
    EXPECT_EQ(h->header.reset, 1);

    struct Case {
        const char* what;
        void (*change)(HeaderFields&);
        int tablesChanged, reset;
    } cases[] = {
        {"unchanged", [](HeaderFields&) {}, 0, 0},
        {"amp_res alone", [](HeaderFields& x) { x.ampRes = 0; }, 0, 0},
        {"crossover band", [](HeaderFields& x) { x.xover = 1; }, 1, 0},
        {"noise bands",
         [](HeaderFields& x) {
             x.extra1 = true;
             x.noiseBands = 1;
         },
         1, 0},
        {"start frequency", [](HeaderFields& x) { x.start = 6; }, 1, 1},
    };
    for (const Case& c : cases) {
        HeaderFields g = f;
        c.change(g);
        SbrExtensionPayload again = monoFrame(g, true);
        (void)sbrParseExtension(h.get(), &again);
        EXPECT_EQ(h->header.tablesChanged, c.tablesChanged) << c.what;
        EXPECT_EQ(h->header.reset, c.reset) << c.what;
        EXPECT_EQ(h->header.errorFlag, 0) << c.what;
        // Back to the reference header for the next case.
        SbrExtensionPayload back = monoFrame(f, true);
        (void)sbrParseExtension(h.get(), &back);
    }
}

TEST(SbrBitstream, GridsThatFailTheElement) {
    HeaderFields f;
    const Sizes s = sizesFor(f);
    struct Case {
        const char* what;
        void (*grid)(aactest::BitWriter&);
    } cases[] = {
        // FIXFIX with eight envelopes.
        {"fixfix 8 envelopes", [](aactest::BitWriter& w) { w.put(0, 2).put(3, 2).put(1, 1); }},
        // VARVAR with 2 + 2 relative borders: six envelopes.
        {"varvar six envelopes", [](aactest::BitWriter& w) { w.put(3, 2).put(0, 2).put(0, 2).put(2, 2).put(2, 2); }},
        // VARFIX starting at slot 0 with a pointer beyond the envelope count (2 envelopes, pointer 3).
        {"pointer beyond envelopes",
         [](aactest::BitWriter& w) { w.put(2, 2).put(0, 2).put(1, 2).put(0, 2).put(3, 2).put(0, 2); }},
    };
    for (const Case& c : cases) {
        Handle h = openDecoder();
        Builder b;
        b.header(f);
        b.w.put(0, 1);
        c.grid(b.w);
        b.w.put(0, 32);
        SbrExtensionPayload p = b.finish();
        EXPECT_EQ(sbrParseExtension(h.get(), &p), 0) << c.what;
        EXPECT_EQ(h->active, 1) << c.what;
        EXPECT_EQ(h->header.errorFlag, 1) << c.what;
    }
    (void)s;
}

TEST(SbrBitstream, FirstBorderMustContinueThePreviousFrame) {
    HeaderFields f;
    const Sizes s = sizesFor(f);
    // VARFIX, first border at slot `b0`, one envelope, pointer 0, high resolution.
    auto varfix = [&](bool header, int b0) {
        Builder b;
        if (header)
            b.header(f);
        else
            b.noHeader();
        b.w.put(0, 1);
        b.w.put(2, 2).put(b0, 2).put(0, 2).put(0, 1).put(1, 1);
        b.w.put(0, 1).put(0, 1);  // df_env, df_noise
        for (int q = 0; q < s.nq; ++q)
            b.w.put(0, 2);
        b.envFreq(s.nh, 6, 20, aactables::kSbrFHuffmanEnv30dB);
        b.envFreq(s.nq, 5, 10, aactables::kSbrFHuffmanEnv30dB);
        b.w.put(0, 1).put(0, 1);
        return b.finish();
    };
    Handle h = openDecoder();
    // Right after open a first border of 0..3 is accepted.
    SbrExtensionPayload first = varfix(true, 2);
    (void)sbrParseExtension(h.get(), &first);
    EXPECT_EQ(h->header.errorFlag, 0);
    sbrDecodeEnvelopes(h->header, h->channels[0].frame, h->channels[0].previous, nullptr, nullptr);
    EXPECT_EQ(h->header.firstFrame, 0);
    // The previous frame ended at 16: the next must start at 0.
    SbrExtensionPayload bad = varfix(false, 1);
    (void)sbrParseExtension(h.get(), &bad);
    EXPECT_EQ(h->header.errorFlag, 1);
    // After an error, firstFrame is set again and 0..3 is accepted.
    sbrDecodeEnvelopes(h->header, h->channels[0].frame, h->channels[0].previous, nullptr, nullptr);
    EXPECT_EQ(h->header.firstFrame, 1);
    SbrExtensionPayload good = varfix(false, 1);
    (void)sbrParseExtension(h.get(), &good);
    EXPECT_EQ(h->header.errorFlag, 0);
}

TEST(SbrBitstream, CrcProtectedPayload) {
    HeaderFields f;
    // Body without the CRC: header and element.
    Builder body;
    body.header(f);
    writeMonoFixFix(body, sizesFor(f), 1, 0, 1, 20, 10);
    const int64_t bodyBits = body.w.bits() - 4;
    const std::vector<uint8_t> bytes = body.w.data();
    auto bitAt = [&](int64_t i) { return (bytes[size_t(i >> 3)] >> (7 - (i & 7))) & 1; };
    // Payload bits: 4 + 10 (CRC) + body, padded to bytes; the CRC covers everything after it.
    const int64_t total = 4 + 10 + bodyBits;
    const int64_t padded = (total + 7) / 8 * 8;
    uint32_t crc = 0;
    for (int64_t i = 0; i < padded - 14; ++i) {
        const uint32_t in = i < bodyBits ? uint32_t(bitAt(4 + i)) : 0u;
        const uint32_t top = (crc >> 9) & 1u;
        crc = (crc << 1) & 0x3FF;
        if (top ^ in) crc ^= 0x233;  // x^10 + x^9 + x^5 + x^4 + x + 1
    }
    auto make = [&](uint32_t crcValue) {
        Builder b;
        b.w.put(crcValue, 10);
        for (int64_t i = 0; i < bodyBits; ++i)
            b.w.put(uint32_t(bitAt(4 + i)), 1);
        return b.finish(0, 14);
    };
    Handle h = openDecoder();
    SbrExtensionPayload good = make(crc);
    EXPECT_EQ(sbrParseExtension(h.get(), &good), 0);
    EXPECT_EQ(h->active, 1);
    EXPECT_EQ(h->header.errorFlag, 0);

    Handle h2 = openDecoder();
    SbrExtensionPayload bad = make(crc ^ 1);
    EXPECT_EQ(sbrParseExtension(h2.get(), &bad), 0);
    EXPECT_EQ(h2->active, 0);  // header skipped
    EXPECT_EQ(h2->header.errorFlag, 1);
}

TEST(SbrBitstream, ReadsPastTheEndYieldZerosAndFailTheLengthTest) {
    SbrBitReader r;
    const uint8_t bytes[2] = {0xFF, 0xFF};
    r.init(bytes, 2, 16);
    EXPECT_EQ(r.read(12), 0xFFFu);
    EXPECT_EQ(r.read(8), 0u);  // only 4 bits left: zeros, nothing read beyond
    EXPECT_EQ(r.remaining, 0);
    EXPECT_EQ(r.consumed, 20);
    EXPECT_EQ(r.read(16), 0u);
    EXPECT_EQ(r.consumed, 36);

    // A payload cut after its header: the element data reads zeros, the length test fails.
    HeaderFields f;
    SbrExtensionPayload full = monoFrame(f, true);
    Handle h = openDecoder();
    SbrExtensionPayload cut = full;
    cut.size = 3;
    std::fill(cut.data + 3, cut.data + sizeof cut.data, uint8_t(0xA5));  // must never be read
    (void)sbrParseExtension(h.get(), &cut);
    EXPECT_EQ(h->header.errorFlag, 1);

    // A byte count beyond the record never reads outside it.
    SbrExtensionPayload huge = full;
    huge.size = 100000;
    Handle h2 = openDecoder();
    (void)sbrParseExtension(h2.get(), &huge);
    EXPECT_EQ(h2->header.errorFlag, 1);

    // Bits that do not end in the payload's last byte: concealed, SBR stays active.
    SbrExtensionPayload longer = full;
    longer.size += 1;
    Handle h3 = openDecoder();
    (void)sbrParseExtension(h3.get(), &longer);
    EXPECT_EQ(h3->active, 1);
    EXPECT_EQ(h3->header.errorFlag, 1);
}

TEST(SbrBitstream, ExtendedDataWithParametricStereo) {
    HeaderFields f;
    const Sizes s = sizesFor(f);
    // ps_data: header with IID (mode 0) and ICC (mode 0) enabled, fixed class, 1 envelope,
    // all deltas 0 (frequency coded).
    auto psData = [](aactest::BitWriter& w) {
        Builder tmp;
        w.put(1, 1).put(1, 1).put(0, 3).put(1, 1).put(0, 3).put(0, 1);
        w.put(0, 1).put(1, 2);
        w.put(0, 1);
        for (int b = 0; b < 10; ++b) {
            const Code c = codeOf(aactables::kPsHuffIidDf, 0);
            w.put(c.bits, c.length);
        }
        w.put(0, 1);
        for (int b = 0; b < 10; ++b) {
            const Code c = codeOf(aactables::kPsHuffIccDf, 0);
            w.put(c.bits, c.length);
        }
    };
    for (int copies : {1, 2}) {
        aactest::BitWriter ps;
        for (int i = 0; i < copies; ++i) {
            ps.put(2, 2);  // bs_extension_id: parametric stereo
            psData(ps);
        }
        ps.align();
        const std::vector<uint8_t> psBytes = ps.data();
        Builder b;
        b.header(f);
        writeMonoFixFix(b, s, 1, 0, 1, 20, 10, true);
        b.w.put(1, 1).put(uint32_t(psBytes.size()), 4);
        for (uint8_t v : psBytes)
            b.w.put(v, 8);
        Handle h = openDecoder();
        SbrExtensionPayload p = b.finish();
        (void)sbrParseExtension(h.get(), &p);
        EXPECT_EQ(h->header.extensionMode, kSbrModePs) << copies;
        EXPECT_TRUE(sbrIsParametricStereo(h.get()));
        // A second PS extension in one payload is an error.
        EXPECT_EQ(h->header.errorFlag, copies == 2 ? 1 : 0) << copies;
        EXPECT_EQ(h->ps->numEnv, 1);
        EXPECT_EQ(h->ps->enableIid, 1);
    }
}

TEST(SbrBitstream, CoupledPairStoresBalanceValuesDoubled) {
    HeaderFields f;
    const Sizes s = sizesFor(f);
    using namespace aactables;
    Builder b;
    b.header(f);
    b.w.put(0, 1);                      // bs_data_extra
    b.w.put(1, 1);                      // bs_coupling
    b.w.put(0, 2).put(1, 2).put(1, 1);  // FIXFIX, 2 envelopes (3 dB), high resolution
    for (int ch = 0; ch < 2; ++ch)
        b.w.put(0, 1).put(0, 1).put(0, 1).put(0, 1);  // df_env x2, df_noise x2
    for (int q = 0; q < s.nq; ++q)
        b.w.put(0, 2);
    b.envFreq(s.nh, 6, 30, kSbrFHuffmanEnv30dB).envFreq(s.nh, 6, 30, kSbrFHuffmanEnv30dB);
    b.envFreq(s.nq, 5, 8, kSbrFHuffmanEnv30dB).envFreq(s.nq, 5, 8, kSbrFHuffmanEnv30dB);
    // Balance channel: 5-bit start values at 3 dB, deltas of +1 from the balance book.
    b.envFreq(s.nh, 5, 6, kSbrFHuffmanEnvBal30dB, 1).envFreq(s.nh, 5, 6, kSbrFHuffmanEnvBal30dB);
    b.envFreq(s.nq, 5, 6, kSbrFHuffmanEnvBal30dB).envFreq(s.nq, 5, 6, kSbrFHuffmanEnvBal30dB);
    b.w.put(0, 1).put(0, 1).put(0, 1);  // harmonics x2, extended data
    Handle h = openDecoder();
    SbrExtensionPayload p = b.finish(2);
    EXPECT_EQ(sbrParseExtension(h.get(), &p), 0);
    EXPECT_EQ(h->header.errorFlag, 0);
    EXPECT_EQ(h->header.extensionMode, kSbrModePair);
    const SbrFrameData& f1 = h->channels[1].frame;
    EXPECT_EQ(f1.coupling, 2);
    EXPECT_EQ(f1.numEnv, 2);
    EXPECT_EQ(f1.env[0], 12.0f);
    EXPECT_EQ(f1.env[1], 2.0f);
    EXPECT_EQ(f1.noise[0], 12.0f);
    EXPECT_EQ(h->channels[0].frame.env[0], 30.0f);
}

TEST(SbrBitstream, UnknownElementKindSwitchesSbrOff) {
    HeaderFields f;
    SbrExtensionPayload p = monoFrame(f, true);
    p.element = 3;
    Handle h = openDecoder();
    std::vector<float> samples(2048, 0.0f);
    EXPECT_EQ(sbrDecoderApply(h.get(), &p, samples.data(), 1), 12);
    EXPECT_EQ(h->active, 0);
    EXPECT_EQ(h->header.errorFlag, 1);
}

TEST(SbrBitstream, HuffmanDecodeWalksTheTree) {
    using namespace aactables;
    for (const HuffmanCodebook* book : {&kSbrTHuffmanEnv15dB, &kSbrFHuffmanEnvBal30dB, &kSbrTHuffmanNoise30dB}) {
        aactest::BitWriter w;
        for (int i = 0; i < book->count; ++i)
            w.put(book->entries[i].codeword, book->entries[i].length);
        w.align();
        const std::vector<uint8_t> d = w.data();
        SbrBitReader r;
        r.init(d.data(), int32_t(d.size()), int32_t(d.size()) * 8);
        for (int i = 0; i < book->count; ++i)
            EXPECT_EQ(sbrHuffmanDecode(*book, r), book->entries[i].values[0]);
    }
}

TEST(SbrBitstream, InvalidHeaderWhileActiveRestoresThePreviousOne) {
    Handle h = openDecoder();
    HeaderFields f;
    SbrExtensionPayload good = monoFrame(f, true);
    (void)sbrParseExtension(h.get(), &good);
    ASSERT_EQ(h->active, 1);
    const int32_t kx = h->channels[0].state->adjuster.tables.kx;
    // start 9 / stop 15 at 44100: a span of 36 bands, refused.
    HeaderFields bad = f;
    bad.start = 9;
    bad.stop = 15;
    SbrExtensionPayload p = monoFrame(bad, true);
    EXPECT_EQ(sbrParseExtension(h.get(), &p), 0);
    EXPECT_EQ(h->active, 1);
    EXPECT_EQ(h->header.errorFlag, 1);
    EXPECT_EQ(h->header.startFreq, 5);
    EXPECT_EQ(h->header.stopFreq, 9);
    EXPECT_EQ(h->channels[0].state->tablesValid, 1);
    EXPECT_EQ(h->channels[0].state->adjuster.tables.kx, kx);

    // The same header before any valid one: no tables, SBR stays off (14).
    Handle fresh = openDecoder();
    std::vector<float> samples(2048, 0.0f);
    EXPECT_EQ(sbrDecoderApply(fresh.get(), &p, samples.data(), 1), 14);
    EXPECT_EQ(fresh->active, 0);
    EXPECT_EQ(fresh->header.errorFlag, 0);
}

TEST(SbrBitstream, ResetSwitchesOffAndKeepsTheHeader) {
    Handle h = openDecoder();
    HeaderFields f;
    SbrExtensionPayload p = monoFrame(f, true);
    std::vector<float> samples(2048, 100.0f);
    (void)sbrDecoderApply(h.get(), &p, samples.data(), 1);
    ASSERT_EQ(h->active, 1);
    sbrDecoderReset(h.get());
    EXPECT_EQ(h->active, 0);
    EXPECT_EQ(h->header.startFreq, 5);
    EXPECT_EQ(h->channels[0].state->tablesValid, 1);
    // A payload without a header re-activates nothing; one with a header does.
    SbrExtensionPayload noHeader = monoFrame(f, false);
    (void)sbrDecoderApply(h.get(), &noHeader, samples.data(), 1);
    EXPECT_EQ(h->active, 0);
    (void)sbrDecoderApply(h.get(), &p, samples.data(), 1);
    EXPECT_EQ(h->active, 1);
}

// The four grid classes: envelope count and borders, frequency resolutions in the order the
// class sends them, the transient envelope from the pointer, and a noise grid on the
// envelope borders.
TEST(SbrBitstream, GridClasses) {
    HeaderFields f;
    const Sizes s = sizesFor(f);
    struct Case {
        const char* what;
        std::vector<std::pair<uint32_t, int>> grid;  // (value, bits) after bs_data_extra
        std::vector<int> borders;                    // tE[0..LE]
        std::vector<int> freqRes;                    // per envelope
        int lA;
    } cases[] = {
        {"fixfix 1", {{0, 2}, {0, 2}, {1, 1}}, {0, 16}, {1}, -1},
        {"fixfix 2", {{0, 2}, {1, 2}, {0, 1}}, {0, 8, 16}, {0, 0}, -1},
        {"fixfix 4", {{0, 2}, {2, 2}, {1, 1}}, {0, 4, 8, 12, 16}, {1, 1, 1, 1}, -1},
        // FIXVAR: end at 16 + 1, one relative border of 2*1 + 2 back from it, pointer 1 of
        // 2 bits; resolutions are sent last envelope first.
        {"fixvar", {{1, 2}, {1, 2}, {1, 2}, {1, 2}, {1, 2}, {1, 1}, {0, 1}}, {0, 13, 17}, {0, 1}, 2},
        // VARFIX: start at slot 2 (first frame), two relative borders of 4 and 2 slots,
        // pointer 2 of 2 bits; resolutions first envelope first.
        {"varfix",
         {{2, 2}, {2, 2}, {2, 2}, {1, 2}, {0, 2}, {2, 2}, {1, 1}, {0, 1}, {1, 1}},
         {2, 6, 8, 16},
         {1, 0, 1},
         1},
        // VARVAR: from slot 1 to 16 + 2, one border 2 slots after the start and one 4 slots
        // before the end, no pointer (0 of 2 bits); resolutions first envelope first.
        {"varvar",
         {{3, 2}, {1, 2}, {2, 2}, {1, 2}, {1, 2}, {0, 2}, {1, 2}, {0, 2}, {0, 1}, {1, 1}, {1, 1}},
         {1, 3, 14, 18},
         {0, 1, 1},
         -1},
    };
    for (const Case& c : cases) {
        Handle h = openDecoder();
        Builder b;
        b.header(f);
        b.w.put(0, 1);  // bs_data_extra
        for (const auto& [value, bits] : c.grid)
            b.w.put(value, bits);
        const int le = int(c.borders.size()) - 1;
        const int lq = le > 1 ? 2 : 1;
        for (int l = 0; l < le; ++l)
            b.w.put(0, 1);  // bs_df_env
        for (int q = 0; q < lq; ++q)
            b.w.put(0, 1);  // bs_df_noise
        for (int q = 0; q < s.nq; ++q)
            b.w.put(0, 2);  // bs_invf_mode
        const bool oneEnvelope = c.grid[0].first == 0 && le == 1;
        for (int l = 0; l < le; ++l)
            b.envFreq(c.freqRes[size_t(l)] ? s.nh : s.nl, oneEnvelope ? 7 : 6, 20,
                      oneEnvelope ? aactables::kSbrFHuffmanEnv15dB : aactables::kSbrFHuffmanEnv30dB);
        for (int q = 0; q < lq; ++q)
            b.envFreq(s.nq, 5, 10, aactables::kSbrFHuffmanEnv30dB);
        b.w.put(0, 1).put(0, 1);  // bs_add_harmonic_flag, bs_extended_data
        const SbrExtensionPayload p = b.finish();
        EXPECT_EQ(sbrParseExtension(h.get(), &p), 0) << c.what;
        EXPECT_EQ(h->header.errorFlag, 0) << c.what;
        const SbrFrameData& fd = h->channels[0].frame;
        EXPECT_EQ(fd.frameClass, int(c.grid[0].first)) << c.what;
        ASSERT_EQ(int(fd.numEnv), le) << c.what;
        for (int l = 0; l <= le; ++l)
            EXPECT_EQ(int(fd.tE[l]), c.borders[size_t(l)]) << c.what << " border " << l;
        for (int l = 0; l < le; ++l)
            EXPECT_EQ(int(fd.freqRes[l]), c.freqRes[size_t(l)]) << c.what << " envelope " << l;
        EXPECT_EQ(fd.lA, c.lA) << c.what;
        ASSERT_EQ(int(fd.numNoise), lq) << c.what;
        EXPECT_EQ(int(fd.tQ[0]), c.borders.front()) << c.what;
        EXPECT_EQ(int(fd.tQ[lq]), c.borders.back()) << c.what;
        if (lq == 2) {
            EXPECT_NE(std::find(c.borders.begin() + 1, c.borders.end() - 1, int(fd.tQ[1])), c.borders.end() - 1)
                << c.what;
        }
    }
}
