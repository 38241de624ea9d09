// Window fades with catch-up and the volume fade-in, on a fake clock and scheduler.

#include "app/foundation/Clock.h"
#include "app/ui/Fades.h"
#include "app/ui/RemoteControlledSlider.h"

#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QWidget>

using namespace std::chrono_literals;

namespace {

class FakeWindow : public FadableWindow {
public:
    bool visible = false;
    float alpha = 1;
    QList<float> alphas;  // every alpha set
    int shows = 0, orderOuts = 0;
    bool isVisible() const override { return visible; }
    float alphaValue() const override { return alpha; }
    void setAlphaValue(float a) override {
        alpha = a;
        alphas.append(a);
    }
    void show() override {
        ++shows;
        visible = true;
    }
    void orderOut() override {
        ++orderOuts;
        visible = false;
    }
};

class RecordingDelegate : public WindowFadeDelegate {
public:
    std::optional<float> ceiling;
    QStringList calls;
    std::optional<float> maxAlphaForWindow() override { return ceiling; }
    void fadeInCompletedForWindow() override { calls << "in"; }
    void fadeOutCompletedForWindow() override { calls << "out"; }
};

// The clock is moved by the test, the scheduler fires on its own count: a tick can be
// made late by moving the clock further than the scheduler.
struct Fixture {
    FakeClock clock;
    FakeScheduler scheduler;
    FakeWindow window;
    RecordingDelegate delegate;
    // `n` ticks of 10 ms, on time.
    void ticks(int n) {
        for (int i = 0; i < n; ++i) {
            clock.advance(10ms);
            scheduler.advance(10ms);
        }
    }
};

}  // namespace

TEST(WindowFadeTest, StartingStateFollowsTheWindow) {
    struct Case {
        bool visible;
        float alpha;
        std::optional<float> ceiling;
        WindowFadeController::State state;
    } cases[] = {
        {false, 1, {}, WindowFadeController::Hidden},
        {true, 0.5f, {}, WindowFadeController::FadingIn},
        {true, 1, {}, WindowFadeController::Shown},
        {true, 0.5f, 0.5f, WindowFadeController::Shown},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.window.visible = c.visible;
        f.window.alpha = c.alpha;
        f.delegate.ceiling = c.ceiling;
        WindowFadeController fade(f.window, &f.delegate, f.clock, f.scheduler);
        EXPECT_EQ(fade.state(), c.state);
    }
}

TEST(WindowFadeTest, FadeInFromHiddenStepsUpAndReportsOnce) {
    Fixture f;
    WindowFadeController fade(f.window, &f.delegate, f.clock, f.scheduler);
    fade.startWindowFadeIn(4, 0.04);  // 10 ms ticks
    EXPECT_EQ(f.window.alpha, 0);
    EXPECT_EQ(f.window.shows, 1);
    f.ticks(4);
    EXPECT_EQ(f.window.alphas, (QList<float>{0, 0.25f, 0.5f, 0.75f, 1}));
    EXPECT_EQ(f.delegate.calls, QStringList{"in"});
    EXPECT_EQ(fade.state(), WindowFadeController::Shown);
    // The next tick only stops the timer.
    f.ticks(1);
    EXPECT_FALSE(fade.isFading());
    EXPECT_EQ(f.delegate.calls, QStringList{"in"});
    EXPECT_EQ(f.window.alphas.size(), 5);
}

TEST(WindowFadeTest, FullAlphaCompletesOnTheFirstTick) {
    Fixture f;
    f.window.visible = true;
    f.window.alpha = 1;
    WindowFadeController fade(f.window, &f.delegate, f.clock, f.scheduler);
    fade.startWindowFadeIn(20, 0.2);
    EXPECT_TRUE(f.window.alphas.isEmpty());  // not dropped to 0 first
    f.ticks(1);
    EXPECT_EQ(f.window.alpha, 1);
    EXPECT_EQ(f.delegate.calls, QStringList{"in"});
}

TEST(WindowFadeTest, ReversingNeverFlashesToZero) {
    Fixture f;
    f.window.visible = true;
    WindowFadeController fade(f.window, &f.delegate, f.clock, f.scheduler);
    fade.startWindowFadeOut(10, 0.1);
    f.ticks(3);
    ASSERT_NEAR(f.window.alpha, 0.7f, 1e-5);
    f.window.alphas.clear();
    fade.startWindowFadeIn(10, 0.1);
    for (int i = 0; i < 3; ++i) {
        f.ticks(1);
        ASSERT_FALSE(f.window.alphas.isEmpty());
        EXPECT_GT(f.window.alphas.back(), 0.7f);
    }
    EXPECT_EQ(f.window.alphas.size(), 3);
    EXPECT_EQ(f.window.orderOuts, 0);
    EXPECT_NEAR(f.window.alphas.front(), 0.8f, 1e-5);
    EXPECT_EQ(f.delegate.calls, QStringList{"in"});
}

TEST(WindowFadeTest, LateTicksCatchUp) {
    // 10 increments over 0.1 s: one step is 0.1 of alpha.
    struct Case {
        std::chrono::milliseconds late;
        int steps;
    } cases[] = {{0ms, 1}, {5ms, 1}, {10ms, 1}, {19ms, 1}, {20ms, 2}, {36ms, 3}, {50ms, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.late.count());
        FakeClock clock;
        FakeScheduler scheduler;  // fires without moving the clock
        FakeWindow window;
        window.visible = true;
        WindowFadeController fade(window, nullptr, clock, scheduler);
        fade.startWindowFadeOut(10, 0.1);
        clock.advance(10ms + c.late);
        scheduler.advance(10ms);
        EXPECT_NEAR(window.alpha, 1.0f - 0.1f * float(c.steps), 1e-5);
    }
}

TEST(WindowFadeTest, FadeOutOrdersOutThenNextFadeInStartsFromZero) {
    Fixture f;
    f.window.visible = true;
    WindowFadeController fade(f.window, &f.delegate, f.clock, f.scheduler);
    fade.startWindowFadeOut(2, 0.02);
    f.ticks(2);
    EXPECT_EQ(f.window.alpha, 0);
    EXPECT_EQ(f.window.orderOuts, 1);
    EXPECT_EQ(fade.state(), WindowFadeController::Hidden);
    EXPECT_EQ(f.delegate.calls, QStringList{"out"});
    f.window.alpha = 0.6f;  // whatever the window holds, a fade from hidden starts at 0
    fade.startWindowFadeIn(2, 0.02);
    EXPECT_EQ(f.window.alpha, 0);
}

TEST(WindowFadeTest, CloseHideAndStopping) {
    {  // closing stops the fade silently
        Fixture f;
        WindowFadeController fade(f.window, &f.delegate, f.clock, f.scheduler);
        fade.startWindowFadeIn(10, 0.1);
        f.ticks(1);
        fade.windowWillClose();
        f.clock.advance(500ms);
        f.scheduler.advance(500ms);
        EXPECT_TRUE(f.delegate.calls.isEmpty());
        EXPECT_EQ(fade.state(), WindowFadeController::Hidden);
        EXPECT_EQ(f.scheduler.pendingCount(), 0);
    }
    {  // hiding jumps to the ceiling, the completion follows on the next tick
        Fixture f;
        f.delegate.ceiling = 0.9f;
        WindowFadeController fade(f.window, &f.delegate, f.clock, f.scheduler);
        fade.startWindowFadeIn(10, 0.1);
        f.ticks(1);
        fade.applicationWillHide();
        EXPECT_EQ(f.window.alpha, 0.9f);
        EXPECT_TRUE(f.delegate.calls.isEmpty());
        f.ticks(1);
        EXPECT_EQ(f.window.alpha, 0.9f);
        EXPECT_EQ(f.delegate.calls, QStringList{"in"});
    }
    {  // hiding outside a fade-in does nothing
        Fixture f;
        f.window.visible = true;
        f.window.alpha = 0.4f;
        WindowFadeController fade(f.window, &f.delegate, f.clock, f.scheduler);
        fade.startWindowFadeOut(10, 0.1);
        fade.applicationWillHide();
        EXPECT_EQ(f.window.alpha, 0.4f);
    }
}

TEST(WindowFadeTest, NoStepsOrNoTimeCompletesAtOnce) {
    struct Case {
        int increments;
        double seconds;
        bool in;
    } cases[] = {{0, 0.2, true}, {20, 0, true}, {-3, 0.2, true}, {0, 0.1, false}, {10, 0, false}};
    for (const Case& c : cases) {
        Fixture f;
        f.window.visible = !c.in;
        WindowFadeController fade(f.window, &f.delegate, f.clock, f.scheduler);
        if (c.in)
            fade.startWindowFadeIn(c.increments, c.seconds);
        else
            fade.startWindowFadeOut(c.increments, c.seconds);
        EXPECT_EQ(f.window.alpha, c.in ? 1.0f : 0.0f);
        EXPECT_EQ(f.delegate.calls, QStringList{c.in ? "in" : "out"});
        EXPECT_EQ(f.scheduler.pendingCount(), 0);
        EXPECT_EQ(fade.state(), c.in ? WindowFadeController::Shown : WindowFadeController::Hidden);
    }
}

TEST(WindowFadeTest, RealWindowOpacityAndClose) {
    FakeClock clock;
    FakeScheduler scheduler(&clock);
    RecordingDelegate delegate;
    QWidget window;
    WindowFadeController fade(&window, &delegate, clock, scheduler);
    fade.startWindowFadeIn(20, 0.2);
    EXPECT_TRUE(window.isVisible());
    scheduler.advance(50ms);
    EXPECT_NEAR(window.windowOpacity(), 0.25, 1.0 / 255);
    scheduler.advance(150ms);  // 20 steps of 1/20 end on time, 8-bit storage or not
    EXPECT_EQ(delegate.calls, QStringList{"in"});
    fade.startWindowFadeOut(10, 0.1);
    scheduler.advance(20ms);
    window.close();
    scheduler.advance(500ms);
    EXPECT_EQ(delegate.calls, QStringList{"in"});
    EXPECT_EQ(fade.state(), WindowFadeController::Hidden);
}

// ---- volume ----

TEST(VolumeFadeTest, FiveSecondsAreFiftyTicksEndingExactly) {
    FakeScheduler scheduler;
    RemoteControlledSlider slider;
    slider.setFloatValue(0.73f);
    QList<float> sent;
    slider.setRemoteAction([&](float v) { sent.append(v); });
    QSignalSpy user(&slider, &RemoteControlledSlider::userChanged);
    int completions = 0;
    VolumeFadeController fade(slider, scheduler);
    fade.setCompletion([&](RemoteControlledSlider& s) {
        EXPECT_EQ(&s, &slider);
        ++completions;
    });
    fade.fadeIn(5.0);
    ASSERT_EQ(sent, QList<float>{0});
    scheduler.advance(4900ms);
    EXPECT_EQ(sent.size(), 50);  // the first 49 steps
    EXPECT_EQ(completions, 0);
    EXPECT_LT(slider.floatValue(), 0.73f);
    scheduler.advance(100ms);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(slider.floatValue(), 0.73f);
    EXPECT_EQ(sent.back(), 0.73f);
    for (int i = 1; i < sent.size(); ++i)
        EXPECT_GE(sent[i], sent[i - 1]);
    scheduler.advance(1000ms);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(user.count(), 0);  // the fade's own moves are never the listener's
}

TEST(VolumeFadeTest, SmallVolumesRiseInSmallSteps) {
    FakeScheduler scheduler;
    RemoteControlledSlider slider;
    slider.setFloatValue(0.02f);  // one step is less than a knob position
    VolumeFadeController fade(slider, scheduler);
    fade.fadeIn(5.0);
    scheduler.advance(2500ms);
    EXPECT_NEAR(slider.floatValue(), 0.01f, 0.001f);
}

TEST(VolumeFadeTest, StopKeepsCancelRestores) {
    struct Case {
        bool cancel;
        float expected;
    } cases[] = {{false, 0.4f}, {true, 0.8f}};
    for (const Case& c : cases) {
        FakeScheduler scheduler;
        RemoteControlledSlider slider;
        slider.setFloatValue(0.8f);
        int completions = 0;
        VolumeFadeController fade(slider, scheduler);
        fade.setCompletion([&](RemoteControlledSlider&) { ++completions; });
        fade.fadeIn(1.0);
        scheduler.advance(500ms);
        ASSERT_NEAR(slider.floatValue(), 0.4f, 1e-5);
        if (c.cancel)
            fade.cancelFade();
        else
            fade.stopFade();
        EXPECT_NEAR(slider.floatValue(), c.expected, 1e-5);
        EXPECT_FALSE(fade.isFading());
        scheduler.advance(2000ms);
        EXPECT_NEAR(slider.floatValue(), c.expected, 1e-5);
        EXPECT_EQ(completions, 0);
    }
}

TEST(VolumeFadeTest, ZeroDurationEndsAtOnceAndTheOwnerMayDeleteIt) {
    FakeScheduler scheduler;
    RemoteControlledSlider slider;
    slider.setFloatValue(0.6f);
    auto fade = std::make_unique<VolumeFadeController>(slider, scheduler);
    int completions = 0;
    fade->setCompletion([&](RemoteControlledSlider&) {
        ++completions;
        fade.reset();
    });
    fade->fadeIn(0);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(slider.floatValue(), 0.6f);
    EXPECT_EQ(scheduler.pendingCount(), 0);

    auto second = std::make_unique<VolumeFadeController>(slider, scheduler);
    second->setCompletion([&](RemoteControlledSlider&) { second.reset(); });
    second->fadeIn(0.3);
    scheduler.advance(1000ms);
    EXPECT_FALSE(second);
}

TEST(VolumeFadeTest, TheSliderTellsTheListenerOnlyOfItsOwnMoves) {
    RemoteControlledSlider slider;
    QSignalSpy user(&slider, &RemoteControlledSlider::userChanged);
    slider.setFloatValue(0.5f);
    EXPECT_EQ(slider.value(), 500);
    EXPECT_EQ(user.count(), 0);
    slider.triggerAction(QAbstractSlider::SliderSingleStepAdd);
    ASSERT_EQ(user.count(), 1);
    EXPECT_EQ(user[0][0].toFloat(), 0.501f);
    EXPECT_EQ(slider.floatValue(), 0.501f);
}
