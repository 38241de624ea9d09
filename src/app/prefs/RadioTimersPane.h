#pragma once
// The sleep and wake timers pane of the preferences window: each timer's on/off, date
// picker, repeat-daily checkbox and minutes-left label, refreshed every second while the
// pane shows. The settings go to the user defaults when the pane closes, then
// "RadioTimersSettingsHaveChangedNotification" tells the main window to re-arm its timers.

#include <QDateTime>

#include <memory>

class QDateTimeEdit;
class QWidget;
class RadioPrefsWindowController;
class ScheduledTimer;
struct RadioPrefsControls;
struct RadioPrefsEnvironment;

class RadioTimersPane {
public:
    // The window owns the pane, its environment and its controls; the pane fills the
    // controls' timer fields when it builds its view. The window is the object of the
    // change notification.
    RadioTimersPane(RadioPrefsWindowController& window, const RadioPrefsEnvironment& environment,
                    RadioPrefsControls& controls);
    ~RadioTimersPane();

    QWidget* buildTimersView();

    void initTimersPane();
    void termTimersPane();
    void enableSleepTimer();
    void enableWakeTimer();
    void updateTimerLabels();
    bool timersLabelTimerRuns() const { return timersUpdateTimer_ != nullptr; }

    // The picker's date and time in the window's time zone.
    QDateTime pickerDate(const QDateTimeEdit* picker) const;
    void setPickerDate(QDateTimeEdit* picker, const QDateTime& date);

private:
    struct TimerControls;
    QDateTime now() const;
    void initTimer(const TimerControls& timer, const QDateTime& now, const QDateTime& offDate);
    void termTimer(const TimerControls& timer, const QDateTime& now);
    void updateTimerLabel(const TimerControls& timer, const QDateTime& now);
    void enableTimer(const TimerControls& timer);
    TimerControls sleepTimer() const;
    TimerControls wakeTimer() const;

    RadioPrefsWindowController& window_;
    const RadioPrefsEnvironment& env_;
    RadioPrefsControls& c_;
    std::unique_ptr<ScheduledTimer> timersUpdateTimer_;
};
