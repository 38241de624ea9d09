// Builds SBR extension payloads bit by bit for the SBR and PS tests.
#pragma once

#include <algorithm>
#include <cstring>

#include "BitWriter.h"
#include "codecs/aacplus/SbrFreqTables.h"
#include "codecs/aacplus/SbrPayload.h"
#include "codecs/aactables/tables/AacTables.h"

namespace sbrtest {

struct Code {
    uint32_t bits;
    int length;
};

// Codeword of `value` in `book`.
inline Code codeOf(const aactables::HuffmanCodebook& book, int value) {
    for (int i = 0; i < book.count; ++i)
        if (book.entries[i].values[0] == value) return {book.entries[i].codeword, book.entries[i].length};
    return {0, 0};
}

struct HeaderFields {
    int ampRes = 1, start = 5, stop = 9, xover = 0;
    bool extra1 = false, extra2 = false;
    int freqScale = 2, alterScale = 1, noiseBands = 2;
    int limiterBands = 2, limiterGains = 2, interpolFreq = 1, smoothing = 1;
};

// Table sizes that a header gives at fsSBR.
struct Sizes {
    int nh, nl, nq;
};
inline Sizes sizesFor(const HeaderFields& f, int32_t fsSbr = 44100) {
    aacplus::SbrBandTables t;
    aacplus::SbrHeader h;
    h.startFreq = f.start;
    h.stopFreq = f.stop;
    h.xoverBand = f.xover;
    h.freqScale = f.extra1 ? f.freqScale : 2;
    h.alterScale = f.extra1 ? f.alterScale : 1;
    h.noiseBands = f.extra1 ? f.noiseBands : 2;
    h.reset = 1;
    (void)aacplus::sbrComputeBandTables(t, h, 64, fsSbr);
    return {t.nHigh, t.nLow, h.nq};
}

class Builder {
public:
    Builder() { w.put(0, 4); }
    aactest::BitWriter w;

    Builder& header(const HeaderFields& f) {
        w.put(1, 1);  // bs_header_flag
        w.put(f.ampRes, 1).put(f.start, 4).put(f.stop, 4).put(f.xover, 3).put(0, 2);
        w.put(f.extra1, 1).put(f.extra2, 1);
        if (f.extra1) w.put(f.freqScale, 2).put(f.alterScale, 1).put(f.noiseBands, 2);
        if (f.extra2) w.put(f.limiterBands, 2).put(f.limiterGains, 2).put(f.interpolFreq, 1).put(f.smoothing, 1);
        return *this;
    }
    Builder& noHeader() {
        w.put(0, 1);
        return *this;
    }
    Builder& huff(const aactables::HuffmanCodebook& book, int value) {
        const Code c = codeOf(book, value);
        w.put(c.bits, c.length);
        return *this;
    }
    // Envelope of n values, frequency-coded: start value then zero deltas.
    Builder& envFreq(int n, int startBits, int start, const aactables::HuffmanCodebook& fBook, int delta = 0) {
        w.put(uint32_t(start), startBits);
        for (int k = 1; k < n; ++k)
            huff(fBook, delta);
        return *this;
    }
    Builder& envTime(int n, const aactables::HuffmanCodebook& tBook, int delta) {
        for (int k = 0; k < n; ++k)
            huff(tBook, delta);
        return *this;
    }

    aacplus::SbrExtensionPayload finish(int element = 0, int type = 13) {
        w.align();
        const std::vector<uint8_t> d = w.data();
        aacplus::SbrExtensionPayload p;
        p.count = 1;
        p.element = element;
        p.type = type;
        p.size = int32_t(d.size());
        std::memcpy(p.data, d.data(), std::min<size_t>(d.size(), sizeof p.data));
        return p;
    }
};

// A single channel element: FIXFIX with `envCode` (1 << code envelopes), all envelopes
// frequency-coded with start value `start` and zero deltas, noise start `noise`.
inline void writeMonoFixFix(Builder& b, const Sizes& s, int ampRes, int envCode, int freqRes, int start, int noise,
                            bool ps = false) {
    using namespace aactables;
    const int numEnv = 1 << envCode;
    b.w.put(0, 1);  // bs_data_extra
    b.w.put(0, 2).put(envCode, 2).put(freqRes, 1);
    for (int l = 0; l < numEnv; ++l)
        b.w.put(0, 1);  // bs_df_env
    for (int q = 0; q < (numEnv > 1 ? 2 : 1); ++q)
        b.w.put(0, 1);  // bs_df_noise
    for (int q = 0; q < s.nq; ++q)
        b.w.put(0, 2);  // bs_invf_mode
    const int res = numEnv == 1 ? 0 : ampRes;
    const HuffmanCodebook& fBook = res ? kSbrFHuffmanEnv30dB : kSbrFHuffmanEnv15dB;
    for (int l = 0; l < numEnv; ++l)
        b.envFreq(freqRes ? s.nh : s.nl, res ? 6 : 7, start, fBook);
    for (int q = 0; q < (numEnv > 1 ? 2 : 1); ++q)
        b.envFreq(s.nq, 5, noise, kSbrFHuffmanEnv30dB);
    b.w.put(0, 1);  // bs_add_harmonic_flag
    if (!ps) {
        b.w.put(0, 1);  // bs_extended_data
    }
}

}  // namespace sbrtest
