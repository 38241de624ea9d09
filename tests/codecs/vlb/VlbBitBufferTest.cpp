// The 8 KB bit ring and its ADTS header search.
#include <gtest/gtest.h>

#include "VlbStreamWriter.h"
#include "codecs/vlb/VlbBitStream.h"

using namespace vlbtest;

namespace {

void Feed(CBitBuffer& bb, const std::vector<uint8_t>& bytes) {
    uint32_t left = static_cast<uint32_t>(bytes.size());
    bb.Feed(bytes.data(), left, left);
    ASSERT_EQ(left, 0u);
}

// Leaves the ring empty with its write index at `index`.
void AdvanceTo(CBitBuffer& bb, unsigned index) {
    std::vector<uint8_t> filler(index, 0x11);
    Feed(bb, filler);
    for (unsigned i = 0; i < index; ++i)
        bb.Get(8);
    ASSERT_EQ(bb.BitsAvailable(), 0);
}

TEST(VlbBitBuffer, ReadsAndPushesBackAcrossTheWrapPoint) {
    CBitBuffer bb;
    AdvanceTo(bb, 8189);
    Feed(bb, {0xAB, 0xCD, 0xEF, 0x12, 0x34});
    EXPECT_EQ(bb.Get(4), 0xAu);
    EXPECT_EQ(bb.Get(16), 0xBCDEu);  // spans indices 8189..8191
    EXPECT_EQ(bb.Get(12), 0xF12u);   // and wraps to 0
    bb.PushBack(20);
    EXPECT_EQ(bb.Get(12), 0xDEFu);
    EXPECT_EQ(bb.Get(0), 0u);
    EXPECT_EQ(bb.Get(16), 0x1234u);
    EXPECT_EQ(bb.BitsAvailable(), 0);
}

FrameSpec SmallFrame() {
    FrameSpec f;
    f.samplingIndex = 3;
    f.ics[0].quantized = Tone(false, 10, 3);
    return f;
}

TEST(VlbBitBuffer, FindsASyncWordSplitByTheWrapPoint) {
    auto frame = MakeFrame(SmallFrame());
    for (unsigned at : {8191u, 8190u, 8187u}) {
        CBitBuffer bb;
        AdvanceTo(bb, at);
        Feed(bb, Join({frame, frame}));
        AacStreamInfo info;
        ASSERT_TRUE(bb.ReadAdtsHeader(info)) << at;
        EXPECT_EQ(bb.Header().aacFrameLength, frame.size());
        EXPECT_EQ(info.samplingIndex, 3u);
        EXPECT_EQ(info.frameLength, frame.size());
        EXPECT_EQ(bb.Skipped(), 0u);
    }
}

TEST(VlbBitBuffer, KeepsALoneFfAtTheEndForTheNextFeed) {
    auto frame = MakeFrame(SmallFrame());
    CBitBuffer bb;
    // The last 0xFF opens the frame; its second sync byte has not arrived yet.
    std::vector<uint8_t> head = {0x01, 0x02, 0xFF, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0xFF};
    Feed(bb, head);
    AacStreamInfo info;
    EXPECT_FALSE(bb.ReadAdtsHeader(info));
    EXPECT_EQ(bb.Skipped(), 10u);
    std::vector<uint8_t> rest(frame.begin() + 1, frame.end());
    rest.insert(rest.end(), frame.begin(), frame.end());
    Feed(bb, rest);
    ASSERT_TRUE(bb.ReadAdtsHeader(info));
    EXPECT_EQ(bb.Skipped(), 10u);
    EXPECT_EQ(info.frameLength, frame.size());
}

TEST(VlbBitBuffer, SearchOutcomes) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool endOfInput;
        int outcome;  // 1 true, 0 false, 4100 / 4103 the exception code
    };
    auto frame = MakeFrame(SmallFrame());
    std::vector<uint8_t> incomplete(frame.begin(), frame.end() - 1);
    std::vector<uint8_t> complete = Join({frame, {0xFF, 0xF9}});
    const Case cases[] = {
        {"GarbageOnly", std::vector<uint8_t>(100, 0x42), false, 4103},
        {"GarbageAtEnd", std::vector<uint8_t>(100, 0x42), true, 4100},
        {"FfThenOtherByte", {0xFF, 0xF9 ^ 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, false, 4103},
        {"FrameMissingItsLastByte", incomplete, false, 0},
        {"FrameMissingItsLastByteAtEnd", incomplete, true, 4100},
        {"FrameWithoutTheNextSync", frame, false, 0},
        {"FrameWithoutTheNextSyncAtEnd", frame, true, 1},
        {"FrameAndNextSync", complete, false, 1},
    };
    for (const Case& c : cases) {
        CBitBuffer bb;
        Feed(bb, c.bytes);
        if (c.endOfInput) bb.SetEndOfInput();
        AacStreamInfo info;
        int outcome;
        try {
            outcome = bb.ReadAdtsHeader(info) ? 1 : 0;
        } catch (const CAacException& e) {
            outcome = static_cast<int>(e.Code());
        }
        EXPECT_EQ(outcome, c.outcome) << c.name;
        if (outcome == 0) {
            EXPECT_EQ(bb.BitsAvailable(), static_cast<int32_t>(c.bytes.size() * 8)) << c.name;
        }
    }
}

}  // namespace
