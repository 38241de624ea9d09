#pragma once
// The one road of interface actions (keys of the lists, buttons): each goes through
// send(), where the application's observer (the interface analytics) sees it first.

#include <QString>

#include <functional>

class QObject;

namespace ApplicationActions {

using Observer = std::function<void(const QString& action, QObject* sender)>;
// Returns the observer replaced.
Observer setObserver(Observer observer);

// Tells the observer, then runs `action` (an exception is logged, not thrown on).
void send(const QString& action, QObject* sender, const std::function<void()>& run);

}  // namespace ApplicationActions
