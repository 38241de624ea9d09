// Interface analytics: the request body, how an action finds its event, the pacing of
// the queue, the visitor-identifier file, and five real clicks reaching the endpoint.

#include "app/foundation/Clock.h"
#include "app/foundation/UserDefaults.h"
#include "app/ui/ApplicationActions.h"
#include "app/support/ZYMLiaison.h"

#include "LogFileCapture.h"
#include "platform/RunLoop.h"
#include "support/Env.h"
#include "support/TestServer.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <sys/stat.h>

using namespace std::chrono_literals;

namespace {

const char kId[] = "0123456789ABCDE-FEDCBA987654321";

TEST(LiaisonBody, GoldenTexts) {
    const struct {
        const char* name;
        ZYMDataInsertionURLRequest::Fields fields;
        const char* expected;
    } rows[] = {
        {"WithVisitor",
         {"zymmorvatindev", kId, "192.0.2.7", "Play"},
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><request><sc_xml_ver>1.0</sc_xml_ver>"
         "<reportsuiteid>zymmorvatindev</reportsuiteid><vistorid>0123456789ABCDE-FEDCBA987654321</vistorid>"
         "<ipaddress>192.0.2.7</ipaddress><pageurl>http://radio.zym.invalid/</pageurl><pagename>Play</pagename>"
         "<channel>us.morvatin</channel><currencycode>USD</currencycode><prop1>Navbar</prop1></request>"},
        {"WithoutVisitorNoAddressEscaped",
         {"suite", QString(), "", "A&B <c> \"d\""},
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><request><sc_xml_ver>1.0</sc_xml_ver>"
         "<reportsuiteid>suite</reportsuiteid><ipaddress></ipaddress><pageurl>http://radio.zym.invalid/</pageurl>"
         "<pagename>A&amp;B &lt;c&gt; &quot;d&quot;</pagename><channel>us.morvatin</channel>"
         "<currencycode>USD</currencycode><prop1>Navbar</prop1></request>"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ZYMDataInsertionURLRequest::bodyFor(row.fields).toStdString(), row.expected);
    }
}

// A liaison on a fake clock and scheduler whose sender records what would go out.
struct FakeLiaison {
    struct Sent {
        QDateTime at;
        ZYMDataInsertionURLRequest request;
    };
    explicit FakeLiaison(std::optional<ZYMLiaison::Events> events,
                         const QString& url = QStringLiteral("http://collect.example/b/ss//6"))
        : defaults(dir.filePath("defaults.conf")), scheduler(&clock) {
        defaults.setString("ZYMLiaisonURL", url);
        ZYMLiaison::Dependencies d;
        d.defaults = &defaults;
        d.clock = &clock;
        d.scheduler = &scheduler;
        d.events = events;
        d.supportFolder = [this] { return dir.path(); };
        d.localIPAddress = [] { return QStringLiteral("192.0.2.7"); };
        d.sender = [this](const ZYMDataInsertionURLRequest& r, std::function<void()> done) {
            sent.push_back({clock.now(), r});
            done();
        };
        liaison = std::make_unique<ZYMLiaison>(std::move(d));
    }
    QString pageName(size_t i) const {
        const QByteArray& body = sent.at(i).request.body;
        const int from = body.indexOf("<pagename>") + 10;
        return QString::fromUtf8(body.mid(from, body.indexOf("</pagename>") - from));
    }
    QTemporaryDir dir;
    UserDefaults defaults;
    FakeClock clock;
    FakeScheduler scheduler;
    std::vector<Sent> sent;
    std::unique_ptr<ZYMLiaison> liaison;
};

const ZYMLiaison::Events kEvents{
    {"6600", "Download now"}, {"12", "Twelve"}, {"Play", "Play pressed"}, {"Stop", "Stop pressed"}};

TEST(LiaisonResolution, TagThenTitle) {
    const struct {
        const char* name;
        bool table;
        std::function<void(ZYMLiaison&, QWidget&)> report;
        const char* expected;  // nullptr: nothing sent
    } rows[] = {
        {"Number6600", true, [](ZYMLiaison& l, QWidget&) { l.reportEvent(6600); }, "Download now"},
        {"ButtonTagged12", true,
         [](ZYMLiaison& l, QWidget& w) {
             auto* b = new QPushButton("Play", &w);
             b->setProperty(ZYMLiaison::kTagProperty, 12);
             l.reportEvent(b);
         },
         "Twelve"},
        {"NoTagEntryButTitle", true,
         [](ZYMLiaison& l, QWidget& w) {
             auto* b = new QPushButton("&Play", &w);
             b->setProperty(ZYMLiaison::kTagProperty, 13);
             l.reportEvent(b);
         },
         "Play pressed"},
        {"EmptyTitle", true, [](ZYMLiaison& l, QWidget& w) { l.reportEvent(new QPushButton(QString(), &w)); }, nullptr},
        {"UnlistedTitle", true, [](ZYMLiaison& l, QWidget& w) { l.reportEvent(new QPushButton("Other", &w)); },
         nullptr},
        {"NoTable", false, [](ZYMLiaison& l, QWidget&) { l.reportEvent(6600); }, nullptr},
        {"NoSender", true, [](ZYMLiaison& l, QWidget&) { l.reportEvent(static_cast<QObject*>(nullptr)); }, nullptr},
        {"MenuAction", true,
         [](ZYMLiaison& l, QWidget& w) {
             auto* menu = new QMenu(&w);
             l.reportEvent(menu->addAction("S&top"));
         },
         "Stop pressed"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeLiaison f(row.table ? std::optional(kEvents) : std::nullopt);
        QWidget window;
        row.report(*f.liaison, window);
        f.scheduler.advance(1s);
        if (!row.expected) {
            EXPECT_TRUE(f.sent.empty());
            continue;
        }
        ASSERT_EQ(f.sent.size(), 1u);
        EXPECT_EQ(f.pageName(0), QString::fromUtf8(row.expected));
        EXPECT_EQ(f.sent[0].request.url, QUrl("http://collect.example/b/ss//6"));
        EXPECT_TRUE(f.sent[0].request.body.contains("<reportsuiteid>zymmorvatindev</reportsuiteid>"));
    }
}

// Actions of the lists and other controls go through ApplicationActions; the shell hands
// their sender to the reporter there.
TEST(LiaisonResolution, ApplicationActionsReachTheReporter) {
    FakeLiaison f(kEvents);
    ActionReporter reporter(*f.liaison);
    auto previous = ApplicationActions::setObserver([&](const QString&, QObject* sender) { reporter.report(sender); });
    QPushButton stop("Stop");
    bool ran = false;
    ApplicationActions::send("stop", &stop, [&] { ran = true; });
    ApplicationActions::setObserver(std::move(previous));
    f.scheduler.advance(1s);
    EXPECT_TRUE(ran);
    ASSERT_EQ(f.sent.size(), 1u);
    EXPECT_EQ(f.pageName(0), QStringLiteral("Stop pressed"));
}

TEST(LiaisonResolution, MenuAndButtonsMadeAfterTheReporterAreHooked) {
    FakeLiaison f(kEvents);
    ActionReporter reporter(*f.liaison);
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* play = new QPushButton("Play");
    layout->addWidget(play);
    QMenu menu;
    QAction* stop = menu.addAction("Stop");
    window.show();
    play->click();
    stop->trigger();
    f.scheduler.advance(5s);
    ASSERT_EQ(f.sent.size(), 2u);
    EXPECT_EQ(f.pageName(0), QStringLiteral("Play pressed"));
    EXPECT_EQ(f.pageName(1), QStringLiteral("Stop pressed"));
}

TEST(LiaisonResolution, NothingQueuedWithoutAnEndpoint) {
    for (const char* url : {"", "not a url", "ftp://collect.example/x", "http:///nohost"}) {
        SCOPED_TRACE(url);
        FakeLiaison f(kEvents, QString::fromUtf8(url));
        f.liaison->reportEvent(6600);
        f.scheduler.advance(5s);
        EXPECT_TRUE(f.sent.empty());
    }
}

TEST(LiaisonPacing, QuietPeriodThenOneASecondInOrder) {
    FakeLiaison f(ZYMLiaison::Events{{"1", "e1"}, {"2", "e2"}, {"3", "e3"}, {"4", "e4"}, {"5", "e5"}, {"9", "e9"}});
    const QDateTime start = f.clock.now();
    f.liaison->reportEvent(9);
    f.scheduler.advance(99ms);
    EXPECT_TRUE(f.sent.empty());
    f.scheduler.advance(1ms);
    ASSERT_EQ(f.sent.size(), 1u);
    EXPECT_EQ(start.msecsTo(f.sent[0].at), 100);

    // A quiet period, then a burst of five within 0.1 s.
    f.scheduler.advance(10s);
    const QDateTime burst = f.clock.now();
    for (int i = 1; i <= 5; ++i) {
        f.liaison->reportEvent(i);
        f.scheduler.advance(10ms);
    }
    f.scheduler.advance(10s);
    ASSERT_EQ(f.sent.size(), 6u);
    for (size_t i = 1; i < 6; ++i) {
        EXPECT_EQ(f.pageName(i), QStringLiteral("e%1").arg(i));
        if (i > 1) EXPECT_EQ(f.sent[i - 1].at.msecsTo(f.sent[i].at), 1000) << i;
    }
    EXPECT_EQ(burst.msecsTo(f.sent[1].at), 100);
    EXPECT_EQ(f.liaison->queue().pendingCount(), 0);
}

TEST(LiaisonPacing, NextRequestWaitsForTheExchangeInFlight) {
    FakeClock clock;
    FakeScheduler scheduler(&clock);
    std::vector<std::function<void()>> open;
    std::vector<QDateTime> sentAt;
    ZYMDataInsertionQueue queue(
        [&](const ZYMDataInsertionURLRequest&, std::function<void()> done) {
            sentAt.push_back(clock.now());
            open.push_back(std::move(done));
        },
        clock, scheduler);
    queue.enqueueRequest({});
    queue.enqueueRequest({});
    scheduler.advance(5s);
    ASSERT_EQ(sentAt.size(), 1u);  // the first exchange has not ended
    open[0]();
    scheduler.advance(999ms);
    EXPECT_EQ(sentAt.size(), 1u);
    scheduler.advance(1ms);
    EXPECT_EQ(sentAt.size(), 2u);

    // The wall clock set back an hour: the next request still waits one second at most.
    open[1]();
    queue.enqueueRequest({});
    clock.advance(-1h);
    EXPECT_EQ(queue.delay(), 1000ms);
}

// ---- visitor identifier file --------------------------------------------------------

QString writeId(const QString& folder, const QByteArray& content, bool readOnly) {
    const QString path = folder + "/" + ZYMVisitorID::kFileName;
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return {};
    file.write(content);
    file.close();
    if (readOnly) QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    return path;
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    return ::stat(path.toLocal8Bit().constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST(VisitorIdFile, AcceptedOrReplaced) {
    const struct {
        const char* name;
        QByteArray content;
        bool readOnly;
        const char* kept;  // nullptr: replaced by a new identifier
    } rows[] = {
        {"ValidWithLineFeed", QByteArray(kId) + "\n", false, kId},
        {"LowerCaseDigits", "0123456789abcde-fedcba987654321", false, "0123456789abcde-fedcba987654321"},
        {"ThirtyDigitsWithoutDash", "0123456789ABCDEFEDCBA987654321", false, nullptr},
        {"InvalidInReadOnlyFile", "not an identifier", true, nullptr},
        {"TooLong", QByteArray(kId) + "0", false, nullptr},
        {"BlankAround", QByteArray(" ") + kId, false, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const QString path = writeId(dir.path(), row.content, row.readOnly);
        const QString id = ZYMVisitorID::visitorID([&] { return dir.path(); });
        if (row.kept) {
            EXPECT_EQ(id, QString::fromUtf8(row.kept));
            continue;
        }
        EXPECT_TRUE(QRegularExpression("\\A[0-9A-F]{15}-[0-9A-F]{15}\\z").match(id).hasMatch()) << id.toStdString();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(QString::fromUtf8(file.readAll()), id);  // no line break
        EXPECT_EQ(modeOf(path), mode_t(0400));             // read-only, and the user's alone
        // The stored identifier is the one sent next time.
        EXPECT_EQ(ZYMVisitorID::visitorID([&] { return dir.path(); }), id);
    }
}

TEST(VisitorIdFile, PlainFileWhereTheFolderShouldBe) {
    QTemporaryDir dir;
    const QString blocker = dir.filePath("zymradio");
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QStringList ids;
    for (int i = 0; i < 3; ++i) {
        ASSERT_NO_THROW(ids << ZYMVisitorID::visitorID([&] { return blocker; }));
    }
    EXPECT_NE(ids[0], ids[1]);
    EXPECT_NE(ids[1], ids[2]);
    EXPECT_EQ(ids[0].size(), 31);
    // The same through the application-support folder of the default provider.
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", blocker.toLocal8Bit());
    QString a, b;
    ASSERT_NO_THROW(a = ZYMVisitorID::visitorID({}));
    ASSERT_NO_THROW(b = ZYMVisitorID::visitorID({}));
    EXPECT_NE(a, b);
    qputenv("XDG_DATA_HOME", saved);
}

// ---- end to end ------------------------------------------------------------------------

TEST(LiaisonEndToEnd, FiveClicksGiveFivePostsInOrderASecondApart) {
    auto& server = zymtest::TestServer::Get();
    const std::string prefix = server.NewPrefix();
    const std::string endpoint = prefix + "b/ss//6";
    server.Script(QJsonObject{{"path", QString::fromStdString(prefix)}, {"body", "ok"}});

    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.conf"));
    defaults.setString("ZYMLiaisonURL", QString::fromStdString(server.Url(endpoint)));
    ZYMLiaison::Dependencies d;
    d.defaults = &defaults;
    d.events = ZYMLiaison::Events{{"1", "one"}, {"2", "two"}, {"3", "three"}, {"4", "four"}, {"5", "five"}};
    d.supportFolder = [&] { return dir.path(); };
    ZYMLiaison liaison(std::move(d));

    ActionReporter reporter(liaison);
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    std::vector<QPushButton*> buttons;
    for (int i = 1; i <= 5; ++i) {
        auto* b = new QPushButton(QStringLiteral("Button %1").arg(i));
        b->setProperty(ZYMLiaison::kTagProperty, i);
        layout->addWidget(b);
        buttons.push_back(b);
    }
    window.show();
    for (QPushButton* b : buttons)
        QTest::mouseClick(b, Qt::LeftButton);

    QJsonArray recorded;
    const bool arrived = platform::RunLoop::Current().RunUntil(
        [&] {
            const auto [status, body] = server.Exchange("GET", "/_ctl/requests?prefix=" + prefix);
            recorded = QJsonDocument::fromJson(QByteArray::fromStdString(body)).array();
            return recorded.size() >= 5;
        },
        zymtest::Scaled(60s));
    ASSERT_TRUE(arrived) << recorded.size();
    ASSERT_EQ(recorded.size(), 5);
    const char* names[] = {"one", "two", "three", "four", "five"};
    for (int i = 0; i < 5; ++i) {
        const QJsonObject r = recorded[i].toObject();
        EXPECT_EQ(r["method"].toString(), QStringLiteral("POST"));
        EXPECT_EQ(r["path"].toString().toStdString(), endpoint);  // the "//" is kept
        const QByteArray body = QByteArray::fromBase64(r["body_b64"].toString().toLatin1());
        EXPECT_TRUE(body.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?><request>"));
        EXPECT_TRUE(body.contains(QByteArray("<pagename>") + names[i] + "</pagename>")) << body.toStdString();
        if (i > 0) EXPECT_GE(r["time"].toDouble() - recorded[i - 1].toObject()["time"].toDouble(), 1.0) << i;
    }
}

}  // namespace
