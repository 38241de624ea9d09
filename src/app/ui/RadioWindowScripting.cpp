// The window as scripts and the chat clients see it: streams played by address, the forced
// sign-on of a URL, the volume as a percentage, and the status message of the chat clients.

#include <algorithm>
#include <cmath>

#include "app/radio/RadioMetadataParser.h"
#include "app/foundation/ServiceLayerError.h"
#include "app/foundation/UserDefaults.h"
#include "app/radio/ZYMRadioStation.h"
#include "app/ui/RadioWindowController.h"
#include "app/ui/RemoteControlledSlider.h"

namespace {
const QString kSetIChatStatus = QStringLiteral("set_ichat_status");
}  // namespace

void RadioWindowController::setupScriptingChatAndTimers() {
    chatStatus_ = std::make_unique<ChatStatus>(ScriptRunner::system(), *env_.clock, *env_.scheduler, env_.chatClient);
    connect(this, &RadioWindowController::playingStateChanged, this, [this] {
        Guarded("chat status", [this] {
            if (isPreparingOrBufferingOrPlaying())
                updateIChatNowPlaying();
            else
                clearIChatNowPlaying(false);
        });
    });

    sleepTimer_ =
        std::make_unique<SleepWakeTimer>(defaults_, *env_.clock, *env_.scheduler, QStringLiteral("sleep_date"),
                                         QStringLiteral("sleep_repeats"), [this] { stopPlaying(); });
    wakeTimer_ = std::make_unique<SleepWakeTimer>(defaults_, *env_.clock, *env_.scheduler, QStringLiteral("wake_date"),
                                                  QStringLiteral("wake_repeats"), [this] { playActiveStation(); });
    NotificationCenter& center =
        env_.service.notifications ? *env_.service.notifications : NotificationCenter::defaultCenter();
    timersSettingsObserver_ = center.observe(QStringLiteral("RadioTimersSettingsHaveChangedNotification"), nullptr,
                                             [this](const Notification&) { timersSettingsChanged(); });
}

// ---- scripting -----------------------------------------------------------------------

void RadioWindowController::playStationWithURL(const QString& url) {
    if (!player() || url.isEmpty()) return;
    if (!launchSetupFinished_) playChosenAtLaunch_ = true;
    session_->playStationWithURL(url);
    updateWindowUI();
}

void RadioWindowController::forceSignOnAndPlayStationID(const std::optional<QString>& stationID,
                                                        const std::optional<QString>& name) {
    forcePlayAtSignOn_ = true;
    if (!launchSetupFinished_) playChosenAtLaunch_ = true;
    forcePlayStationID_ = stationID;
    forcePlayStationName_ = name;
    signOn();
}

void RadioWindowController::playForcedStationAtSignOn() {
    if (!forcePlayAtSignOn_) return;
    forcePlayAtSignOn_ = false;
    const auto id = std::exchange(forcePlayStationID_, std::nullopt);
    const auto name = std::exchange(forcePlayStationName_, std::nullopt);
    if (id && radioService_->stationWithID(*id))
        playStationWithID(*id);
    else if (name)
        if (auto station = radioService_->stationWithName(*name)) startPlaying(station, true);
}

int RadioWindowController::soundVolume() const { return int(volume_->floatValue() * 100.0f); }

void RadioWindowController::setSoundVolume(int volume) {
    const float value = std::clamp(float(volume) / 100.0f, volume_->floatMinimum(), volume_->floatMaximum());
    volume_->setFloatValue(value);
    setVolumeFromSlider(false);
}

// ---- chat status ---------------------------------------------------------------------

void RadioWindowController::setChatScriptRunner(ScriptRunner& runner) {
    chatStatus_ = std::make_unique<ChatStatus>(runner, *env_.clock, *env_.scheduler, env_.chatClient);
}

void RadioWindowController::updateIChatNowPlaying() {
    if (!defaults_.boolean(kSetIChatStatus)) return;
    // An audio ad leaves the last song in the status.
    const RadioMetadataParser* currentTrack = currentTrackMetadata();
    if (currentTrack && currentTrack->isPromo()) return;
    if (!isPreparingOrBufferingOrPlaying()) return;
    const bool song = currentTrack && currentTrack->isSong();
    const QString artist = song ? currentTrack->songArtist().value_or(QString()) : QString();
    const QString name = song ? currentTrack->songName().value_or(QString()) : QString();
    const QString message = !artist.isEmpty() && !name.isEmpty()
                                ? format("ChatStatusMessage", {artist, name})
                                : format("ChatStatusMessageNoMetadata", {playingStation()->name()});
    chatStatus_->setIMStatusMessage(message);
}

void RadioWindowController::clearIChatNowPlaying(bool force) {
    if (force || defaults_.boolean(kSetIChatStatus)) chatStatus_->setIMStatusMessage(QString(""));
}

void RadioWindowController::chatStatusPreferenceChanged() {
    if (defaults_.boolean(kSetIChatStatus))
        updateIChatNowPlaying();
    else
        clearIChatNowPlaying(true);
}
