// zymradio itself, as scripts/run starts it: a temporary profile, the demo account of the
// test server, its password in a keyring of its own session. Runs on the private session
// bus of with-keyring.sh (ZYM_REAL_KEYRING set), skipped elsewhere.

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstdlib>

#include <unistd.h>

#include "support/Env.h"
#include "support/Pcm.h"
#include "support/TestServer.h"
#include "DemoProfile.h"
#include "WindowFixture.h"

namespace {

TEST(Program, SignsOnAndPlaysTheLastStationAtLaunch) {
    if (!std::getenv("ZYM_REAL_KEYRING")) GTEST_SKIP() << "needs the keyring session of with-keyring.sh";
    DemoProfile profile;
    const QString wav = profile.dir.filePath(QStringLiteral("out.wav"));
    const QString png = profile.dir.filePath(QStringLiteral("window.png"));
    // Station 1 plays the MP3 chirp over plain HTTP.
    const std::string failed = profile.setUp(QStringLiteral("wav:") + wav,
                                             QStringLiteral("play_at_launch=true\nplaying_station=radio:aggregate:1\n"
                                                            "network_bandwidth_user_prompted=true\nvolume=1\n"));
    ASSERT_EQ(failed, "");
    const QProcessEnvironment& env = profile.env;

    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(ZYMRADIO),
                  {QStringLiteral("--screenshot"), png, QStringLiteral("--quit-after"), QStringLiteral("2")});
    ASSERT_TRUE(program.waitForFinished(int(zymtest::Scaled(std::chrono::seconds(60)).count())));
    const QString out = QString::fromUtf8(program.readAllStandardOutput());
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("screenshot: ") + png)) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("playing: ")) && out.contains(QStringLiteral("Station 1")))
        << out.toStdString();

    // The window: the display in its scheme's colour with the logo at its right end, the
    // presets bar, the lists (the ad panel stands beside them).
    QImage shot(png);
    ASSERT_FALSE(shot.isNull());
    const QColor display = shot.pixelColor(shot.width() / 3, 110);
    const QColor ground = shot.pixelColor(4, 150);
    EXPECT_NE(display, ground) << "display background";
    // The logo's place follows the window's width, which the screen may have narrowed.
    int logoX = -1;
    for (int x = shot.width() / 3; x < shot.width() && logoX < 0; ++x)
        if (const QColor c = shot.pixelColor(x, 108); c.red() > 200 && c.blue() < 100) logoX = x;
    EXPECT_GE(logoX, 0) << "logo";
    int darkTextPixelsInPresets = 0;  // the first preset shows its number
    for (int x = 110; x < 220; ++x)
        for (int y = 160; y < 182; ++y)
            if (shot.pixelColor(x, y).lightness() < 100) ++darkTextPixelsInPresets;
    EXPECT_GT(darkTextPixelsInPresets, 3);
    const QColor list = shot.pixelColor(400, shot.height() - 30);
    EXPECT_GT(list.lightness(), 200) << "station list background";

    // What was played is the chirp, fading in from silence as a launch play does.
    if (!zymtest::HaveProgram("mpg123")) GTEST_SKIP() << "mpg123 is missing";
    const auto both = windowtest::ReadPlayedAndReference(wav.toStdString(), zymtest::DataPath("streams/chirp-64k.mp3"));
    ASSERT_TRUE(both);
    const std::vector<int16_t>& played = both->played;
    const std::vector<int16_t>& ref = both->reference;
    ASSERT_GT(played.size(), 2u * 44100 / 2) << "at least half a second of sound";
    // Aligned by the loudest stretch, the last of what played (the quiet start of the fade
    // is trimmed with the silence before it), as the reference stretch most like it in
    // shape: a least difference would prefer a quiet stretch to a scaled copy.
    constexpr long kTail = 2048;
    const long tailStart = long(played.size() / 2) - kTail;
    ASSERT_GT(tailStart, 0);
    long offset = 0;
    double best = -1;
    for (long at = 0; at + kTail <= long(ref.size() / 2); ++at) {
        double pr = 0, rr = 0;
        for (long i = 0; i < 2 * kTail; ++i) {
            const double r = ref[std::size_t(2 * at + i)];
            pr += double(played[std::size_t(2 * tailStart + i)]) * r;
            rr += r * r;
        }
        const double likeness = rr > 0 ? pr / std::sqrt(rr) : 0;
        if (likeness > best) {
            best = likeness;
            offset = at - tailStart;
        }
    }
    // Block by block (0.1 s, one step of the fade), the played sound is the reference
    // times a gain that rises and stays at most 1.
    const long kBlock = std::max(1, both->sampleRate / 10);
    std::vector<double> gains;
    for (long f = std::max(0L, -offset);
         f + kBlock <= long(played.size() / 2) && f + offset + kBlock <= long(ref.size() / 2); f += kBlock) {
        double pr = 0, rr = 0, pp = 0;
        for (long i = 2 * f; i < 2 * (f + kBlock); ++i) {
            const double p = played[std::size_t(i)], r = ref[std::size_t(i + 2 * offset)];
            pr += p * r;
            rr += r * r;
            pp += p * p;
        }
        if (rr < 1e6) continue;  // a quiet stretch of the chirp
        const double gain = pr / rr;
        // What the gain does not explain: about all of it for a stray signal or one from
        // elsewhere in the chirp; for the chirp, only the fade's step inside the block.
        const double residual = std::sqrt(std::max(0.0, pp - gain * pr) / double(2 * kBlock));
        EXPECT_LE(residual, 0.5 * std::sqrt(pp / double(2 * kBlock)) + 4.0) << "block at frame " << f;
        gains.push_back(gain);
    }
    ASSERT_GE(gains.size(), 5u);
    for (std::size_t i = 1; i < gains.size(); ++i)
        EXPECT_GE(gains[i], gains[i - 1] - 0.01) << i;
    EXPECT_LT(gains.front(), gains.back());
    EXPECT_LE(gains.back(), 1.01);
}

}  // namespace
