#include "app/adview/panel/AdPanelView.h"

#include "app/adview/WebEngineAdView.h"
#include "AdViewFixture.h"

#include <QImage>

namespace {

using adviewtest::WaitFor;
using zymtest::TestServer;

// The panel as the program makes it, with a web view made in process and counted.
class AdPanelViewTest : public adviewtest::AdViewTest {
protected:
    void Make(const AdHosts& hosts) {
        const QString banner = home_.path() + "/banner.png";
        QImage bar(200, 40, QImage::Format_RGB32);
        bar.fill(QColor(200, 30, 30));
        ASSERT_TRUE(bar.save(banner));
        panel_ = std::make_unique<AdPanelView>(
            QString(), [this](QWidget* parent, AdController* controller, const QString& path, AdView** view) {
                ++made_;
                auto* web = new WebEngineAdView(path, parent);
                web->setController(controller);
                *view = web;
                return web;
            });
        panel_->resize(300, 250);
        panel_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panel_.get()));
        ads_ = std::make_unique<AdController>(*panel_, hosts, banner, nullptr, Opener());
        panel_->setController(ads_.get());
    }
    void TearDown() override {
        ads_.reset();
        panel_.reset();
        AdViewTest::TearDown();
    }
    std::unique_ptr<AdPanelView> panel_;
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
    EXPECT_EQ(shot.pixelColor(150, 125), QColor(200, 30, 30)) << "the banner in the middle";
    EXPECT_EQ(shot.pixelColor(5, 5), QColor(211, 211, 211)) << "lightgray around it";
}

// The first ad makes the web view, once; from then on every page is its, the house
// banner's too.
TEST_F(AdPanelViewTest, TheFirstAdMakesTheWebViewOnce) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    std::string image = server.Url(prefix).substr(7);
    image.pop_back();
    Make(AdHosts{"", QString::fromStdString(image), QString::fromStdString(image)});
    EXPECT_EQ(made_, 0);
    ads_->displayAdWithImageURL("/ad/1.gif", "48213");
    ASSERT_EQ(made_, 1);
    ASSERT_NE(panel_->webView(), nullptr);
    EXPECT_TRUE(panel_->webView()->isVisible());
    EXPECT_EQ(panel_->webView()->size(), QSize(300, 250));
    // The web view shows the image ad: its picture is asked for.
    ASSERT_TRUE(WaitFor([&] { return Requested(prefix + "ad/1.gif"); }));
    auto* web = static_cast<WebEngineAdView*>(panel_->webView());
    ads_->resetToStaticAd();
    ASSERT_TRUE(WaitFor([&] { return web->url().fileName().startsWith(QLatin1String("zymradio_ad_")); }));
    ads_->displayAdWithImageURL("/ad/2.gif", "48214");
    ASSERT_TRUE(WaitFor([&] { return Requested(prefix + "ad/2.gif"); }));
    EXPECT_EQ(made_, 1);
}

}  // namespace
