#include "codecs/aacplus/SbrDecoder.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace aacplus {

void sbrGetDefaultConfig(SbrDecoderConfig* c, int32_t bypass) {
    if (!c) return;
    *c = SbrDecoderConfig();
    c->words[0] = bypass;
    c->words[1] = 2;
    c->words[2] = 2;
    c->words[3] = 4;
    c->words[4] = 1;
    c->setFloat(5, 1000.0f);
    c->words[6] = 0;
    c->setFloat(7, 1.0f);
    c->setFloat(8, 1.0f);
    c->words[9] = 0;
    c->words[10] = 40;
    c->setFloat(11, 0.05f);
    c->setFloat(12, 0.0f);
    c->words[13] = 0;
    c->words[14] = 0;
    c->words[15] = 0;
}

void sbrSetMonoToStereo(SbrDecoderConfig* c, int32_t flag) {
    if (c) c->words[15] = flag;
}

SbrDecoderConfig* sbrDecoderConfig(SbrDecoder* h) { return h ? &h->config : nullptr; }

namespace {

constexpr int kScratchFloats = 4096;

// Both inputs may be the same buffer (read only, so __restrict still holds).
void interleaveChannels(const float* __restrict a, const float* __restrict b, float* __restrict out, int n) {
    for (int i = 0; i < n; ++i) {
        out[2 * i] = a[i];
        out[2 * i + 1] = b[i];
    }
}

void closeChannelState(SbrChannelState* s) {
    if (!s) return;
    qmfClose(s->analysis);
    qmfClose(s->synthesis);
    sbrHfGeneratorClose(s->hfGenerator);
    sbrEnvelopeAdjusterClose(s->adjuster);
    delete s;
}

SbrChannelState* createChannelState(int32_t rate, int32_t frameLength, const SbrDecoderConfig& c) {
    auto* s = new (std::nothrow) SbrChannelState();
    if (!s) return nullptr;
    const int lowPower = c.words[13] != 0;
    const int down = c.words[14] ? 2 : 1;
    s->bypass = c.words[0];
    s->coreFrameLength = frameLength;
    s->downsampling = down;
    s->outputFrameLength = 2 * frameLength / down;
    s->coreRate = rate;
    s->outputRate = 2 * rate / down;
    s->adjusterOn = c.words[1];
    s->invfOverride = c.words[3];
    for (int r = 0; r < kSbrRows; ++r) {
        s->rowsRe[r] = s->storageRe[r];
        s->rowsIm[r] = s->storageIm[r];
    }
    if ((s->outputFrameLength != 1024 && s->outputFrameLength != 2048) || frameLength != 1024 || s->bypass) {
        delete s;
        return nullptr;
    }
    if (qmfAnalysisOpen(s->analysis, 0, 2, down, frameLength, lowPower) ||
        qmfSynthesisOpen(s->synthesis, 0, down, s->outputFrameLength, c.getFloat(7), c.getFloat(8), lowPower) ||
        sbrHfGeneratorOpen(s->hfGenerator, c, 64, s->bypass, s->slots) ||
        sbrEnvelopeAdjusterOpen(s->adjuster, 2 * kSbrTimeSlots, kSbrTimeSlots)) {
        closeChannelState(s);
        return nullptr;
    }
    s->analysis.rangeEnd = 32;
    s->synthesis.rangeStart = 32 / down;
    s->synthesis.rangeEnd = s->synthesis.bands;
    return s;
}

}  // namespace

SbrDecoder* sbrDecoderOpen(int32_t coreRate, int32_t coreFrameLength, const SbrDecoderConfig* config) {
    if (!config || config->words[0] != 0) return nullptr;
    if (coreRate < 8000 || coreRate > 48000) return nullptr;
    auto* h = new (std::nothrow) SbrDecoder();
    if (!h) return nullptr;
    h->scratch = new (std::nothrow) float[kScratchFloats]();
    h->ps = new (std::nothrow) PsDecoder();
    h->config = *config;
    h->header = SbrHeader();
    h->active = 0;
    bool ok = h->scratch && h->ps;
    for (int c = 0; c < 2 && ok; ++c) {
        h->channels[c].coreRate = coreRate;
        h->channels[c].coreFrameLength = coreFrameLength;
        h->channels[c].state = createChannelState(coreRate, coreFrameLength, h->config);
        ok = h->channels[c].state != nullptr;
    }
    if (ok) ok = psDecoderOpen(*h->ps, 64, 32) == nullptr;
    if (!ok) {
        sbrDecoderClose(h);
        return nullptr;
    }
    return h;
}

void sbrDecoderClose(SbrDecoder* h) {
    if (!h) return;
    for (auto& c : h->channels)
        closeChannelState(c.state);
    if (h->ps) psDecoderClose(*h->ps);
    delete h->ps;
    delete[] h->scratch;
    delete h;
}

const ErrorDescriptor* sbrChannelResetTables(SbrChannelState& s, SbrHeader& header, SbrFrameData& f) {
    s.tablesValid = 0;
    SbrBandTables& t = s.adjuster.tables;
    const int32_t oldKx = t.kx;
    const int32_t fsSbr = 2 * s.coreRate;
    if (const ErrorDescriptor* e = sbrComputeBandTables(t, header, 64, fsSbr)) return e;
    s.synthesis.rangeStart = t.kx;
    s.synthesis.rangeEnd = std::min(64 / s.downsampling, t.kx + t.m);
    s.analysis.rangeStart = 0;
    s.analysis.rangeEnd = t.kx;
    f.nl = t.nLow;
    f.nh = t.nHigh;
    f.nqValues = t.nNoise;
    f.nInvf = t.nNoise;
    f.nlTwiceMinusNh = 2 * t.nLow - t.nHigh;
    if (t.kx > oldKx && oldKx > 0) {
        // History rows carried replicated signal above the old crossover.
        const int from = std::clamp(2 * (f.prevLastBorder - kSbrTimeSlots) + kSbrHfAdjOffset, 2, kSbrLookahead);
        for (int r = 0; r < kSbrLookahead; ++r) {
            if (r >= 2 && r < from) continue;
            std::fill(s.rowsRe[r] + oldKx, s.rowsRe[r] + t.kx, 0.0f);
            std::fill(s.rowsIm[r] + oldKx, s.rowsIm[r] + t.kx, 0.0f);
        }
    }
    if (const ErrorDescriptor* e =
            sbrBuildPatches(s.hfGenerator, t.kx, t.fMaster, t.nMaster, t.fNoise, t.nNoise, fsSbr, 64, s.bypass))
        return e;
    int32_t starts[kSbrMaxPatches];
    for (int p = 0; p < s.hfGenerator.numPatches; ++p)
        starts[p] = s.hfGenerator.patches[p].targetStart;
    if (const ErrorDescriptor* e = sbrComputeLimiterTable(t.fLim, t.nLim, t.fLow, t.nLow, starts,
                                                          s.hfGenerator.numPatches, header.limiterBands))
        return e;
    s.tablesValid = 1;
    return nullptr;
}

namespace {

bool rebuildBoth(SbrDecoder* h, int channels) {
    bool ok = true;
    for (int c = 0; c < channels; ++c) {
        SbrChannel& ch = h->channels[c];
        ok &= sbrChannelResetTables(*ch.state, h->header, ch.frame) == nullptr;
    }
    return ok;
}

}  // namespace

int sbrParseExtension(SbrDecoder* h, const SbrExtensionPayload* p) {
    const int32_t bytes = std::clamp<int32_t>(p->size, 0, int32_t(sizeof p->data));
    SbrBitReader r;
    r.init(p->data, bytes, bytes * 8);
    r.read(4);
    if (p->type == 14 || (h->config.words[6] && p->type == 13)) {
        const uint32_t crc = r.read(10);
        const int32_t covered = 8 * bytes - 4 <= 10 ? 0 : 8 * bytes - 14;
        if (!sbrCheckCrc(r, covered, crc)) {
            h->header.errorFlag = 1;
            return 0;
        }
    }
    // Both channel slots carry tables: slot 1 is the output channel of parametric stereo.
    const int channels = 2;
    if (r.read(1)) {
        const SbrHeader saved = h->header;
        if (sbrParseHeader(h->header, r, h->active)) {
            bool ok = rebuildBoth(h, channels);
            bool failed = !ok;
            if (!ok) {
                if (h->active) {
                    const int32_t reset = h->header.reset;
                    h->header = saved;
                    h->header.reset = reset;
                    if (!rebuildBoth(h, channels)) h->active = 0;
                } else {
                    h->active = 0;
                }
            }
            for (int c = 0; c < channels; ++c)
                if (!h->channels[c].state->tablesValid) {
                    h->active = 0;
                    return 14;
                }
            h->active = 1;
            if (failed) {
                h->header.errorFlag = 1;
                return 0;
            }
        }
    }
    if (p->element != 0 && p->element != 2) return 12;
    if (h->active) {
        int ok;
        if (p->element == 0)
            ok = sbrParseSingleChannel(h->header, h->channels[0].frame, r, h->ps);
        else
            ok = sbrParseChannelPair(h->header, h->channels[0].frame, h->channels[1].frame, r);
        if (!ok) {
            h->header.errorFlag = 1;
            return 0;
        }
    }
    if ((r.consumed + 7) / 8 != bytes) h->header.errorFlag = 1;
    return 0;
}

namespace {

// One channel of an interleaved frame; the usual strides get loops the compiler can
// widen.
void takeChannel(const float* __restrict in, int stride, float* __restrict out, int n) {
    if (stride == 1) {
        std::memcpy(out, in, sizeof(float) * size_t(n));
    } else if (stride == 2) {
        for (int i = 0; i < n; ++i)
            out[i] = in[2 * i];
    } else {
        for (int i = 0; i < n; ++i)
            out[i] = in[size_t(i) * size_t(stride)];
    }
}

}  // namespace

void sbrChannelProcess(SbrChannelState& s, const float* input, int stride, const SbrHeader& header, SbrFrameData& f,
                       int lowPower, int active) {
    const int L = s.coreFrameLength;
    std::memmove(s.timeBuffer, s.timeBuffer + L, sizeof(float) * kSbrHistory);
    takeChannel(input, stride, s.timeBuffer + kSbrHistory, L);
    if (s.invfOverride < 4) std::fill(f.invfMode, f.invfMode + kSbrMaxNoiseBands, uint8_t(s.invfOverride));
    if (!active) {
        s.analysis.rangeStart = 0;
        s.analysis.rangeEnd = 32;
        s.synthesis.rangeStart = 32 / s.downsampling;
        s.synthesis.rangeEnd = s.synthesis.bands;
    }
    qmfAnalysisKernel.load()(s.timeBuffer, s.rowsRe + kSbrLookahead, s.rowsIm + kSbrLookahead, s.analysis);
    // The kernels always deliver complex values (see QmfBank.cpp), so the HF path runs complex.
    lowPower = 0;
    if (active && s.tablesValid) {
        sbrHfGenerate(s.rowsRe + kSbrHfAdjOffset, s.rowsIm + kSbrHfAdjOffset, s.rowsRe + kSbrHfAdjOffset,
                      s.rowsIm + kSbrHfAdjOffset, 2, f, s.hfGenerator, lowPower, s.bypass);
        if (s.adjusterOn)
            sbrAdjustEnvelope(s.adjuster, header, f, s.rowsRe + kSbrHfAdjOffset, s.rowsIm + kSbrHfAdjOffset, lowPower,
                              s.bypass);
    } else {
        for (int r = kSbrHfAdjOffset; r < kSbrRows; ++r) {
            std::fill(s.rowsRe[r] + 32, s.rowsRe[r] + 64, 0.0f);
            std::fill(s.rowsIm[r] + 32, s.rowsIm[r] + 64, 0.0f);
        }
    }
}

void sbrChannelSynthesis(SbrChannelState& s, float* out) {
    qmfSynthesisKernel.load()(s.rowsRe + kSbrHfAdjOffset, s.rowsIm + kSbrHfAdjOffset, out, s.synthesis);
    for (int i = 0; i < kSbrLookahead; ++i) {
        std::swap(s.rowsRe[i], s.rowsRe[i + 32]);
        std::swap(s.rowsIm[i], s.rowsIm[i + 32]);
    }
}

int sbrDecoderApply(SbrDecoder* h, const SbrExtensionPayload* p, float* samples, int stride) {
    if (!h || !p) return 0;
    const int channels = p->element == 2 ? 2 : 1;
    const int32_t count = std::min<int32_t>(p->count, 1);
    int result = 0;
    if (p->size == 0) {
        if (h->active) h->header.errorFlag = 1;
    } else if (count == 1) {
        result = sbrParseExtension(h, p);
        if (result != 0) {
            h->active = 0;
            if (result != 14) h->header.errorFlag = 1;
        }
    } else {
        h->active = 0;
    }

    const bool ps = h->header.extensionMode == kSbrModePs && channels == 1;
    if (h->active) {
        sbrDecodeEnvelopes(h->header, h->channels[0].frame, h->channels[0].previous,
                           channels == 2 ? &h->channels[1].frame : nullptr,
                           channels == 2 ? &h->channels[1].previous : nullptr);
        if (ps) {
            h->config.words[13] = 0;
            qmfUseComplexKernels();
            if (h->header.errorFlag) h->ps->dataPresent = false;
            psDecodeFrame(*h->ps);
        }
    }
    const int lowPower = h->config.words[13] != 0;
    if (samples)
        for (int c = 0; c < channels; ++c)
            sbrChannelProcess(*h->channels[c].state, samples + c, stride, h->header, h->channels[c].frame, lowPower,
                              h->active);

    const int outChannels = channels == 2 ? 2 : (h->config.words[15] ? 2 : 1);
    SbrChannelState& s0 = *h->channels[0].state;
    SbrChannelState& s1 = *h->channels[1].state;
    float savedRe[2][64], savedIm[2][64];
    const int kx = std::clamp(s0.synthesis.rangeStart, 0, 64);
    if (ps && samples) {
        for (int r = 0; r < 2; ++r) {
            std::copy(s0.rowsRe[32 + r], s0.rowsRe[32 + r] + kx, savedRe[r]);
            std::copy(s0.rowsIm[32 + r], s0.rowsIm[32 + r] + kx, savedIm[r]);
        }
        psApply(*h->ps, s0.rowsRe + kSbrHfAdjOffset, s0.rowsIm + kSbrHfAdjOffset, s1.rowsRe + kSbrHfAdjOffset,
                s1.rowsIm + kSbrHfAdjOffset);
        s1.synthesis.rangeStart = s0.synthesis.rangeStart;
        s1.synthesis.rangeEnd = s0.synthesis.rangeEnd;
    } else if (channels == 1 && outChannels == 2 && samples) {
        // Keep the hybrid filterbank primed so parametric stereo can start without a transient.
        psPrime(*h->ps, s0.rowsRe + kSbrRows - kHybridHistory, s0.rowsIm + kSbrRows - kHybridHistory);
    }

    if (samples) {
        const int n = s0.outputFrameLength;
        const bool interleave = outChannels == 2 && (stride == 1 || stride == 2);
        const int outStride = interleave ? 2 : stride;
        if (channels == 1 && outChannels == 2 && !ps) {
            sbrChannelSynthesis(s0, h->scratch);
            if (outStride == 2) {
                interleaveChannels(h->scratch, h->scratch, samples, n);
            } else {
                for (int i = 0; i < n; ++i) {
                    samples[size_t(i) * outStride] = h->scratch[i];
                    samples[size_t(i) * outStride + 1] = h->scratch[i];
                }
            }
            std::copy(s0.synthesis.delay, s0.synthesis.delay + 2 * s0.synthesis.windowLength, s1.synthesis.delay);
        } else if (outChannels == 2 && outStride == 2 && n <= kScratchFloats / 2) {
            // Both channels into the scratch, then interleaved in one pass.
            float* left = h->scratch;
            float* right = h->scratch + kScratchFloats / 2;
            sbrChannelSynthesis(s0, left);
            sbrChannelSynthesis(s1, right);
            interleaveChannels(left, right, samples, n);
        } else {
            for (int c = 0; c < outChannels; ++c) {
                sbrChannelSynthesis(*h->channels[c].state, h->scratch);
                for (int i = 0; i < n; ++i)
                    samples[size_t(i) * outStride + c] = h->scratch[i];
            }
        }
    }
    if (ps && samples) {
        for (int r = 0; r < 2; ++r) {
            std::copy(savedRe[r], savedRe[r] + kx, s0.rowsRe[r]);
            std::copy(savedIm[r], savedIm[r] + kx, s0.rowsIm[r]);
        }
    }
    return result;
}

int sbrGetOutputChannels(const SbrDecoder* h, int coreChannels) {
    if (h && coreChannels == 1 && h->config.words[15]) return 2;
    return coreChannels;
}

float sbrGetRateRatio(const SbrDecoder* h) {
    if (!h) return 1.0f;
    const SbrChannelState& s = *h->channels[0].state;
    return float(s.upsampling) / float(s.downsampling);
}

bool sbrIsParametricStereo(const SbrDecoder* h) { return h && h->header.extensionMode == kSbrModePs; }

void sbrDecoderReset(SbrDecoder* h) {
    if (!h) return;
    h->active = 0;
    for (auto& c : h->channels) {
        SbrChannelState& s = *c.state;
        if (s.adjuster.tables.nMaster > 0)
            (void)sbrChannelResetTables(s, h->header, c.frame);  // rebuilt from the next header
        std::fill(s.adjuster.tables.prevHarmonics, s.adjuster.tables.prevHarmonics + kSbrMaxHighBands, 0.0f);
        for (int r = 0; r < kSbrRows; ++r) {
            std::fill(s.storageRe[r], s.storageRe[r] + 64, 0.0f);
            std::fill(s.storageIm[r], s.storageIm[r] + 64, 0.0f);
        }
        qmfReset(s.analysis);
        qmfReset(s.synthesis);
        std::fill(s.timeBuffer, s.timeBuffer + kSbrHistory + 1024, 0.0f);
    }
}

}  // namespace aacplus
