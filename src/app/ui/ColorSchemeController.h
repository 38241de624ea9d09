#pragma once
// The display's current colours ("display_text", "display_background"): the scheme chosen
// at start-up from the user defaults and the bundle's InterfaceColors.plist, replaced when
// the listener picks a scheme or a colour, remembered in the user defaults and announced
// with "ColorSchemeColorChangedNotification" (object null).

#include <QColor>
#include <QHash>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

class NotificationCenter;
class UserDefaults;

inline constexpr const char* kColorSchemeColorChangedNotification = "ColorSchemeColorChangedNotification";
inline constexpr const char* kDisplayTextColorKey = "display_text";
inline constexpr const char* kDisplayBackgroundColorKey = "display_background";
inline constexpr const char* kColorSchemeNameDefaultsKey = "Color Scheme Name";
inline constexpr const char* kCustomColorsDefaultsKey = "Custom Colors";

class ColorSchemeController {
public:
    // Applies the start-up scheme without a notification.
    ColorSchemeController(UserDefaults& defaults, NotificationCenter& center);

    // The application's controller, over the standard defaults and the default center.
    static ColorSchemeController& shared();

    // The bundle's named schemes, in menu order (the first is the default); empty when
    // the resource is missing or unreadable.
    static QVariantList defaultSchemes();
    static QString schemeName(const QVariantMap& scheme);
    static QString localizedSchemeName(const QVariantMap& scheme);
    // The first scheme named `name`; empty when none is.
    static QVariantMap schemeFromSchemes(const QVariantList& schemes, const QString& name);
    // The scheme used when neither the defaults nor the bundle give one.
    static QVariantMap builtInScheme();

    QVariantMap customScheme() const;
    QString selectedSchemeNameDefault() const;

    // Black for a key without a colour.
    QColor colorForKey(const QString& key) const;
    // Every current colour as a colour dictionary, plus "name" when the scheme had one.
    QVariantMap dictionaryWithColors() const;
    // Replaces all colours by the dictionaries of `scheme` (other values are skipped).
    void setColorsFromDictionary(const QVariantMap& scheme, bool notify);
    // The applied scheme's name; null when it had none.
    QString selectedSchemeName() const { return selectedSchemeName_; }

private:
    UserDefaults& defaults_;
    NotificationCenter& center_;
    QHash<QString, QColor> colors_;
    QString selectedSchemeName_;
};
