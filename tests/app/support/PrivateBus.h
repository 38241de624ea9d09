#pragma once

// A private session bus for one test (a dbus-daemon of our own, as dbus-run-session
// gives), and connections to it.

#include <QDBusConnection>
#include <QProcess>
#include <QString>

#include <gtest/gtest.h>

namespace supporttest {

class PrivateBus {
public:
    PrivateBus() {
        daemon_.setProgram(QStringLiteral("dbus-daemon"));
        daemon_.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                              QStringLiteral("--print-address=1")});
        daemon_.start();
        if (!daemon_.waitForStarted(10000)) return;
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(10000)) {}
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        for (const QString& name : names_)
            QDBusConnection::disconnectFromBus(name);
        daemon_.terminate();
        daemon_.waitForFinished(10000);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool Ready() const { return !address_.isEmpty(); }
    // For clients in other processes (DBUS_SESSION_BUS_ADDRESS).
    const QString& Address() const { return address_; }
    // A new connection of its own.
    QDBusConnection Connect() {
        const QString name = QStringLiteral("zymtest-%1-%2").arg(reinterpret_cast<quintptr>(this)).arg(names_.size());
        names_.append(name);
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

}  // namespace supporttest

#define REQUIRE_PRIVATE_BUS(bus)                                                               \
    do {                                                                                       \
        if (!(bus).Ready()) GTEST_SKIP() << "dbus-daemon could not be started (package dbus)"; \
    } while (0)
