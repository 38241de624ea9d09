// Header acceptance and the values derived from an accepted header.
#include <gtest/gtest.h>

#include "FrameTestUtil.h"
#include "codecs/mp3/MpegHeader.h"

namespace {

using mp3test::HeaderWord;

struct HeaderCase {
    const char* what;
    uint32_t word;
    bool valid;
    int version;
    int layer;
    int sampleRate;
    int bitRate;
    int frameBits;
    int samples;
};

HeaderCase Invalid(const char* what, uint32_t word) { return HeaderCase{what, word, false, 0, 0, 0, 0, 0, 0}; }

class MpegHeaderDecode : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(MpegHeaderDecode, AcceptsAndDerives) {
    const HeaderCase& c = GetParam();
    mp3::CMpegHeader h;
    EXPECT_EQ(h.Decode(c.word), c.valid);
    EXPECT_EQ(h.valid, c.valid ? 1 : 0);
    if (!c.valid) {
        // An invalid header leaves every field zero.
        EXPECT_EQ(h.sync, 0);
        EXPECT_EQ(h.layer, 0);
        EXPECT_EQ(h.frameBits, 0);
        EXPECT_EQ(h.sampleRate, 0);
        return;
    }
    EXPECT_EQ(h.version, c.version);
    EXPECT_EQ(h.layer, c.layer);
    EXPECT_EQ(h.sampleRate, c.sampleRate);
    EXPECT_EQ(h.bitRate, c.bitRate);
    EXPECT_EQ(h.frameBits, c.frameBits);
    EXPECT_EQ(h.GetSamplesPerFrame(), c.samples);
    EXPECT_FLOAT_EQ(h.frameDuration, static_cast<float>(c.samples) * 1000.0f / static_cast<float>(c.sampleRate));
}

INSTANTIATE_TEST_SUITE_P(
    Table, MpegHeaderDecode,
    ::testing::Values(
        HeaderCase{"mpeg1_l3_128k_44k", HeaderWord(3, 3, 9, 0), true, 0, 3, 44100, 128000, 3336, 1152},
        HeaderCase{"mpeg1_l3_128k_44k_padded", HeaderWord(3, 3, 9, 0, 1), true, 0, 3, 44100, 128000, 3344, 1152},
        HeaderCase{"mpeg1_l2_192k_48k", HeaderWord(3, 2, 10, 1), true, 0, 2, 48000, 192000, 4608, 1152},
        HeaderCase{"mpeg1_l1_384k_44k", HeaderWord(3, 1, 12, 0), true, 0, 1, 44100, 384000, 3328, 384},
        HeaderCase{"mpeg1_l1_448k_32k_padded", HeaderWord(3, 1, 14, 2, 1), true, 0, 1, 32000, 448000, 5408, 384},
        HeaderCase{"mpeg2_l3_64k_22k", HeaderWord(2, 3, 8, 0), true, 1, 3, 22050, 64000, 1664, 576},
        HeaderCase{"mpeg2_l2_160k_16k", HeaderWord(2, 2, 14, 2), true, 1, 2, 16000, 160000, 11520, 1152},
        HeaderCase{"mpeg2_l1_256k_24k", HeaderWord(2, 1, 14, 1), true, 1, 1, 24000, 256000, 4096, 384},
        HeaderCase{"mpeg25_l3_64k_8k_index8", HeaderWord(0, 3, 8, 2), true, 2, 3, 8000, 64000, 4608, 576},
        HeaderCase{"mpeg25_l3_8k_11k", HeaderWord(0, 3, 1, 0), true, 2, 3, 11025, 8000, 416, 576},
        Invalid("mpeg25_l3_80k_index9", HeaderWord(0, 3, 9, 2)), Invalid("mpeg25_layer2", HeaderWord(0, 2, 4, 0)),
        Invalid("reserved_version", HeaderWord(1, 3, 9, 0)), Invalid("free_format", HeaderWord(3, 2, 0, 0)),
        Invalid("bitrate_index_15", HeaderWord(3, 2, 15, 0)), Invalid("sampling_index_3", HeaderWord(3, 2, 8, 3)),
        Invalid("layer_bits_00", HeaderWord(3, 0, 8, 0)), Invalid("no_sync", HeaderWord(3, 2, 8, 0) & ~0x00200000u)),
    [](const auto& info) { return std::string(info.param.what); });

TEST(MpegHeader, RawFieldsAndChannels) {
    mp3::CMpegHeader h;
    ASSERT_TRUE(h.Decode(HeaderWord(3, 2, 8, 1, 1, 1, 2, true) | 0x10Fu));  // private, copyright, original, emphasis
    EXPECT_EQ(h.protectedFlag, 1);
    EXPECT_EQ(h.padding, 1);
    EXPECT_EQ(h.privateBit, 1);
    EXPECT_EQ(h.mode, 1);
    EXPECT_EQ(h.modeExtension, 2);
    EXPECT_EQ(h.copyright, 1);
    EXPECT_EQ(h.original, 1);
    EXPECT_EQ(h.emphasis, 3);
    EXPECT_EQ(h.channels, 2);
    EXPECT_EQ(h.id, 1);
    EXPECT_EQ(h.versionBit, 1);
    ASSERT_TRUE(h.Decode(HeaderWord(3, 2, 8, 1, 0, 3)));
    EXPECT_EQ(h.channels, 1);
    EXPECT_EQ(h.protectedFlag, 0);
}

}  // namespace
