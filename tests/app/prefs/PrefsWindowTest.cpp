// The pane window: the order of the pane hooks, the window following the pane's height,
// the remembered pane and the toolbar's default items, with real widgets offscreen.

#include "app/prefs/PrefsWindowController.h"

#include "PrefsTestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

namespace {

class RecordingPrefs : public PrefsWindowController {
public:
    RecordingPrefs(PrefStores stores, bool overview) : PrefsWindowController(stores) {
        setShowsIconView(overview);
        for (const char* id : {"a", "b", "c"}) {
            auto* view = new QWidget(this);
            view->resize(400, id[0] == 'c' ? 300 : 200);
            views[QString::fromLatin1(id)] = view;
        }
    }
    void loadPanes() override {
        QVector<PrefsPane> panes;
        for (const char* id : {"a", "b", "c"})
            panes.append({id, QStringLiteral("Label-") + id, QString(), QString(), views[QString::fromLatin1(id)]});
        setPanes(panes);
    }
    void paneWillDisplay(QWidget* view) override { log << "display " + views.key(view); }
    bool paneWillClose(QWidget* view) override {
        log << "close " + views.key(view);
        return !refuse;
    }
    QMap<QString, QWidget*> views;
    QStringList log;
    bool refuse = false;
};

class PrefsWindow : public ::testing::Test, public PrefsFixture {};

TEST_F(PrefsWindow, HookOrder) {
    struct Step {
        const char* what;
        const char* show;  // a pane, "close" or "reopen"
        QStringList log;
        const char* title;
    };
    struct Case {
        const char* what;
        bool overview;
        QStringList firstLog;
        std::vector<Step> steps;
    } cases[] = {
        {"panes only",
         false,
         {"display a"},
         {{"switch", "b", {"close a", "display b"}, "Label-b"},
          {"same pane", "b", {}, "Label-b"},
          {"close", "close", {"close b"}, ""},
          {"reopen", "reopen", {"display b"}, "Label-b"},
          {"unknown pane empties", "nothing", {"close b"}, ""}}},
        {"with overview",
         true,
         {},
         {{"overview to pane", "a", {"display a"}, "Label-a"},
          {"pane to overview", "prefs_show_all", {"close a"}, "Preferences"},
          {"close on overview", "close", {}, "Preferences"},
          {"overview to pane again", "c", {"display c"}, "Label-c"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        defaults.removeObject(kLastPrefsPaneKey);
        RecordingPrefs prefs(stores(), c.overview);
        prefs.awakeFromNib();
        EXPECT_EQ(prefs.log, c.firstLog);
        for (const Step& step : c.steps) {
            SCOPED_TRACE(step.what);
            prefs.log.clear();
            const QString show = QString::fromLatin1(step.show);
            if (show == "close") {
                EXPECT_TRUE(prefs.windowShouldClose());
            } else if (show == "reopen") {
                prefs.showWindow();
            } else {
                EXPECT_TRUE(prefs.showPaneWithIdentifier(show));
            }
            EXPECT_EQ(prefs.log, step.log);
            EXPECT_EQ(prefs.windowTitle(), QString::fromLatin1(step.title));
            const QString current = prefs.currentPaneIdentifier();
            QAction* checked = nullptr;
            for (QAction* item : prefs.toolbar()->actions())
                if (item->isChecked()) checked = item;
            EXPECT_EQ(checked ? checked->data().toString() : QString(),
                      prefs.views.contains(current) || current == kPrefsShowAllIdentifier ? current : QString());
        }
    }
    // Closing while the overview showed stored nothing.
    EXPECT_EQ(defaults.string(kLastPrefsPaneKey), QString());
}

TEST_F(PrefsWindow, RefusedCloseKeepsPaneAndTitle) {
    RecordingPrefs prefs(stores(), false);
    prefs.awakeFromNib();
    prefs.refuse = true;
    EXPECT_FALSE(prefs.showPaneWithIdentifier("b"));
    EXPECT_EQ(prefs.mainView(), prefs.views["a"]);
    EXPECT_EQ(prefs.windowTitle(), "Label-a");
    EXPECT_FALSE(prefs.windowShouldClose());
    EXPECT_EQ(defaults.string(kLastPrefsPaneKey), "a");  // stored before the refusal
}

TEST_F(PrefsWindow, TallerPaneGrowsWindowDownwards) {
    RecordingPrefs prefs(stores(), false);
    prefs.awakeFromNib();
    prefs.move(100, 150);
    prefs.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&prefs));
    const QRect before = prefs.geometry();
    EXPECT_EQ(prefs.centralWidget()->height(), 200);
    ASSERT_TRUE(prefs.showPaneWithIdentifier("c"));
    QTest::qWait(0);
    const QRect after = prefs.geometry();
    EXPECT_EQ(after.top(), before.top());
    EXPECT_EQ(after.width(), before.width());
    EXPECT_EQ(after.height(), before.height() + 100);
    ASSERT_TRUE(prefs.showPaneWithIdentifier("a"));
    EXPECT_EQ(prefs.geometry(), before);
}

TEST_F(PrefsWindow, LastPaneRememberedAndUnknownOneIgnored) {
    {
        RecordingPrefs prefs(stores(), false);
        prefs.awakeFromNib();
        prefs.showPaneWithIdentifier("c");
        EXPECT_TRUE(prefs.windowShouldClose());
    }
    EXPECT_EQ(defaults.string(kLastPrefsPaneKey), "c");
    {
        RecordingPrefs prefs(stores(), false);
        prefs.awakeFromNib();
        EXPECT_EQ(prefs.log, QStringList{"display c"});
    }
    defaults.setString(kLastPrefsPaneKey, "gone");
    RecordingPrefs prefs(stores(), false);
    prefs.awakeFromNib();
    EXPECT_EQ(prefs.currentPaneIdentifier(), "a");
}

TEST_F(PrefsWindow, OverviewButtonsInOneRowAndOpenTheirPane) {
    RecordingPrefs prefs(stores(), true);
    prefs.awakeFromNib();
    ASSERT_EQ(prefs.iconsView()->buttons().size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(prefs.iconsView()->buttons()[i]->geometry(), QRect(20 + 80 * i, 10, 80, 50));
    prefs.iconsView()->buttons()[1]->click();
    EXPECT_EQ(prefs.currentPaneIdentifier(), "b");
    EXPECT_EQ(prefs.log, QStringList{"display b"});
}

TEST(ConfigurableToolbarItems, DefaultItemsAreThoseMarkedOneInOrder) {
    ConfigurableToolbar toolbar("T", {QVariantMap{{"identifier", "x"}, {"label", "X"}, {"default", 1}},
                                      QVariantMap{{"identifier", "y"}, {"label", "Y"}, {"default", 0}},
                                      QVariantMap{{"identifier", "z"}, {"label", "Z"}},
                                      QVariantMap{{"identifier", "w"}, {"label", "W"}, {"default", 1}}});
    EXPECT_EQ(toolbar.defaultItemIdentifiers(), (QStringList{"x", "w"}));
    QStringList allowed = toolbar.allowedItemIdentifiers();
    allowed.sort();
    EXPECT_EQ(allowed, (QStringList{kToolbarCustomizeItemIdentifier, kToolbarFlexibleSpaceItemIdentifier,
                                    kToolbarSeparatorItemIdentifier, kToolbarSpaceItemIdentifier, "w", "x", "y", "z"}));
    QObject owner;
    EXPECT_EQ(toolbar.createItemForItemIdentifier("nope", &owner), nullptr);
    QAction* x = toolbar.createItemForItemIdentifier("x", &owner);
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->text(), "X");
    EXPECT_EQ(x->data().toString(), "x");
}

}  // namespace
