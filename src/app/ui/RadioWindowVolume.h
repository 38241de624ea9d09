#pragma once
// The main window's volume: the slider is the listener's volume, the player gets it through
// a curve that rises slowly at first; muting lasts to the end of the current song, and the
// launch fades the volume in.

#include <QObject>

#include <memory>

class RadioWindowController;
class RemoteControlledSlider;
class VolumeFadeController;

class RadioWindowVolume : public QObject {
    Q_OBJECT
public:
    RadioWindowVolume(RadioWindowController& window, RemoteControlledSlider& slider);
    ~RadioWindowVolume() override;
    // The slider's actions, its menu items and the answers to track starts and play changes.
    void setup();

    static float volumeForSliderValue(float value);
    RemoteControlledSlider& slider() { return volume_; }
    // The stored volume onto the slider, and back.
    void restoreFromDefaults();
    void saveToDefaults();
    void setVolumeFromSlider(bool fromUser);
    void setVolumeFromFader() { setVolumeFromSlider(false); }
    void volumeUp();
    void volumeDown();
    void setVolumeToMax();
    // With Control held the song is muted instead.
    void setVolumeToMin(Qt::KeyboardModifiers modifiers);
    void muteTilEndOfCurrentSong();
    void stopMuting();
    void undoMuting();
    // The volume slider's value times 100, truncated; a set is clamped to the slider's range
    // and interrupts neither a fade nor muting.
    int soundVolume() const;
    void setSoundVolume(int volume);
    // The launch fade-in from silence to the slider's value.
    void fadeVolumeIn(double seconds);
    // Back to the listener's own volume.
    void cancelVolumeFade();
    bool volumeFading() const;
    // The next stream that buffers fades in (the last station played at launch).
    void setFadeInOnPlay(bool fade) { fadeInVolumeOnPlay_ = fade; }
    void streamBuffering();

private:
    void volumePlayingStateChanged();

    RadioWindowController& window_;
    RemoteControlledSlider& volume_;
    bool fadeInVolumeOnPlay_ = false;
    // Shared only so that this header need not complete its type.
    std::shared_ptr<VolumeFadeController> volumeFader_;
};
