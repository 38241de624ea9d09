#pragma once

// Sleep and wake of the machine as application notifications, over logind.
//
// While installed, the program holds a "delay" sleep inhibitor. When logind announces
// that the machine is about to sleep, "MachineIsSleepingNotification" is posted (the
// application stops playing on it) and only then is the inhibitor closed, which allows
// the sleep; the program never vetoes it. On waking, "MachineIsWakingUpNotification" is
// posted and a new inhibitor taken. Without logind the notifier is not installed. Main
// thread only.

#include <QDBusConnection>
#include <QString>

class NotificationCenter;

inline const QString kMachineIsSleepingNotification = QStringLiteral("MachineIsSleepingNotification");
inline const QString kMachineIsWakingUpNotification = QStringLiteral("MachineIsWakingUpNotification");

// On the system bus, posting to the default center. Installing twice installs once.
// False when logind cannot be reached (a later install tries again).
bool InstallSleepWakeNotifier();
// The same on a given bus and center (tests use a private bus).
bool InstallSleepWakeNotifier(const QDBusConnection& bus, NotificationCenter& center);
// Does nothing when nothing is installed.
void RemoveSleepWakeNotifier();
bool IsSleepWakeNotifierInstalled();
