// Transport recognition over real streams, checked against the reference demuxer (ffprobe).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "AacTestUtil.h"
#include "codecs/aacplus/InputBuffer.h"
#include "codecs/aacplus/StreamConfig.h"

using namespace aacplus;
using aactest::Packet;

namespace {

struct FrameSeen {
    long pos;
    long size;
    int status;
};

// Walks the transport frames of a file with the synchronisation alone, feeding the input
// store as the handle does, and reports each frame's absolute position and size.
std::vector<FrameSeen> walkFrames(const std::vector<uint8_t>& data) {
    std::vector<FrameSeen> frames;
    BitReader r;
    decapl84 input(&r);
    DecoderStreamInfo info;
    size_t offset = 0;
    long base = 0;  // file offset of the store's first byte
    for (int guard = 0; guard < 100000; ++guard) {
        const int32_t consumed = r.consumedBytes();
        uint32_t remaining = uint32_t(std::min<size_t>(kInputBufferSize, data.size() - offset));
        const uint32_t offered = remaining;
        if (offered)  // only a real append compacts the store
            base += std::min(consumed, input.held());
        input.append(offered ? data.data() + offset : nullptr, remaining);
        offset += offered - remaining;
        Crc* crc = nullptr;
        int32_t transport = 0;
        const int status = synchronise(input, info, &crc, &transport);
        if (status == kCoreEndOfStream) break;
        if (status == kCoreNeedMoreInput) continue;
        const int64_t start = transport == kTransportLoas ? r.position() : r.position() - (crc ? 72 : 56);
        frames.push_back({base + long(start / 8), long((input.frameEnd - start) / 8), status});
        r.skip(input.frameEnd - r.position());
        input.rawBlocksLeft = 0;
    }
    return frames;
}

// The reference demuxer does not count a mid-stream ID3v2 tag in its offsets.
long skipId3(const std::vector<uint8_t>& d, long pos) {
    while (pos + 10 <= long(d.size()) && d[pos] == 'I' && d[pos + 1] == 'D' && d[pos + 2] == '3')
        pos += 10 +
               ((d[pos + 6] & 0x7F) << 21 | (d[pos + 7] & 0x7F) << 14 | (d[pos + 8] & 0x7F) << 7 | (d[pos + 9] & 0x7F));
    return pos;
}

// A last frame cut short by the end of the file: the reference demuxer hands it out, a
// decoder cannot decode it and ends the stream before it.
bool truncatedTail(const std::vector<uint8_t>& d, const Packet& p) {
    if (p.pos + p.size != long(d.size()) || p.size < 7) return false;
    const uint8_t* h = d.data() + p.pos;
    const long declared =
        h[0] == 0x56 ? (((h[1] & 0x1F) << 8) | h[2]) + 3 : ((h[3] & 3) << 11) | (h[4] << 3) | (h[5] >> 5);
    return declared > p.size;
}

struct Expected {
    const char* file;
    int transport;
    int coreRate;
    int programChannels;
    int profile;
};

// al07, al15 and am05 carry coupling channel elements, which the decoder refuses.
const Expected kStreams[] = {
    {"iso14496-4/al04_44.adts.aac", 3, 44100, 1, 0x402},
    {"iso14496-4/al05_44.adts.aac", 3, 44100, 2, 0x402},
    {"iso14496-4/al06_44.adts.aac", 3, 44100, 3, 0x402},
    {"iso14496-4/al17_44.adts.aac", 3, 44100, 2, 0x402},
    {"iso14496-4/al18_44.adts.aac", 3, 44100, 1, 0x402},
    {"iso14496-4/al_sbr_cm_48_2.adts.aac", 3, 24000, 2, 0x402},
    {"iso14496-4/al_sbr_cm_48_5.1.adts.aac", 3, 24000, 6, 0x402},
    {"iso14496-4/al_sbr_ps_04_new.adts.aac", 3, 16000, 1, 0x402},
    {"iso14496-4/al_sbr_ps_06_new.adts.aac", 3, 16000, 1, 0x402},
    {"iso14496-4/al_sbr_sr_48_2_fsaac48.adts.aac", 3, 48000, 2, 0x402},
    {"adts/fate_foo.aac", 3, 44100, 2, 0x402},
    {"adts/fate_id3v1.aac", 3, 48000, 2, 0x201},
    {"adts/fate_id3v2.aac", 3, 48000, 1, 0x402},
    {"adts/fate_id3v2_two_tags.aac", 3, 48000, 1, 0x402},
    {"adts/mutagen_empty.aac", 3, 44100, 2, 0x201},
    {"generated/lc_22k_mono_48k_ffmpeg.adts.aac", 3, 22050, 1, 0x402},
    {"generated/lc_44k_stereo_128k_ffmpeg.adts.aac", 3, 44100, 2, 0x402},
    {"latm-loas/latm_000000001180bc60.loas", 5, 24000, 2, 0x402},
};

bool setUp(std::string& why) {
    if (aactest::vectors().empty()) {
        why = "ZYM_SHARED_DIR not set: no conformance vectors";
        return false;
    }
    if (!aactest::haveTool("ffprobe")) {
        why = "ffprobe (the reference demuxer) is not installed";
        return false;
    }
    return true;
}

}  // namespace

// Frame boundaries: every frame the reference demuxer sees, at the same offset with the
// same size, and nothing else (ID3 tags and leading garbage skipped).
TEST(AacPlusConformance, FrameBoundariesMatchTheReferenceDemuxer) {
    std::string why;
    if (!setUp(why)) GTEST_SKIP() << why;
    std::vector<std::string> files;
    for (const Expected& e : kStreams)
        files.push_back(e.file);
    files.push_back("latm-loas/latm_stereo_to_51.loas");
    files.push_back("iso14496-4/ap05_48.adts.aac");
    for (const std::string& file : files) {
        const std::string path = aactest::vectors() + file;
        const std::vector<uint8_t> data = aactest::readFile(path);
        std::vector<Packet> want = aactest::probePackets(path);
        const std::vector<FrameSeen> got = walkFrames(data);
        EXPECT_FALSE(want.empty()) << file;
        if (!want.empty() && truncatedTail(data, want.back())) want.pop_back();
        long shift = 0;  // bytes of mid-stream tags the reference leaves out of its offsets
        for (Packet& p : want) {
            const long at = skipId3(data, p.pos + shift);
            shift = at - p.pos;
            p.pos = at;
        }
        EXPECT_EQ(got.size(), want.size()) << file;
        for (size_t i = 0; i < std::min(want.size(), got.size()); ++i) {
            if (got[i].pos != want[i].pos || got[i].size != want[i].size) {
                ADD_FAILURE() << file << " frame " << i << ": at " << got[i].pos << " size " << got[i].size
                              << ", reference at " << want[i].pos << " size " << want[i].size;
                break;
            }
        }
    }
}

// Through the public interface: transport, core rate, channels of the program and profile
// of every stream, and one decoded frame per transport frame.
TEST(AacPlusConformance, StreamsAreRecognisedThroughTheInterface) {
    std::string why;
    if (!setUp(why)) GTEST_SKIP() << why;
    for (const Expected& e : kStreams) {
        const std::string path = aactest::vectors() + e.file;
        aacPlusHandle h = nullptr;
        ASSERT_EQ(aacPlusDecoderOpen(&h, kAacPlusFormatFloat, 8), kAacPlusOk);
        const aactest::DecodeRun run = aactest::decodeAll(h, aactest::readFile(path));
        EXPECT_EQ(run.lastStatus, kAacPlusEndOfStream) << e.file;
        EXPECT_EQ(run.errors, 0) << e.file;
        std::vector<Packet> want = aactest::probePackets(path);
        if (!want.empty() && truncatedTail(aactest::readFile(path), want.back())) want.pop_back();
        EXPECT_EQ(size_t(run.frames), want.size()) << e.file;
        ASSERT_FALSE(run.infos.empty()) << e.file;
        const aacPlusStreamInfo& info = run.infos.back();
        const aacPlusProgramInfo& p = info.programs[info.currentProgram];
        EXPECT_EQ(info.transport, e.transport) << e.file;
        EXPECT_EQ(p.coreSampleRate, e.coreRate) << e.file;
        EXPECT_EQ(p.programChannels, e.programChannels) << e.file;
        EXPECT_EQ(p.profile, e.profile) << e.file;
        EXPECT_EQ(aacPlusDecoderGetStreamInfo(h)->state, 5) << e.file;
        aacPlusDecoderClose(&h);
    }
}

// LTP (ADTS profile 3) is refused frame by frame, never decoded.
TEST(AacPlusConformance, LtpStreamIsRefused) {
    std::string why;
    if (!setUp(why)) GTEST_SKIP() << why;
    aacPlusHandle h = nullptr;
    ASSERT_EQ(aacPlusDecoderOpen(&h, kAacPlusFormatFloat, 2), kAacPlusOk);
    const aactest::DecodeRun run =
        aactest::decodeAll(h, aactest::readFile(aactest::vectors() + "iso14496-4/ap05_48.adts.aac"));
    EXPECT_EQ(run.frames, 0);
    EXPECT_GT(run.errors, 0);
    aacPlusDecoderClose(&h);
}

// The LOAS stream that switches from stereo to 5.1: the output keeps the stereo layout it
// started with while the switch is concealed (never 5.1 decoded into a stereo-sized
// output), and after the fade the decoder starts over in the new layout instead of
// concealing for ever with a success status.
TEST(AacPlusConformance, LoasStereoTo51SwitchIsConcealedThenRestarts) {
    std::string why;
    if (!setUp(why)) GTEST_SKIP() << why;
    const std::string path = aactest::vectors() + "latm-loas/latm_stereo_to_51.loas";
    const std::string channels =
        aactest::run("ffprobe -v error -show_entries frame=channels -of csv=p=0 '" + path + "'");
    const size_t stereoFrames = size_t(std::count(channels.begin(), channels.end(), '2'));
    ASSERT_GT(stereoFrames, 0u);

    aacPlusHandle h = nullptr;
    ASSERT_EQ(aacPlusDecoderOpen(&h, kAacPlusFormatFloat, 6), kAacPlusOk);
    const aactest::DecodeRun run = aactest::decodeAll(h, aactest::readFile(path));
    EXPECT_EQ(run.errors, 0);
    size_t firstConcealed = run.infos.size(), concealed = 0;
    for (size_t i = 0; i < run.infos.size(); ++i) {
        const aacPlusProgramInfo& p = run.infos[i].programs[run.infos[i].currentProgram];
        EXPECT_EQ(run.written[i], 1024u * uint32_t(p.outputChannels) * 4) << i;
        if (i < stereoFrames) {
            EXPECT_EQ(p.outputChannels, 2) << i;
        }
        if (run.infos[i].state == 3) {
            firstConcealed = std::min(firstConcealed, i);
            ++concealed;
        }
    }
    EXPECT_EQ(firstConcealed, stereoFrames);
    EXPECT_LE(concealed, 6u) << "the switch is concealed for a few frames, not for ever";
    ASSERT_FALSE(run.infos.empty());
    const aacPlusStreamInfo& last = run.infos.back();
    EXPECT_NE(last.state, 3);
    EXPECT_EQ(last.programs[last.currentProgram].numChannels, 6);
    aacPlusDecoderClose(&h);
}

// ADIF headers against faad's view (the reference for ADIF): bit rate and sampling rate of
// the first program; through the interface the transport becomes ADIF on the first call.
TEST(AacPlusConformance, AdifHeadersMatchTheReferenceDecoder) {
    if (aactest::vectors().empty()) GTEST_SKIP() << "ZYM_SHARED_DIR not set: no conformance vectors";
    if (!aactest::haveTool("faad")) GTEST_SKIP() << "faad (the ADIF reference) is not installed";
    for (const char* file :
         {"adif/lc_22k_mono_48k_ffmpeg.adif.aac", "adif/lc_44k_stereo_128k_ffmpeg.adif.aac", "adif/mutagen_adif.aac"}) {
        const std::string path = aactest::vectors() + file;
        const std::vector<uint8_t> data = aactest::readFile(path);
        BitReader r;
        r.bind(data.data(), int32_t(data.size()));
        AdifHeader header;
        ProgramConfig slots[16];
        ASSERT_TRUE(parseAdifHeader(header, r, slots)) << file;
        DecoderStreamInfo info;
        info.mpegVersion = 1;
        ASSERT_EQ(programFromConfig(info, slots[header.firstTag]), 0) << file;
        const int rate = info.info.programs[header.firstTag].coreSampleRate;

        const std::string line = aactest::run("faad -i '" + path + "' 2>&1 | grep '^ADIF'");
        int kbps = 0, hz = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "ADIF, %*f sec, %d kbps, %d Hz", &kbps, &hz), 2) << line;
        EXPECT_EQ((header.bitrate + 500) / 1000, kbps) << file;
        // faad reports rates up to 24 kHz doubled (it assumes SBR).
        EXPECT_EQ(rate <= 24000 ? rate * 2 : rate, hz) << file;

        aacPlusHandle h = nullptr;
        ASSERT_EQ(aacPlusDecoderOpen(&h, kAacPlusFormatFloat, 2), 0);
        aacPlusInputDesc in{uint32_t(std::min<size_t>(data.size(), 4608)), 0, 0};
        (void)aacPlusStreamFeed(h, data.data(), &in);
        aacPlusOutputDesc out{8192, 0, 0};
        std::vector<float> pcm(2048);
        (void)aacPlusStreamDecode(h, pcm.data(), &out, nullptr, nullptr);
        EXPECT_EQ(aacPlusDecoderGetStreamInfo(h)->transport, 2) << file;
        aacPlusDecoderClose(&h);
    }
}

// The project's own ffmpeg-made streams (ADTS, LOAS at several configuration intervals,
// mono to 5.1, with and without a PCE): frames and stream facts as ffprobe sees them.
TEST(AacPlusFixtures, MatchTheReferenceDemuxer) {
    if (!aactest::haveTool("ffprobe")) GTEST_SKIP() << "ffprobe (the reference demuxer) is not installed";
    for (const char* name : {"stereo_44k.adts", "mono_44k.adts", "surround51_48k.adts", "surround50_48k.adts",
                             "pce51_48k.adts", "pce_quad_48k.adts", "stereo_44k_smc1.loas", "stereo_44k_smc3.loas",
                             "stereo_44k_smc20.loas", "surround51_48k.loas"}) {
        const std::string path = aactest::fixturePath(name);
        const std::vector<uint8_t> data = aactest::readFile(path);
        const std::vector<Packet> want = aactest::probePackets(path);
        const std::vector<FrameSeen> got = walkFrames(data);
        ASSERT_EQ(got.size(), want.size()) << name;
        for (size_t i = 0; i < want.size(); ++i) {
            EXPECT_EQ(got[i].pos, want[i].pos) << name << " " << i;
            EXPECT_EQ(got[i].size, want[i].size) << name << " " << i;
        }

        const aactest::ProbeStream ref = aactest::probeStream(path);
        aacPlusHandle h = nullptr;
        ASSERT_EQ(aacPlusDecoderOpen(&h, kAacPlusFormatFloat, 8), kAacPlusOk);
        const aactest::DecodeRun run = aactest::decodeAll(h, data);
        EXPECT_EQ(size_t(run.frames), want.size()) << name;
        ASSERT_FALSE(run.infos.empty()) << name;
        const aacPlusStreamInfo& info = run.infos.back();
        const aacPlusProgramInfo& p = info.programs[info.currentProgram];
        EXPECT_EQ(info.transport, std::string(name).ends_with(".loas") ? 5 : 3) << name;
        EXPECT_EQ(p.coreSampleRate, ref.sampleRate) << name;
        EXPECT_EQ(p.sampleRate, ref.sampleRate) << name;
        EXPECT_EQ(p.numChannels, ref.channels) << name;
        EXPECT_EQ(p.profile, 0x402) << name;
        EXPECT_EQ(ref.profile, "LC") << name;
        aacPlusDecoderClose(&h);
    }
}

// The engine's calling order: float output for 6 channels, limiter and implicit SBR on. A
// 22.05 kHz mono stream is then prepared for SBR: 44.1 kHz, two channels, 2048-sample frames.
TEST(AacPlusConformance, EngineCallingOrderOnALowRateMonoStream) {
    if (aactest::vectors().empty()) GTEST_SKIP() << "ZYM_SHARED_DIR not set: no conformance vectors";
    aacPlusHandle h = nullptr;
    ASSERT_EQ(aacPlusDecoderOpen(&h, kAacPlusFormatFloat, 6), 0);
    aacPlusConfig* cfg = aacPlusDecoderGetConfig(h);
    cfg->limiterOn = 1;
    cfg->implicitSbr = 1;
    ASSERT_EQ(aacPlusDecoderSetConfig(h), 0);
    const aactest::DecodeRun run =
        aactest::decodeAll(h, aactest::readFile(aactest::vectors() + "generated/lc_22k_mono_48k_ffmpeg.adts.aac"));
    EXPECT_EQ(run.frames, 66);
    ASSERT_FALSE(run.infos.empty());
    const aacPlusProgramInfo& p = run.infos.front().programs[run.infos.front().currentProgram];
    EXPECT_EQ(p.coreSampleRate, 22050);
    EXPECT_EQ(p.sampleRate, 44100);
    EXPECT_EQ(p.frameSize, 2048);
    EXPECT_EQ(p.numChannels, 2);
    EXPECT_EQ(p.outputChannels, 2);
    EXPECT_EQ(p.programChannels, 1);
    EXPECT_EQ(p.channelMode, 1);
    for (uint32_t w : run.written)
        EXPECT_EQ(w, 2048u * 2 * 4);
    aacPlusDecoderClose(&h);
}
