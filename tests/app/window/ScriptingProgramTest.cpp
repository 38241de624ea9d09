// zymradio started by the desktop's URL handler while a first copy runs: the URL reaches
// the first copy over the session bus, which plays the station, and the second copy ends
// at once. Runs on the private session bus of with-keyring.sh (ZYM_REAL_KEYRING set).

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/RunLoop.h"
#include "support/Env.h"
#include "support/TestServer.h"

namespace {

TEST(ScriptingProgram, ASecondStartHandsItsURLToTheFirst) {
    if (!std::getenv("ZYM_REAL_KEYRING")) GTEST_SKIP() << "needs the session bus and keyring of with-keyring.sh";
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
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("ZYM_AUDIO_OUTPUT"), QStringLiteral("null"));
    QDir().mkpath(profile.filePath(QStringLiteral("XDG_CONFIG_HOME/zymradio")));
    QFile conf(profile.filePath(QStringLiteral("XDG_CONFIG_HOME/zymradio/zymradio.conf")));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write(QStringLiteral("[General]\nservice_url=%1\nscreenname=demo\nplay_at_launch=true\n"
                              "playing_station=radio:aggregate:1\nnetwork_bandwidth_user_prompted=true\n")
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

    // The first copy is signed on once its first station plays.
    const QString png = profile.filePath(QStringLiteral("window.png"));
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(QStringLiteral(ZYMRADIO), {QStringLiteral("--screenshot"), png});
    QByteArray out;
    const bool ready = platform::RunLoop::Current().RunUntil(
        [&] {
            first.waitForReadyRead(50);
            out += first.readAllStandardOutput();
            return out.contains("screenshot: ") || first.state() == QProcess::NotRunning;
        },
        zymtest::Scaled(std::chrono::seconds(60)));
    ASSERT_TRUE(ready && out.contains("screenshot: "))
        << out.toStdString() << first.readAllStandardError().toStdString();

    auto streamsOf = [&](const std::string& prog) {
        int n = 0;
        for (const auto& r : server.Requests("/demo/"))
            if (r.path.find("svcstream/" + prog) != std::string::npos) ++n;
        return n;
    };
    ASSERT_EQ(streamsOf("17,"), 0);
    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(ZYMRADIO), {QStringLiteral("zymradio:playstation?name=Station%2017")});
    ASSERT_TRUE(second.waitForFinished(int(zymtest::Scaled(std::chrono::seconds(30)).count())));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());

    EXPECT_TRUE(platform::RunLoop::Current().RunUntil([&] { return streamsOf("17,") > 0; },
                                                      zymtest::Scaled(std::chrono::seconds(30))));
    EXPECT_EQ(first.state(), QProcess::Running);
    first.terminate();
    EXPECT_TRUE(first.waitForFinished(int(zymtest::Scaled(std::chrono::seconds(30)).count())));
}

}  // namespace
