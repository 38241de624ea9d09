// Decoding helpers over the generated Huffman codebooks.
#pragma once

#include "codecs/aactables/tables/AacTables.h"

namespace aactables {

// Walks `book`'s decode tree one bit at a time. `readBit()` returns the next bit (0 or 1).
// Returns the entry index (0 .. book.count-1). Every book is a complete prefix code, so
// this always ends within book.maxLength bits; what happens on running out of input is
// the bit source's business (our bit readers return zeros past the end and flag it).
template <class ReadBit>
int decodeHuffman(const HuffmanCodebook& book, ReadBit&& readBit) {
    int node = 0;
    for (;;) {
        const int child = book.tree[node].child[readBit() & 1];
        if (child < 0) return ~child;
        node = child;
    }
}

}  // namespace aactables
