// The software-update check against hand-written feeds served over loopback, with a
// recording presenter and a captured URL opener.

#include "app/foundation/Clock.h"
#include "app/signon/DialogPresenter.h"
#include "app/foundation/UserDefaults.h"
#include "app/support/SoftwareUpdateController.h"
#include "app/support/ZYMLiaison.h"
#include "app/support/ZYMSimpleXMLDocument.h"

#include "LogFileCapture.h"
#include "platform/RunLoop.h"
#include "support/Env.h"
#include "support/TestServer.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSettings>
#include <QTimeZone>

#include <map>

using namespace std::chrono_literals;

namespace {

QString feedText(const char* file, const std::map<QString, QString>& substitutions = {}) {
    QFile f(QString::fromStdString(zymtest::DataPath(std::string("update/") + file)));
    if (!f.open(QIODevice::ReadOnly)) return {};
    QString text = QString::fromUtf8(f.readAll());
    for (const auto& [from, to] : substitutions)
        text.replace(from, to);
    return text;
}

const QDateTime kNow(QDate(2026, 12, 1), QTime(12, 0), QTimeZone::utc());

struct UpdateFixture {
    UpdateFixture()
        : server(zymtest::TestServer::Get()),
          prefix(server.NewPrefix()),
          defaults(dir.filePath("defaults.conf")),
          markers(std::make_shared<QSettings>(dir.filePath("products.update.ini"), QSettings::IniFormat)),
          clock(kNow) {
        defaults.registerDefaults({{"update_notice_all", false}});
        defaults.setBool("update_notice_current", true);
        defaults.setString("update_package_url", url("feed.xml"));
        SoftwareUpdateController::Dependencies d;
        d.defaults = &defaults;
        d.presenter = &presenter;
        d.clock = &clock;
        d.markers = markers;
        d.openURL = [this](const QUrl& u) {
            opened << u.toString();
            return true;
        };
        d.installedProduct = [](const QString& id) -> std::optional<ProductInfo> {
            ProductInfo p;
            p.type = "gm";
            p.identifier = id;
            if (id == "org.zym.Radio")
                p.spin = "9";
            else if (id.startsWith("com.zym.") && id != "com.zym.NotInstalled")
                p.spin = id == "com.zym.Pictures" ? "3" : "1";
            else
                return std::nullopt;
            return p;
        };
        d.reportEvent = [this](int n) { events.push_back(n); };
        d.currentProduct = ProductInfo{"gm", "org.zym.Radio", "9"};
        d.timeout = zymtest::Scaled(std::chrono::milliseconds(400));
        controller = std::make_unique<SoftwareUpdateController>(std::move(d));
    }

    QString url(const std::string& name) const { return QString::fromStdString(server.Url(prefix + name)); }
    void serve(const std::string& name, const QString& body, int status = 200) {
        server.Script(QJsonObject{{"path", QString::fromStdString(prefix + name)},
                                  {"exact", true},
                                  {"status", status},
                                  {"reason", status == 200 ? "OK" : "Not Found"},
                                  {"headers", QJsonArray{QJsonArray{"Content-Type", "text/xml"}}},
                                  {"body", body}});
    }
    void serveJson(QJsonObject script) { server.Script(script); }

    // One check, to its end: the download over and every alert answered with `button`.
    QStringList check(int button = 2) {
        controller->checkForUpdates();
        waitIdle();
        QStringList titles;
        while (presenter.waiting() > 0) {
            const auto& shown = presenter.shown.back();
            titles << shown.request.messageText + " | " + shown.request.title;
            buttonsSeen = shown.request.buttons;
            presenter.answer(button);
        }
        return titles;
    }
    void waitIdle() {
        EXPECT_TRUE(platform::RunLoop::Current().RunUntil([this] { return !controller->isDownloading(); },
                                                          zymtest::Scaled(20s)));
    }
    std::vector<std::string> requestedPaths() {
        std::vector<std::string> paths;
        for (const auto& r : server.Requests(prefix))
            paths.push_back(r.path.substr(prefix.size()));
        return paths;
    }
    void mark(const QString& key, qint64 daysAgo) {
        markers->setValue(key, kNow.addDays(-daysAgo).toString(Qt::ISODateWithMs));
        markers->sync();
    }

    QTemporaryDir dir;
    zymtest::TestServer& server;
    std::string prefix;
    UserDefaults defaults;
    std::shared_ptr<QSettings> markers;
    FakeClock clock;
    RecordingDialogPresenter presenter;
    QStringList opened;
    std::vector<int> events;
    QStringList buttonsSeen;
    std::unique_ptr<SoftwareUpdateController> controller;
};

struct FeedCase {
    const char* name;
    const char* file;
    std::function<void(UpdateFixture&)> setup;
    QStringList alerts;   // "message | window title" per alert, in order
    QStringList markers;  // marker keys afterwards
};

void allProducts(UpdateFixture& f) { f.defaults.setBool("update_notice_all", true); }

class UpdateFeed : public ::testing::TestWithParam<FeedCase> {};

TEST_P(UpdateFeed, Alerts) {
    const FeedCase& c = GetParam();
    UpdateFixture f;
    f.serve("feed.xml", feedText(c.file));
    if (c.setup) c.setup(f);
    const QStringList alerts = f.check();
    EXPECT_EQ(alerts, c.alerts);
    EXPECT_EQ(f.markers->allKeys(), c.markers);
}

const char* const kDefault = "Software Update";

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateFeed,
    ::testing::Values(
        FeedCase{"HighestOfTenAndTwelve",
                 "two-spins.xml",
                 nullptr,
                 {"ZYM Radio 1.2 | ZYM Radio Update"},
                 {"org.zym.Radio_gm_12"}},
        FeedCase{
            "TenTwelveEleven", "three-spins.xml", nullptr, {QString("Twelve | ") + kDefault}, {"org.zym.Radio_gm_12"}},
        FeedCase{"ShownThreeDaysAgo",
                 "two-spins.xml",
                 [](UpdateFixture& f) { f.mark("org.zym.Radio_gm_12", 3); },
                 {},
                 {"org.zym.Radio_gm_12"}},
        FeedCase{"ShownEightDaysAgo",
                 "two-spins.xml",
                 [](UpdateFixture& f) { f.mark("org.zym.Radio_gm_12", 8); },
                 {"ZYM Radio 1.2 | ZYM Radio Update"},
                 {"org.zym.Radio_gm_12"}},
        FeedCase{"OlderSpinShownRecently",
                 "two-spins.xml",
                 [](UpdateFixture& f) { f.mark("org.zym.Radio_gm_11", 1); },
                 {"ZYM Radio 1.2 | ZYM Radio Update"},
                 {"org.zym.Radio_gm_12"}},
        FeedCase{"MarkerOfALookalikeIdentifier",
                 "two-spins.xml",
                 [](UpdateFixture& f) { f.mark("xorg.zym.Radio_gm_12", 1); },
                 {"ZYM Radio 1.2 | ZYM Radio Update"},
                 {"org.zym.Radio_gm_12", "xorg.zym.Radio_gm_12"}},
        FeedCase{"OtherProductSameSpinLongAgo",
                 "other-product.xml",
                 [](UpdateFixture& f) {
                     allProducts(f);
                     f.mark("com.zym.Pictures_gm_5", 100);
                 },
                 {},
                 {"com.zym.Pictures_gm_5"}},
        FeedCase{"OtherProductLowerSpin",
                 "other-product.xml",
                 [](UpdateFixture& f) {
                     allProducts(f);
                     f.mark("com.zym.Pictures_gm_4", 1);
                 },
                 {QString("Pictures 5 | ") + kDefault},
                 {"com.zym.Pictures_gm_5"}},
        FeedCase{"OtherProductNeedsAllProducts", "other-product.xml", nullptr, {}, {}},
        FeedCase{"Restrictions",
                 "restrictions.xml",
                 allProducts,
                 {QString("Two types | ") + kDefault + " (1 of 5)", QString("None | ") + kDefault + " (2 of 5)",
                  QString("Empty | ") + kDefault + " (3 of 5)", QString("Own identifier | ") + kDefault + " (4 of 5)",
                  QString("Own spin | ") + kDefault + " (5 of 5)"},
                 {"com.zym.A_gm_2", "com.zym.C_gm_2", "com.zym.D_gm_2", "com.zym.E_gm_2", "com.zym.G_gm_2"}},
        FeedCase{"TwoProducts",
                 "two-products.xml",
                 allProducts,
                 {QString("Radio | ") + kDefault + " (1 of 2)", QString("Pictures | ") + kDefault + " (2 of 2)"},
                 {"com.zym.Pictures_gm_5", "org.zym.Radio_gm_10"}},
        FeedCase{"NoticeAllAloneChecks",
                 "two-spins.xml",
                 [](UpdateFixture& f) {
                     f.defaults.removeObject("update_notice_current");
                     f.defaults.registerDefaults({{"update_notice_all", true}});
                 },
                 {"ZYM Radio 1.2 | ZYM Radio Update"},
                 {"org.zym.Radio_gm_12"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UpdateCheck, NoticesOffOrNoFeedUrlSendNothing) {
    const struct {
        const char* name;
        std::function<void(UpdateFixture&)> setup;
    } rows[] = {
        {"NoticeCurrentNo", [](UpdateFixture& f) { f.defaults.setBool("update_notice_current", false); }},
        {"NoUrl", [](UpdateFixture& f) { f.defaults.removeObject("update_package_url"); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        UpdateFixture f;
        f.serve("feed.xml", feedText("two-spins.xml"));
        row.setup(f);
        f.controller->checkForUpdates();
        EXPECT_FALSE(f.controller->isDownloading());
        platform::RunLoop::Current().RunFor(50ms);
        EXPECT_TRUE(f.requestedPaths().empty());
        EXPECT_EQ(f.presenter.shown.size(), 0u);
    }
}

TEST(UpdateCheck, ProductWithoutLinksHasOnlyOkAndReportsNothing) {
    UpdateFixture f;
    f.serve("feed.xml", feedText("no-url.xml"));
    EXPECT_EQ(f.check(0), QStringList{QString("No links | ") + kDefault});
    EXPECT_EQ(f.buttonsSeen, QStringList{"OK"});
    EXPECT_EQ(f.presenter.shown[0].request.informativeText, QStringLiteral("Read the site."));
    EXPECT_TRUE(f.opened.isEmpty());
    EXPECT_TRUE(f.events.empty());
}

TEST(UpdateCheck, NagEnd) {
    const struct {
        const char* nagEnd;
        bool alert;
    } rows[] = {
        {"2026-11-30T00:00:00Z GMT", false},
        {"2027-01-01T00:00:00Z UTC", true},
        {"2026-12-01T12:30:00Z Europe/Berlin", false},  // 11:30 UTC: just past
        {"2026-12-01T13:30:00Z Europe/Berlin", true},   // 12:30 UTC
        {"soon", true},                                 // unreadable: no end
        {"2026-11-30T00:00:00Z Nowhere/City", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.nagEnd);
        UpdateFixture f;
        f.serve("feed.xml", feedText("nag-end.xml", {{"@NAG_END@", row.nagEnd}}));
        f.mark("org.zym.Radio_gm_12", 8);
        EXPECT_EQ(f.check().size(), row.alert ? 1 : 0);
    }
}

TEST(UpdateCheck, RedirectServesOneCheckOnly) {
    UpdateFixture f;
    f.serveJson(QJsonObject{{"path", QString::fromStdString(f.prefix + "feed.xml")},
                            {"exact", true},
                            {"kind", "redirect"},
                            {"to", QString::fromStdString(f.prefix + "moved.xml")}});
    f.serve("moved.xml", feedText("two-spins.xml"));
    EXPECT_EQ(f.check().size(), 1);
    f.markers->clear();
    EXPECT_EQ(f.check().size(), 1);
    EXPECT_EQ(f.requestedPaths(), (std::vector<std::string>{"feed.xml", "moved.xml", "feed.xml", "moved.xml"}));
}

TEST(UpdateCheck, FailedDownloadsShowNothingAndTheNextCheckWorks) {
    const struct {
        const char* name;
        std::function<void(UpdateFixture&)> serve;
    } rows[] = {
        {"NotFoundHtml", [](UpdateFixture& f) { f.serve("feed.xml", feedText("not-found.html"), 404); }},
        {"NotFoundWithAFeed", [](UpdateFixture& f) { f.serve("feed.xml", feedText("two-spins.xml"), 404); }},
        {"NotXml", [](UpdateFixture& f) { f.serve("feed.xml", "this is not XML at all {"); }},
        {"XmlWithoutFeed", [](UpdateFixture& f) { f.serve("feed.xml", "<html><body/></html>"); }},
        {"SilentPastTimeout",
         [](UpdateFixture& f) {
             f.serveJson(QJsonObject{
                 {"path", QString::fromStdString(f.prefix + "feed.xml")}, {"exact", true}, {"silent", true}});
         }},
        {"RedirectLoop",
         [](UpdateFixture& f) {
             f.serveJson(QJsonObject{{"path", QString::fromStdString(f.prefix + "feed.xml")},
                                     {"exact", true},
                                     {"kind", "redirect"},
                                     {"to", QString::fromStdString(f.prefix + "feed.xml")}});
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        UpdateFixture f;
        row.serve(f);
        EXPECT_TRUE(f.check().isEmpty());
        EXPECT_TRUE(f.markers->allKeys().isEmpty());
        f.serve("feed.xml", feedText("two-spins.xml"));
        EXPECT_EQ(f.check().size(), 1);
    }
}

TEST(UpdateCheck, CheckDuringADownloadCancelsIt) {
    UpdateFixture f;
    f.serveJson(
        QJsonObject{{"path", QString::fromStdString(f.prefix + "feed.xml")}, {"exact", true}, {"silent", true}});
    f.controller->checkForUpdates();
    ASSERT_TRUE(
        platform::RunLoop::Current().RunUntil([&] { return !f.requestedPaths().empty(); }, zymtest::Scaled(10s)));
    f.serve("feed.xml", feedText("two-spins.xml"));
    EXPECT_EQ(f.check().size(), 1);
    EXPECT_EQ(f.requestedPaths().size(), 2u);
    // The first download was given up: nothing more arrives from it.
    platform::RunLoop::Current().RunFor(std::chrono::milliseconds(600));
    EXPECT_EQ(f.presenter.shown.size(), 1u);
}

TEST(UpdateChoices, OpensOnlyHttpsOnAllowedHosts) {
    const struct {
        const char* name;
        const char* download;
        const char* info;
        int button;  // 0 download now, 1 more info, 2 later
        const char* allowed;
        const char* opened;  // nullptr: nothing
        std::vector<int> events;
    } rows[] = {
        {"DownloadNow", "https://127.0.0.1/d", "https://127.0.0.1/i", 0, "", "https://127.0.0.1/d", {6600}},
        {"MoreInfo", "https://127.0.0.1/d", "https://127.0.0.1/i", 1, "", "https://127.0.0.1/i", {6601}},
        {"Later", "https://127.0.0.1/d", "https://127.0.0.1/i", 2, "", nullptr, {6601}},
        {"Dismissed", "https://127.0.0.1/d", "https://127.0.0.1/i", -1, "", nullptr, {}},
        {"PlainHttp", "http://127.0.0.1/d", "https://127.0.0.1/i", 0, "", nullptr, {}},
        {"ForeignHost", "https://evil.example/d", "https://127.0.0.1/i", 0, "", nullptr, {}},
        {"ForeignInfo", "https://127.0.0.1/d", "https://evil.example/i", 1, "", nullptr, {}},
        {"AllowedHost",
         "https://downloads.zym.example/d",
         "https://127.0.0.1/i",
         0,
         "mirror.example,downloads.zym.example",
         "https://downloads.zym.example/d",
         {6600}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        UpdateFixture f;
        f.defaults.setString("update_allowed_hosts", row.allowed);
        f.serve("feed.xml", feedText("choices.xml", {{"@DOWNLOAD@", row.download}, {"@INFO@", row.info}}));
        EXPECT_EQ(f.check(row.button).size(), 1);
        EXPECT_EQ(f.buttonsSeen, (QStringList{"Download Now", "More Info", "Download Later"}));
        EXPECT_EQ(f.opened, row.opened ? QStringList{row.opened} : QStringList{});
        EXPECT_EQ(f.events, row.events);
    }
}

// The choice's event goes through the real analytics queue to the endpoint.
TEST(UpdateChoices, DownloadNowReachesTheAnalyticsEndpoint) {
    UpdateFixture f;
    const std::string endpoint = f.prefix + "b/ss//6";
    f.serve("b/ss//6", "ok");
    UserDefaults liaisonDefaults(f.dir.filePath("liaison.conf"));
    liaisonDefaults.setString("ZYMLiaisonURL", QString::fromStdString(f.server.Url(endpoint)));
    ZYMLiaison::Dependencies d;
    d.defaults = &liaisonDefaults;
    d.supportFolder = [&] { return f.dir.path(); };
    ZYMLiaison liaison(std::move(d));
    ASSERT_TRUE(liaison.events().has_value());  // the bundle's table

    SoftwareUpdateController::Dependencies ud;
    ud.defaults = &f.defaults;
    ud.presenter = &f.presenter;
    ud.clock = &f.clock;
    ud.markers = f.markers;
    ud.openURL = [&](const QUrl& u) {
        f.opened << u.toString();
        return true;
    };
    ud.reportEvent = [&](int n) { liaison.reportEvent(n); };
    ud.currentProduct = ProductInfo{"gm", "org.zym.Radio", "9"};
    SoftwareUpdateController controller(std::move(ud));
    f.serve("feed.xml", feedText("choices.xml", {{"@DOWNLOAD@", "https://127.0.0.1/d"}, {"@INFO@", ""}}));
    controller.checkForUpdates();
    ASSERT_TRUE(
        platform::RunLoop::Current().RunUntil([&] { return f.presenter.waiting() == 1; }, zymtest::Scaled(20s)));
    f.presenter.answer(0);
    EXPECT_EQ(f.opened, QStringList{"https://127.0.0.1/d"});
    std::vector<zymtest::RecordedRequest> posts;
    ASSERT_TRUE(platform::RunLoop::Current().RunUntil(
        [&] {
            posts = f.server.Requests(endpoint);
            return !posts.empty();
        },
        zymtest::Scaled(20s)));
    EXPECT_EQ(posts[0].method, "POST");
    EXPECT_NE(posts[0].body.find("<pagename>Software Update: Download Now</pagename>"), std::string::npos)
        << posts[0].body;
}

TEST(UpdateDecision, MarkerAndSpinRules) {
    UpdateFixture f;
    ProductInfo p{"gm", "org.zym.Radio", "12"};
    EXPECT_FALSE(f.controller->updatePrefsContainProduct(p));
    f.mark("ORG.ZYM.RADIO_GM_12", 1);  // any case
    EXPECT_TRUE(f.controller->updatePrefsContainProduct(p));
    p.spin = "13";
    EXPECT_FALSE(f.controller->updatePrefsContainProduct(p));
    p.spin = "";
    EXPECT_TRUE(f.controller->updatePrefsContainProduct(p));
    // An identifier that itself holds "_" does not take another product's marker.
    ProductInfo q{"gm", "org.zym", "1"};
    f.mark("org.zym_gm_Radio_gm_5", 1);
    EXPECT_FALSE(f.controller->updatePrefsContainProduct(q));
    f.controller->addProductToUpdatePrefs(ProductInfo{"gm", "org.zym.Radio", "14"});
    EXPECT_TRUE(f.markers->contains("org.zym.Radio_gm_14"));
    EXPECT_FALSE(f.markers->contains("ORG.ZYM.RADIO_GM_12"));
    EXPECT_EQ(QDateTime::fromString(f.markers->value("org.zym.Radio_gm_14").toString(), Qt::ISODateWithMs), kNow);
}

}  // namespace

namespace {

TEST(UpdateTimer, FirstAfterThirtySecondsThenTheInterval) {
    const struct {
        const char* name;
        QVariant interval;  // invalid: absent
        std::vector<int> checksAtSeconds;
    } rows[] = {
        {"Absent", QVariant(), {30, 86430}},      {"Zero", 0, {30, 86430}},
        {"FractionBelowOne", 0.7, {30, 86430}},   {"Hour", 3600.9, {30, 3630, 7230}},
        {"NegativeStopsAfterTheFirst", -1, {30}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        UserDefaults defaults(dir.filePath("d.conf"));
        if (row.interval.isValid()) defaults.setObject("update_check_interval", row.interval);
        FakeScheduler scheduler;
        std::vector<int> checks;
        SoftwareUpdateTimer timer(defaults, scheduler,
                                  [&] { checks.push_back(int(scheduler.elapsed().count() / 1000)); });
        timer.start();
        scheduler.advance(std::chrono::seconds(86500));
        std::vector<int> expected = row.checksAtSeconds;
        // The hourly timer runs on all day: its first three checks tell its pace.
        if (row.checksAtSeconds.size() == 3 && checks.size() > 3) checks.resize(3);
        EXPECT_EQ(checks, expected);
    }
}

}  // namespace
