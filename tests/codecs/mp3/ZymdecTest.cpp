// The zymdec command line: its output equals the library's decode, and its exit codes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Mp3TestUtil.h"
#include "support/Env.h"
#include "support/Pcm.h"

namespace {

std::string Zymdec() { return mp3test::BinaryDir() + "/tools/zymdec/zymdec"; }

bool HaveZymdec() {
    std::vector<uint8_t> probe;
    return zymtest::ReadFile(Zymdec(), probe);
}

TEST(Zymdec, WritesTheLibraryDecodeAsWavOrRaw) {
    if (!HaveZymdec()) GTEST_SKIP() << "zymdec not built in " << Zymdec();
    const std::string in = mp3test::FixturePath("l2_44k_stereo_192k.mp2");
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(zymtest::ReadFile(in, bytes));
    const mp3test::DecodeResult lib = mp3test::DecodeAll(bytes);

    const std::string wav = zymtest::TempPath(".wav");
    const std::string raw = zymtest::TempPath(".raw");
    const std::string info = zymtest::TempPath(".txt");
    EXPECT_EQ(zymtest::RunCommand(Zymdec() + " --codec mp3 '" + in + "' '" + wav + "' > '" + info + "'"), 0);
    EXPECT_EQ(zymtest::RunCommand(Zymdec() + " --codec mp3 --raw -v '" + in + "' '" + raw + "' 2>/dev/null >/dev/null"),
              0);
    zymtest::Pcm pcm;
    ASSERT_TRUE(zymtest::ReadWav(wav, pcm));
    EXPECT_EQ(pcm.channels, 2);
    EXPECT_EQ(pcm.sampleRate, 44100);
    EXPECT_EQ(pcm.samples, lib.pcm);
    std::vector<int16_t> rawSamples;
    ASSERT_TRUE(zymtest::ReadRaw16(raw, rawSamples));
    EXPECT_EQ(rawSamples, lib.pcm);
    std::vector<uint8_t> text;
    ASSERT_TRUE(zymtest::ReadFile(info, text));
    EXPECT_EQ(std::string(text.begin(), text.end()), "MPEG-1 Layer 2, 44100 Hz, 2 channels, 192 kbit/s\n");
    for (const std::string& p : {wav, raw, info})
        std::remove(p.c_str());
}

uint32_t Le32At(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// The header goes out before the samples: a regular OUT gets the real sizes patched in, a
// pipe keeps the streaming sizes; the samples are the same either way.
TEST(Zymdec, WavSizesArePatchedWhereOutCanSeek) {
    if (!HaveZymdec()) GTEST_SKIP() << "zymdec not built in " << Zymdec();
    const std::string in = mp3test::FixturePath("l2_44k_stereo_192k.mp2");
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(zymtest::ReadFile(in, bytes));
    const mp3test::DecodeResult lib = mp3test::DecodeAll(bytes);
    const uint32_t dataBytes = static_cast<uint32_t>(lib.pcm.size() * 2);

    const std::string wav = zymtest::TempPath(".wav");
    struct Case {
        const char* name;
        std::string command;
        uint32_t riffSize;
        uint32_t dataSize;
    } cases[] = {
        {"regular file", Zymdec() + " --codec mp3 '" + in + "' '" + wav + "' >/dev/null", 36 + dataBytes, dataBytes},
        {"pipe", Zymdec() + " --codec mp3 '" + in + "' /dev/fd/3 3>&1 >/dev/null 2>&1 | cat > '" + wav + "'",
         0xFFFFFFFF, 0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(wav.c_str());
        ASSERT_EQ(zymtest::RunCommand(c.command), 0);
        std::vector<uint8_t> out;
        ASSERT_TRUE(zymtest::ReadFile(wav, out));
        ASSERT_EQ(out.size(), 44u + dataBytes);
        EXPECT_EQ(Le32At(out, 4), c.riffSize);
        EXPECT_EQ(Le32At(out, 40), c.dataSize);
        zymtest::Pcm pcm;
        ASSERT_TRUE(zymtest::ReadWav(wav, pcm));
        EXPECT_EQ(pcm.samples, lib.pcm);
    }
    std::remove(wav.c_str());
}

TEST(Zymdec, ExitCodes) {
    if (!HaveZymdec()) GTEST_SKIP() << "zymdec not built in " << Zymdec();
    const std::string out = zymtest::TempPath(".wav");
    const std::string garbage = zymtest::TempPath(".bin");
    ASSERT_TRUE(zymtest::WriteFile(garbage, std::vector<uint8_t>(5000, 0x42)));
    struct Case {
        std::string args;
        int code;
    } cases[] = {
        {"", 2},
        {"--codec mp3 onlyone", 2},
        {"--bogus --codec mp3 a b", 2},
        {"--codec nosuch a b", 2},
        {"--codec mp3 /nonexistent/file '" + out + "'", 1},
        {"--codec mp3 '" + garbage + "' '" + out + "'", 1},
        {"--codec mp3 '" + mp3test::FixturePath("l2_44k_stereo_192k.mp2") + "' /dev/full", 1},
        {"--codec mp3 --raw '" + mp3test::FixturePath("l2_44k_stereo_192k.mp2") + "' /nonexistent/out.raw", 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(zymtest::RunCommand(Zymdec() + " " + c.args + " >/dev/null 2>&1"), c.code) << c.args;
    }
    std::remove(out.c_str());
    std::remove(garbage.c_str());
}

}  // namespace
