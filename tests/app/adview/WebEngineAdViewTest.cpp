#include "app/adview/WebEngineAdView.h"

#include "app/foundation/NSLog.h"
#include "AdViewFixture.h"

#include <QFile>
#include <QImage>
#include <QWebEnginePage>

// The prebuilt engine frees some objects through a base without a virtual destructor and
// keeps caches to the end of the process: neither is ours to mend.
extern "C" const char* __asan_default_options() { return "new_delete_type_mismatch=0:detect_leaks=0"; }
// The test command turns leak checking on for every test: what the prebuilt engine and the
// system libraries under it keep at exit is theirs.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libQt6WebEngineCore\nleak:libfontconfig\nleak:libudev\nleak:libdbus-1\n";
}

namespace {

using adviewtest::WaitFor;
using zymtest::TestServer;

std::string Data(const char* name) {
    QFile file(QString::fromStdString(zymtest::DataPath(std::string("ads/") + name)));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll().toStdString();
}

class WebEngineAdViewTest : public adviewtest::AdViewTest {
protected:
    // The view showing the script ad of the network at `prefix` (TLS listener), whose
    // scripts and page are scripted by the caller.
    void ShowScriptAd(const std::string& prefix) {
        const std::string host = TlsHost(prefix);
        view_ = std::make_unique<WebEngineAdView>(home_.path() + "/banner.png");
        view_->resize(300, 250);
        view_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
        ads_ = std::make_unique<AdController>(*view_, AdHosts{QString::fromStdString(host), "", ""},
                                              home_.path() + "/banner.png", nullptr, Opener());
        view_->setController(ads_.get());
        ads_->displayAdWithMagicNumber("48213", QSizeF(300, 250));
    }
    void SetUp() override {
        AdViewTest::SetUp();
        previousSink_ = SetNSLogSink([this](const QString& m) { logged_ << m; });
    }
    void TearDown() override {
        ads_.reset();
        view_.reset();
        SetNSLogSink(previousSink_);
        AdViewTest::TearDown();
    }
    // Input reaches a page only once it is on screen.
    bool Painted(QColor colour) {
        return WaitFor([&] { return view_->grab().toImage().pixelColor(5, 5) == colour; });
    }
    // A click of the listener's at `at` in the view.
    void Click(QPoint at) {
        QWidget* input = view_->focusProxy() ? view_->focusProxy() : view_.get();
        QTest::mouseMove(input, at);
        QTest::mouseClick(input, Qt::LeftButton, {}, at);
    }

    std::unique_ptr<WebEngineAdView> view_;
    std::unique_ptr<AdController> ads_;
    NSLogSink previousSink_;
    QStringList logged_;
};

TEST_F(WebEngineAdViewTest, ScriptAdComesOverHttpsAndStaysContained) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    server.Script(QJsonArray{
        Body(prefix + "file/adsWrapper.js", Data("adsWrapper.js"), "application/javascript"),
        Body(prefix + "file/adsEnd.js", Data("adsEnd.js"), "application/javascript"),
        Body(prefix + "html/ad", Data("ad.html"), "text/html"),
        Body(prefix, "<html><body>elsewhere</body></html>", "text/html"),
    });
    ShowScriptAd(prefix);

    // The page's script ran, fetched over https (the only listener that has the host's
    // port): the network's page was asked for with the magic number.
    ASSERT_TRUE(WaitFor([&] { return Requested(prefix + "html/ad"); }));
    EXPECT_EQ(server.Requests(prefix + "html/ad")[0].query, "m=48213&w=300&h=250");
    ASSERT_TRUE(WaitFor([&] { return view_->title() == QLatin1String("ad ready"); }));
    ASSERT_TRUE(Painted(QColor(0x20, 0x50, 0xc0)));

    // The page's own navigation elsewhere and a scripted click go nowhere; the listener's
    // own click on the ad goes to the browser, and the view keeps its page.
    auto dropped = [&](const char* path) {
        return logged_.contains(QStringLiteral("Ad page: a link followed without a click was dropped: ") +
                                QString::fromStdString("https://" + TlsHost(prefix) + "/" + path));
    };
    ASSERT_TRUE(WaitFor([&] { return dropped("foreign"); })) << logged_.join('\n').toStdString();
    view_->page()->runJavaScript(QStringLiteral("document.getElementById('link').click();"));
    const QString clickedText =
        QStringLiteral("Ad page: a link followed without a click was dropped: https://%1/clicked")
            .arg(QString::fromStdString(TlsHost(prefix)).section('/', 0, 0));
    ASSERT_TRUE(WaitFor([&] { return logged_.contains(clickedText); })) << logged_.join('\n').toStdString();
    EXPECT_TRUE(desktop_.opened.isEmpty());
    Click(QPoint(150, 125));
    const QString clicked =
        QStringLiteral("https://%1/clicked").arg(QString::fromStdString(TlsHost(prefix)).section('/', 0, 0));
    ASSERT_TRUE(WaitFor([&] { return !desktop_.opened.isEmpty(); }));
    EXPECT_EQ(desktop_.opened, QStringList{clicked}) << desktop_.opened.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(view_->url().path().endsWith("/html/ad"));

    // Its window, the form and the navigation elsewhere, all tried before the click, never
    // left the page.
    EXPECT_FALSE(Requested(prefix + "html/form"));
    EXPECT_FALSE(Requested(prefix + "foreign"));
    EXPECT_FALSE(Requested(prefix + "popup"));
    EXPECT_TRUE(modals_.isEmpty()) << modals_.join(' ').toStdString();
}

// The ad network's script runs in the view's own file page: whatever it tries by itself,
// nothing is shown over the program and nothing reaches the desktop.
TEST_F(WebEngineAdViewTest, APageScriptGetsNoDialogWindowOrOpening) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    const std::string plain = server.Url(prefix);
    const std::string hostile = R"JS(
var adsBase = document.currentScript.src.replace(/\/file\/adsWrapper\.js$/, "");
var answers = [];
alert("hello");
answers.push(confirm("Leave?"));
answers.push(prompt("Your password?", "secret"));
function link(href, target) {
  var a = document.createElement("a");
  a.href = href;
  if (target) a.target = target;
  document.documentElement.appendChild(a);
  a.click();
}
// One attempt per turn of the page's loop, so none cancels another.
var attempts = [
  function () { window.open("file:///etc/passwd"); },
  function () { window.open(adsBase + "/popup/open"); },
  function () { window.open("PLAIN" + "popup/plain"); },
  function () { link("file:///etc/passwd"); },
  function () { link(adsBase + "/popup/link"); },
  function () { link(adsBase + "/popup/blank", "_blank"); },
  function () { link("mailto:someone@example.com"); },
  function () { link("zymradio:playstation?id=1"); },
];
function next(i) {
  if (i < attempts.length) {
    try { attempts[i](); } catch (e) {}
    setTimeout(function () { next(i + 1); }, 50);
  } else {
    new Image().src = adsBase + "/done?c=" + answers[0] + "&p=" + answers[1];
  }
}
function htmlAdWH(magic, width, height) { setTimeout(function () { next(0); }, 0); }
)JS";
    QString wrapper = QString::fromStdString(hostile);
    wrapper.replace(QStringLiteral("PLAIN"), QString::fromStdString(plain));
    server.Script(QJsonArray{
        Body(prefix + "file/adsWrapper.js", wrapper.toStdString(), "application/javascript"),
        Body(prefix + "file/adsEnd.js", Data("adsEnd.js"), "application/javascript"),
        Body(prefix + "done", "", "image/gif"),
    });
    ShowScriptAd(prefix);
    bool done = WaitFor([&] { return Requested(prefix + "done"); });
    // A round trip through the page after the mark: what the attempts before it asked of
    // the view has been decided by then.
    bool roundTrip = false;
    view_->page()->runJavaScript(QStringLiteral("1"), [&](const QVariant&) { roundTrip = true; });
    done = done && WaitFor([&] { return roundTrip; });
    ASSERT_TRUE(done);

    // The dialogs were answered as dismissed, never shown, and logged.
    EXPECT_EQ(server.Requests(prefix + "done")[0].query, "c=false&p=null");
    EXPECT_TRUE(modals_.isEmpty()) << modals_.join(' ').toStdString();
    for (const char* line : {"Ad page: alert dismissed: hello", "Ad page: confirm dismissed: Leave?",
                             "Ad page: prompt dismissed: Your password?"})
        EXPECT_TRUE(logged_.contains(QString::fromLatin1(line))) << line << "\n" << logged_.join('\n').toStdString();
    // Nothing reached the desktop or loaded anywhere.
    EXPECT_TRUE(desktop_.opened.isEmpty()) << desktop_.opened.join(' ').toStdString();
    EXPECT_FALSE(Requested(prefix + "popup"));
}

// The listener's clicks: http and https go to the browser, by link, new-window link or a
// window the click's script opens; nothing else leaves.
TEST_F(WebEngineAdViewTest, AClickOpensOnlyHttpAndHttpsInTheBrowser) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    const QString plain = QString::fromStdString(server.Url(prefix));
    struct Row {
        QString element;   // a block 25 pixels high
        QString expected;  // what the browser gets, "" for nothing
    };
    const QString secure = QStringLiteral("https://%1/").arg(QString::fromStdString(TlsHost(prefix)));
    const std::vector<Row> rows = {
        {"<a href='" + plain + "go/link'>", plain + "go/link"},
        {"<a href='file:///etc/passwd'>", ""},
        {"<a href='" + secure + "go/secure'>", secure + "go/secure"},
        {"<a href='ftp://127.0.0.1/go/ftp'>", ""},
        {"<a target='_blank' href='" + plain + "go/blank'>", plain + "go/blank"},
        {"<a href='mailto:someone@example.com'>", ""},
        {"<a onclick=\"window.open('" + plain + "go/open'); return false;\" href='#'>", plain + "go/open"},
    };
    QString page = QStringLiteral("<html><head><title>rows</title></head><body style='margin:0; background: #2050c0'>");
    for (const Row& row : rows)
        page += row.element.left(row.element.size() - 1) +
                QStringLiteral(" style='display:block; height:25px; margin:0'>row</a>");
    page += QStringLiteral("</body></html>");
    const std::string wrapper =
        R"JS(var adsBase = document.currentScript.src.replace(/\/file\/adsWrapper\.js$/, "");
function htmlAdWH(m, w, h) { location.href = adsBase + "/html/rows"; })JS";
    server.Script(QJsonArray{
        Body(prefix + "file/adsWrapper.js", wrapper, "application/javascript"),
        Body(prefix + "file/adsEnd.js", Data("adsEnd.js"), "application/javascript"),
        Body(prefix + "html/rows", page.toStdString(), "text/html"),
    });
    ShowScriptAd(prefix);
    ASSERT_TRUE(WaitFor([&] { return view_->title() == QLatin1String("rows"); }));
    ASSERT_TRUE(Painted(QColor(0x20, 0x50, 0xc0)));

    QStringList expected;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        Click(QPoint(150, int(25 * i + 12)));
        if (rows[i].expected.isEmpty()) continue;
        // Each opening comes after whatever the clicks before it did.
        expected << rows[i].expected;
        ASSERT_TRUE(WaitFor([&] { return desktop_.opened.size() >= expected.size(); }))
            << i << ": " << desktop_.opened.join(' ').toStdString();
        EXPECT_EQ(desktop_.opened, expected) << i << ": " << desktop_.opened.join(QLatin1Char(' ')).toStdString();
    }
    EXPECT_TRUE(view_->url().path().endsWith("/html/rows"));
    EXPECT_FALSE(Requested(prefix + "go")) << "the view itself went nowhere";
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
    // Nor by a script's request.
    bool read = false;
    ad.view.page()->runJavaScript(
        QStringLiteral("(function () { var x = new XMLHttpRequest();"
                       " try { x.open('GET', 'file:///etc/passwd', false); x.send(); return x.responseText.length; }"
                       " catch (e) { return -1; } })()"),
        [&](const QVariant& length) {
            EXPECT_LE(length.toInt(), 0) << "the file was read";
            read = true;
        });
    ASSERT_TRUE(WaitFor([&] { return read; }));
}

}  // namespace
