// The handle interface: status classes, handle and argument checks, feeding, end of
// input, the output-size check and the information record.
#include <gtest/gtest.h>

#include <cstring>

#include "FrameTestUtil.h"
#include "Mp3TestUtil.h"
#include "codecs/mp3/MpegDecoder.h"
#include "codecs/mp3/MpegStatus.h"
#include "support/Env.h"
#include "support/Pcm.h"

namespace {

using namespace mp3;

class Handle {
public:
    explicit Handle(unsigned shift = 0, unsigned eightBit = 0, unsigned mono = 0) {
        EXPECT_EQ(MpegDecoderCreate(&h_, shift, eightBit, mono), kStatusOk);
    }
    ~Handle() { MpegDecoderDestroy(h_); }
    MpegDecoderHandle* get() const { return h_; }
    int Feed(const std::vector<uint8_t>& bytes) {
        int consumed = -1;
        EXPECT_EQ(MpegDecoderFeed(h_, bytes.data(), static_cast<int>(bytes.size()), &consumed), kStatusOk);
        return consumed;
    }

private:
    MpegDecoderHandle* h_ = nullptr;
};

TEST(MpegDecoderInterface, StatusClassesAreTheTopTwoBits) {
    struct Case {
        uint32_t status;
        StatusClass cls;
    } cases[] = {
        {kStatusOk, StatusClass::Success},
        {kStatusSideInfoBad, StatusClass::Information},
        {kStatusMainDataMissing, StatusClass::Information},
        {kStatusNeedSync, StatusClass::Warning},
        {kStatusSyncLost, StatusClass::Warning},
        {kStatusFrameIncomplete, StatusClass::Warning},
        {kStatusEndOfStream, StatusClass::Warning},
        {kStatusNullPointer, StatusClass::Error},
        {kStatusOutOfMemory, StatusClass::Error},
        {kStatusBadHandle, StatusClass::Error},
        {kStatusWrongLayer, StatusClass::Error},
        {kStatusOutputTooSmall, StatusClass::Error},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClassOf(c.status), c.cls) << std::hex << c.status;
    EXPECT_EQ(kStatusSideInfoBad, 0x41010001u);
    EXPECT_EQ(kStatusMainDataMissing, 0x41010002u);
    EXPECT_EQ(kStatusNeedSync, 0x81010001u);
    EXPECT_EQ(kStatusSyncLost, 0x81010002u);
    EXPECT_EQ(kStatusFrameIncomplete, 0x81010003u);
    EXPECT_EQ(kStatusEndOfStream, 0x81010004u);
    EXPECT_EQ(kStatusWrongLayer, 0xC1010002u);
    EXPECT_EQ(kStatusOutputTooSmall, 0xC1010003u);
}

TEST(MpegDecoderInterface, CreateWithNullOutPointerIsRefused) {
    EXPECT_EQ(MpegDecoderCreate(nullptr, 0, 0, 0), 0xC0000001u);
}

// Every operation refuses a null handle, a wrong tag and a null decoder pointer with
// 0xC0000003, before looking at its other arguments.
TEST(MpegDecoderInterface, BadHandlesAreRefusedByEveryOperation) {
    Handle good;
    MpegDecoderHandle wrongTag = *good.get();
    wrongTag.tag[2] = 'R';
    MpegDecoderHandle noZero = *good.get();
    noZero.tag[3] = 'x';
    MpegDecoderHandle nullDecoder = *good.get();
    nullDecoder.decoder = nullptr;
    for (MpegDecoderHandle* bad : {static_cast<MpegDecoderHandle*>(nullptr), &wrongTag, &noZero, &nullDecoder}) {
        uint8_t buffer[8];
        int value = 0;
        EXPECT_EQ(MpegDecoderFeed(bad, buffer, 8, &value), 0xC0000003u);
        EXPECT_EQ(MpegDecoderFeed(bad, buffer, 8, nullptr), 0xC0000003u);
        EXPECT_EQ(MpegDecoderGetInputSpace(bad, &value), 0xC0000003u);
        EXPECT_EQ(MpegDecoderGetInputSpace(bad, nullptr), 0xC0000003u);
        EXPECT_EQ(MpegDecoderSetEndOfInput(bad), 0xC0000003u);
        EXPECT_EQ(MpegDecoderDecode(bad, buffer, 8, &value), 0xC0000003u);
        EXPECT_EQ(MpegDecoderGetInfo(bad), nullptr);
        EXPECT_EQ(MpegDecoderDestroy(bad), 0xC0000003u);
    }
    // The good handle is untouched by all of that.
    EXPECT_NE(MpegDecoderGetInfo(good.get()), nullptr);
}

TEST(MpegDecoderInterface, NullOutPointersAreRefused) {
    Handle h;
    uint8_t byte = 0;
    EXPECT_EQ(MpegDecoderFeed(h.get(), &byte, 1, nullptr), 0xC0000001u);
    EXPECT_EQ(MpegDecoderGetInputSpace(h.get(), nullptr), 0xC0000001u);
    int space = 0;
    EXPECT_EQ(MpegDecoderGetInputSpace(h.get(), &space), kStatusOk);
    EXPECT_EQ(space, 16384) << "the refused feed must not have consumed anything";
    // Decode accepts a null produced pointer.
    EXPECT_EQ(MpegDecoderDecode(h.get(), &byte, 1, nullptr), kStatusNeedSync);
}

TEST(MpegDecoderInterface, FeedTakesOnlyTheFreeSpace) {
    Handle h;
    std::vector<uint8_t> bytes(10000, 0x42);
    EXPECT_EQ(h.Feed(bytes), 10000);
    int space = 0;
    (void)MpegDecoderGetInputSpace(h.get(), &space);
    EXPECT_EQ(space, 6384);
    EXPECT_EQ(h.Feed(bytes), 6384);
    (void)MpegDecoderGetInputSpace(h.get(), &space);
    EXPECT_EQ(space, 0);
    EXPECT_EQ(h.Feed(bytes), 0);
    int consumed = -1;
    EXPECT_EQ(MpegDecoderFeed(h.get(), nullptr, 5, &consumed), kStatusOk);
    EXPECT_EQ(consumed, 0);
    EXPECT_EQ(MpegDecoderFeed(h.get(), bytes.data(), -3, &consumed), kStatusOk);
    EXPECT_EQ(consumed, 0);
}

TEST(MpegDecoderInterface, DecodeBeforeInputAndEndOfInput) {
    Handle h;
    std::vector<uint8_t> out(4608);
    int produced = 99;
    EXPECT_EQ(MpegDecoderDecode(h.get(), out.data(), 4608, &produced), kStatusNeedSync);
    EXPECT_EQ(produced, 0);
    EXPECT_EQ(MpegDecoderSetEndOfInput(h.get()), kStatusOk);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(MpegDecoderDecode(h.get(), out.data(), 4608, &produced), kStatusEndOfStream);
    // Nothing clears the mark: bytes fed later are never decoded.
    h.Feed(mp3test::SilentLayer2(6));
    EXPECT_EQ(MpegDecoderDecode(h.get(), out.data(), 4608, &produced), kStatusEndOfStream);
    const MpegDecoderInfo* info = MpegDecoderGetInfo(h.get());
    ASSERT_NE(info, nullptr);
    MpegDecoderInfo zero;
    std::memset(&zero, 0, sizeof zero);
    EXPECT_EQ(std::memcmp(info, &zero, sizeof zero), 0) << "info stays zero without a frame";
}

TEST(MpegDecoderInterface, TooSmallBufferLeavesTheFrameInPlace) {
    Handle h;
    h.Feed(mp3test::SilentLayer2(6));
    std::vector<uint8_t> out(4608, 0xEE);
    int produced = 0;
    EXPECT_EQ(MpegDecoderDecode(h.get(), out.data(), 4607, &produced), kStatusOutputTooSmall);
    EXPECT_EQ(produced, 0);
    EXPECT_EQ(out[0], 0xEE);
    int space = 0;
    (void)MpegDecoderGetInputSpace(h.get(), &space);
    EXPECT_EQ(space, 16384 - 6 * 417) << "nothing consumed";
    EXPECT_EQ(MpegDecoderDecode(h.get(), out.data(), 4608, &produced), kStatusOk);
    EXPECT_EQ(produced, 4608);
    (void)MpegDecoderGetInputSpace(h.get(), &space);
    EXPECT_EQ(space, 16384 - 5 * 417);
}

// After the first frame the record describes the stream; the engine reads sampleRate,
// channels and bitsPerSample.
TEST(MpegDecoderInterface, InfoDescribesTheStreamAndOptions) {
    struct Case {
        unsigned shift, eightBit, mono;
        uint32_t header;
        int layer, version, channels, rate, outChannels, outRate, bits, bytes;
    } cases[] = {
        {0, 0, 0, mp3test::HeaderWord(3, 2, 8, 0), 2, 0, 2, 44100, 2, 44100, 16, 4608},
        {0, 0, 0, mp3test::HeaderWord(3, 1, 12, 1, 0, 3), 1, 0, 1, 48000, 1, 48000, 16, 768},
        {1, 0, 0, mp3test::HeaderWord(2, 2, 8, 0), 2, 1, 2, 22050, 2, 11025, 16, 2304},
        {2, 1, 1, mp3test::HeaderWord(3, 2, 8, 0), 2, 0, 2, 44100, 1, 11025, 8, 288},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.header);
        Handle h(c.shift, c.eightBit, c.mono);
        std::vector<uint8_t> bytes;
        for (int i = 0; i < 5; ++i)
            mp3test::Append(bytes, mp3test::Frame(c.header));
        h.Feed(bytes);
        std::vector<uint8_t> out(4608);
        int produced = 0;
        ASSERT_EQ(MpegDecoderDecode(h.get(), out.data(), 4608, &produced), kStatusOk);
        EXPECT_EQ(produced, c.bytes);
        const MpegDecoderInfo* info = MpegDecoderGetInfo(h.get());
        mp3::CMpegHeader header;
        header.Decode(c.header);
        EXPECT_EQ(info->layer, c.layer);
        EXPECT_EQ(info->version, c.version);
        EXPECT_EQ(info->bitRate, header.bitRate);
        EXPECT_EQ(info->bitRateIndex, header.bitRateIndex);
        EXPECT_EQ(info->channels, c.channels);
        EXPECT_EQ(info->sampleRate, c.rate);
        EXPECT_EQ(info->outputChannels, c.outChannels);
        EXPECT_EQ(info->outputSampleRate, c.outRate);
        EXPECT_EQ(info->bitsPerSample, c.bits);
        EXPECT_EQ(info->frameBits, header.frameBits);
        EXPECT_FLOAT_EQ(info->frameDuration, header.frameDuration);
        EXPECT_EQ(info->frameSideInfoBad, 0);
        EXPECT_EQ(info->frameMainDataMissing, 0);
    }
}

// The engine's calling order on a whole stream: silent frames in, silence out, then the
// end of the stream for good.
TEST(MpegDecoderInterface, EngineCallingOrderDecodesEveryFrame) {
    const mp3test::DecodeResult r = mp3test::DecodeAll(mp3test::SilentLayer2(9), 1000);
    EXPECT_EQ(r.frames, 9);
    EXPECT_EQ(r.pcm.size(), 9u * 2304u);
    EXPECT_TRUE(std::all_of(r.pcm.begin(), r.pcm.end(), [](int16_t s) { return s == 0; }));
    EXPECT_EQ(r.statuses.back(), kStatusEndOfStream);
}

// Free-format streams (bit-rate index 0) are refused: no frame is ever found.
TEST(MpegDecoderInterface, FreeFormatStreamIsNotDecoded) {
    std::vector<uint8_t> bytes;
    const uint32_t word = mp3test::HeaderWord(3, 2, 0, 0);
    for (int i = 0; i < 8; ++i) {
        mp3test::Append(bytes, {static_cast<uint8_t>(word >> 24), static_cast<uint8_t>(word >> 16),
                                static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)});
        mp3test::Append(bytes, std::vector<uint8_t>(413, 0));
    }
    const mp3test::DecodeResult r = mp3test::DecodeAll(bytes);
    EXPECT_EQ(r.frames, 0);
    EXPECT_EQ(r.statuses.back(), kStatusEndOfStream);
}

// A stream whose layer changes after the first frame cannot reach the layer decoders:
// the lock keeps the layer, so the other frames are a lost sync, never a wrong layer.
TEST(MpegDecoderInterface, LayerIsLockedByTheFirstFrame) {
    std::vector<uint8_t> bytes = mp3test::SilentLayer2(5);
    for (int i = 0; i < 5; ++i)
        mp3test::Append(bytes, mp3test::Frame(mp3test::HeaderWord(3, 1, 8, 0)));
    const mp3test::DecodeResult r = mp3test::DecodeAll(bytes);
    EXPECT_EQ(r.frames, 5);
    EXPECT_EQ(std::count(r.statuses.begin(), r.statuses.end(), kStatusWrongLayer), 0);
    EXPECT_EQ(r.info.layer, 2);
}

}  // namespace
