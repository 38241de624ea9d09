#pragma once
// Window fades (alpha stepped on a repeating timer, catching up when ticks come late) and
// the volume fade-in of the volume slider. Main thread only; time from a Clock, timers
// from a Scheduler, so tests step them.

#include <QPointer>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class Clock;
class QWidget;
class RemoteControlledSlider;
class ScheduledTimer;
class Scheduler;

// The window a WindowFadeController fades.
class FadableWindow {
public:
    virtual ~FadableWindow() = default;
    virtual bool isVisible() const = 0;
    virtual float alphaValue() const = 0;
    virtual void setAlphaValue(float alpha) = 0;
    // Shown at the start of every fade-in, hidden at the end of a fade-out.
    virtual void show() = 0;
    virtual void orderOut() = 0;
};

// Told about a window's fades; every method is optional.
class WindowFadeDelegate {
public:
    virtual ~WindowFadeDelegate() = default;
    // The alpha a fade-in stops at; none means 1.0.
    virtual std::optional<float> maxAlphaForWindow() { return std::nullopt; }
    virtual void fadeInCompletedForWindow() {}
    virtual void fadeOutCompletedForWindow() {}
};

class WindowFadeController {
public:
    enum State { Hidden = 0, FadingIn = 1, Shown = 2, FadingOut = 3 };

    // `window` must outlive the controller.
    WindowFadeController(FadableWindow& window, WindowFadeDelegate* delegate, const Clock& clock, Scheduler& scheduler);
    // A real window: alpha is its window opacity (shown only with a compositor); its close
    // event stops a fade.
    WindowFadeController(QWidget* window, WindowFadeDelegate* delegate, const Clock& clock, Scheduler& scheduler);
    ~WindowFadeController();
    WindowFadeController(const WindowFadeController&) = delete;
    WindowFadeController& operator=(const WindowFadeController&) = delete;

    // Start a fade of `increments` steps over `seconds`, replacing a running fade. A
    // fade-in from hidden starts at alpha 0; otherwise a fade continues from the current
    // alpha. A fade without steps or without duration ends at once.
    void startWindowFadeIn(int increments, double seconds);
    void startWindowFadeOut(int increments, double seconds);

    // The window is closing: the fade stops without completion messages.
    void windowWillClose();
    // The application is being hidden: a fade-in jumps to its ceiling (the next tick
    // reports the end).
    void applicationWillHide();

    State state() const { return state_; }
    bool isFading() const { return bool(timer_); }

private:
    class WidgetWindow;
    void start(int increments, double seconds, State state);
    void tick();
    bool incrementalFade(bool in);
    void clearFadeTimer();
    float maxAlpha() const;
    State stateOfWindow() const;

    std::unique_ptr<WidgetWindow> owned_;
    FadableWindow& window_;
    WindowFadeDelegate* delegate_;
    const Clock& clock_;
    Scheduler& scheduler_;
    State state_ = Hidden;
    float alphaDelta_ = 0;
    double timerInterval_ = 0;                  // seconds
    std::optional<qint64> expectedFiringTime_;  // ms since the epoch
    std::unique_ptr<ScheduledTimer> timer_;
};

// Raises the volume from silence to the slider's value when the controller was made, in
// ticks of 0.1 s, moving the slider and sending its remote action at every step.
class VolumeFadeController {
public:
    VolumeFadeController(RemoteControlledSlider& knob, Scheduler& scheduler);
    ~VolumeFadeController();
    VolumeFadeController(const VolumeFadeController&) = delete;
    VolumeFadeController& operator=(const VolumeFadeController&) = delete;

    // Called once when a fade has ended by itself.
    void setCompletion(std::function<void(RemoteControlledSlider&)> completion) { completion_ = std::move(completion); }

    void fadeIn(double seconds);
    // Back to the volume from before the fade, and stop.
    void cancelFade();
    // Stop where the fade is.
    void stopFade();
    void setVolumeTo(float volume);
    bool isFading() const { return bool(timer_); }

    static constexpr float kTick = 0.1f;

private:
    void fade();

    RemoteControlledSlider& knob_;
    Scheduler& scheduler_;
    float initialVolume_;
    float increment_ = 0;
    double timeRemaining_ = 0;
    int direction_ = 0;
    std::unique_ptr<ScheduledTimer> timer_;
    std::function<void(RemoteControlledSlider&)> completion_;
};
