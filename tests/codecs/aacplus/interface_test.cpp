// The handle interface: opening and configuration, status codes, feeding, draining, the
// output-buffer contract and the PCM formats.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "AacTestUtil.h"
#include "codecs/aacplus/PcmConvert.h"

namespace {

struct Handle {
    aacPlusHandle h = nullptr;
    ~Handle() { aacPlusDecoderClose(&h); }
};

std::vector<uint8_t> fixture(const char* name) { return aactest::readFile(aactest::fixturePath(name)); }

int feed(aacPlusHandle h, const std::vector<uint8_t>& data, size_t& offset, size_t chunk = 4608) {
    aacPlusInputDesc in{uint32_t(std::min(chunk, data.size() - offset)), 0, 0};
    const int status = aacPlusStreamFeed(h, data.data() + offset, &in);
    offset += in.consumed;
    return status;
}

}  // namespace

TEST(AacPlusInterface, OpenClampsAndRefusesChannelCounts) {
    struct Case {
        int channels;
        int status;
        int maxChannels;
        int lfe;
    } cases[] = {{1, 0, 2, 0}, {2, 0, 2, 0}, {4, 0, 4, 0}, {5, 0, 5, 1}, {8, 0, 8, 1}, {9, 0x1103, 0, 0}};
    for (const Case& c : cases) {
        Handle h;
        h.h = reinterpret_cast<aacPlusHandle>(1);
        EXPECT_EQ(aacPlusDecoderOpen(&h.h, kAacPlusFormatInt16, c.channels), c.status) << c.channels;
        if (c.status) {
            EXPECT_EQ(h.h, nullptr);
            continue;
        }
        const aacPlusConfig* cfg = aacPlusDecoderGetConfig(h.h);
        ASSERT_NE(cfg, nullptr);
        EXPECT_EQ(cfg->maxChannels, c.maxChannels);
        EXPECT_EQ(cfg->lfeChannels, c.lfe);
        EXPECT_EQ(cfg->reserved7, c.maxChannels);
        EXPECT_EQ(cfg->limiterOn, 0);
        EXPECT_EQ(aacPlusDecoderGetStreamInfo(h.h)->state, 0);
    }
}

// Every refusal of the interface, with its exact code.
TEST(AacPlusInterface, StatusCodes) {
    Handle h;
    ASSERT_EQ(aacPlusDecoderOpen(&h.h, kAacPlusFormatFloat, 2), 0);
    aacPlusInputDesc in{4, 0, 0};
    aacPlusOutputDesc out{4096, 0, 0};
    const uint8_t bytes[4] = {};
    uint32_t bogus[64] = {};  // not a handle: no tag
    aacPlusHandle fake = reinterpret_cast<aacPlusHandle>(bogus);

    EXPECT_EQ(aacPlusDecoderSetConfig(nullptr), 0x1101);
    EXPECT_EQ(aacPlusDecoderSetConfig(fake), 0x1101);
    EXPECT_EQ(aacPlusDecoderGetConfig(fake), nullptr);
    EXPECT_EQ(aacPlusDecoderGetStreamInfo(nullptr), nullptr);
    EXPECT_EQ(aacPlusStreamFeed(nullptr, bytes, &in), 0x1101);
    EXPECT_EQ(aacPlusStreamFeed(h.h, bytes, nullptr), 0x1101);
    EXPECT_EQ(aacPlusStreamFeed(h.h, nullptr, &in), 0x1101);
    EXPECT_EQ(aacPlusStreamDecode(fake, nullptr, &out, nullptr, nullptr), 0x1101);
    aacPlusDecoderClose(&fake);  // does nothing to what is not ours
    EXPECT_EQ(fake, nullptr);

    in.flags = 1;
    EXPECT_EQ(aacPlusStreamFeed(h.h, bytes, &in), 0x1107);
    EXPECT_EQ(in.consumed, 0u);

    aacPlusHandle other = reinterpret_cast<aacPlusHandle>(1);
    EXPECT_EQ(aacPlusDecoderOpen(&other, 3, 2), 0x1107);
    EXPECT_EQ(other, nullptr);

    // Configuration limits.
    aacPlusConfig* cfg = aacPlusDecoderGetConfig(h.h);
    const aacPlusConfig good = *cfg;
    struct Edit {
        int aacPlusConfig::*field;
        int value;
        int status;
    } edits[] = {
        {&aacPlusConfig::maxChannels, 1, 0x1103},    {&aacPlusConfig::maxChannels, 9, 0x1103},
        {&aacPlusConfig::lfeChannels, 2, 0x1103},    {&aacPlusConfig::downmixMode, 3, 0x1103},
        {&aacPlusConfig::downmixVariant, 4, 0x1103}, {&aacPlusConfig::downmixMode, 2, 0},
        {&aacPlusConfig::limiterOn, 1, 0},
    };
    for (const Edit& e : edits) {
        *cfg = good;
        cfg->*e.field = e.value;
        EXPECT_EQ(aacPlusDecoderSetConfig(h.h), e.status) << e.value;
    }
    *cfg = good;
    EXPECT_EQ(aacPlusDecoderSetConfig(h.h), 0);

    // Nothing fed yet: more input.
    EXPECT_EQ(aacPlusStreamDecode(h.h, nullptr, &out, nullptr, nullptr), 0x1105);
}

TEST(AacPlusInterface, FeedTakesWhatFits) {
    Handle h;
    ASSERT_EQ(aacPlusDecoderOpen(&h.h, kAacPlusFormatInt16, 2), 0);
    std::vector<uint8_t> junk(10000, 0x11);
    aacPlusInputDesc in{10000, 0, 0};
    EXPECT_EQ(aacPlusStreamFeed(h.h, junk.data(), &in), 0);
    EXPECT_EQ(in.consumed, 8192u);
    in = {100, 0, 0};
    EXPECT_EQ(aacPlusStreamFeed(h.h, junk.data(), &in), 0);
    EXPECT_EQ(in.consumed, 0u);  // full, nothing consumed yet
    // Garbage is skipped while looking for a frame, which frees the store.
    aacPlusOutputDesc out{0, 0, 0};
    EXPECT_EQ(aacPlusStreamDecode(h.h, nullptr, &out, nullptr, nullptr), 0x1105);
    EXPECT_EQ(aacPlusStreamFeed(h.h, junk.data(), &in), 0);
    EXPECT_EQ(in.consumed, 100u);
}

// Draining after the end of input: state 4 while frames remain, 5 and 0x1106 at the end.
TEST(AacPlusInterface, DrainsAfterTheEndOfInput) {
    const std::vector<uint8_t> data = fixture("stereo_44k.adts");
    ASSERT_FALSE(data.empty());
    Handle h;
    ASSERT_EQ(aacPlusDecoderOpen(&h.h, kAacPlusFormatInt16, 2), 0);
    size_t offset = 0;
    ASSERT_EQ(feed(h.h, data, offset, data.size()), 0);
    ASSERT_EQ(offset, data.size());
    aacPlusInputDesc end{0, 0, 0};
    ASSERT_EQ(aacPlusStreamFeed(h.h, nullptr, &end), 0);
    EXPECT_EQ(aacPlusDecoderGetStreamInfo(h.h)->state, 4);

    std::vector<int16_t> pcm(2048 * 2);
    int frames = 0;
    int status;
    for (;;) {
        aacPlusOutputDesc out{uint32_t(pcm.size() * 2), 0, 0};
        status = aacPlusStreamDecode(h.h, pcm.data(), &out, nullptr, nullptr);
        if (status != 0) break;
        ++frames;
        EXPECT_EQ(out.written, 1024u * 2 * 2);
        EXPECT_EQ(aacPlusDecoderGetStreamInfo(h.h)->state, 4);
    }
    EXPECT_EQ(status, 0x1106);
    EXPECT_EQ(frames, 14);
    EXPECT_EQ(aacPlusDecoderGetStreamInfo(h.h)->state, 5);
    aacPlusOutputDesc out{uint32_t(pcm.size() * 2), 0, 0};
    EXPECT_EQ(aacPlusStreamDecode(h.h, pcm.data(), &out, nullptr, nullptr), 0x1106);
}

// A buffer one byte short is refused with the shortfall, and the frame is decoded on the
// next call with a large enough buffer: no frame is lost.
TEST(AacPlusInterface, TooSmallOutputLosesNoFrame) {
    for (const char* name : {"stereo_44k.adts", "stereo_44k_smc3.loas"})
        for (int format : {kAacPlusFormatInt16, kAacPlusFormatFloat, kAacPlusFormatInt24}) {
            const std::vector<uint8_t> data = fixture(name);
            const uint32_t frameBytes = 1024 * 2 * (format == 0 ? 2 : format == 1 ? 4 : 3);
            Handle h;
            ASSERT_EQ(aacPlusDecoderOpen(&h.h, format, 2), 0);
            size_t offset = 0;
            feed(h.h, data, offset, data.size());
            aacPlusInputDesc end{0, 0, 0};
            (void)aacPlusStreamFeed(h.h, nullptr, &end);
            std::vector<uint8_t> pcm(frameBytes);
            int frames = 0;
            for (int call = 0; call < 100; ++call) {
                aacPlusOutputDesc small{frameBytes - 1, 0, 0};
                const int refused = aacPlusStreamDecode(h.h, pcm.data(), &small, nullptr, nullptr);
                if (refused == 0x1106) break;
                ASSERT_EQ(refused, 0x1104) << format;
                EXPECT_EQ(small.needed, 1u);
                EXPECT_EQ(small.written, 0u);
                aacPlusOutputDesc out{frameBytes, 0, 0};
                ASSERT_EQ(aacPlusStreamDecode(h.h, pcm.data(), &out, nullptr, nullptr), 0) << format;
                EXPECT_EQ(out.written, frameBytes);
                ++frames;
            }
            EXPECT_EQ(frames, 14) << name << " " << format;
        }
}

// With float output and no downmix, a null buffer decodes without writing samples.
TEST(AacPlusInterface, NullPcmDecodesWithoutOutput) {
    const std::vector<uint8_t> data = fixture("stereo_44k.adts");
    Handle h;
    ASSERT_EQ(aacPlusDecoderOpen(&h.h, kAacPlusFormatFloat, 2), 0);
    size_t offset = 0;
    feed(h.h, data, offset);
    aacPlusOutputDesc out{0, 123, 456};
    EXPECT_EQ(aacPlusStreamDecode(h.h, nullptr, &out, nullptr, nullptr), 0);
    EXPECT_EQ(out.written, 0u);
    EXPECT_EQ(out.needed, 0u);
    EXPECT_EQ(aacPlusDecoderGetStreamInfo(h.h)->state, 1);
}

// Feeding byte by byte finds the same frames as feeding everything at once.
TEST(AacPlusInterface, TrickleFeedFindsEveryFrame) {
    const std::vector<uint8_t> data = fixture("stereo_44k_smc3.loas");
    for (size_t chunk : {size_t(1), size_t(7), size_t(4608)}) {
        Handle h;
        ASSERT_EQ(aacPlusDecoderOpen(&h.h, kAacPlusFormatFloat, 2), 0);
        const aactest::DecodeRun run = aactest::decodeAll(h.h, data, chunk);
        EXPECT_EQ(run.frames, 14) << chunk;
        EXPECT_EQ(run.lastStatus, 0x1106);
    }
}

// Sample conversion of each output format, at the rounding and saturation edges.
TEST(AacPlusPcm, ConversionTable) {
    struct Case {
        float in;
        int16_t s16;
        int32_t s24;
    } cases[] = {
        {0.0f, 0, 0},
        {0.49f, 0, 125},
        {0.5f, 1, 128},
        {-0.5f, -1, -128},
        {-0.49f, 0, -125},
        {1.5f, 2, 384},
        {-1.5f, -2, -384},
        {32766.5f, 32767, 8388224},
        {32767.25f, 32767, 8388416},
        {40000.0f, 32767, 0x7FFFFF},
        {-32768.0f, -32768, -8388608},
        {-32767.5f, -32768, -8388480},
        {-40000.0f, -32768, -8388608},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(aacplus::toInt16(c.in), c.s16) << c.in;
        EXPECT_EQ(aacplus::toInt24(c.in), c.s24) << c.in;
    }
    EXPECT_FLOAT_EQ(aacplus::toFloat(16384.0f), 0.5f);
    EXPECT_FLOAT_EQ(aacplus::toFloat(-32768.0f), -1.0f);
    EXPECT_EQ(aacplus::toInt16(NAN), 0);

    // Packed 24-bit: three bytes, least significant first.
    const float in[2] = {40000.0f, -1.0f};
    uint8_t out[6];
    aacplus::convertPcm(in, out, 2, kAacPlusFormatInt24);
    const uint8_t want[6] = {0xFF, 0xFF, 0x7F, 0x00, 0xFF, 0xFF};
    EXPECT_EQ(std::memcmp(out, want, 6), 0);

    // The whole-buffer 16-bit conversion (written to vectorise) agrees with the per-sample
    // one everywhere, including halves, the limits, infinities and NaN.
    std::vector<float> many;
    for (const Case& c : cases)
        many.push_back(c.in);
    for (float v = -33000.0f; v <= 33000.0f; v += 0.25f)
        many.push_back(v);
    for (float v : {INFINITY, -INFINITY, NAN, -0.0f, 1e30f, -1e30f})
        many.push_back(v);
    std::vector<int16_t> converted(many.size());
    aacplus::convertPcm(many.data(), converted.data(), many.size(), kAacPlusFormatInt16);
    for (size_t i = 0; i < many.size(); ++i)
        ASSERT_EQ(converted[i], aacplus::toInt16(many[i])) << many[i];
}
