// zymradio-cli run as a process against the test server: a real sign-on, the directory,
// a station's URLs and the stream it leads to, played into a WAV file and compared with
// the station's file decoded by an independent decoder.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <fstream>
#include <sstream>
#include <string>

#include <signal.h>

#include "support/Env.h"
#include "support/Pcm.h"
#include "support/TestServer.h"

namespace {

constexpr const char* kUser = "Cleo Cli";
constexpr const char* kPassword = "pw-cli-secret-4711";

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class ZymradioCli : public ::testing::Test {
protected:
    void SetUp() override {
        server_ = &zymtest::TestServer::Get();
        prefix_ = server_->NewPrefix();
        server_->ScriptSignOn(prefix_, kUser, kPassword);
        server_->ScriptDirectory(prefix_, {{"play_modes", QJsonArray{"full"}}});
    }

    // Runs the tool; its output and the WAV it played are kept in the test's folder.
    int Run(const std::string& arguments, const char* password = kPassword) {
        const std::string dir = folder_.path().toStdString();
        const std::string line = "cd '" + dir + "' && XDG_STATE_HOME='" + dir +
                                 "/state' ZYM_AUDIO_OUTPUT='wav:" + Wav() + "' ZYM_USER='" + kUser +
                                 "' ZYM_PASSWORD='" + password + "' timeout " +
                                 std::to_string(int(zymtest::Scaled(120.0))) + " '" ZYMRADIO_CLI "' --services '" +
                                 server_->Url(prefix_) + "' " + arguments + " >'" + dir + "/out.txt' 2>&1";
        return zymtest::RunCommand(line);
    }
    std::string Wav() const { return folder_.filePath("out.wav").toStdString(); }
    std::string Output() const { return Slurp(folder_.filePath("out.txt").toStdString()); }
    std::string Log() const { return Slurp(folder_.filePath("state/zymradio/zymradio.log").toStdString()); }

    void ExpectPlayed(const std::string& source) {
        std::vector<int16_t> written;
        ASSERT_TRUE(zymtest::ReadFloatWavAs16(Wav(), written));
        zymtest::Pcm reference;
        const bool mp3 = source.size() > 4 && source.substr(source.size() - 4) == ".mp3";
        ASSERT_TRUE(mp3 ? zymtest::DecodeWithMpg123(source, reference) : zymtest::DecodeWithFfmpeg(source, reference))
            << "the reference decoder is needed";
        ASSERT_EQ(reference.channels, 2);
        const auto ours = zymtest::TrimSilence(zymtest::DropUnderrunGaps(written));
        const auto ref = zymtest::TrimSilence(reference.samples);
        ASSERT_GT(ours.size(), ref.size() * 9 / 10);
        const long offset = zymtest::FindOffset(ours, ref, 2, 4096, 20000);
        const zymtest::PcmDiff diff = zymtest::Compare(ours, ref, 2, offset);
        EXPECT_LE(diff.rms, 1.0);
        EXPECT_LE(diff.maxAbs, 3);
        EXPECT_GT(diff.compared, ref.size() * 9 / 10);
    }

    zymtest::TestServer* server_ = nullptr;
    std::string prefix_;
    QTemporaryDir folder_;
};

TEST_F(ZymradioCli, PlaysAStationAfterSignOnAndTheDirectoryLoad) {
    struct Case {
        const char* arguments;
        const char* prog;
        const char* source;
    } cases[] = {
        {"play radio:aggregate:12345", "12345,1", "streams/chirp-64k.mp3"},  // MP3 over http
        {"play radio:aggregate:99", "99,1", "vlb/stereo44k.aac"},            // Quintrel, VLB audio
        {"play --preset 1", "12345,1", "streams/chirp-64k.mp3"},             // the server's slot 1
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        ASSERT_EQ(Run(c.arguments), 0) << Output();
        const std::string out = Output();
        EXPECT_NE(out.find("authenticationDone YES\n"), std::string::npos) << out;
        EXPECT_NE(out.find("radioServiceInformationDidLoad\n"), std::string::npos) << out;
        EXPECT_NE(out.find(std::string("radioServiceStationURLDidLoad ") + c.prog + " http://"), std::string::npos)
            << out;
        EXPECT_NE(out.find("playingStarted "), std::string::npos) << out;
        EXPECT_NE(out.find("playingStopped "), std::string::npos) << out;
        ExpectPlayed(zymtest::DataPath(c.source));
    }
    EXPECT_EQ(Log().find(kPassword), std::string::npos);
}

TEST_F(ZymradioCli, AWrongPasswordFailsWithTheReasonAndNeverShowsAPassword) {
    EXPECT_EQ(Run("play radio:aggregate:12345", "pw-wrong-0815"), 1);
    const std::string out = Output();
    EXPECT_NE(out.find("The screen name or password is not correct."), std::string::npos) << out;
    EXPECT_EQ(out.find("radioServiceStationURLWillLoad"), std::string::npos) << out;
    ASSERT_NE(Log().find("Logging started"), std::string::npos);
    for (const char* secret : {kPassword, "pw-wrong-0815"}) {
        EXPECT_EQ(out.find(secret), std::string::npos) << secret;
        EXPECT_EQ(Log().find(secret), std::string::npos) << secret;
    }
}

TEST_F(ZymradioCli, WrongUseExitsWithTwo) {
    for (const char* arguments : {"", "play", "play --preset", "dance", "genres extra"}) {
        SCOPED_TRACE(arguments);
        EXPECT_EQ(Run(arguments), 2) << Output();
    }
}

}  // namespace

namespace {

// A sign-on that never gets its answer, interrupted: the command was not done, and the
// exit code says so (130 for Ctrl-C, as a shell reports it).
TEST_F(ZymradioCli, AnInterruptedSignOnExitsWith130) {
    const std::string held = server_->NewPrefix();
    server_->Script(QJsonObject{{"path", QString::fromStdString(held)},
                                {"kind", "signon"},
                                {"users", QJsonArray{QJsonObject{{"name", kUser}, {"password", kPassword}}}},
                                {"hold", QJsonArray{"SASLRequest"}}});
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_STATE_HOME", folder_.filePath("state"));
    env.insert("ZYM_USER", kUser);
    env.insert("ZYM_PASSWORD", kPassword);
    cli.setProcessEnvironment(env);
    cli.start(ZYMRADIO_CLI, {"--services", QString::fromStdString(server_->Url(held)), "genres"});
    ASSERT_TRUE(cli.waitForStarted());
    const auto deadline = std::chrono::steady_clock::now() + zymtest::Scaled(std::chrono::seconds(30));
    while (server_->Requests(held).empty() && std::chrono::steady_clock::now() < deadline)
        cli.waitForFinished(50);  // waits for the sign-on request to arrive
    ASSERT_FALSE(server_->Requests(held).empty()) << cli.readAll().toStdString();
    ASSERT_EQ(cli.state(), QProcess::Running);
    ::kill(pid_t(cli.processId()), SIGINT);
    ASSERT_TRUE(cli.waitForFinished(int(zymtest::Scaled(std::chrono::milliseconds(20000)).count())));
    EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(cli.exitCode(), 130) << cli.readAll().toStdString();
}

// A sign-on service that answers with something that is not a SOAP answer: the run fails
// saying the sign-on failed for an unknown reason, never that the credentials were refused.
TEST_F(ZymradioCli, AMalformedSignOnAnswerIsNotCalledARefusal) {
    const std::string broken = server_->NewPrefix();
    server_->Script(QJsonObject{{"path", QString::fromStdString(broken)},
                                {"status", 200},
                                {"headers", QJsonArray{QJsonArray{"Content-Type", "text/xml"}}},
                                {"body", "<html><body>Service unavailable</body></html>"}});
    const std::string saved = prefix_;
    prefix_ = broken;
    EXPECT_EQ(Run("genres"), 1) << Output();
    prefix_ = saved;
    const std::string out = Output();
    EXPECT_EQ(out.find("credentials were not accepted"), std::string::npos) << out;
    EXPECT_EQ(out.find("The screen name or password is not correct."), std::string::npos) << out;
    EXPECT_NE(out.find("Signing on failed for an unknown reason."), std::string::npos) << out;
}

}  // namespace
