// The bit ring, the CRC routine and the frame finder: sync search, lock, lost sync and
// the end of the stream.
#include <gtest/gtest.h>

#include <random>

#include "FrameTestUtil.h"
#include "Mp3TestUtil.h"
#include "codecs/mp3/BitStream.h"
#include "codecs/mp3/MpegBitStream.h"
#include "codecs/mp3/MpegStatus.h"

namespace {

using namespace mp3;
using mp3test::Append;
using mp3test::Frame;
using mp3test::HeaderWord;

TEST(BitStream, SizeIsPowerOfTwoUpTo65536) {
    struct Case {
        int wished;
        uint32_t size;
    } cases[] = {{2048, 2048}, {16384, 16384}, {1000, 1024}, {16385, 32768}, {1 << 20, 65536}};
    for (const Case& c : cases)
        EXPECT_EQ(CBitStream(c.wished).Size(), c.size) << c.wished;
}

TEST(BitStream, ReadsAcrossTheWrapAndRefusesOverflow) {
    CBitStream ring(16);
    std::vector<uint8_t> first(12, 0);
    ASSERT_EQ(ring.Feed(first.data(), 12), 12);
    ring.SkipBits(12 * 8);
    const uint8_t data[] = {0xAB, 0xCD, 0xEF, 0x12, 0x34, 0x56, 0x78, 0x9A};
    EXPECT_EQ(ring.Feed(data, 8), 8);  // wraps at byte 16
    EXPECT_EQ(ring.GetBits(4), 0xAu);
    EXPECT_EQ(ring.GetBits(16), 0xBCDEu);
    EXPECT_EQ(ring.GetBits(12), 0xF12u);
    EXPECT_EQ(ring.Get32(), 0x3456789Au);
    EXPECT_EQ(ring.BitCounter(), 12 * 8 + 64);
    EXPECT_EQ(ring.ValidBits(), 0);
    // A full ring takes nothing more.
    std::vector<uint8_t> lots(40, 0x55);
    EXPECT_EQ(ring.Feed(lots.data(), 40), 16);
    EXPECT_EQ(ring.GetFreeBytes(), 0);
    EXPECT_EQ(ring.Feed(lots.data(), 1), 0);
    EXPECT_EQ(ring.GetBits(0), 0u);
    ring.UnreadBits(0);
    EXPECT_EQ(ring.ValidBits(), 128);
}

// GetBytes reads as that many GetBits(8) would: byte-aligned across the ring's wrap (the
// bulk copy) and off a byte boundary, with the same counters afterwards.
TEST(BitStream, GetBytesMatchesGetBitsAlignedOrNot) {
    for (int offsetBits : {0, 8 * 10, 8 * 10 + 3}) {
        CBitStream bulk(16);
        CBitStream single(16);
        std::vector<uint8_t> bytes(16);
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<uint8_t>(0x11 * i + 7);
        for (CBitStream* ring : {&bulk, &single}) {
            ring->Feed(bytes.data(), 16);
            ring->SkipBits(offsetBits);
            ring->Feed(bytes.data(), offsetBits / 8);  // refill, so that reads wrap
        }
        const int count = 12;
        uint8_t got[count];
        bulk.GetBytes(got, count);
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(got[i], single.GetBits(8)) << "offset " << offsetBits << " byte " << i;
        EXPECT_EQ(bulk.ValidBits(), single.ValidBits());
        EXPECT_EQ(bulk.BitCounter(), single.BitCounter());
        EXPECT_EQ(bulk.GetBits(4), single.GetBits(4));
    }
}

TEST(BitStream, CopyFromTakesWhatFits) {
    CBitStream source(64);
    CBitStream reservoir(8);
    std::vector<uint8_t> bytes(20);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i + 1);
    source.Feed(bytes.data(), 20);
    EXPECT_EQ(reservoir.CopyFrom(source, 5), 5);
    EXPECT_EQ(reservoir.CopyFrom(source, 10), 3);  // only 3 free
    EXPECT_EQ(source.ValidBytes(), 12);
    for (int i = 1; i <= 8; ++i)
        EXPECT_EQ(reservoir.GetBits(8), static_cast<uint32_t>(i));
}

// Reference CRC, bit by bit from the definition.
uint16_t BitwiseCrc(const std::vector<int>& bits, uint16_t crc) {
    for (int b : bits) {
        const bool top = ((crc >> 15) & 1) != b;
        crc = static_cast<uint16_t>(crc << 1);
        if (top) crc ^= 0x8005;
    }
    return crc;
}

TEST(BitStream, CrcOfAnyBitCountMatchesBitwiseDefinition) {
    std::mt19937 rng(11);
    std::vector<uint8_t> bytes(40);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(rng());
    for (int count : {0, 1, 7, 8, 9, 16, 136, 255, 256, 257, 300}) {
        CBitStream ring(64);
        ring.Feed(bytes.data(), static_cast<int>(bytes.size()));
        ring.SkipBits(3);  // start off byte alignment
        std::vector<int> bits;
        for (int i = 0; i < count; ++i)
            bits.push_back((bytes[static_cast<size_t>((i + 3) / 8)] >> (7 - (i + 3) % 8)) & 1);
        const int before = ring.ValidBits();
        EXPECT_EQ(ComputeCrc(ring, count, 0xFFFF), BitwiseCrc(bits, 0xFFFF)) << count;
        EXPECT_EQ(before - ring.ValidBits(), count);
    }
}

// Drives NextFrame the way the decoder does, consuming each frame found.
struct Walk {
    std::vector<uint32_t> states;
    int frames = 0;
};

Walk WalkStream(CMpegBitStream& s, int maxSteps = 10000) {
    Walk w;
    for (int i = 0; i < maxSteps; ++i) {
        const uint32_t st = s.NextFrame();
        w.states.push_back(st);
        if (st == kStatusOk) {
            ++w.frames;
            s.FinishFrame();
        } else if (st == kStatusEndOfStream || (st == kStatusNeedSync && !s.IsEndOfInput()) ||
                   (st == kStatusFrameIncomplete && !s.IsEndOfInput())) {
            break;
        }
    }
    return w;
}

int Count(const std::vector<uint32_t>& v, uint32_t what) {
    return static_cast<int>(std::count(v.begin(), v.end(), what));
}

TEST(FrameSync, InvalidHeadersAreSteppedOver) {
    for (uint32_t bad : {HeaderWord(3, 2, 0, 0), HeaderWord(3, 2, 15, 0), HeaderWord(3, 2, 8, 3),
                         HeaderWord(3, 0, 8, 0), HeaderWord(0, 2, 4, 0), HeaderWord(0, 3, 9, 2)}) {
        std::vector<uint8_t> bytes;
        for (int i = 0; i < 3; ++i) {
            Append(bytes, {static_cast<uint8_t>(bad >> 24), static_cast<uint8_t>(bad >> 16),
                           static_cast<uint8_t>(bad >> 8), static_cast<uint8_t>(bad)});
            Append(bytes, std::vector<uint8_t>(50, 0x11));
        }
        const size_t garbage = bytes.size();
        Append(bytes, mp3test::SilentLayer2(5));
        CMpegBitStream s(16384);
        s.Feed(bytes.data(), static_cast<int>(bytes.size()));
        ASSERT_EQ(s.NextFrame(), kStatusOk) << std::hex << bad;
        EXPECT_EQ(static_cast<size_t>(s.ValidBytes()), bytes.size() - garbage);
    }
}

TEST(FrameSync, WaitsForFourHeadersThenLocks) {
    const std::vector<uint8_t> frames = mp3test::SilentLayer2(4);
    CMpegBitStream s(16384);
    // Three frames and part of the fourth header: still searching, nothing consumed.
    s.Feed(frames.data(), 3 * 417 + 2);
    EXPECT_EQ(s.NextFrame(), kStatusNeedSync);
    EXPECT_EQ(s.ValidBytes(), 3 * 417 + 2);
    // The search asks for three frame lengths and 96 bits after the candidate's header.
    s.Feed(frames.data() + 3 * 417 + 2, 13);
    EXPECT_EQ(s.NextFrame(), kStatusNeedSync);
    s.Feed(frames.data() + 3 * 417 + 15, 1);
    EXPECT_EQ(s.NextFrame(), kStatusOk);
    EXPECT_EQ(s.ValidBytes(), 3 * 417 + 16);
    EXPECT_EQ(s.LockWord(), HeaderWord(3, 2, 8, 0) & 0xFFFE0C00u);
    EXPECT_EQ(s.Header().frameBits, 417 * 8);
}

TEST(FrameSync, FalseSyncWordInsideDataIsNotTaken) {
    // The first frame's body holds a valid-looking header of another rate and layer.
    std::vector<uint8_t> bytes(100, 0x00);
    const std::vector<uint8_t> decoy = Frame(HeaderWord(3, 3, 9, 1));
    std::copy(decoy.begin(), decoy.begin() + 4, bytes.begin() + 10);
    Append(bytes, mp3test::SilentLayer2(6));
    CMpegBitStream s(16384);
    s.Feed(bytes.data(), static_cast<int>(bytes.size()));
    s.SetEndOfInput();
    const Walk w = WalkStream(s);
    EXPECT_EQ(w.frames, 6);
    EXPECT_EQ(s.LockWord(), HeaderWord(3, 2, 8, 0) & 0xFFFE0C00u);
}

TEST(FrameSync, FreeParametersMayChangeLockedOnesMayNot) {
    std::vector<uint8_t> bytes = mp3test::SilentLayer2(4);
    Append(bytes, Frame(HeaderWord(3, 2, 10, 0, 1, 1, 2, true)));  // rate, padding, mode, CRC change
    Append(bytes, Frame(HeaderWord(3, 2, 8, 1)));                  // sampling index changes
    Append(bytes, mp3test::SilentLayer2(4));
    CMpegBitStream s(16384);
    s.Feed(bytes.data(), static_cast<int>(bytes.size()));
    s.SetEndOfInput();
    const Walk w = WalkStream(s);
    EXPECT_EQ(Count(w.states, kStatusSyncLost), 1);
    EXPECT_EQ(w.frames, 4 + 1 + 4);
}

TEST(FrameSync, GarbageBetweenFramesLosesSyncOnceThenResyncs) {
    std::vector<uint8_t> bytes = mp3test::SilentLayer2(5);
    std::mt19937 rng(5);
    for (int i = 0; i < 700; ++i)
        bytes.push_back(static_cast<uint8_t>(rng() & 0x7F));  // no 0xFF bytes
    Append(bytes, mp3test::SilentLayer2(6));
    CMpegBitStream s(16384);
    s.Feed(bytes.data(), static_cast<int>(bytes.size()));
    s.SetEndOfInput();
    const Walk w = WalkStream(s);
    EXPECT_EQ(Count(w.states, kStatusSyncLost), 1);
    EXPECT_EQ(w.frames, 11);
    EXPECT_EQ(w.states.back(), kStatusEndOfStream);
}

// Streams shorter than four frames, and a tail of fewer than four frames after a late
// resynchronisation, are decoded at the end of input instead of being dropped.
TEST(FrameSync, ShortStreamsAndLateTailsAreDecodedAtEnd) {
    struct Case {
        const char* what;
        int before;    // frames before the garbage (0: none)
        int garbage;   // garbage bytes
        int after;     // frames after it
        int trailing;  // bytes of a tag after the last frame
        int expected;
    } cases[] = {
        {"one frame", 0, 0, 1, 0, 1},
        {"three frames", 0, 0, 3, 0, 3},
        {"garbage then two frames", 0, 300, 2, 0, 2},
        {"three frames then a tag", 0, 0, 3, 128, 3},
        {"late resync with a two-frame tail", 6, 500, 2, 0, 8},
        {"late resync with a one-frame tail and a tag", 6, 500, 1, 128, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = mp3test::SilentLayer2(c.before);
        for (int i = 0; i < c.garbage; ++i)
            bytes.push_back(static_cast<uint8_t>(0x20 + i % 64));
        Append(bytes, mp3test::SilentLayer2(c.after));
        for (int i = 0; i < c.trailing; ++i)
            bytes.push_back(static_cast<uint8_t>("TAG"[i % 3]));
        const mp3test::DecodeResult r = mp3test::DecodeAll(bytes);
        EXPECT_EQ(r.frames, c.expected);
        EXPECT_EQ(r.statuses.back(), kStatusEndOfStream);
    }
}

TEST(FrameSync, StreamCutMidFrameEndsAfterTheCompleteFrames) {
    std::vector<uint8_t> bytes = mp3test::SilentLayer2(6);
    bytes.erase(bytes.end() - 200, bytes.end());  // half of the last frame
    CMpegBitStream s(16384);
    s.Feed(bytes.data(), static_cast<int>(bytes.size()));
    s.SetEndOfInput();
    const Walk w = WalkStream(s);
    EXPECT_EQ(w.frames, 5);
    EXPECT_EQ(s.NextFrame(), kStatusEndOfStream);
    EXPECT_EQ(s.NextFrame(), kStatusEndOfStream);
}

TEST(FrameSync, IncompleteFrameWaitsForItsBytes) {
    const std::vector<uint8_t> bytes = mp3test::SilentLayer2(6);
    CMpegBitStream s(16384);
    s.Feed(bytes.data(), 4 * 417 + 4);
    ASSERT_EQ(s.NextFrame(), kStatusOk);
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(s.NextFrame(), kStatusOk);
        s.FinishFrame();
    }
    EXPECT_EQ(s.NextFrame(), kStatusFrameIncomplete);  // header of frame 5 only
    s.Feed(bytes.data() + 4 * 417 + 4, 417);
    EXPECT_EQ(s.NextFrame(), kStatusOk);
}

// A frame layer fed one byte at a time finds the same frames as one fed at once.
TEST(FrameSync, ByteWiseFeedingFindsTheSameFrames) {
    std::vector<uint8_t> bytes(77, 0x3C);
    Append(bytes, mp3test::SilentLayer2(7, 1));
    const mp3test::DecodeResult whole = mp3test::DecodeAll(bytes, 100000);
    const mp3test::DecodeResult trickle = mp3test::DecodeAll(bytes, 1);
    EXPECT_EQ(whole.frames, 7);
    EXPECT_EQ(trickle.frames, 7);
    EXPECT_EQ(whole.pcm, trickle.pcm);
}

}  // namespace
