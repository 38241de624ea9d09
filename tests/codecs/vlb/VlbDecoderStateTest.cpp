// Each decoder keeps its own state: a new stream starts from the initial state whatever
// was decoded before, and decoders on different threads (the player keeps an ending
// stream decoding while the next one starts) share nothing. Run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "VlbStreamWriter.h"
#include "VlbTestSupport.h"
#include "codecs/vlb/VlbExtension.h"

using namespace vlbtest;

namespace {

// A stream whose extension payloads fill holes and synthesise bands from noise, so that
// its samples depend on the generators' state.
std::vector<uint8_t> ExtensionStream(bool pair) {
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < 10; ++i) {
        FrameSpec f;
        f.samplingIndex = 6;  // 24000 Hz
        f.pair = pair;
        for (IcsSpec& ics : f.ics) {
            ics.windowSequence = i == 4 ? 1 : i == 5 ? 2 : i == 6 ? 3 : 0;
            ics.maxSfb = ics.windowSequence == 2 ? 8 : 30;
            ics.grouping = 0x5B;
            ics.quantized = Tone(ics.windowSequence == 2, ics.windowSequence == 2 ? 20 : 150, 6);
        }
        f.withExtension = true;
        f.extension.doubleRate = 0;
        f.extension.rateFlag = 1;
        frames.push_back(MakeFrame(f));
    }
    return Join(frames);
}

std::vector<std::vector<float>> Decode(const std::vector<uint8_t>& bytes) { return DecodeAll(bytes).output.samples; }

class VlbDecoderState : public ::testing::Test {
protected:
    void SetUp() override { VlbExtensionInitialHysteresis() = VlbExtensionGlobals{}; }
};

TEST_F(VlbDecoderState, ANewDecoderStartsFromTheInitialState) {
    const auto stream = ExtensionStream(true);
    const auto first = Decode(stream);
    ASSERT_EQ(first.size(), 2u);
    ASSERT_GT(first[0].size(), 8000u);
    // Another stream in between, then the first one again: the same samples, bit for bit.
    Decode(ExtensionStream(false));
    EXPECT_EQ(Decode(stream), first);
}

TEST_F(VlbDecoderState, TwoDecodersOnTwoThreadsDecodeAsEachDoesAlone) {
    const std::vector<std::vector<uint8_t>> streams = {ExtensionStream(true), ExtensionStream(false),
                                                       ReadFile(FixturePath("stereo44k.aac"))};
    std::vector<std::vector<std::vector<float>>> alone;
    for (const auto& s : streams)
        alone.push_back(Decode(s));
    for (size_t a = 0; a < streams.size(); ++a) {
        for (size_t b = a; b < streams.size(); ++b) {
            std::vector<std::vector<float>> outA[3], outB[3];
            std::thread ta([&] {
                for (auto& out : outA)
                    out = Decode(streams[a]);
            });
            std::thread tb([&] {
                for (auto& out : outB)
                    out = Decode(streams[b]);
            });
            ta.join();
            tb.join();
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(outA[i], alone[a]) << "streams " << a << " and " << b << ", round " << i;
                EXPECT_EQ(outB[i], alone[b]) << "streams " << a << " and " << b << ", round " << i;
            }
        }
    }
}

}  // namespace
