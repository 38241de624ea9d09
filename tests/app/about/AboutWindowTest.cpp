#include "app/about/AboutWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace {

// Ticks only when the test says so.
class FakeTicker : public AboutTicker {
public:
    struct State {
        bool active = false;
        int starts = 0;
        int interval = 0;
        std::function<void()> tick;
    };
    explicit FakeTicker(State& state) : state_(state) {}
    void start(int intervalMs, std::function<void()> tick) override {
        state_.active = true;
        ++state_.starts;
        state_.interval = intervalMs;
        state_.tick = std::move(tick);
    }
    void stop() override { state_.active = false; }
    bool isActive() const override { return state_.active; }

private:
    State& state_;
};

void Write(const QString& path, const QString& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8());
}

QString LongCredits() {
    QString html = "<h2>Credits</h2>";
    for (int i = 0; i < 80; ++i)
        html += QStringLiteral("<p>Contributor number %1</p>").arg(i);
    return html;
}

class AboutWindowTest : public ::testing::Test {
protected:
    std::unique_ptr<AboutWindowController> Make(const AboutInfo& info = {"ZYM Radio", "1.2", "34", "(c) ZYM"}) {
        auto panel = std::make_unique<AboutWindowController>(info, dir_.path(), std::make_unique<FakeTicker>(ticks_));
        return panel;
    }
    QTemporaryDir dir_;
    FakeTicker::State ticks_;
};

TEST_F(AboutWindowTest, Texts) {
    Write(dir_.path() + "/Credits.html", "<p>Thanks</p>");
    struct Row {
        AboutInfo info;
        const char* version;
    };
    const std::vector<Row> rows = {
        {{"ZYM Radio", "1.2", "34", "(c) ZYM"}, "Version 1.2 (34)"},
        {{"ZYM Radio", "", "34", "(c) ZYM"}, "Version  (34)"},
        {{"ZYM Radio", "1.2", "", ""}, "Version 1.2 ()"},
    };
    for (const Row& row : rows) {
        auto panel = Make(row.info);
        EXPECT_EQ(panel->versionText(), row.version);
        EXPECT_EQ(panel->applicationNameText(), row.info.name);
        EXPECT_EQ(panel->copyrightText(), row.info.copyright);
    }
}

TEST_F(AboutWindowTest, CreditsFiles) {
    // Without the rich text, the folder version with its pictures.
    Write(dir_.path() + "/Credits/index.html", "<p>From the folder <img src=\"logo.png\"></p>");
    QImage logo(8, 8, QImage::Format_RGB32);
    logo.fill(Qt::red);
    ASSERT_TRUE(logo.save(dir_.path() + "/Credits/logo.png"));
    {
        auto panel = Make();
        EXPECT_TRUE(panel->textView()->toPlainText().contains("From the folder"));
        const QVariant picture =
            panel->textView()->document()->resource(QTextDocument::ImageResource, QUrl("logo.png"));
        EXPECT_TRUE(picture.isValid()) << "the picture beside index.html";
    }
    Write(dir_.path() + "/Credits.html", "<p>The rich text</p>");
    auto panel = Make();
    EXPECT_TRUE(panel->textView()->toPlainText().contains("The rich text"));
    EXPECT_FALSE(panel->textView()->toPlainText().contains("From the folder"));
    // Twelve empty lines before and after.
    EXPECT_TRUE(panel->textView()->toPlainText().startsWith(QString(12, QChar::LineSeparator)) ||
                panel->textView()->toPlainText().startsWith(QString(12, '\n')))
        << panel->textView()->toPlainText().left(20).toStdString();
}

TEST_F(AboutWindowTest, ScrollsHalfAPointATickAndRestartsAtTheLimit) {
    Write(dir_.path() + "/Credits.html", LongCredits());
    auto panel = Make();
    panel->showPanel();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
    ASSERT_TRUE(ticks_.active);
    EXPECT_EQ(ticks_.interval, 30);
    EXPECT_EQ(panel->scrollAmount(), 0);
    for (int i = 0; i < 3; ++i)
        ticks_.tick();
    EXPECT_DOUBLE_EQ(panel->scrollAmount(), 1.5);
    const double limit = panel->scrollLimit();
    ASSERT_GT(limit, 100);
    panel->setScrollAmount(limit - 0.25);
    ticks_.tick();
    EXPECT_DOUBLE_EQ(panel->scrollAmount(), limit + 0.25);
    ticks_.tick();
    EXPECT_DOUBLE_EQ(panel->scrollAmount(), 0.5) << "back to the top at the limit";

    // Showing it again while open starts no second timer.
    panel->showPanel();
    EXPECT_EQ(ticks_.starts, 1);

    // Closing stops; reopening starts at the top.
    for (int i = 0; i < 10; ++i)
        ticks_.tick();
    panel->close();
    EXPECT_FALSE(ticks_.active);
    EXPECT_FALSE(panel->isVisible());
    panel->showPanel();
    EXPECT_TRUE(ticks_.active);
    EXPECT_EQ(panel->scrollAmount(), 0);
    EXPECT_EQ(ticks_.starts, 2);
}

TEST_F(AboutWindowTest, ShortCreditsStayPut) {
    Write(dir_.path() + "/Credits.html", "<p>Short</p>");
    auto panel = Make();
    panel->resize(300, 900);
    panel->showPanel();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
    ASSERT_LE(panel->scrollLimit(), 0);
    for (int i = 0; i < 5; ++i)
        ticks_.tick();
    EXPECT_EQ(panel->scrollAmount(), 0.5);
}

TEST_F(AboutWindowTest, Screenshot) {
    Write(dir_.path() + "/Credits.html", LongCredits());
    auto panel = Make();
    panel->showPanel();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
    for (int i = 0; i < 400; ++i)
        ticks_.tick();
    const QImage shot = panel->grab().toImage();
    if (const char* out = std::getenv("ZYM_SCREENSHOT_DIR")) shot.save(QString(out) + "/about.png");
    // White background around dark text.
    EXPECT_EQ(shot.pixelColor(2, 2), QColor(Qt::white));
    const QRect credits = panel->textView()->geometry();
    int dark = 0;
    for (int y = credits.top(); y < credits.bottom(); ++y)
        for (int x = credits.left(); x < credits.right(); ++x)
            if (shot.pixelColor(x, y).lightness() < 100) ++dark;
    EXPECT_GT(dark, 50) << "credits visible after scrolling";
    const QRect name = panel->findChildren<QLabel*>()[1]->geometry();
    int nameDark = 0;
    for (int y = name.top(); y < name.bottom(); ++y)
        for (int x = name.left(); x < name.right(); ++x)
            if (shot.pixelColor(x, y).lightness() < 100) ++nameDark;
    EXPECT_GT(nameDark, 20) << "the name is drawn";
}

// The program's own panel: its icon, its version and the credits that ship with it,
// scrolling into view.
TEST_F(AboutWindowTest, TheShippedPanelShowsTheIconVersionAndCredits) {
    const AboutInfo info = AboutInfo::fromBuild();
    ASSERT_FALSE(info.iconPath.isEmpty()) << "the icon ships";
    AboutWindowController panel(info, AboutWindowController::shippedCreditsFolder(),
                                std::make_unique<FakeTicker>(ticks_));
    EXPECT_TRUE(panel.textView()->toPlainText().contains("Internet radio for the desktop."));
    EXPECT_TRUE(panel.versionText().startsWith("Version " + info.shortVersion + " ("));
    EXPECT_FALSE(info.shortVersion.isEmpty());
    panel.showPanel();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    const auto count = [](const QImage& shot, const QRect& area, const std::function<bool(const QColor&)>& what) {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (what(shot.pixelColor(x, y))) ++n;
        return n;
    };
    const auto dark = [](const QColor& c) { return c.lightness() < 100; };
    QImage shot = panel.grab().toImage();
    // The icon: its orange tile.
    const QRect icon = panel.iconView()->geometry();
    EXPECT_GT(count(shot, icon, [](const QColor& c) { return c.red() > c.blue() + 120; }), 1000);
    const QRect version = panel.findChildren<QLabel*>()[2]->geometry();
    EXPECT_GT(count(shot, version, dark), 20) << "the version line is drawn";
    // The credits come up from below the padding.
    const QRect credits = panel.textView()->geometry();
    const int before = count(shot, credits, dark);
    for (int i = 0; i < 600; ++i)
        ticks_.tick();
    shot = panel.grab().toImage();
    if (const char* out = std::getenv("ZYM_SCREENSHOT_DIR")) shot.save(QString(out) + "/about-shipped.png");
    EXPECT_GT(count(shot, credits, dark), before + 100);
}

}  // namespace
