#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

#include "engine/ChunkRingBuffer.h"

namespace {

unsigned WriteBytes(ChunkRingBuffer& ring, unsigned n, unsigned char value) {
    void* p = nullptr;
    const unsigned room = ring.GetWritePointer(&p, n);
    if (room) std::memset(p, value, room);
    ring.Commit(room);
    return room;
}

TEST(ChunkRingBuffer, NewRingOffersNothingUntilAWholeChunkIsCommitted) {
    ChunkRingBuffer ring(3, 16);
    const void* r = nullptr;
    EXPECT_EQ(ring.GetReadPointer(&r, 100), 0u);
    EXPECT_EQ(r, nullptr);

    EXPECT_EQ(WriteBytes(ring, 10, 1), 10u);
    // Part-written: counted, not offered.
    EXPECT_EQ(ring.BytesAvailable(), 10u);
    EXPECT_EQ(ring.GetReadPointer(&r, 100), 0u);

    EXPECT_EQ(WriteBytes(ring, 100, 2), 6u);  // at most the chunk's rest
    EXPECT_EQ(ring.BytesAvailable(), 16u);
    ASSERT_EQ(ring.GetReadPointer(&r, 100), 16u);
    const auto* bytes = static_cast<const unsigned char*>(r);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[15], 2);
    EXPECT_EQ(ring.GetReadPointer(&r, 5), 5u);  // at most n
}

TEST(ChunkRingBuffer, FullRingOffersNoRoomUntilTheReaderEmptiesAWholeChunk) {
    ChunkRingBuffer ring(3, 8);
    for (unsigned char i = 0; i < 3; ++i)
        EXPECT_EQ(WriteBytes(ring, 8, i), 8u);
    EXPECT_EQ(ring.BytesAvailable(), 24u);
    void* w = nullptr;
    EXPECT_EQ(ring.GetWritePointer(&w, 8), 0u);
    EXPECT_EQ(w, nullptr);

    const void* r = nullptr;
    ASSERT_EQ(ring.GetReadPointer(&r, 5), 5u);
    ring.Consume(5);
    EXPECT_EQ(ring.GetWritePointer(&w, 8), 0u) << "a part-read chunk is not writable";
    ASSERT_EQ(ring.GetReadPointer(&r, 8), 3u);
    ring.Consume(3);
    EXPECT_EQ(ring.GetWritePointer(&w, 8), 8u);
    EXPECT_EQ(ring.BytesAvailable(), 16u);

    // Order survives the wrap: chunks 1, 2, then the new one.
    EXPECT_EQ(WriteBytes(ring, 8, 9), 8u);
    for (unsigned char expect : {1, 2, 9}) {
        ASSERT_EQ(ring.GetReadPointer(&r, 8), 8u);
        EXPECT_EQ(*static_cast<const unsigned char*>(r), expect);
        ring.Consume(8);
    }
    EXPECT_EQ(ring.BytesAvailable(), 0u);
    EXPECT_EQ(ring.GetReadPointer(&r, 8), 0u);
}

TEST(ChunkRingBuffer, SealHandsOverAPartChunkWithItsTag) {
    ChunkRingBuffer ring(3, 16);
    int a = 0, b = 0;
    ring.SetWriteTag(&a);
    WriteBytes(ring, 6, 1);
    ring.SetWriteTag(&b);  // a started chunk keeps its tag
    WriteBytes(ring, 2, 1);
    EXPECT_EQ(ring.WriteChunkFill(), 8u);
    ring.Seal();
    EXPECT_EQ(ring.WriteChunkFill(), 0u);
    ring.Seal();  // nothing to seal: no empty chunk is published
    WriteBytes(ring, 16, 2);

    const void* r = nullptr;
    ASSERT_EQ(ring.GetReadPointer(&r, 100), 8u);
    EXPECT_EQ(ring.ReadTag(), &a);
    ring.Consume(8);
    ASSERT_EQ(ring.GetReadPointer(&r, 100), 16u);
    EXPECT_EQ(ring.ReadTag(), &b);
    ring.Consume(16);
    EXPECT_EQ(ring.ReadTag(), nullptr);
    EXPECT_EQ(ring.BytesAvailable(), 0u);
}

TEST(ChunkRingBuffer, OneChunkRingAlternatesBetweenTheSides) {
    ChunkRingBuffer ring(1, 4);
    const void* r = nullptr;
    void* w = nullptr;
    for (unsigned char round = 0; round < 3; ++round) {
        EXPECT_EQ(WriteBytes(ring, 4, round), 4u);
        EXPECT_EQ(ring.GetWritePointer(&w, 4), 0u);
        ASSERT_EQ(ring.GetReadPointer(&r, 4), 4u);
        EXPECT_EQ(*static_cast<const unsigned char*>(r), round);
        ring.Consume(4);
    }
}

// One writer, one reader, a small ring and many hand-overs: every 32-bit sequence number
// arrives once and in order. Writes, reads and seals come in irregular sizes so that the
// hand-over is hit at every offset. ZYM_STRESS=1 runs 10^6 chunk hand-overs.
TEST(ChunkRingBuffer, TwoThreadsLoseDuplicateOrReorderNothing) {
    const bool stress = std::getenv("ZYM_STRESS") && std::string(std::getenv("ZYM_STRESS")) == "1";
    const uint64_t handOvers = stress ? 1000000 : 20000;
    constexpr unsigned kChunk = 64;
    ChunkRingBuffer ring(4, kChunk);
    const uint64_t total = handOvers * (kChunk / 4);  // numbers to pass

    std::atomic<bool> failed{false};
    std::thread writer([&] {
        std::minstd_rand rng(1);
        uint32_t next = 0;
        while (next < total && !failed.load(std::memory_order_relaxed)) {
            void* p = nullptr;
            const unsigned want = 4 * (1 + rng() % 9);
            unsigned room = ring.GetWritePointer(&p, want);
            room -= room % 4;
            if (room == 0) {
                std::this_thread::yield();
                continue;
            }
            auto* words = static_cast<unsigned char*>(p);
            unsigned n = 0;
            for (; n < room / 4 && next < total; ++n, ++next)
                std::memcpy(words + 4 * n, &next, 4);
            ring.Commit(4 * n);
            if (rng() % 97 == 0) ring.Seal();
        }
        ring.Seal();
    });

    uint32_t expect = 0;
    std::minstd_rand rng(2);
    while (expect < total) {
        const void* p = nullptr;
        const unsigned want = 4 * (1 + rng() % 11);
        const unsigned n = ring.GetReadPointer(&p, want);
        if (n == 0) {
            std::this_thread::yield();
            continue;
        }
        ASSERT_EQ(n % 4, 0u);
        for (unsigned i = 0; i < n / 4; ++i) {
            uint32_t v;
            std::memcpy(&v, static_cast<const unsigned char*>(p) + 4 * i, 4);
            if (v != expect) {
                failed.store(true);
                writer.join();
                FAIL() << "got " << v << ", expected " << expect;
            }
            ++expect;
        }
        ring.Consume(n);
    }
    writer.join();
    EXPECT_EQ(ring.BytesAvailable(), 0u);
}

}  // namespace
