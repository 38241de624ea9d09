#include "app/foundation/ZYMColorUtils.h"

#include <algorithm>
#include <cmath>

namespace ZYMColor {

namespace {

float component(const QVariantMap& d, const char* key, float missing) {
    const auto it = d.constFind(QString::fromLatin1(key));
    if (it == d.constEnd()) return missing;
    double v = missing;
    bool ok = false;
    switch (it->typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong: v = it->toDouble(&ok); break;
    case QMetaType::QString:
        v = it->toString().trimmed().toDouble(&ok);  // "C" notation, whatever the locale
        break;
    default: break;
    }
    if (!ok) return missing;
    if (std::isnan(v)) return 0.0f;
    return float(std::clamp(v, 0.0, 1.0));
}

}  // namespace

QColor colorWithCalibratedRGBDictionary(const QVariantMap& d) {
    return QColor::fromRgbF(component(d, "red", 0), component(d, "green", 0), component(d, "blue", 0),
                            component(d, "alpha", 1));
}

QVariantMap calibratedRGBDictionaryWithColor(const QColor& color) {
    if (!color.isValid()) return {};
    const QColor rgb = color.toRgb();
    return {{QStringLiteral("red"), double(float(rgb.redF()))},
            {QStringLiteral("green"), double(float(rgb.greenF()))},
            {QStringLiteral("blue"), double(float(rgb.blueF()))},
            {QStringLiteral("alpha"), double(float(rgb.alphaF()))}};
}

}  // namespace ZYMColor
