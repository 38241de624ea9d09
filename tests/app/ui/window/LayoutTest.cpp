// The main window's layout as a real window: the panels that leave and come back with the
// window's height, the UI state and its statistics, the zoom, the split between the lists
// and the ad panel.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QJsonArray>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QSplitterHandle>
#include <QTemporaryDir>
#include <QTest>

#include "app/foundation/NotificationCenter.h"
#include "app/foundation/UserDefaults.h"
#include "app/radio/ZYMRadioStationState.h"
#include "app/support/AdController.h"
#include "app/ui/ListViews.h"
#include "app/ui/RadioStationLists.h"
#include "app/ui/RadioWindowController.h"
#include "app/ui/WindowLayoutPolicy.h"
#include "support/Env.h"

#include "WindowFixture.h"
#include "app/ui/ColorSchemeController.h"

namespace {

bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    return QTest::qWaitFor(done, static_cast<int>(zymtest::Scaled(std::chrono::milliseconds(ms)).count()));
}

class RecordingStatistics : public WindowStatistics {
public:
    void startTimer(int key) override { log.push_back("start " + std::to_string(key)); }
    void stopTimer(int key) override { log.push_back("stop " + std::to_string(key)); }
    void setNumber(int key, qint64 value) override {
        log.push_back("set " + std::to_string(key) + "=" + std::to_string(value));
    }
    void saveSessionStats() override { log.push_back("save"); }
    std::vector<std::string> log;
};

class FakeAdView : public QWidget, public AdView {
public:
    using QWidget::QWidget;
    void loadUrl(const QUrl& url) override { loads << url.toString(); }
    void loadHtml(const QString& html) override { loads << html; }
    void stopLoading() override {}
    QStringList loads;
    static constexpr QColor kColour{0xf0, 0x8a, 0x24};

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), kColour); }
};

class Layout : public ::testing::Test {
protected:
    void SetUp() override {
        savedCache_ = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", dir_.filePath("cache").toUtf8());
        defaults_ = std::make_unique<UserDefaults>(dir_.filePath("defaults.conf"));
        env_.defaults = defaults_.get();
        env_.statistics = &statistics_;
        env_.service.defaults = defaults_.get();
        env_.service.notifications = &center_;
        env_.reachable = [](const QString&) { return true; };
        env_.applicationActive = [this] { return active_; };
        env_.adViews = [this](QWidget* parent) {
            adView_ = new FakeAdView(parent);
            return static_cast<AdView*>(adView_);
        };
    }
    void TearDown() override {
        window_.reset();
        qputenv("XDG_CACHE_HOME", savedCache_);
    }

    RadioWindowController& Make() {
        window_ = std::make_unique<RadioWindowController>(env_);
        window_->window()->move(40, 40);
        window_->window()->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window_->window()));
        return *window_;
    }
    QWidget* Child(const char* name) { return window_->window()->findChild<QWidget*>(QString::fromLatin1(name)); }
    // Asks for a height and waits for the one the window settles at.
    void ResizeTo(int height, int settles) {
        window_->window()->resize(window_->window()->width(), height);
        EXPECT_TRUE(WaitFor([&] { return window_->window()->height() == settles; }))
            << "asked " << height << ", wanted " << settles << ", has " << window_->window()->height();
    }
    int Full() const { return window_->layoutPolicy().displayAndPresetsHeight(); }
    int DisplayOnly() const { return window_->layoutPolicy().displayOnlyHeight(); }

    QTemporaryDir dir_;
    QByteArray savedCache_;
    std::unique_ptr<UserDefaults> defaults_;
    NotificationCenter center_;
    RecordingStatistics statistics_;
    FakeAdView* adView_ = nullptr;
    bool active_ = true;
    WindowEnvironment env_;
    std::unique_ptr<RadioWindowController> window_;
};

TEST_F(Layout, MeasuresComeFromTheBuiltWindow) {
    Make();
    const WindowLayoutMeasures& m = window_->layoutPolicy().measures();
    EXPECT_EQ(m.topPanelHeight, Child("playControls")->height());
    EXPECT_EQ(m.presetsPanelHeight, Child("presetControls")->height());
    EXPECT_GT(m.gapBelowTopPanel, 0);
    EXPECT_GT(m.verticalSpaceAroundContentContainer, 0) << "the menu bar is above the contents";
    EXPECT_EQ(m.gapBetweenSourceAndStationList, window_->listSplitter().handleWidth());
    EXPECT_GE(m.verticalSpaceAroundSourceListView, 0);
    EXPECT_EQ(window_->window()->minimumHeight(), DisplayOnly());
}

TEST_F(Layout, TheWindowCollapsesAndGrowsBackByTheHeightTable) {
    Make();
    ASSERT_EQ(window_->uiState(), 2);
    EXPECT_EQ(statistics_.log, (std::vector<std::string>{"set 4401=2", "start 4399", "save"}));
    statistics_.log.clear();
    const int lists = WindowLayoutPolicy::kMinSearchPanelHeight;
    struct Row {
        const char* what;
        int asked;
        int settles;
        int state;
    };
    const Row rows[] = {
        {"the lists get exactly their least height", Full() + lists, Full() + lists, 2},
        {"one less: the lists leave, the window snaps", Full() + lists - 1, Full(), 1},
        {"a little taller in state 1 snaps back", Full() + 60, Full(), 1},
        {"shorter than display and presets: display alone", Full() - 1, DisplayOnly(), 0},
        {"a little taller in state 0 snaps back", DisplayOnly() + 10, DisplayOnly(), 0},
        {"room for the presets: they come back first", Full(), Full(), 1},
        {"room for the lists too", Full() + lists + 40, Full() + lists + 40, 2},
        {"straight from the full layout to the display alone", DisplayOnly() + 3, DisplayOnly(), 0},
        {"straight back to the full layout", Full() + lists, Full() + lists, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ResizeTo(row.asked, row.settles);
        EXPECT_EQ(window_->uiState(), row.state);
        EXPECT_EQ(Child("presetControls")->isVisible(), row.state >= 1);
        EXPECT_EQ(Child("stationsList")->isVisible(), row.state == 2);
        if (row.state == 2) EXPECT_GE(Child("stationsList")->height(), lists);
    }
    // Each change moved the timer from the old state to the new one, once.
    const std::vector<std::string> expected = {
        "stop 4399", "set 4401=1", "start 4398", "save",  // 2 -> 1
        "stop 4398", "set 4401=0", "start 4397", "save",  // 1 -> 0
        "stop 4397", "set 4401=1", "start 4398", "save",  // 0 -> 1
        "stop 4398", "set 4401=2", "start 4399", "save",  // 1 -> 2
        "stop 4399", "set 4401=0", "start 4397", "save",  // 2 -> 0
        "stop 4397", "set 4401=2", "start 4399", "save",  // 0 -> 2
    };
    EXPECT_EQ(statistics_.log, expected);
}

TEST_F(Layout, EachStateLooksAsItShould) {
    Make();
    const int lists = WindowLayoutPolicy::kMinSearchPanelHeight;
    const QColor display = window_->colors().colorForKey(kDisplayBackgroundColorKey);
    struct Row {
        const char* file;
        int height;
        int state;
    };
    for (const Row& row : {Row{"layout-state2.png", Full() + lists + 80, 2}, Row{"layout-state1.png", Full(), 1},
                           Row{"layout-state0.png", DisplayOnly(), 0}}) {
        SCOPED_TRACE(row.file);
        ResizeTo(row.height, row.height);
        ASSERT_EQ(window_->uiState(), row.state);
        // The panels shown or hidden are laid out before the picture.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        const QImage shot = window_->window()->grab().toImage();
        shot.save(qEnvironmentVariable("ZYM_BINARY_DIR") + "/tests/app/ui/window/" + QString::fromLatin1(row.file));
        ASSERT_EQ(shot.height() / shot.devicePixelRatio(), row.height);
        // The display's panel is at the top in every state.
        QWidget* panel = Child("display");
        // Below the album art, inside the border: the scheme's ground under a faint gloss.
        const QPoint inDisplay = panel->mapTo(window_->window(), QPoint(panel->width() - 8, panel->height() - 4));
        const QColor seen = shot.pixelColor(inDisplay);
        EXPECT_LE(std::abs(seen.red() - display.red()) + std::abs(seen.green() - display.green()) +
                      std::abs(seen.blue() - display.blue()),
                  24)
            << seen.name().toStdString() << " for " << display.name().toStdString();
        // Below the display: the presets bar in states 1 and 2, the lists only in 2.
        QWidget* presets = Child("presetControls");
        QWidget* stations = Child("stationsList");
        if (row.state >= 1) {
            const QRect bar(presets->mapTo(window_->window(), QPoint()), presets->size());
            EXPECT_TRUE(shot.rect().contains(bar));
            EXPECT_GT(bar.top(), inDisplay.y());
        }
        if (row.state == 2) {
            const QRect area(stations->mapTo(window_->window(), QPoint()), stations->size());
            EXPECT_LE(area.bottom(), shot.height() - 1);
            EXPECT_GE(area.height(), lists);
        }
        // The ad panel stands beside the lists in the full layout only.
        EXPECT_EQ(window_->adPanel()->isVisible(), row.state == 2);
        const QPoint besideTheLists(shot.width() - 20, shot.height() / 2);
        if (row.state == 2) {
            EXPECT_EQ(shot.pixelColor(window_->adPanel()->mapTo(window_->window(), QPoint(160, 130))),
                      FakeAdView::kColour);
        } else if (!QRect(panel->mapTo(window_->window(), QPoint()), panel->size()).contains(besideTheLists)) {
            // (The display's logo is in the same orange.)
            EXPECT_NE(shot.pixelColor(besideTheLists), FakeAdView::kColour);
        }
    }
}

TEST_F(Layout, TheAdPanelOpensOnlyInTheFullLayoutWhileActive) {
    // Without an ad network only the house banner would show.
    defaults_->setString(QStringLiteral("ad_script_host"), QStringLiteral("127.0.0.1:9"));
    Make();
    ASSERT_TRUE(adView_);
    const int lists = WindowLayoutPolicy::kMinSearchPanelHeight;
    struct Row {
        const char* what;
        int height;
        bool active;
        bool open;
    };
    const Row rows[] = {
        {"full layout, active", Full() + lists, true, true},
        {"full layout, inactive", Full() + lists, false, false},
        {"presets only, active", Full(), true, false},
        {"display only, active", DisplayOnly(), true, false},
        {"full again, active", Full() + lists + 20, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        active_ = row.active;
        ResizeTo(row.height, row.height);
        window_->updateAdDrawer();
        EXPECT_EQ(window_->adPanel()->isVisible(), row.open);
        EXPECT_EQ(window_->shouldAdDisplay(), row.open);
        if (row.open) {
            EXPECT_EQ(window_->adPanel()->size(), RadioWindowController::kAdViewSize);
            EXPECT_EQ(adView_->size(), RadioWindowController::kAdViewSize);
        }
    }
    // The window's ads go to the panel's controller, which shows them only while the panel
    // may open.
    const auto banner =
        ZYMRadioStationBanner::withFlavor(QStringLiteral("8"), QStringLiteral("600"), QStringLiteral("magic-4711"));
    for (bool active : {true, false}) {
        active_ = active;
        const qsizetype before = adView_->loads.size();
        window_->displayAdWithBanners({banner}, QStringLiteral("600"));
        EXPECT_EQ(adView_->loads.size(), before + (active ? 1 : 0));
    }
}

TEST_F(Layout, WithoutAnAdViewThereIsNoPanel) {
    env_.adViews = nullptr;
    Make();
    EXPECT_EQ(window_->uiState(), 2);
    EXPECT_FALSE(window_->adPanel()->isVisible());
}

TEST_F(Layout, ZoomWithoutStationsKeepsTheTopLeftWithinTheLimits) {
    Make();
    QWidget* w = window_->window();
    const QPoint topLeft = w->geometry().topLeft();
    window_->zoom();
    ASSERT_TRUE(WaitFor([&] { return w->geometry().topLeft() == topLeft; }));
    // No stations: the lists are as tall as three source rows, shorter than a resize by the
    // listener would leave them, and the zoom keeps them.
    EXPECT_EQ(window_->uiState(), 2);
    EXPECT_LT(w->height(), Full() + WindowLayoutPolicy::kMinSearchPanelHeight);
    EXPECT_GT(w->height(), Full());
    EXPECT_EQ(w->geometry().topLeft(), topLeft);
}

// With the test server's directory.
class SignedOn : public windowtest::MainWindow {
protected:
    void SignOnAndShow() {
        Make();
        window_->window()->move(40, 40);
        window_->window()->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_->window()));
        SignOnAndLoad();
        ASSERT_TRUE(windowtest::RunUntil([&] { return !window_->dataSource().displayStations().empty(); }));
    }
};

TEST_F(SignedOn, TheDividerKeepsTheSourceListWithinItsLimitsAndAResizeMovesOnlyTheTable) {
    SignOnAndShow();
    // Wide enough for both lists.
    window_->window()->resize(1000, window_->window()->height());
    ASSERT_TRUE(WaitFor([&] { return window_->window()->width() == 1000; }));
    QSplitter& split = window_->listSplitter();
    QWidget* sources = split.widget(0);
    QWidget* table = split.widget(1);
    const int widest = std::max(WindowLayoutPolicy::kMinSourceListWidth, sources->maximumWidth());
    // Made before there were rows, the list takes its width back as the rows come in.
    EXPECT_GT(sources->width(), WindowLayoutPolicy::kMinSourceListWidth);
    auto drag = [&](int toX) {
        QSplitterHandle* handle = split.handle(1);
        const QPoint grip = handle->rect().center();
        QTest::mousePress(handle, Qt::LeftButton, {}, grip);
        QTest::mouseMove(handle, grip + QPoint(toX - handle->x(), 0));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(toX - handle->x(), 0));
    };
    drag(20);
    EXPECT_EQ(sources->width(), WindowLayoutPolicy::kMinSourceListWidth);
    drag(split.width() - 30);
    EXPECT_EQ(sources->width(), widest);
    drag(WindowLayoutPolicy::kMinSourceListWidth + 5);
    const int kept = sources->width();
    ASSERT_LT(kept, widest);

    const int tableBefore = table->width();
    const int wider = window_->window()->width() + 90;
    window_->window()->resize(wider, window_->window()->height());
    EXPECT_TRUE(WaitFor([&] { return table->width() == tableBefore + 90; }))
        << tableBefore << " -> " << table->width() << ", window " << window_->window()->width();
    EXPECT_EQ(sources->width(), kept);
}

TEST_F(SignedOn, TheZoomedWindowFitsTheListsClampedToItsLimits) {
    SignOnAndShow();
    QWidget* w = window_->window();
    const QRect area = w->screen()->availableGeometry();
    const QRect before = w->geometry();
    ExtendedTableView& table = window_->stationTable();
    auto* sources = qobject_cast<QAbstractScrollArea*>(window_->listSplitter().widget(0));
    ASSERT_TRUE(sources);

    // Every station is more than the screen holds: as tall as the screen below the window.
    window_->zoom();
    ASSERT_TRUE(WaitFor([&] { return w->geometry() != before; }));
    EXPECT_EQ(w->geometry().topLeft(), before.topLeft());
    EXPECT_EQ(w->geometry().bottom(), area.bottom());
    EXPECT_EQ(window_->uiState(), 2);

    // A few found stations: every source and station row, name and description shows
    // without scrolling.
    auto* search = w->findChild<QLineEdit*>();
    ASSERT_TRUE(search);
    const std::size_t all = window_->dataSource().displayStations().size();
    QTest::keyClicks(search, QStringLiteral("Station 2"));
    ASSERT_TRUE(WaitFor([&] { return window_->dataSource().displayStations().size() < all; }));
    const QRect tall = w->geometry();
    window_->zoom();
    ASSERT_TRUE(WaitFor([&] { return w->geometry() != tall; }));
    EXPECT_EQ(w->geometry().topLeft(), before.topLeft());
    EXPECT_LT(w->geometry().bottom(), area.bottom());
    // The lists are laid out at the zoomed size before they are measured.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_EQ(table.verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(table.horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(sources->verticalScrollBar()->maximum(), 0);

    // Clamped: the window's maximum wins.
    w->setMinimumSize(100, 100);
    w->setMaximumSize(300, 250);
    window_->zoom();
    ASSERT_TRUE(WaitFor([&] { return w->size() == QSize(300, 250); }));
    EXPECT_EQ(w->geometry().topLeft(), before.topLeft());

    // Near the screen's lower edge: no taller than the screen below the window's top.
    w->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const QPoint low(area.left() + 10, area.bottom() - 300);
    w->setGeometry(QRect(low, QSize(500, 300)));
    ASSERT_TRUE(WaitFor([&] { return w->geometry().topLeft() == low; }));
    window_->zoom();
    ASSERT_TRUE(WaitFor([&] { return w->width() != 500; }));
    EXPECT_EQ(w->geometry().bottom(), area.bottom());
}

TEST(WindowLayoutPolicyTest, ZoomRectangleAddsTheMeasuresAndClampsTheMaximumLast) {
    WindowLayoutMeasures m;
    m.topPanelHeight = 100;
    m.presetsPanelHeight = 30;
    m.gapBelowTopPanel = 6;
    m.gapBetweenSourceAndStationList = 4;
    m.verticalSpaceAroundContentContainer = 20;
    m.horizontalSpaceAroundContentContainer = 16;
    m.verticalSpaceAroundSourceListView = 28;
    const WindowLayoutPolicy policy(m);
    const QRect frame(30, 50, 999, 999);
    struct Row {
        QSize min, max;
        QSize expected;
    };
    // Wanted: height 20 + 100 + 6 + 30 + 28 + 400 = 584, width 16 + 150 + 4 + 500 = 670.
    const Row rows[] = {
        {{100, 100}, {2000, 2000}, {670, 584}},
        {{800, 700}, {2000, 2000}, {800, 700}},
        {{100, 100}, {600, 500}, {600, 500}},
        {{800, 700}, {600, 500}, {600, 500}},
    };
    for (const Row& row : rows) {
        const QRect r = policy.zoomedContentRect(frame, 150, 400, 500, row.min, row.max);
        EXPECT_EQ(r.size(), row.expected);
        EXPECT_EQ(r.topLeft(), frame.topLeft());
    }
    EXPECT_EQ(WindowLayoutPolicy::minSourceListWidth(60), 100);
    EXPECT_EQ(WindowLayoutPolicy::minSourceListWidth(140), 140);
    EXPECT_EQ(WindowLayoutPolicy::maxSourceListWidth(300, 180), 180);
    EXPECT_EQ(WindowLayoutPolicy::maxSourceListWidth(150, 180), 150);
}

}  // namespace
