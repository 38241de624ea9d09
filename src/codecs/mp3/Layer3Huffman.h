#pragma once

#include <cstdint>

#include "codecs/mp3/Layer3BitReader.h"

namespace mp3 {

// The current Layer III code table: 0-31 big-values tables by table_select, 32 and 33
// the count1 quadruple tables.
class CHuffmanTable {
public:
    virtual ~CHuffmanTable() = default;
    void Select(int table) { table_ = (table >= 0 && table < 34) ? table : 0; }
    int Selected() const { return table_; }

private:
    int table_ = 0;
};

// Reads one symbol of the selected table, two bits per step through its tree.
class CHuffmanBitObj {
public:
    explicit CHuffmanBitObj(const CHuffmanTable* table) : table_(table) {}
    virtual ~CHuffmanBitObj() = default;

    // The leaf value (x * 16 + y or v w x y); 0 without reading for a table without a tree.
    uint32_t ReadSymbol(Layer3BitReader& bits) const;

private:
    const CHuffmanTable* table_;
};

class CHuffmanDecoder {
public:
    CHuffmanDecoder() : bitObj_(&table_) {}
    virtual ~CHuffmanDecoder() = default;
    CHuffmanDecoder(const CHuffmanDecoder&) = delete;
    CHuffmanDecoder& operator=(const CHuffmanDecoder&) = delete;

protected:
    CHuffmanTable table_;
    CHuffmanBitObj bitObj_;
};

// The value decoders of Layer III: big-values pairs with and without linbits, count1
// quadruples. Values come out signed; magnitudes are at most 15 + 8191.
class CMp3Huffman : private CHuffmanDecoder {
public:
    // Selects a big-values table (0-31) or count1 table (32, 33) and its linbits.
    void SelectTable(int table);
    bool HasTree() const;

    void DecodePair(Layer3BitReader& bits, int& x, int& y) const;
    void DecodeQuad(Layer3BitReader& bits, int& v, int& w, int& x, int& y) const;

private:
    // Walks the selected tree on a left-aligned bit window; returns the leaf value and
    // sets `used` to the code length.
    uint32_t Symbol(uint64_t window, int& used) const;

    int linbits_ = 0;
    const uint32_t* tree_ = nullptr;
    uint32_t treeEntries_ = 0;
    const uint16_t* firstByte_ = nullptr;  // the tree's first four steps, by the next 8 bits
};

// The value decoders are inline: they run once per pair or quadruple of every granule.

// The same walk as CHuffmanBitObj::ReadSymbol, on bits already fetched, so that a pair
// with its linbits and signs costs one fetch from the reader.
inline uint32_t CMp3Huffman::Symbol(uint64_t window, int& used) const {
    const uint32_t first = firstByte_[window >> 56];
    if ((first & 0x8000) == 0) {
        used = static_cast<int>(first >> 8);
        return first & 0xFF;
    }
    uint32_t node = first & 0xFF;
    window <<= 8;
    for (int step = 4; step < 16; ++step) {
        const uint32_t index = node * 4 + static_cast<uint32_t>(window >> 62);
        window <<= 2;
        if (index >= treeEntries_) break;  // cannot happen with the generated trees
        const uint32_t entry = tree_[index];
        const uint32_t length = (entry >> 8) & 0xFF;
        if (length != 0) {
            used = static_cast<int>(length);
            return entry & 0xFF;
        }
        node = entry & 0xFF;
    }
    used = 32;
    return 0;
}

inline void CMp3Huffman::DecodePair(Layer3BitReader& bits, int& x, int& y) const {
    if (tree_ == nullptr) {
        x = y = 0;
        return;
    }
    // Code (<= 19 bits) + 2 x (linbits (<= 13) + sign) <= 47 bits: one window suffices.
    const uint64_t window = bits.Peek57();
    int used = 0;
    const uint32_t symbol = Symbol(window, used);
    auto take = [&](int n) {
        const uint32_t v = n == 0 ? 0u : static_cast<uint32_t>((window << used) >> (64 - n));
        used += n;
        return v;
    };
    int vx = static_cast<int>(symbol >> 4);
    int vy = static_cast<int>(symbol & 15);
    if (vx == 15 && linbits_ > 0) vx += static_cast<int>(take(linbits_));
    if (vx != 0 && take(1)) vx = -vx;
    if (vy == 15 && linbits_ > 0) vy += static_cast<int>(take(linbits_));
    if (vy != 0 && take(1)) vy = -vy;
    bits.Skip(static_cast<uint32_t>(used));
    x = vx;
    y = vy;
}

inline void CMp3Huffman::DecodeQuad(Layer3BitReader& bits, int& v, int& w, int& x, int& y) const {
    if (tree_ == nullptr) {
        v = w = x = y = 0;
        return;
    }
    const uint64_t window = bits.Peek57();
    int used = 0;
    const uint32_t symbol = Symbol(window, used);
    int out[4];
    for (int i = 0; i < 4; ++i) {
        int value = static_cast<int>((symbol >> (3 - i)) & 1);
        if (value != 0) {
            if ((window << used) >> 63) value = -value;
            ++used;
        }
        out[i] = value;
    }
    bits.Skip(static_cast<uint32_t>(used));
    v = out[0];
    w = out[1];
    x = out[2];
    y = out[3];
}

}  // namespace mp3
