#include "codecs/aaccore/Huffman.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstddef>
#include <vector>

#include "codecs/aactables/tables/AacTables.h"

namespace aaccore {
namespace {

// A root of 2^kRootBits entries, then nodes of 16 entries (4 bits per step). Leaf: code
// length in the high half, codeword index in the low half. Inner: offset of the next node.
std::vector<uint32_t> buildNodes(const aactables::HuffmanCodebook& book) {
    std::vector<uint32_t> nodes(size_t(1) << kHuffmanRootBits, 0);
    for (int k = 0; k < book.count; ++k) {
        const uint32_t code = book.entries[k].codeword;
        const int length = book.entries[k].length;
        const uint32_t leaf = (uint32_t(length) << 16) | uint32_t(k);
        if (length <= kHuffmanRootBits) {
            const uint32_t first = code << (kHuffmanRootBits - length);
            for (uint32_t s = 0; s < (1u << (kHuffmanRootBits - length)); ++s)
                nodes[first + s] = leaf;
            continue;
        }
        int rem = length - kHuffmanRootBits;
        uint32_t* slot = &nodes[code >> rem];
        for (;;) {
            if (*slot == 0) {
                const uint32_t offset = uint32_t(nodes.size());
                const size_t at = size_t(slot - nodes.data());
                nodes.resize(nodes.size() + 16, 0);
                slot = &nodes[at];
                *slot = offset;
            }
            const uint32_t node = *slot;
            if (rem <= 4) {
                const uint32_t prefix = (code & ((1u << rem) - 1)) << (4 - rem);
                for (uint32_t s = 0; s < (1u << (4 - rem)); ++s)
                    nodes[node + prefix + s] = leaf;
                break;
            }
            rem -= 4;
            slot = &nodes[node + ((code >> rem) & 15)];
        }
    }
    return nodes;
}

struct BookSet {
    std::vector<uint32_t> nodes[13];
    std::vector<std::array<int8_t, 4>> values[13];
    std::vector<std::array<float, 4>> magnitudes[13];
    std::vector<uint8_t> nonZero[13];
    HuffmanBook books[13];

    BookSet() {
        for (int b = 1; b <= 12; ++b) {
            const aactables::HuffmanCodebook& src =
                b == 12 ? aactables::kScaleFactorCodebook : aactables::kSpectralCodebooks[b];
            nodes[b] = buildNodes(src);
            values[b].resize(src.count);
            magnitudes[b].resize(src.count);
            nonZero[b].resize(src.count);
            for (int k = 0; k < src.count; ++k) {
                nonZero[b][k] = 0;
                for (int i = 0; i < 4; ++i) {
                    const int v = src.entries[k].values[i];
                    values[b][k][i] = int8_t(v);
                    const float m = float(std::pow(double(std::abs(v)), 4.0 / 3.0));
                    magnitudes[b][k][i] = v < 0 ? -m : m;
                    nonZero[b][k] = uint8_t(nonZero[b][k] + (v != 0));
                }
            }
            books[b].nodes = nodes[b].data();
            books[b].values = reinterpret_cast<const int8_t(*)[4]>(values[b].data());
            books[b].magnitudes = reinterpret_cast<const float(*)[4]>(magnitudes[b].data());
            books[b].nonZero = nonZero[b].data();
            if (b == 12) {
                books[b].dimension = 1;
                books[b].isSigned = true;
            } else {
                books[b].dimension = aactables::kSpectralCodebookInfo[b].dimension;
                books[b].isSigned = aactables::kSpectralCodebookInfo[b].isSigned;
            }
        }
    }
};

}  // namespace

const HuffmanBook* huffmanBooks() {
    static const BookSet set;
    return set.books;
}

const HuffmanBook& huffmanBook(int book) { return huffmanBooks()[book >= 1 && book <= 12 ? book : 1]; }

}  // namespace aaccore
