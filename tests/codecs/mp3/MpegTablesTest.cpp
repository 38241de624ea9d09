// The generated tables where a mistake would not show in a decode of Layers I and II:
// the Layer III code trees (every code decodes to its value at its length through the
// two-bit tree) and the Layer II walking tables.
#include <gtest/gtest.h>

#include "codecs/mp3/tables/MpegTables.h"

namespace {

using namespace mp3::tables;

// Walks the tree with the bits of `code` (length bits, most significant first), two at a
// time; returns the leaf entry and the bits consumed.
uint32_t DecodeCode(const HuffTable& t, uint32_t code, int length, int& consumed) {
    int node = 0;
    consumed = 0;
    for (int step = 0; step < 16; ++step) {
        // Two next bits, zero-padded past the code's end.
        uint32_t two = 0;
        for (int b = 0; b < 2; ++b) {
            const int index = consumed + b;
            const uint32_t bit = index < length ? (code >> (length - 1 - index)) & 1 : 0;
            two = (two << 1) | bit;
        }
        EXPECT_LT(node, t.treeNodes);
        const uint32_t entry = t.tree[node * 4 + static_cast<int>(two)];
        if (((entry >> 8) & 0xFF) == 0) {
            node = static_cast<int>(entry & 0xFF);
            consumed += 2;
            continue;
        }
        consumed += static_cast<int>((entry >> 16) & 0xFF);
        return entry;
    }
    return 0;
}

TEST(MpegTables, EveryHuffmanCodeDecodesThroughItsTree) {
    for (int i = 0; i < 34; ++i) {
        const HuffTable& t = kHuffTables[i];
        if (t.tree == nullptr) {
            EXPECT_TRUE(i == 0 || i == 4 || i == 14) << i;
            continue;
        }
        for (int c = 0; c < t.codeCount; ++c) {
            const HuffCode& code = t.codes[c];
            int consumed = 0;
            const uint32_t leaf = DecodeCode(t, code.code, code.length, consumed);
            ASSERT_EQ(leaf & 0xFF, code.value) << "table " << i << " code " << c;
            ASSERT_EQ((leaf >> 8) & 0xFF, code.length) << "table " << i << " code " << c;
            ASSERT_EQ(consumed, code.length) << "table " << i << " code " << c;
        }
    }
    EXPECT_EQ(kHuffTables[32].codeCount, 16);
    EXPECT_EQ(kHuffTables[24].linbits, 4);
    EXPECT_EQ(kHuffTables[31].linbits, 13);
}

TEST(MpegTables, LayerTwoTablesWalkToTheirEnd) {
    const int limits[5] = {27, 30, 8, 12, 30};
    for (int t = 0; t < 5; ++t) {
        const L2AllocTable& table = kL2AllocTables[t];
        EXPECT_EQ(table.subbandLimit, limits[t]);
        int walk = 0;
        for (int sb = 0; sb < table.subbandLimit; ++sb) {
            ASSERT_LT(walk, table.count);
            const int width = table.entries[walk].first;
            ASSERT_GE(width, 2);
            ASSERT_LE(width, 4);
            EXPECT_EQ(table.entries[walk].second, 0);
            walk += 1 << width;
        }
        EXPECT_EQ(walk, table.count) << t;
    }
}

}  // namespace
