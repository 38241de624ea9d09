// Transport synchronisation and the configuration records of the streams.
#include <gtest/gtest.h>

#include <vector>

#include "AacTestUtil.h"
#include "BitWriter.h"
#include "codecs/aacplus/CoreDecoder.h"
#include "codecs/aacplus/InputBuffer.h"
#include "codecs/aacplus/StreamConfig.h"

using namespace aacplus;
using aactest::AdtsFields;
using aactest::BitWriter;

namespace {

std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct Sync {
    BitReader reader;
    decapl84 input{&reader};
    DecoderStreamInfo info;
    Crc* crc = nullptr;
    int32_t transport = 0;

    explicit Sync(const std::vector<uint8_t>& bytes, bool ended = true) {
        uint32_t n = uint32_t(bytes.size());
        if (n) input.append(bytes.data(), n);
        if (ended) {
            uint32_t zero = 0;
            input.append(nullptr, zero);
        }
    }
    int next() { return synchronise(input, info, &crc, &transport); }
    int64_t byte() const { return reader.position() / 8; }
};

}  // namespace

TEST(AacPlusSync, AdtsFramesBackToBackAndAtTheEnd) {
    AdtsFields f;
    const auto data = join({aactest::adtsFrame(f), aactest::adtsFrame(f)});
    Sync s(data);
    ASSERT_EQ(s.next(), 0);
    EXPECT_EQ(s.transport, 3);
    EXPECT_EQ(s.byte(), 7);  // past the header
    EXPECT_EQ(s.input.frameEnd, 64 * 8);
    EXPECT_EQ(s.info.info.transport, 3);
    EXPECT_EQ(s.info.current().coreSampleRate, 44100);
    EXPECT_EQ(s.info.current().profile, 0x402);
    EXPECT_EQ(s.info.adtsChannelConfiguration, 2);
    s.reader.skip(s.input.frameEnd - s.reader.position());
    ASSERT_EQ(s.next(), 0);  // the last frame needs no following sync
    EXPECT_EQ(s.byte(), 64 + 7);
    s.reader.skip(s.input.frameEnd - s.reader.position());
    EXPECT_EQ(s.next(), 0x1002);
}

TEST(AacPlusSync, RejectedCandidatesAreSkippedByteWise) {
    AdtsFields good;
    struct Case {
        const char* what;
        std::vector<uint8_t> bad;
    } cases[] = {
        {"garbage after the frame", join({aactest::adtsFrame(good), {0x12, 0x34}})},
        {"layer 1", aactest::adtsFrame([] {
             AdtsFields f;
             f.layer = 1;
             return f;
         }())},
        {"length 7", aactest::adtsFrame([] {
             AdtsFields f;
             f.length = 7;
             return f;
         }())},
        {"rate index 12", aactest::adtsFrame([] {
             AdtsFields f;
             f.sfIndex = 12;
             return f;
         }())},
        {"MPEG-2 profile 3", aactest::adtsFrame([] {
             AdtsFields f;
             f.id = 1;
             f.profile = 3;
             return f;
         }())},
        {"LOAS too long", {0x56, 0xFF, 0xFF, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        // A false candidate, then junk, then one good frame at the end.
        const auto data = join({{0x00, 0x11}, c.bad, {0x22}, aactest::adtsFrame(good)});
        Sync s(data);
        ASSERT_EQ(s.next(), 0) << c.what;
        EXPECT_EQ(s.byte(), int64_t(data.size() - 64 + 7)) << c.what;
    }
}

TEST(AacPlusSync, IncompleteFrameWaitsForInputOrEndsTheStream) {
    auto frame = aactest::adtsFrame(AdtsFields{});
    frame.resize(40);
    {
        Sync s(frame, false);
        EXPECT_EQ(s.next(), 0x1003);
        EXPECT_EQ(s.byte(), 0);  // kept for the next feed
    }
    {
        Sync s(frame, true);
        EXPECT_EQ(s.next(), 0x1002);
    }
    Sync empty({}, false);
    EXPECT_EQ(empty.next(), 0x1003);
}

TEST(AacPlusSync, ProfilesAndVersions) {
    struct Case {
        int id, profile;
        int status, code, version;
    } cases[] = {
        {1, 0, 0, 0x200, 1}, {1, 1, 0, 0x201, 1},  {0, 0, 0, 0x401, 2},
        {0, 1, 0, 0x402, 2}, {0, 2, 0x1013, 0, 0}, {0, 3, 0x1013, 0, 0},
    };
    for (const Case& c : cases) {
        AdtsFields f;
        f.id = c.id;
        f.profile = c.profile;
        Sync s(aactest::adtsFrame(f));
        EXPECT_EQ(s.next(), c.status) << c.id << "/" << c.profile;
        EXPECT_EQ(s.transport, 3);
        if (c.status == 0) {
            EXPECT_EQ(s.info.current().profile, c.code);
            EXPECT_EQ(s.info.mpegVersion, c.version);
        }
    }
}

TEST(AacPlusSync, AdtsBitRate) {
    // Two frames of 100 bytes at 44100 Hz, one raw data block each.
    AdtsFields f;
    f.length = 100;
    f.fullness = 0x100;
    Sync s(join({aactest::adtsFrame(f), aactest::adtsFrame(f)}));
    ASSERT_EQ(s.next(), 0);
    EXPECT_EQ(s.info.info.bitRate, 34453);  // 800 bits x 44100 / 1024, rounded
    // The buffer fullness of variable-rate streams reports no bit rate.
    f.fullness = 0x7FF;
    Sync v(aactest::adtsFrame(f));
    ASSERT_EQ(v.next(), 0);
    EXPECT_EQ(v.info.info.bitRate, 0);
}

TEST(AacPlusSync, CrcWordIsReadAndTheHeaderFedIntoTheCrc) {
    AdtsFields f;
    f.protectionAbsent = 0;
    f.crc = 0xBEEF;
    const auto frame = aactest::adtsFrame(f);
    Sync s(frame);
    ASSERT_EQ(s.next(), 0);
    ASSERT_NE(s.crc, nullptr);
    EXPECT_EQ(s.byte(), 9);
    EXPECT_EQ(s.crc->expected(), 0xBEEF);
    auto ref = Crc::createAdts();
    for (int i = 0; i < 7; ++i)
        ref->feedByte(frame[size_t(i)]);
    EXPECT_EQ(s.crc->current(), ref->current());
    EXPECT_FALSE(s.crc->matches());

    // adtsCrcAlways: an unprotected header is taken to carry the word anyway.
    AdtsFields plain;
    Sync a(aactest::adtsFrame(plain));
    a.input.adtsCrcAlways = true;
    ASSERT_EQ(a.next(), 0);
    EXPECT_NE(a.crc, nullptr);
    EXPECT_EQ(a.byte(), 9);
}

TEST(AacPlusSync, LoasNeedsTheNextSyncOrTheEndOfData) {
    const std::vector<uint8_t> frame = {0x56, 0xE0, 0x02, 0xAA, 0xBB};  // length 2
    {
        Sync s(join({frame, frame}));
        ASSERT_EQ(s.next(), 0);
        EXPECT_EQ(s.transport, 5);
        EXPECT_EQ(s.byte(), 0);  // the reader stays at the sync word
        EXPECT_EQ(s.input.frameEnd, 5 * 8);
    }
    {
        Sync s(join({frame, {0x12}, frame}));
        ASSERT_EQ(s.next(), 0);
        EXPECT_EQ(s.byte(), 6);
    }
}

// A file that starts with an ID3v2 tag (whose body holds a false sync) and ends with an
// ID3v1 tag: all frames are found, the last one too.
TEST(AacPlusSync, Id3TagsAroundTheFrames) {
    AdtsFields f;
    std::vector<uint8_t> id3v2 = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 6, 0xFF, 0xF1, 0x50, 0x80, 0x00, 0x1F};
    std::vector<uint8_t> id3v1(128, ' ');
    id3v1[0] = 'T';
    id3v1[1] = 'A';
    id3v1[2] = 'G';
    const auto data = join({id3v2, aactest::adtsFrame(f), aactest::adtsFrame(f), id3v1});
    Sync s(data);
    int frames = 0;
    while (s.next() == 0) {
        ++frames;
        s.reader.skip(s.input.frameEnd - s.reader.position());
    }
    EXPECT_EQ(frames, 2);
}

TEST(AacPlusAudioSpecificConfig, Table) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        int64_t budget;
        int status;
        int aot, rate, sbr, ps, extRate, channels;
    };
    auto asc = [](auto build) {
        BitWriter w;
        build(w);
        return w.data();
    };
    const Case cases[] = {
        {"LC stereo", asc([](BitWriter& w) { w.put(2, 5).put(4, 4).put(2, 4).put(0, 3); }), 16, 0, 2, 44100, -1, -1, 0,
         2},
        {"PS signalled explicitly",
         asc([](BitWriter& w) { w.put(29, 5).put(6, 4).put(1, 4).put(3, 4).put(2, 5).put(0, 3); }), 25, 0, 2, 24000, 1,
         1, 48000, 1},
        {"SBR with a 24-bit extension rate",
         asc([](BitWriter& w) { w.put(5, 5).put(6, 4).put(2, 4).put(15, 4).put(48000, 24).put(2, 5).put(0, 3); }), 45,
         0, 2, 24000, 1, -1, 48000, 2},
        {"SBR, extension index 15 over core index 3",
         asc([](BitWriter& w) { w.put(5, 5).put(3, 4).put(2, 4).put(15, 4).put(96000, 24).put(2, 5).put(0, 3); }), 45,
         0, 2, 48000, 1, -1, 96000, 2},
        {"escape-coded core rate", asc([](BitWriter& w) { w.put(2, 5).put(15, 4).put(44100, 24).put(2, 4).put(0, 3); }),
         40, 0, 2, 44100, -1, -1, 0, 2},
        {"backward-compatible SBR and PS", asc([](BitWriter& w) {
             w.put(2, 5).put(6, 4).put(1, 4).put(0, 3);
             w.put(0x2B7, 11).put(5, 5).put(1, 1).put(3, 4).put(0x548, 11).put(1, 1);
         }),
         49, 0, 2, 24000, 1, 1, 48000, 1},
        {"backward-compatible signalling without a budget", asc([](BitWriter& w) {
             w.put(2, 5).put(6, 4).put(1, 4).put(0, 3);
             w.put(0x2B7, 11).put(5, 5).put(1, 1).put(3, 4);
         }),
         -1, 0, 2, 24000, -1, -1, 0, 1},
        {"backward-compatible SBR flag 0",
         asc([](BitWriter& w) { w.put(2, 5).put(6, 4).put(1, 4).put(0, 3).put(0x2B7, 11).put(5, 5).put(0, 1); }), 33, 0,
         2, 24000, 0, 0, 24000, 1},
        {"SBR rate neither 1x nor 2x",
         asc([](BitWriter& w) { w.put(5, 5).put(4, 4).put(2, 4).put(0, 4).put(2, 5).put(0, 3); }), 25, 0x1015, 2, 44100,
         1, -1, 96000, 2},
        {"LTP refused", asc([](BitWriter& w) { w.put(4, 5).put(4, 4).put(2, 4).put(0, 3); }), 16, 0x1013, 4, 44100, -1,
         -1, 0, 2},
        {"extensionFlag3 refused", asc([](BitWriter& w) { w.put(2, 5).put(4, 4).put(2, 4).put(1, 3).put(1, 1); }), 17,
         0x1004, 2, 44100, -1, -1, 0, 2},
    };
    for (const Case& c : cases) {
        AudioSpecificConfig a;
        BitReader r;
        r.bind(c.bytes.data(), int32_t(c.bytes.size()));
        EXPECT_EQ(parseAudioSpecificConfig(a, r, c.budget), c.status) << c.what;
        EXPECT_EQ(a.audioObjectType, c.aot) << c.what;
        EXPECT_EQ(a.samplingFrequency, c.rate) << c.what;
        EXPECT_EQ(a.sbrPresentFlag, c.sbr) << c.what;
        EXPECT_EQ(a.psPresentFlag, c.ps) << c.what;
        EXPECT_EQ(a.extensionSamplingFrequency, c.extRate) << c.what;
        EXPECT_EQ(a.channelConfiguration, c.channels) << c.what;
        EXPECT_FALSE(r.overran()) << c.what;
    }
}

TEST(AacPlusProgramConfig, ParseAndMembership) {
    BitWriter w;
    w.put(0, 3);                                // three bits before the element: alignment counts from the block start
    w.put(5, 4).put(1, 2).put(3, 4);            // tag 5, LC, 48 kHz
    w.put(2, 4).put(0, 4).put(1, 4).put(1, 2);  // 2 front, 0 side, 1 back, 1 LFE
    w.put(1, 3).put(0, 4);                      // 1 data element, no coupling
    w.put(0, 1).put(0, 1).put(1, 1).put(2, 2).put(1, 1);  // matrix mixdown 2, pseudo surround
    w.put(0, 1).put(0, 4).put(1, 1).put(0, 4);            // front: SCE 0, CPE 0
    w.put(1, 1).put(1, 4);                                // back: CPE 1
    w.put(0, 4);                                          // LFE 0
    w.put(7, 4);                                          // data element 7
    w.align();
    w.put(70, 8);
    for (int i = 0; i < 70; ++i)
        w.put(uint32_t('a' + i % 26), 8);
    w.put(0xAB, 8);
    const auto bytes = w.data();
    BitReader r;
    r.bind(bytes.data(), int32_t(bytes.size()));
    r.read(3);
    ProgramConfig pce;
    parseProgramConfig(pce, r, nullptr, 0);
    EXPECT_TRUE(pce.valid);
    EXPECT_EQ(pce.elementInstanceTag, 5);
    EXPECT_EQ(pce.samplingFrequencyIndex, 3);
    EXPECT_EQ(pce.totalChannels(), 6);
    EXPECT_EQ(pce.frontChannels, 3);
    EXPECT_EQ(pce.backChannels, 2);
    EXPECT_EQ(pce.matrixMixdownIdx, 2);
    EXPECT_EQ(pce.commentBytes, 70);
    EXPECT_EQ(pce.comment[63], uint8_t('a' + 63 % 26));
    EXPECT_EQ(r.read(8), 0xABu);  // the dropped comment bytes were consumed too

    EXPECT_TRUE(pce.hasSingle(0));
    EXPECT_FALSE(pce.hasSingle(1));
    EXPECT_TRUE(pce.hasPair(1));
    EXPECT_TRUE(pce.hasLfe(0));

    const FrameElement full[] = {{kIdSce, 0}, {kIdCpe, 0}, {kIdCpe, 1}, {kIdLfe, 0}};
    EXPECT_EQ(checkProgramMembership(pce, full, 4), 0);
    EXPECT_EQ(checkProgramMembership(pce, full, 3), 0x1017);  // no LFE in the frame
    EXPECT_FALSE(pce.valid);
    EXPECT_TRUE(pce.hasPair(9));  // an invalid record claims every element

    DecoderStreamInfo info;
    info.mpegVersion = 1;
    pce.valid = true;
    EXPECT_EQ(programFromConfig(info, pce), 0);
    const aacPlusProgramInfo& p = info.info.programs[5];
    EXPECT_EQ(p.coreSampleRate, 48000);
    EXPECT_EQ(p.profile, 0x201);
    EXPECT_EQ(p.numChannels, 6);
    EXPECT_EQ(p.lfeChannels, 1);
    EXPECT_EQ(info.info.numPrograms, 1);
    pce.samplingFrequencyIndex = 13;
    EXPECT_EQ(programFromConfig(info, pce), 0x100D);
}

TEST(AacPlusAdif, HeaderWithTwoProgramsReadsAFullnessBeforeEach) {
    auto pce = [](BitWriter& w, int tag) {
        w.put(tag, 4).put(1, 2).put(4, 4).put(1, 4).put(0, 4).put(0, 4).put(0, 2).put(0, 3).put(0, 4);
        w.put(0, 3);
        w.put(1, 1).put(tag, 4);  // one channel pair
    };
    BitWriter w;
    w.bytes({'A', 'D', 'I', 'F'}).put(1, 1).put(0, 32).put(0, 32).put(0, 8);  // copyright id
    w.put(0, 1).put(0, 1).put(0, 1).put(128000, 23).put(1, 4);                // constant rate, 2 programs
    w.put(0xFFFFF, 20);
    pce(w, 3);
    w.align();  // relative to the header start
    w.put(0, 8);
    w.put(0xABCDE, 20);
    pce(w, 9);
    w.align();
    w.put(0, 8);
    const int64_t end = w.bits();
    w.put(0x5A, 8);
    const auto bytes = w.data();
    BitReader r;
    r.bind(bytes.data(), int32_t(bytes.size()));
    AdifHeader h;
    ProgramConfig slots[16];
    ASSERT_TRUE(detectAdif(r));
    ASSERT_TRUE(parseAdifHeader(h, r, slots));
    EXPECT_EQ(h.bitrate, 128000);
    EXPECT_EQ(h.firstTag, 3);
    EXPECT_TRUE(slots[3].valid);
    EXPECT_TRUE(slots[9].valid);
    EXPECT_EQ(slots[9].frontChannels, 2);
    EXPECT_EQ(r.position(), end);

    const std::vector<uint8_t> notAdif = {'A', 'D', 'I', 'X'};
    r.bind(notAdif.data(), 4);
    EXPECT_FALSE(parseAdifHeader(h, r, slots));
    EXPECT_EQ(r.position(), 0);
}

TEST(AacPlusLatm, StreamMuxConfigRefusals) {
    auto mux = [](int version, int subFrames, int aot, int frameLengthType) {
        BitWriter w;
        w.put(0, 1);  // useSameStreamMux
        w.put(version, 1).put(1, 1).put(subFrames, 6).put(0, 4).put(0, 3);
        w.put(aot, 5).put(4, 4).put(2, 4).put(0, 3);
        w.put(frameLengthType, 3).put(0xFF, 8).put(0, 1).put(0, 1);
        return w.data();
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        int status;
    } cases[] = {
        {"plain", mux(0, 0, 2, 0), 0},
        {"audioMuxVersion 1", mux(1, 0, 2, 0), 0x1004},
        {"two subframes", mux(0, 1, 2, 0), 0x1004},
        {"Main profile", mux(0, 0, 1, 0), 0x1013},
        {"frameLengthType 1", mux(0, 0, 2, 1), 0x1004},
    };
    for (const Case& c : cases) {
        LatmMuxConfig m;
        m.muxConfigPresent = true;
        BitReader r;
        r.bind(c.bytes.data(), int32_t(c.bytes.size()));
        EXPECT_EQ(parseAudioMuxElementHeader(m, r), c.status) << c.what;
        if (c.status == 0) {
            EXPECT_EQ(m.numProgram, 1);
            EXPECT_EQ(m.layers[0][0].asc.samplingFrequency, 44100);
            EXPECT_TRUE(m.muxHeaderRead);
        }
    }
}

TEST(AacPlusLatm, MuxConfigDescribesThePrograms) {
    struct Case {
        int channelConfiguration, sbr, ps, extRate;
        bool implicitSbr;
        int mode, numChannels, programChannels, sampleRate, frameSize;
    } cases[] = {
        {1, 1, 1, 48000, false, 3, 2, 1, 48000, 2048},  {1, 0, 0, 24000, false, 1, 1, 1, 24000, 1024},
        {1, 1, -1, 48000, false, 0, 2, 1, 48000, 2048}, {1, -1, -1, 0, false, 0, 0, 1, 24000, 1024},
        {1, -1, -1, 0, true, 0, 2, 1, 48000, 2048},     {2, -1, -1, 0, false, 2, 2, 2, 24000, 1024},
        {6, 1, -1, 24000, false, 8, 6, 6, 24000, 1024}, {7, -1, -1, 0, false, 0, 8, 8, 24000, 1024},
    };
    for (const Case& c : cases) {
        LatmMuxConfig mux;
        mux.numProgram = 1;
        AudioSpecificConfig& asc = mux.layers[0][0].asc;
        asc.audioObjectType = 2;
        asc.samplingFrequency = 24000;
        asc.channelConfiguration = c.channelConfiguration;
        asc.sbrPresentFlag = c.sbr;
        asc.psPresentFlag = c.ps;
        asc.extensionSamplingFrequency = c.extRate;
        DecoderStreamInfo info;
        applyMuxConfig(mux, info, c.implicitSbr, 0, 0);
        const aacPlusProgramInfo& p = info.info.programs[0];
        EXPECT_EQ(p.channelMode, c.mode) << c.channelConfiguration << "/" << c.sbr << "/" << c.ps;
        EXPECT_EQ(p.numChannels, c.numChannels) << c.channelConfiguration << "/" << c.sbr;
        EXPECT_EQ(p.programChannels, c.programChannels) << c.channelConfiguration;
        EXPECT_EQ(p.sampleRate, c.sampleRate) << c.channelConfiguration << "/" << c.sbr;
        EXPECT_EQ(p.frameSize, c.frameSize) << c.channelConfiguration << "/" << c.sbr;
        EXPECT_EQ(p.coreSampleRate, 24000);
        EXPECT_EQ(p.profile, 0x402);
        EXPECT_EQ(p.valid, 1);
        EXPECT_EQ(info.downmixKind, c.numChannels ? 1 : 0);
    }
}

// A LOAS stream cut after its configuration: frames that repeat the missing configuration
// are skipped until one carries a StreamMuxConfig.
TEST(AacPlusLatm, LeadingFramesWithoutConfigurationAreSkipped) {
    struct Case {
        const char* file;
        int cut;
        int frames;
    } cases[] = {
        {"stereo_44k_smc3.loas", 1, 11},  // frames 2 and 3 skipped, 4..14 decoded
        {"stereo_44k_smc3.loas", 0, 14},
        {"stereo_44k_smc1.loas", 5, 9},
        {"stereo_44k_smc20.loas", 1, 0},  // never another configuration
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> data = aactest::readFile(aactest::fixturePath(c.file));
        size_t at = 0;
        for (int i = 0; i < c.cut; ++i)
            at += 3 + (((data[at + 1] & 0x1F) << 8) | data[at + 2]);
        data.erase(data.begin(), data.begin() + long(at));
        aacPlusHandle h = nullptr;
        ASSERT_EQ(aacPlusDecoderOpen(&h, kAacPlusFormatFloat, 2), 0);
        const aactest::DecodeRun run = aactest::decodeAll(h, data);
        EXPECT_EQ(run.frames, c.frames) << c.file << " cut " << c.cut;
        EXPECT_EQ(run.errors, 0) << c.file;
        EXPECT_EQ(run.lastStatus, 0x1106) << c.file;
        aacPlusDecoderClose(&h);
    }
}
