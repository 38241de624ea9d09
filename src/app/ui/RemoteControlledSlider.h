#pragma once
// The volume slider: a QSlider over 0..1000 that keeps its value as a float 0..1. The
// listener's moves are announced by userChanged; a value set by code (the volume fade)
// is not, and reaches the player through the remote action instead, so a fade never
// reads its own steps as the listener taking over.

#include <QSlider>

#include <functional>

class RemoteControlledSlider : public QSlider {
    Q_OBJECT
public:
    // Knob positions per unit of floatValue.
    static constexpr int kScale = 1000;

    explicit RemoteControlledSlider(QWidget* parent = nullptr);

    float floatValue() const { return value_; }
    float floatMinimum() const { return float(minimum()) / kScale; }
    float floatMaximum() const { return float(maximum()) / kScale; }
    // Moves the knob without userChanged.
    void setFloatValue(float value);

    // Called with the slider's value by sendRemoteAction (the fade's route to the player).
    void setRemoteAction(std::function<void(float)> action) { remoteAction_ = std::move(action); }
    bool hasRemoteAction() const { return bool(remoteAction_); }
    void sendRemoteAction();

signals:
    // The listener moved the knob (mouse, wheel or keys).
    void userChanged(float value);

private:
    float value_ = 0;
    bool settingByCode_ = false;
    std::function<void(float)> remoteAction_;
};
