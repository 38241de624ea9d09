// zymradio started by the desktop's URL handler while a first copy runs: the URL reaches
// the first copy over the session bus, which plays the station, and the second copy ends
// at once. Runs on the private session bus of with-keyring.sh (ZYM_REAL_KEYRING set).

#include <gtest/gtest.h>

#include "DemoProfile.h"
#include "platform/RunLoop.h"
#include "support/Env.h"
#include "support/TestServer.h"

namespace {

TEST(ScriptingProgram, ASecondStartHandsItsURLToTheFirst) {
    if (!std::getenv("ZYM_REAL_KEYRING")) GTEST_SKIP() << "needs the session bus and keyring of with-keyring.sh";
    zymtest::TestServer& server = zymtest::TestServer::Get();
    DemoProfile profile;
    const std::string failed =
        profile.setUp(QStringLiteral("null"), QStringLiteral("play_at_launch=true\nplaying_station=radio:aggregate:1\n"
                                                             "network_bandwidth_user_prompted=true\n"));
    ASSERT_EQ(failed, "");
    const QProcessEnvironment& env = profile.env;

    // The first copy is signed on once its first station plays.
    const QString png = profile.dir.filePath(QStringLiteral("window.png"));
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
