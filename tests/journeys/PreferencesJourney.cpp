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

// The toolbar buttons' centres: runs of columns with ink in the strip of their labels,
// apart by more than the gaps between a label's letters.
std::vector<QPoint> ToolbarButtons(const QImage& screen, const QRect& strip) {
    const QColor ground = CommonColor(screen, strip);
    std::vector<QPoint> centres;
    int start = -1, last = -1;
    // A pressed button's frame edges are thin runs of their own: no label.
    const auto keep = [&](int from, int to) {
        if (to - from >= 6) centres.emplace_back((from + to) / 2, strip.center().y());
    };
    for (int x = strip.left(); x <= strip.right(); ++x) {
        if (InkPixels(screen, QRect(x, strip.top(), 1, strip.height()), ground, 40) == 0) continue;
        if (start >= 0 && x - last > 6) {
            keep(start, last);
            start = -1;
        }
        if (start < 0) start = x;
        last = x;
    }
    if (start >= 0) keep(start, last);
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
    const QImage before = shot;
    const int rowsBefore = textRows(shot, stationTable(*main));
    const int highlightBefore = highlightedLines(shot, stationTable(*main));
    const unsigned long mainId = main->id;

    // The application menu's Preferences... item, by its shortcut.
    ASSERT_TRUE(keys(*main, QStringLiteral("ctrl+comma")));
    std::optional<Window> prefs =
        waitForWindow([&](const QString& t) { return !t.startsWith(QStringLiteral("ZYM Radio")); }, 30s);
    ASSERT_TRUE(prefs) << "no preferences window";
    // Once drawn, its toolbar shows a button per pane.
    std::vector<QPoint> buttons;
    waitUntil(
        [&] {
            buttons = ToolbarButtons(screenshot(QString()),
                                     QRect(prefs->rect.left() + 2, prefs->rect.top() + 7, prefs->rect.width() - 4, 15));
            return buttons.size() == std::size(kPanes);
        },
        30s);
    shot = screenshot(QStringLiteral("prefs-opened"));
    ASSERT_EQ(buttons.size(), std::size(kPanes)) << "toolbar buttons found on the screen";

    for (std::size_t i = 0; i < std::size(kPanes); ++i) {
        const QString key = QLatin1String(kPanes[i].labelKey);
        // The window takes each pane's size: its buttons move with it.
        buttons = ToolbarButtons(screenshot(QString()),
                                 QRect(prefs->rect.left() + 2, prefs->rect.top() + 7, prefs->rect.width() - 4, 15));
        ASSERT_EQ(buttons.size(), std::size(kPanes));
        ASSERT_TRUE(click(buttons[i]));
        const QString expected = TableText(key);
        std::optional<Window> now;
        waitUntil(
            [&] {
                now = windowTitled([&](const QString& t) { return t == expected || t == key; });
                return now.has_value();
            },
            30s);
        shot = screenshot(QStringLiteral("pane-") + key);
        ASSERT_TRUE(now) << "pane " << i << " did not show";
        EXPECT_FALSE(expected.isEmpty()) << key.toStdString() << " is missing from the strings table";
        EXPECT_EQ(now->title.toStdString(), expected.toStdString()) << "the window's title is the raw key";
        prefs = now;
        if (key == QLatin1String("PresetSettingsPaneLabel")) {
            // The presets the server holds are rows of the pane's list (above its buttons).
            const QRect pane(prefs->rect.left() + 10, prefs->rect.top() + 70, prefs->rect.width() - 20,
                             prefs->rect.height() - 120);
            // The rows come with the server's answer, a moment after the pane shows.
            int rows = 0;
            waitUntil(
                [&] {
                    shot = screenshot(QString());
                    rows = textRows(shot, pane);
                    return rows >= 3;
                },
                30s);
            screenshot(QStringLiteral("pane-presets-rows"));
            EXPECT_GE(rows, 3) << "the presets pane shows " << rows << " rows of text";
        }
    }

    // Back to the first pane (General), then the window closed as a listener closes it.
    buttons = ToolbarButtons(screenshot(QString()),
                             QRect(prefs->rect.left() + 2, prefs->rect.top() + 7, prefs->rect.width() - 4, 15));
    ASSERT_EQ(buttons.size(), std::size(kPanes));
    ASSERT_TRUE(click(buttons[0]));
    prefs = waitForWindow(
        [&](const QString& t) {
            return t == TableText(QLatin1String(kPanes[0].labelKey)) || t == QLatin1String(kPanes[0].labelKey);
        },
        30s);
    ASSERT_TRUE(prefs);
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
    // Alt+F4's Alt went down in the preferences; its release, with that window gone, reached
    // no one. The presets bar must not stay on 6-10 as if Alt were held.
    const QRect presets(after->rect.left() + 113, after->rect.top() + kListsTop - 50, 510, 22);
    int changed = 0;
    for (int y = presets.top(); y <= presets.bottom(); ++y)
        for (int x = presets.left(); x <= presets.right(); ++x)
            changed += InkPixels(shot, QRect(x, y, 1, 1), before.pixelColor(x, y));
    EXPECT_LT(changed, 20) << "the presets bar changed its labels after the preferences closed";
}

}  // namespace
}  // namespace journey
