#include "app/ui/Fades.h"

#include "app/foundation/Clock.h"
#include "app/foundation/ServiceLayerError.h"
#include "app/ui/RemoteControlledSlider.h"

#include <QEvent>
#include <QWidget>

#include <cmath>
#include <cstdlib>

// A real window behind FadableWindow; its close event reaches the controller.
class WindowFadeController::WidgetWindow : public QObject, public FadableWindow {
public:
    WidgetWindow(QWidget* w, WindowFadeController* controller) : widget_(w), controller_(controller) {
        if (w) w->installEventFilter(this);
    }
    bool isVisible() const override { return widget_ && widget_->isVisible(); }
    // Qt keeps the opacity in 8 bits: the exact value last set is answered while the
    // window still holds it, so that small steps do not drift down.
    float alphaValue() const override {
        if (!widget_) return 0.0f;
        const double held = widget_->windowOpacity();
        return std::abs(held - double(alpha_)) <= 1.0 / 255.0 ? alpha_ : float(held);
    }
    void setAlphaValue(float alpha) override {
        alpha_ = alpha;
        if (widget_) widget_->setWindowOpacity(alpha);
    }
    void show() override {
        if (widget_) widget_->show();
    }
    void orderOut() override {
        if (widget_) widget_->hide();
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == widget_ && event->type() == QEvent::Close) controller_->windowWillClose();
        return false;
    }

private:
    QPointer<QWidget> widget_;
    WindowFadeController* controller_;
    float alpha_ = 1.0f;
};

WindowFadeController::WindowFadeController(FadableWindow& window, WindowFadeDelegate* delegate, const Clock& clock,
                                           Scheduler& scheduler)
    : window_(window), delegate_(delegate), clock_(clock), scheduler_(scheduler), state_(stateOfWindow()) {}

WindowFadeController::WindowFadeController(QWidget* window, WindowFadeDelegate* delegate, const Clock& clock,
                                           Scheduler& scheduler)
    : owned_(std::make_unique<WidgetWindow>(window, this)),
      window_(*owned_),
      delegate_(delegate),
      clock_(clock),
      scheduler_(scheduler),
      state_(stateOfWindow()) {}

WindowFadeController::State WindowFadeController::stateOfWindow() const {
    if (!window_.isVisible()) return Hidden;
    return window_.alphaValue() < maxAlpha() ? FadingIn : Shown;
}

WindowFadeController::~WindowFadeController() { clearFadeTimer(); }

float WindowFadeController::maxAlpha() const {
    if (delegate_)
        if (auto max = delegate_->maxAlphaForWindow()) return *max;
    return 1.0f;
}

void WindowFadeController::startWindowFadeIn(int increments, double seconds) {
    clearFadeTimer();
    if (state_ == Hidden) window_.setAlphaValue(0);
    window_.show();
    start(increments, seconds, FadingIn);
}

void WindowFadeController::startWindowFadeOut(int increments, double seconds) {
    clearFadeTimer();
    start(increments, seconds, FadingOut);
}

void WindowFadeController::start(int increments, double seconds, State state) {
    state_ = state;
    // No steps or no time: the fade is over before it starts (a step of 1/0 would be
    // infinite and an interval of 0 a busy timer).
    if (increments <= 0 || !(seconds > 0)) {
        if (state == FadingIn) {
            window_.setAlphaValue(maxAlpha());
            state_ = Shown;
            if (delegate_) delegate_->fadeInCompletedForWindow();
        } else {
            window_.setAlphaValue(0);
            window_.orderOut();
            state_ = Hidden;
            if (delegate_) delegate_->fadeOutCompletedForWindow();
        }
        return;
    }
    timerInterval_ = seconds / float(increments);
    alphaDelta_ = 1.0f / float(increments);
    const auto intervalMs = std::chrono::milliseconds(std::max<qint64>(1, std::llround(timerInterval_ * 1000.0)));
    timer_ = scheduler_.repeating(intervalMs, [this] { Guarded("WindowFadeController tick", [&] { tick(); }); });
    expectedFiringTime_ = clock_.now().toMSecsSinceEpoch() + std::llround(timerInterval_ * 1000.0);
}

void WindowFadeController::tick() {
    switch (state_) {
    case FadingIn:
        if (incrementalFade(true)) {
            state_ = Shown;
            if (delegate_) delegate_->fadeInCompletedForWindow();
        }
        break;
    case FadingOut:
        if (incrementalFade(false)) {
            window_.orderOut();
            state_ = Hidden;
            if (delegate_) delegate_->fadeOutCompletedForWindow();
        }
        break;
    default: clearFadeTimer(); break;
    }
}

bool WindowFadeController::incrementalFade(bool in) {
    float step = alphaDelta_;
    const float a = window_.alphaValue();
    const qint64 now = clock_.now().toMSecsSinceEpoch();
    if (expectedFiringTime_) {
        const double lateSeconds = double(now - *expectedFiringTime_) / 1000.0;
        const int late = int(std::floor(float(lateSeconds / timerInterval_)));
        if (std::abs(late) > 1) step *= float(std::abs(late));
    }
    const qint64 next = now + std::llround(timerInterval_ * 1000.0);
    if (in) {
        const float ceiling = maxAlpha();
        const float v = a + step;
        if (v >= ceiling) {
            window_.setAlphaValue(ceiling);
            return true;
        }
        window_.setAlphaValue(v);
        expectedFiringTime_ = next;
        return false;
    }
    const float v = a - step;
    if (v > 0) {
        window_.setAlphaValue(v);
        expectedFiringTime_ = next;
        return false;
    }
    window_.setAlphaValue(0);
    return true;
}

void WindowFadeController::clearFadeTimer() {
    timer_.reset();
    expectedFiringTime_.reset();
}

void WindowFadeController::windowWillClose() {
    clearFadeTimer();
    state_ = Hidden;
}

void WindowFadeController::applicationWillHide() {
    if (state_ == FadingIn) window_.setAlphaValue(maxAlpha());
}

VolumeFadeController::VolumeFadeController(RemoteControlledSlider& knob, Scheduler& scheduler)
    : knob_(knob), scheduler_(scheduler), initialVolume_(knob.floatValue()) {}

VolumeFadeController::~VolumeFadeController() { timer_.reset(); }

void VolumeFadeController::fadeIn(double seconds) {
    timer_.reset();
    if (!(seconds > 0)) {
        // Nothing to spread the rise over: at the listener's volume at once.
        cancelFade();
        if (auto completion = completion_) completion(knob_);
        return;
    }
    direction_ = 1;
    timeRemaining_ = seconds;
    increment_ = float(double(initialVolume_) / seconds / 10.0);
    setVolumeTo(0);
    timer_ = scheduler_.repeating(std::chrono::milliseconds(100),
                                  [this] { Guarded("VolumeFadeController tick", [&] { fade(); }); });
}

void VolumeFadeController::fade() {
    setVolumeTo(knob_.floatValue() + float(direction_) * increment_);
    timeRemaining_ -= double(kTick);
    if (timeRemaining_ > 0) return;
    cancelFade();
    // The owner may delete the controller from the completion.
    if (auto completion = completion_) completion(knob_);
}

void VolumeFadeController::setVolumeTo(float volume) {
    knob_.setFloatValue(volume);
    knob_.sendRemoteAction();
}

void VolumeFadeController::cancelFade() {
    setVolumeTo(initialVolume_);
    stopFade();
}

void VolumeFadeController::stopFade() {
    increment_ = 0;
    timeRemaining_ = 0;
    direction_ = 0;
    timer_.reset();
}
