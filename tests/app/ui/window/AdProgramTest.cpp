// zymradio itself and its ad panel's web engine: none while no ad network is set, the web
// view once an ad is to show. Runs on the private session bus of with-keyring.sh
// (ZYM_REAL_KEYRING set), skipped elsewhere.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/Env.h"
#include "support/TestServer.h"
#include "DemoProfile.h"

namespace {

struct Process {
    int pid;
    int parent;
    std::string name;
};

std::vector<Process> AllProcesses() {
    std::vector<Process> all;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const int pid = entry.toInt(&number);
        if (!number) continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        // pid (name) state ppid ...; the name may hold blanks and parentheses.
        const QByteArray text = stat.readAll();
        const qsizetype open = text.indexOf('('), close = text.lastIndexOf(')');
        if (open < 0 || close < open) continue;
        const QList<QByteArray> rest = text.mid(close + 2).split(' ');
        if (rest.size() < 2) continue;
        all.push_back({pid, rest[1].toInt(), text.mid(open + 1, close - open - 1).toStdString()});
    }
    return all;
}

// The names of every process under `root`.
std::vector<std::string> Descendants(int root) {
    const std::vector<Process> all = AllProcesses();
    std::vector<int> tree{root};
    std::vector<std::string> names;
    for (std::size_t i = 0; i < tree.size(); ++i)
        for (const Process& p : all)
            if (p.parent == tree[i]) {
                tree.push_back(p.pid);
                names.push_back(p.name);
            }
    return names;
}

bool HasWebEngineProcess(int root) {
    for (const std::string& name : Descendants(root))
        if (name.find("QtWebEngine") != std::string::npos) return true;
    return false;
}

bool MapsWebEngine(int pid) {
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngineCore");
}

// zymradio playing station 1 (whose directory entry offers a banner) with `settings`,
// until it printed its screenshot line.
class AdProgram : public ::testing::Test {
protected:
    void Start(const QString& settings) {
        if (!std::getenv("ZYM_REAL_KEYRING")) GTEST_SKIP() << "needs the keyring session of with-keyring.sh";
        const std::string failed =
            profile_.setUp(QStringLiteral("null"),
                           QStringLiteral("play_at_launch=true\nplaying_station=radio:aggregate:1\n"
                                          "network_bandwidth_user_prompted=true\nnetwork_bandwidth_limit=128000\n") +
                               settings);
        ASSERT_EQ(failed, "");
        program_.setProcessEnvironment(profile_.env);
        program_.start(QStringLiteral(ZYMRADIO),
                       {QStringLiteral("--screenshot"), profile_.dir.filePath(QStringLiteral("window.png")),
                        QStringLiteral("--quit-after"), QStringLiteral("30")});
        ASSERT_TRUE(program_.waitForStarted());
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                out_ += QString::fromUtf8(program_.readAllStandardOutput());
                return out_.contains(QStringLiteral("screenshot: ")) || program_.state() != QProcess::Running;
            },
            int(zymtest::Scaled(std::chrono::seconds(60)).count())));
        ASSERT_TRUE(out_.contains(QStringLiteral("playing: "))) << out_.toStdString();
    }
    void TearDown() override {
        if (program_.state() == QProcess::Running) {
            program_.terminate();
            if (!program_.waitForFinished(int(zymtest::Scaled(std::chrono::seconds(30)).count()))) program_.kill();
        }
    }
    DemoProfile profile_;
    QProcess program_;
    QString out_;
};

TEST_F(AdProgram, WithoutAnAdHostNoWebEngineRuns) {
    Start(QString());
    if (IsSkipped() || HasFatalFailure()) return;
    const int pid = int(program_.processId());
    EXPECT_FALSE(HasWebEngineProcess(pid));
    EXPECT_FALSE(MapsWebEngine(pid)) << "the engine's library is not even loaded";
}

TEST_F(AdProgram, AnAdHostShowsTheAdInTheWebView) {
    zymtest::TestServer& server = zymtest::TestServer::Get();
    const std::string prefix = server.NewPrefix();
    std::string host = server.Url(prefix).substr(7);
    host.pop_back();
    // Whichever kind of ad the station's banner makes, its page asks this host.
    Start(QStringLiteral("ad_script_host=http://%1\nad_image_host=%1\nad_redirect_host=%1\n")
              .arg(QString::fromStdString(host)));
    if (IsSkipped() || HasFatalFailure()) return;
    const int pid = int(program_.processId());
    // The engine's helper processes start only now, slowly on a machine busy with other tests.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server.Requests(prefix).empty(); },
                                int(zymtest::Scaled(std::chrono::seconds(150)).count())))
        << QString::fromUtf8(program_.readAllStandardError()).toStdString();
    EXPECT_TRUE(MapsWebEngine(pid));
    EXPECT_TRUE(HasWebEngineProcess(pid));
}

}  // namespace
