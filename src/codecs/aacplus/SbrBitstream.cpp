#include "codecs/aacplus/SbrBitstream.h"

#include <algorithm>

#include "codecs/aacplus/PsDecoder.h"

namespace aacplus {

namespace {

using aactables::HuffmanCodebook;

int pointerBits(int numEnv) {
    int bits = 0;
    while ((1 << bits) < numEnv + 1)
        ++bits;
    return bits;
}

}  // namespace

int sbrHuffmanDecode(const HuffmanCodebook& book, SbrBitReader& reader) {
    int node = 0;
    // A complete prefix code ends within maxLength bits; the bound only guards the walk.
    for (int i = 0; i <= book.maxLength; ++i) {
        const int child = book.tree[node].child[reader.readBit() & 1];
        if (child < 0) return book.entries[~child].values[0];
        node = child;
    }
    return 0;
}

int sbrCheckCrc(const SbrBitReader& reader, int32_t bitCount, uint32_t crc) {
    SbrBitReader r = reader;
    int32_t n = std::min(bitCount, r.remaining);
    uint32_t state = 0;
    auto feed = [&](uint32_t bits, int count) {
        for (int i = count - 1; i >= 0; --i) {
            const uint32_t in = (bits >> i) & 1u;
            const uint32_t top = (state >> 9) & 1u;
            state = (state << 1) & 0x3FFu;
            if (top ^ in) state ^= 0x233u;  // x^9 + x^5 + x^4 + x + 1 (x^10 implied)
        }
    };
    while (n >= 16) {
        feed(r.read(16), 16);
        n -= 16;
    }
    if (n > 0) feed(r.read(n), n);
    return (state & 0x3FFu) == (crc & 0x3FFu) ? 1 : 0;
}

int sbrParseHeader(SbrHeader& h, SbrBitReader& r, int active) {
    const SbrHeader prev = h;
    h.ampRes = int32_t(r.read(1));
    h.startFreq = int32_t(r.read(4));
    h.stopFreq = int32_t(r.read(4));
    h.xoverBand = int32_t(r.read(3));
    r.read(2);
    const uint32_t extra1 = r.read(1);
    const uint32_t extra2 = r.read(1);
    if (extra1) {
        h.freqScale = int32_t(r.read(2));
        h.alterScale = int32_t(r.read(1));
        h.noiseBands = int32_t(r.read(2));
    } else {
        h.freqScale = 2;
        h.alterScale = 1;
        h.noiseBands = 2;
    }
    if (extra2) {
        h.limiterBands = int32_t(r.read(2));
        h.limiterGains = int32_t(r.read(2));
        h.interpolFreq = int32_t(r.read(1));
        h.smoothingMode = int32_t(r.read(1));
    } else {
        h.limiterBands = 2;
        h.limiterGains = 2;
        h.interpolFreq = 1;
        h.smoothingMode = 1;
    }
    if (!active) {
        h.reset = 1;
        h.tablesChanged = 1;
        return 1;
    }
    h.reset = (h.startFreq != prev.startFreq || h.stopFreq != prev.stopFreq || h.freqScale != prev.freqScale ||
               h.alterScale != prev.alterScale)
                  ? 1
                  : 0;
    h.tablesChanged = (h.reset || h.xoverBand != prev.xoverBand || h.noiseBands != prev.noiseBands) ? 1 : 0;
    return h.tablesChanged;
}

int sbrParseGrid(SbrBitReader& r, SbrFrameData& f) {
    f.frameClass = int32_t(r.read(2));
    int absLead = 0, absTrail = kSbrTimeSlots, nRelLead = 0, nRelTrail = 0;
    int relLead[4] = {}, relTrail[4] = {};
    int numEnv = 1, pointer = 0;
    switch (f.frameClass) {
    case kFixFix: {
        numEnv = 1 << r.read(2);
        const uint8_t res = uint8_t(r.read(1));
        if (numEnv > kSbrMaxEnvelopes) return 0;
        for (int l = 0; l < numEnv; ++l)
            f.freqRes[l] = res;
        nRelLead = numEnv - 1;
        for (int i = 0; i < nRelLead; ++i)
            relLead[i] = kSbrTimeSlots / numEnv;
        break;
    }
    case kFixVar: {
        absTrail = int(r.read(2)) + kSbrTimeSlots;
        nRelTrail = int(r.read(2));
        numEnv = nRelTrail + 1;
        for (int i = 0; i < nRelTrail; ++i)
            relTrail[i] = 2 * int(r.read(2)) + 2;
        pointer = int(r.read(pointerBits(numEnv)));
        for (int l = 0; l < numEnv; ++l)
            f.freqRes[numEnv - 1 - l] = uint8_t(r.read(1));
        break;
    }
    case kVarFix: {
        absLead = int(r.read(2));
        nRelLead = int(r.read(2));
        numEnv = nRelLead + 1;
        for (int i = 0; i < nRelLead; ++i)
            relLead[i] = 2 * int(r.read(2)) + 2;
        pointer = int(r.read(pointerBits(numEnv)));
        for (int l = 0; l < numEnv; ++l)
            f.freqRes[l] = uint8_t(r.read(1));
        break;
    }
    default: {
        absLead = int(r.read(2));
        absTrail = int(r.read(2)) + kSbrTimeSlots;
        nRelLead = int(r.read(2));
        nRelTrail = int(r.read(2));
        numEnv = nRelLead + nRelTrail + 1;
        if (numEnv > kSbrMaxEnvelopes) return 0;
        for (int i = 0; i < nRelLead; ++i)
            relLead[i] = 2 * int(r.read(2)) + 2;
        for (int i = 0; i < nRelTrail; ++i)
            relTrail[i] = 2 * int(r.read(2)) + 2;
        pointer = int(r.read(pointerBits(numEnv)));
        for (int l = 0; l < numEnv; ++l)
            f.freqRes[l] = uint8_t(r.read(1));
        break;
    }
    }
    if (pointer > numEnv) return 0;
    f.numEnv = uint8_t(numEnv);
    f.tE[0] = uint8_t(absLead);
    f.tE[numEnv] = uint8_t(absTrail);
    int acc = absLead;
    for (int l = 1; l <= nRelLead; ++l) {
        acc += relLead[l - 1];
        f.tE[l] = uint8_t(std::clamp(acc, 0, 255));
    }
    // numEnv <= kSbrMaxEnvelopes on every path above; the bound also tells the compiler.
    for (int l = nRelLead + 1; l < std::min(numEnv, int(kSbrMaxEnvelopes)); ++l) {
        int b = absTrail;
        for (int i = 0; i < numEnv - l; ++i)
            b -= relTrail[i];
        f.tE[l] = uint8_t(std::clamp(b, 0, 255));
    }
    if (f.frameClass == kFixFix)
        f.lA = -1;
    else if (f.frameClass == kVarFix)
        f.lA = pointer == 0 ? -1 : pointer - 1;
    else
        f.lA = pointer == 0 ? -1 : numEnv + 1 - pointer;

    f.numNoise = uint8_t(numEnv > 1 ? 2 : 1);
    f.tQ[0] = f.tE[0];
    f.tQ[f.numNoise] = f.tE[numEnv];
    if (f.numNoise == 2) {
        int middle;
        if (f.frameClass == kFixFix)
            middle = numEnv / 2;
        else if (f.frameClass == kVarFix)
            middle = pointer == 0 ? 1 : pointer == 1 ? numEnv - 1 : pointer - 1;
        else
            middle = pointer > 1 ? numEnv + 1 - pointer : numEnv - 1;
        f.tQ[1] = f.tE[std::clamp(middle, 0, numEnv)];
    }
    return 1;
}

int sbrCheckGrid(const SbrHeader& h, const SbrFrameData& f) {
    const int le = f.numEnv, lq = f.numNoise;
    if (le < 1 || le > kSbrMaxEnvelopes || lq < 1 || lq > 2 || f.timeSlots != kSbrTimeSlots) return 0;
    if (f.tE[0] >= f.tE[le] || f.tE[le] < 16 || f.tE[le] > 19) return 0;
    if (h.firstFrame) {
        if (f.tE[0] > 3) return 0;
    } else if (int(f.tE[0]) != f.prevLastBorder - kSbrTimeSlots) {
        return 0;
    }
    for (int l = 0; l < le; ++l)
        if (f.tE[l] >= f.tE[l + 1]) return 0;
    if (f.lA > le || (le == 1 && lq == 2)) return 0;
    if (f.tQ[0] != f.tE[0] || f.tQ[lq] != f.tE[le]) return 0;
    for (int q = 0; q < lq; ++q)
        if (f.tQ[q] >= f.tQ[q + 1]) return 0;
    for (int q = 1; q < lq; ++q) {
        bool found = false;
        for (int l = 0; l <= le; ++l)
            found |= f.tE[l] == f.tQ[q];
        if (!found) return 0;
    }
    return 1;
}

int sbrParseEnvelope(const SbrHeader& h, SbrFrameData& f, SbrBitReader& r) {
    using namespace aactables;
    f.ampRes = (f.frameClass == kFixFix && f.numEnv == 1) ? 0 : h.ampRes;
    int total = 0;
    for (int l = 0; l < f.numEnv; ++l)
        total += f.freqRes[l] ? f.nh : f.nl;
    if (total > kSbrMaxEnvValues) return 0;
    f.numEnvValues = total;
    const bool balance = f.coupling == 2;
    const HuffmanCodebook* tBook;
    const HuffmanCodebook* fBook;
    if (balance) {
        tBook = f.ampRes ? &kSbrTHuffmanEnvBal30dB : &kSbrTHuffmanEnvBal15dB;
        fBook = f.ampRes ? &kSbrFHuffmanEnvBal30dB : &kSbrFHuffmanEnvBal15dB;
    } else {
        tBook = f.ampRes ? &kSbrTHuffmanEnv30dB : &kSbrTHuffmanEnv15dB;
        fBook = f.ampRes ? &kSbrFHuffmanEnv30dB : &kSbrFHuffmanEnv15dB;
    }
    const int shift = balance ? 1 : 0;
    const int startBits = (f.ampRes ? 6 : 7) - shift;
    int pos = 0;
    for (int l = 0; l < f.numEnv; ++l) {
        const int n = f.freqRes[l] ? f.nh : f.nl;
        for (int k = 0; k < n; ++k) {
            int v;
            if (f.dfEnv[l] == 0)
                v = k == 0 ? int(r.read(startBits)) : sbrHuffmanDecode(*fBook, r);
            else
                v = sbrHuffmanDecode(*tBook, r);
            f.env[pos++] = float(v * (1 << shift));
        }
    }
    return 1;
}

void sbrParseNoise(SbrFrameData& f, SbrBitReader& r) {
    using namespace aactables;
    const bool balance = f.coupling == 2;
    const HuffmanCodebook& tBook = balance ? kSbrTHuffmanNoiseBal30dB : kSbrTHuffmanNoise30dB;
    const HuffmanCodebook& fBook = balance ? kSbrFHuffmanEnvBal30dB : kSbrFHuffmanEnv30dB;
    const int shift = balance ? 1 : 0;
    const int nq = std::clamp(f.nqValues, 0, kSbrMaxNoiseBands);
    for (int q = 0; q < f.numNoise; ++q) {
        for (int k = 0; k < nq; ++k) {
            int v;
            if (f.dfNoise[q] == 0)
                v = k == 0 ? int(r.read(5)) : sbrHuffmanDecode(fBook, r);
            else
                v = sbrHuffmanDecode(tBook, r);
            f.noise[q * kSbrMaxNoiseBands + k] = float(v * (1 << shift));
        }
    }
}

void sbrParseExtendedData(SbrHeader& h, PsDecoder* ps, SbrBitReader& r) {
    if (!r.read(1)) return;
    int32_t size = int32_t(r.read(4));
    if (size == 15) size += int32_t(r.read(8));
    int32_t bits = 8 * size;
    if (bits > r.remaining) {
        bits = r.remaining;
        h.errorFlag = 1;
    }
    bool psSeen = false;
    while (bits > 7) {
        const uint32_t id = r.read(2);
        bits -= 2;
        if (id == 2 && ps) {
            if (psSeen) {
                h.errorFlag = 1;
                continue;
            }
            psSeen = true;
            bits -= psParseData(ps, r, bits);
            h.extensionMode = kSbrModePs;
        } else {
            r.skip(8 * (bits / 8));
            bits -= 8 * (bits / 8);
        }
    }
    if (bits < 0)
        h.errorFlag = 1;
    else
        r.skip(bits);
}

namespace {

void readDtdf(SbrFrameData& f, SbrBitReader& r) {
    for (int l = 0; l < f.numEnv; ++l)
        f.dfEnv[l] = uint8_t(r.read(1));
    for (int q = 0; q < f.numNoise; ++q)
        f.dfNoise[q] = uint8_t(r.read(1));
}

void readInvf(SbrFrameData& f, SbrBitReader& r) {
    const int n = std::clamp(f.nInvf, 0, kSbrMaxNoiseBands);
    for (int q = 0; q < n; ++q)
        f.invfMode[q] = uint8_t(r.read(2));
}

void readHarmonics(SbrFrameData& f, SbrBitReader& r) {
    const int nh = std::clamp(f.nh, 0, kSbrMaxHighBands);
    std::fill(f.addHarmonic, f.addHarmonic + kSbrMaxHighBands, uint8_t(0));
    if (r.read(1))
        for (int k = 0; k < nh; ++k)
            f.addHarmonic[k] = uint8_t(r.read(1));
}

}  // namespace

int sbrParseSingleChannel(SbrHeader& h, SbrFrameData& f, SbrBitReader& r, PsDecoder* ps) {
    if (r.read(1)) r.read(4);
    f.coupling = 0;
    if (!sbrParseGrid(r, f) || !sbrCheckGrid(h, f)) return 0;
    readDtdf(f, r);
    if (f.dfEnv[0] == 0) h.errorFlag = 0;
    readInvf(f, r);
    if (!sbrParseEnvelope(h, f, r)) return 0;
    sbrParseNoise(f, r);
    readHarmonics(f, r);
    sbrParseExtendedData(h, ps, r);
    if (h.extensionMode == kSbrModeNone) h.extensionMode = kSbrModeMono;
    return 1;
}

int sbrParseChannelPair(SbrHeader& h, SbrFrameData& f0, SbrFrameData& f1, SbrBitReader& r) {
    if (r.read(1)) {
        r.read(4);
        r.read(4);
    }
    const bool coupled = r.read(1) != 0;
    f0.coupling = coupled ? 1 : 0;
    f1.coupling = coupled ? 2 : 0;
    if (!sbrParseGrid(r, f0) || !sbrCheckGrid(h, f0)) return 0;
    if (coupled) {
        f1.frameClass = f0.frameClass;
        f1.numEnv = f0.numEnv;
        std::copy(f0.tE, f0.tE + kSbrMaxEnvelopes + 1, f1.tE);
        std::copy(f0.freqRes, f0.freqRes + kSbrMaxEnvelopes, f1.freqRes);
        f1.lA = f0.lA;
        f1.numNoise = f0.numNoise;
        std::copy(f0.tQ, f0.tQ + 3, f1.tQ);
    } else if (!sbrParseGrid(r, f1)) {
        return 0;
    }
    if (!sbrCheckGrid(h, f1)) return 0;
    readDtdf(f0, r);
    readDtdf(f1, r);
    if (f0.dfEnv[0] == 0 && f1.dfEnv[0] == 0) h.errorFlag = 0;
    if (coupled) {
        readInvf(f0, r);
        std::copy(f0.invfMode, f0.invfMode + kSbrMaxNoiseBands, f1.invfMode);
        if (!sbrParseEnvelope(h, f0, r)) return 0;
        sbrParseNoise(f0, r);
        if (!sbrParseEnvelope(h, f1, r)) return 0;
        sbrParseNoise(f1, r);
    } else {
        readInvf(f0, r);
        readInvf(f1, r);
        if (!sbrParseEnvelope(h, f0, r) || !sbrParseEnvelope(h, f1, r)) return 0;
        sbrParseNoise(f0, r);
        sbrParseNoise(f1, r);
    }
    readHarmonics(f0, r);
    readHarmonics(f1, r);
    sbrParseExtendedData(h, nullptr, r);
    h.extensionMode = kSbrModePair;
    return 1;
}

}  // namespace aacplus
