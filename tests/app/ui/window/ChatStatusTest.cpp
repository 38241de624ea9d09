// The chat clients' status: who is told what, when, and that the text of a song cannot
// break out of the script that carries it.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <map>

#include "SilentEngine.h"
#include "app/foundation/NotificationCenter.h"
#include "app/foundation/UserDefaults.h"
#include "app/ui/ChatStatus.h"
#include "app/radio/RadioMetadataParser.h"
#include "app/ui/RadioWindowController.h"

namespace {

using namespace std::chrono_literals;

// The chat clients as scripts reach them: the status a get script answers, and the
// message a set script carries, read back from its string literal as the client would.
class FakeClients : public ScriptRunner {
public:
    struct Client {
        bool running = true;
        QString version = QStringLiteral("1.0");
        QString status = QStringLiteral("aval");
        QStringList messages;
    };
    std::map<QString, Client> clients{{QStringLiteral("iChat"), {}}, {QStringLiteral("Adium"), {}}};  // by name
    std::map<QString, QString> bundles{{ChatStatus::kIChat, QStringLiteral("iChat")},
                                       {ChatStatus::kAdium, QStringLiteral("Adium")}};

    bool isAppRunning(const QString& bundle) const override {
        const auto it = clients.find(bundles.at(bundle));
        return it != clients.end() && it->second.running;
    }
    std::optional<QString> bundleVersion(const QString& bundle) const override {
        return clients.at(bundles.at(bundle)).version;
    }
    std::optional<QString> run(const QString& source) override {
        const QString app = source.section(QLatin1Char('"'), 1, 1);
        Client& client = clients.at(app);
        const QString command = source.section(QLatin1Char('\n'), 2, -3);
        if (command.startsWith(QStringLiteral("get "))) return client.status;
        const auto literal = StringLiteral(command.mid(command.indexOf(QStringLiteral(" to ")) + 4));
        if (!literal) return std::nullopt;  // a broken script runs nothing
        client.messages << *literal;
        return QString();
    }

    // An AppleScript string literal that must be the whole rest of the line.
    static std::optional<QString> StringLiteral(const QString& text) {
        if (!text.startsWith(QLatin1Char('"'))) return std::nullopt;
        QString out;
        for (qsizetype i = 1; i < text.size(); ++i) {
            if (text[i] == QLatin1Char('\\') && i + 1 < text.size()) {
                out += text[++i];
            } else if (text[i] == QLatin1Char('"')) {
                if (i + 1 != text.size()) return std::nullopt;
                return out;
            } else {
                out += text[i];
            }
        }
        return std::nullopt;
    }
};

class ChatStatusTest : public ::testing::Test {
protected:
    FakeClients clients;
    FakeClock clock;
    FakeScheduler scheduler{&clock};
    ChatStatus status{clients, clock, scheduler};
};

TEST_F(ChatStatusTest, AdiumIsToldOnlyAfterVersion083) {
    struct Case {
        const char* version;
        bool told;
    };
    for (const Case& c : {Case{"0.83", false}, Case{"0.84", true}, Case{"1.0", true}, Case{"0.9b2", true},
                          Case{"", false}, Case{"beta", false}}) {
        FakeClients runner;
        runner.clients.erase(QStringLiteral("iChat"));
        runner.clients[QStringLiteral("Adium")].version = QString::fromLatin1(c.version);
        ChatStatus adium(runner, clock, scheduler);
        adium.setIMStatusMessage(QStringLiteral("Song"));
        EXPECT_EQ(runner.clients[QStringLiteral("Adium")].messages.size(), c.told ? 1 : 0) << c.version;
    }
}

TEST_F(ChatStatusTest, AnAwayStatusIsKeptAndTheSameMessageIsNotSentTwice) {
    clients.clients[QStringLiteral("iChat")].status = QStringLiteral("away");
    clients.clients[QStringLiteral("Adium")].status = QStringLiteral("AVAL");  // compared without case
    status.setIMStatusMessage(QStringLiteral("One"));
    status.setIMStatusMessage(QStringLiteral("One"));
    EXPECT_TRUE(clients.clients[QStringLiteral("iChat")].messages.isEmpty());
    EXPECT_EQ(clients.clients[QStringLiteral("Adium")].messages, QStringList{QStringLiteral("One")});
}

TEST_F(ChatStatusTest, ABurstReachesAdiumFirstAndLastFourSecondsApart) {
    status.setIMStatusMessage(QStringLiteral("First"));
    scheduler.advance(1s);
    status.setIMStatusMessage(QStringLiteral("Second"));
    scheduler.advance(1s);
    status.setIMStatusMessage(QStringLiteral("Third"));
    const QStringList all{QStringLiteral("First"), QStringLiteral("Second"), QStringLiteral("Third")};
    EXPECT_EQ(clients.clients[QStringLiteral("iChat")].messages, all);
    EXPECT_EQ(clients.clients[QStringLiteral("Adium")].messages, QStringList{QStringLiteral("First")});
    scheduler.advance(1999ms);
    EXPECT_EQ(clients.clients[QStringLiteral("Adium")].messages.size(), 1);
    scheduler.advance(1ms);
    EXPECT_EQ(clients.clients[QStringLiteral("Adium")].messages,
              (QStringList{QStringLiteral("First"), QStringLiteral("Third")}));
    // Long after, a message goes at once again.
    scheduler.advance(10s);
    status.setIMStatusMessage(QStringLiteral("Fourth"));
    EXPECT_EQ(clients.clients[QStringLiteral("Adium")].messages.last(), QStringLiteral("Fourth"));
}

TEST_F(ChatStatusTest, QuotesAndBackslashesReachTheClientUnchanged) {
    for (const QString& message : {QStringLiteral("Say \"Hi\" \\ bye"), QStringLiteral("\\"),
                                   QStringLiteral("\" & (do shell script \"rm x\") & \""), QStringLiteral("end\\\"")}) {
        status.setIMStatusMessage(message);
        EXPECT_EQ(clients.clients[QStringLiteral("iChat")].messages.last(), message);
        EXPECT_EQ(FakeClients::StringLiteral(ChatStatus::scriptString(message)), message);
    }
}

// The window: what it reports as the track and the play change.
class WindowChatStatus : public ::testing::Test {
protected:
    void SetUp() override {
        defaults.setBool(QStringLiteral("set_ichat_status"), true);
        env.defaults = &defaults;
        env.clock = &clock;
        env.scheduler = &scheduler;
        env.playerEngines = SilentEngine::factory(&played);
        env.reachable = [](const QString&) { return false; };
        window = std::make_unique<RadioWindowController>(env);
        window->setChatScriptRunner(clients);
    }
    void Track(const char* xml) {
        window->playSession().receivedMetaData(xml, clock.now(), window->playingStationURL());
        scheduler.advance(0ms);
    }
    QStringList& Sent() { return clients.clients[QStringLiteral("iChat")].messages; }

    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath(QStringLiteral("defaults.conf"))};
    FakeClock clock;
    FakeScheduler scheduler{&clock};
    std::vector<std::string> played;
    FakeClients clients;
    WindowEnvironment env;
    std::unique_ptr<RadioWindowController> window;
};

TEST_F(WindowChatStatus, SongsAdsAndTheEndOfPlaying) {
    window->playStationWithURL(QStringLiteral("http://127.0.0.1:9/live"));
    ASSERT_EQ(Sent().size(), 1);
    EXPECT_TRUE(Sent().last().contains(QStringLiteral("http://127.0.0.1:9/live"))) << Sent().last().toStdString();
    Track("<metadata><song><name>Tune</name><artist>Band</artist></song></metadata>");
    ASSERT_EQ(Sent().size(), 2);
    EXPECT_TRUE(Sent().last().contains(QStringLiteral("Band")) && Sent().last().contains(QStringLiteral("Tune")));
    // The same song again sends nothing; an audio ad leaves the song shown.
    Track("<metadata><song><name>Tune</name><artist>Band</artist></song></metadata>");
    Track("<metadata><audio_ad/></metadata>");
    EXPECT_EQ(Sent().size(), 2);
    // A song without its artist shows the station.
    Track("<metadata><song><name>Nameless</name></song></metadata>");
    ASSERT_EQ(Sent().size(), 3);
    EXPECT_EQ(Sent().last(), Sent().first());
    window->stopPlaying();
    window->stopPlaying();
    EXPECT_EQ(Sent().size(), 4);
    EXPECT_EQ(Sent().last(), QString());
}

TEST_F(WindowChatStatus, SwitchingThePreferenceOffClearsOnceAndSendsNoMore) {
    window->playStationWithURL(QStringLiteral("http://127.0.0.1:9/live"));
    defaults.setBool(QStringLiteral("set_ichat_status"), false);
    window->checkDefaultsForChange(QStringList{QStringLiteral("set_ichat_status")});
    window->checkDefaultsForChange(QStringList{QStringLiteral("set_ichat_status")});
    Track("<metadata><song><name>Tune</name><artist>Band</artist></song></metadata>");
    window->stopPlaying();
    ASSERT_EQ(Sent().size(), 2);
    EXPECT_EQ(Sent().last(), QString());
    defaults.setBool(QStringLiteral("set_ichat_status"), true);
    window->playStationWithURL(QStringLiteral("http://127.0.0.1:9/other"));
    window->checkDefaultsForChange(QStringList{QStringLiteral("set_ichat_status")});
    EXPECT_EQ(Sent().size(), 3);
}

}  // namespace

namespace {

// Album art arriving for the track being played brings the status up to date; art of a
// document still waiting for its start, or of one already gone, does not.
TEST_F(WindowChatStatus, TheCurrentTracksAlbumArtRefreshesTheStatus) {
    int refreshes = 0;
    window->setAlbumArtFolder(dir.filePath(QStringLiteral("albumArt")));
    window->setChatStatusRefresher([&] { ++refreshes; });
    window->playStationWithURL(QStringLiteral("http://127.0.0.1:9/live"));
    Track("<metadata><song><name>Tune</name><artist>Band</artist></song></metadata>");
    const RadioMetadataParser* current = window->currentTrackMetadata();
    ASSERT_TRUE(current);
    window->playSession().receivedMetaData("<metadata><song><name>Next</name><artist>Band</artist></song></metadata>",
                                           clock.now().addSecs(60), window->playingStationURL());
    const RadioMetadataParser* next = window->nextTrackMetadata();
    ASSERT_TRUE(next);
    struct Row {
        const void* art;
        int refreshes;
        const char* what;
    };
    for (const Row& row : {Row{next, 0, "the next track's"}, Row{current, 1, "the current track's"},
                           Row{&refreshes, 0, "an unknown document's"}}) {
        refreshes = 0;
        NotificationCenter::defaultCenter().post(RadioMetadataParser::kAlbumArtNotificationName, row.art);
        EXPECT_EQ(refreshes, row.refreshes) << row.what;
    }
}

}  // namespace
