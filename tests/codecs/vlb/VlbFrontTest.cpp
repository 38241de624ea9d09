// Front object: statuses, synchronisation, the process-wide format memory and live input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "VlbStreamWriter.h"
#include "VlbTestSupport.h"
#include "codecs/vlb/VlbExtension.h"

using namespace vlbtest;

namespace {

FrameSpec ToneFrame(bool pair = false, uint32_t samplingIndex = 4) {
    FrameSpec f;
    f.samplingIndex = samplingIndex;
    f.pair = pair;
    for (IcsSpec& ics : f.ics)
        ics.quantized = Tone(false, 20, 8);
    return f;
}

std::vector<uint8_t> Frames(int n, const FrameSpec& spec) {
    std::vector<std::vector<uint8_t>> frames(n, MakeFrame(spec));
    return Join(frames);
}

class VlbFront : public ::testing::Test {};

TEST_F(VlbFront, EmptyInputEndsInit) {
    MemoryInput input({});
    CVlbDecoderFront front(&input);
    VlbFrameInfo info{};
    EXPECT_EQ(front.Init(&info), 5);
    CollectingOutput out;
    EXPECT_EQ(front.DecodeFrame(&out, &info), 5);
    EXPECT_TRUE(out.writes.empty());
}

TEST_F(VlbFront, FailedOpenThrowsDoesNotExist) {
    MemoryInput input({});
    input.openResult = -1;
    try {
        CVlbDecoderFront front(&input);
        FAIL() << "constructed";
    } catch (const CAacException& e) {
        EXPECT_EQ(e.Code(), 4099u);
        EXPECT_STREQ(e.Text(), "Bitstream does not exist");
    }
}

TEST_F(VlbFront, StatusMappingTable) {
    const std::pair<uint32_t, int32_t> table[] = {{4097, 4}, {4099, 1}, {4100, 5}, {4101, 3}, {4102, -1},
                                                  {4103, 3}, {4104, 4}, {4108, 9}, {4098, 4}, {1, 4}};
    for (auto [code, status] : table)
        EXPECT_EQ(CVlbDecoderFront::StatusFromException(CAacException(code, "")), status) << code;
    EXPECT_EQ(CVlbDecoderFront::StatusFromException(CBlock::EInvalidCodeBook()), 4);
    EXPECT_EQ(CVlbDecoderFront::StatusFromException(CChannelInfo::EIllegalProfile()), 9);
    EXPECT_STREQ(ESyncError().Text(), "Synchronization Error!");
    EXPECT_STREQ(CBlock::EInvalidCodeBook().Text(), "Invalid Huffman Codebook");
}

TEST_F(VlbFront, DecodesAStreamAndReportsItsFormat) {
    auto bytes = Frames(5, ToneFrame(true));
    Decoded d = DecodeAll(bytes);
    ASSERT_EQ(d.statuses.size(), 7u);
    EXPECT_EQ(d.statuses[0], 0);
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(d.statuses[i], 0);
    EXPECT_EQ(d.statuses[6], 5);
    EXPECT_EQ(d.output.writes.size(), 5u);
    EXPECT_EQ(d.infos[1].sampleRate, 44100u);
    EXPECT_EQ(d.infos[1].channels, 2u);
    EXPECT_EQ(d.infos[1].protectionAbsent, 1u);
    EXPECT_EQ(d.infos[1].frameBytes, bytes.size() / 5);
    EXPECT_EQ(d.infos[0].frameBytes, 0u);  // nothing skipped before the first frame
    EXPECT_EQ(d.infos[6].frameBytes, 0u);  // a failed call
}

TEST_F(VlbFront, SkipsGarbageBeforeTheFirstSyncWord) {
    std::vector<uint8_t> bytes = {0x12, 0xFF, 0xF1, 0x00, 0xFF, 0x34, 0x56};  // 0xFFF1: MPEG-4 id, not taken
    auto frames = Frames(3, ToneFrame());
    bytes.insert(bytes.end(), frames.begin(), frames.end());
    Decoded d = DecodeAll(bytes);
    EXPECT_EQ(d.statuses[0], 0);
    EXPECT_EQ(d.infos[0].frameBytes, 7u);
    EXPECT_EQ(d.output.writes.size(), 3u);
}

TEST_F(VlbFront, RingOfGarbageWithoutSyncGivesStatus3) {
    // Each of Init's five attempts reads one more block and finds no sync word in the ring.
    std::vector<uint8_t> garbage(6 * 2048, 0x11);
    MemoryInput input(garbage);
    CVlbDecoderFront front(&input);
    VlbFrameInfo info{};
    EXPECT_EQ(front.Init(&info), 3);
    // Once the input has ended the same search reports the end.
    while (input.Position() < garbage.size())
        (void)front.Init(&info);
    EXPECT_EQ(front.Init(&info), 5);
}

TEST_F(VlbFront, Mpeg4IdentifierFramesAreNeverSynced) {
    FrameSpec f = ToneFrame();
    f.id = 0;
    MemoryInput input(Frames(1000, f));
    CVlbDecoderFront front(&input);
    VlbFrameInfo info{};
    EXPECT_EQ(front.Init(&info), 3);
}

TEST_F(VlbFront, FrameFollowedByRiffDecodes) {
    // Small reads keep the input from ending early, so the check after each frame runs.
    auto bytes = Frames(2, ToneFrame());
    for (char c : std::string("RIFF\x10\0\0\0WAVE", 12))
        bytes.push_back(static_cast<uint8_t>(c));
    bytes.resize(bytes.size() + 4096, 0);
    Decoded d = DecodeAll(bytes, 64);
    EXPECT_EQ(d.statuses[1], 0);
    EXPECT_EQ(d.statuses[2], 0);
    EXPECT_EQ(d.output.writes.size(), 2u);
}

TEST_F(VlbFront, FrameFollowedByJunkIsDroppedAndTheNextDecodes) {
    auto frame = MakeFrame(ToneFrame());
    std::vector<uint8_t> bytes = frame;
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    bytes.push_back(0x00);  // junk between the second and third frame
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    auto tail = Frames(60, ToneFrame());
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    Decoded d = DecodeAll(bytes, 64);
    ASSERT_GE(d.statuses.size(), 5u);
    EXPECT_EQ(d.statuses[1], 0);
    EXPECT_EQ(d.statuses[2], 3);  // the frame before the junk: delivers nothing
    EXPECT_EQ(d.statuses[3], 0);
    EXPECT_EQ(d.statuses[4], 0);
    EXPECT_EQ(d.infos[3].frameBytes, frame.size() + 1);  // includes the skipped junk byte
    EXPECT_EQ(d.output.writes.size(), 63u);
}

// A frame whose declared length is shorter than its content is read on into the next
// frame. It is dropped, and the next frame still decodes.
TEST_F(VlbFront, FrameReadPastItsEndDoesNotCostTheNextFrame) {
    FrameSpec bad = ToneFrame(true);
    auto good = MakeFrame(ToneFrame());
    auto longer = MakeFrame(bad);
    const int declared = static_cast<int>(longer.size()) - 12;
    bad.frameLengthOverride = declared;
    auto truncated = MakeFrame(bad);
    truncated.resize(declared);
    std::vector<std::vector<uint8_t>> frames = {good, good, truncated};
    for (int i = 0; i < 60; ++i)
        frames.push_back(good);
    Decoded d = DecodeAll(Join(frames), 64);
    EXPECT_TRUE(d.statuses[3] == 3 || d.statuses[3] == 4) << d.statuses[3];
    for (size_t i = 4; i + 1 < d.statuses.size(); ++i)
        EXPECT_EQ(d.statuses[i], 0) << "call " << i;
    EXPECT_EQ(d.output.writes.size(), 62u);
}

// The last reported format belongs to one front: a second stream in another format is
// not a format change, whatever the first one was.
TEST_F(VlbFront, SecondStreamWithAnotherFormatStartsWithoutAChange) {
    MemoryInput first(Frames(2, ToneFrame(true, 4)));
    CVlbDecoderFront firstFront(&first);
    VlbFrameInfo info{};
    EXPECT_EQ(firstFront.Init(&info), 0);
    EXPECT_EQ(info.sampleRate, 44100u);

    MemoryInput input(Frames(2, ToneFrame(false, 7)));
    CVlbDecoderFront front(&input);
    EXPECT_EQ(front.Init(&info), 0);
    EXPECT_EQ(info.sampleRate, 22050u);
    EXPECT_EQ(info.channels, 1u);
}

TEST_F(VlbFront, ElementChangeMidStreamDropsOneFrameAndRelocks) {
    auto bytes = Join({Frames(2, ToneFrame(false)), Frames(3, ToneFrame(true))});
    Decoded d = DecodeAll(bytes);
    ASSERT_EQ(d.statuses.size(), 7u);
    EXPECT_EQ(d.statuses[1], 0);
    EXPECT_EQ(d.statuses[2], 0);
    EXPECT_EQ(d.statuses[3], -2);  // first pair frame: nothing delivered
    EXPECT_EQ(d.statuses[4], 0);
    EXPECT_EQ(d.statuses[5], 0);
    ASSERT_EQ(d.output.writeChannels.size(), 4u);
    EXPECT_EQ(d.output.writeChannels[1], 1u);
    EXPECT_EQ(d.output.writeChannels[2], 2u);
}

// A live stream hands over a few bytes at a time. Every frame must still decode: the check
// of the next sync word must wait for its bytes instead of reading stale ring content.
TEST_F(VlbFront, TrickledInputDecodesEveryFrame) {
    for (unsigned chunk : {1u, 7u, 100u, 333u}) {
        auto bytes = Frames(12, ToneFrame(true));
        MemoryInput input(bytes, chunk);
        CVlbDecoderFront front(&input);
        VlbFrameInfo info{};
        int32_t status = 3;
        for (int i = 0; i < 100000 && status != 0; ++i)
            status = front.Init(&info);
        ASSERT_EQ(status, 0);
        CollectingOutput out;
        out.channels = 2;
        int decoded = 0;
        for (int i = 0; i < 100000; ++i) {
            status = front.DecodeFrame(&out, &info);
            if (status == 5) break;
            EXPECT_TRUE(status == 0 || status == 1) << "chunk " << chunk << " status " << status;
            if (status == 0) ++decoded;
        }
        EXPECT_EQ(decoded, 12) << "chunk " << chunk;
    }
}

TEST_F(VlbFront, IncompleteFrameReturnsOneUntilItsBytesArrive) {
    auto frame = MakeFrame(ToneFrame());
    auto bytes = Frames(3, ToneFrame());
    // The library treats a zero read as the end, so hand over the stream in pieces that
    // always contain something: the second frame's last byte comes in the second read.
    struct Pieces : DataIOControl {
        std::vector<std::vector<uint8_t>> pieces;
        size_t next = 0;
        unsigned Read(void* buffer, unsigned, unsigned count) override {
            if (next >= pieces.size()) return 0;
            auto& p = pieces[next++];
            size_t n = std::min<size_t>(count, p.size());
            std::memcpy(buffer, p.data(), n);
            return static_cast<unsigned>(n);
        }
        int Reserved() override { return 0; }
        int IsEndOfFile() override { return 0; }
        int Open() override { return 0; }
        int Close() override { return 0; }
    } input;
    size_t cut = 2 * frame.size() - 1;
    input.pieces = {std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut),
                    std::vector<uint8_t>(bytes.begin() + cut, bytes.end())};
    CVlbDecoderFront front(&input);
    VlbFrameInfo info{};
    ASSERT_EQ(front.Init(&info), 0);
    CollectingOutput out;
    EXPECT_EQ(front.DecodeFrame(&out, &info), 0);
    EXPECT_EQ(front.DecodeFrame(&out, &info), 0);  // reads the rest in this call
    EXPECT_EQ(front.DecodeFrame(&out, &info), 0);
    EXPECT_EQ(front.DecodeFrame(&out, &info), 5);
    EXPECT_EQ(out.writes.size(), 3u);
}

// A header whose aac_frame_length is below the header's own size can never be complete;
// it must be passed over rather than answered with "call again" for ever.
TEST_F(VlbFront, FrameLengthBelowHeaderSizeDoesNotStall) {
    for (int length : {0, 3, 6}) {
        FrameSpec bad = ToneFrame();
        bad.frameLengthOverride = length;
        auto bytes = Join({MakeFrame(ToneFrame()), MakeFrame(bad), Frames(3, ToneFrame())});
        Decoded d = DecodeAll(bytes);
        EXPECT_EQ(d.statuses.back(), 5);
        EXPECT_LT(d.statuses.size(), 12u) << "length " << length;
        EXPECT_GE(d.output.writes.size(), 4u) << "length " << length;
    }
}

TEST_F(VlbFront, ProtectedFramesCheckTheirCrc) {
    FrameSpec f = ToneFrame(true);
    f.protectionAbsent = 0;
    auto frame = MakeFrame(f);
    // Find the CRC the library computes by trying it: a wrong CRC gives -1, the right one 0.
    auto withCrc = [&](uint16_t crc) {
        auto copy = frame;
        copy[7] = static_cast<uint8_t>(crc >> 8);
        copy[8] = static_cast<uint8_t>(crc);
        return copy;
    };
    FrameLayout layout;
    MakeFrame(f, &layout);
    const uint16_t crc = ExpectedAdtsCrc(frame, layout);
    auto good = withCrc(crc), bad = withCrc(crc ^ 0x0100);
    Decoded d = DecodeAll(Join({good, good, bad, good}));
    ASSERT_EQ(d.statuses.size(), 6u);
    EXPECT_EQ(d.statuses[0], 0);
    EXPECT_EQ(d.statuses[1], 0);
    EXPECT_EQ(d.statuses[2], 0);
    EXPECT_EQ(d.statuses[3], -1);  // nothing delivered for it
    EXPECT_EQ(d.statuses[4], 0);
    EXPECT_EQ(d.output.writes.size(), 3u);
    EXPECT_EQ(d.infos[1].protectionAbsent, 0u);
}

TEST_F(VlbFront, BitRateAveragesTheFrameSizes) {
    auto bytes = Frames(40, ToneFrame());
    Decoded d = DecodeAll(bytes);
    const double frameBits = bytes.size() / 40.0 * 8;
    const double expected = frameBits * 44100 / 1024;
    ASSERT_GT(d.infos.size(), 40u);
    EXPECT_EQ(d.infos[0].bitRate, 0u);
    EXPECT_NEAR(d.infos[39].bitRate, expected, expected * 0.01);
}

}  // namespace
