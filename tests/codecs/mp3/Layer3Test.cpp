// Unit tests of the Layer III building blocks whose faults the stream tests would only
// show as "some frames are off": the fast inverse MDCTs against their defining sums,
// the short-block reordering, and the Huffman trees and value decoders.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "codecs/mp3/Layer3FilterBank.h"
#include "codecs/mp3/Layer3Huffman.h"
#include "codecs/mp3/tables/MpegTables.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

double LongWindow(int type, int i) {
    const double sine = std::sin(kPi / 36 * (i + 0.5));
    if (type == 1) {
        if (i < 18) return sine;
        if (i < 24) return 1.0;
        if (i < 30) return std::sin(kPi / 12 * (i - 18 + 0.5));
        return 0.0;
    }
    if (type == 3) {
        if (i < 6) return 0.0;
        if (i < 12) return std::sin(kPi / 12 * (i - 6 + 0.5));
        if (i < 18) return 1.0;
    }
    return sine;
}

// The 36 windowed samples of one subband, straight from the transform's definition.
std::vector<double> DirectBlock(const float* x, int type) {
    std::vector<double> z(36, 0.0);
    if (type != 2) {
        for (int i = 0; i < 36; ++i) {
            double s = 0.0;
            for (int k = 0; k < 18; ++k)
                s += x[k] * std::cos(kPi / 72 * (2 * i + 19) * (2 * k + 1));
            z[i] = s * LongWindow(type, i);
        }
        return z;
    }
    for (int w = 0; w < 3; ++w)
        for (int i = 0; i < 12; ++i) {
            double s = 0.0;
            for (int k = 0; k < 6; ++k)
                s += x[3 * k + w] * std::cos(kPi / 24 * (2 * i + 7) * (2 * k + 1));
            z[6 + 6 * w + i] += s * std::sin(kPi / 12 * (i + 0.5));
        }
    return z;
}

struct FilterCase {
    int blockType;
    int longSubbands;  // leading subbands of a mixed block
};

class Layer3FilterBankTest : public ::testing::TestWithParam<FilterCase> {};

// Two granules through the filter bank: each output is the first half of its block plus
// the second half of the previous one, odd samples of odd subbands negated.
TEST_P(Layer3FilterBankTest, MatchesDefiningTransformWithOverlapAndInversion) {
    const FilterCase c = GetParam();
    mp3::CHybridFilterBank bank(0);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(-1000.0f, 1000.0f);
    std::vector<double> previous(32 * 18, 0.0);
    for (int granule = 0; granule < 2; ++granule) {
        std::vector<float> in(576);
        for (float& v : in)
            v = value(rng);
        std::vector<float> out(576);
        bank.Process(1, in.data(), out.data(), 32, c.blockType, c.longSubbands);
        for (int sb = 0; sb < 32; ++sb) {
            const int type = sb < c.longSubbands ? 0 : c.blockType;
            const std::vector<double> z = DirectBlock(in.data() + 18 * sb, type);
            for (int i = 0; i < 18; ++i) {
                double expected = z[i] + previous[18 * sb + i];
                if ((sb & 1) && (i & 1)) expected = -expected;
                ASSERT_NEAR(out[18 * sb + i], expected, 0.05)
                    << "granule " << granule << " subband " << sb << " sample " << i;
                previous[18 * sb + i] = z[18 + i];
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BlockTypes, Layer3FilterBankTest,
                         ::testing::Values(FilterCase{0, 0}, FilterCase{1, 0}, FilterCase{2, 0}, FilterCase{3, 0},
                                           FilterCase{2, 2}, FilterCase{2, 4}, FilterCase{1, 2}));

// Subbands above the processed count only hand out their overlap (once) and subbands
// above what the downsampling keeps are never transformed.
TEST(Layer3FilterBank, UnprocessedSubbandsFlushOverlapAndDownsamplingStopsAtItsLimit) {
    mp3::CHybridFilterBank bank(2);
    EXPECT_EQ(bank.SubbandLimit(), 8u);
    std::vector<float> in(576, 100.0f);
    std::vector<float> out(576);
    bank.Process(0, in.data(), out.data(), 32, 0, 0);
    for (int i = 8 * 18; i < 576; ++i)
        ASSERT_EQ(out[i], 0.0f) << "line " << i;
    bool any = false;
    for (int i = 0; i < 8 * 18; ++i)
        any = any || out[i] != 0.0f;
    EXPECT_TRUE(any);

    // Nothing processed now: the overlap comes out once, then silence.
    std::vector<float> zero(576, 0.0f);
    bank.Process(0, zero.data(), out.data(), 0, 0, 0);
    any = false;
    for (int i = 0; i < 8 * 18; ++i)
        any = any || out[i] != 0.0f;
    EXPECT_TRUE(any);
    bank.Process(0, zero.data(), out.data(), 0, 0, 0);
    for (float v : out)
        ASSERT_EQ(v, 0.0f);
}

TEST(Layer3Reorder, InterleavesWindowsWithinEachBandFromTheFirstShortBand) {
    for (int rate = 0; rate < 9; ++rate) {
        const int16_t* sfb = mp3::tables::kSfbShort[rate];
        for (int from : {0, 3}) {
            std::vector<float> xr(576);
            for (int i = 0; i < 576; ++i)
                xr[i] = static_cast<float>(i);
            const std::vector<float> original = xr;
            mp3::Layer3ReorderShort(xr.data(), sfb, from);
            for (int i = 0; i < 3 * sfb[from]; ++i)
                ASSERT_EQ(xr[i], original[i]) << "rate " << rate;
            for (int band = from; band < 13; ++band) {
                const int start = sfb[band];
                const int width = sfb[band + 1] - start;
                for (int w = 0; w < 3; ++w)
                    for (int j = 0; j < width; ++j)
                        ASSERT_EQ(xr[3 * start + 3 * j + w], original[3 * start + w * width + j])
                            << "rate " << rate << " band " << band;
            }
        }
    }
}

// Every code of a tree, by walking it: bit string -> leaf value.
void CollectCodes(const mp3::tables::HuffTable& code, uint32_t node, const std::string& prefix,
                  std::map<std::string, uint32_t>& codes) {
    for (uint32_t two = 0; two < 4; ++two) {
        const uint32_t entry = code.tree[node * 4 + two];
        const uint32_t length = (entry >> 8) & 0xFF;
        std::string bits = prefix + ((two & 2) ? '1' : '0') + ((two & 1) ? '1' : '0');
        if (length == 0) {
            ASSERT_LT((entry & 0xFF), static_cast<uint32_t>(code.treeNodes));
            CollectCodes(code, entry & 0xFF, bits, codes);
        } else {
            ASSERT_GE(bits.size(), length);
            ASSERT_LE(bits.size() - length, 1u);
            codes[bits.substr(0, length)] = entry & 0xFF;
        }
    }
}

std::vector<uint8_t> Pack(const std::string& bits) {
    std::vector<uint8_t> bytes(bits.size() / 8 + 16, 0);
    for (size_t i = 0; i < bits.size(); ++i)
        if (bits[i] == '1') bytes[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
    return bytes;
}

// Each tree is a complete prefix code (Kraft sum 1) holding every value once, and the
// decoder reads each code in exactly its length, whatever follows.
TEST(Layer3Huffman, TreesAreCompleteAndEveryCodeDecodesInItsLength) {
    for (int table = 0; table < 34; ++table) {
        const mp3::tables::HuffTable& code = mp3::tables::kHuffTables[table];
        if (code.tree == nullptr) continue;
        SCOPED_TRACE("table " + std::to_string(table));
        std::map<std::string, uint32_t> codes;
        CollectCodes(code, 0, "", codes);
        double kraft = 0.0;
        std::map<uint32_t, int> seen;
        for (const auto& [bits, value] : codes) {
            kraft += std::ldexp(1.0, -static_cast<int>(bits.size()));
            ++seen[value];
            ASSERT_LE(bits.size(), 19u);
        }
        EXPECT_DOUBLE_EQ(kraft, 1.0);
        for (const auto& [value, count] : seen)
            EXPECT_EQ(count, 1) << "value " << value;
        EXPECT_EQ(codes.size(), table >= 32 ? 16u : seen.size());

        mp3::CHuffmanTable selected;
        selected.Select(table);
        mp3::CHuffmanBitObj reader(&selected);
        for (const auto& [bits, value] : codes) {
            for (const char* tail : {"0000000000", "1111111111"}) {
                const std::vector<uint8_t> bytes = Pack(bits + tail);
                mp3::Layer3BitReader r(bytes.data(), bytes.size());
                ASSERT_EQ(reader.ReadSymbol(r), value) << bits;
                ASSERT_EQ(r.Position(), bits.size()) << bits;
            }
        }
    }
}

std::string CodeOf(int table, uint32_t value) {
    std::map<std::string, uint32_t> codes;
    CollectCodes(mp3::tables::kHuffTables[table], 0, "", codes);
    for (const auto& [bits, v] : codes)
        if (v == value) return bits;
    return {};
}

// Escape values: 15 plus linbits, a sign after every non-zero value, none after zero.
TEST(Layer3Huffman, PairsReadLinbitsAndSignsInOrder) {
    struct Case {
        int table;
        uint32_t symbol;    // x * 16 + y
        const char* extra;  // bits after the code
        int x;
        int y;
        size_t bits;  // extra bits consumed
    };
    // table 23 has 13 linbits, table 16 one, table 15 none.
    const Case cases[] = {
        {23, 0xFF,
         "0000000000011"
         "1"
         "1111111111111"
         "0",
         -(15 + 3), 15 + 8191, 28},
        {16, 0xF0,
         "1"
         "1",
         -16, 0, 2},
        {16, 0x0F,
         "0"
         "1",
         0, -15, 2},
        {15, 0xF1,
         "1"
         "0",
         -15, 1, 2},
        {24, 0x00, "", 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("table " + std::to_string(c.table));
        const std::string code = CodeOf(c.table, c.symbol);
        ASSERT_FALSE(code.empty());
        const std::vector<uint8_t> bytes = Pack(code + c.extra + "1010101010");
        mp3::Layer3BitReader r(bytes.data(), bytes.size());
        mp3::CMp3Huffman h;
        h.SelectTable(c.table);
        int x = 99;
        int y = 99;
        h.DecodePair(r, x, y);
        EXPECT_EQ(x, c.x);
        EXPECT_EQ(y, c.y);
        EXPECT_EQ(r.Position(), code.size() + c.bits);
    }

    // A table without a tree reads nothing and yields zeros.
    const std::vector<uint8_t> ones(16, 0xFF);
    mp3::Layer3BitReader r(ones.data(), ones.size());
    mp3::CMp3Huffman h;
    h.SelectTable(4);
    int x = 1;
    int y = 1;
    h.DecodePair(r, x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(r.Position(), 0u);
}

TEST(Layer3Huffman, QuadruplesTakeASignPerSetBit) {
    for (int table : {32, 33}) {
        const std::string code = CodeOf(table, 0b1011);
        ASSERT_FALSE(code.empty());
        const std::vector<uint8_t> bytes = Pack(code + "101" + "0000");
        mp3::Layer3BitReader r(bytes.data(), bytes.size());
        mp3::CMp3Huffman h;
        h.SelectTable(table);
        int v = 0, w = 0, x = 0, y = 0;
        h.DecodeQuad(r, v, w, x, y);
        EXPECT_EQ(v, -1);
        EXPECT_EQ(w, 0);
        EXPECT_EQ(x, 1);
        EXPECT_EQ(y, -1);
        EXPECT_EQ(r.Position(), code.size() + 3);
    }
}

// Reads past the end of the buffer stay inside it, whatever the position.
TEST(Layer3BitReader, PositionsPastTheEndReadInsideTheBuffer) {
    std::vector<uint8_t> bytes = {0x12, 0x34, 0x56, 0x78, 0, 0, 0, 0, 0, 0, 0, 0};
    mp3::Layer3BitReader r(bytes.data(), bytes.size());
    EXPECT_EQ(r.GetBits(12), 0x123u);
    EXPECT_EQ(r.GetBits(20), 0x45678u);
    r.SetPosition(1u << 30);
    (void)r.GetBits(32);
    (void)r.Peek32();
    EXPECT_EQ(r.Position(), (1u << 30) + 32);
}

}  // namespace
