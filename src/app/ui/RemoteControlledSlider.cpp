#include "app/ui/RemoteControlledSlider.h"

#include "app/foundation/ServiceLayerError.h"

#include <algorithm>
#include <cmath>

RemoteControlledSlider::RemoteControlledSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setRange(0, kScale);
    connect(this, &QSlider::valueChanged, this, [this](int v) {
        if (settingByCode_) return;
        value_ = float(v) / kScale;
        emit userChanged(value_);
    });
}

void RemoteControlledSlider::setFloatValue(float value) {
    if (std::isnan(value)) value = 0;
    // The exact value is kept: a fade's small steps must add up even where one step is
    // less than a knob position.
    value_ = std::clamp(value, 0.0f, 1.0f);
    settingByCode_ = true;
    setValue(int(std::lround(value_ * kScale)));
    settingByCode_ = false;
}

void RemoteControlledSlider::sendRemoteAction() {
    if (remoteAction_) Guarded("RemoteControlledSlider remote action", [&] { remoteAction_(value_); });
}
