// The colours pane over the bundle's schemes: the custom scheme made from a well, the
// pop-up's separator and selection, reset, and the preview images.

#include "app/foundation/ZYMColorUtils.h"
#include "app/prefs/ColorWell.h"
#include "app/foundation/Resources.h"
#include "app/foundation/UserDefaults.h"

#include "RadioPrefsSupport.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>

namespace {

using K = RadioPrefsWindowController;

int indexOf(QComboBox* popup, const QString& text) { return popup->findText(text); }

void choose(QComboBox* popup, int index) {
    popup->setCurrentIndex(index);
    emit popup->activated(index);
}

bool isSeparator(QComboBox* popup, int index) {
    return popup->itemData(index, Qt::AccessibleDescriptionRole).toString() == "separator";
}

void expectColor(const QColor& actual, double r, double g, double b, double a = 1.0) {
    EXPECT_NEAR(actual.redF(), r, 0.01);
    EXPECT_NEAR(actual.greenF(), g, 0.01);
    EXPECT_NEAR(actual.blueF(), b, 0.01);
    EXPECT_NEAR(actual.alphaF(), a, 0.01);
}

class ColorsPane : public ::testing::Test, public RadioPrefsFixture {};

TEST_F(ColorsPane, WellTurnsNightIntoCustomSchemeAndPopupKeepsIt) {
    RadioPrefsWindowController prefs(environment());
    const auto& c = prefs.controls();
    ASSERT_TRUE(prefs.showPaneWithIdentifier(K::kColorsPane));
    QComboBox* popup = c.colorSchemesPopup;
    EXPECT_EQ(popup->count(), 3);  // no custom scheme yet, no separator
    choose(popup, indexOf(popup, "Night"));
    EXPECT_EQ(defaults.string(kColorSchemeNameDefaultsKey), "Night");
    expectColor(c.textColorWell->color(), 0.55, 0.85, 1.0);

    c.backgroundColorWell->pickColor(QColor::fromRgbF(0.2f, 0.4f, 0.6f, 0.5f));
    const QVariantMap custom = defaults.dictionary(kCustomColorsDefaultsKey);
    EXPECT_EQ(custom.value("name").toString(), "custom");
    expectColor(ZYMColor::colorWithCalibratedRGBDictionary(custom.value("display_text").toMap()), 0.55, 0.85, 1.0);
    expectColor(ZYMColor::colorWithCalibratedRGBDictionary(custom.value("display_background").toMap()), 0.2, 0.4, 0.6,
                0.5);
    EXPECT_EQ(defaults.string(kColorSchemeNameDefaultsKey), "custom");
    ASSERT_EQ(popup->count(), 5);
    EXPECT_TRUE(isSeparator(popup, 3));
    EXPECT_EQ(popup->currentIndex(), 4);
    EXPECT_EQ(popup->currentText(), "Custom");

    // A delivered scheme applies; the custom one stays offered.
    choose(popup, indexOf(popup, "Paper"));
    EXPECT_EQ(defaults.string(kColorSchemeNameDefaultsKey), "Paper");
    expectColor(colors.colorForKey(kDisplayBackgroundColorKey), 0.98, 0.96, 0.9);
    ASSERT_TRUE(prefs.showPaneWithIdentifier(K::kRadioPane));
    ASSERT_TRUE(prefs.showPaneWithIdentifier(K::kColorsPane));
    EXPECT_EQ(popup->count(), 5);
    EXPECT_EQ(popup->currentText(), "Paper");
}

TEST_F(ColorsPane, UnknownSelectedNameSelectsFirstItem) {
    defaults.setString(kColorSchemeNameDefaultsKey, "Vanished");
    RadioPrefsWindowController prefs(environment());
    ASSERT_TRUE(prefs.showPaneWithIdentifier(K::kColorsPane));
    EXPECT_EQ(prefs.controls().colorSchemesPopup->currentIndex(), 0);
}

TEST_F(ColorsPane, ResetAppliesDefaultColoursAndRebuilds) {
    RadioPrefsWindowController prefs(environment());
    const auto& c = prefs.controls();
    ASSERT_TRUE(prefs.showPaneWithIdentifier(K::kColorsPane));
    c.textColorWell->pickColor(QColor(Qt::red));
    c.resetColorsButton->click();
    // The colour file's own top-level colours: the Classic scheme's, under its name.
    expectColor(colors.colorForKey(kDisplayTextColorKey), 0, 0, 0);
    expectColor(colors.colorForKey(kDisplayBackgroundColorKey), 0.83922, 0.85882, 0.74902, 0.8);
    expectColor(c.textColorWell->color(), 0, 0, 0);
    expectColor(c.backgroundColorWell->color(), 0.83922, 0.85882, 0.74902, 0.8);
    EXPECT_EQ(defaults.string(kColorSchemeNameDefaultsKey), "Classic");
    EXPECT_EQ(c.colorSchemesPopup->currentText(), "Classic");
    EXPECT_EQ(c.colorSchemesPopup->count(), 5);  // the custom scheme stays stored
}

// Reset reads the colour file's top level, not its schemes; a file without top-level
// colours resets to the built-in ones rather than to black on black.
TEST_F(ColorsPane, ResetReadsTheColourFilesTopLevel) {
    const QString scheme = QStringLiteral(
        "<dict><key>name</key><string>Only</string>"
        "<key>display_text</key><dict><key>red</key><real>1</real><key>green</key><real>1</real>"
        "<key>blue</key><real>1</real></dict>"
        "<key>display_background</key><dict><key>red</key><real>0</real><key>green</key><real>0</real>"
        "<key>blue</key><real>0</real></dict></dict>");
    const QString topLevel = QStringLiteral(
        "<key>display_text</key><dict><key>red</key><real>0.1</real><key>green</key><real>0.2</real>"
        "<key>blue</key><real>0.3</real></dict>"
        "<key>display_background</key><dict><key>red</key><real>0.9</real><key>green</key><real>0.8</real>"
        "<key>blue</key><real>0.7</real><key>alpha</key><real>0.5</real></dict>");
    struct Case {
        const char* what;
        QString top;
        double text[3];
        double background[4];
    };
    for (const Case& row : {Case{"top-level colours", topLevel, {0.1, 0.2, 0.3}, {0.9, 0.8, 0.7, 0.5}},
                            Case{"none", QString(), {0, 0, 0}, {0.83922, 0.85882, 0.74902, 0.8}}}) {
        SCOPED_TRACE(row.what);
        QTemporaryDir folder;
        QFile file(folder.filePath("InterfaceColors.plist"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(("<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>" + row.top +
                    "<key>schemes</key><array>" + scheme + "</array></dict></plist>")
                       .toUtf8());
        file.close();
        ScopedResourceRoot root(folder.path());
        RadioPrefsWindowController prefs(environment());
        const auto& c = prefs.controls();
        ASSERT_TRUE(prefs.showPaneWithIdentifier(K::kColorsPane));
        c.resetColorsButton->click();
        expectColor(colors.colorForKey(kDisplayTextColorKey), row.text[0], row.text[1], row.text[2]);
        expectColor(colors.colorForKey(kDisplayBackgroundColorKey), row.background[0], row.background[1],
                    row.background[2], row.background[3]);
        expectColor(c.backgroundColorWell->color(), row.background[0], row.background[1], row.background[2],
                    row.background[3]);
    }
}

TEST_F(ColorsPane, PreviewIsSixteenSquareWithBlackFrame) {
    QVariantList schemes = ColorSchemeController::defaultSchemes();
    schemes.append(QVariantMap{{"name", "custom"},
                               {"display_text", QVariantMap{{"red", 1.0}, {"green", 1.0}, {"blue", 1.0}}},
                               {"display_background", QVariantMap{{"red", 0.0}, {"green", 0.5}, {"blue", 0.0}}}});
    ASSERT_EQ(schemes.size(), 4);
    for (const QVariant& s : schemes) {
        const QVariantMap scheme = s.toMap();
        SCOPED_TRACE(scheme.value("name").toString().toStdString());
        const QImage image = K::previewImageWithColorScheme(scheme).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(16, 16));
        for (int i = 0; i < 16; ++i) {
            for (const QPoint p : {QPoint(i, 0), QPoint(i, 15), QPoint(0, i), QPoint(15, i)})
                EXPECT_EQ(image.pixel(p), qRgba(0, 0, 0, 255)) << p.x() << "," << p.y();
        }
        const QColor background =
            ZYMColor::colorWithCalibratedRGBDictionary(scheme.value("display_background").toMap());
        for (const QPoint p : {QPoint(1, 1), QPoint(3, 8), QPoint(14, 1), QPoint(1, 14)}) {
            const QColor pixel = image.pixelColor(p);
            EXPECT_NEAR(pixel.red(), background.red(), 2) << p.x() << "," << p.y();
            EXPECT_NEAR(pixel.green(), background.green(), 2);
            EXPECT_NEAR(pixel.alpha(), background.alpha(), 2);
        }
        // The text colour shows somewhere right of x = 5.
        const QColor text = ZYMColor::colorWithCalibratedRGBDictionary(scheme.value("display_text").toMap());
        int inked = 0;
        for (int y = 1; y < 15; ++y)
            for (int x = 5; x < 15; ++x)
                if (image.pixelColor(x, y) != image.pixelColor(1, 1)) ++inked;
        EXPECT_GT(inked, 5) << text.name().toStdString();
    }
}

}  // namespace
