// Storing the playing station on a preset from the Controls menu, then a start on another
// machine (a fresh profile): the preset comes back from the server.

#include <QRegularExpression>

#include "Journey.h"

namespace journey {
namespace {

class Presets : public JourneyTest {};

TEST_F(Presets, StoredOnAPresetAndReadBackWithAFreshProfile) {
    const QString station = QStringLiteral("radio:aggregate:9");
    startListening(station);
    ASSERT_TRUE(waitUntil([&] { return !stationsProperty("presets").value(0).id.isEmpty(); }, 60s)) << "no presets";
    QList<Station> presets = stationsProperty("presets");
    ASSERT_TRUE(presets[2].id.isEmpty()) << "preset 3 is taken: " << presets[2].id.toStdString();
    auto stores = [&] {
        return requestCount(
            [](const zymtest::RecordedRequest& r) { return r.body.find("IProfileSetRequest") != std::string::npos; });
    };
    const int storesBefore = stores();

    // Radio > Store on Preset 3: the menu's third item from the bottom, the demo account
    // having five presets (the store items of 6 to 10 are off, and the keys pass them by).
    const std::optional<Window> main = mainWindow();
    ASSERT_TRUE(main);
    const QRect below(main->rect.left() + 130, main->rect.top() + 20, 300, 200);
    const QImage closed = screenshot(QString());
    ASSERT_TRUE(keys(*main, QStringLiteral("alt+r")));
    ASSERT_TRUE(waitUntil([&] { return screenshot(QString()).copy(below) != closed.copy(below); }, 30s))
        << "the Radio menu did not open";
    QStringList up{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("100")};
    for (int i = 0; i < 3; ++i)
        up << QStringLiteral("Up");
    ASSERT_TRUE(xdotool(up));
    screenshot(QStringLiteral("menu"));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Return")}));

    EXPECT_TRUE(waitUntil([&] { return stationsProperty("presets").value(2).id == station; }, 30s))
        << "preset 3 does not hold the station";
    EXPECT_TRUE(waitUntil([&] { return stores() > storesBefore; }, 30s)) << "the presets never reached the server";
    screenshot(QStringLiteral("stored"));

    // The same station on preset 4: the program asks first, in words of the strings table.
    const QImage before = screenshot(QString());
    ASSERT_TRUE(keys(*main, QStringLiteral("alt+r")));
    ASSERT_TRUE(waitUntil([&] { return screenshot(QString()).copy(below) != before.copy(below); }, 30s));
    up.removeLast();
    ASSERT_TRUE(xdotool(up));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Return")}));
    const std::optional<Window> sheet =
        waitForWindow([&](const QString& t) { return !t.startsWith(QStringLiteral("ZYM Radio")); }, 30s);
    screenshot(QStringLiteral("preset-exists"));
    ASSERT_TRUE(sheet) << "no question before storing the station twice";
    // A key is one word in camel case ("PresetExistsTitle"); a title is text.
    EXPECT_FALSE(QRegularExpression(QStringLiteral("^[A-Z][a-z]+([A-Z][a-z]+)+$")).match(sheet->title).hasMatch())
        << "raw key as title: " << sheet->title.toStdString();
    ASSERT_TRUE(keys(*sheet, QStringLiteral("Escape")));
    ASSERT_TRUE(waitUntil([&] { return !windowTitled([&](const QString& t) { return t == sheet->title; }); }, 30s));
    EXPECT_TRUE(stationsProperty("presets").value(3).id.isEmpty()) << "cancelled, yet stored on preset 4";
    ASSERT_TRUE(quit());

    // Another machine: nothing kept locally, the presets come from the server.
    newProfile(listeningSettings(QStringLiteral("radio:aggregate:1")));
    storePassword();
    launch();
    ASSERT_TRUE(waitUntil([&] { return busUp() && !stationsProperty("presets").value(0).id.isEmpty(); }, 120s))
        << "no presets after the start";
    presets = stationsProperty("presets");
    EXPECT_EQ(presets[2].id.toStdString(), station.toStdString()) << "preset 3 did not come back";
    EXPECT_EQ(presets[0].id.toStdString(), "radio:aggregate:12345") << "preset 1 changed";
    screenshot(QStringLiteral("fresh-profile"));
}

}  // namespace
}  // namespace journey
