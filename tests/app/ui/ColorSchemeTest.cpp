// The display's colour scheme: the start-up choice between the user defaults, the
// bundle's schemes and the built-in one, applying schemes, and the change notification.

#include "app/foundation/NotificationCenter.h"
#include "app/foundation/Resources.h"
#include "app/foundation/UserDefaults.h"
#include "app/ui/ColorSchemeController.h"

#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

const char* kTwoSchemes = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>schemes</key><array>
<dict><key>name</key><string>A</string>
  <key>display_text</key><dict><key>red</key><real>0.5</real><key>green</key><real>0</real><key>blue</key><real>0</real></dict>
  <key>display_background</key><dict><key>red</key><real>0</real><key>green</key><real>0</real><key>blue</key><real>1</real><key>alpha</key><real>0.5</real></dict></dict>
<dict><key>name</key><string>B</string>
  <key>display_text</key><dict><key>red</key><real>0</real><key>green</key><real>1</real><key>blue</key><real>0</real><key>alpha</key><real>1</real></dict>
  <key>display_background</key><string>not a colour</string></dict>
</array></dict></plist>)";

const char* kNamelessFirst = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>schemes</key><array>
<dict><key>display_text</key><dict><key>red</key><real>0</real><key>green</key><real>0</real><key>blue</key><real>1</real></dict></dict>
</array></dict></plist>)";

const char* kNotAnArray = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>schemes</key><string>A</string></dict></plist>)";

QVariantMap Color(double r, double g, double b, double a = 1) {
    return {{"red", r}, {"green", g}, {"blue", b}, {"alpha", a}};
}

const QColor kBuiltInBackground = QColor::fromRgbF(214.0f / 255, 219.0f / 255, 191.0f / 255, 0.8f);

}  // namespace

TEST(ColorSchemeTest, StartUpChoice) {
    const QVariantMap custom{
        {"name", "custom"}, {"display_text", Color(1, 1, 0)}, {"display_background", Color(0, 0, 0, 0.25)}};
    struct Case {
        const char* what;
        const char* plist;   // null: the bundle's own
        QVariant selected;   // "Color Scheme Name"
        QVariantMap stored;  // "Custom Colors"
        QColor text, background;
        QString nameAfter;  // "Color Scheme Name" afterwards
    } cases[] = {
        {"first launch: the first scheme, its name remembered",
         kTwoSchemes,
         {},
         {},
         QColor::fromRgbF(0.5, 0, 0),
         QColor::fromRgbF(0, 0, 1, 0.5),
         "A"},
        {"a selected bundle scheme", kTwoSchemes, "B", {}, QColor(Qt::green), QColor(Qt::black), "B"},
        {"the custom scheme restored", kTwoSchemes, "custom", custom, QColor(Qt::yellow),
         QColor::fromRgbF(0, 0, 0, 0.25), "custom"},
        {"custom colours of another name are not used", kTwoSchemes, "A", custom, QColor::fromRgbF(0.5, 0, 0),
         QColor::fromRgbF(0, 0, 1, 0.5), "A"},
        {"custom selected but none stored: the built-in",
         kTwoSchemes,
         "custom",
         {},
         QColor(Qt::black),
         kBuiltInBackground,
         "default"},
        {"an unknown name: the built-in, not the first",
         kTwoSchemes,
         "Zed",
         {},
         QColor(Qt::black),
         kBuiltInBackground,
         "default"},
        {"an unreadable resource: the built-in",
         "<plist><dict>",
         {},
         {},
         QColor(Qt::black),
         kBuiltInBackground,
         "default"},
        {"schemes that are no array: the built-in",
         kNotAnArray,
         {},
         {},
         QColor(Qt::black),
         kBuiltInBackground,
         "default"},
        {"a first scheme without a name: used, no name written",
         kNamelessFirst,
         {},
         {},
         QColor(Qt::blue),
         QColor(Qt::black),
         ""},
        {"the shipped schemes", nullptr, {}, {}, QColor(Qt::black), kBuiltInBackground, "Classic"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir tmp;
        ASSERT_TRUE(tmp.isValid());
        if (c.plist) {
            QFile f(tmp.filePath("InterfaceColors.plist"));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.plist);
        }
        ScopedResourceRoot root(tmp.path());
        UserDefaults defaults(tmp.filePath("defaults.conf"));
        if (c.selected.isValid()) defaults.setObject(kColorSchemeNameDefaultsKey, c.selected);
        if (!c.stored.isEmpty()) defaults.setObject(kCustomColorsDefaultsKey, c.stored);
        NotificationCenter center;
        int notified = 0;
        auto sub =
            center.observe(kColorSchemeColorChangedNotification, nullptr, [&](const Notification&) { ++notified; });

        ColorSchemeController controller(defaults, center);
        EXPECT_EQ(controller.colorForKey(kDisplayTextColorKey), c.text);
        EXPECT_EQ(controller.colorForKey(kDisplayBackgroundColorKey), c.background);
        EXPECT_EQ(defaults.string(kColorSchemeNameDefaultsKey), c.nameAfter);
        EXPECT_EQ(notified, 0);
    }
}

TEST(ColorSchemeTest, ApplyingSchemes) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    UserDefaults defaults(tmp.filePath("defaults.conf"));
    NotificationCenter center;
    int notified = 0;
    auto sub = center.observe(kColorSchemeColorChangedNotification, nullptr, [&](const Notification& n) {
        EXPECT_EQ(n.object, nullptr);
        ++notified;
    });
    ColorSchemeController controller(defaults, center);
    const QString startName = controller.selectedSchemeName();
    EXPECT_EQ(startName, "Classic");

    // A colour changed in the preferences: the current colours become the custom scheme.
    QVariantMap scheme = controller.dictionaryWithColors();
    EXPECT_EQ(scheme.value("name"), "Classic");
    scheme["display_text"] = Color(0.2, 0.4, 0.6);
    scheme["name"] = "custom";
    controller.setColorsFromDictionary(scheme, true);
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(controller.colorForKey(kDisplayTextColorKey), QColor::fromRgbF(0.2f, 0.4f, 0.6f));
    EXPECT_EQ(defaults.string(kColorSchemeNameDefaultsKey), "custom");

    // Saved and restored by the next launch.
    ASSERT_TRUE(defaults.synchronize());
    {
        UserDefaults reread(tmp.filePath("defaults.conf"));
        ColorSchemeController next(reread, center);
        EXPECT_EQ(next.selectedSchemeName(), "custom");
        EXPECT_EQ(next.colorForKey(kDisplayTextColorKey), controller.colorForKey(kDisplayTextColorKey));
        EXPECT_EQ(next.colorForKey(kDisplayBackgroundColorKey), controller.colorForKey(kDisplayBackgroundColorKey));
    }

    // A round trip keeps every colour.
    const QColor text = controller.colorForKey(kDisplayTextColorKey);
    const QColor background = controller.colorForKey(kDisplayBackgroundColorKey);
    controller.setColorsFromDictionary(controller.dictionaryWithColors(), false);
    EXPECT_EQ(controller.colorForKey(kDisplayTextColorKey), text);
    EXPECT_EQ(controller.colorForKey(kDisplayBackgroundColorKey), background);
    EXPECT_EQ(notified, 1);

    // No name: the remembered name is forgotten, the stored one stays; no colour
    // dictionaries at all leave every key black.
    controller.setColorsFromDictionary({{"display_text", "red"}, {"other", QVariantList{1, 2}}}, true);
    EXPECT_TRUE(controller.selectedSchemeName().isNull());
    EXPECT_EQ(defaults.string(kColorSchemeNameDefaultsKey), "custom");
    EXPECT_EQ(controller.colorForKey(kDisplayTextColorKey), QColor(Qt::black));
    EXPECT_EQ(controller.colorForKey(kDisplayBackgroundColorKey), QColor(Qt::black));
    EXPECT_FALSE(controller.dictionaryWithColors().contains("name"));
    EXPECT_EQ(notified, 2);

    const QVariantList schemes = ColorSchemeController::defaultSchemes();
    ASSERT_GE(schemes.size(), 2);
    EXPECT_EQ(ColorSchemeController::schemeFromSchemes(schemes, "Night").value("name"), "Night");
    EXPECT_TRUE(ColorSchemeController::schemeFromSchemes(schemes, "night").isEmpty());
    EXPECT_EQ(ColorSchemeController::localizedSchemeName(schemes[0].toMap()), "Classic");
}
