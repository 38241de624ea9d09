// Hand-made individual channel streams for tests: ics_info, sections, scale factors and
// spectral data written with the generated Huffman codebooks.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "BitWriter.h"
#include "codecs/aactables/tables/AacTables.h"

namespace aactest {

inline void putHuffman(BitWriter& w, const aactables::HuffmanEntry& e) { w.put(e.codeword, e.length); }

// Scale-factor delta -60..60.
inline void putScaleFactorDelta(BitWriter& w, int delta) {
    putHuffman(w, aactables::kScaleFactorCodebook.entries[delta + 60]);
}

// One codeword of a spectral book with its sign bits; values of magnitude 16 in book 11
// are written as the escape marker only (the caller writes the escape).
inline void putSpectral(BitWriter& w, int book, const std::vector<int>& values) {
    const aactables::HuffmanCodebook& cb = aactables::kSpectralCodebooks[book];
    const aactables::SpectralCodebookInfo& info = aactables::kSpectralCodebookInfo[book];
    for (int k = 0; k < cb.count; ++k) {
        bool match = true;
        for (int i = 0; i < info.dimension; ++i) {
            const int v = info.isSigned ? values[size_t(i)] : std::abs(values[size_t(i)]);
            if (cb.entries[k].values[i] != v) match = false;
        }
        if (!match) continue;
        putHuffman(w, cb.entries[k]);
        if (!info.isSigned)
            for (int i = 0; i < info.dimension; ++i)
                if (values[size_t(i)] != 0) w.put(values[size_t(i)] < 0 ? 1 : 0, 1);
        return;
    }
    throw std::runtime_error("no codeword for these values");
}

// ics_info of a long window without prediction.
inline void putLongIcsInfo(BitWriter& w, int maxSfb, int sequence = 0, int shape = 0) {
    w.put(0, 1).put(uint32_t(sequence), 2).put(uint32_t(shape), 1).put(uint32_t(maxSfb), 6).put(0, 1);
}

// One section per entry: {codebook, bands} (long windows: 5-bit lengths).
inline void putLongSections(BitWriter& w, const std::vector<std::pair<int, int>>& sections) {
    for (const auto& [cb, bands] : sections) {
        w.put(uint32_t(cb), 4);
        int left = bands;
        while (left >= 31) {
            w.put(31, 5);
            left -= 31;
        }
        w.put(uint32_t(left), 5);
    }
}

// pulse, TNS and gain control absent.
inline void putNoTools(BitWriter& w) { w.put(0, 1).put(0, 1).put(0, 1); }

}  // namespace aactest
