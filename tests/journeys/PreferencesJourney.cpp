// The preferences window opened from the main window, each pane chosen from its toolbar
// button, then closed: every title is localized text, the presets pane lists the presets,
// and the main window's station list is as it was.

#include "Journey.h"

namespace journey {
namespace {

class Preferences : public JourneyTest {};

struct Pane {
    const char* labelKey;
};

// The toolbar's order.
constexpr Pane kPanes[] = {{"RadioSettingsPaneLabel"}, {"UserSettingsPaneLabel"}, {"PresetSettingsPaneLabel"},
                           {"ColorsPaneLabel"},        {"UpdateSettingsLabel"},   {"TimersSettingsLabel"}};

// The toolbar buttons' centres: runs of columns with ink in the toolbar strip.
std::vector<QPoint> ToolbarButtons(const QImage& screen, const QRect& strip) {
    const QColor ground = CommonColor(screen, strip);
    std::vector<QPoint> centres;
    int start = -1;
    for (int x = strip.left(); x <= strip.right() + 1; ++x) {
        const bool ink =
            x <= strip.right() && InkPixels(screen, QRect(x, strip.top(), 1, strip.height()), ground, 30) > 0;
        if (ink && start < 0) start = x;
        if (!ink && start >= 0) {
            if (x - start >= 8) centres.emplace_back((start + x) / 2, strip.center().y());
            start = -1;
        }
    }
    return centres;
}

TEST_F(Preferences, EachPaneFromItsToolbarButtonThenClosed) {
    startListening(QStringLiteral("radio:aggregate:9"));
    std::optional<Window> main;
    QImage shot;
    ASSERT_TRUE(waitUntil(
        [&] {
            main = mainWindow();
            shot = screenshot(QString());
            return main && textRows(shot, stationTable(*main)) >= 5;
        },
        30s));
    shot = screenshot(QStringLiteral("main-before"));
    const int rowsBefore = textRows(shot, stationTable(*main));
    const int highlightBefore = highlightedLines(shot, stationTable(*main));
    const unsigned long mainId = main->id;

    ASSERT_TRUE(keys(*main, QStringLiteral("ctrl+comma")));
    std::optional<Window> prefs =
        waitForWindow([&](const QString& t) { return !t.startsWith(QStringLiteral("ZYM Radio")); }, 30s);
    ASSERT_TRUE(prefs) << "no preferences window";
    shot = screenshot(QStringLiteral("prefs-opened"));
    const std::vector<QPoint> buttons = ToolbarButtons(shot, QRect(prefs->rect.left(), prefs->rect.top() + 4,
                                                                  prefs->rect.width(), 30));
    ASSERT_EQ(buttons.size(), std::size(kPanes)) << "toolbar buttons found on the screen";

    for (std::size_t i = 0; i < std::size(kPanes); ++i) {
        const QString key = QLatin1String(kPanes[i].labelKey);
        ASSERT_TRUE(click(buttons[i]));
        const QString expected = TableText(key);
        std::optional<Window> now;
        waitUntil(
            [&] {
                now = windowTitled([&](const QString& t) { return t == (expected.isEmpty() ? key : expected); });
                return now.has_value();
            },
            30s);
        shot = screenshot(QStringLiteral("pane-") + key);
        ASSERT_TRUE(now) << "pane " << i << " did not show";
        EXPECT_FALSE(expected.isEmpty()) << "the window's title is the raw key " << key.toStdString();
        prefs = now;
        if (key == QLatin1String("PresetSettingsPaneLabel")) {
            // The presets the server holds (three) are rows of the pane's list.
            const QRect pane(prefs->rect.left() + 10, prefs->rect.top() + 70, prefs->rect.width() - 20,
                             prefs->rect.height() - 80);
            const int rows = textRows(shot, pane);
            EXPECT_GE(rows, 3) << "the presets pane shows " << rows << " rows of text";
        }
    }

    // Back to the first pane (General), then the window closed as a listener closes it.
    ASSERT_TRUE(click(buttons[0]));
    ASSERT_TRUE(keys(*prefs, QStringLiteral("alt+F4")));
    ASSERT_TRUE(waitUntil([&] { return !windowTitled([&](const QString& t) { return t == prefs->title; }); }, 30s));
    std::optional<Window> after;
    waitUntil(
        [&] {
            after = mainWindow();
            shot = screenshot(QString());
            return after && textRows(shot, stationTable(*after)) >= rowsBefore &&
                   highlightedLines(shot, stationTable(*after)) > highlightBefore / 2;
        },
        10s);
    shot = screenshot(QStringLiteral("main-after"));
    ASSERT_TRUE(after);
    EXPECT_EQ(after->id, mainId);
    EXPECT_GE(textRows(shot, stationTable(*after)), rowsBefore) << "the station list lost rows";
    EXPECT_GT(highlightedLines(shot, stationTable(*after)), highlightBefore / 2) << "the selection went";
    EXPECT_TRUE(isPlaying());
}

}  // namespace
}  // namespace journey
