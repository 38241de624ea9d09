// The now-playing overlay as a real window on a fake clock: its fades and hold, presses on
// the album art, its place on screen across runs, and where its pictures are drawn. Run
// under Xvfb as well, where windows have real positions.

#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include "app/foundation/Clock.h"
#include "app/foundation/UserDefaults.h"
#include "app/ui/NowPlayingOverlay.h"
#include "support/Env.h"

namespace {

using std::chrono::milliseconds;

bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    return QTest::qWaitFor(done, static_cast<int>(zymtest::Scaled(milliseconds(ms)).count()));
}

QImage Art(QColor colour) {
    QImage art(64, 64, QImage::Format_ARGB32);
    art.fill(colour);
    return art;
}

class Overlay : public ::testing::Test {
protected:
    void SetUp() override { defaults_ = std::make_unique<UserDefaults>(dir_.filePath("defaults.conf")); }

    NowPlayingOverlayController& Make() {
        overlay_ = std::make_unique<NowPlayingOverlayController>(*defaults_, clock_, scheduler_);
        return *overlay_;
    }
    void Show(const char* song, const char* album = "Album", const QImage& art = Art(Qt::red)) {
        overlay_->showWindowWithSong(QString::fromLatin1(song), album ? QString::fromLatin1(album) : QString(),
                                     QStringLiteral("Artist"), art);
    }
    void Advance(int ms) { scheduler_.advance(milliseconds(ms)); }
    QPoint ArtCentre() { return overlay_->albumArtRect().center(); }

    QTemporaryDir dir_;
    std::unique_ptr<UserDefaults> defaults_;
    FakeClock clock_;
    FakeScheduler scheduler_{&clock_};
    std::unique_ptr<NowPlayingOverlayController> overlay_;
};

TEST_F(Overlay, FadesInOverASecondHoldsTwoAndFadesOutLeavingNothingOnScreen) {
    Make();
    EXPECT_TRUE(overlay_->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(overlay_->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(overlay_->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(overlay_->testAttribute(Qt::WA_TranslucentBackground));
    Show("Song");
    EXPECT_TRUE(overlay_->isVisible());
    EXPECT_NEAR(overlay_->alpha(), 0.0f, 0.01f);
    struct Step {
        int advance;
        float alpha;
        bool holding;
        bool visible;
    };
    // The fades step every 20 ms, so each phase may end a step or two late.
    const Step steps[] = {
        {500, 0.5f, false, true},   // half way in
        {600, 1.0f, true, true},    // in (by 1.04 s): the hold runs
        {1900, 1.0f, true, true},   // 3.0 s: the hold has not ended yet
        {560, 0.47f, false, true},  // the hold ended by 3.04 s: half way out
        {640, 0.0f, false, false},  // gone: no window left, not even an invisible one
    };
    for (const Step& step : steps) {
        Advance(step.advance);
        SCOPED_TRACE(scheduler_.elapsed().count());
        EXPECT_NEAR(overlay_->alpha(), step.alpha, 0.05f);
        EXPECT_EQ(overlay_->holding(), step.holding);
        EXPECT_EQ(overlay_->isVisible(), step.visible);
    }
    EXPECT_EQ(scheduler_.pendingCount(), 0);
}

TEST_F(Overlay, APressOnTheArtHoldsItAndTheReleaseFadesAtOnce) {
    Make();
    Show("Song");
    Advance(1500);  // in the hold
    QTest::mousePress(overlay_.get(), Qt::LeftButton, {}, ArtCentre());
    EXPECT_TRUE(overlay_->fadingPaused());
    // Held past where the hold would have ended.
    Advance(5000);
    EXPECT_TRUE(overlay_->isVisible());
    EXPECT_NEAR(overlay_->alpha(), 1.0f, 0.01f);
    EXPECT_FALSE(overlay_->holding());
    QTest::mouseRelease(overlay_.get(), Qt::LeftButton, {}, ArtCentre());
    EXPECT_FALSE(overlay_->fadingPaused());
    Advance(500);
    EXPECT_NEAR(overlay_->alpha(), 0.5f, 0.05f) << "no new hold after the release";
    Advance(600);
    EXPECT_FALSE(overlay_->isVisible());

    // A press during the fade-out brings it back to full strength.
    Show("Song 2");
    Advance(3500);
    ASSERT_LT(overlay_->alpha(), 0.9f);
    QTest::mousePress(overlay_.get(), Qt::LeftButton, {}, ArtCentre());
    Advance(1000);
    EXPECT_NEAR(overlay_->alpha(), 1.0f, 0.01f);
    QTest::mouseRelease(overlay_.get(), Qt::LeftButton, {}, ArtCentre());
    // A press beside the art is not a hold.
    Show("Song 3");
    Advance(1000);
    QTest::mousePress(overlay_.get(), Qt::LeftButton, {}, overlay_->rect().bottomRight() - QPoint(4, 4));
    EXPECT_FALSE(overlay_->fadingPaused());
}

TEST_F(Overlay, ANewSongMidFadeGoesOnFromTheCurrentAlpha) {
    Make();
    Show("First");
    Advance(3560);  // half way out
    const float at = overlay_->alpha();
    ASSERT_NEAR(at, 0.47f, 0.05f);
    Show("Second", nullptr, QImage());
    EXPECT_NEAR(overlay_->alpha(), at, 0.01f) << "no jump back to 0";
    Advance(100);
    EXPECT_GT(overlay_->alpha(), at);
    EXPECT_EQ(overlay_->song(), QStringLiteral("Second"));
    EXPECT_EQ(overlay_->album(), QStringLiteral("")) << "no stale album line";
    EXPECT_TRUE(overlay_->albumArt().isNull());
}

TEST_F(Overlay, ASecondSongWithinTheHoldIsNotCutShortByTheFirst) {
    Make();
    Show("First");
    Advance(2500);  // about 1.5 s into the first hold
    Show("Second");
    // Already at full strength, the second song's hold starts at once; the first one's,
    // which would have ended by 3.04 s, is gone.
    Advance(600);
    EXPECT_NEAR(overlay_->alpha(), 1.0f, 0.001f);
    Advance(1300);  // 4.4 s
    EXPECT_NEAR(overlay_->alpha(), 1.0f, 0.001f);
    EXPECT_TRUE(overlay_->holding());
    Advance(300);
    EXPECT_LT(overlay_->alpha(), 1.0f);
}

TEST_F(Overlay, CentredFirstThenWhereTheListenerDraggedIt) {
    Make();
    Show("Song");
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_TRUE(screen);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(overlay_.get()));
    const QPoint centre = screen->availableGeometry().center();
    EXPECT_LE((overlay_->frameGeometry().center() - centre).manhattanLength(), 2);
    const QPoint start = overlay_->pos();

    // Drag by the art: the panel follows the mouse.
    const QPoint grip = ArtCentre();
    const QPoint globalGrip = overlay_->mapToGlobal(grip);
    QTest::mousePress(overlay_.get(), Qt::LeftButton, {}, grip);
    const QPoint moved = start - QPoint(120, 80);
    for (int i = 1; i <= 4; ++i) {
        // The mouse moves on screen; the panel under it follows.
        const QPoint global = globalGrip - QPoint(30 * i, 20 * i);
        QMouseEvent move(QEvent::MouseMove, QPointF(overlay_->mapFromGlobal(global)), QPointF(global), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(overlay_.get(), &move);
    }
    QTest::mouseRelease(overlay_.get(), Qt::LeftButton, {}, grip);
    EXPECT_TRUE(WaitFor([&] { return overlay_->pos() == moved; })) << overlay_->pos().x() << "," << overlay_->pos().y();
    const QPoint dragged = overlay_->pos();

    // A new run: the same place.
    overlay_.reset();
    Make();
    Show("Again");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(overlay_.get()));
    EXPECT_TRUE(WaitFor([&] { return overlay_->pos() == dragged; }));
    // A stored place that is no place is ignored.
    for (const char* stored : {"garbage", "12", ""}) {
        overlay_.reset();
        defaults_->setString(QString::fromLatin1(NowPlayingOverlayController::kPositionKey),
                             QString::fromLatin1(stored));
        Make();
        Show("Centre");
        ASSERT_TRUE(QTest::qWaitForWindowExposed(overlay_.get()));
        EXPECT_TRUE(WaitFor([&] { return (overlay_->frameGeometry().center() - centre).manhattanLength() <= 2; }))
            << stored;
    }
}

TEST_F(Overlay, ShowsTheSongOverATranslucentPanelWithTheArt) {
    Make();
    Show("A Song Title", "The Album");
    Advance(1000);
    const QImage shot = overlay_->grab().toImage();
    shot.save(qEnvironmentVariable("ZYM_BINARY_DIR") + "/tests/app/ui/window/overlay.png");
    EXPECT_EQ(overlay_->song(), QStringLiteral("A Song Title"));
    EXPECT_EQ(overlay_->artist(), QStringLiteral("Artist"));
    EXPECT_EQ(overlay_->album(), QStringLiteral("The Album"));
    // The art fills its square (scaled proportionally), the panel around it is dark and
    // not opaque, and the corners outside the rounded panel are clear.
    const QColor art = shot.pixelColor(ArtCentre());
    EXPECT_EQ(art, QColor(Qt::red));
    const QColor panel = shot.pixelColor(overlay_->albumArtRect().right() + 4, overlay_->height() - 6);
    EXPECT_LT(panel.alpha(), 255);
    EXPECT_GT(panel.alpha(), 100);
    EXPECT_LT(panel.lightness(), 60);
    EXPECT_EQ(shot.pixelColor(0, 0).alpha(), 0);
    // Some of the title's light pixels are right of the art.
    int light = 0;
    for (int x = overlay_->albumArtRect().right() + 10; x < shot.width() - 10; ++x)
        for (int y = 10; y < 45; ++y)
            light += shot.pixelColor(x, y).lightness() > 200 ? 1 : 0;
    EXPECT_GT(light, 50);
}

TEST(ImagePlacement, ScalingsTimesAlignments) {
    // An image of 40 x 20 in a frame at (10, 10) of 100 x 50 (y downwards).
    const QRectF frame(10, 10, 100, 50);
    const QSizeF image(40, 20);
    struct Row {
        ImageScaling scaling;
        ImageAlignment alignment;
        QRectF expected;
    };
    using A = ImageAlignment;
    using S = ImageScaling;
    // Proportionally: scaled by min(50 / 20, 100 / 40) = 2.5 -> 100 x 50, filling the frame.
    // Unscaled: 40 x 20 placed by the alignment.
    const Row rows[] = {
        {S::ToFit, A::TopLeft, {10, 10, 100, 50}},
        {S::ToFit, A::BottomRight, {10, 10, 100, 50}},
        {S::Proportionally, A::Center, {10, 10, 100, 50}},
        {S::Proportionally, A::Left, {10, 10, 100, 50}},
        {S::None, A::Center, {40, 25, 40, 20}},
        {S::None, A::Top, {40, 10, 40, 20}},
        {S::None, A::TopLeft, {10, 10, 40, 20}},
        {S::None, A::TopRight, {70, 10, 40, 20}},
        {S::None, A::Left, {10, 25, 40, 20}},
        {S::None, A::Bottom, {40, 40, 40, 20}},
        {S::None, A::BottomLeft, {10, 40, 40, 20}},
        {S::None, A::BottomRight, {70, 40, 40, 20}},
        {S::None, A::Right, {70, 25, 40, 20}},
        {S::None, static_cast<A>(42), {10, 40, 40, 20}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(scaledImageRect(image, frame, row.scaling, row.alignment), row.expected)
            << int(row.scaling) << " " << int(row.alignment);
    // Proportionally, a tall image is fitted by its height and centred across.
    EXPECT_EQ(scaledImageRect({10, 50}, frame, S::Proportionally, A::Center), QRectF(55, 10, 10, 50));
    // Scaled up as well as down.
    EXPECT_EQ(scaledImageRect({5, 5}, frame, S::Proportionally, A::TopLeft), QRectF(10, 10, 50, 50));
    // Unscaled, a larger image overhangs the frame.
    EXPECT_EQ(scaledImageRect({200, 100}, frame, S::None, A::Center), QRectF(-40, -15, 200, 100));
}

}  // namespace
