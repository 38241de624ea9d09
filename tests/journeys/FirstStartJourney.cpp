// A new listener's first start: no connection speed chosen and no password saved. The
// program asks the speed, then shows the sign-on panel; a wrong password is refused with
// the panel back, the right one signs on and the station plays.

#include "Journey.h"

namespace journey {
namespace {

class FirstStart : public JourneyTest {};

TEST_F(FirstStart, AsksTheSpeedThenThePasswordAndAWrongOneIsRefused) {
    newProfile(QStringLiteral("play_at_launch=true\nplaying_station=radio:aggregate:9\n"));
    launch();

    const QString speedTitle = TableText(QStringLiteral("ConnectionSpeedTitle"));
    std::optional<Window> speed = waitForWindow([&](const QString& t) { return t == speedTitle; }, 90s);
    screenshot(QStringLiteral("speed-question"));
    ASSERT_TRUE(speed) << "no connection-speed question";
    // Broadband: the second of the two buttons, reached from the first with Tab.
    ASSERT_TRUE(keys(*speed, QStringLiteral("Tab")));
    ASSERT_TRUE(keys(*speed, QStringLiteral("space")));

    const QString signOnTitle = TableText(QStringLiteral("SignOnPanelTitle"));
    std::optional<Window> panel = waitForWindow([&](const QString& t) { return t == signOnTitle; }, 90s);
    screenshot(QStringLiteral("sign-on-panel"));
    ASSERT_TRUE(panel) << "no sign-on panel";
    EXPECT_FALSE(windowTitled([&](const QString& t) { return t == speedTitle; })) << "the speed question stayed";
    EXPECT_FALSE(isAuthenticated());
    auto signOnCalls = [&] {
        return requestCount([](const zymtest::RecordedRequest& r) { return r.method == "POST" && r.path == "/demo/"; });
    };

    // A wrong password: refused, and the listener is asked again.
    int calls = signOnCalls();
    ASSERT_TRUE(type(*panel, QStringLiteral("not-the-password")));
    ASSERT_TRUE(keys(*panel, QStringLiteral("Return")));
    ASSERT_TRUE(waitUntil([&] { return signOnCalls() > calls; }, 60s)) << "the sign-on never reached the server";
    std::optional<Window> refusal;
    waitUntil(
        [&] {
            for (const Window& w : windows())
                if (w.title != signOnTitle && !w.title.startsWith(QStringLiteral("ZYM Radio"))) refusal = w;
            return refusal.has_value();
        },
        60s);
    screenshot(QStringLiteral("wrong-password"));
    ASSERT_TRUE(refusal) << "no word of the refused password";
    EXPECT_TRUE(TableText(refusal->title).isEmpty()) << "raw key as title: " << refusal->title.toStdString();
    EXPECT_FALSE(isAuthenticated());
    ASSERT_TRUE(keys(*refusal, QStringLiteral("Return")));

    panel = waitForWindow([&](const QString& t) { return t == signOnTitle; }, 60s);
    screenshot(QStringLiteral("sign-on-again"));
    ASSERT_TRUE(panel) << "the sign-on panel did not come back";
    calls = signOnCalls();
    // The panel keeps what was typed: select it all and type over it.
    ASSERT_TRUE(keys(*panel, QStringLiteral("ctrl+a")));
    ASSERT_TRUE(type(*panel, QStringLiteral("demo-password")));
    ASSERT_TRUE(keys(*panel, QStringLiteral("Return")));
    ASSERT_TRUE(waitPlaying(QStringLiteral("radio:aggregate:9"))) << "not signed on and playing";
    EXPECT_TRUE(isAuthenticated());
    EXPECT_EQ(property("authenticatedUsername").toString().toStdString(), "demo");
    EXPECT_FALSE(windowTitled([&](const QString& t) { return t == signOnTitle; })) << "the panel stayed";
    const QImage shot = screenshot(QStringLiteral("signed-on"));
    const std::optional<Window> main = mainWindow();
    ASSERT_TRUE(main);
    EXPECT_GE(textRows(shot, stationTable(*main)), 5) << "the station list is empty";
    // The answer to the speed question is kept.
    EXPECT_TRUE(settingsText().contains(QStringLiteral("network_bandwidth_user_prompted=true")))
        << settingsText().toStdString();
}

}  // namespace
}  // namespace journey
