// The sleep and wake timers of the window: set up from the stored times after every
// completed directory load and whenever the preferences change them.

#include "app/ui/RadioWindowController.h"

void RadioWindowController::setupSleepTimer() { sleepTimer_->setup(); }

void RadioWindowController::setupWakeTimer() { wakeTimer_->setup(); }

void RadioWindowController::timersSettingsChanged() {
    setupSleepTimer();
    setupWakeTimer();
}
