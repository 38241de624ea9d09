#include "codecs/aacplus/SbrFreqTables.h"

#include <algorithm>
#include <cmath>

namespace aacplus {

namespace {

const ErrorDescriptor* tablesError() { return sbrError(SbrUnit::BandTables); }
const ErrorDescriptor* startStopError() { return sbrError(SbrUnit::StartStop); }

int startOffsetRow(int32_t fs) {
    switch (fs) {
    case 16000: return 0;
    case 22050: return 1;
    case 24000: return 2;
    case 32000: return 3;
    case 44100:
    case 48000:
    case 64000: return 4;
    case 88200:
    case 96000: return 5;
    default: break;
    }
    // Rates off the standard grid take the row of the nearest rate range below them.
    if (fs < 22050) return 0;
    if (fs < 24000) return 1;
    if (fs < 32000) return 2;
    if (fs < 44100) return 3;
    if (fs < 88200) return 4;
    return 5;
}

int32_t roundHalfUp(double v) { return int32_t(v + 0.5); }

}  // namespace

void sbrShellSort(int32_t* values, int count) {
    int gap = 1;
    while (gap <= count)
        gap = 3 * gap + 1;
    gap /= 3;
    for (; gap > 0; gap /= 3) {
        for (int i = gap; i < count; ++i) {
            const int32_t v = values[i];
            int j = i;
            while (j >= gap && values[j - gap] > v) {
                values[j] = values[j - gap];
                j -= gap;
            }
            values[j] = v;
        }
    }
}

const ErrorDescriptor* sbrComputeStartStop(int32_t fsSbr, int bands, int startFreq, int stopFreq, int32_t& k0,
                                           int32_t& k2) {
    if (fsSbr <= 0 || startFreq < 0 || startFreq > 15 || stopFreq < 0 || stopFreq > 15) return startStopError();
    const double f = fsSbr < 32000 ? 6000.0 : fsSbr < 64000 ? 8000.0 : 10000.0;
    const double g = fsSbr < 32000 ? 12000.0 : fsSbr < 64000 ? 16000.0 : 20000.0;
    const int32_t startMin = int32_t(double(bands) * f / fsSbr + 0.5);
    k0 = startMin + aactables::kSbrStartOffsets[startOffsetRow(fsSbr)][startFreq];
    if (stopFreq == 14) {
        k2 = 2 * k0;
    } else if (stopFreq == 15) {
        k2 = 3 * k0;
    } else {
        const int32_t stopMin = int32_t(double(bands) * g / fsSbr + 0.5);
        if (stopMin <= 0) return startStopError();
        int32_t values[14];
        int32_t diffs[13];
        for (int i = 0; i < 14; ++i)
            values[i] = int32_t(stopMin * std::pow(double(bands) / stopMin, i / 13.0) + 0.5);
        for (int i = 0; i < 13; ++i)
            diffs[i] = values[i + 1] - values[i];
        sbrShellSort(diffs, 13);
        k2 = stopMin;
        for (int i = 0; i < stopFreq; ++i)
            k2 += diffs[i];
    }
    k2 = std::min(k2, int32_t(bands));
    const int32_t span = k2 - k0;
    if (k0 < 1 || span < 1 || span > 48) return startStopError();
    if (fsSbr == 44100 && span > 35) return startStopError();
    if (fsSbr >= 48000 && span > 32) return startStopError();
    return nullptr;
}

const ErrorDescriptor* sbrComputeMasterTable(int32_t* fMaster, int32_t& nMaster, int32_t k0, int32_t k2, int freqScale,
                                             int alterScale) {
    nMaster = 0;
    if (k0 < 1 || k2 <= k0 || k2 > 64) return startStopError();
    if (freqScale == 0) {
        const int dk = alterScale ? 2 : 1;
        const int numBands = alterScale ? 2 * int32_t((k2 - k0) / 4.0 + 0.5) : 2 * ((k2 - k0) / 2);
        if (numBands < 1) return startStopError();
        int32_t vDk[64];
        for (int k = 0; k < numBands; ++k)
            vDk[k] = dk;
        int k2Diff = k2 - (k0 + numBands * dk);
        int incr = 0, k = 0;
        if (k2Diff < 0) {
            incr = 1;
            k = 0;
        } else if (k2Diff > 0) {
            incr = -1;
            k = numBands - 1;
        }
        while (k2Diff != 0 && k >= 0 && k < numBands) {
            vDk[k] -= incr;
            k += incr;
            k2Diff += incr;
        }
        fMaster[0] = k0;
        for (int i = 1; i <= numBands; ++i) {
            if (vDk[i - 1] < 1) return startStopError();
            fMaster[i] = fMaster[i - 1] + vDk[i - 1];
        }
        nMaster = numBands;
        return nullptr;
    }
    if (freqScale > 3) return startStopError();
    static const int kBandsPerOctave[3] = {12, 10, 8};
    const int bands = kBandsPerOctave[freqScale - 1];
    const double warp = alterScale ? 1.3 : 1.0;
    const bool twoRegions = double(k2) / k0 > 2.2449;
    const int32_t k1 = twoRegions ? 2 * k0 : k2;
    const int numBands0 = 2 * int32_t(bands * std::log2(double(k1) / k0) / 2.0 + 0.5);
    if (numBands0 < 1 || numBands0 > 48) return startStopError();
    int32_t vDk0[64];
    const double q0 = double(k1) / k0;
    for (int k = 0; k < numBands0; ++k)
        vDk0[k] = roundHalfUp(k0 * std::pow(q0, (k + 1.0) / numBands0)) -
                  roundHalfUp(k0 * std::pow(q0, double(k) / numBands0));
    sbrShellSort(vDk0, numBands0);
    if (vDk0[0] <= 0) return startStopError();
    fMaster[0] = k0;
    for (int k = 1; k <= numBands0; ++k)
        fMaster[k] = fMaster[k - 1] + vDk0[k - 1];
    nMaster = numBands0;
    if (!twoRegions) return nullptr;
    const int numBands1 = 2 * int32_t(bands * std::log2(double(k2) / k1) / (2.0 * warp) + 0.5);
    if (numBands1 < 1 || numBands0 + numBands1 > 64) return startStopError();
    int32_t vDk1[64];
    const double q1 = double(k2) / k1;
    for (int k = 0; k < numBands1; ++k)
        vDk1[k] = roundHalfUp(k1 * std::pow(q1, (k + 1.0) / numBands1)) -
                  roundHalfUp(k1 * std::pow(q1, double(k) / numBands1));
    sbrShellSort(vDk1, numBands1);
    if (vDk1[0] < vDk0[numBands0 - 1]) {
        // Widen the narrowest upper band to the widest lower one, taking the width from the
        // widest upper band, but never so much that it would turn narrower than the first.
        const int32_t change = std::min(vDk0[numBands0 - 1] - vDk1[0], (vDk1[numBands1 - 1] - vDk1[0]) / 2);
        vDk1[0] += change;
        vDk1[numBands1 - 1] -= change;
        sbrShellSort(vDk1, numBands1);
    }
    if (vDk1[0] <= 0) return startStopError();
    for (int k = 1; k <= numBands1; ++k)
        fMaster[numBands0 + k] = fMaster[numBands0 + k - 1] + vDk1[k - 1];
    nMaster = numBands0 + numBands1;
    return nullptr;
}

const ErrorDescriptor* sbrComputeBandTables(SbrBandTables& t, SbrHeader& header, int bands, int32_t fsSbr) {
    if (const ErrorDescriptor* e = sbrComputeStartStop(fsSbr, bands, header.startFreq, header.stopFreq, t.k0, t.k2))
        return e;
    if (header.reset || t.nMaster == 0) {
        if (const ErrorDescriptor* e =
                sbrComputeMasterTable(t.fMaster, t.nMaster, t.k0, t.k2, header.freqScale, header.alterScale))
            return e;
    }
    if (header.xoverBand >= t.nMaster || t.fMaster[t.nMaster] > bands) return tablesError();
    const int nHigh = t.nMaster - header.xoverBand;
    if (nHigh > kSbrMaxHighBands) return tablesError();
    int32_t fHigh[49];
    for (int i = 0; i <= nHigh; ++i)
        fHigh[i] = t.fMaster[header.xoverBand + i];
    const int nLow = nHigh - nHigh / 2;
    if (nLow < 1 || nLow > 24) return tablesError();
    int32_t fLow[25];
    fLow[0] = fHigh[0];
    const int odd = nHigh & 1;
    for (int i = 1; i <= nLow; ++i)
        fLow[i] = fHigh[2 * i - odd];
    const int32_t kx = fLow[0];
    if (kx > 32 || kx >= fLow[nLow]) return tablesError();
    int nq = 1;
    if (header.noiseBands != 0) nq = std::max(1, int(header.noiseBands * std::log2(double(fLow[nLow]) / kx) + 0.5));
    if (nq > kSbrMaxNoiseBands) return tablesError();

    // Every check passed: commit.
    const int oldHigh = t.nHigh;
    std::copy(fHigh, fHigh + nHigh + 1, t.fHigh);
    std::copy(fLow, fLow + nLow + 1, t.fLow);
    t.nHigh = nHigh;
    t.nLow = nLow;
    t.kx = kx;
    t.m = fLow[nLow] - kx;
    header.nq = nq;
    t.nNoise = nq;
    int32_t i = 0;
    t.fNoise[0] = fLow[0];
    for (int k = 1; k <= nq; ++k) {
        i += (nLow - i) / (nq + 1 - k);
        t.fNoise[k] = fLow[i];
    }

    // Sinusoid flags follow the top band.
    float old[kSbrMaxHighBands];
    std::copy(t.prevHarmonics, t.prevHarmonics + kSbrMaxHighBands, old);
    std::fill(t.prevHarmonics, t.prevHarmonics + kSbrMaxHighBands, 0.0f);
    if (nHigh >= oldHigh) {
        const int d = nHigh - oldHigh;
        for (int b = 0; b < oldHigh; ++b)
            t.prevHarmonics[b + d] = old[b];
    } else {
        const int d = oldHigh - nHigh;
        for (int b = 0; b < nHigh; ++b)
            t.prevHarmonics[b] = old[b + d];
    }
    return nullptr;
}

const ErrorDescriptor* sbrComputeLimiterTable(int32_t* table, int32_t& count, const int32_t* fLow, int nLow,
                                              const int32_t* patchStarts, int patches, int limiterBands) {
    const int32_t kx = fLow[0];
    if (limiterBands == 0) {
        table[0] = 0;
        table[1] = fLow[nLow] - kx;
        count = 1;
        return nullptr;
    }
    static const double kBandsPerOctave[3] = {1.2, 2.0, 3.0};
    const double lim = kBandsPerOctave[std::clamp(limiterBands, 1, 3) - 1];
    int32_t cand[32];
    int32_t patchBorders[8];
    int n = 0, np = 0;
    for (int i = 0; i <= nLow; ++i)
        cand[n++] = fLow[i] - kx;
    for (int p = 0; p < patches && p < 7; ++p) {
        patchBorders[np++] = patchStarts[p] - kx;
        if (p > 0) cand[n++] = patchStarts[p] - kx;
    }
    patchBorders[np++] = fLow[nLow] - kx;
    sbrShellSort(cand, n);
    auto isPatchBorder = [&](int32_t v) { return std::find(patchBorders, patchBorders + np, v) != patchBorders + np; };
    int k = 1;
    while (k < n) {
        const double octaves = std::log2(double(kx + cand[k]) / double(kx + cand[k - 1]));
        if (octaves * lim < 0.49) {
            int remove = -1;
            if (cand[k] == cand[k - 1] || !isPatchBorder(cand[k]))
                remove = k;
            else if (!isPatchBorder(cand[k - 1]))
                remove = k - 1;
            if (remove >= 0) {
                std::copy(cand + remove + 1, cand + n, cand + remove);
                --n;
                continue;
            }
        }
        ++k;
    }
    if (n - 1 > 12 || n < 2) return tablesError();
    std::copy(cand, cand + n, table);
    count = n - 1;
    return nullptr;
}

}  // namespace aacplus
