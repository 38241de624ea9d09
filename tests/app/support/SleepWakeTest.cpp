#include "app/support/SleepWakeNotifier.h"

#include "PrivateBus.h"
#include "SupportTestSupport.h"
#include "app/foundation/NotificationCenter.h"

#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QMutex>

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <vector>

using supporttest::PrivateBus;
using supporttest::RunUntil;

namespace {

// logind as far as the notifier uses it: Inhibit hands out the write end of a pipe and
// keeps the read end, which reports end of file once every copy is closed.
class FakeLogind : public QDBusVirtualObject {
public:
    ~FakeLogind() override {
        for (int fd : readEnds)
            close(fd);
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != QLatin1String("Inhibit")) return false;
        QMutexLocker lock(&mutex);
        calls.push_back(message.arguments().value(0).toString() + "/" + message.arguments().value(3).toString());
        int fds[2];
        if (pipe(fds) != 0) return false;
        readEnds.push_back(fds[0]);
        const QDBusUnixFileDescriptor handed(fds[1]);  // a copy
        close(fds[1]);
        connection.send(message.createReply(QVariantList{QVariant::fromValue(handed)}));
        return true;
    }

    // Inhibitors handed out whose every copy is closed.
    static bool Closed(int fd) {
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLIN));
    }
    int OpenCount() {
        QMutexLocker lock(&mutex);
        int n = 0;
        for (int fd : readEnds)
            if (!Closed(fd)) ++n;
        return n;
    }

    std::vector<QString> Calls() {
        QMutexLocker lock(&mutex);
        return calls;
    }

    // The bus may call in from its own thread.
    QMutex mutex;
    std::vector<QString> calls;
    std::vector<int> readEnds;
};

void Announce(QDBusConnection& fake, bool sleeping) {
    QDBusMessage signal =
        QDBusMessage::createSignal("/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep");
    signal << sleeping;
    fake.send(signal);
}

class SleepWake : public ::testing::Test {
protected:
    void TearDown() override { RemoveSleepWakeNotifier(); }
    PrivateBus bus;
};

TEST_F(SleepWake, ObserverRunsBeforeSleepIsAllowedAndWakeTakesANewInhibitor) {
    REQUIRE_PRIVATE_BUS(bus);
    QDBusConnection fakeConnection = bus.Connect();
    FakeLogind logind;
    ASSERT_TRUE(fakeConnection.registerVirtualObject("/org/freedesktop/login1", &logind));
    ASSERT_TRUE(fakeConnection.registerService("org.freedesktop.login1"));

    NotificationCenter center;
    std::vector<QString> seen;
    int openWhenSleepingWasPosted = -1;
    auto sleeping = center.observe(kMachineIsSleepingNotification, nullptr, [&](const Notification& n) {
        seen.push_back(n.name);
        openWhenSleepingWasPosted = logind.OpenCount();
    });
    auto waking =
        center.observe(kMachineIsWakingUpNotification, nullptr, [&](const Notification& n) { seen.push_back(n.name); });

    ASSERT_TRUE(InstallSleepWakeNotifier(bus.Connect(), center));
    EXPECT_TRUE(InstallSleepWakeNotifier(bus.Connect(), center));  // once only
    ASSERT_TRUE(RunUntil([&] { return logind.OpenCount() == 1; }));
    EXPECT_EQ(logind.Calls(), std::vector<QString>{"sleep/delay"});

    Announce(fakeConnection, true);
    ASSERT_TRUE(RunUntil([&] { return !seen.empty() && logind.OpenCount() == 0; }));
    EXPECT_EQ(openWhenSleepingWasPosted, 1);  // the machine was still held when the observer ran
    EXPECT_EQ(seen, std::vector<QString>{kMachineIsSleepingNotification});

    Announce(fakeConnection, false);
    ASSERT_TRUE(RunUntil([&] { return seen.size() == 2 && logind.OpenCount() == 1; }));
    EXPECT_EQ(seen.back(), kMachineIsWakingUpNotification);
    EXPECT_EQ(logind.Calls().size(), 2u);

    RemoveSleepWakeNotifier();
    EXPECT_FALSE(IsSleepWakeNotifierInstalled());
    ASSERT_TRUE(RunUntil([&] { return logind.OpenCount() == 0; }));
    RemoveSleepWakeNotifier();  // nothing installed: nothing happens
}

TEST_F(SleepWake, WithoutLogindNothingIsInstalled) {
    REQUIRE_PRIVATE_BUS(bus);
    NotificationCenter center;
    EXPECT_FALSE(InstallSleepWakeNotifier(bus.Connect(), center));
    EXPECT_FALSE(IsSleepWakeNotifierInstalled());
    RemoveSleepWakeNotifier();
}

}  // namespace
