// Statistics set-up and upload end to end: the controller over a temporary folder, the
// real HTTP transfers over loopback to the test server's statistics endpoint.

#include "StatisticsTestSupport.h"

#include "app/foundation/UserDefaults.h"
#include "app/support/PhoneHomeController.h"
#include "app/support/PhoneHomeKeys.h"
#include "app/support/PhoneHomeStatisticsRecorder.h"
#include "app/support/PhoneHomeUploader.h"
#include "platform/RunLoop.h"
#include "support/Env.h"
#include "support/TestServer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <optional>
#include <vector>

using namespace stats_test;
using platform::RunLoop;
using zymtest::TestServer;

namespace {

constexpr char kChildFolder[] = "ZYM_STATS_CHILD_FOLDER";

bool RunUntil(const std::function<bool()>& done) {
    return RunLoop::Current().RunUntil(done, zymtest::Scaled(std::chrono::seconds(20)));
}

// What the server read of one upload.
struct Upload {
    QJsonObject request;
    QJsonObject statistics() const { return request["statistics"].toObject(); }
    int sequence() const { return statistics()["sequence"].toInt(); }
    QByteArray body() const { return QByteArray::fromBase64(request["body_b64"].toString().toLatin1()); }
    // The value of a record entry in hex; "" when absent.
    QString entry(int key) const {
        for (const auto& e : statistics()["record"].toObject()["entries"].toArray()) {
            if (e.toObject()["key"].toInt() == key) return e.toObject()["value"].toString();
        }
        return {};
    }
    QString header(const QString& name) const {
        for (const auto& h : request["headers"].toArray()) {
            if (h.toArray()[0].toString().compare(name, Qt::CaseInsensitive) == 0) return h.toArray()[1].toString();
        }
        return {};
    }
};

class UploadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        PhoneHomeController::shutdownForTesting();
        defaults_ = std::make_unique<UserDefaults>(dir_.path() + "/defaults.conf");
        NewEndpoint({});
        random_.set({1});  // no sampled report at the default rate
    }
    void TearDown() override { PhoneHomeController::shutdownForTesting(); }

    QString Folder() const { return dir_.path() + "/support"; }
    QString LogPath() const { return Folder() + "/Disconnect Log"; }
    QString StatsPath() const { return Folder() + "/Session Stats"; }

    // A statistics endpoint of its own, answering as scripted, in the user's defaults.
    void NewEndpoint(const QJsonObject& answers) {
        prefix_ = server_.NewPrefix();
        const std::string path = prefix_ + "sendvorp.psp";
        server_.Script(
            QJsonObject{{"path", QString::fromStdString(path)}, {"kind", "statistics"}, {"answers", answers}});
        defaults_->setString("statistics_url", QString::fromStdString(server_.Url(path)));
    }

    // Stands for a later start of the program: a launch count above 1, nothing queued.
    void PrepareLaterLaunch(const QByteArray& log) {
        ASSERT_TRUE(QDir().mkpath(Folder()));
        WriteFile(StatsPath(), Record(Entry(28, Hex("00000004"))));
        if (!log.isEmpty()) WriteFile(LogPath(), log);
    }

    void Launch(MachineFacts facts = TestFacts()) {
        PhoneHomeController::Environment env;
        env.defaults = defaults_.get();
        env.clock = &clock_;
        env.random = random_.source();
        env.machineFacts = [facts] { return facts; };
        PhoneHomeController::setupPhoneHome(Folder(), 2318, 0.01f, std::move(env));
    }

    // Waits until every upload of this start has its answer.
    void WaitForAnswers() {
        ASSERT_TRUE(RunUntil([] { return PhoneHomeController::sharedPhoneHome()->uploadsWaiting() == 0; }));
    }

    std::vector<Upload> Uploads() {
        const auto [status, body] = server_.Exchange("GET", "/_ctl/requests?prefix=" + prefix_);
        EXPECT_EQ(status, 200);
        std::vector<Upload> out;
        for (const auto& r : QJsonDocument::fromJson(QByteArray::fromStdString(body)).array())
            out.push_back({r.toObject()});
        return out;
    }

    std::vector<QByteArray> LogRecords() const {
        const QByteArray log = ReadFile(LogPath());
        std::vector<QByteArray> out;
        PhoneHomeReader in(log);
        QByteArray record;
        while (PhoneHomeServices::ReadRecord(in, record))
            out.push_back(record);
        return out;
    }

    TestServer& server_ = TestServer::Get();
    std::string prefix_;
    QTemporaryDir dir_;
    std::unique_ptr<UserDefaults> defaults_;
    FakeClock clock_{QDateTime(QDate(2026, 12, 1), QTime(8, 0), Qt::UTC)};
    ScriptedRandom random_;
};

const QByteArray kRecord23 = Hex("A100020012A000020701000100010400020004000000FF");

TEST_F(UploadTest, TheFirstUploadOfARunCarriesTheGoldenBody) {
    PrepareLaterLaunch(kRecord23);
    Launch();
    WaitForAnswers();
    const auto uploads = Uploads();
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].body().toHex(' '), (Hex("6500020000000100000001001700") + kRecord23).toHex(' '));
    EXPECT_EQ(uploads[0].request["method"].toString(), "POST");
    EXPECT_EQ(uploads[0].header("User-Agent"), "ZYM Radio for Mac OS X");
    EXPECT_EQ(uploads[0].header("Content-Length"), QString::number(14 + 23));
    EXPECT_EQ(uploads[0].header("Host"), "127.0.0.1");
    // Nothing else: none of curl's own headers, no cookie, no credentials.
    EXPECT_EQ(uploads[0].request["headers"].toArray().size(), 3);
    const QJsonObject stats = uploads[0].statistics();
    EXPECT_EQ(stats["magic"].toInt(), 101);
    EXPECT_EQ(stats["version"].toInt(), 2);
    EXPECT_EQ(stats["count"].toInt(), 1);
    EXPECT_EQ(stats["record_length"].toInt(), 23);
    EXPECT_FALSE(QFile::exists(LogPath()));
}

TEST_F(UploadTest, EachRecordGoesInARequestOfItsOwnAndTheLogGoesOnceAllAreTaken) {
    for (int n : {1, 2, 3, 5}) {
        SCOPED_TRACE(n);
        PhoneHomeController::shutdownForTesting();
        NewEndpoint({});
        QByteArray log;
        for (int i = 1; i <= n; ++i)
            log += Record(Entry(93, Hex("000000") + QByteArray(1, char(i))));
        PrepareLaterLaunch(log);
        Launch();
        WaitForAnswers();
        const auto uploads = Uploads();
        ASSERT_EQ(int(uploads.size()), n);
        std::map<int, QString> bySequence;
        for (const Upload& u : uploads)
            bySequence[u.sequence()] = u.entry(93);
        for (int i = 1; i <= n; ++i) {
            // Numbered 1..n in file order, whatever order they arrive in.
            EXPECT_EQ(bySequence[i], QString("0000000%1").arg(i));
        }
        EXPECT_FALSE(QFile::exists(LogPath()));
    }
}

TEST_F(UploadTest, ARecordWhoseUploadFailedStaysAloneInTheLog) {
    const QJsonObject failures[] = {QJsonObject{{"status", 500}}, QJsonObject{{"reset_after", -1}},
                                    QJsonObject{{"status", 302}}, QJsonObject{{"status", 404}}};
    for (const QJsonObject& failure : failures) {
        SCOPED_TRACE(QJsonDocument(failure).toJson().toStdString());
        PhoneHomeController::shutdownForTesting();
        NewEndpoint({{"2", failure}});
        const QByteArray r1 = Record(Entry(93, Hex("00000001")));
        const QByteArray r2 = Record(Entry(93, Hex("00000002")));
        const QByteArray r3 = Record(Entry(93, Hex("00000003")));
        PrepareLaterLaunch(r1 + r2 + r3);
        Launch();
        WaitForAnswers();
        EXPECT_EQ(Uploads().size(), 3u);
        EXPECT_EQ(ReadFile(LogPath()), r2);
    }
}

// A long Disconnect Log goes out a batch at a time: never more uploads running, nor more
// records held, than one batch, and set-up returns having read no more than that.
TEST_F(UploadTest, ALongLogGoesOutInBoundedBatches) {
    // Records of a few kilobytes with stray bytes between some, so the log is read in
    // several pieces that cut through records.
    const int n = int(PhoneHomeServices::kUploadBatch) * 12 + 5;
    QByteArray log;
    for (int i = 1; i <= n; ++i) {
        const QByteArray id = Hex("0000") + QByteArray(1, char(i >> 8)) + QByteArray(1, char(i & 0xFF));
        log += Record(Entry(93, id) + Entry(4097, QByteArray(2000 + (i * 37) % 2000, 'x')));
        if (i % 50 == 0) log += Hex("5AA1");
    }
    ASSERT_GT(log.size(), 512 * 1024);
    PrepareLaterLaunch(log);
    Launch();
    PhoneHomeServices& store = *PhoneHomeController::sharedPhoneHome();
    std::size_t mostWaiting = 0, mostHeld = 0;
    const auto watch = [&] {
        mostWaiting = std::max(mostWaiting, std::size_t(store.uploadsWaiting()));
        mostHeld = std::max(mostHeld, store.recordsHeld());
        return !store.sendingStoredReports();
    };
    watch();
    EXPECT_EQ(mostWaiting, PhoneHomeServices::kUploadBatch) << "one batch started at set-up";
    ASSERT_TRUE(platform::RunLoop::Current().RunUntil(watch, zymtest::Scaled(std::chrono::seconds(120))));
    EXPECT_LE(mostWaiting, PhoneHomeServices::kUploadBatch);
    EXPECT_LE(mostHeld, PhoneHomeServices::kUploadBatch);
    const auto uploads = Uploads();
    ASSERT_EQ(int(uploads.size()), n);
    std::set<int> sequences;
    std::set<QString> ids;
    for (const Upload& u : uploads) {
        sequences.insert(u.sequence());
        ids.insert(u.entry(93));
    }
    EXPECT_EQ(int(sequences.size()), n);
    EXPECT_EQ(*sequences.rbegin(), n);
    EXPECT_EQ(int(ids.size()), n) << "every record once";
    EXPECT_FALSE(QFile::exists(LogPath()));
}

// The server refusing an upload stops the sending after that batch: the refused record
// and every one not yet sent wait for the next start, in order.
TEST_F(UploadTest, ARefusalStopsTheBatchesAndKeepsTheRest) {
    const int n = int(PhoneHomeServices::kUploadBatch) * 3;
    NewEndpoint({{"2", QJsonObject{{"status", 500}}}});
    std::vector<QByteArray> records;
    QByteArray log;
    for (int i = 1; i <= n; ++i) {
        records.push_back(Record(Entry(93, Hex("000000") + QByteArray(1, char(i)))));
        log += records.back();
    }
    PrepareLaterLaunch(log);
    Launch();
    ASSERT_TRUE(RunUntil([] { return !PhoneHomeController::sharedPhoneHome()->sendingStoredReports(); }));
    EXPECT_EQ(Uploads().size(), PhoneHomeServices::kUploadBatch);
    QByteArray expected = records[1];
    for (std::size_t i = PhoneHomeServices::kUploadBatch; i < records.size(); ++i)
        expected += records[i];
    EXPECT_EQ(ReadFile(LogPath()), expected);
}

// A quit while the batches go out: the records the server took leave the log, every
// other one stays.
TEST_F(UploadTest, AQuitWhileSendingKeepsWhatWasNotTaken) {
    const int n = int(PhoneHomeServices::kUploadBatch) * 4;
    QByteArray log;
    for (int i = 1; i <= n; ++i)
        log += Record(Entry(93, Hex("000000") + QByteArray(1, char(i))));
    PrepareLaterLaunch(log);
    Launch();
    // The second batch going out means the first was taken whole.
    ASSERT_TRUE(RunUntil([this] {
        return PhoneHomeController::sharedPhoneHome()->uploadsWaiting() > 0 &&
               PhoneHomeServices::kUploadBatch < std::size_t(Uploads().size());
    }));
    PhoneHomeController::shutdownForTesting();
    std::set<QString> taken;
    for (const Upload& u : Uploads())
        taken.insert(u.entry(93));
    const auto kept = LogRecords();
    EXPECT_LE(kept.size(), std::size_t(n) - PhoneHomeServices::kUploadBatch);
    std::set<QByteArray> keptSet(kept.begin(), kept.end());
    for (int i = 1; i <= n; ++i) {
        const QByteArray record = Record(Entry(93, Hex("000000") + QByteArray(1, char(i))));
        const QString id = QString("000000%1").arg(i, 2, 16, QChar('0'));
        if (!taken.count(id)) EXPECT_TRUE(keptSet.count(record)) << i;
    }
}

TEST_F(UploadTest, ReportsQueuedWhileUploadsRunAreKept) {
    // The first launch: its own report goes into the log while the old ones are posted.
    ASSERT_TRUE(QDir().mkpath(Folder()));
    const QByteArray old1 = Record(Entry(93, Hex("00000001")));
    const QByteArray old2 = Record(Entry(93, Hex("00000002")));
    WriteFile(LogPath(), old1 + Hex("5A5A") + old2);
    NewEndpoint({{"1", QJsonObject{{"status", 503}}}});
    Launch();
    const auto queued = LogRecords();
    ASSERT_EQ(queued.size(), 3u);
    WaitForAnswers();
    const auto records = LogRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], old1);
    EXPECT_EQ(records[1], queued[2]);
    EXPECT_EQ(Uploads().size(), 2u);
}

TEST_F(UploadTest, NoLogNoUrlOrASecondSetUpSendNothing) {
    // No log.
    PrepareLaterLaunch({});
    Launch();
    EXPECT_EQ(PhoneHomeController::sharedPhoneHome()->uploadsWaiting(), 0);
    // A second set-up, even with another folder, changes nothing.
    PhoneHomeServices* first = PhoneHomeController::sharedPhoneHome();
    const QString other = dir_.path() + "/other";
    PhoneHomeController::setupPhoneHome(other, 1, 1.0f, {});
    EXPECT_EQ(PhoneHomeController::sharedPhoneHome(), first);
    EXPECT_FALSE(QFile::exists(other));
    PhoneHomeController::shutdownForTesting();

    // No statistics URL, or one that is not http(s): the log stays as it is.
    for (const char* url : {"", "ftp://127.0.0.1/sendvorp.psp", "file:///tmp/x", "http://user:pw@127.0.0.1/x"}) {
        SCOPED_TRACE(url);
        defaults_->setString("statistics_url", url);
        PrepareLaterLaunch(kRecord23);
        Launch();
        EXPECT_EQ(PhoneHomeController::sharedPhoneHome()->uploadsWaiting(), 0);
        PhoneHomeController::shutdownForTesting();
        EXPECT_EQ(ReadFile(LogPath()), kRecord23);
    }
    EXPECT_TRUE(Uploads().empty());
}

TEST_F(UploadTest, TheUsersRateOfOneQueuesASampledReportAtEveryLaterLaunch) {
    defaults_->setString("statistics_url", "");
    defaults_->setDouble("ZYM_normal_rate", 1.0);
    random_.set({199});  // the highest draw
    std::vector<std::uint32_t> expected;
    for (int launch = 1; launch <= 4; ++launch) {
        Launch();
        expected.push_back(launch == 1 ? 238 : 237);
        EXPECT_EQ(PhoneHomeController::sharedPhoneHome()->GetNumber(kPhoneHomeKeyLaunchCount), std::uint32_t(launch));
        PhoneHomeController::shutdownForTesting();
    }
    std::vector<std::uint32_t> endCodes;
    for (const QByteArray& r : LogRecords()) {
        const int at = r.indexOf(Hex("00020004"), 10);
        ASSERT_GE(at, 0);
        endCodes.push_back(ReadBigEndian(reinterpret_cast<const std::uint8_t*>(r.constData()) + at + 4, 4));
    }
    EXPECT_EQ(endCodes, expected);
}

TEST_F(UploadTest, MachineModelTexts) {
    struct Case {
        std::optional<std::string> name;
        long processors;
        const char* text;
    } cases[] = {{"M", 1, "M;2000"}, {"M", 2, "M;2000x2"}, {std::nullopt, 1, ";2000"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        MachineFacts facts = TestFacts();
        facts.modelName = c.name;
        facts.processorCount = c.processors;
        // The first launch queues its report; the next one uploads it.
        QDir(Folder()).removeRecursively();
        NewEndpoint({});
        Launch(facts);
        PhoneHomeController::shutdownForTesting();
        Launch(facts);
        WaitForAnswers();
        const auto uploads = Uploads();
        ASSERT_EQ(uploads.size(), 1u);
        EXPECT_EQ(QByteArray::fromHex(uploads[0].entry(82).toLatin1()), QByteArray(c.text));
        EXPECT_EQ(uploads[0].entry(13), "0011");
        EXPECT_EQ(uploads[0].entry(109), "00000800");
        EXPECT_EQ(uploads[0].entry(24), "0610");
        PhoneHomeController::shutdownForTesting();
    }
}

TEST_F(UploadTest, TheServiceLayersRecorderReachesTheStore) {
    PhoneHomeStatisticsRecorder recorder;
    recorder.setNumber(kPhoneHomeKeyServiceError, PackErrorCode(33, 0x1001));  // before set-up: nowhere
    PrepareLaterLaunch({});
    Launch();
    PhoneHomeServices& store = *PhoneHomeController::sharedPhoneHome();
    EXPECT_FALSE(store.HasKey(kPhoneHomeKeyServiceError));
    recorder.setNumber(kPhoneHomeKeyServiceError, PackErrorCode(33, 0x1001));
    EXPECT_EQ(store.GetNumber(kPhoneHomeKeyServiceError), 0x00210110u);
    recorder.setNumber(kPhoneHomeKeyLayoutState, 2);
    EXPECT_EQ(store.GetNumber(kPhoneHomeKeyLayoutState), 2u);
}

// Run by the next test in a process of its own, which it then kills.
TEST(StatisticsChild, SetUpAndWaitToBeKilled) {
    const char* folder = std::getenv(kChildFolder);
    if (folder == nullptr) GTEST_SKIP() << "only as the child of KilledRunIsReportedAtTheNextStart";
    UserDefaults defaults(QString(folder) + "/../child-defaults.conf");
    FakeClock clock;
    PhoneHomeController::Environment env;
    env.defaults = &defaults;
    env.clock = &clock;
    env.random = [] { return 1L; };
    env.machineFacts = [] { return TestFacts(); };
    PhoneHomeController::setupPhoneHome(folder, 2318, 0.01f, std::move(env));
    PhoneHomeServices* store = PhoneHomeController::sharedPhoneHome();
    for (int i = 0; i < 3; ++i)
        store->Increment(kPhoneHomeKeyStationPlays);
    store->SaveSessionStats();
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;)
        pause();
}

TEST_F(UploadTest, AKilledRunIsReportedAtTheNextStart) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kChildFolder, Folder());
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=StatisticsChild.SetUpAndWaitToBeKilled"});
    ASSERT_TRUE(child.waitForStarted(int(zymtest::Scaled(std::chrono::seconds(20)).count())));
    QByteArray out;
    while (!out.contains("ready\n")) {
        ASSERT_TRUE(child.waitForReadyRead(int(zymtest::Scaled(std::chrono::seconds(60)).count()))) << out.constData();
        out += child.readAllStandardOutput();
    }
    child.kill();  // SIGKILL: no chance to tidy up
    ASSERT_TRUE(child.waitForFinished(int(zymtest::Scaled(std::chrono::seconds(20)).count())));
    EXPECT_TRUE(QFile::exists(Folder() + "/Session Lock"));
    const QByteArray lastState = ReadFile(StatsPath());
    ASSERT_GT(lastState.size(), 10);

    Launch();
    // The child's first-launch report, then its last saved state.
    const auto queued = LogRecords();
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_EQ(queued[1], lastState);
    WaitForAnswers();
    const auto uploads = Uploads();
    ASSERT_EQ(uploads.size(), 2u);
    bool found = false;
    for (const Upload& u : uploads) {
        if (u.body().mid(14) == lastState) {
            found = true;
            EXPECT_EQ(u.entry(kPhoneHomeKeyStationPlays), "00000003");
            EXPECT_EQ(u.entry(kPhoneHomeKeyEndCode), "000000ff");
        }
    }
    EXPECT_TRUE(found);
    EXPECT_FALSE(QFile::exists(LogPath()));
    // This run restored the child's persistent values.
    EXPECT_EQ(PhoneHomeController::sharedPhoneHome()->GetNumber(kPhoneHomeKeyLaunchCount), 2u);
}

}  // namespace

// A statistics server that answers one byte a second keeps no upload forever: the
// deadline ends it as not answered.
TEST(RequestorPhoneHomeUploaderTest, AnAnswerThatTricklesInEndsAtTheDeadline) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    server.Script(QJsonObject{{"path", QString::fromStdString(prefix)},
                              {"size", 600},
                              {"trickle", QJsonObject{{"bytes", 1}, {"interval_ms", 1000}}}});
    RequestorPhoneHomeUploader uploader(zymtest::Scaled(std::chrono::milliseconds(2000)));
    std::optional<bool> answered;
    const auto start = std::chrono::steady_clock::now();
    uploader.post({server.Url(prefix), {{"Host", "127.0.0.1"}}, QByteArray("x")}, [&](bool ok) { answered = ok; });
    ASSERT_TRUE(RunUntil([&] { return answered.has_value(); }));
    EXPECT_FALSE(*answered);
    EXPECT_LT(std::chrono::steady_clock::now() - start, zymtest::Scaled(std::chrono::milliseconds(10000)));
}

namespace {

// The statistics folder and files hold the listener's usage: its user's alone, whatever
// the umask lets through.
TEST_F(UploadTest, TheStatisticsFilesAreTheUsersAlone) {
    const mode_t old = umask(022);
    Launch();
    WaitForAnswers();
    umask(old);
    ASSERT_TRUE(QFile::exists(StatsPath()));
    QStringList open;
    QDirIterator it(Folder(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    QStringList entries{Folder()};
    while (it.hasNext())
        entries << it.next();
    for (const QString& path : entries) {
        struct stat st {};
        ASSERT_EQ(lstat(QFile::encodeName(path).constData(), &st), 0);
        if ((st.st_mode & 07777) != (S_ISDIR(st.st_mode) ? 0700u : 0600u))
            open << path + " " + QString::number(st.st_mode & 07777, 8);
    }
    EXPECT_TRUE(open.isEmpty()) << open.join('\n').toStdString();
}

}  // namespace
