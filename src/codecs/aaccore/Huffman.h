// Huffman decoding of the AAC spectral and scale-factor codebooks: one look-up of the first
// eight bits, then four bits per table step for the longer codes. The tables are derived at
// first use from the generated codeword lists. The bit reader is the caller's: anything
// that can show the next 25 bits and then drop some of them.
#pragma once

#include <cstdint>

namespace aaccore {

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
// codeword index 0..120); other numbers give book 1.
const HuffmanBook& huffmanBook(int book);
// All thirteen, indexed by book number (0 is unused), for loops that pick one per band.
const HuffmanBook* huffmanBooks();

// The leaf of the codeword at the front of `next25` (the reader's next 25 bits, most
// significant first, zeros past the end of the data): the code length in the high half,
// the codeword index in the low half. Codes are at most 19 bits long, spectral ones 16.
inline uint32_t huffmanLeaf(const HuffmanBook& b, uint32_t next25) {
    uint32_t bits = next25 << 7;
    uint32_t e = b.nodes[bits >> (32 - kHuffmanRootBits)];
    bits <<= kHuffmanRootBits;
    while (!(e >> 16)) {
        e = b.nodes[e + (bits >> 28)];
        bits <<= 4;
    }
    return e;
}

// Consumes exactly one codeword and returns its index; `drop(n)` moves on n bits.
template <class Drop>
inline int decodeHuffmanIndex(const HuffmanBook& b, uint32_t next25, Drop&& drop) {
    const uint32_t e = huffmanLeaf(b, next25);
    drop(int(e >> 16));
    return int(e & 0xFFFF);
}

// The same through a bit cursor with peek(25) and drop(n).
template <class Cursor>
inline int decodeHuffmanIndex(const HuffmanBook& b, Cursor& bits) {
    return decodeHuffmanIndex(b, bits.peek(25), [&bits](int n) { bits.drop(n); });
}

}  // namespace aaccore
