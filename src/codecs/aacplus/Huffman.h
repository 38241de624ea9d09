// The shared AAC Huffman look-up (aaccore) over this library's bit reader.
#pragma once

#include <cstdint>

#include "codecs/aaccore/Huffman.h"
#include "codecs/aacplus/BitReader.h"

namespace aacplus {

using aaccore::HuffmanBook;
using aaccore::huffmanBook;

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

// Consumes exactly one codeword and returns its index.
inline int decodeHuffmanIndex(const HuffmanBook& b, BitReader& r) {
    return aaccore::decodeHuffmanIndex(b, cachedPeek(r, 25), [&r](int n) { cachedDrop(r, n); });
}

}  // namespace aacplus
