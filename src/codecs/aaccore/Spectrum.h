// Spectral lines of the unsigned and signed books without escapes (1..10) decoded and
// inverse-quantised in one pass: the magnitudes come from the codeword's table row, the
// sign bits are applied without branches. Book 11 has escapes, whose limits are each
// decoder's own error rule, so it stays with the callers.
#pragma once

#include <bit>
#include <cstdint>

#include "codecs/aaccore/Huffman.h"

namespace aaccore {

// `r`: peek(n) shows the next n bits (1..25), most significant first; drop(n) moves on n
// bits; read(n) is both. `lines` is a multiple of the book's dimension.
template <class Reader>
inline void decodeScaledLines(const HuffmanBook& book, Reader& r, float* s, int lines, float gain) {
    const int dim = book.dimension;
    for (int k = 0; k < lines; k += dim) {
        const int index = decodeHuffmanIndex(book, r.peek(25), [&r](int n) { r.drop(n); });
        const float* m = book.magnitudes[index];
        if (book.isSigned) {
            for (int i = 0; i < dim; ++i)
                s[k + i] = m[i] * gain;
            continue;
        }
        const int nonZero = book.nonZero[index];
        uint32_t signs = nonZero ? r.read(nonZero) << (32 - nonZero) : 0;
        // Sign bits are random: each non-zero value takes the next bit.
        for (int i = 0; i < dim; ++i) {
            const uint32_t used = m[i] != 0.0f;
            const uint32_t sign = signs & 0x80000000u & (0u - used);
            s[k + i] = std::bit_cast<float>(std::bit_cast<uint32_t>(m[i]) ^ sign) * gain;
            signs <<= used;
        }
    }
}

}  // namespace aaccore
