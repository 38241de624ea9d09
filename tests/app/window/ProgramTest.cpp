// zymradio itself, as scripts/run starts it: a temporary profile, the demo account of the
// test server, its password in a keyring of its own session. Runs on the private session
// bus of with-keyring.sh (ZYM_REAL_KEYRING set), skipped elsewhere.

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstdlib>

#include "support/Env.h"
#include "support/Pcm.h"
#include "support/TestServer.h"

namespace {

TEST(Program, SignsOnAndPlaysTheLastStationAtLaunch) {
    if (!std::getenv("ZYM_REAL_KEYRING")) GTEST_SKIP() << "needs the keyring session of with-keyring.sh";
    zymtest::TestServer& server = zymtest::TestServer::Get();
    const QString source = QString::fromStdString(zymtest::SourceDir());
    QProcess demo;
    demo.start(QStringLiteral("python3"),
               {source + QStringLiteral("/tests/server/demo.py"), QString::number(server.Port())});
    ASSERT_TRUE(demo.waitForFinished(30000));
    const QString services = QString::fromUtf8(demo.readAllStandardOutput()).trimmed();
    ASSERT_TRUE(services.startsWith(QStringLiteral("http://127.0.0.1:"))) << services.toStdString();

    QTemporaryDir profile;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
        env.insert(QString::fromLatin1(name), profile.filePath(QString::fromLatin1(name)));
        QDir().mkpath(profile.filePath(QString::fromLatin1(name)));
    }
    const QString wav = profile.filePath(QStringLiteral("out.wav"));
    const QString png = profile.filePath(QStringLiteral("window.png"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("ZYM_AUDIO_OUTPUT"), QStringLiteral("wav:") + wav);
    QDir().mkpath(profile.filePath(QStringLiteral("XDG_CONFIG_HOME/zymradio")));
    QFile conf(profile.filePath(QStringLiteral("XDG_CONFIG_HOME/zymradio/zymradio.conf")));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    // Station 1 plays the MP3 chirp over plain HTTP.
    conf.write(QStringLiteral("[General]\nservice_url=%1\nscreenname=demo\nplay_at_launch=true\n"
                              "playing_station=radio:aggregate:1\nnetwork_bandwidth_user_prompted=true\nvolume=1\n")
                   .arg(services)
                   .toUtf8());
    conf.close();

    QProcess store;
    store.setProcessEnvironment(env);
    store.start(QStringLiteral(ZYMRADIO), {QStringLiteral("--store-password"), QStringLiteral("demo")});
    store.write("demo-password\n");
    store.closeWriteChannel();
    ASSERT_TRUE(store.waitForFinished(30000));
    ASSERT_EQ(store.exitCode(), 0) << store.readAllStandardError().toStdString();

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

    // The window: the display in its scheme's colour with the logo at its right, the
    // presets bar, the lists.
    QImage shot(png);
    ASSERT_FALSE(shot.isNull());
    const QColor display = shot.pixelColor(shot.width() / 3, 110);
    const QColor ground = shot.pixelColor(4, 150);
    EXPECT_NE(display, ground) << "display background";
    const QColor logo = shot.pixelColor(shot.width() - 50, 75);
    EXPECT_GT(logo.red(), 200) << "logo";
    EXPECT_LT(logo.blue(), 100) << "logo";
    int darkTextPixelsInPresets = 0;  // the first preset shows its number
    for (int x = 110; x < 220; ++x)
        for (int y = 160; y < 182; ++y)
            if (shot.pixelColor(x, y).lightness() < 100) ++darkTextPixelsInPresets;
    EXPECT_GT(darkTextPixelsInPresets, 3);
    const QColor list = shot.pixelColor(shot.width() / 2, shot.height() - 30);
    EXPECT_GT(list.lightness(), 200) << "station list background";

    // What was played is the chirp, at full volume.
    std::vector<int16_t> played;
    ASSERT_TRUE(zymtest::ReadFloatWavAs16(wav.toStdString(), played));
    played = zymtest::TrimSilence(zymtest::DropUnderrunGaps(played));
    zymtest::Pcm reference;
    if (!zymtest::DecodeWithMpg123(zymtest::DataPath("streams/chirp-64k.mp3"), reference))
        GTEST_SKIP() << "mpg123 is missing";
    ASSERT_GT(played.size(), 2u * 44100 / 2) << "at least half a second of sound";
    std::vector<int16_t> ref = reference.samples;
    if (reference.channels == 1) {
        ref.clear();
        for (int16_t s : reference.samples)
            ref.insert(ref.end(), {s, s});
    }
    ref = zymtest::TrimSilence(ref);
    const long offset = zymtest::FindOffset(played, ref, 2, 4096, 8192);
    const auto diff = zymtest::Compare(played, ref, 2, offset);
    EXPECT_GT(diff.compared, 44100u);
    EXPECT_LE(diff.rms, 2.0);
}

}  // namespace
