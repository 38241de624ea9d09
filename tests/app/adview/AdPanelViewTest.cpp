#include "app/adview/panel/AdPanelView.h"

#include "app/adview/WebEngineAdView.h"
#include "app/ui/WindowHelpers.h"
#include "AdViewFixture.h"

#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QWindow>

namespace {

using adviewtest::WaitFor;
using zymtest::TestServer;

const QColor kAdBlue(0x20, 0x50, 0xc0);
const QSize kPanelSize(320, 260);

// The panel as the program makes it, beside the rest of a window, with a web view made in
// process and counted.
class AdPanelViewTest : public adviewtest::AdViewTest {
protected:
    void Make(const AdHosts& hosts) {
        const QString banner = home_.path() + "/banner.png";
        QImage bar(200, 40, QImage::Format_RGB32);
        bar.fill(QColor(200, 30, 30));
        ASSERT_TRUE(bar.save(banner));
        window_ = std::make_unique<QWidget>();
        auto* row = new QHBoxLayout(window_.get());
        rest_ = new QLabel(QStringLiteral("the lists"));
        rest_->setMinimumSize(200, kPanelSize.height());
        row->addWidget(rest_);
        panel_ = new AdPanelView(
            QString(),
            [this](AdController* controller, const QString& path, AdView** view) {
                ++made_;
                auto* web = new WebEngineAdView(path);
                web->setController(controller);
                *view = web;
                return web;
            },
            window_.get());
        panel_->setFixedSize(kPanelSize);
        row->addWidget(panel_, 0, Qt::AlignTop);
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        ads_ = std::make_unique<AdController>(*panel_, hosts, banner, nullptr, Opener());
        panel_->setController(ads_.get());
    }
    // host:port and the prefix (without its last slash) on the plain listener.
    static std::string PlainHost(const std::string& prefix) {
        std::string host = TestServer::Get().Url(prefix).substr(7);
        host.pop_back();
        return host;
    }
    void TearDown() override {
        ads_.reset();
        window_.reset();
        AdViewTest::TearDown();
    }
    std::unique_ptr<QWidget> window_;
    QLabel* rest_ = nullptr;
    AdPanelView* panel_ = nullptr;
    std::unique_ptr<AdController> ads_;
    int made_ = 0;
};

// No ad network: the stream's banners change nothing, the house banner is drawn without a
// web engine.
TEST_F(AdPanelViewTest, WithoutAnAdHostNoWebViewIsMade) {
    Make(AdHosts{});
    ads_->displayAdWithMagicNumber("48213", QSizeF(300, 250));
    ads_->displayAdWithImageURL("/ad/1.gif", "48213");
    ads_->resetToStaticAd();
    EXPECT_EQ(made_, 0);
    EXPECT_EQ(panel_->webView(), nullptr);
    const QImage shot = panel_->grab().toImage();
    EXPECT_EQ(shot.pixelColor(160, 130), QColor(200, 30, 30)) << "the banner in the middle";
    EXPECT_EQ(shot.pixelColor(5, 5), QColor(211, 211, 211)) << "lightgray around it";
}

// The first ad makes the web view, once; from then on every page is its, the house
// banner's too.
TEST_F(AdPanelViewTest, TheFirstAdMakesTheWebViewOnce) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    const QString image = QString::fromStdString(PlainHost(prefix));
    Make(AdHosts{"", image, image});
    EXPECT_EQ(made_, 0);
    ads_->displayAdWithImageURL("/ad/1.gif", "48213");
    ASSERT_EQ(made_, 1);
    ASSERT_NE(panel_->webView(), nullptr);
    EXPECT_TRUE(panel_->webView()->isVisible());
    EXPECT_TRUE(WaitFor([&] { return panel_->webView()->size() == kPanelSize; }))
        << panel_->webView()->width() << "x" << panel_->webView()->height();
    // The web view shows the image ad: its picture is asked for.
    ASSERT_TRUE(WaitFor([&] { return Requested(prefix + "ad/1.gif"); }));
    auto* web = static_cast<WebEngineAdView*>(panel_->webView());
    ads_->resetToStaticAd();
    ASSERT_TRUE(WaitFor([&] { return web->url().fileName().startsWith(QLatin1String("zymradio_ad_")); }));
    ads_->displayAdWithImageURL("/ad/2.gif", "48214");
    ASSERT_TRUE(WaitFor([&] { return Requested(prefix + "ad/2.gif"); }));
    EXPECT_EQ(made_, 1);
}

// The web view is a window of its own held in the window, which stays drawn without
// OpenGL: the web view goes where the panel goes, as large as the panel, shows in the
// window's picture, and the listener's click on it reaches the browser.
TEST_F(AdPanelViewTest, TheWebViewIsAWindowOfItsOwnWhereThePanelIs) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    server.Script(QJsonArray{Body(prefix + "ad/1.gif",
                                  "<svg xmlns='http://www.w3.org/2000/svg' width='300' height='250'>"
                                  "<rect width='300' height='250' fill='#2050c0'/></svg>",
                                  "image/svg+xml")});
    const QString host = QString::fromStdString(PlainHost(prefix));
    Make(AdHosts{"", host, host});
    ads_->displayAdWithImageURL("/ad/1.gif", "48213");
    QWidget* web = panel_->webView();
    ASSERT_NE(web, nullptr);
    ASSERT_TRUE(WaitFor([&] { return web->grab().toImage().pixelColor(150, 125) == kAdBlue; }));
    // Under X a web view among the window's widgets would make the window an OpenGL one.
    EXPECT_EQ(window_->windowHandle()->surfaceType(), QSurface::RasterSurface);
    EXPECT_TRUE(web->isWindow());
    ASSERT_NE(web->windowHandle(), nullptr);
    EXPECT_EQ(web->windowHandle()->parent(), window_->windowHandle());

    // The layout moves the panel: the web view's window follows it.
    const QPoint before = panel_->mapTo(window_.get(), QPoint());
    rest_->setMinimumWidth(rest_->width() + 40);
    ASSERT_TRUE(WaitFor([&] { return panel_->mapTo(window_.get(), QPoint()) != before; }));
    ASSERT_TRUE(WaitFor([&] {
        return web->windowHandle() && web->windowHandle()->position() == panel_->mapTo(window_.get(), QPoint());
    })) << "the web view's window stayed at "
        << web->windowHandle()->position().x();
    EXPECT_EQ(window_->windowHandle()->surfaceType(), QSurface::RasterSurface);

    // The window's picture holds the ad in the panel, and only there.
    const QImage shot = grabWithInnerWindows(window_.get()).toImage();
    if (const char* out = std::getenv("ZYM_SCREENSHOT_DIR")) shot.save(QString(out) + "/ad-panel-window.png");
    EXPECT_EQ(shot.pixelColor(panel_->mapTo(window_.get(), QPoint(150, 125))), kAdBlue);
    EXPECT_NE(shot.pixelColor(rest_->mapTo(window_.get(), QPoint(5, 5))), kAdBlue);
    EXPECT_NE(window_->grab().toImage().pixelColor(panel_->mapTo(window_.get(), QPoint(150, 125))), kAdBlue)
        << "a grab alone leaves the web view out";

    // The listener's click, through the web view's window, goes to the browser.
    QTest::mouseMove(web->windowHandle(), QPoint(150, 125));
    QTest::mouseClick(web->windowHandle(), Qt::LeftButton, {}, QPoint(150, 125));
    ASSERT_TRUE(WaitFor([&] { return !desktop_.opened.isEmpty(); }));
    EXPECT_EQ(desktop_.opened,
              QStringList{QStringLiteral("http://%1/radio/VarnowspindleRedirectServlet?id=48213").arg(host)});

    // Closed and reopened as the window does it: collapsed and hidden, then its size again.
    panel_->setFixedSize(0, 0);
    panel_->hide();
    ASSERT_TRUE(WaitFor([&] { return !web->isVisible(); }));
    panel_->setFixedSize(kPanelSize);
    panel_->show();
    EXPECT_TRUE(WaitFor([&] { return web->isVisible() && web->size() == kPanelSize; }))
        << web->width() << "x" << web->height();
}

}  // namespace
