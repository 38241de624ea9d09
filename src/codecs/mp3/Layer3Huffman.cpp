#include "codecs/mp3/Layer3Huffman.h"

#include "codecs/mp3/tables/MpegTables.h"

namespace mp3 {

namespace {

uint32_t TreeEntries(const tables::HuffTable& code) { return static_cast<uint32_t>(code.treeNodes) * 4; }

}  // namespace

uint32_t CHuffmanBitObj::ReadSymbol(Layer3BitReader& bits) const {
    const tables::HuffTable& code = tables::kHuffTables[table_->Selected()];
    if (code.tree == nullptr) return 0;
    // The longest code is 19 bits, so one 32-bit look-ahead covers every step.
    uint32_t window = bits.Peek32();
    uint32_t node = 0;
    for (int used = 0; used < 32; used += 2) {
        uint32_t index = node * 4 + (window >> 30);
        window <<= 2;
        if (index >= TreeEntries(code)) break;  // cannot happen with the generated trees
        uint32_t entry = code.tree[index];
        uint32_t length = (entry >> 8) & 0xFF;
        if (length != 0) {
            bits.Skip(length);  // gives back the second bit of the last step when unused
            return entry & 0xFF;
        }
        node = entry & 0xFF;
    }
    bits.Skip(32);
    return 0;
}

namespace {

// The first four two-bit steps of every tree resolved in advance for each value of the
// next 8 bits: a code of at most 8 bits is one look-up (value | length << 8), a longer
// one continues its two-bit walk from the node reached (0x8000 | node). Derived from the
// trees once per process.
struct FirstByteTables {
    uint16_t table[34][256];

    FirstByteTables() {
        for (int t = 0; t < 34; ++t) {
            const tables::HuffTable& code = tables::kHuffTables[t];
            for (uint32_t prefix = 0; prefix < 256; ++prefix) {
                uint16_t result = 0;
                uint32_t node = 0;
                bool leaf = false;
                for (int step = 0; step < 4 && code.tree != nullptr; ++step) {
                    const uint32_t index = node * 4 + ((prefix >> (6 - 2 * step)) & 3);
                    if (index >= TreeEntries(code)) break;
                    const uint32_t entry = code.tree[index];
                    if ((entry >> 8) & 0xFF) {
                        result = static_cast<uint16_t>(entry & 0xFFFF);
                        leaf = true;
                        break;
                    }
                    node = entry & 0xFF;
                }
                table[t][prefix] = leaf ? result : static_cast<uint16_t>(0x8000 | node);
            }
        }
    }
};

const FirstByteTables& FirstByte() {
    static const FirstByteTables tables;
    return tables;
}

}  // namespace

void CMp3Huffman::SelectTable(int table) {
    table_.Select(table);
    const tables::HuffTable& code = tables::kHuffTables[table_.Selected()];
    linbits_ = static_cast<int>(code.linbits);
    tree_ = code.tree;
    treeEntries_ = TreeEntries(code);
    firstByte_ = FirstByte().table[table_.Selected()];
}

bool CMp3Huffman::HasTree() const { return tree_ != nullptr; }

}  // namespace mp3
