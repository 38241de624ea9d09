#include "app/ui/ColorSchemeController.h"

#include "app/foundation/ZYMColorUtils.h"
#include "app/foundation/Localizer.h"
#include "app/foundation/NotificationCenter.h"
#include "app/foundation/PropertyList.h"
#include "app/foundation/Resources.h"
#include "app/foundation/UserDefaults.h"

namespace {

const QString kName = QStringLiteral("name");

QVariantMap colorDictionary(float r, float g, float b, float a) {
    return {{QStringLiteral("red"), double(r)},
            {QStringLiteral("green"), double(g)},
            {QStringLiteral("blue"), double(b)},
            {QStringLiteral("alpha"), double(a)}};
}

}  // namespace

ColorSchemeController::ColorSchemeController(UserDefaults& defaults, NotificationCenter& center)
    : defaults_(defaults), center_(center) {
    const QString selected = selectedSchemeNameDefault();
    const QVariantMap custom = customScheme();
    QVariantMap scheme;
    if (!selected.isNull() && !custom.isEmpty() && schemeName(custom) == selected) {
        scheme = custom;
    } else {
        const QVariantList schemes = defaultSchemes();
        if (selected.isNull()) {
            if (!schemes.isEmpty()) scheme = schemes.first().toMap();
        } else {
            scheme = schemeFromSchemes(schemes, selected);
        }
    }
    if (scheme.isEmpty()) scheme = builtInScheme();
    setColorsFromDictionary(scheme, false);
}

ColorSchemeController& ColorSchemeController::shared() {
    static ColorSchemeController controller(UserDefaults::standardUserDefaults(), NotificationCenter::defaultCenter());
    return controller;
}

QVariantList ColorSchemeController::defaultSchemes() {
    const QString path = Resources::find(QStringLiteral("InterfaceColors"), QStringLiteral("plist"));
    if (path.isEmpty()) return {};
    const auto plist = PropertyList::readFile(path);
    if (!plist || plist->typeId() != QMetaType::QVariantMap) return {};
    const QVariant schemes = plist->toMap().value(QStringLiteral("schemes"));
    if (schemes.typeId() != QMetaType::QVariantList) return {};
    QVariantList out;
    for (const QVariant& s : schemes.toList())
        if (s.typeId() == QMetaType::QVariantMap) out.append(s);
    return out;
}

QString ColorSchemeController::schemeName(const QVariantMap& scheme) {
    const QVariant name = scheme.value(kName);
    return name.typeId() == QMetaType::QString ? name.toString() : QString();
}

QString ColorSchemeController::localizedSchemeName(const QVariantMap& scheme) {
    return Localizer::shared().text(schemeName(scheme));
}

QVariantMap ColorSchemeController::schemeFromSchemes(const QVariantList& schemes, const QString& name) {
    for (const QVariant& s : schemes) {
        const QVariantMap scheme = s.toMap();
        if (!schemeName(scheme).isNull() && schemeName(scheme) == name) return scheme;
    }
    return {};
}

QVariantMap ColorSchemeController::builtInScheme() {
    return {{kName, QStringLiteral("default")},
            {QString::fromLatin1(kDisplayTextColorKey), colorDictionary(0, 0, 0, 1.0f)},
            {QString::fromLatin1(kDisplayBackgroundColorKey),
             colorDictionary(214.0f / 255.0f, 219.0f / 255.0f, 191.0f / 255.0f, 0.8f)}};
}

QVariantMap ColorSchemeController::customScheme() const {
    return defaults_.dictionary(QString::fromLatin1(kCustomColorsDefaultsKey));
}

QString ColorSchemeController::selectedSchemeNameDefault() const {
    return defaults_.string(QString::fromLatin1(kColorSchemeNameDefaultsKey));
}

QColor ColorSchemeController::colorForKey(const QString& key) const { return colors_.value(key, QColor(Qt::black)); }

QVariantMap ColorSchemeController::dictionaryWithColors() const {
    QVariantMap out;
    for (auto it = colors_.constBegin(); it != colors_.constEnd(); ++it)
        out.insert(it.key(), ZYMColor::calibratedRGBDictionaryWithColor(it.value()));
    if (!selectedSchemeName_.isNull()) out.insert(kName, selectedSchemeName_);
    return out;
}

void ColorSchemeController::setColorsFromDictionary(const QVariantMap& scheme, bool notify) {
    colors_.clear();
    for (auto it = scheme.constBegin(); it != scheme.constEnd(); ++it)
        if (it->typeId() == QMetaType::QVariantMap)
            colors_.insert(it.key(), ZYMColor::colorWithCalibratedRGBDictionary(it->toMap()));
    selectedSchemeName_ = schemeName(scheme);
    if (!selectedSchemeName_.isNull()) {
        defaults_.setString(QString::fromLatin1(kColorSchemeNameDefaultsKey), selectedSchemeName_);
        if (selectedSchemeName_ == QLatin1String("custom"))
            defaults_.setObject(QString::fromLatin1(kCustomColorsDefaultsKey), scheme);
    }
    if (notify) center_.post(QString::fromLatin1(kColorSchemeColorChangedNotification));
}
