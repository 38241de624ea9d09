// The element loop of a raw data block: fill elements with SBR payloads, data stream
// elements, refused elements, and the SBR extension payload record.
#include <gtest/gtest.h>

#include <vector>

#include "IcsBuilder.h"
#include "codecs/aacplus/ElementLoop.h"

namespace {

using namespace aactest;
using namespace aacplus;

const ElementContext kLc44{4, 0x402};

// A silent single channel element (max_sfb 0) with the given tag; id included.
void putSilentSce(BitWriter& w, int id, int tag) {
    w.put(uint32_t(id), 3).put(uint32_t(tag), 4).put(100, 8);
    putLongIcsInfo(w, 0);
    putNoTools(w);
}

// A fill element holding an extension payload of `count` bytes of type `type`.
void putFill(BitWriter& w, int type, int count) {
    w.put(6, 3);
    if (count >= 15)
        w.put(15, 4).put(uint32_t(count - 14), 8);
    else
        w.put(uint32_t(count), 4);
    w.put(uint32_t(type), 4).put(0xA, 4);
    for (int i = 1; i < count; ++i)
        w.put(uint32_t(i & 0xFF), 8);
}

struct Loop {
    BitReader r;
    ElementDecoder dec{&r};
    std::vector<uint8_t> bytes;
    FrameElements fe;

    int read(BitWriter& w) {
        w.put(7, 3).align().put(0, 32);
        bytes = w.data();
        r.bind(bytes.data(), int32_t(bytes.size()));
        (void)dec.configure(2, 1, true, false);
        return dec.readElements(kLc44, nullptr, fe, nullptr, {}, 0);
    }
};

TEST(ElementLoopTest, SbrPayloadIsTakenOnlyAfterAChannelElementAndOnlyOnce) {
    {
        Loop l;
        BitWriter w;
        putSilentSce(w, kIdSce, 0);
        putFill(w, 13, 5);
        putFill(w, 13, 7);  // a second one after the same element: skipped
        ASSERT_EQ(l.read(w), 0);
        EXPECT_TRUE(l.fe.sbrPayload);
        const SbrExtensionPayload& p = l.dec.single(0)->pendingPayload();
        EXPECT_EQ(p.count, 1);
        EXPECT_EQ(p.size, 5);
        EXPECT_EQ(p.type, 13);
        EXPECT_EQ(p.element, 0);
        EXPECT_EQ(p.data[0], 0xA);  // the 4 bits after extension_type
        EXPECT_EQ(p.data[1], 1);
        EXPECT_EQ(p.data[4], 4);
    }
    {
        Loop l;
        BitWriter w;
        putSilentSce(w, kIdLfe, 0);
        putFill(w, 13, 5);  // after an LFE: skipped
        ASSERT_EQ(l.read(w), 0);
        EXPECT_FALSE(l.fe.sbrPayload);
        EXPECT_EQ(l.fe.lfes, 1);
    }
    {
        Loop l;
        BitWriter w;
        putSilentSce(w, kIdSce, 0);
        putFill(w, 2, 20);  // another extension type: skipped whole
        putSilentSce(w, kIdSce, 1);
        ASSERT_EQ(l.read(w), 0);
        EXPECT_FALSE(l.fe.sbrPayload);
        EXPECT_EQ(l.fe.singles, 2);
    }
}

TEST(ElementLoopTest, RefusedElements) {
    const struct {
        const char* name;
        int id;
        int status;
    } cases[] = {{"coupling channel element", kIdCce, 0x1004},
                 {"program configuration after an element", kIdPce, 0x100F}};
    for (const auto& c : cases) {
        Loop l;
        BitWriter w;
        putSilentSce(w, kIdSce, 0);
        w.put(uint32_t(c.id), 3).put(0, 32);
        EXPECT_EQ(l.read(w), c.status) << c.name;
    }
    Loop l;
    BitWriter w;
    for (int i = 0; i < 3; ++i)  // two single channel elements allocated
        putSilentSce(w, kIdSce, i);
    EXPECT_EQ(l.read(w), 0x1004);
}

// Elements are bound to their tags: when a stream sends its two single channel elements in
// the other order, each channel keeps its own object (overlap, prediction).
TEST(ElementLoopTest, ElementsFollowTheirTagsWhateverTheOrder) {
    BitReader r;
    ElementDecoder dec(&r);
    (void)dec.configure(2, 1, true, false);
    int objectOfTag[16];
    for (int frame = 0; frame < 3; ++frame) {
        BitWriter w;
        const int first = frame == 1 ? 15 : 0;
        putSilentSce(w, kIdSce, first);
        putSilentSce(w, kIdSce, 15 - first);
        w.put(7, 3).align().put(0, 32);
        const std::vector<uint8_t> bytes = w.data();
        r.bind(bytes.data(), int32_t(bytes.size()));
        FrameElements fe;
        ASSERT_EQ(dec.readElements(kLc44, nullptr, fe, nullptr, {}, 0), 0);
        ASSERT_EQ(fe.count, 2);
        for (int i = 0; i < 2; ++i) {
            if (frame == 0)
                objectOfTag[fe.list[i].tag] = fe.object[i];
            else
                EXPECT_EQ(fe.object[i], objectOfTag[fe.list[i].tag]) << "frame " << frame;
        }
    }
    EXPECT_NE(objectOfTag[0], objectOfTag[15]);
}

TEST(ElementLoopTest, DataStreamElementsWithOneTagMakeOneEntry) {
    Loop l;
    BitWriter w;
    for (int i = 0; i < 2; ++i) {
        w.put(kIdDse, 3).put(5, 4).put(0, 1).put(3, 8);
        w.put(0x11 * uint32_t(i + 1), 8).put(0x22, 8).put(0x33, 8);
    }
    w.put(7, 3).align().put(0, 32);
    l.bytes = w.data();
    l.r.bind(l.bytes.data(), int32_t(l.bytes.size()));
    (void)l.dec.configure(2, 1, true, false);
    std::vector<uint8_t> buffer(4);
    aacPlusAncillaryDesc desc{};
    desc.capacity = 4;
    int lastTag = -1;
    ASSERT_EQ(l.dec.readElements(kLc44, nullptr, l.fe, nullptr, {buffer.data(), &desc, &lastTag}, 0), 0);
    EXPECT_EQ(desc.count, 1u);
    EXPECT_EQ(desc.entries[0][0], 5u);
    EXPECT_EQ(desc.entries[0][2], 4u);  // only the stored bytes
    EXPECT_EQ(desc.used, 4u);
    EXPECT_EQ(desc.lost, 2u);
    EXPECT_EQ(buffer[3], 0x22);
}

TEST(ElementLoopTest, PayloadRecordLimits) {
    std::vector<uint8_t> bytes(2048, 0x5A);
    BitReader r;
    r.bind(bytes.data(), int32_t(bytes.size()));
    SbrExtensionPayload p;
    p.Bind(&r);
    EXPECT_EQ(p.Store(13, 1024), 0);  // too large: nothing read
    EXPECT_EQ(r.position(), 0);
    EXPECT_EQ(p.Store(12, 10), 0);  // not SBR
    EXPECT_EQ(p.Store(14, 1), 1);
    EXPECT_EQ(r.position(), 4);
    EXPECT_EQ(p.data[0], 0x5);
    EXPECT_EQ(p.Store(13, 3), 0);  // one per frame
    SbrExtensionPayload copy = p;
    EXPECT_EQ(copy.type, 14);
    EXPECT_EQ(copy.size, 1);
    SbrExtensionPayload empty;
    empty.StoreEmpty(2, 13);
    EXPECT_EQ(empty.count, 1);
    EXPECT_EQ(empty.size, 0);
    EXPECT_EQ(empty.element, 2);
}

}  // namespace
