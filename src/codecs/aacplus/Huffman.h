// Huffman decoding of the AAC spectral and scale-factor codebooks: one look-up of the first
// eight bits, then four bits per table step for the longer codes. The tables are derived at
// first use from the generated codeword lists.
#pragma once

#include <cstdint>

#include "codecs/aacplus/BitReader.h"

namespace aacplus {

inline constexpr int kHuffmanRootBits = 8;

struct HuffmanBook {
    const uint32_t* nodes = nullptr;  // a 256-entry root, then 16 entries per node
    int dimension = 0;
    bool isSigned = false;
    const int8_t (*values)[4] = nullptr;  // per codeword index
    // Per codeword index: |value|^(4/3) with the value's sign for signed books (escape
    // markers of book 11 stay 16^(4/3)), and the count of non-zero values.
    const float (*magnitudes)[4] = nullptr;
    const uint8_t* nonZero = nullptr;
};

// Books 1..11 are the spectral books, 12 the scale-factor book (dimension 1, yields the
// codeword index 0..120).
const HuffmanBook& huffmanBook(int book);

// The next n (1..25) bits without a call when the reader's cache already holds them.
inline uint32_t cachedPeek(BitReader& r, int n) {
    if (r.valid < 25) return r.peek(n);
    return r.cache >> (32 - n);
}

// Drops n bits that a cachedPeek of at least n bits has just shown.
inline void cachedDrop(BitReader& r, int n) {
    r.valid -= n;
    r.cache = n >= 32 ? 0 : r.cache << n;
}

inline uint32_t cachedRead(BitReader& r, int n) {
    const uint32_t v = cachedPeek(r, n);
    cachedDrop(r, n);
    return v;
}

// Consumes exactly one codeword and returns its index.
inline int decodeHuffmanIndex(const HuffmanBook& b, BitReader& r) {
    uint32_t bits = cachedPeek(r, 25) << 7;
    uint32_t e = b.nodes[bits >> (32 - kHuffmanRootBits)];
    bits <<= kHuffmanRootBits;
    while (!(e >> 16)) {
        e = b.nodes[e + (bits >> 28)];
        bits <<= 4;
    }
    cachedDrop(r, int(e >> 16));
    return int(e & 0xFFFF);
}

}  // namespace aacplus
