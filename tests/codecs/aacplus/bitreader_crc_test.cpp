// Bit reader, CRC and input buffer of the aacPlus decoder.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "codecs/aacplus/BitReader.h"
#include "codecs/aacplus/Crc.h"
#include "codecs/aacplus/InputBuffer.h"

using namespace aacplus;

TEST(AacPlusBitReader, ReadsMsbFirstAcrossRefills) {
    const uint8_t data[] = {0xA5, 0x3C, 0xFF, 0x00, 0x81, 0x7E, 0x12, 0x34};
    BitReader r;
    r.bind(data, sizeof data);
    EXPECT_EQ(r.read(1), 1u);
    EXPECT_EQ(r.read(3), 0x2u);
    EXPECT_EQ(r.read(4), 0x5u);
    EXPECT_EQ(r.peek(16), 0x3CFFu);
    EXPECT_EQ(r.read(20), 0x3CFF0u);
    EXPECT_EQ(r.read(25), 0x102FC2u);  // low 4 bits of 0x00, 0x81, 0x7E, top 5 bits of 0x12
    EXPECT_EQ(r.position(), 53);
    EXPECT_EQ(r.bitsLeft(), 11);
    EXPECT_FALSE(r.overran());
}

TEST(AacPlusBitReader, ReadingPastTheEndGivesZerosAndNegativeBitsLeft) {
    const uint8_t data[] = {0xFF, 0xF0};
    BitReader r;
    r.bind(data, sizeof data);
    r.read(8);
    EXPECT_EQ(r.read(16), 0xF000u);
    EXPECT_EQ(r.bitsLeft(), -8);
    EXPECT_TRUE(r.overran());
    EXPECT_EQ(r.read(25), 0u);
}

TEST(AacPlusBitReader, SkipAndAlign) {
    const uint8_t data[] = {0x00, 0x0D, 0xFF, 0x80};
    BitReader r;
    r.bind(data, sizeof data);
    r.skip(13);
    EXPECT_EQ(r.read(3), 0x5u);  // low three bits of the second byte

    // A block that started at bit 3: after 6 bits, aligning drops 2 bits (to bit 11 + ... )
    BitReader b;
    b.bind(data, sizeof data, 3);
    b.read(6);
    b.align(3);
    EXPECT_EQ(b.position(), 11);

    // Skipping from a part-read cache, and far past the end, keeps the position exact.
    BitReader c;
    c.bind(data, sizeof data);
    c.read(5);
    c.skip(14);
    EXPECT_EQ(c.position(), 19);
    EXPECT_EQ(c.read(5), 0x1Fu);
    c.skip(1000);
    EXPECT_EQ(c.position(), 1024);
    EXPECT_EQ(c.read(8), 0u);
}

TEST(AacPlusBitReader, ConsumedBytesCountsWholeBytesBehindThePosition) {
    const uint8_t data[8] = {};
    BitReader r;
    r.bind(data, sizeof data);
    EXPECT_EQ(r.consumedBytes(), 0);
    r.read(9);
    EXPECT_EQ(r.consumedBytes(), 1);
    r.read(7);
    EXPECT_EQ(r.consumedBytes(), 2);
}

TEST(AacPlusCrc, KnownAnswers) {
    auto crc = Crc::createAdts();
    ASSERT_TRUE(crc);
    EXPECT_EQ(crc->current(), 0xFFFF);  // empty message

    const char* text = "123456789";
    CrcRegion whole;
    whole.begin(0, 0);
    whole.end(72, INT64_MAX);
    crc->feed(reinterpret_cast<const uint8_t*>(text), 9, &whole, 1);
    EXPECT_EQ(crc->current(), 0xAEE7);  // the standard check value of this CRC-16
    crc->setExpected(0xAEE7);
    EXPECT_TRUE(crc->matches());

    // Unaligned regions, bit remainders and zero padding (reference values from a plain
    // bit-serial implementation of the same polynomial).
    const uint8_t two[] = {0xAB, 0xCD};
    struct Case {
        int64_t start, length, pad;
        uint16_t want;
    } cases[] = {{0, 13, 0, 0x5F17}, {3, 10, 16, 0xC588}};
    for (const Case& c : cases) {
        crc->reset();
        CrcRegion region;
        region.begin(c.start, c.pad);
        region.end(c.start + c.length, INT64_MAX);
        crc->feed(two, sizeof two, &region, 1);
        EXPECT_EQ(crc->current(), c.want) << c.start;
    }
}

TEST(AacPlusCrc, ElementRegionIsPaddedTo192Bits) {
    std::vector<uint8_t> data = {0x44, 0x20, 0x82, 0x3c, 0xfd, 0xe6, 0xf1, 0xc2, 0x6b, 0x30, 0xf9, 0x0e, 0xc7, 0xdd,
                                 0x01, 0xe4, 0x88, 0x75, 0x34, 0xa2, 0x0f, 0x0b, 0x0d, 0x04, 0xc3, 0x6e, 0xd8, 0x0e,
                                 0x71, 0xe0, 0xfd, 0x77, 0xb0, 0x76, 0x70, 0xeb, 0x94, 0x0b, 0xd5, 0x33};
    auto crc = Crc::createAdts();
    CrcRegion region;
    region.begin(5, 192);
    region.end(5 + 150, 192);  // a 150-bit single channel element
    crc->feed(data.data(), int32_t(data.size()), &region, 1);
    EXPECT_EQ(crc->current(), 0x25BF);
    // The maximum caps a longer element at 192 bits.
    region.end(5 + 400, 192);
    EXPECT_EQ(region.length, 192);
}

TEST(AacPlusInputBuffer, TakesWhatFitsAndMakesRoomAsTheReaderConsumes) {
    BitReader reader;
    decapl84 input(&reader);
    std::vector<uint8_t> bytes(10000);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 7);
    uint32_t remaining = 10000;
    input.append(bytes.data(), remaining);
    EXPECT_EQ(remaining, 10000u - 8192u);
    EXPECT_EQ(input.held(), 8192);

    reader.skip(300 * 8);  // the decoder consumes a 300-byte frame
    uint32_t more = remaining;
    input.append(bytes.data() + 8192, more);
    EXPECT_EQ(remaining - more, 300u);
    EXPECT_EQ(reader.position(), 0);
    EXPECT_EQ(reader.read(8), uint8_t(300 * 7));

    uint32_t none = 0;
    input.append(nullptr, none);
    EXPECT_TRUE(input.endOfInput);
}

TEST(AacPlusInputBuffer, CompactingKeepsAPartReadCacheIntact) {
    BitReader reader;
    decapl84 input(&reader);
    const uint8_t first[] = {0x12, 0x34, 0x56};
    uint32_t n = sizeof first;
    input.append(first, n);
    EXPECT_EQ(reader.read(12), 0x123u);  // the cache now holds the rest of the bytes
    const uint8_t second[] = {0x78, 0x9A};
    n = sizeof second;
    input.append(second, n);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(reader.read(12), 0x456u);
    EXPECT_EQ(reader.read(16), 0x789Au);
    EXPECT_EQ(reader.bitsLeft(), 0);
}
