// zymradio-cli plays through the window's play session: on the three-format station of the
// test server it tries the same URLs in the same order as the session in this process,
// format by format, each format's URLs in turn, and says whether one played.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "SessionFixture.h"
#include "support/Pcm.h"

namespace {

using namespace sessiontest;

const QString kThreeFormats = QStringLiteral("radio:aggregate:100");

struct Row {
    const char* name;
    bool failing[3];  // the formats, in the order of the ranking, whose streams fail
    int cliExit;
};

class CliFallBack : public PlaySessionTest, public ::testing::WithParamInterface<Row> {
protected:
    // The tool's exit code; its output is kept for the messages.
    int RunCli() {
        const std::string dir = cliDir_.path().toStdString();
        const std::string line = "cd '" + dir + "' && XDG_STATE_HOME='" + dir +
                                 "/state' ZYM_AUDIO_OUTPUT=null ZYM_USER='" + kUser + "' ZYM_PASSWORD='" + kPassword +
                                 "' timeout " + std::to_string(int(zymtest::Scaled(120.0))) +
                                 " '" ZYMRADIO_CLI "' --services '" + server_->Url(prefix_) + "' play " +
                                 kThreeFormats.toStdString() + " >'" + dir + "/out.txt' 2>&1";
        return zymtest::RunCommand(line);
    }
    std::string CliOutput() const {
        std::ifstream in(cliDir_.filePath("out.txt").toStdString());
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    QTemporaryDir cliDir_;
};

TEST_P(CliFallBack, TheToolTriesTheSessionsURLsInTheSameOrder) {
    const Row& row = GetParam();
    {
        SignOnAndLoad();
        std::vector<std::string> progs;
        for (const auto& f : radio_->stationFormats(kThreeFormats, kBandwidth))
            progs.push_back(f->progID().toStdString());
        ASSERT_EQ(progs.size(), 3u) << "three usable formats";
        for (int k = 0; k < 3; ++k)
            if (row.failing[k]) StreamFails(progs[k], QJsonObject{{"status", 404}});

        // The window's road, in this process.
        Play(kThreeFormats);
        if (row.cliExit == 0)
            ASSERT_TRUE(RunUntil([&] { return session_->streamPlaying(); }, 60)) << Log();
        else
            ASSERT_TRUE(RunUntil([&] { return !session_->isPlaying(); }, 60)) << Log();
        session_->stop();
        const std::vector<std::string> sessionRoad = StreamTargets();

        // Format by format in the ranking's order, each format's two URLs in turn.
        std::vector<std::string> expected;
        for (int k = 0; k < 3; ++k) {
            for (int n = 1; n <= 2; ++n) {
                expected.push_back(progs[k] + " n=" + std::to_string(n));
                if (!row.failing[k]) break;
            }
            if (!row.failing[k]) break;
        }
        EXPECT_EQ(sessionRoad, expected);

        // The tool's road: the same requests again, in the same order.
        EXPECT_EQ(RunCli(), row.cliExit) << CliOutput();
        const std::vector<std::string> all = StreamTargets();
        ASSERT_GE(all.size(), sessionRoad.size());
        EXPECT_EQ(std::vector<std::string>(all.begin() + std::ptrdiff_t(sessionRoad.size()), all.end()), sessionRoad)
            << CliOutput();
        const std::string out = CliOutput();
        EXPECT_EQ(out.find("playingStarted ") != std::string::npos, row.cliExit == 0) << out;
        EXPECT_EQ(out.find("error: no format or URL of Station 100 played") != std::string::npos, row.cliExit != 0)
            << out;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, CliFallBack,
                         ::testing::Values(Row{"EveryURLFails", {true, true, true}, 1},
                                           Row{"TheFifthURLPlays", {true, true, false}, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
