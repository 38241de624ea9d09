#include "app/support/AdController.h"

#include "app/foundation/NSLog.h"
#include "app/foundation/UserDefaults.h"
#include "support/Env.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString Golden(const char* name) {
    QFile file(QString::fromStdString(zymtest::DataPath(std::string("ads/") + name)));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return QString::fromUtf8(file.readAll());
}

class RecordingView : public AdView {
public:
    QStringList loads;  // "url <url>" or "html <text>"
    int stops = 0;
    void loadUrl(const QUrl& url) override { loads << "url " + url.toString(); }
    void loadHtml(const QString& html) override { loads << "html " + html; }
    void stopLoading() override { ++stops; }
};

class Delegate : public AdControllerDelegate {
public:
    bool display = true;
    QStringList calls;
    bool shouldAdDisplay() override {
        calls << "should";
        return display;
    }
    void adWillChange() override { calls << "will"; }
    void adDidChange() override { calls << "did"; }
};

const AdHosts kHosts{"ads.example:8080", "img.example", "go.example"};

// Each test gets a cache folder of its own.
class AdControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        saved_ = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", home_.path().toUtf8());
        opened_.clear();
    }
    void TearDown() override { qputenv("XDG_CACHE_HOME", saved_); }

    QString Folder() const { return home_.path() + "/zymradio"; }
    QString File(int n) const { return Folder() + QStringLiteral("/zymradio_ad_%1.html").arg(n); }
    QString FileUrl(int n) const { return "url file://" + File(n); }
    AdController::UrlOpener Opener() {
        return [this](const QUrl& url) { opened_ << url.toString(); };
    }

    QTemporaryDir home_;
    QByteArray saved_;
    QStringList opened_;
};

TEST_F(AdControllerTest, PagesEqualTheHandWrittenOnes) {
    EXPECT_EQ(AdController::staticPage("file:///opt/zymradio/share/banner.png"), Golden("static.html"));
    EXPECT_EQ(AdController::scriptPage(kHosts.script, "48213-77", QSizeF(300.7, -5)), Golden("script.html"));
    EXPECT_EQ(AdController::imagePage(kHosts, "/banners/radio/48213.gif", "48213"), Golden("image.html"));
    // Doubled slashes fold into one; a path without its own slash gets one.
    EXPECT_EQ(AdController::imagePage(kHosts, "banners//radio/48213.gif", "48213"), Golden("image.html"));
}

TEST_F(AdControllerTest, ValuesFromTheStreamStayInert) {
    const QStringList hostile = {"'",   "\"",   "</script>", "\"><img src=x onerror=alert(1)>", "1');alert('x",
                                 "\\'", "a\nb", "&amp;"};
    for (const QString& value : hostile) {
        const QString script = AdController::scriptPage(kHosts.script, value, QSizeF(300, 250));
        const QString call = script.section('\n', 5, 5);
        // The value cannot close its string or its element: exactly the two quotes of the
        // string, one element, no markup.
        const QString inside = call.section("htmlAdWH('", 1).section("', '300', '250');</script>", 0, 0);
        EXPECT_FALSE(inside.contains('\'') || inside.contains('"') || inside.contains('<') || inside.contains('>') ||
                     inside.contains('\n') || inside.contains('&'))
            << value.toStdString() << " -> " << call.toStdString();
        EXPECT_FALSE(inside.contains(QRegularExpression(R"(\\(?!u[0-9a-f]{4}))")))
            << "a bare backslash: " << inside.toStdString();

        const QString image = AdController::imagePage(kHosts, "/x/" + value + ".gif", value);
        EXPECT_EQ(image.count('"'), 4) << image.toStdString();
        EXPECT_EQ(image.count('<'), 9) << image.toStdString();
        EXPECT_EQ(image.count('>'), 9) << image.toStdString();
        EXPECT_FALSE(image.contains('\n'));
    }
}

TEST_F(AdControllerTest, FilesAlternateAcrossControllers) {
    RecordingView view1, view2;
    {
        AdController first(view1, kHosts, "/b/banner.png", nullptr, Opener());
        first.displayAdWithMagicNumber("1", QSizeF(300, 250));
        first.displayAdWithImageURL("/a.gif", "2");
        EXPECT_EQ(view1.loads, (QStringList{FileUrl(1), FileUrl(2), FileUrl(1)}));
        EXPECT_EQ(QFile(File(1)).size(), AdController::imagePage(kHosts, "/a.gif", "2").toUtf8().size());

        // The number is the process's, not the controller's.
        AdController second(view2, kHosts, "/b/banner.png", nullptr, Opener());
        first.displayAdWithMagicNumber("3", QSizeF(300, 250));
        EXPECT_EQ(view2.loads, QStringList{FileUrl(2)});
        EXPECT_EQ(view1.loads.last(), FileUrl(1));
        EXPECT_TRUE(AdController::isKnownCacheFile(File(2)));
        EXPECT_TRUE(AdController::isKnownCacheFile("file://" + File(2)));
        EXPECT_FALSE(AdController::isKnownCacheFile("file://" + Folder() + "/zymradio_ad_3.html"));
    }
    // Destruction removes the files and forgets them.
    EXPECT_FALSE(QFile::exists(File(1)));
    EXPECT_FALSE(QFile::exists(File(2)));
    EXPECT_FALSE(AdController::isKnownCacheFile(File(1)));
    EXPECT_GE(view1.stops, 1);
}

TEST_F(AdControllerTest, StaticBannerLoadsOnce) {
    RecordingView view;
    Delegate delegate;
    AdController ads(view, kHosts, "/b/banner.png", &delegate, Opener());
    ads.resetToStaticAd();
    ads.resetToStaticAd();
    ASSERT_EQ(view.loads.size(), 1);
    EXPECT_TRUE(ads.isDisplayingStaticAd());
    EXPECT_EQ(delegate.calls, (QStringList{"should", "will", "did"}));
    QFile page(view.loads[0].mid(4 + 7));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(page.readAll()), AdController::staticPage("file:///b/banner.png"));
    ads.displayAdWithMagicNumber("5", QSizeF(300, 250));
    ads.resetToStaticAd();
    EXPECT_EQ(view.loads.size(), 3);
}

TEST_F(AdControllerTest, RefusingDelegateWritesNothing) {
    RecordingView view;
    Delegate delegate;
    delegate.display = false;
    AdController ads(view, kHosts, "/b/banner.png", &delegate, Opener());
    ads.displayAdWithMagicNumber("5", QSizeF(300, 250));
    EXPECT_TRUE(view.loads.isEmpty());
    EXPECT_EQ(delegate.calls, (QStringList{"should", "should"}));
    EXPECT_FALSE(QFile::exists(File(1)) || QFile::exists(File(2)));
    delegate.display = true;
    ads.resetToStaticAd();
    EXPECT_EQ(view.loads.size(), 1);
}

// The banner refused at start (the panel closed) shows once the panel opens, and only
// until something else was shown.
TEST_F(AdControllerTest, ABannerRefusedAtStartIsShownWhenThePanelOpens) {
    RecordingView view;
    Delegate delegate;
    delegate.display = false;
    AdController ads(view, kHosts, "/b/banner.png", &delegate, Opener());
    EXPECT_FALSE(ads.isDisplayingStaticAd());
    ads.showPendingStaticAd();
    EXPECT_TRUE(view.loads.isEmpty());
    delegate.display = true;
    ads.showPendingStaticAd();
    ASSERT_EQ(view.loads.size(), 1);
    EXPECT_TRUE(view.loads[0].startsWith("url file://"));
    EXPECT_TRUE(ads.isDisplayingStaticAd());
    ads.showPendingStaticAd();
    ads.resetToStaticAd();
    EXPECT_EQ(view.loads.size(), 1);
    // A refused banner that an ad replaced is not brought back.
    delegate.display = false;
    ads.displayAdWithMagicNumber("5", QSizeF(300, 250));
    ads.resetToStaticAd();
    ads.displayAdWithMagicNumber("6", QSizeF(300, 250));
    delegate.display = true;
    ads.showPendingStaticAd();
    EXPECT_EQ(view.loads.size(), 1);
}

TEST_F(AdControllerTest, UnwritableCacheLoadsFromMemory) {
    QFile blocker(Folder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    RecordingView view;
    AdController ads(view, kHosts, "/b/banner.png", nullptr, Opener());
    ads.displayAdWithImageURL("/a.gif", "7");
    EXPECT_EQ(view.loads, (QStringList{"html " + AdController::staticPage("file:///b/banner.png"),
                                       "html " + AdController::imagePage(kHosts, "/a.gif", "7")}));
}

TEST_F(AdControllerTest, NavigationPolicy) {
    RecordingView view;
    AdController ads(view, kHosts, "/b/banner.png", nullptr, Opener());
    const QString adFile = File(1);
    struct Row {
        AdNavigationType type;
        AdFrame frame;
        QString url;
        bool byListener;
        bool allowed;
        bool opened;
    };
    using T = AdNavigationType;
    const AdFrame ad = AdFrame::AdView, off = AdFrame::Offscreen;
    const std::vector<Row> rows = {
        {T::Other, ad, "about:blank", false, true, false},
        {T::Other, ad, "https://ads.example:8080/html/ad?m=1", false, true, false},
        {T::Other, ad, "https://ads.example:8080/htmlx", false, true, false},
        {T::Other, ad, "http://ads.example:8080/html/ad?m=1", false, false, false},
        {T::Other, ad, "https://ads.example:8080/file/adsWrapper.js", false, false, false},
        {T::Other, ad, "https://ads.example:9090/html/ad", false, false, false},
        {T::Other, ad, adFile, false, true, false},
        {T::Other, ad, "file://" + adFile, false, true, false},
        {T::Other, ad, "file:///etc/passwd", false, false, false},
        {T::Other, ad, "file://" + Folder() + "/zymradio_ad_3.html", false, false, false},
        {T::Other, ad, "http://elsewhere.example/", true, false, false},
        // The hidden page hands on only what a click of the listener's opened.
        {T::Other, off, "http://elsewhere.example/", true, false, true},
        {T::Other, off, "http://elsewhere.example/", false, false, false},
        {T::Other, off, "about:blank", true, false, false},
        {T::LinkClicked, ad, "http://go.example/radio/x", true, false, true},
        {T::LinkClicked, ad, "https://go.example/radio/x", true, false, true},
        {T::LinkClicked, ad, "http://go.example/radio/x", false, false, false},
        {T::LinkClicked, ad, "file:///etc/passwd", true, false, false},
        {T::LinkClicked, ad, "ftp://go.example/x", true, false, false},
        {T::LinkClicked, ad, "javascript:alert(1)", true, false, false},
        {T::LinkClicked, ad, "mailto:a@example.com", true, false, false},
        {T::LinkClicked, ad, "zymradio:playstation?id=1", true, false, false},
        {T::LinkClicked, off, "http://go.example/radio/x", true, false, true},
        {T::FormSubmitted, ad, "https://ads.example:8080/html/form", true, false, false},
        {T::FormResubmitted, ad, "https://ads.example:8080/html/form", true, false, false},
        {T::BackForward, ad, "about:blank", true, false, false},
        {T::Reload, ad, "file://" + adFile, true, false, false},
        {T::Reload, off, "http://elsewhere.example/", true, false, false},
    };
    for (const Row& row : rows) {
        opened_.clear();
        EXPECT_EQ(ads.acceptNavigation(row.frame, row.type, row.url, row.byListener), row.allowed)
            << row.url.toStdString() << " type " << static_cast<int>(row.type) << " frame "
            << static_cast<int>(row.frame) << " by listener " << row.byListener;
        EXPECT_EQ(opened_.size(), row.opened ? 1 : 0) << row.url.toStdString() << " by listener " << row.byListener;
    }
    opened_.clear();
    ads.newWindowRequested("http://popup.example/", false);
    ads.newWindowRequested("file:///etc/passwd", true);
    EXPECT_TRUE(opened_.isEmpty());
    ads.newWindowRequested("https://go.example/", true);
    EXPECT_EQ(opened_, QStringList{"https://go.example/"});
}

// The scripts come over https unless the host is given with a scheme of its own.
TEST_F(AdControllerTest, ScriptsComeOverHttpsUnlessTheHostSaysOtherwise) {
    EXPECT_EQ(AdHosts::scriptBase("ads.example:8080"), "https://ads.example:8080");
    EXPECT_EQ(AdHosts::scriptBase("http://ads.example/"), "http://ads.example");
    RecordingView view;
    const AdHosts plain{"http://ads.example:8080", "", ""};
    AdController ads(view, plain, "/b/banner.png", nullptr, Opener());
    EXPECT_TRUE(AdController::scriptPage(plain.script, "1", QSizeF(300, 250))
                    .contains("SRC=\"http://ads.example:8080/file/adsWrapper.js\""));
    EXPECT_TRUE(
        ads.acceptNavigation(AdFrame::AdView, AdNavigationType::Other, "http://ads.example:8080/html/ad", false));
    EXPECT_FALSE(
        ads.acceptNavigation(AdFrame::AdView, AdNavigationType::Other, "https://ads.example:8080/html/ad", false));
}

// Without an ad network the house banner stays: no page names a host of nothing.
TEST_F(AdControllerTest, WithoutHostsOnlyTheHouseBannerShows) {
    RecordingView view;
    Delegate delegate;
    AdController ads(view, AdHosts{}, "/b/banner.png", &delegate, Opener());
    EXPECT_FALSE(AdHosts{}.configured());
    ads.displayAdWithMagicNumber("5", QSizeF(300, 250));
    ads.displayAdWithImageURL("/a.gif", "7");
    // The house banner's page alone.
    ASSERT_EQ(view.loads.size(), 1);
    QFile page(view.loads[0].mid(4 + 7));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(page.readAll()), AdController::staticPage("file:///b/banner.png"));
    EXPECT_TRUE(ads.isDisplayingStaticAd());
}

// A view that draws the house banner itself gets no page for it, and the delegate hears
// of the change as of any other.
TEST_F(AdControllerTest, AViewMayShowTheHouseBannerItself) {
    struct NativeBanner : RecordingView {
        QStringList banners;
        bool showStaticBanner(const QString& path) override {
            banners << path;
            return true;
        }
    } view;
    Delegate delegate;
    AdController ads(view, kHosts, "/b/banner.png", &delegate, Opener());
    EXPECT_EQ(view.banners, QStringList{"/b/banner.png"});
    EXPECT_TRUE(view.loads.isEmpty());
    EXPECT_FALSE(QFile::exists(File(1)) || QFile::exists(File(2)));
    EXPECT_EQ(delegate.calls, (QStringList{"should", "will", "did"}));
    ads.displayAdWithImageURL("/a.gif", "7");
    EXPECT_EQ(view.loads.size(), 1);
}

TEST_F(AdControllerTest, HostsAreSettings) {
    UserDefaults defaults(home_.path() + "/defaults.conf");
    defaults.setObject("ad_script_host", "ads.example:8080");
    defaults.setObject("ad_image_host", "img.example");
    const AdHosts hosts = AdHosts::fromDefaults(defaults);
    EXPECT_EQ(hosts.script, "ads.example:8080");
    EXPECT_EQ(hosts.image, "img.example");
    EXPECT_EQ(hosts.redirect, "");
}

TEST_F(AdControllerTest, ConsoleMessagesAreLogged) {
    QStringList logged;
    const NSLogSink previous = SetNSLogSink([&](const QString& m) { logged << m; });
    RecordingView view;
    AdController ads(view, kHosts, "/b/banner.png", nullptr, Opener());
    ads.consoleMessage("x is not defined");
    ads.scriptDialogRefused("prompt", "Your password?");
    SetNSLogSink(previous);
    EXPECT_EQ(logged, (QStringList{"ERROR!!!!\nx is not defined", "Ad page: prompt dismissed: Your password?"}));
}

}  // namespace
