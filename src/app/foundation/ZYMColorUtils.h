#pragma once
// Colours in the dictionary form the colour schemes are stored in: "red", "green",
// "blue" and "alpha", each a number from 0.0 to 1.0.

#include <QColor>
#include <QVariantMap>

namespace ZYMColor {

// A missing component reads as 0 and a missing "alpha" as 1. Stored settings are
// untrusted: a number written as text is read, any other type counts as missing, and
// values out of range (or not a number) are clamped into 0..1.
QColor colorWithCalibratedRGBDictionary(const QVariantMap& dictionary);

// The colour as such a dictionary (single-precision values); empty for an invalid colour.
QVariantMap calibratedRGBDictionaryWithColor(const QColor& color);

}  // namespace ZYMColor
