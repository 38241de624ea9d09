#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "codecs/aactables/AacHuffman.h"
#include "codecs/aactables/AacSampleRate.h"
#include "codecs/aactables/tables/AacTables.h"

using namespace aactables;

namespace {

std::vector<std::pair<const char*, const HuffmanCodebook*>> allBooks() {
    std::vector<std::pair<const char*, const HuffmanCodebook*>> books;
    for (int i = 1; i <= 11; ++i)
        books.emplace_back("spectral", &kSpectralCodebooks[i]);
    books.emplace_back("scalefactor", &kScaleFactorCodebook);
    for (const HuffmanCodebook* b :
         {&kSbrTHuffmanEnv15dB, &kSbrFHuffmanEnv15dB, &kSbrTHuffmanEnvBal15dB, &kSbrFHuffmanEnvBal15dB,
          &kSbrTHuffmanEnv30dB, &kSbrFHuffmanEnv30dB, &kSbrTHuffmanEnvBal30dB, &kSbrFHuffmanEnvBal30dB,
          &kSbrTHuffmanNoise30dB, &kSbrTHuffmanNoiseBal30dB})
        books.emplace_back("sbr", b);
    for (const HuffmanCodebook* b :
         {&kPsHuffIidDf, &kPsHuffIidDt, &kPsHuffIidFineDf, &kPsHuffIidFineDt, &kPsHuffIccDf, &kPsHuffIccDt})
        books.emplace_back("ps", b);
    return books;
}

}  // namespace

// The decode tree must give back every codeword's own index after exactly its length.
TEST(AacTables, EveryCodewordDecodesThroughTheTree) {
    for (auto [kind, book] : allBooks()) {
        ASSERT_GT(book->count, 0);
        for (int k = 0; k < book->count; ++k) {
            const HuffmanEntry& e = book->entries[k];
            int pos = 0;
            const int got = decodeHuffman(*book, [&] { return int((e.codeword >> (e.length - 1 - pos++)) & 1); });
            EXPECT_EQ(got, k) << kind << " entry " << k;
            EXPECT_EQ(pos, e.length) << kind << " entry " << k;
        }
    }
}

TEST(AacTables, SpectralValuesFollowTheIndexFormula) {
    for (int cb = 1; cb <= 11; ++cb) {
        const SpectralCodebookInfo& info = kSpectralCodebookInfo[cb];
        const HuffmanCodebook& book = kSpectralCodebooks[cb];
        for (int k = 0; k < book.count; ++k) {
            int index = 0;
            for (int d = 0; d < info.dimension; ++d)
                index = index * info.mod + book.entries[k].values[d] + info.offset;
            EXPECT_EQ(index, k) << "book " << cb;
        }
    }
    EXPECT_EQ(kScaleFactorCodebook.entries[60].values[0], 0);
    EXPECT_EQ(kScaleFactorCodebook.entries[60].length, 1);
}

TEST(AacTables, BandTablesEndAtTheFrameLengthAndRate12SharesRate11) {
    for (int i = 0; i < kSampleRateIndexCount; ++i) {
        EXPECT_EQ(kSwbOffsetLong[i].offsets[kSwbOffsetLong[i].numSwb], 1024) << i;
        EXPECT_EQ(kSwbOffsetShort[i].offsets[kSwbOffsetShort[i].numSwb], 128) << i;
    }
    EXPECT_EQ(kSwbOffsetLong[4].numSwb, 49);
    EXPECT_EQ(kSwbOffsetLong[5].numSwb, 51);
    EXPECT_EQ(kSwbOffsetLong[12].offsets, kSwbOffsetLong[11].offsets);
    EXPECT_EQ(kPredSfbMax[12], kPredSfbMax[11]);
    EXPECT_EQ(kTnsMaxBandsLong[12], kTnsMaxBandsLong[11]);
}

TEST(AacTables, RateToIndex) {
    const std::pair<uint32_t, int> cases[] = {
        {96000, 0}, {200000, 0}, {92017, 0}, {92016, 1}, {88200, 1}, {48000, 3}, {46009, 3}, {46008, 4},
        {44100, 4}, {32000, 5},  {22050, 7}, {8000, 11}, {7350, 11}, {1, 11},    {0, 11},
    };
    for (auto [rate, index] : cases)
        EXPECT_EQ(sampleRateIndexForRate(rate), index) << rate;
    EXPECT_EQ(sampleRateForIndex(12), 7350u);
    EXPECT_EQ(sampleRateForIndex(13), 0u);
    EXPECT_EQ(sampleRateForIndex(15), 0u);
}
