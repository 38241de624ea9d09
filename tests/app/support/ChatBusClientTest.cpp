// The chat client on the session bus: found at run time, told only while the listener's
// status is available, at most once every 4 seconds, with the song's text as written.

#include "app/support/ChatBusClient.h"

#include "FakeBusServices.h"
#include "PrivateBus.h"
#include "app/foundation/Clock.h"
#include "app/ui/ChatStatus.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using supporttest::BusService;
using supporttest::FakePurple;
using supporttest::PrivateBus;

namespace {

class ChatBusClientTest : public ::testing::Test {
protected:
    void SetUp() override { REQUIRE_PRIVATE_BUS(bus); }
    void StartPidgin() {
        purple = new FakePurple;
        pidgin =
            std::make_unique<BusService>(bus.Connect(), PurpleChatClient::kService, PurpleChatClient::kPath, purple);
        ASSERT_TRUE(pidgin->Registered());
    }

    PrivateBus bus;
    FakePurple* purple = nullptr;  // owned by `pidgin`
    std::unique_ptr<BusService> pidgin;
    FakeClock clock;
    FakeScheduler scheduler{&clock};
};

TEST_F(ChatBusClientTest, FoundOnlyWhileItsNameIsOnTheBus) {
    PurpleChatClient client(bus.Connect());
    ChatStatus status(ScriptRunner::system(), clock, scheduler, &client);
    EXPECT_FALSE(client.isRunning());
    status.setIMStatusMessage(QStringLiteral("Before"));
    StartPidgin();
    EXPECT_TRUE(client.isRunning());
    status.setIMStatusMessage(QStringLiteral("After"));
    EXPECT_EQ(purple->Messages(), QStringList{QStringLiteral("After")});
    EXPECT_EQ(purple->activations, 1);
    pidgin.reset();
    EXPECT_FALSE(client.isRunning());
    EXPECT_FALSE(PurpleChatClient(QDBusConnection(QStringLiteral("not-connected"))).isRunning());
}

TEST_F(ChatBusClientTest, AnAwayStatusKeepsItsMessage) {
    StartPidgin();
    purple->type = 5;  // away
    PurpleChatClient client(bus.Connect());
    EXPECT_EQ(client.isAvailable(), false);
    ChatStatus status(ScriptRunner::system(), clock, scheduler, &client);
    status.setIMStatusMessage(QStringLiteral("Song"));
    EXPECT_TRUE(purple->Messages().isEmpty());
    EXPECT_FALSE(purple->Calls().contains(QStringLiteral("PurpleSavedstatusActivate")));
    purple->type = 2;
    scheduler.advance(5s);
    status.setIMStatusMessage(QStringLiteral("Next"));
    EXPECT_EQ(purple->Messages(), QStringList{QStringLiteral("Next")});
}

TEST_F(ChatBusClientTest, ABurstArrivesFirstAndLastFourSecondsApart) {
    StartPidgin();
    PurpleChatClient client(bus.Connect());
    ChatStatus status(ScriptRunner::system(), clock, scheduler, &client);
    status.setIMStatusMessage(QStringLiteral("First"));
    scheduler.advance(1s);
    status.setIMStatusMessage(QStringLiteral("Second"));
    scheduler.advance(1s);
    status.setIMStatusMessage(QStringLiteral("Third"));
    EXPECT_EQ(purple->Messages(), QStringList{QStringLiteral("First")});
    scheduler.advance(1999ms);
    EXPECT_EQ(purple->Messages().size(), 1);
    scheduler.advance(1ms);
    EXPECT_EQ(purple->Messages(), (QStringList{QStringLiteral("First"), QStringLiteral("Third")}));
    // Stopping clears the message once.
    scheduler.advance(10s);
    status.setIMStatusMessage(QString());
    status.setIMStatusMessage(QString());
    EXPECT_EQ(purple->Messages().size(), 3);
    EXPECT_EQ(purple->Messages().last(), QString());
}

TEST_F(ChatBusClientTest, MarkupInASongIsShownAsWritten) {
    StartPidgin();
    PurpleChatClient client(bus.Connect());
    ASSERT_TRUE(client.setStatusMessage(QStringLiteral("<b>Salt & Pepper</b> \"Push It\"")));
    EXPECT_EQ(purple->Messages(),
              QStringList{QStringLiteral("&lt;b&gt;Salt &amp; Pepper&lt;/b&gt; &quot;Push It&quot;")});
}

TEST_F(ChatBusClientTest, AClientThatRefusesTheCallsKeepsItsStatus) {
    // Another program holding the name without the interface.
    struct Refusing : QDBusVirtualObject {
        QString introspect(const QString&) const override { return {}; }
        bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
            connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                                                     QStringLiteral("no")));
            return true;
        }
    };
    BusService other(bus.Connect(), PurpleChatClient::kService, PurpleChatClient::kPath, new Refusing);
    ASSERT_TRUE(other.Registered());
    PurpleChatClient client(bus.Connect());
    EXPECT_TRUE(client.isRunning());
    EXPECT_EQ(client.isAvailable(), std::nullopt);
    EXPECT_FALSE(client.setStatusMessage(QStringLiteral("Song")));
    ChatStatus status(ScriptRunner::system(), clock, scheduler, &client);
    status.setIMStatusMessage(QStringLiteral("Song"));  // nothing to see, nothing thrown
}

}  // namespace
