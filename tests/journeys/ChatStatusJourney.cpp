// A listener with Pidgin running: what plays becomes Pidgin's status message, and
// stopping clears it.

#include "../app/support/FakeBusServices.h"
#include "Journey.h"

namespace journey {
namespace {

class ChatStatus : public JourneyTest {};

TEST_F(ChatStatus, WhatPlaysBecomesPidginsStatusMessage) {
    QDBusConnection connection = QDBusConnection::connectToBus(busAddress(), QStringLiteral("pidgin"));
    ASSERT_TRUE(connection.isConnected());
    auto* purple = new supporttest::FakePurple;
    {
        supporttest::BusService pidgin(connection, QStringLiteral("im.pidgin.purple.PurpleService"),
                                       QStringLiteral("/im/pidgin/purple/PurpleObject"), purple);
        ASSERT_TRUE(pidgin.Registered());
        startListening(QStringLiteral("radio:aggregate:9"));
        ASSERT_TRUE(waitUntil([&] { return !purple->Messages().isEmpty(); }, 60s)) << "Pidgin was told nothing";
        const QString first = purple->Messages().first();
        EXPECT_TRUE(first.contains(QStringLiteral("ZYM Radio"))) << first.toStdString();
        // Once the track is known its artist and name show (throttled to one message in 4 s).
        const Track track = currentTrack();
        if (!track.artist.isEmpty() && !track.name.isEmpty())
            EXPECT_TRUE(waitUntil([&] { return purple->Messages().last().contains(track.name.toHtmlEscaped()); }, 30s))
                << purple->Messages().join(QStringLiteral(" | ")).toStdString();
        ASSERT_TRUE(call("Stop"));
        EXPECT_TRUE(waitUntil([&] { return purple->Messages().last().isEmpty(); }, 30s)) << "stopping clears it";
        EXPECT_GE(purple->activations.load(), 2);
        EXPECT_TRUE(quit());
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("pidgin"));
}

}  // namespace
}  // namespace journey
