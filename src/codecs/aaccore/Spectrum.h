// Spectral lines decoded and inverse-quantised in one pass: the magnitudes come from the
// codeword's table row, the sign bits are applied without branches. The escapes of book 11
// have limits that are each decoder's own error rule, so the caller reads those.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "codecs/aaccore/Huffman.h"
#include "codecs/aaccore/Quant.h"

namespace aaccore {

// A bit cursor for the spectral loops. Kept as a local of the decoding function, its cache
// lives in registers instead of being stored back after every codeword; a caller that keeps
// one as a member copies it to a local around a loop. `Source::word(bit)` shows at least 57
// bits from `bit` bits past the cursor's start on, most significant first.
template <class Source>
class BitCursor {
public:
    explicit BitCursor(Source source) : source_(source) {}
    uint32_t peek(int n) {  // 1..25
        if (valid_ < n) fill();
        return uint32_t(cache_ >> (64 - n));
    }
    void drop(int n) {  // at most the bits last peeked
        cache_ <<= n;
        valid_ -= n;
        taken_ += uint64_t(n);
    }
    uint32_t read(int n) {  // 1..25
        const uint32_t v = peek(n);
        drop(n);
        return v;
    }
    uint64_t taken() const { return taken_; }

private:
    void fill() {
        cache_ = source_.word(taken_);
        valid_ = 57;
    }

    Source source_;
    uint64_t cache_ = 0;
    int valid_ = 0;
    uint64_t taken_ = 0;
};

// A byte array from bit `start` on; past `count` bytes it reads zeros.
struct ByteSource {
    const uint8_t* data;
    int64_t count;
    int64_t start;
    uint64_t word(uint64_t bit) const {
        const int64_t at = start + int64_t(bit);
        const int64_t byte = at >> 3;
        uint64_t w = 0;
        if (byte >= 0 && byte + 8 <= count) {
            std::memcpy(&w, data + byte, 8);
            if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
        } else {
            for (int64_t i = byte; i < byte + 8; ++i)
                w = (w << 8) | (i >= 0 && i < count ? data[i] : 0u);
        }
        return w << (at & 7);
    }
};

namespace spectrumdetail {

// One group of Dim lines from a codeword's magnitudes; for an unsigned book `signs` holds
// the sign bits from its top bit on, one per non-zero value.
template <int Dim, bool Signed>
inline void scaledGroup(const float* m, uint32_t signs, float* __restrict s, float gain) {
    if constexpr (Signed) {
        for (int i = 0; i < Dim; ++i)
            s[i] = m[i] * gain;
    } else {
        for (int i = 0; i < Dim; ++i) {
            const uint32_t used = m[i] != 0.0f;
            const uint32_t sign = signs & 0x80000000u & (0u - used);
            s[i] = std::bit_cast<float>(std::bit_cast<uint32_t>(m[i]) ^ sign) * gain;
            signs <<= used;
        }
    }
}

template <int Dim, bool Signed, class Reader>
inline void scaledLines(const HuffmanBook& book, Reader& r, float* __restrict s, int lines, float gain) {
    const float(*magnitudes)[4] = book.magnitudes;
    const uint8_t* nonZeroCounts = book.nonZero;
    for (int k = 0; k < lines; k += Dim) {
        const uint32_t next = r.peek(25);
        const uint32_t leaf = huffmanLeaf(book, next);
        const int length = int(leaf >> 16);
        const float* m = magnitudes[leaf & 0xFFFF];
        if constexpr (Signed) {
            r.drop(length);
            scaledGroup<Dim, Signed>(m, 0, s + k, gain);
        } else {
            // One sign bit per non-zero value follows the codeword; both fit the 25 bits shown.
            r.drop(length + nonZeroCounts[leaf & 0xFFFF]);
            scaledGroup<Dim, Signed>(m, next << (7 + length), s + k, gain);
        }
    }
}

}  // namespace spectrumdetail

// `r`: peek(n) shows the next n bits (1..25), most significant first; drop(n) moves on n
// bits. `lines` is a multiple of the book's dimension. The reader is copied in and out, so
// that its state stays in registers through the loop (a BitCursor is cheap to copy).
template <class Reader>
inline void decodeScaledLines(const HuffmanBook& book, Reader& reader, float* s, int lines, float gain) {
    using namespace spectrumdetail;
    Reader r = reader;
    if (book.dimension == 4) {
        if (book.isSigned)
            scaledLines<4, true>(book, r, s, lines, gain);
        else
            scaledLines<4, false>(book, r, s, lines, gain);
    } else if (book.isSigned) {
        scaledLines<2, true>(book, r, s, lines, gain);
    } else {
        scaledLines<2, false>(book, r, s, lines, gain);
    }
    reader = r;
}

// Book 11 as above; each escape (a value of 16) is replaced by the magnitude `escape(r)`
// reads after the pair's sign bits, first value first. A negative magnitude marks a broken
// escape: the band stops there, with the reader just past what was read, and the result is
// false.
template <class Reader, class Escape>
inline bool decodeEscapedLines(const HuffmanBook& book, Reader& reader, float* __restrict s, int lines, float gain,
                               const QuantTables& t, Escape&& escape) {
    Reader r = reader;
    bool ok = true;
    for (int k = 0; k < lines && ok; k += 2) {
        const uint32_t next = r.peek(25);
        const uint32_t leaf = huffmanLeaf(book, next);
        const int length = int(leaf >> 16);
        const uint32_t index = leaf & 0xFFFF;
        uint32_t signs = next << (7 + length);
        r.drop(length + book.nonZero[index]);
        const int8_t* v = book.values[index];
        const float* m = book.magnitudes[index];
        if (v[0] != 16 && v[1] != 16) {
            spectrumdetail::scaledGroup<2, false>(m, signs, s + k, gain);
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            const uint32_t used = v[i] != 0;
            const uint32_t sign = signs & 0x80000000u & (0u - used);
            signs <<= used;
            float magnitude = m[i];
            if (v[i] == 16) {
                const int value = escape(r);
                if (value < 0) {
                    ok = false;
                    break;
                }
                magnitude = magnitude43(t, value);
            }
            s[k + i] = std::bit_cast<float>(std::bit_cast<uint32_t>(magnitude) ^ sign) * gain;
        }
    }
    reader = r;
    return ok;
}

}  // namespace aaccore
