// The main window's volume: the slider is the listener's volume, the player gets it through
// a curve that rises slowly at first; muting lasts to the end of the current song.

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>
#include <cmath>

#include "app/foundation/ServiceLayerError.h"
#include "app/foundation/UserDefaults.h"
#include "app/ui/Fades.h"
#include "app/ui/RadioWindowController.h"
#include "app/ui/RadioWindowVolume.h"
#include "app/ui/RemoteControlledSlider.h"

float RadioWindowVolume::volumeForSliderValue(float value) {
    if (!(value > 0)) return 0;
    // 0.1 x v x 10^v; at the top it may round a hair above 1, which the player refuses.
    return std::min(1.0f, 0.1f * value * std::exp(value * std::log(10.0f)));
}

RadioWindowVolume::RadioWindowVolume(RadioWindowController& window, RemoteControlledSlider& slider)
    : window_(window), volume_(slider) {}

RadioWindowVolume::~RadioWindowVolume() = default;

void RadioWindowVolume::restoreFromDefaults() {
    UserDefaults& defaults = window_.defaults();
    double v = 0.5;
    if (defaults.object(QStringLiteral("volume")).isValid())
        v = std::clamp(double(defaults.floatValue(QStringLiteral("volume"))), 0.0, 1.0);
    if (std::isnan(v)) v = 0.5;
    volume_.setValue(int(std::lround(v * RemoteControlledSlider::kScale)));
    setVolumeFromSlider(false);
}

void RadioWindowVolume::saveToDefaults() {
    window_.defaults().setDouble(QStringLiteral("volume"), double(volume_.value()) / RemoteControlledSlider::kScale);
}

void RadioWindowVolume::streamBuffering() {
    if (fadeInVolumeOnPlay_) fadeVolumeIn(5.0);
    fadeInVolumeOnPlay_ = false;
}

int RadioWindowVolume::soundVolume() const { return int(volume_.floatValue() * 100.0f); }

void RadioWindowVolume::setSoundVolume(int volume) {
    const float value = std::clamp(float(volume) / 100.0f, volume_.floatMinimum(), volume_.floatMaximum());
    volume_.setFloatValue(value);
    setVolumeFromSlider(false);
}

void RadioWindowVolume::setup() {
    volume_.setObjectName(QStringLiteral("volume"));
    volume_.setRemoteAction([this](float) { setVolumeFromFader(); });
    connect(&volume_, &RemoteControlledSlider::userChanged, this,
            [this] { Guarded("volume slider", [this] { setVolumeFromSlider(true); }); });
    if (QMenu* controls =
            window_.menuBar()->actions().isEmpty() ? nullptr : window_.menuBar()->actions().front()->menu()) {
        controls->addSeparator();
        auto add = [&](const char* name, const QString& title, QKeySequence keys, std::function<void()> action) {
            QAction* a = controls->addAction(title);
            a->setObjectName(QString::fromLatin1(name));
            a->setShortcut(keys);
            connect(a, &QAction::triggered, this, [name, action] { Guarded(name, action); });
        };
        add("volumeUp", window_.text("VolumeUpMenuItem"), QKeySequence(Qt::CTRL | Qt::Key_Up), [this] { volumeUp(); });
        add("volumeDown", window_.text("VolumeDownMenuItem"), QKeySequence(Qt::CTRL | Qt::Key_Down),
            [this] { volumeDown(); });
        add("volumeMax", window_.text("MaximumVolumeMenuItem"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Up),
            [this] { setVolumeToMax(); });
        add("volumeMin", window_.text("MinimumVolumeMenuItem"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Down),
            [this] { setVolumeToMin(QGuiApplication::keyboardModifiers()); });
        add("muteUntilSongEnds", window_.text("MuteUntilSongEndsMenuItem"), QKeySequence(),
            [this] { muteTilEndOfCurrentSong(); });
    }
    connect(&window_, &RadioWindowController::trackStarted, this, [this] {
        Guarded("track start", [this] {
            if (!window_.mutingShouldContinue()) undoMuting();
        });
    });
    connect(&window_, &RadioWindowController::playingStateChanged, this,
            [this] { Guarded("volume play state", [this] { volumePlayingStateChanged(); }); });
}

void RadioWindowVolume::setVolumeFromSlider(bool fromUser) {
    if (fromUser) {
        // The listener takes over from a fade and from muting.
        if (volumeFader_) {
            volumeFader_->stopFade();
            volumeFader_.reset();
        }
        if (window_.isMuting()) stopMuting();
    }
    if (RadioPlayer* player = window_.player()) player->setVolume(volumeForSliderValue(volume_.floatValue()));
}

void RadioWindowVolume::volumeUp() {
    const float step = float(volume_.maximum() - volume_.minimum()) / RemoteControlledSlider::kScale / 10.0f;
    volume_.setFloatValue(std::min(volume_.floatValue() + step, volume_.floatMaximum()));
    setVolumeFromSlider(true);
}

void RadioWindowVolume::volumeDown() {
    const float step = float(volume_.maximum() - volume_.minimum()) / RemoteControlledSlider::kScale / 10.0f;
    volume_.setFloatValue(std::max(volume_.floatValue() - step, volume_.floatMinimum()));
    setVolumeFromSlider(true);
}

void RadioWindowVolume::setVolumeToMax() {
    volume_.setFloatValue(volume_.floatMaximum());
    setVolumeFromSlider(true);
}

void RadioWindowVolume::setVolumeToMin(Qt::KeyboardModifiers modifiers) {
    if (modifiers & Qt::ControlModifier) return muteTilEndOfCurrentSong();
    volume_.setFloatValue(volume_.floatMinimum());
    setVolumeFromSlider(true);
}

void RadioWindowVolume::muteTilEndOfCurrentSong() {
    if (!window_.playSession().muteTilEndOfCurrentSong(volume_.floatValue())) return;
    volume_.setFloatValue(volume_.floatMinimum());
    setVolumeFromSlider(false);
}

void RadioWindowVolume::undoMuting() {
    const std::optional<float> volume = window_.playSession().undoMuting();
    if (!volume) return;
    if (volume_.floatValue() <= volume_.floatMinimum()) {
        volume_.setFloatValue(std::min(*volume, volume_.floatMaximum()));
        setVolumeFromSlider(false);
    }
}

void RadioWindowVolume::stopMuting() { window_.playSession().stopMuting(); }

void RadioWindowVolume::volumePlayingStateChanged() {
    // Another station started (or the muted one again after it stopped): muting ends.
    if (window_.playSession().playingStationEndsMuting()) undoMuting();
}

void RadioWindowVolume::fadeVolumeIn(double seconds) {
    volumeFader_ = std::make_shared<VolumeFadeController>(volume_, *window_.environment().scheduler);
    // Deleting the fader from its own completion is allowed.
    volumeFader_->setCompletion([this](RemoteControlledSlider&) { volumeFader_.reset(); });
    volumeFader_->fadeIn(seconds);
}

void RadioWindowVolume::cancelVolumeFade() {
    if (!volumeFader_) return;
    volumeFader_->cancelFade();
    volumeFader_.reset();
}

bool RadioWindowVolume::volumeFading() const { return volumeFader_ && volumeFader_->isFading(); }
