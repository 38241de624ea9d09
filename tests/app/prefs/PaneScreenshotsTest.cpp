// A screenshot of each pane: kept as a PNG, not blank, and every control of the pane
// visible inside the window.

#include "RadioPrefsSupport.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTableView>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include "app/prefs/ColorWell.h"

namespace {

using K = RadioPrefsWindowController;

class PaneScreenshots : public ::testing::Test, public RadioPrefsFixture {};

TEST_F(PaneScreenshots, EveryPaneShowsItsControls) {
    radio.directory = {{"radio:aggregate:1", "Jazz"}, {"radio:aggregate:2", "Rock"}};
    radio.presets()[0] = "radio:aggregate:2";
    radio.presets()[1] = "radio:aggregate:1";

    RadioPrefsWindowController prefs(environment());
    const auto& c = prefs.controls();
    const auto buttons = [](QButtonGroup* group) {
        QList<QWidget*> list;
        for (QAbstractButton* b : group->buttons())
            list << b;
        return list;
    };
    const std::vector<std::pair<QString, QList<QWidget*>>> panes = {
        {K::kRadioPane,
         QList<QWidget*>{c.showNowPlayingOverlayCheckbox, c.changeChatStatusCheckbox, c.playAtLaunchCheckbox} +
             buttons(c.networkAccessTypeMatrix)},
        {K::kUserPane, {c.screenNameField, c.passwordField}},
        {K::kPresetPane, {c.presetTable, c.deletePreset}},
        {K::kColorsPane, {c.colorSchemesPopup, c.textColorWell, c.backgroundColorWell, c.resetColorsButton}},
        {K::kUpdatePane, buttons(c.softwareUpdateMatrix)},
        {K::kTimersPane,
         {c.sleepTimerCheckbox, c.sleepTimerDatePicker, c.sleepTimerRepeatsCheckbox, c.sleepTimerTextField,
          c.wakeTimerCheckbox, c.wakeTimerDatePicker, c.wakeTimerRepeatsCheckbox, c.wakeTimerTextField}},
    };
    prefs.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&prefs));
    const QString dir = qEnvironmentVariable("ZYM_BINARY_DIR") + "/tests/app/prefs";
    QDir().mkpath(dir);
    for (const auto& [pane, controls] : panes) {
        SCOPED_TRACE(pane.toStdString());
        ASSERT_TRUE(prefs.showPaneWithIdentifier(pane));
        if (pane == K::kTimersPane) c.sleepTimerCheckbox->click();
        QTest::qWait(0);
        const QImage image = prefs.grab().toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_TRUE(image.save(dir + "/pane-" + pane.section('.', 1) + ".png"));
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2)
                colours.insert(image.pixel(x, y));
        EXPECT_GT(colours.size(), 8);
        const QRect window = prefs.rect();
        for (QWidget* control : controls) {
            SCOPED_TRACE(control->metaObject()->className());
            EXPECT_TRUE(control->isVisible());
            const QRect inWindow(control->mapTo(&prefs, QPoint(0, 0)), control->size());
            EXPECT_TRUE(window.contains(inWindow))
                << inWindow.x() << "," << inWindow.y() << " " << inWindow.width() << "x" << inWindow.height();
            EXPECT_GE(control->width(), qMin(control->minimumSizeHint().width(), control->sizeHint().width()));
            EXPECT_GE(control->height(), qMin(control->minimumSizeHint().height(), control->sizeHint().height()));
        }
    }
}

// The toolbar's items show their pane's picture above the label: each button holds
// coloured pixels (the labels and the bar are black and grey).
TEST_F(PaneScreenshots, EveryToolbarItemShowsItsPicture) {
    RadioPrefsWindowController prefs(environment());
    prefs.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&prefs));
    QToolBar* toolbar = prefs.toolbar();
    ASSERT_TRUE(toolbar);
    const QImage bar = toolbar->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QString dir = qEnvironmentVariable("ZYM_BINARY_DIR") + "/tests/app/prefs";
    QDir().mkpath(dir);
    ASSERT_TRUE(bar.save(dir + "/prefs-toolbar.png"));
    int panes = 0;
    for (QAction* action : toolbar->actions()) {
        QWidget* button = toolbar->widgetForAction(action);
        if (!qobject_cast<QToolButton*>(button)) continue;  // separators and spaces
        ++panes;
        SCOPED_TRACE(action->text().toStdString());
        EXPECT_FALSE(action->icon().isNull());
        const QRect area(button->mapTo(toolbar, QPoint(0, 0)), button->size());
        int coloured = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor c = bar.pixelColor(x, y);
                if (qAbs(c.red() - c.green()) + qAbs(c.green() - c.blue()) + qAbs(c.red() - c.blue()) > 90) ++coloured;
            }
        EXPECT_GT(coloured, 20);
    }
    EXPECT_EQ(panes, 6);
}

}  // namespace
