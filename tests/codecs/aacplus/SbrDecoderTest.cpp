// The SBR decoder handle: open/close, pass-through before a header, mono to stereo,
// downsampled mode, and the high band following the transmitted envelope.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
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

Handle open(int32_t rate, void (*tweak)(SbrDecoderConfig&) = nullptr) {
    SbrDecoderConfig c;
    sbrGetDefaultConfig(&c, 0);
    if (tweak) tweak(c);
    return Handle(sbrDecoderOpen(rate, 1024, &c));
}

std::vector<float> tone(double freq, double rate, int n, double amp, int phase0 = 0) {
    std::vector<float> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        v[size_t(i)] = float(amp * std::sin(2 * M_PI * freq * (i + phase0) / rate));
    return v;
}

// Decodes `frames` frames of a tone through the handle; each frame gets `payload` (or none).
std::vector<float> run(SbrDecoder* h, const SbrExtensionPayload* payload, int frames, int outChannels = 1,
                       double freq = 1000.0) {
    std::vector<float> out;
    SbrExtensionPayload empty;
    empty.count = 0;
    empty.size = 0;
    for (int fr = 0; fr < frames; ++fr) {
        const std::vector<float> in = tone(freq, 22050, 1024, 8000.0, fr * 1024);
        std::vector<float> buf(static_cast<size_t>(2048 * std::max(outChannels, 1)), 0.0f);
        std::copy(in.begin(), in.end(), buf.begin());
        (void)sbrDecoderApply(h, payload ? payload : &empty, buf.data(), 1);
        out.insert(out.end(), buf.begin(), buf.end());
    }
    return out;
}

double energy(const std::vector<float>& v, size_t from, size_t to) {
    double e = 0;
    for (size_t i = from; i < to; ++i)
        e += double(v[i]) * v[i];
    return e;
}

}  // namespace

TEST(SbrDecoder, OpenChecksRateAndConfiguration) {
    EXPECT_FALSE(open(7999));
    EXPECT_FALSE(open(48001));
    EXPECT_TRUE(open(8000));
    EXPECT_TRUE(open(48000));
    EXPECT_FALSE(open(22050, [](SbrDecoderConfig& c) { c.words[0] = 1; }));
    EXPECT_FALSE(open(22050, [](SbrDecoderConfig& c) { c.words[10] = 60; }));
    sbrDecoderClose(nullptr);
}

TEST(SbrDecoder, BeforeAHeaderTheCoreIsUpsampled) {
    Handle h = open(22050);
    ASSERT_TRUE(h);
    const std::vector<float> out = run(h.get(), nullptr, 6);
    ASSERT_EQ(out.size(), 6u * 2048u);
    EXPECT_EQ(sbrGetRateRatio(h.get()), 2.0f);
    EXPECT_EQ(sbrGetOutputChannels(h.get(), 1), 1);
    // The same tone at twice the rate, delayed by the banks (578 samples) and the six
    // look-ahead slots (384 samples), within 50 dB.
    const std::vector<float> ref = tone(1000, 44100, 6 * 2048, 8000.0);
    double sig = 0, err = 0;
    for (size_t i = 4096; i < out.size(); ++i) {
        const double r = ref[i - 962];
        sig += r * r;
        err += (out[i] - r) * (out[i] - r);
    }
    EXPECT_GT(10 * std::log10(sig / err), 50.0);
}

TEST(SbrDecoder, MonoToStereoWithoutPsDuplicatesTheChannel) {
    Handle h = open(22050);
    sbrSetMonoToStereo(sbrDecoderConfig(h.get()), 1);
    EXPECT_EQ(sbrGetOutputChannels(h.get(), 1), 2);
    HeaderFields f;
    Builder b;
    b.header(f);
    writeMonoFixFix(b, sizesFor(f), 1, 0, 1, 20, 10);
    const SbrExtensionPayload p = b.finish();
    const std::vector<float> out = run(h.get(), &p, 3, 2);
    for (size_t i = 0; i < out.size(); i += 2)
        ASSERT_EQ(out[i], out[i + 1]) << i;
    EXPECT_GT(energy(out, 0, out.size()), 0.0);
}

TEST(SbrDecoder, HighBandFollowsTheEnvelope) {
    // Same core tone, envelopes 6 steps of 3 dB apart: the replicated band differs by about 18 dB.
    HeaderFields f;
    auto highBand = [&](int start) {
        Handle h = open(22050);
        Handle ref = open(22050);
        Builder b;
        b.header(f);
        writeMonoFixFix(b, sizesFor(f), 1, 1, 1, start, 20);  // two envelopes, 3 dB, little noise
        const SbrExtensionPayload p = b.finish();
        const std::vector<float> sbr = run(h.get(), &p, 8);
        const std::vector<float> plain = run(ref.get(), nullptr, 8);
        std::vector<float> diff(sbr.size());
        for (size_t i = 0; i < sbr.size(); ++i) {
            EXPECT_TRUE(std::isfinite(sbr[i]));
            diff[i] = sbr[i] - plain[i];
        }
        EXPECT_EQ(h->active, 1);
        EXPECT_EQ(h->header.errorFlag, 0);
        return energy(diff, 4096, diff.size());
    };
    const double low = highBand(8), high = highBand(14);
    ASSERT_GT(low, 0.0);
    const double db = 10 * std::log10(high / low);
    EXPECT_NEAR(db, 18.06, 1.0);
}

TEST(SbrDecoder, DownsampledModeKeepsTheCoreRate) {
    Handle h = open(44100, [](SbrDecoderConfig& c) { c.words[14] = 1; });
    ASSERT_TRUE(h);
    EXPECT_EQ(sbrGetRateRatio(h.get()), 1.0f);
    SbrExtensionPayload empty;
    std::vector<float> buf(2048, 0.0f);
    const std::vector<float> in = tone(1000, 44100, 1024, 1000.0);
    std::copy(in.begin(), in.end(), buf.begin());
    (void)sbrDecoderApply(h.get(), &empty, buf.data(), 1);
    // Only the first 1024 samples are written.
    for (size_t i = 1024; i < buf.size(); ++i)
        ASSERT_EQ(buf[i], 0.0f);
}

TEST(SbrDecoder, MissingPayloadWhileActiveConceals) {
    Handle h = open(22050);
    HeaderFields f;
    Builder b;
    b.header(f);
    writeMonoFixFix(b, sizesFor(f), 1, 0, 1, 20, 10);
    const SbrExtensionPayload p = b.finish();
    run(h.get(), &p, 2);
    ASSERT_EQ(h->active, 1);
    run(h.get(), nullptr, 1);
    EXPECT_EQ(h->header.errorFlag, 1);
    EXPECT_EQ(h->active, 1);
    // A stale payload (count 0, bytes left from an earlier frame) switches SBR off.
    SbrExtensionPayload stale = p;
    stale.count = 0;
    run(h.get(), &stale, 1);
    EXPECT_EQ(h->active, 0);
}

namespace {

// A mono SBR frame carrying PS data: IID `iid` (coarse, 10 bands) and ICC `icc`.
SbrExtensionPayload monoWithPs(int iid, int icc) {
    HeaderFields f;
    aactest::BitWriter ps;
    ps.put(2, 2);  // bs_extension_id: PS
    ps.put(1, 1).put(1, 1).put(0, 3).put(1, 1).put(0, 3).put(0, 1);
    ps.put(0, 1).put(1, 2);  // fixed class, one envelope
    ps.put(0, 1);
    for (int b = 0; b < 10; ++b) {
        const Code c = codeOf(aactables::kPsHuffIidDf, b == 0 ? iid : 0);
        ps.put(c.bits, c.length);
    }
    ps.put(0, 1);
    for (int b = 0; b < 10; ++b) {
        const Code c = codeOf(aactables::kPsHuffIccDf, b == 0 ? icc : 0);
        ps.put(c.bits, c.length);
    }
    ps.align();
    const std::vector<uint8_t> bytes = ps.data();
    Builder b;
    b.header(f);
    writeMonoFixFix(b, sizesFor(f), 1, 0, 1, 20, 10, true);
    b.w.put(1, 1).put(uint32_t(bytes.size()), 4);
    for (uint8_t v : bytes)
        b.w.put(v, 8);
    return b.finish();
}

}  // namespace

TEST(SbrDecoder, MonoElementGainsParametricStereo) {
    Handle h = open(22050, [](SbrDecoderConfig& c) { c.words[13] = 1; });  // low power until PS
    ASSERT_TRUE(h);
    sbrSetMonoToStereo(sbrDecoderConfig(h.get()), 1);
    HeaderFields f;
    Builder b;
    b.header(f);
    writeMonoFixFix(b, sizesFor(f), 1, 0, 1, 20, 10);
    const SbrExtensionPayload plain = b.finish();
    const std::vector<float> before = run(h.get(), &plain, 4, 2);
    EXPECT_FALSE(sbrIsParametricStereo(h.get()));

    // PS with no level difference and full coherence: both channels stay equal and
    // continue the plain frames' level.
    const SbrExtensionPayload same = monoWithPs(0, 0);
    const std::vector<float> withPs = run(h.get(), &same, 4, 2);
    EXPECT_TRUE(sbrIsParametricStereo(h.get()));
    EXPECT_EQ(h->config.words[13], 0);
    EXPECT_EQ(qmfAnalysisKernel.load(), &qmfAnalysisComplex);
    EXPECT_EQ(qmfSynthesisKernel.load(), &qmfSynthesisComplex);
    double diff = 0, sig = 0;
    for (size_t i = 0; i < withPs.size(); i += 2) {
        diff += double(withPs[i] - withPs[i + 1]) * (withPs[i] - withPs[i + 1]);
        sig += double(withPs[i]) * withPs[i];
    }
    EXPECT_LT(diff, sig * 1e-8);
    const double eBefore = energy(before, before.size() - 4096, before.size());
    const double eFirst = energy(withPs, 0, 4096);
    EXPECT_NEAR(10 * std::log10(eFirst / eBefore), 0.0, 1.0);

    // A large level difference (IID index 7 = 25 dB) makes the channels differ in level.
    const SbrExtensionPayload loud = monoWithPs(7, 0);
    const std::vector<float> panned = run(h.get(), &loud, 4, 2);
    double el = 0, er = 0;
    for (size_t i = 0; i < panned.size(); ++i)
        ASSERT_TRUE(std::isfinite(panned[i])) << i;
    for (size_t i = 4096; i < panned.size(); i += 2) {
        el += double(panned[i]) * panned[i];
        er += double(panned[i + 1]) * panned[i + 1];
    }
    EXPECT_GT(10 * std::log10(el / er), 20.0);
    sbrDecoderClose(h.release());
    qmfUseComplexKernels();
}
