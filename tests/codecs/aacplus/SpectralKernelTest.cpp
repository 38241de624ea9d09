// The band kernel shared by both AAC-family decoders: lines of books 1..10 from a byte array,
// against the values the codewords were written from.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "BitWriter.h"
#include "codecs/aaccore/Quant.h"
#include "codecs/aaccore/Spectrum.h"
#include "codecs/aactables/tables/AacTables.h"

namespace {

using aactest::BitWriter;

struct Band {
    std::vector<uint8_t> bytes;
    int64_t bits = 0;             // written after the start offset
    std::vector<float> expected;  // the lines, scaled by the gain
};

// `lines` lines of book `cb` from random codewords (every length appears) with random signs
// and, for book 11, random escaped magnitudes, after `offset` filler bits.
Band writeBand(int cb, int lines, int offset, float gain, std::mt19937& random) {
    const aactables::HuffmanCodebook& book = aactables::kSpectralCodebooks[cb];
    const aactables::SpectralCodebookInfo& info = aactables::kSpectralCodebookInfo[cb];
    const aaccore::QuantTables& t = aaccore::quantTables();
    BitWriter w;
    w.put(0x5A, offset);
    Band band;
    std::vector<int> escapes;  // per line: the escaped magnitude, or 0
    for (int k = 0; k < lines; k += info.dimension) {
        const aactables::HuffmanEntry& e = book.entries[random() % book.count];
        w.put(e.codeword, e.length);
        for (int i = 0; i < info.dimension; ++i) {
            int v = e.values[i];
            if (!info.isSigned && v != 0) {
                const uint32_t negative = random() & 1;
                w.put(negative, 1);
                if (negative) v = -v;
            }
            escapes.push_back(std::abs(v) == 16 ? 16 + int(random() % 8176) : 0);
            const float m = aaccore::magnitude43(t, escapes.back() ? escapes.back() : std::abs(v)) * gain;
            band.expected.push_back(v < 0 ? -m : m);
        }
        // Escape words after the signs: n - 4 ones, a zero, then n bits below 2^n.
        for (int i = 0; i < info.dimension; ++i) {
            const int value = escapes[escapes.size() - size_t(info.dimension) + size_t(i)];
            if (value == 0) continue;
            int n = 4;
            while ((value >> (n + 1)) != 0)
                ++n;
            for (int ones = 4; ones < n; ++ones)
                w.put(1, 1);
            w.put(0, 1).put(uint32_t(value - (1 << n)), n);
        }
    }
    band.bits = w.bits() - offset;
    band.bytes = w.data();
    return band;
}

TEST(SpectralKernel, EveryBookDecodesTheLinesItWasWrittenFrom) {
    std::mt19937 random(7);
    for (int cb = 1; cb <= 10; ++cb) {
        // Offsets off the byte grid; the data ends where the band does, so the look-ahead
        // reads past the end (as zeros) on the last codewords.
        for (int offset : {0, 3, 7}) {
            const float gain = 0.75f;
            const Band band = writeBand(cb, 512, offset, gain, random);
            aaccore::BitCursor<aaccore::ByteSource> bits(
                aaccore::ByteSource{band.bytes.data(), int64_t(band.bytes.size()), offset});
            std::vector<float> lines(band.expected.size(), -1.0f);
            aaccore::decodeScaledLines(aaccore::huffmanBook(cb), bits, lines.data(), int(lines.size()), gain);
            EXPECT_EQ(int64_t(bits.taken()), band.bits) << "book " << cb << " offset " << offset;
            for (size_t k = 0; k < lines.size(); ++k)
                ASSERT_EQ(lines[k], band.expected[k]) << "book " << cb << " offset " << offset << " line " << k;
        }
    }
}

// A standard escape word, refused past eight prefix ones.
int readEscape(aaccore::BitCursor<aaccore::ByteSource>& bits) {
    int n = 4;
    while (bits.read(1)) {
        if (++n > 12) return -1;
    }
    return (1 << n) + int(bits.read(n));
}

TEST(SpectralKernel, EscapedBookDecodesTheLinesItWasWrittenFrom) {
    std::mt19937 random(5);
    for (int offset : {0, 5}) {
        const float gain = 1.5f;
        const Band band = writeBand(11, 1024, offset, gain, random);
        aaccore::BitCursor<aaccore::ByteSource> bits(
            aaccore::ByteSource{band.bytes.data(), int64_t(band.bytes.size()), offset});
        std::vector<float> lines(band.expected.size(), -1.0f);
        EXPECT_TRUE(aaccore::decodeEscapedLines(aaccore::huffmanBook(11), bits, lines.data(), int(lines.size()), gain,
                                                aaccore::quantTables(), readEscape));
        EXPECT_EQ(int64_t(bits.taken()), band.bits) << offset;
        EXPECT_EQ(lines, band.expected) << offset;
    }
}

TEST(SpectralKernel, BrokenEscapeStopsTheBandJustPastItsPrefix) {
    // Codeword (16, 0), its one sign bit, then nine ones: one more than an escape may have.
    const aactables::HuffmanCodebook& book = aactables::kSpectralCodebooks[11];
    int index = 0;
    while (book.entries[index].values[0] != 16 || book.entries[index].values[1] != 0)
        ++index;
    BitWriter w;
    w.put(book.entries[index].codeword, book.entries[index].length).put(0, 1).put(0x1FF, 9).put(0, 32);
    const std::vector<uint8_t> bytes = w.data();
    aaccore::BitCursor<aaccore::ByteSource> bits(aaccore::ByteSource{bytes.data(), int64_t(bytes.size()), 0});
    std::vector<float> lines(4, -1.0f);
    EXPECT_FALSE(aaccore::decodeEscapedLines(aaccore::huffmanBook(11), bits, lines.data(), 4, 1.0f,
                                             aaccore::quantTables(), readEscape));
    EXPECT_EQ(int(bits.taken()), book.entries[index].length + 1 + 9);
    EXPECT_EQ(lines[2], -1.0f);  // the band stopped before its second pair
}

TEST(SpectralKernel, BandsFollowOneAnotherOnOneCursor) {
    // A band of each book in turn, as a channel's spectral data reads them.
    std::mt19937 random(11);
    BitWriter all;
    std::vector<float> expected;
    std::vector<int> books;
    for (int cb = 1; cb <= 10; ++cb) {
        const Band band = writeBand(cb, 16, 0, 1.0f, random);
        for (int64_t i = 0; i < band.bits; ++i)
            all.put((band.bytes[size_t(i >> 3)] >> (7 - (i & 7))) & 1, 1);
        expected.insert(expected.end(), band.expected.begin(), band.expected.end());
        books.push_back(cb);
    }
    const std::vector<uint8_t> bytes = all.data();
    aaccore::BitCursor<aaccore::ByteSource> bits(aaccore::ByteSource{bytes.data(), int64_t(bytes.size()), 0});
    std::vector<float> lines(expected.size());
    for (size_t b = 0; b < books.size(); ++b)
        aaccore::decodeScaledLines(aaccore::huffmanBook(books[b]), bits, lines.data() + 16 * b, 16, 1.0f);
    EXPECT_EQ(int64_t(bits.taken()), all.bits());
    EXPECT_EQ(lines, expected);
}

TEST(SpectralKernel, ByteSourceReadsZerosOutsideTheData) {
    const std::vector<uint8_t> bytes = {0xFF, 0x81};
    const aaccore::ByteSource source{bytes.data(), int64_t(bytes.size()), 4};
    EXPECT_EQ(source.word(0), 0xF810000000000000ull);
    EXPECT_EQ(source.word(12), 0ull);
    EXPECT_EQ(source.word(1000), 0ull);
}

}  // namespace
