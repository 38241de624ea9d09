#include "app/support/SleepWakeNotifier.h"

#include "app/foundation/NSLog.h"
#include "app/foundation/NotificationCenter.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QObject>

#include <memory>

namespace {

const QString kLogin1Service = QStringLiteral("org.freedesktop.login1");
const QString kLogin1Path = QStringLiteral("/org/freedesktop/login1");
const QString kLogin1Manager = QStringLiteral("org.freedesktop.login1.Manager");

// Receives logind's PrepareForSleep and holds the inhibitor. The inhibitor is the
// descriptor logind handed over: sleep waits (up to logind's delay limit) until every
// copy is closed.
class SleepWakeWatcher : public QObject {
    Q_OBJECT
public:
    SleepWakeWatcher(const QDBusConnection& bus, NotificationCenter& center) : bus_(bus), center_(center) {}

    bool Connect() {
        return bus_.connect(kLogin1Service, kLogin1Path, kLogin1Manager, QStringLiteral("PrepareForSleep"), this,
                            SLOT(prepareForSleep(bool)));
    }

    void Disconnect() {
        bus_.disconnect(kLogin1Service, kLogin1Path, kLogin1Manager, QStringLiteral("PrepareForSleep"), this,
                        SLOT(prepareForSleep(bool)));
    }

    void TakeInhibitor() {
        if (inhibitor_.isValid() || pending_) return;
        QDBusMessage call =
            QDBusMessage::createMethodCall(kLogin1Service, kLogin1Path, kLogin1Manager, QStringLiteral("Inhibit"));
        call << QStringLiteral("sleep") << QStringLiteral("ZYM Radio")
             << QStringLiteral("Stops playing before the machine sleeps") << QStringLiteral("delay");
        pending_ = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
        connect(pending_, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            if (w != pending_) return;  // dropped by a sleep that came first
            pending_ = nullptr;
            QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
            if (reply.isError()) {
                NSLog(QStringLiteral("sleep inhibitor refused: %1").arg(reply.error().message()));
                return;
            }
            inhibitor_ = reply.value();
        });
    }

    void ReleaseInhibitor() {
        pending_ = nullptr;  // a reply still on its way is dropped, its descriptor closed
        inhibitor_ = QDBusUnixFileDescriptor();
    }

    bool HoldsInhibitor() const { return inhibitor_.isValid(); }

public Q_SLOTS:
    void prepareForSleep(bool sleeping) {
        try {
            if (sleeping) {
                center_.post(kMachineIsSleepingNotification);
                ReleaseInhibitor();
            } else {
                center_.post(kMachineIsWakingUpNotification);
                TakeInhibitor();
            }
        } catch (const std::exception& e) {
            NSLog(QStringLiteral("sleep/wake observer failed: %1").arg(QString::fromUtf8(e.what())));
            if (sleeping) ReleaseInhibitor();
        }
    }

private:
    QDBusConnection bus_;
    NotificationCenter& center_;
    QDBusUnixFileDescriptor inhibitor_;
    QDBusPendingCallWatcher* pending_ = nullptr;
};

std::unique_ptr<SleepWakeWatcher>& Installed() {
    static std::unique_ptr<SleepWakeWatcher> watcher;
    return watcher;
}

}  // namespace

bool InstallSleepWakeNotifier() {
    return InstallSleepWakeNotifier(QDBusConnection::systemBus(), NotificationCenter::defaultCenter());
}

bool InstallSleepWakeNotifier(const QDBusConnection& bus, NotificationCenter& center) {
    if (Installed()) return true;
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(kLogin1Service)) return false;
    auto watcher = std::make_unique<SleepWakeWatcher>(bus, center);
    if (!watcher->Connect()) return false;
    watcher->TakeInhibitor();
    Installed() = std::move(watcher);
    return true;
}

void RemoveSleepWakeNotifier() {
    auto& watcher = Installed();
    if (!watcher) return;
    watcher->Disconnect();
    watcher->ReleaseInhibitor();
    watcher.reset();
}

bool IsSleepWakeNotifierInstalled() { return Installed() != nullptr; }

#include "SleepWakeNotifier.moc"
