// The main window's volume: the slider is the listener's volume, the player gets it through
// a curve that rises slowly at first; muting lasts to the end of the current song.

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>
#include <cmath>

#include "app/foundation/ServiceLayerError.h"
#include "app/ui/Fades.h"
#include "app/ui/RadioWindowController.h"
#include "app/ui/RemoteControlledSlider.h"

float RadioWindowController::volumeForSliderValue(float value) {
    if (!(value > 0)) return 0;
    // 0.1 x v x 10^v; at the top it may round a hair above 1, which the player refuses.
    return std::min(1.0f, 0.1f * value * std::exp(value * std::log(10.0f)));
}

void RadioWindowController::setupVolume() {
    volume_->setObjectName(QStringLiteral("volume"));
    volume_->setRemoteAction([this](float) { setVolumeFromFader(); });
    connect(volume_, &RemoteControlledSlider::userChanged, this,
            [this] { Guarded("volume slider", [this] { setVolumeFromSlider(true); }); });
    if (QMenu* controls = menuBar_->actions().isEmpty() ? nullptr : menuBar_->actions().front()->menu()) {
        controls->addSeparator();
        auto add = [&](const char* name, const QString& title, QKeySequence keys, std::function<void()> action) {
            QAction* a = controls->addAction(title);
            a->setObjectName(QString::fromLatin1(name));
            a->setShortcut(keys);
            connect(a, &QAction::triggered, this, [name, action] { Guarded(name, action); });
        };
        add("volumeUp", text("VolumeUpMenuItem"), QKeySequence(Qt::CTRL | Qt::Key_Up), [this] { volumeUp(); });
        add("volumeDown", text("VolumeDownMenuItem"), QKeySequence(Qt::CTRL | Qt::Key_Down), [this] { volumeDown(); });
        add("volumeMax", text("MaximumVolumeMenuItem"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Up),
            [this] { setVolumeToMax(); });
        add("volumeMin", text("MinimumVolumeMenuItem"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Down),
            [this] { setVolumeToMin(QGuiApplication::keyboardModifiers()); });
        add("muteUntilSongEnds", text("MuteUntilSongEndsMenuItem"), QKeySequence(),
            [this] { muteTilEndOfCurrentSong(); });
    }
    connect(this, &RadioWindowController::trackStarted, this, [this] {
        Guarded("track start", [this] {
            if (!mutingShouldContinue()) undoMuting();
        });
    });
    connect(this, &RadioWindowController::playingStateChanged, this,
            [this] { Guarded("volume play state", [this] { volumePlayingStateChanged(); }); });
}

void RadioWindowController::setVolumeFromSlider(bool fromUser) {
    if (fromUser) {
        // The listener takes over from a fade and from muting.
        if (volumeFader_) {
            volumeFader_->stopFade();
            volumeFader_.reset();
        }
        if (isMuting()) stopMuting();
    }
    if (RadioPlayer* player = this->player()) player->setVolume(volumeForSliderValue(volume_->floatValue()));
}

void RadioWindowController::volumeUp() {
    const float step = float(volume_->maximum() - volume_->minimum()) / RemoteControlledSlider::kScale / 10.0f;
    volume_->setFloatValue(std::min(volume_->floatValue() + step, volume_->floatMaximum()));
    setVolumeFromSlider(true);
}

void RadioWindowController::volumeDown() {
    const float step = float(volume_->maximum() - volume_->minimum()) / RemoteControlledSlider::kScale / 10.0f;
    volume_->setFloatValue(std::max(volume_->floatValue() - step, volume_->floatMinimum()));
    setVolumeFromSlider(true);
}

void RadioWindowController::setVolumeToMax() {
    volume_->setFloatValue(volume_->floatMaximum());
    setVolumeFromSlider(true);
}

void RadioWindowController::setVolumeToMin(Qt::KeyboardModifiers modifiers) {
    if (modifiers & Qt::ControlModifier) return muteTilEndOfCurrentSong();
    volume_->setFloatValue(volume_->floatMinimum());
    setVolumeFromSlider(true);
}

void RadioWindowController::muteTilEndOfCurrentSong() {
    if (!session_->muteTilEndOfCurrentSong(volume_->floatValue())) return;
    volume_->setFloatValue(volume_->floatMinimum());
    setVolumeFromSlider(false);
}

void RadioWindowController::undoMuting() {
    const std::optional<float> volume = session_->undoMuting();
    if (!volume) return;
    if (volume_->floatValue() <= volume_->floatMinimum()) {
        volume_->setFloatValue(std::min(*volume, volume_->floatMaximum()));
        setVolumeFromSlider(false);
    }
}

void RadioWindowController::stopMuting() { session_->stopMuting(); }

void RadioWindowController::volumePlayingStateChanged() {
    // Another station started (or the muted one again after it stopped): muting ends.
    if (session_->playingStationEndsMuting()) undoMuting();
}

void RadioWindowController::fadeVolumeIn(double seconds) {
    volumeFader_ = std::make_shared<VolumeFadeController>(*volume_, *env_.scheduler);
    // Deleting the fader from its own completion is allowed.
    volumeFader_->setCompletion([this](RemoteControlledSlider&) { volumeFader_.reset(); });
    volumeFader_->fadeIn(seconds);
}

void RadioWindowController::cancelVolumeFade() {
    if (!volumeFader_) return;
    volumeFader_->cancelFade();
    volumeFader_.reset();
}

bool RadioWindowController::volumeFading() const { return volumeFader_ && volumeFader_->isFading(); }
