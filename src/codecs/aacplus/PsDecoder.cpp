#include "codecs/aacplus/PsDecoder.h"

#include <algorithm>
#include <cmath>

#include "codecs/aactables/tables/AacTables.h"

namespace aacplus {

namespace {

using aactables::HuffmanCodebook;

constexpr int kParCount[3] = {10, 20, 34};

struct PsHeaderFields {
    bool headerSeen;
    int enableIid, enableIcc, enableExt, iidMode, iccMode, iidFine, iccModeHigh;
};

int huff(const HuffmanCodebook& book, SbrBitReader& r) {
    int node = 0;
    for (int i = 0; i <= book.maxLength; ++i) {
        const int child = book.tree[node].child[r.readBit() & 1];
        if (child < 0) return book.entries[~child].values[0];
        node = child;
    }
    return 0;
}

void skipBits(SbrBitReader& r, int bits) {
    while (bits > 0) {
        const int n = std::min(bits, 8);
        r.read(n);
        bits -= n;
    }
}

PsTables buildTables() {
    PsTables t;
    for (int row = 0; row < kPsAllpassBands; ++row) {
        static const int kDelays[3] = {3, 4, 5};
        for (int m = 0; m < kPsAllpassLinks; ++m)
            t.allpass[row][m] = float((1.0 - 0.05 * row) * std::exp(-kDelays[m] / 7.0));
    }
    auto scale = [](double db) { return float(std::sqrt(2.0 / (1.0 + std::pow(10.0, db / 10.0)))); };
    for (int i = 0; i < 15; ++i)
        t.iidCoarse[i] = scale(aactables::kPsIidStepsDb[i]);
    for (int i = 0; i < 31; ++i)
        t.iidFine[i] = scale(aactables::kPsIidFineStepsDb[i]);
    for (int i = 0; i < 8; ++i)
        t.iccAngle[i] = float(std::acos(aactables::kPsIccRho[i]) / 2.0);
    return t;
}

}  // namespace

// Built once, on first use, with thread-safe static initialisation: decoders opened on
// different threads never write the shared tables.
const PsTables& psTables() {
    static const PsTables tables = buildTables();
    return tables;
}

const ErrorDescriptor* psDecoderOpen(PsDecoder& ps, int bands, int slotsPerFrame) {
    if (bands != 64 || slotsPerFrame != 32) return sbrError(SbrUnit::Ps);
    ps = PsDecoder();
    // Until PS starts the output is the mono signal on both sides: the first envelope
    // moves from that (h11 = h12 = 1, h21 = h22 = 0) to its own coefficients, so PS
    // starting in mid-stream neither jumps nor dips.
    std::fill(ps.mix[0], ps.mix[0] + kPsStereoBands, 1.0f);
    std::fill(ps.mix[1], ps.mix[1] + kPsStereoBands, 1.0f);
    ps.bands = bands;
    ps.slots = slotsPerFrame;
    (void)psTables();
    static const int kRes[3] = {8, 2, 2};
    if (hybridOpen(ps.hybrid, slotsPerFrame, 3, kRes)) return sbrError(SbrUnit::Ps);
    // Fractional-delay phase factors exp(-i*pi*q*f), q = 0.39 (delay) and per link.
    static const double kLinkQ[3] = {0.43, 0.75, 0.347};
    for (int b = 0; b < 76; ++b) {
        double f;
        if (b < 64)
            f = b + 0.5;
        else
            f = aactables::kPsHybridBands20[b - 64].centre;
        ps.phiFractRe[b] = float(std::cos(-M_PI * 0.39 * f));
        ps.phiFractIm[b] = float(std::sin(-M_PI * 0.39 * f));
        for (int m = 0; m < kPsAllpassLinks; ++m) {
            ps.qFractRe[b][m] = float(std::cos(-M_PI * kLinkQ[m] * f));
            ps.qFractIm[b][m] = float(std::sin(-M_PI * kLinkQ[m] * f));
        }
    }
    return nullptr;
}

void psDecoderClose(PsDecoder& ps) { hybridClose(ps.hybrid); }

int psParseData(PsDecoder* ps, SbrBitReader& r, int bitsAvailable) {
    if (!ps) return 0;
    using namespace aactables;
    const int start = r.consumed;
    // A ps_data that runs past the bits announced is damaged: its header must not outlive it.
    const PsHeaderFields savedHeader{ps->headerSeen, ps->enableIid, ps->enableIcc, ps->enableExt,
                                     ps->iidMode,    ps->iccMode,   ps->iidFine,   ps->iccModeHigh};
    if (r.read(1)) {
        ps->headerSeen = true;
        ps->enableIid = int(r.read(1));
        if (ps->enableIid) {
            const int mode = int(r.read(3));
            ps->iidFine = mode >= 3 && mode <= 5;
            ps->iidMode = mode > 5 ? mode - 3 : mode % 3;  // 3 or 4: reserved
        }
        ps->enableIcc = int(r.read(1));
        if (ps->enableIcc) {
            const int mode = int(r.read(3));
            ps->iccModeHigh = mode > 2;
            ps->iccMode = mode > 5 ? mode - 3 : mode % 3;
        }
        ps->enableExt = int(r.read(1));
    }
    ps->frameClass = int(r.read(1));
    const int code = int(r.read(2));
    static const int kFixedEnv[4] = {0, 1, 2, 4};
    ps->numEnv = ps->frameClass ? code + 1 : kFixedEnv[code];
    if (ps->frameClass)
        for (int e = 0; e < ps->numEnv; ++e)
            ps->borders[e + 1] = int(r.read(5)) + 1;

    if ((ps->enableIid && ps->iidMode > 2) || (ps->enableIcc && ps->iccMode > 2)) {
        // Reserved mode: nothing of this frame is usable.
        const int used = r.consumed - start;
        skipBits(r, bitsAvailable - used);
        ps->dataPresent = false;
        ps->numEnv = 0;
        return bitsAvailable;
    }
    if (ps->enableIid) {
        const int n = kParCount[ps->iidMode];
        for (int e = 0; e < ps->numEnv; ++e) {
            ps->iidDt[e] = uint8_t(r.read(1));
            const HuffmanCodebook& book = ps->iidFine ? (ps->iidDt[e] ? kPsHuffIidFineDt : kPsHuffIidFineDf)
                                                      : (ps->iidDt[e] ? kPsHuffIidDt : kPsHuffIidDf);
            for (int b = 0; b < n; ++b)
                ps->iid[e][b] = int8_t(huff(book, r));
        }
    }
    if (ps->enableIcc) {
        const int n = kParCount[ps->iccMode];
        for (int e = 0; e < ps->numEnv; ++e) {
            ps->iccDt[e] = uint8_t(r.read(1));
            const HuffmanCodebook& book = ps->iccDt[e] ? kPsHuffIccDt : kPsHuffIccDf;
            for (int b = 0; b < n; ++b)
                ps->icc[e][b] = int8_t(huff(book, r));
        }
    }
    if (ps->enableExt) {
        int size = int(r.read(4));
        if (size == 15) size += int(r.read(8));
        skipBits(r, 8 * size);
    }
    const int used = r.consumed - start;
    if (used > bitsAvailable) {
        ps->headerSeen = savedHeader.headerSeen;
        ps->enableIid = savedHeader.enableIid;
        ps->enableIcc = savedHeader.enableIcc;
        ps->enableExt = savedHeader.enableExt;
        ps->iidMode = savedHeader.iidMode;
        ps->iccMode = savedHeader.iccMode;
        ps->iidFine = savedHeader.iidFine;
        ps->iccModeHigh = savedHeader.iccModeHigh;
        ps->dataPresent = false;
        ps->numEnv = 0;
        return used;
    }
    ps->dataPresent = true;
    return used;
}

namespace {

// Delta decoding of one parameter set; values land at native resolution in `out`.
void deltaDecode(const int8_t* coded, bool dt, const int8_t* prev, int n, int lo, int hi, int8_t* out) {
    int acc = 0;
    for (int b = 0; b < n; ++b) {
        int v;
        if (dt) {
            v = prev[b] + coded[b];
        } else {
            acc += coded[b];
            v = acc;
        }
        out[b] = int8_t(std::clamp(v, lo, hi));
    }
}

void widenTo34(int8_t* v, int n) {
    if (n == 10)
        for (int b = 9; b >= 0; --b)
            v[2 * b] = v[2 * b + 1] = v[b];
}

void map34To20(const int8_t* b, int8_t* o) {
    o[0] = int8_t((2 * b[0] + b[1]) / 3);
    o[1] = int8_t((b[1] + 2 * b[2]) / 3);
    o[2] = int8_t((2 * b[3] + b[4]) / 3);
    o[3] = int8_t((b[4] + 2 * b[5]) / 3);
    o[4] = int8_t((b[6] + b[7]) / 2);
    o[5] = int8_t((b[8] + b[9]) / 2);
    o[6] = b[10];
    o[7] = b[11];
    o[8] = int8_t((b[12] + b[13]) / 2);
    o[9] = int8_t((b[14] + b[15]) / 2);
    o[10] = b[16];
    o[11] = b[17];
    o[12] = b[18];
    o[13] = b[19];
    o[14] = int8_t((b[20] + b[21]) / 2);
    o[15] = int8_t((b[22] + b[23]) / 2);
    o[16] = int8_t((b[24] + b[25]) / 2);
    o[17] = int8_t((b[26] + b[27]) / 2);
    o[18] = int8_t((b[28] + b[29] + b[30] + b[31]) / 4);
    o[19] = int8_t((b[32] + b[33]) / 2);
}

}  // namespace

void psDecodeFrame(PsDecoder& ps) {
    if (!ps.dataPresent) ps.numEnv = 0;
    // At most 4 envelopes are sent; one more may be appended below.
    ps.numEnv = std::clamp(ps.numEnv, 0, kPsMaxEnvelopes - 2);
    const int iidLimit = ps.iidFine ? 15 : 7;
    const int nIid = ps.enableIid ? kParCount[std::clamp(ps.iidMode, 0, 2)] : 0;
    const int nIcc = ps.enableIcc ? kParCount[std::clamp(ps.iccMode, 0, 2)] : 0;
    // Decoded values at native resolution (widened to 20 for 10-band data).
    int8_t iid[kPsMaxEnvelopes][kPsParams] = {};
    int8_t icc[kPsMaxEnvelopes][kPsParams] = {};
    const int8_t* prevIid = ps.heldIid;
    const int8_t* prevIcc = ps.heldIcc;
    int8_t prevIidNative[kPsParams], prevIccNative[kPsParams];
    for (int e = 0; e < ps.numEnv; ++e) {
        if (nIid) {
            // A time delta of 10-band data refers to every second value of the held set.
            for (int b = 0; b < nIid; ++b)
                prevIidNative[b] = prevIid[nIid == 10 ? 2 * b : b];
            deltaDecode(ps.iid[e], ps.iidDt[e], prevIidNative, nIid, -iidLimit, iidLimit, iid[e]);
            widenTo34(iid[e], nIid);
        }
        if (nIcc) {
            for (int b = 0; b < nIcc; ++b)
                prevIccNative[b] = prevIcc[nIcc == 10 ? 2 * b : b];
            deltaDecode(ps.icc[e], ps.iccDt[e], prevIccNative, nIcc, 0, 7, icc[e]);
            widenTo34(icc[e], nIcc);
        }
        prevIid = iid[e];
        prevIcc = icc[e];
    }
    int numEnv = ps.numEnv;
    int borders[kPsMaxEnvelopes + 1] = {};
    if (numEnv == 0) {
        numEnv = 1;
        for (int b = 0; b < kPsParams; ++b) {
            iid[0][b] = ps.enableIid ? ps.heldIid[b] : 0;
            icc[0][b] = ps.enableIcc ? ps.heldIcc[b] : 0;
        }
        borders[0] = 0;
        borders[1] = ps.slots;
    } else if (ps.frameClass) {
        borders[0] = 0;
        for (int e = 1; e <= numEnv; ++e)
            borders[e] = ps.borders[e];
        if (borders[numEnv] < ps.slots) {
            std::copy(iid[numEnv - 1], iid[numEnv - 1] + kPsParams, iid[numEnv]);
            std::copy(icc[numEnv - 1], icc[numEnv - 1] + kPsParams, icc[numEnv]);
            ++numEnv;
            borders[numEnv] = ps.slots;
        }
        for (int e = 1; e < numEnv; ++e)
            borders[e] = std::clamp(borders[e], borders[e - 1] + 1, ps.slots - numEnv + e);
        borders[numEnv] = ps.slots;
    } else {
        for (int e = 0; e <= numEnv; ++e)
            borders[e] = ps.slots * e / numEnv;
    }
    numEnv = std::clamp(numEnv, 1, kPsMaxEnvelopes);
    const int lastEnv = numEnv - 1;
    // The held set stays at full width whatever the resolution, so later time deltas find it.
    std::copy(iid[lastEnv], iid[lastEnv] + kPsParams, ps.heldIid);
    std::copy(icc[lastEnv], icc[lastEnv] + kPsParams, ps.heldIcc);
    ps.dataPresent = false;

    ps.outEnv = numEnv;
    ps.outIidFine = ps.iidFine;
    std::copy(borders, borders + numEnv + 1, ps.outBorders);
    for (int e = 0; e < numEnv; ++e) {
        if (nIid == 34 || (ps.numEnv == 0 && ps.iidMode == 2))
            map34To20(iid[e], ps.outIid[e]);
        else
            std::copy(iid[e], iid[e] + kPsStereoBands, ps.outIid[e]);
        if (nIcc == 34 || (ps.numEnv == 0 && ps.iccMode == 2))
            map34To20(icc[e], ps.outIcc[e]);
        else
            std::copy(icc[e], icc[e] + kPsStereoBands, ps.outIcc[e]);
    }
}

}  // namespace aacplus

namespace aacplus {

namespace {

constexpr int kLinkDelay[kPsAllpassLinks] = {3, 4, 5};
constexpr float kPeakDecay = 0.76592833f;
constexpr float kSmoothing = 0.25f;
constexpr float kTransientImpact = 1.5f;

struct Mix {
    float h11, h12, h21, h22;
};

Mix mixFor(int iid, int icc, bool fine) {
    const PsTables& t = psTables();
    const int limit = fine ? 15 : 7;
    iid = std::clamp(iid, -limit, limit);
    icc = std::clamp(icc, 0, 7);
    const float* scale = fine ? t.iidFine : t.iidCoarse;
    const float c1 = scale[limit + iid];  // sqrt(2 / (1 + 10^(v/10)))
    const float c2 = scale[limit - iid];  // the same for -v
    const float alpha = t.iccAngle[icc];
    const float beta = alpha * (c1 - c2) / float(M_SQRT2);
    return {std::cos(beta + alpha) * c2, std::cos(beta - alpha) * c1, std::sin(beta + alpha) * c2,
            std::sin(beta - alpha) * c1};
}

}  // namespace

void psPrime(PsDecoder& ps, float* const* rowsRe, float* const* rowsIm) {
    hybridPrime(rowsRe, rowsIm, kHybridHistory, ps.hybrid);
}

void psApply(PsDecoder& ps, float* const* leftRe, float* const* leftIm, float* const* rightRe, float* const* rightIm) {
    using aactables::kPsGroups20;
    const PsTables& tables = psTables();
    const int slots = ps.slots;

    // The hybrid filters are centred 6 slots late; the matrix already holds the 6 slots
    // after the frame, so analysing from 6 rows on keeps the hybrid bands aligned with the
    // QMF bands without delaying either.
    hybridAnalysis(leftRe + kHybridDelay, leftIm + kHybridDelay, ps.hybLeftRe, ps.hybLeftIm, ps.hybrid);
    for (int n = 0; n < slots; ++n) {
        ps.hybLeftRe[n][3] += ps.hybLeftRe[n][4];
        ps.hybLeftIm[n][3] += ps.hybLeftIm[n][4];
        ps.hybLeftRe[n][2] += ps.hybLeftRe[n][5];
        ps.hybLeftIm[n][2] += ps.hybLeftIm[n][5];
        ps.hybLeftRe[n][4] = ps.hybLeftIm[n][4] = 0.0f;
        ps.hybLeftRe[n][5] = ps.hybLeftIm[n][5] = 0.0f;
    }

    // Mixing coefficients per envelope end; the previous frame's end starts the interpolation.
    Mix target[kPsMaxEnvelopes][kPsStereoBands];
    for (int e = 0; e < ps.outEnv; ++e)
        for (int b = 0; b < kPsStereoBands; ++b)
            target[e][b] = mixFor(ps.outIid[e][b], ps.outIcc[e][b], ps.outIidFine);
    for (int n = 0; n < slots; ++n) {
        int e = 0;
        while (e < ps.outEnv - 1 && n >= ps.outBorders[e + 1])
            ++e;
        const int start = ps.outBorders[e], end = std::max(ps.outBorders[e + 1], start + 1);
        const float w = float(n + 1 - start) / float(end - start);
        Mix mix[kPsStereoBands];
        for (int b = 0; b < kPsStereoBands; ++b) {
            mix[b].h11 = ps.mix[0][b] + (target[e][b].h11 - ps.mix[0][b]) * w;
            mix[b].h12 = ps.mix[1][b] + (target[e][b].h12 - ps.mix[1][b]) * w;
            mix[b].h21 = ps.mix[2][b] + (target[e][b].h21 - ps.mix[2][b]) * w;
            mix[b].h22 = ps.mix[3][b] + (target[e][b].h22 - ps.mix[3][b]) * w;
        }
        if (n == end - 1) {
            for (int b = 0; b < kPsStereoBands; ++b) {
                ps.mix[0][b] = target[e][b].h11;
                ps.mix[1][b] = target[e][b].h12;
                ps.mix[2][b] = target[e][b].h21;
                ps.mix[3][b] = target[e][b].h22;
            }
        }

        auto sample = [&](const aactables::PsGroup& grp, int band, float*& re, float*& im) {
            if (grp.hybrid) {
                re = &ps.hybLeftRe[n][band];
                im = &ps.hybLeftIm[n][band];
            } else {
                re = &leftRe[n][band];
                im = &leftIm[n][band];
            }
        };
        // Transient detection over each stereo band's power.
        float power[kPsStereoBands] = {};
        for (int g = 0; g < kPsGroups; ++g) {
            const aactables::PsGroup& grp = kPsGroups20[g];
            for (int band = grp.start; band < grp.stop; ++band) {
                float *re, *im;
                sample(grp, band, re, im);
                power[grp.stereoBand] += *re * *re + *im * *im;
            }
        }
        float gains[kPsStereoBands];
        for (int b = 0; b < kPsStereoBands; ++b) {
            ps.peakPower[b] = std::max(ps.peakPower[b] * kPeakDecay, power[b]);
            ps.smoothPeakDiff[b] += kSmoothing * ((ps.peakPower[b] - power[b]) - ps.smoothPeakDiff[b]);
            ps.smoothPower[b] += kSmoothing * (power[b] - ps.smoothPower[b]);
            gains[b] = kTransientImpact * ps.smoothPeakDiff[b] > ps.smoothPower[b]
                           ? ps.smoothPower[b] / (kTransientImpact * ps.smoothPeakDiff[b])
                           : 1.0f;
        }

        for (int g = 0; g < kPsGroups; ++g) {
            const aactables::PsGroup& grp = kPsGroups20[g];
            const float gain = gains[grp.stereoBand];
            const Mix& m = mix[grp.stereoBand];
            for (int band = grp.start; band < grp.stop; ++band) {
                float *re, *im;
                sample(grp, band, re, im);
                const int slot = grp.hybrid ? 64 + band : band;
                const float xr = *re, xi = *im;
                const bool allpass = grp.hybrid || band < kPsAllpassBands;
                const int delay = allpass ? 2 : band < 35 ? kPsDelaySlots : 1;
                const int readPos = (ps.delayIndex - delay + kPsDelaySlots) % kPsDelaySlots;
                float dr = ps.delayRe[slot][readPos], di = ps.delayIm[slot][readPos];
                ps.delayRe[slot][ps.delayIndex] = xr;
                ps.delayIm[slot][ps.delayIndex] = xi;
                if (allpass) {
                    // Fractional delay, then three all-pass links (Q z^-d - a) / (1 - a Q z^-d).
                    float tr = dr * ps.phiFractRe[slot] - di * ps.phiFractIm[slot];
                    float ti = dr * ps.phiFractIm[slot] + di * ps.phiFractRe[slot];
                    const int row = grp.hybrid ? 0 : std::clamp(band - 3, 0, kPsAllpassBands - 1);
                    for (int l = 0; l < kPsAllpassLinks; ++l) {
                        const float a = tables.allpass[row][l];
                        const int pos = ps.linkIndex[l];
                        const float vr0 = ps.linkRe[slot][l][pos], vi0 = ps.linkIm[slot][l][pos];
                        const float qr = ps.qFractRe[slot][l], qi = ps.qFractIm[slot][l];
                        const float qvr = qr * vr0 - qi * vi0, qvi = qr * vi0 + qi * vr0;
                        const float vr = tr + a * qvr, vi = ti + a * qvi;
                        ps.linkRe[slot][l][pos] = vr;
                        ps.linkIm[slot][l][pos] = vi;
                        tr = qvr - a * vr;
                        ti = qvi - a * vi;
                    }
                    dr = tr;
                    di = ti;
                }
                dr *= gain;
                di *= gain;
                if (grp.hybrid) {
                    ps.hybRightRe[n][band] = m.h12 * xr + m.h22 * dr;
                    ps.hybRightIm[n][band] = m.h12 * xi + m.h22 * di;
                } else {
                    rightRe[n][band] = m.h12 * xr + m.h22 * dr;
                    rightIm[n][band] = m.h12 * xi + m.h22 * di;
                }
                *re = m.h11 * xr + m.h21 * dr;
                *im = m.h11 * xi + m.h21 * di;
            }
        }
        ps.delayIndex = (ps.delayIndex + 1) % kPsDelaySlots;
        for (int l = 0; l < kPsAllpassLinks; ++l)
            ps.linkIndex[l] = (ps.linkIndex[l] + 1) % kLinkDelay[l];
        for (int b = 4; b < 6; ++b)
            ps.hybRightRe[n][b] = ps.hybRightIm[n][b] = 0.0f;
    }
    hybridSynthesis(ps.hybLeftRe, ps.hybLeftIm, leftRe, leftIm, ps.hybrid);
    hybridSynthesis(ps.hybRightRe, ps.hybRightIm, rightRe, rightIm, ps.hybrid);
}

}  // namespace aacplus
