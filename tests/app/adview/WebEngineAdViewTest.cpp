#include "app/adview/WebEngineAdView.h"

#include "support/Env.h"
#include "support/TestServer.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>

#include <gtest/gtest.h>

#include <unistd.h>

// The prebuilt engine frees some objects through a base without a virtual destructor and
// keeps caches to the end of the process: neither is ours to mend.
extern "C" const char* __asan_default_options() { return "new_delete_type_mismatch=0:detect_leaks=0"; }
// The test command turns leak checking on for every test: what the prebuilt engine and the
// system libraries under it keep at exit is theirs.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libQt6WebEngineCore\nleak:libfontconfig\nleak:libudev\nleak:libdbus-1\n";
}

namespace {

using zymtest::TestServer;

std::string Data(const char* name) {
    QFile file(QString::fromStdString(zymtest::DataPath(std::string("ads/") + name)));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll().toStdString();
}

bool WaitFor(const std::function<bool()>& done, int ms = 30000) {
    return QTest::qWaitFor(done, static_cast<int>(zymtest::Scaled(std::chrono::milliseconds(ms)).count()));
}

class WebEngineAdViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The engine's sandbox refuses to run as root.
        if (geteuid() == 0) setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox", 0);
        ASSERT_TRUE(home_.isValid());
        saved_ = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", home_.path().toUtf8());
    }
    void TearDown() override { qputenv("XDG_CACHE_HOME", saved_); }

    AdController::UrlOpener Opener() {
        return [this](const QUrl& url) { opened_ << url.toString(); };
    }
    bool Requested(const std::string& prefix) { return !TestServer::Get().Requests(prefix).empty(); }

    QTemporaryDir home_;
    QByteArray saved_;
    QStringList opened_;
};

TEST_F(WebEngineAdViewTest, ScriptAdRunsAndStaysContained) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    auto body = [&](const std::string& path, const std::string& text, const char* type) {
        return QJsonObject{{"path", QString::fromStdString(prefix + path)},
                           {"body", QString::fromStdString(text)},
                           {"headers", QJsonArray{QJsonArray{"Content-Type", type}}}};
    };
    server.Script(QJsonArray{
        body("file/adsWrapper.js", Data("adsWrapper.js"), "application/javascript"),
        body("file/adsEnd.js", Data("adsEnd.js"), "application/javascript"),
        body("html/ad", Data("ad.html"), "text/html"),
        body("", "<html><body>elsewhere</body></html>", "text/html"),
    });
    QString host = QString::fromStdString(server.Url(prefix)).mid(7);
    host.chop(1);  // the prefix goes before "/file/..." and "/html"
    const AdHosts hosts{host, host, host};

    WebEngineAdView view(home_.path() + "/banner.png");
    view.resize(300, 250);
    view.show();
    AdController ads(view, hosts, home_.path() + "/banner.png", nullptr, Opener());
    view.setController(&ads);
    ads.displayAdWithMagicNumber("48213", QSizeF(300, 250));

    // The page's script ran: the network's page was asked for with the magic number.
    ASSERT_TRUE(WaitFor([&] { return Requested(prefix + "html/ad"); }));
    EXPECT_EQ(server.Requests(prefix + "html/ad")[0].query, "m=48213&w=300&h=250");
    ASSERT_TRUE(WaitFor([&] { return view.title() == QLatin1String("ad ready"); }));

    // Its window opening went to the browser.
    const QString popup = QString::fromStdString(server.Url(prefix + "popup"));
    ASSERT_TRUE(WaitFor([&] { return opened_.contains(popup); })) << opened_.join(' ').toStdString();

    // A click on the ad too, and the view keeps its page.
    const QString clicked = QString::fromStdString(server.Url("/clicked"));
    view.page()->runJavaScript(QStringLiteral("document.getElementById('link').click();"));
    ASSERT_TRUE(WaitFor([&] { return opened_.contains(clicked); })) << opened_.join(' ').toStdString();
    EXPECT_TRUE(view.url().path().endsWith("/html/ad"));

    // The form and the navigation elsewhere, both tried before the click, never left.
    EXPECT_FALSE(Requested(prefix + "html/form"));
    EXPECT_FALSE(Requested(prefix + "foreign"));
    EXPECT_FALSE(Requested(prefix + "popup")) << "the hidden page loads nothing itself";
}

// The view showing the static page for the picture `shown`, its own banner being
// banner.png; both pictures are red bars.
struct StaticAd {
    StaticAd(const QString& folder, const QString& shown, AdController::UrlOpener opener)
        : view(folder + "/banner.png") {
        QImage bar(200, 40, QImage::Format_RGB32);
        bar.fill(QColor(200, 30, 30));
        EXPECT_TRUE(bar.save(shown));
        view.resize(300, 250);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
        QObject::connect(view.page(), &QWebEnginePage::loadFinished, [this](bool ok) { loaded = ok; });
        ads = std::make_unique<AdController>(view, AdHosts{"ads.invalid", "img.invalid", "go.invalid"}, shown, nullptr,
                                             std::move(opener));
        view.setController(ads.get());
    }
    WebEngineAdView view;
    std::unique_ptr<AdController> ads;
    bool loaded = false;
};

TEST_F(WebEngineAdViewTest, StaticBannerShows) {
    StaticAd ad(home_.path(), home_.path() + "/banner.png", Opener());
    ASSERT_TRUE(WaitFor([&] { return ad.loaded; }));
    // Painting follows the load.
    QImage shot;
    const bool drawn = WaitFor([&] {
        shot = ad.view.grab().toImage();
        return shot.pixelColor(150, 125) == QColor(200, 30, 30);
    });
    if (const char* out = std::getenv("ZYM_SCREENSHOT_DIR")) shot.save(QString(out) + "/ad-static.png");
    EXPECT_TRUE(drawn) << "centre " << shot.pixelColor(150, 125).name().toStdString();
    EXPECT_EQ(shot.pixelColor(5, 5), QColor(211, 211, 211)) << "lightgray around the banner";
}

TEST_F(WebEngineAdViewTest, PagesReadNoOtherFile) {
    // A picture other than the view's banner stands for any file a page may name.
    StaticAd ad(home_.path(), home_.path() + "/other.png", Opener());
    ASSERT_TRUE(WaitFor([&] { return ad.loaded; }));
    bool complete = false;
    ad.view.page()->runJavaScript(QStringLiteral("document.images[0].complete && document.images[0].naturalWidth"),
                                  [&](const QVariant& width) {
                                      EXPECT_EQ(width.toInt(), 0) << "the picture was refused";
                                      complete = true;
                                  });
    ASSERT_TRUE(WaitFor([&] { return complete; }));
}

}  // namespace
